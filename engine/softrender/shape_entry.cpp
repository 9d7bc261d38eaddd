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

void DrawMemImgCircle(MEMIMG* img, int cx, int cy, int r, uint32_t color, int fill) {
    const ShapeState st = ShapeReadState();
    if (fill) ShapeCircleFill(st, img, cx, cy, r, color);
    else ShapeCircleOutline(st, img, cx, cy, r, color);
}
