// YUV to RGB against the formulas: the 4:2:0 tables exactly, the other layouts
// in floating point with chroma sampled where each pixel lies.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "engine/movie/theora_decoder.h"

namespace {

int Clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// One pixel from the fixed-point formulas.
uint32_t Reference420(int y, int u, int v) {
    int yy = 19070 * y - 305120;
    int r = Clamp((yy + 26148 * v - 3346944) / 16384);
    int g = Clamp((yy + 819968 - 6406 * u + 1704960 - 13320 * v) / 16384);
    int b = Clamp((yy + 33062 * u - 4231936) / 16384);
    return (uint32_t)(r << 16 | g << 8 | b);
}

uint32_t ReferenceFloat(int y, int u, int v) {
    double yv = (y - 16) * 1.164;
    auto c = [](double x) { return Clamp((int)x); };
    return (uint32_t)(c(yv + 1.596 * (v - 128)) << 16 | c(yv - 0.391 * (u - 128) - 0.813 * (v - 128)) << 8 |
                      c(yv + 2.018 * (u - 128)));
}

struct Planes {
    int w, h, cw, ch;
    std::vector<uint8_t> y, u, v;
    Planes(int w_, int h_, int cw_, int ch_, unsigned seed) : w(w_), h(h_), cw(cw_), ch(ch_) {
        std::mt19937 rng(seed);
        // Strides wider than the planes: padding must never be read as pixels.
        y.resize((size_t)(w + 8) * h), u.resize((size_t)(cw + 4) * ch), v.resize((size_t)(cw + 4) * ch);
        for (auto* p : {&y, &u, &v})
            for (auto& b : *p) b = (uint8_t)rng();
    }
    YuvPlaneSet Set() const { return {y.data(), u.data(), v.data(), w, h, w + 8, cw, ch, cw + 4}; }
    int Y(int x, int r) const { return y[(size_t)r * (w + 8) + x]; }
    int U(int x, int r) const { return u[(size_t)r * (cw + 4) + x]; }
    int V(int x, int r) const { return v[(size_t)r * (cw + 4) + x]; }
};

// Grey chroma: black at luma 16, 254 at 235 (G's +1024 vanishes in the
// division), and luma 255 saved by the clamp table; alpha always opaque.
TEST(YuvConvert, EdgeValuesOfTheTables) {
    InitYuvTables();
    struct Case { uint8_t y; uint32_t pixel; } cases[] = {{16, 0xFF000000}, {235, 0xFFFEFEFE}, {255, 0xFFFFFFFF}};
    for (const Case& c : cases) {
        uint8_t y[4] = {c.y, c.y, c.y, c.y}, u = 128, v = 128;
        uint32_t out[4] = {};
        ConvertYuvToXrgb({y, &u, &v, 2, 2, 2, 1, 1, 1}, (uint8_t*)out, 8);
        for (uint32_t px : out) EXPECT_EQ(c.pixel, px) << (int)c.y;
    }
}

// Each channel within tol of the reference, alpha opaque.
bool Near(uint32_t px, uint32_t ref, int tol) {
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs((int)(px >> shift & 0xFF) - (int)(ref >> shift & 0xFF)) > tol) return false;
    return (px >> 24) == 0xFF;
}

// Random planes of each layout against the formulas: 4:2:0 exactly through the
// tables, the others in floating point (x87 rounding may move a truncation by
// one) with the chroma under each pixel.
TEST(YuvConvert, EveryLayoutMatchesItsFormulaEverywhere) {
    InitYuvTables();
    struct Case { const char* name; int cw, ch; } cases[] = {{"4:2:0", 24, 10}, {"4:4:4", 48, 20}, {"4:2:2", 24, 20}};
    for (const Case& c : cases) {
        Planes p(48, 20, c.cw, c.ch, 3);
        std::vector<uint32_t> out((size_t)48 * 20 + 48, 0xCDCDCDCD);
        ConvertYuvToXrgb(p.Set(), (uint8_t*)out.data(), 48 * 4);
        int wrong = 0;
        for (int r = 0; r < 20; r++)
            for (int x = 0; x < 48; x++) {
                const int cx = x * c.cw / 48, cy = r * c.ch / 20, y = p.Y(x, r), u = p.U(cx, cy), v = p.V(cx, cy);
                const bool is420 = c.ch == 10;
                wrong += !Near(out[(size_t)r * 48 + x], (is420 ? Reference420 : ReferenceFloat)(y, u, v), is420 ? 0 : 1);
            }
        EXPECT_EQ(0, wrong) << c.name;
        EXPECT_EQ(0xCDCDCDCDu, out[48 * 20]) << c.name << ": written past the image";
    }
}

}  // namespace
