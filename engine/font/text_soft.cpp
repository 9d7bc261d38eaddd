// Software text: glyphs of a bitmap cache written straight into the screen image,
// or into a text work image that the software blit then composes onto the screen.
#include "engine/font/font.h"

#include <cstring>
#include "engine/font/font_record.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/graphics_system.h"
#include "engine/image/memimg.h"
#include "engine/softrender/blit.h"

namespace {

// Division rounding toward minus infinity.
int FloorDiv256(int v) { return v >= 0 ? v / 256 : -((-v + 255) / 256); }

// A body level b (1-14) over an edge level e, channel by channel.
uint32_t BlendBodyOverEdge(int b, int e, uint32_t text, uint32_t edge, int depth) {
    int a = ((15 - b) * e + 16 * b) & 0xFF;
    int t = b * 4096 / a;
    auto mix = [&](int shift, int mask) {
        int tc = (int)(text >> shift) & mask, ec = (int)(edge >> shift) & mask;
        return (uint32_t)((ec + FloorDiv256((tc - ec) * t)) & mask) << shift;
    };
    if (depth == 16) return mix(11, 31) | mix(5, 63) | mix(0, 31) | (uint32_t)a << 16;
    return mix(16, 255) | mix(8, 255) | mix(0, 255) | (uint32_t)a << 24;
}

// The destination value of one cache value; false when nothing is written.
bool GlyphPixel(int type, int depth, unsigned v, uint32_t text, uint32_t edge, uint32_t* out) {
    if (v == 0) return false;
    switch (type) {
    case FONT_TYPE_NORMAL: *out = text; return true;
    case FONT_TYPE_EDGE: *out = v == 1 ? text : (depth == 32 ? edge & 0xFFFFFF : edge); return true;
    case FONT_TYPE_ANTIALIASING:
        *out = depth == 16 ? v * 0x100000u + (text & 0xFFFF) : v * 0x10000000u + text;
        return true;
    default: {
        int b = v & 15, e = (int)(v >> 4);
        uint32_t full = depth == 16 ? 0xFF0000u : 0xFF000000u;
        if (b == 15) *out = (depth == 16 ? text & 0xFFFF : text) + full;
        else if (b == 0) *out = (uint32_t)(e * 16) << (depth == 16 ? 16 : 24) | (depth == 16 ? edge & 0xFFFF : edge);
        else *out = BlendBodyOverEdge(b, e, text, edge, depth);
        return true;
    }
    }
}

// The cache value at (x, y) of a glyph's cell.
unsigned CacheValue(const FontRecord* f, int sx, int sy, int x, int y) {
    const uint8_t* row = f->soft_bitmap + (size_t)(sy + y) * f->soft_pitch;
    if (f->soft_bits == 1) return (row[(sx + x) >> 3] >> (7 - ((sx + x) & 7))) & 1;
    return row[sx + x];
}

// A destination the glyph writer only measures: every glyph box it is handed
// widens g_reach (the reach pass of the work-image path).
MEMIMG g_reach_probe;
Rect g_reach;

void WidenRect(Rect* r, const Rect& b) {
    if (b.left < r->left) r->left = b.left;
    if (b.top < r->top) r->top = b.top;
    if (b.right > r->right) r->right = b.right;
    if (b.bottom > r->bottom) r->bottom = b.bottom;
}

}  // namespace

void WriteGlyphSoftware(const FontRecord* f, MEMIMG* dst, const Rect* clip, int trans, int box_x, int box_y, int sx,
                        int sy, int bw, int bh, unsigned color, unsigned edge_color, int vertical) {
    if (!dst || !f->soft_bitmap || bw <= 0 || bh <= 0) return;
    int dw = vertical ? bh : bw, dh = vertical ? bw : bh;
    Rect box = {box_x, box_y, box_x + dw, box_y + dh};
    if (dst == &g_reach_probe) {
        WidenRect(&g_reach, box);
        return;
    }
    int depth = GetScreenColorDepth();
    int bpp = MemImageBytesPerPixel(dst);
    int aa = FontIsAntialiased(f);
    int want = depth == 32 || aa ? 4 : depth == 16 ? 2 : 1;
    // A destination of another pixel size is not ours to write; an 8-bit screen has no antialiasing.
    if ((depth != 8 && depth != 16 && depth != 32) || (depth == 8 && aa) || bpp != want) return;
    Rect bounds = {0, 0, dst->width, dst->height};
    Rect limit = clip ? *clip : bounds;
    ClipRectToRect(&limit, &bounds);
    Rect r = box;
    ClipRectToRect(&r, &limit);
    if (r.right <= r.left || r.bottom <= r.top) return;
    MemImageMarkWritten(dst);
    int pitch = dst->shared->pitch;
    for (int y = r.top; y < r.bottom; y++) {
        uint8_t* row = dst->pixels + (size_t)y * pitch;
        for (int x = r.left; x < r.right; x++) {
            // Vertical: glyph row gy fills the column box.right - 1 - gy, glyph column gx runs down.
            int gx = vertical ? y - box.top : x - box.left;
            int gy = vertical ? box.right - 1 - x : y - box.top;
            uint32_t v;
            if (!GlyphPixel(f->type, depth, CacheValue(f, sx, sy, gx, gy), color, edge_color, &v)) {
                if (trans) continue;
                v = 0;
            }
            if (bpp == 1) {
                row[x] = (uint8_t)v;
            } else if (bpp == 2) {
                uint16_t w = (uint16_t)v;
                std::memcpy(row + x * 2, &w, 2);
            } else {
                std::memcpy(row + x * 4, &v, 4);
            }
        }
    }
}

