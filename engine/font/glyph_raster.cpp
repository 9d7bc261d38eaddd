// Glyph rasterising: the platform's glyph bitmaps, grown by the edge, written into
// cache cells taken round robin, and moved into the cache texture in texture mode.
#include "engine/font/font.h"

#include <cstring>
#include "engine/font/font_record.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/graphic_handle.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"

static GlyphOutlineFn g_glyph_source = GetGlyphOutlineA;

void SetGlyphSource(GlyphOutlineFn fn) { g_glyph_source = fn ? fn : GetGlyphOutlineA; }

// Round edge masks for edge sizes 2, 3 and 4; 1 is the four neighbours, above 4
// the full square.
static const char* const kEdgeMask2[] = {".xxx.", "xxxxx", "xxxxx", "xxxxx", ".xxx."};
static const char* const kEdgeMask3[] = {"...x...", ".xxxxx.", ".xxxxx.", "xxxxxxx",
                                         ".xxxxx.", ".xxxxx.", "...x..."};
static const char* const kEdgeMask4[] = {"..xxxxx..", ".xxxxxxx.", "xxxxxxxxx", "xxxxxxxxx", "xxxxxxxxx",
                                         "xxxxxxxxx", "xxxxxxxxx", ".xxxxxxx.", "..xxxxx.."};

template <class Fn> static void ForEachEdgePixel(int e, Fn fn) {
    if (e <= 0) return;
    if (e == 1) {
        fn(-1, 0), fn(1, 0), fn(0, -1), fn(0, 1);
        return;
    }
    const char* const* mask = e == 2 ? kEdgeMask2 : e == 3 ? kEdgeMask3 : e == 4 ? kEdgeMask4 : nullptr;
    for (int dy = -e; dy <= e; dy++)
        for (int dx = -e; dx <= e; dx++)
            if (!mask || mask[dy + e][dx + e] == 'x') fn(dx, dy);
}

// One glyph as the platform gave it: 1 bit a pixel (most significant first) or
// gray levels 0-16, rows of pitch bytes.
struct GlyphBitmap {
    const uint8_t* rows;
    int pitch, width, height, gray;
    // 0-16 for gray bitmaps, 0 or 16 for 1-bit ones.
    int Level(int x, int y) const {
        const uint8_t* r = rows + (size_t)y * pitch;
        if (gray) return r[x] > 16 ? 16 : r[x];
        return (r[x >> 3] >> (7 - (x & 7))) & 1 ? 16 : 0;
    }
};

// The part of one cell that may be written: (x, y) of the grown box maps to
// (ox + x, oy + y) while x < w and y < h.
struct CellArea {
    int ox, oy, w, h;
};

// Texture mode: 16-bit pixels of the cache image, the edge half cache_width right.
struct TextureCell {
    BaseImage* img;
    int edge_dx;
    CellArea a;
    uint16_t* Body(int x, int y) const {
        return (uint16_t*)((uint8_t*)img->pixels + (size_t)(a.oy + y) * img->pitch) + a.ox + x;
    }
    uint16_t* Edge(int x, int y) const { return Body(x, y) + edge_dx; }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < a.w && y < a.h; }
};

static void RasterTexture(const FontRecord* f, const TextureCell& c, const GlyphBitmap& g, int e) {
    const PixelFormat& pf = c.img->format;
    const uint16_t white = (uint16_t)(pf.red_mask | pf.green_mask | pf.blue_mask);
    const uint16_t opaque = (uint16_t)(white | pf.alpha_mask);
    const int level_shift = pf.alpha_shift + pf.alpha_width - 4;
    auto from_level = [&](int l) { return (uint16_t)(l > 0 ? (((l << level_shift) - 1) | white) : white); };
    const int edge = FontHasEdge(f);
    const int gw = g.width + 2 * e, gh = g.height + 2 * e;
    for (int y = 0; y < g.height; y++) {
        for (int x = 0; x < g.width; x++) {
            int l = g.Level(x, y), bx = x + e, by = y + e;
            if (l == 0 || !c.Inside(bx, by)) continue;
            switch (f->type) {
            case FONT_TYPE_NORMAL: *c.Body(bx, by) = opaque; break;
            case FONT_TYPE_ANTIALIASING: *c.Body(bx, by) = from_level(l); break;
            case FONT_TYPE_EDGE:
                *c.Body(bx, by) = opaque;
                ForEachEdgePixel(e, [&](int dx, int dy) {
                    if (c.Inside(bx + dx, by + dy)) *c.Edge(bx + dx, by + dy) = opaque;
                });
                break;
            default:  // antialiased with edge: levels first, pixels afterwards
                *c.Body(bx, by) = (uint16_t)l;
                ForEachEdgePixel(e, [&](int dx, int dy) {
                    if (!c.Inside(bx + dx, by + dy)) return;
                    uint16_t* p = c.Edge(bx + dx, by + dy);
                    *p = (uint16_t)((256 - (16 - *p) * (16 - l)) / 16);
                });
                break;
            }
        }
    }
    // Every pixel of the grown box is white; only the alpha tells the glyph.
    for (int y = 0; y < gh; y++) {
        for (int x = 0; x < gw; x++) {
            if (!c.Inside(x, y)) continue;
            if (f->type == FONT_TYPE_ANTIALIASING_EDGE) {
                *c.Body(x, y) = from_level(*c.Body(x, y));
                *c.Edge(x, y) = from_level(*c.Edge(x, y));
            } else {
                *c.Body(x, y) |= white;
                if (edge) *c.Edge(x, y) |= white;
            }
        }
    }
}

