// Lines and rectangles from fuzzed geometry and settings, drawn into an image
// with a sentinel ring and compared with the reference model.
#include "fuzz_shape_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in{data, size};
    const Scene sc = DecodeScene(in);
    SceneCanvas c(sc, in);
    const int w = sc.w, h = sc.h;
    if (in.U8() & 1) {
        const int x1 = in.Coord(w), y1 = in.Coord(h), x2 = in.Coord(w), y2 = in.Coord(h);
        RefLine(c.ref, sc.s, x1, y1, x2, y2, sc.color);
        DrawMemImgLine(c.canvas.img(), x1, y1, x2, y2, sc.color);
    } else {
        const int64_t r[4] = {in.Coord(w), in.Coord(h), in.Coord(w), in.Coord(h)};
        const Rect rr{(int32_t)r[0], (int32_t)r[1], (int32_t)r[2], (int32_t)r[3]};
        RefFillRect(c.ref, sc.s, r, sc.color);
        FillMemImgRect(c.canvas.img(), &rr, sc.color);
    }
    c.CheckAgainstReference(true);
    return 0;
}
