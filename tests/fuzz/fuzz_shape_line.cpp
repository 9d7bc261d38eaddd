// Lines and rectangles from fuzzed geometry and settings, drawn into an image
// with a sentinel ring and compared with the reference model. Built from this
// one source, so the reference and its harness come in whole.
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
    // Mostly near the image, sometimes anywhere in the int range.
    int Coord(int size) {
        const uint8_t kind = U8();
        if (kind < 16) return (int)U32();
        if (kind < 48) return (int)(int16_t)(U8() << 8 | U8());
        return (int)(U8() % (size + 40)) - 20;
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
    ShapeCanvas c(w, h, type);
    c.FillRandom(in.U8());
    RefImage ref = c.ToRef();
    ShapeSettingsScope scope(s);
    if (in.U8() & 1) {
        const int x1 = in.Coord(w), y1 = in.Coord(h), x2 = in.Coord(w), y2 = in.Coord(h);
        RefLine(ref, s, x1, y1, x2, y2, color);
        DrawMemImgLine(c.img(), x1, y1, x2, y2, color);
    } else {
        const int64_t r[4] = {in.Coord(w), in.Coord(h), in.Coord(w), in.Coord(h)};
        const Rect rr{(int32_t)r[0], (int32_t)r[1], (int32_t)r[2], (int32_t)r[3]};
        RefFillRect(ref, s, r, color);
        FillMemImgRect(c.img(), &rr, color);
    }
    Check(c.RingIntact());
    Check(c.DiffFrom(ref).empty());
    return 0;
}