// Software mode: one column of cells, 1 or 8 bits a pixel.
static void RasterSoftware(const FontRecord* f, uint8_t* cell, const CellArea& a, const GlyphBitmap& g, int e) {
    const int pitch = f->soft_pitch;
    auto inside = [&](int x, int y) { return x >= 0 && y >= 0 && x < a.w && y < a.h; };
    auto px = [&](int x, int y) { return cell + (size_t)y * pitch + x; };
    for (int y = 0; y < g.height; y++) {
        for (int x = 0; x < g.width; x++) {
            int l = g.Level(x, y), bx = x + e, by = y + e;
            if (l == 0 || !inside(bx, by)) continue;
            switch (f->type) {
            case FONT_TYPE_NORMAL: cell[(size_t)by * pitch + (bx >> 3)] |= (uint8_t)(0x80 >> (bx & 7)); break;
            case FONT_TYPE_ANTIALIASING: *px(bx, by) = (uint8_t)(l - 1); break;
            case FONT_TYPE_EDGE:
                *px(bx, by) = 1;
                ForEachEdgePixel(e, [&](int dx, int dy) {
                    if (inside(bx + dx, by + dy) && *px(bx + dx, by + dy) != 1) *px(bx + dx, by + dy) = 2;
                });
                break;
            default:
                *px(bx, by) |= (uint8_t)(l - 1);
                ForEachEdgePixel(e, [&](int dx, int dy) {
                    if (!inside(bx + dx, by + dy)) return;
                    uint8_t* p = px(bx + dx, by + dy);
                    if ((*p >> 4) < l - 1) *p = (uint8_t)((*p & 0x0F) | ((l - 1) << 4));
                });
                break;
            }
        }
    }
}

// Clears the cell of a slot and returns the area a glyph may use in it.
static CellArea ClearCell(FontRecord* f, int cell) {
    CellArea a;
    FontCellOrigin(f, cell, &a.ox, &a.oy);
    a.w = f->cell;
    a.h = f->cell;
    if (f->texture_mode) {
        // The square never reaches past the image (nor the body half into the edge half).
        if (a.w > f->cache_width - a.ox) a.w = f->cache_width - a.ox;
        if (a.h > f->cache_height - a.oy) a.h = f->cache_height - a.oy;
        if (a.w < 0) a.w = 0;
        if (a.h < 0) a.h = 0;
        BaseImageClearRect(&f->cache_image, a.ox, a.oy, a.w, a.h);
        if (FontHasEdge(f)) BaseImageClearRect(&f->cache_image, a.ox + f->cache_width, a.oy, a.w, a.h);
    } else {
        std::memset(f->soft_bitmap + (size_t)a.oy * f->soft_pitch, 0, (size_t)f->cell * f->soft_pitch);
    }
    return a;
}

static void UploadCell(FontRecord* f, const CellArea& a, int w, int h) {
    if (w <= 0 || h <= 0) return;
    Rect r = {a.ox, a.oy, a.ox + w, a.oy + h};
    BltImageToGraphic(&f->cache_image, nullptr, &r, a.ox, a.oy, f->cache_graphic);
    if (FontHasEdge(f)) {
        Rect er = {r.left + f->cache_width, r.top, r.right + f->cache_width, r.bottom};
        BltImageToGraphic(&f->cache_image, nullptr, &er, er.left, er.top, f->cache_graphic);
    }
}

static int16_t Clamp16(long v) { return (int16_t)(v > 32767 ? 32767 : v < -32768 ? -32768 : v); }

