// String layout: Shift-JIS strings into cached glyphs, measured or drawn
// horizontally or in vertical writing, through the cache texture or the software
// glyph writer.
#include "engine/font/font.h"

#include <cstdarg>
#include <cstring>
#include "engine/font/font_record.h"
#include "engine/font/font_state.h"
#include "engine/graphics/draw_graphic.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/graphic_handle.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"
#include "engine/system/str_util.h"
#include "engine/system/window.h"

enum { STATIC_LIST_BYTES = 256, FORMAT_BUFFER = 2048 };

// Lists for strings of up to 256 bytes; longer ones allocate their own.
static GlyphRequest g_requests[STATIC_LIST_BYTES];
static uint16_t g_request_keys[STATIC_LIST_BYTES];
static GlyphRequest g_scratch[STATIC_LIST_BYTES];
static GlyphRequest g_chars[STATIC_LIST_BYTES];

static int StringLength(const char* text, int length) {
    int n = (int)std::strlen(text);
    return length < 0 || length > n ? n : length;
}

void PrepareTextColor(unsigned color, unsigned* soft, unsigned* argb) {
    int r, g, b;
    UnpackScreenColor(color, &r, &g, &b);
    const uint8_t* br = GDrawSettings.bright;
    r = r * br[2] / 255;
    g = g * br[1] / 255;
    b = b * br[0] / 255;
    if (soft) *soft = PackScreenColor(r, g, b) & ~PackScreenColor(0, 0, 0);
    if (argb) *argb = 0xFF000000u | (unsigned)r << 16 | (unsigned)g << 8 | (unsigned)b;
}

int CacheStringGlyphs(const char* text, int length, int font, GlyphRequest* list, int* count) {
    FontRecord* f = FontRecordOf(font);
    if (!f || !text) return -1;
    int len = StringLength(text, length);
    GlyphRequest* requests = g_requests;
    uint16_t* keys = g_request_keys;
    void* block = nullptr;
    if (len > STATIC_LIST_BYTES) {
        block = MemAlloc((size_t)len * 5, __FILE__, __LINE__);
        if (!block) return -1;
        requests = (GlyphRequest*)block;
        keys = (uint16_t*)((uint8_t*)block + (size_t)len * 3);
    }
    if (!list) list = len > STATIC_LIST_BYTES ? requests : g_scratch;
    int chars = 0, wanted = 0;
    for (int i = 0; i < len; i++) {
        GlyphRequest r = {(uint8_t)text[i], 0, 0};
        if (IsMultiByteLead(r.first, f->charset_index) && i + 1 < len) r.second = (uint8_t)text[++i];
        // The scratch list may be the request list: requests never run ahead of characters.
        list[chars++] = r;
        GlyphCodeEntry* e = &f->codes[GlyphKey(r)];
        if (!e->cached && wanted < f->capacity) {
            e->cached = 1;  // a mark: each missing character is asked for once
            keys[wanted] = (uint16_t)GlyphKey(r);
            requests[wanted++] = r;
        }
    }
    for (int i = 0; i < wanted; i++) f->codes[keys[i]].cached = 0;
    if (wanted > 0) RenderGlyphsToCache(font, wanted, requests);
    if (count) *count = chars;
    MemFree(block);
    return 0;
}

