// Drawing graphics onto the back screen. Every call first waits while the window
// is inactive and draws nothing (returning 0) while drawing is suppressed.
// Return 0, or -1 for a bad handle or before graphics start.
#pragma once
#include "engine/system/rect.h"

int DrawGraphic(int x, int y, int graphic, int trans);
// The rectangle (sx, sy, width, height) of the graphic, cut to it, with its
// top-left at (x, y); mirror flips it left to right.
int DrawGraphicPart(int x, int y, int sx, int sy, int width, int height, int graphic, int trans, int mirror);
// That rectangle stretched into (x1, y1)-(x2, y2).
int DrawGraphicPartStretchedF(float x1, float y1, float x2, float y2, int sx, int sy, int width, int height,
                              int graphic, int trans);
// The whole graphic onto four corners: top-left, top-right, bottom-right, bottom-left.
int DrawGraphicQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                    int graphic, int trans);

// Bracket a draw in blend mode 3 on a device without a subtract operation: the
// rectangle is inverted before and after, and the draw between them adds.
int BeginEmulatedSubtract(const Rect* rect);
int EndEmulatedSubtract(const Rect* rect);
// Bracket every draw while a mask is in use (masks are not built: nothing to do).
int BeginMaskedDraw(const Rect* rect);
int EndMaskedDraw(const Rect* rect);