// Fetches and rasterises one character into the slot; false when the platform
// gave no glyph (the slot stays free).
static bool RasterOne(FontRecord* f, HDC dc, const TEXTMETRICA& tm, GlyphCacheSlot* slot, const GlyphRequest& r) {
    static const MAT2 kIdentity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    CellArea a = ClearCell(f, slot->cell);
    UINT code = r.second ? (UINT)(r.first << 8 | r.second) : r.first;
    UINT format = FontIsAntialiased(f) ? GGO_GRAY4_BITMAP : GGO_BITMAP;
    GLYPHMETRICS gm;
    std::memset(&gm, 0, sizeof gm);
    DWORD size = g_glyph_source(dc, code, format, &gm, 0, nullptr, &kIdentity);
    if (size == GDI_ERROR) {
        LogAppend("GetGlyphOutline 関数が失敗しました\n");
        return false;
    }
    const int e = FontGlyphEdge(f);
    int bw = 0, bh = 0;
    slot->origin_x = Clamp16(gm.gmptGlyphOrigin.x);
    slot->top_offset = Clamp16(tm.tmAscent - gm.gmptGlyphOrigin.y);
    slot->advance = Clamp16(gm.gmCellIncX);
    // A space, and a glyph the platform gives no pixels for, keep their advance only.
    if (!GlyphIsSpace(r) && size > 0 && gm.gmBlackBoxY > 0) {
        int pitch = (int)(size / gm.gmBlackBoxY) & ~3;
        uint8_t* buf = (uint8_t*)MemAllocZeroed((size_t)size + 2 * (size_t)pitch, __FILE__, __LINE__);
        if (!buf) FatalLibraryError("アンチエイリアス文字取得用バッファの確保に失敗しました");
        if (g_glyph_source(dc, code, format, &gm, size, buf + pitch, &kIdentity) == GDI_ERROR) {
            LogAppend("GetGlyphOutline 関数が失敗しました\n");
            MemFree(buf);
            return false;
        }
        GlyphBitmap g = {buf + pitch, pitch, (int)gm.gmBlackBoxX, (int)gm.gmBlackBoxY, format == GGO_GRAY4_BITMAP};
        // Never read past a row: a bitmap narrower than its box loses the rest.
        int row_pixels = g.gray ? pitch : pitch * 8;
        if (g.width > row_pixels) g.width = row_pixels;
        bw = g.width;
        bh = g.height;
        if (f->texture_mode) {
            TextureCell c = {&f->cache_image, f->cache_width, a};
            RasterTexture(f, c, g, e);
        } else {
            RasterSoftware(f, f->soft_bitmap + (size_t)a.oy * f->soft_pitch, a, g, e);
        }
        MemFree(buf);
    }
    slot->advance = Clamp16(slot->advance + 2 * e);
    // The box never reaches past its cell, so drawing it never shows a neighbour.
    // A glyph without pixels that is no space stays empty: nothing of the cell is shown.
    bool empty = bw == 0 && !GlyphIsSpace(r);
    int gw = empty ? 0 : bw + 2 * e, gh = empty ? 0 : bh + 2 * e;
    slot->box_width = Clamp16(gw < a.w ? gw : a.w);
    slot->box_height = Clamp16(gh < a.h ? gh : a.h);
    if (f->texture_mode && bw > 0) UploadCell(f, a, slot->box_width, slot->box_height);
    return true;
}

GlyphCacheSlot* RenderGlyphsToCache(int font, int count, const GlyphRequest* requests) {
    if (IsDrawingSuppressed()) return nullptr;
    FontRecord* f = FontRecordOf(font);
    if (!f || count <= 0 || !requests || f->capacity <= 0) return nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = dc ? SelectObject(dc, f->hfont) : nullptr;
    if (!dc || !old) FatalLibraryError("テキストキャッシュサーフェスのＤＣの取得に失敗しました");
    TEXTMETRICA tm;
    std::memset(&tm, 0, sizeof tm);
    GetTextMetricsA(dc, &tm);
    GlyphCacheSlot* last = nullptr;
    for (int i = 0; i < count; i++) {
        const GlyphRequest& r = requests[i];
        GlyphCacheSlot* slot = &f->slots[f->next_slot];
        // The old glyph goes first, so a character that then fails still frees the slot.
        if (slot->in_use) {
            if (slot->code) {
                slot->code->cached = 0;
                slot->code->slot = nullptr;
            }
            slot->in_use = 0;
            slot->code = nullptr;
        }
        last = nullptr;
        if (!RasterOne(f, dc, tm, slot, r)) continue;
        GlyphCodeEntry* entry = &f->codes[GlyphKey(r)];
        // A character cached twice keeps only its newest slot.
        if (entry->cached && entry->slot && entry->slot != slot) {
            entry->slot->in_use = 0;
            entry->slot->code = nullptr;
        }
        entry->cached = 1;
        entry->slot = slot;
        slot->in_use = 1;
        slot->code = entry;
        if (++f->next_slot >= f->capacity) f->next_slot = 0;
        last = slot;
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    return last;
}