// The texture path of one glyph: edge first, then the body, tinted by the draw bright.
static void DrawGlyphTexture(const FontRecord* f, int bx, int by, double px, double py, int sx, int sy, int bw,
                             int bh, int scale, double scale_x, double scale_y, int vertical, unsigned argb,
                             unsigned edge_argb) {
    int graph = GDrawSettings.blend_graph, border = GDrawSettings.blend_graph_border;
    int range = GDrawSettings.blend_graph_range;
    uint32_t bright = DrawBrightValue(GDrawSettings);
    SetBlendGraphic(-1, 0, 0);
    int cache_w = 0, cache_h = 0;
    GetGraphicSize(f->cache_graphic, &cache_w, &cache_h);
    for (int pass = FontHasEdge(f) ? 0 : 1; pass < 2; pass++) {
        int graphic = pass == 0 ? f->edge_graphic : f->cache_graphic;
        SetDrawBrightPacked(pass == 0 ? edge_argb : argb);
        if (!vertical) {
            if (scale)
                DrawGraphicPartStretchedF((float)px, (float)py, (float)(px + bw * scale_x), (float)(py + bh * scale_y),
                                          sx, sy, bw, bh, graphic, 1);
            else
                DrawGraphicPart(bx, by, sx, sy, bw, bh, graphic, 1, 0);
            continue;
        }
        Rect saved = GDrawSettings.draw_area;
        if (!scale) {
            // The turned box ends left of bx and starts at by; glyph rows run leftward.
            int right = bx, top = by, left = right - bh;
            Rect area = {left - 1, top, right + 1, top + bw};
            ClipRectToRect(&area, &saved);
            SetDrawArea(area.left, area.top, area.right, area.bottom);
            float gw = (float)(pass == 0 ? cache_w / 2 : cache_w), gh = (float)cache_h;
            float R = (float)(right + sy), L = R - gh, T = (float)(top - sx), B = T + gw;
            DrawGraphicQuad(R - 0.5f, T - 0.5f, R - 0.5f, B - 0.5f, L - 0.5f, B - 0.5f, L - 0.5f, T - 0.5f, graphic,
                            1);
        } else {
            // Scaled: (px, py) is the turned rectangle's right edge and top.
            double r = px, top = py, b = top + bw * scale_y, l = r - bh * scale_x;
            Rect area = {(int)(r - (int)(bh * scale_x)) - 1, (int)top, (int)r + 1, (int)b};
            ClipRectToRect(&area, &saved);
            SetDrawArea(area.left, area.top, area.right, area.bottom);
            int part = DeriveGraphic(sx, sy, bw, bh, graphic);
            if (pass == 1) SetDrawFilterMode(1);
            if (part > 0) {
                DrawGraphicQuad((float)(r - 0.5), (float)(top - 0.5), (float)(r - 0.5), (float)(b - 0.5),
                                (float)(l - 0.5), (float)(b - 0.5), (float)(l - 0.5), (float)(top - 0.5), part, 1);
                DeleteGraphic(part, 0);
            }
        }
        SetDrawArea(saved.left, saved.top, saved.right, saved.bottom);
    }
    SetBlendGraphic(graph, border, range);
    SetDrawBrightPacked(bright);
}

int FontStringCore(int draw, int x, int y, int scale, double scale_x, double scale_y, const char* text,
                   unsigned color, MEMIMG* dst, const Rect* clip, int trans, int font, unsigned edge_color,
                   int length, int vertical, int size_out[2], int* laid_out) {
    if (size_out) size_out[0] = size_out[1] = 0;
    if (laid_out) *laid_out = 0;
    if (IsDrawingSuppressed()) return -1;
    FontRecord* f = FontRecordOf(font);
    if (!f) return -1;
    if (!draw || !scale || !f->texture_mode) {
        scale = 0;
        scale_x = scale_y = 1.0;
    }
    unsigned soft, argb, edge_soft, edge_argb;
    PrepareTextColor(color, &soft, &argb);
    PrepareTextColor(edge_color, &edge_soft, &edge_argb);
    if (!text || !text[0]) return 0;
    int len = StringLength(text, length);
    GlyphRequest* chars = g_chars;
    if (len > STATIC_LIST_BYTES) {
        chars = (GlyphRequest*)MemAlloc((size_t)len * 3, __FILE__, __LINE__);
        if (!chars) return -1;
    }
    int count = 0;
    if (CacheStringGlyphs(text, len, font, chars, &count) < 0) {
        if (chars != g_chars) MemFree(chars);
        return -1;
    }
    const double advance_scale = vertical ? scale_y : scale_x;
    double pen = 0.0;
    int rc = 0, bytes = 0;
    for (int i = 0; i < count; i++) {
        const GlyphRequest& r = chars[i];
        GlyphCodeEntry* entry = &f->codes[GlyphKey(r)];
        GlyphCacheSlot* slot = entry->cached ? entry->slot : nullptr;
        if (!slot) slot = RenderGlyphsToCache(font, 1, &r);
        if (!slot) {
            LogAppend("テキストキャッシュの作成に失敗しました");
            rc = -1;
            break;
        }
        int bw = slot->box_width, bh = slot->box_height;
        if (draw && !GlyphIsSpace(r) && (bw > 0 || bh > 0)) {
            int sx, sy;
            FontCellOrigin(f, slot->cell, &sx, &sy);
            int p = (int)pen;
            if (f->texture_mode) {
                int bx, by;
                double px, py;
                if (!vertical) {
                    bx = x + p + slot->origin_x;
                    by = y + slot->top_offset;
                    px = x + pen + slot->origin_x * scale_x;
                    py = y + slot->top_offset * scale_y;
                } else {
                    // Vertical: (bx, by) is the turned box's right edge and top.
                    bx = x + f->line_height - slot->top_offset;
                    by = y + p + slot->origin_x;
                    px = x + (f->line_height - slot->top_offset) * scale_x;
                    py = y + pen + slot->origin_x * scale_y;
                }
                DrawGlyphTexture(f, bx, by, px, py, sx, sy, bw, bh, scale, scale_x, scale_y, vertical, argb, edge_argb);
            } else if (dst) {
                int bx = vertical ? x + f->line_height - slot->top_offset - bh : x + p + slot->origin_x;
                int by = vertical ? y + p + slot->origin_x : y + slot->top_offset;
                WriteGlyphSoftware(f, dst, clip, trans, bx, by, sx, sy, bw, bh, soft, edge_soft, vertical);
            }
        }
        pen += (slot->advance + f->spacing) * advance_scale;
        bytes += r.second ? 2 : 1;
    }
    if (laid_out) *laid_out = bytes;
    if (chars != g_chars) MemFree(chars);
    if (rc < 0) return -1;
    if (size_out) {
        size_out[0] = vertical ? f->line_height : (int)pen;
        size_out[1] = vertical ? (int)pen : f->line_height;
    }
    return (int)pen;
}

