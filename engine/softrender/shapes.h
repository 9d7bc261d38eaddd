// Shapes drawn into 16-bit and 32-bit software images: filled rectangles,
// one-pixel lines, circles (outline or filled) in a flat colour, and triangles
// textured from another image or in a flat colour. Every call reads
// the draw area, blend mode, blend parameter and draw bright of GDrawSettings
// once at entry and clips against the draw area alone, so the caller keeps the
// draw area inside the destination. The colour is a pixel value already in the
// destination's format. Refused input draws nothing; only the circle reports it.
#pragma once
#include <cstdint>
#include "engine/system/rect.h"

struct MEMIMG;

// One line of DrawMemImgLines: start, end (excluded), colour; `param` is not
// read here (the box outline keeps its blend parameter there).
struct MemImgLineRecord {
    int32_t x1, y1, x2, y2;
    int32_t color;
    int32_t param;
};

// Fills the rectangle (null: the whole view), corners in either order.
// Destinations with the palette or alpha flag are left untouched.
void FillMemImgRect(MEMIMG* img, const Rect* rect, uint32_t color);
// Draws from (x1, y1) up to but not including (x2, y2).
void DrawMemImgLine(MEMIMG* img, int x1, int y1, int x2, int y2, uint32_t color);
// Draws count records in array order; nothing for count <= 0.
void DrawMemImgLines(MEMIMG* img, const MemImgLineRecord* lines, int count);
// fill == 0: the midpoint outline (points where the walk meets itself are
// written more than once); otherwise a disc whose every pixel is written once.
// 0, or -1 with nothing drawn when the radius would carry the walk's 32-bit
// decision value out of range: above the radii below, or below
// -357913939 (outline) or -1073741822 (disc).
int DrawMemImgCircle(MEMIMG* img, int cx, int cy, int r, uint32_t color, int fill);
// Every radius up to these keeps its walk's decision value in 32 bits, and the
// next one does not (the disc's walk dips lower, to d - 4y before adding
// 4x + 2). A few larger radii would fit again; they are refused all the same.
constexpr int kMemImgCircleMaxRadius = 536894470, kMemImgDiscMaxRadius = 536871057;

// One corner of a triangle: destination pixel (x, y) and source texel (u, v).
struct TriangleVertex {
    int32_t x, y;
    int32_t u, v;
};

// Draws the triangle of three vertices (any order, either winding). With a
// source, its texels are mapped affinely (u, v in whole texels, texels outside
// the source skipped; trans and the blend graph as for DrawMemImg); with a null
// source the triangle takes the flat colour. Coordinates must lie in
// -8192..8191 and differ by less than 8192, and a textured triangle's texel
// steps must fit 32 bits; other triangles draw nothing.
void DrawMemImgTriangle(MEMIMG* dst, const MEMIMG* src, const TriangleVertex* vertices, int trans,
                        const MEMIMG* blend_graph, uint32_t color);

// The whole of src mapped onto the quad of corners xy (x, y pairs: top-left,
// top-right, bottom-right, bottom-left) as two triangles that share the
// top-right to bottom-left diagonal.
void DrawMemImgQuad(MEMIMG* dst, const MEMIMG* src, const int xy[8], int trans, const MEMIMG* blend_graph);
