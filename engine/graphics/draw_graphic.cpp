#include "engine/graphics/draw_graphic.h"

#include <climits>
#include <cmath>

#include "engine/graphics/d3d_draw.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/graphic_record.h"
#include "engine/graphics/graphics_system.h"
#include "engine/graphics/soft_draw.h"
#include "engine/movie/movie.h"
#include "engine/system/log.h"
#include "engine/system/window.h"

// The record to draw, or null: waits while inactive first. *result is what the
// call returns when there is nothing to draw (0 when it is left out without an error).
static GraphicRecord* BeginDrawCall(int graphic, int* result) {
    *result = -1;
    WaitWhileInactive();
    if (!IsGraphicsStarted()) return nullptr;
    if (IsDrawingSuppressed()) {
        *result = 0;
        return nullptr;
    }
    GraphicRecord* rec = GetGraphicRecord(graphic);
    if (rec) *result = 0;
    else LogAppendFormat("描画に失敗しました ( グラフィックハンドルが無効です 0x%08x )", graphic);
    if (rec && rec->movie) UpdateMovieFrame(rec->movie);
    return rec;
}

int DrawGraphic(int x, int y, int graphic, int trans) {
    int result;
    GraphicRecord* rec = BeginDrawCall(graphic, &result);
    if (!rec) return result;
    if (!GraphicsUsesD3D()) return SoftDrawGraphic(x, y, &rec->image, trans);
    float l = x - 0.5f, t = y - 0.5f, r = l + rec->width, b = t + rec->height;
    float xy[8] = {l, t, r, t, r, b, l, b};
    G_D3D_DrawQuad(rec, xy, 0, 0, (float)rec->width, (float)rec->height, trans);
    return 0;
}

// Cuts (sx, sy, w, h) to the graphic; false when nothing is left.
static bool CutToGraphic(const GraphicRecord* rec, int* sx, int* sy, int* w, int* h) {
    if (*sx < 0) { *w += *sx; *sx = 0; }
    if (*sy < 0) { *h += *sy; *sy = 0; }
    if (*w > rec->width - *sx) *w = rec->width - *sx;
    if (*h > rec->height - *sy) *h = rec->height - *sy;
    return *w > 0 && *h > 0;
}

// BeginDrawCall for the part (sx, sy, w, h) of the graphic, cut to it.
static GraphicRecord* BeginPartDraw(int graphic, int* sx, int* sy, int* w, int* h, int* result) {
    GraphicRecord* rec = BeginDrawCall(graphic, result);
    return rec && CutToGraphic(rec, sx, sy, w, h) ? rec : nullptr;
}

// Software draw of a part of the graphic through a view of it: stretched into
// (x1, y1)-(x2, y2), or unscaled at (x1, y1).
static int SoftDrawPart(GraphicRecord* rec, int sx, int sy, int w, int h, bool stretched, int x1, int y1, int x2,
                        int y2, int trans) {
    MEMIMG part;
    if (MemImageMakeView(&part, &rec->image, sx, sy, w, h) < 0) return -1;
    if (stretched) SoftDrawGraphicStretched(x1, y1, x2, y2, &part, trans);
    else SoftDrawGraphic(x1, y1, &part, trans);
    MemImageRelease(&part);
    return 0;
}

int DrawGraphicPart(int x, int y, int sx, int sy, int width, int height, int graphic, int trans, int mirror) {
    int result;
    const int want_sx = sx, want_sy = sy, want_w = width;
    GraphicRecord* rec = BeginPartDraw(graphic, &sx, &sy, &width, &height, &result);
    if (!rec) return result;
    // What was cut off keeps its place: the rest lands where it would have been
    // (a mirrored part starts with its right end).
    int cut_left = sx - want_sx, cut_right = want_w - cut_left - width;
    x += mirror ? cut_right : cut_left;
    y += sy - want_sy;
    if (!GraphicsUsesD3D()) {
        if (mirror) return SoftDrawPart(rec, sx, sy, width, height, true, x + width, y, x, y + height, trans);
        return SoftDrawPart(rec, sx, sy, width, height, false, x, y, 0, 0, trans);
    }
    float l = x - 0.5f, t = y - 0.5f, r = l + width, b = t + height;
    float xy[8] = {l, t, r, t, r, b, l, b};
    float u0 = (float)sx, u1 = (float)(sx + width);
    if (mirror) {
        float u = u0;
        u0 = u1;
        u1 = u;
    }
    G_D3D_DrawQuad(rec, xy, u0, (float)sy, u1, (float)(sy + height), trans);
    return 0;
}

// The software pixel of a float corner: Direct3D fills the pixels whose centre
// lies on or past a left or top edge at e and before a right or bottom one, so
// an edge's first pixel is ceil(e), e being the corner less `shift` (what the
// Direct3D path takes off). False (with a log line) for NaN or a value past the int range.
static bool SoftCorners(const float* v, int n, double shift, int* out) {
    for (int i = 0; i < n; i++) {
        const double r = std::ceil((double)v[i] - shift);
        if (!(r >= INT_MIN && r <= INT_MAX)) {
            LogBadDrawCoordinates();
            return false;
        }
        out[i] = (int)r;
    }
    return true;
}

int DrawGraphicPartStretchedF(float x1, float y1, float x2, float y2, int sx, int sy, int width, int height,
                              int graphic, int trans) {
    int result;
    GraphicRecord* rec = BeginPartDraw(graphic, &sx, &sy, &width, &height, &result);
    if (!rec) return result;
    if (!GraphicsUsesD3D()) {
        const float f[4] = {x1, y1, x2, y2};
        int c[4];
        if (!SoftCorners(f, 4, 0.5, c)) return -1;
        return SoftDrawPart(rec, sx, sy, width, height, true, c[0], c[1], c[2], c[3], trans);
    }
    x1 -= 0.5f, y1 -= 0.5f, x2 -= 0.5f, y2 -= 0.5f;
    float xy[8] = {x1, y1, x2, y1, x2, y2, x1, y2};
    G_D3D_DrawQuad(rec, xy, (float)sx, (float)sy, (float)(sx + width), (float)(sy + height), trans);
    return 0;
}

int DrawGraphicQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                    int graphic, int trans) {
    int result;
    GraphicRecord* rec = BeginDrawCall(graphic, &result);
    if (!rec) return result;
    if (!GraphicsUsesD3D()) {
        const float f[8] = {x1, y1, x2, y2, x3, y3, x4, y4};
        int xy[8];
        if (!SoftCorners(f, 8, 0, xy)) return -1;
        return SoftDrawGraphicQuad(xy, &rec->image, trans);
    }
    float xy[8] = {x1, y1, x2, y2, x3, y3, x4, y4};
    G_D3D_DrawQuad(rec, xy, 0, 0, (float)rec->width, (float)rec->height, trans);
    return 0;
}

int BeginEmulatedSubtract(const Rect* rect) {
    if (!rect || !GraphicsUsesD3D() || IsDrawingSuppressed()) return 0;
    G_D3D_InvertRect(*rect);
    G_D3D_SetSubtractBracket(1);
    return 0;
}

int EndEmulatedSubtract(const Rect* rect) {
    G_D3D_SetSubtractBracket(0);
    if (!rect || !GraphicsUsesD3D() || IsDrawingSuppressed()) return 0;
    G_D3D_InvertRect(*rect);
    return 0;
}

int BeginMaskedDraw(const Rect* rect) {
    (void)rect;
    return 0;
}

int EndMaskedDraw(const Rect* rect) {
    (void)rect;
    return 0;
}