int DrawTextCached(int x, int y, const char* text, unsigned color, int font, unsigned edge_color, int vertical) {
    FontRecord* f = FontRecordOf(font);
    if (!f) return -1;
    if (!f->texture_mode || !text) return 0;
    if (BuildFontCacheGraphic(font) < 0) return -1;
    int rc = FontStringCore(1, x, y, 0, 1.0, 1.0, text, color, nullptr, &GDrawSettings.draw_area, 1, font,
                            edge_color, (int)std::strlen(text), vertical, nullptr);
    return rc < 0 ? -1 : 0;
}

int DrawTextWithFont(int x, int y, const char* text, unsigned color, int font, unsigned edge_color, int vertical) {
    if (!text || !text[0] || IsDrawingSuppressed()) return 0;
    // Waiting may re-create every font: the record is looked up after it.
    WaitWhileInactive();
    if (IsDrawingSuppressed()) return 0;
    FontRecord* f = FontRecordOf(font);
    if (!f) return LogAppend("フォントハンドル値が異常です\n");
    const int texture = f->texture_mode;
    const int sub = GDrawSettings.blend_mode == DX_BLENDMODE_SUB;
    const int masked = GDrawSettings.mask_in_use;
    const Rect& area = GDrawSettings.draw_area;
    Rect rect = {0, 0, 0, 0};
    if ((sub && texture) || masked || GDrawSettings.draw_target == DX_SCREEN_FRONT) {
        if (vertical) rect = Rect{x, y, x + f->size + 3, area.bottom};
        else rect = Rect{x, y, area.right, y + f->size + 3};
        if (rect.left >= area.right) return 0;
        if (masked) BeginMaskedDraw(&rect);
    }
    int rc;
    if (sub && !GDrawSettings.device_can_subtract && texture) {
        BeginEmulatedSubtract(&rect);
        rc = DrawTextCached(x, y, text, color, font, edge_color, vertical);
        EndEmulatedSubtract(&rect);
    } else if (texture) {
        rc = DrawTextCached(x, y, text, color, font, edge_color, vertical);
    } else {
        rc = DrawTextSoftware(x, y, text, color, font, edge_color, vertical);
    }
    if (masked) EndMaskedDraw(&rect);
    return rc;
}

int DrawFormattedText(int x, int y, unsigned color, const char* format, ...) {
    if (!format) return -1;
    char buf[FORMAT_BUFFER];
    va_list args;
    va_start(args, format);
    FormatStringVa(buf, sizeof buf, format, args);
    va_end(args);
    RefreshDefaultFont();
    return DrawTextWithFont(x, y, buf, color, GetDefaultFontHandle(), 0, 0);
}
