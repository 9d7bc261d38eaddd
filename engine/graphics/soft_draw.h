// The software path of the drawing calls: pictures and shapes drawn by the
// software renderer into the screen image.
#pragma once
#include <cstdint>

struct MEMIMG;

// Draws the image whole with its top-left at (x, y) on the screen image, with the
// blend graph of SetBlendGraphic (or none). Returns 0.
int SoftDrawGraphic(int x, int y, MEMIMG* image, int trans);
// Draws the image whole into (x1, y1)-(x2, y2) of the screen image; x1 > x2 or
// y1 > y2 mirrors that axis. Returns 0.
int SoftDrawGraphicStretched(int x1, int y1, int x2, int y2, MEMIMG* image, int trans);
// Draws the image whole onto four corners (top-left, top-right, bottom-right,
// bottom-left) as two textured triangles. Returns 0.
int SoftDrawGraphicQuad(const int xy[8], MEMIMG* image, int trans);
// Box (right and bottom exclusive) in a screen colour. Returns 0.
int SoftDrawBox(int x1, int y1, int x2, int y2, uint32_t color, int fill);
// Circle in a screen colour. 0, or -1 (logged) for a radius the software
// renderer refuses.
int SoftDrawCircle(int x, int y, int r, uint32_t color, int fill);
// Logs that a drawing's coordinates are out of range. Returns -1.
int LogBadDrawCoordinates();
