// Test harness of the shape tests: a MEMIMG made by hand over a buffer with a
// ring of sentinel bytes round the view (and padding at each row's end), the
// draw settings set for one test and restored after it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/graphics/draw_settings.h"
#include "engine/image/memimg.h"
#include "softrender/ref_shape.h"

class ShapeCanvas {
public:
    // color_type 0 or 1 (2 and 3 are made with 1 or 2 bytes per pixel).
    ShapeCanvas(int width, int height, int color_type, int ring = 4);
    ShapeCanvas(const ShapeCanvas&) = delete;
    ShapeCanvas& operator=(const ShapeCanvas&) = delete;

    MEMIMG* img() { return &img_; }
    MemImgShared& shared() { return shared_; }
    int width() const { return w_; }
    int height() const { return h_; }
    uint32_t Get(int x, int y) const;
    void Set(int x, int y, uint32_t v);
    void Fill(uint32_t v);
    void FillRandom(uint32_t seed);
    // The view's pixels as a reference image (writes cleared).
    RefImage ToRef() const;
    // Empty when the pixels equal the reference's, else the first difference.
    std::string DiffFrom(const RefImage& ref) const;
    // True when no byte outside the view has changed.
    bool RingIntact() const;
    // Pixels that differ from another snapshot of the same size.
    int CountChanged(const RefImage& before) const;

private:
    int w_, h_, type_, bpp_, ring_, pitch_;
    std::vector<uint8_t> buf_;
    PixelFormat fmt_{};
    MemImgShared shared_{};
    MEMIMG img_{};
    uint8_t Sentinel(size_t i) const { return (uint8_t)(0xA5 ^ (i * 7)); }
    bool InView(size_t i) const;
};

// Sets the draw settings (and builds the tables) for a scope.
class ShapeSettingsScope {
public:
    explicit ShapeSettingsScope(const RefSettings& s);
    ~ShapeSettingsScope();
    void Set(const RefSettings& s);

private:
    DrawSettings saved_;
};

// The draw area [left, right) x [top, bottom), a mode and p; bright white.
RefSettings AreaOf(int64_t left, int64_t top, int64_t right, int64_t bottom, int mode = 0, int p = 255);
// Blend mode 2 at p = 255 with colour 1 over a zeroed 32-bit image adds one
// to blue per write, so each pixel's blue counts its writes.
inline RefSettings Counting(int64_t left, int64_t top, int64_t right, int64_t bottom) {
    return AreaOf(left, top, right, bottom, 2);
}

// Draws one shape over the canvas's current pixels by the reference (into a
// copy) and, under s, by the engine. Empty when both agree and no byte outside
// the view changed, else what went wrong.
template <class RefDraw, class EngineDraw>
std::string DrawBothWays(ShapeCanvas& c, const RefSettings& s, RefDraw ref_draw, EngineDraw engine_draw) {
    RefImage ref = c.ToRef();
    ref_draw(ref);
    ShapeSettingsScope scope(s);
    engine_draw(c.img());
    std::string diff = c.DiffFrom(ref);
    if (diff.empty() && !c.RingIntact()) diff = "bytes outside the view changed";
    return diff;
}

// Simple deterministic generator for the tests.
struct ShapeRng {
    uint64_t s;
    explicit ShapeRng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t Next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return (uint32_t)(s >> 16);
    }
    int Range(int lo, int hi) { return lo + (int)(Next() % (uint32_t)(hi - lo + 1)); }
};

// Random settings for a w x h image: an area a little past it at most, one of
// the drawing modes or refused_mode, p mostly random. Bright is left white.
RefSettings RandomShapeSettings(ShapeRng& rng, int w, int h, int refused_mode);
