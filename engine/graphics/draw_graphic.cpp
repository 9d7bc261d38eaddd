#include "engine/graphics/draw_graphic.h"

#include "engine/graphics/d3d_draw.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/graphic_record.h"
#include "engine/graphics/graphics_system.h"
#include "engine/graphics/soft_draw.h"
#include "engine/system/log.h"
#include "engine/system/window.h"

// The record to draw, or null: waits while inactive first; *skip is set when the
// draw is to be left out without an error.
static GraphicRecord* BeginDrawCall(int graphic, int* skip) {
    *skip = 0;
    WaitWhileInactive();
    if (!IsGraphicsStarted()) return nullptr;
    if (IsDrawingSuppressed()) {
        *skip = 1;
        return nullptr;
    }
    GraphicRecord* rec = GetGraphicRecord(graphic);
    if (!rec) LogAppendFormat("描画に失敗しました ( グラフィックハンドルが無効です 0x%08x )", graphic);
    // WIRE(movie): a graphic bound to a movie takes its newest frame first (UpdateMovieFrame).
    return rec;
}

int DrawGraphic(int x, int y, int graphic, int trans) {
    int skip;
    GraphicRecord* rec = BeginDrawCall(graphic, &skip);
    if (!rec) return skip ? 0 : -1;
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

int DrawGraphicPart(int x, int y, int sx, int sy, int width, int height, int graphic, int trans, int mirror) {
    int skip;
    GraphicRecord* rec = BeginDrawCall(graphic, &skip);
    if (!rec) return skip ? 0 : -1;
    if (!CutToGraphic(rec, &sx, &sy, &width, &height)) return 0;
    if (!GraphicsUsesD3D()) {
        MEMIMG part;
        if (MemImageMakeView(&part, &rec->image, sx, sy, width, height) < 0) return -1;
        if (mirror) SoftDrawGraphicStretched(x + width, y, x, y + height, &part, trans);
        else SoftDrawGraphic(x, y, &part, trans);
        MemImageRelease(&part);
        return 0;
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

int DrawGraphicPartStretchedF(float x1, float y1, float x2, float y2, int sx, int sy, int width, int height,
                              int graphic, int trans) {
    int skip;
    GraphicRecord* rec = BeginDrawCall(graphic, &skip);
    if (!rec) return skip ? 0 : -1;
    if (!CutToGraphic(rec, &sx, &sy, &width, &height)) return 0;
    if (!GraphicsUsesD3D()) {
        MEMIMG part;
        if (MemImageMakeView(&part, &rec->image, sx, sy, width, height) < 0) return -1;
        SoftDrawGraphicStretched((int)x1, (int)y1, (int)x2, (int)y2, &part, trans);
        MemImageRelease(&part);
        return 0;
    }
    x1 -= 0.5f, y1 -= 0.5f, x2 -= 0.5f, y2 -= 0.5f;
    float xy[8] = {x1, y1, x2, y1, x2, y2, x1, y2};
    G_D3D_DrawQuad(rec, xy, (float)sx, (float)sy, (float)(sx + width), (float)(sy + height), trans);
    return 0;
}

int DrawGraphicQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                    int graphic, int trans) {
    int skip;
    GraphicRecord* rec = BeginDrawCall(graphic, &skip);
    if (!rec) return skip ? 0 : -1;
    if (!GraphicsUsesD3D()) {
        int xy[8] = {(int)x1, (int)y1, (int)x2, (int)y2, (int)x3, (int)y3, (int)x4, (int)y4};
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
