// Software picture drawing: a whole MEMIMG onto another, plain or stretched and
// mirrored, in every blend mode of DrawSettings (0-4, 10, 11). No Windows header.
#pragma once
#include "engine/image/memimg.h"
#include "engine/system/rect.h"

// Draws src with its top-left at (x, y) onto dst, clipped to the draw area.
// A non-zero trans leaves out transparent pixels (1 also allows the run-length
// path). blend_graph may be null; it is read one byte a pixel at the source's
// position and must be at least as large as src.
void DrawMemImg(MEMIMG* dst, const MEMIMG* src, int x, int y, int trans, const MEMIMG* blend_graph);

// Draws the whole of src into the rectangle (x1, y1, x2, y2) of dst; the larger
// coordinate of each axis is exclusive, and x1 > x2 (y1 > y2) mirrors that axis.
void DrawMemImgStretched(MEMIMG* dst, const MEMIMG* src, const Rect* rect, int trans,
                         const MEMIMG* blend_graph);
