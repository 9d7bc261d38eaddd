// Entry points of the shapes: one read of the draw settings per call, then the
// core.
#include "engine/softrender/shapes.h"
#include "engine/softrender/shape_frame.h"

void FillMemImgRect(MEMIMG* img, const Rect* rect, uint32_t color) {
    ShapeFillRect(ShapeReadState(), img, rect, color);
}

void DrawMemImgLine(MEMIMG* img, int x1, int y1, int x2, int y2, uint32_t color) {
    ShapeLine(ShapeReadState(), img, x1, y1, x2, y2, color);
}

void DrawMemImgLines(MEMIMG* img, const MemImgLineRecord* lines, int count) {
    if (!img || !lines || count <= 0) return;
    const ShapeState st = ShapeReadState();
    for (int i = 0; i < count; i++)
        ShapeLine(st, img, lines[i].x1, lines[i].y1, lines[i].x2, lines[i].y2, (uint32_t)lines[i].color);
}

int DrawMemImgCircle(MEMIMG* img, int cx, int cy, int r, uint32_t color, int fill) {
    // The decision value starts at 3 - 2r; with a negative radius the disc's
    // walk stops there and the outline's first step takes it to 13 - 6r.
    const int64_t negative_peak = fill ? 3 - 2 * (int64_t)r : 13 - 6 * (int64_t)r;
    if (r > (fill ? kMemImgDiscMaxRadius : kMemImgCircleMaxRadius) || (r < 0 && negative_peak > INT32_MAX)) return -1;
    const ShapeState st = ShapeReadState();
    if (fill) ShapeCircleFill(st, img, cx, cy, r, color);
    else ShapeCircleOutline(st, img, cx, cy, r, color);
    return 0;
}
