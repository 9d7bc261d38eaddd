// The Direct3D 9 back end of the drawing calls: one primitive per call, under the
// current blend mode, draw bright, draw area (as scissor) and filter mode.
#pragma once
#include <cstdint>
#include "engine/system/rect.h"

struct GraphicRecord;

// Draws the texel rectangle (u0, v0)-(u1, v1) of the graphic (in its own pixels;
// u1 < u0 mirrors) onto four corners in the order top-left, top-right,
// bottom-right, bottom-left (xy holds x, y pairs; pixel centres at whole numbers).
int G_D3D_DrawQuad(GraphicRecord* rec, const float xy[8], float u0, float v0, float u1, float v1, int trans);
// Fills the pixels (x1, y1)-(x2, y2), right and bottom exclusive, with a screen colour.
int G_D3D_FillRect(int x1, int y1, int x2, int y2, uint32_t color);
int G_D3D_DrawCircle(int x, int y, int r, uint32_t color, int fill);
// While on, draws in blend mode 3 on a device without subtract only add: the
// caller inverts around them (BeginEmulatedSubtract). Off, each such draw brackets itself.
void G_D3D_SetSubtractBracket(int on);
// Inverts the colours of a rectangle (the emulated subtract's brackets).
int G_D3D_InvertRect(const Rect& r);
