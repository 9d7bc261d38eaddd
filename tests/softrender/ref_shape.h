// Reference model of the flat-colour shapes, written apart from the engine's
// code: per-channel formulas instead of packed arithmetic, its own tables, and
// literal walkers in 64-bit over plain coordinates. It keeps a count of writes
// per pixel so the tests can check which pixels a shape touches and how often.
#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

struct RefImage {
    int w = 0, h = 0;
    int type = 1;                  // 0: 5-6-5 in the low half, 1: 32-bit X8R8G8B8
    std::vector<uint32_t> px;      // row-major
    std::vector<int> writes;       // per pixel
    void Resize(int width, int height, int color_type);
    uint32_t& At(int x, int y) { return px[(size_t)y * w + x]; }
    int WritesAt(int x, int y) const { return writes[(size_t)y * w + x]; }
};

struct RefSettings {
    int64_t left = 0, top = 0, right = 0, bottom = 0;   // draw area, right and bottom exclusive
    int mode = 0;
    int param = 255;
    int bright_b = 255, bright_g = 255, bright_r = 255;
};

// One write of the flat colour (already through the draw bright) over d.
uint32_t RefBlendPixel(int type, int mode, int param, uint32_t d, uint32_t color);
// The flat colour after the draw bright.
uint32_t RefBrightColor(int type, const RefSettings& s, uint32_t color);

// The shapes. The draw area is first cut to the image (an empty result draws
// nothing); rect is {left, top, right, bottom} or null for the whole image.
void RefFillRect(RefImage& img, const RefSettings& s, const int64_t* rect, uint32_t color);
void RefLine(RefImage& img, const RefSettings& s, int x1, int y1, int x2, int y2, uint32_t color);
// The circle: -1 with nothing drawn when its walk's decision value would leave
// 32 bits or its radius is at least the first that does, else 0.
int RefCircle(RefImage& img, const RefSettings& s, int cx, int cy, int r, uint32_t color, int fill);
// Whether every value the walk's decision value takes fits 32 bits (the walk
// runs in full for a radius that fits).
bool RefCircleFits(int r, int fill);

// Pixels of an unclipped line by the closed form: pixel k of the major axis.
std::vector<std::pair<int64_t, int64_t>> RefLineClosedForm(int x1, int y1, int x2, int y2);
// Points of the midpoint outline in write order, unclipped, up to where the
// decision value leaves 32 bits.
std::vector<std::pair<int64_t, int64_t>> RefCirclePoints(int cx, int cy, int r);
// Rows of the disc, unclipped and before the draw area: row -> span, in the
// order the walk first reaches each row, up to where the decision value leaves
// 32 bits.
struct RefDiscRow { int64_t y, xa, xb; };
std::vector<RefDiscRow> RefDiscRows(int cx, int cy, int r);
