// Circles and discs from fuzzed geometry and settings, drawn into an image with
// a sentinel ring and compared with the reference model. Built from this one
// source, so the reference and its harness come in whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/softrender/shapes.h"
#include "softrender/ref_shape.cpp"
#include "softrender/ref_shape_canvas.cpp"

namespace {

struct Bytes {
    const uint8_t* p;
    size_t n;
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; i++) v = v << 8 | U8();
        return v;
    }
    uint8_t U8() {
        if (!n) return 0;
        n--;
        return *p++;
    }
};

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in{data, size};
    const int type = in.U8() & 1;
    const int w = 1 + in.U8() % 48, h = 1 + in.U8() % 48;
    RefSettings s;
    s.left = (int8_t)in.U8();
    s.top = (int8_t)in.U8();
    s.right = s.left + in.U8() % 64;
    s.bottom = s.top + in.U8() % 64;
    s.mode = in.U8() % 13;
    s.param = in.U8();
    if (in.U8() & 1) {
        s.bright_b = in.U8();
        s.bright_g = in.U8();
        s.bright_r = in.U8();
    }
    const uint32_t color = in.U32();
    const int fill = in.U8() & 1;
    int cx = (int)(int16_t)(in.U8() << 8 | in.U8()) % 200;
    int cy = (int)(int16_t)(in.U8() << 8 | in.U8()) % 200;
    int r = (int)(int16_t)(in.U8() << 8 | in.U8()) % 300;
    // Any radius at all, with the centre either far off or near the image: the
    // walk then ends early or is cut short, and the reference's is skipped.
    const bool huge = (in.U8() & 7) == 0;
    if (huge) {
        r = (int)in.U32();
        if (in.U8() & 1) {
            cx = (int)in.U32();
            cy = (int)in.U32();
        }
    }
    // The walk is linear in the radius until the arc nears the image; with the
    // centre far off on both axes and the image inside the circle's box that is
    // up to 2^31 steps, too long for one fuzz input.
    const int64_t ar = r < 0 ? -(int64_t)r : r;
    if (huge && llabs((int64_t)cx) > 1000 && llabs((int64_t)cy) > 1000 && (int64_t)cx - ar < 64 && (int64_t)cx + ar > -64 &&
        (int64_t)cy - ar < 64 && (int64_t)cy + ar > -64)
        return 0;
    ShapeCanvas c(w, h, type);
    c.FillRandom(in.U8());
    RefImage ref = c.ToRef();
    ShapeSettingsScope scope(s);
    DrawMemImgCircle(c.img(), cx, cy, r, color, fill);
    Check(c.RingIntact());
    if (!huge) {
        RefCircle(ref, s, cx, cy, r, color, fill);
        Check(c.DiffFrom(ref).empty());
    }
    return 0;
}