int DrawTextSoftware(int x, int y, const char* text, unsigned color, int font, unsigned edge_color, int vertical) {
    FontRecord* f = FontRecordOf(font);
    MEMIMG* screen = GetScreenMemImg();
    // A font that fell back to a bitmap cache in Direct3D mode has no screen to write to.
    if (!f || !screen || f->texture_mode) return -1;
    const int aa = FontIsAntialiased(f);
    const int mode = GDrawSettings.blend_mode, param = GDrawSettings.blend_param;
    const Rect saved_area = GDrawSettings.draw_area;
    // A glyph that cannot be cached ends the string with -1; the glyphs before it are drawn.
    if (!aa && (mode == DX_BLENDMODE_NOBLEND || (mode == DX_BLENDMODE_ALPHA && param == 255))) {
        int rc = FontStringCore(1, x, y, 0, 1.0, 1.0, text, color, screen, &saved_area, 1, font, edge_color, -1,
                                vertical, nullptr);
        return rc < 0 ? -1 : 0;
    }
    MEMIMG* work = GetTextWorkImage(aa);
    if (!work) return -1;
    // The work image covers where the glyph boxes land, not the line box: the edge puts
    // glyphs lower and righter, bearings and vertical writing put them before the start,
    // and a string from a negative position or wider than the screen keeps its visible
    // part. Keeping the start point inside keeps the blend graph lined up with the string.
    g_reach = Rect{0, 0, 0, 0};
    int laid = 0;
    int rc = FontStringCore(1, 0, 0, 0, 1.0, 1.0, text, color, &g_reach_probe, nullptr, 1, font, edge_color, -1,
                            vertical, nullptr, &laid);
    Rect dest = {x + g_reach.left, y + g_reach.top, x + g_reach.right, y + g_reach.bottom};
    Rect screen_rect = {0, 0, screen->width, screen->height};
    ClipRectToRect(&dest, &saved_area);
    ClipRectToRect(&dest, &screen_rect);
    uint32_t key = 0;
    if (!aa) {
        unsigned soft, edge_soft;
        PrepareTextColor(color, &soft, nullptr);
        PrepareTextColor(edge_color, &edge_soft, nullptr);
        uint32_t mask = GetScreenColorDepth() == 16 ? 0xFFFF : 0xFFFFFF;
        key = work->shared->trans_color & mask;
        while (key == soft || key == edge_soft) key = (key + 1) & mask;
    }
    work->shared->trans_color = key;
    if (dest.right <= dest.left || dest.bottom <= dest.top) return rc < 0 ? -1 : 0;
    Rect rect = {0, 0, dest.right - dest.left, dest.bottom - dest.top};
    MemImageFillRect(work, &rect, key);
    // Only what the reach pass laid out: asking again for a glyph it could not
    // cache would log that failure twice.
    if (FontStringCore(1, x - dest.left, y - dest.top, 0, 1.0, 1.0, text, color, work, &rect, 1, font, edge_color,
                       laid, vertical, nullptr) < 0)
        rc = -1;
    uint32_t saved_bright = DrawBrightValue(GDrawSettings);
    SetDrawArea(dest.left, dest.top, dest.right, dest.bottom);
    SetDrawBrightPacked(0xFFFFFF);
    MEMIMG view;
    // The blit wants a blend graph no smaller than its source: the text's part of the work image.
    if (MemImageMakeView(&view, work, 0, 0, rect.right, rect.bottom) == 0) {
        DrawMemImg(screen, &view, dest.left, dest.top, 1, GDrawSettings.blend_graph_image);
        MemImageRelease(&view);
    }
    SetDrawArea(saved_area.left, saved_area.top, saved_area.right, saved_area.bottom);
    SetDrawBrightPacked(saved_bright);
    return rc < 0 ? -1 : 0;
}
