// Circles and discs from fuzzed geometry and settings, drawn into an image with
// a sentinel ring and compared with the reference model.
#include "fuzz_shape_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in{data, size};
    const Scene sc = DecodeScene(in);
    const int fill = in.U8() & 1;
    int cx = in.I16() % 200;
    int cy = in.I16() % 200;
    int r = in.I16() % 300;
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
    SceneCanvas c(sc, in);
    DrawMemImgCircle(c.canvas.img(), cx, cy, r, sc.color, fill);
    if (!huge) RefCircle(c.ref, sc.s, cx, cy, r, sc.color, fill);
    c.CheckAgainstReference(!huge);
    return 0;
}
