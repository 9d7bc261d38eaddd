// Circles and discs from fuzzed geometry and settings, drawn into an image with
// a sentinel ring and compared with the reference model.
#include "fuzz_shape_common.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in{data, size};
    const Scene sc = DecodeScene(in);
    const int fill = in.U8() & 1;
    int cx = in.I16() % 200;
    int cy = in.I16() % 200;
    int r = in.I16() % 300;
    // Any radius at all, or one near the largest accepted, with the centre
    // either far off or near the image: the walk then ends early or is cut
    // short. The reference's would not, so it runs only for radii refused or
    // negative.
    const bool huge = (in.U8() & 7) == 0;
    if (huge) {
        r = (int)in.U32();
        if (in.U8() & 1) r = (fill ? kMemImgDiscMaxRadius : kMemImgCircleMaxRadius) + (int8_t)in.U8();
        if (in.U8() & 1) {
            cx = (int)in.U32();
            cy = (int)in.U32();
        }
    }
    // An accepted radius walks a step per row between the centre and the image
    // (the outline: per row or column, whichever is fewer); up to 2^29 steps
    // are too long for one fuzz input.
    const bool accepted = r >= 0 && r <= (fill ? kMemImgDiscMaxRadius : kMemImgCircleMaxRadius);
    const int64_t steps = fill ? llabs((int64_t)cy) : std::min(llabs((int64_t)cx), llabs((int64_t)cy));
    if (huge && accepted && steps > 1000000) return 0;
    SceneCanvas c(sc, in);
    const int drawn = DrawMemImgCircle(c.canvas.img(), cx, cy, r, sc.color, fill);
    const bool reference = !huge || !accepted || drawn < 0;
    if (reference) Check(RefCircle(c.ref, sc.s, cx, cy, r, sc.color, fill) == drawn);
    c.CheckAgainstReference(reference);
    return 0;
}
