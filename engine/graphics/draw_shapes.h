// Boxes and circles on the back screen in a screen colour (PackScreenColor), under
// the blend mode, draw bright and draw area. Like every draw they wait while the
// window is inactive and draw nothing while drawing is suppressed. 0 or -1.
#pragma once
#include <cstdint>

// (x1, y1)-(x2, y2) with right and bottom exclusive; fill 0 draws the outline.
int DrawBox(int x1, int y1, int x2, int y2, uint32_t color, int fill);
// A negative radius draws nothing; in software mode a radius past about 2^29 is
// refused (-1).
int DrawCircle(int x, int y, int r, uint32_t color, int fill);
