// libFuzzer target for DrawMemImg: images of any kind and size (pitches,
// views, keys, run-length streams and the draw settings all from the input),
// drawn with every byte of the destination body outside the view checked
// afterwards. Run briefly in the suite, longer by hand.
#include "fuzz_blit_common.h"

namespace {

// Destinations are now and then palette or alpha images (refused); sources
// may carry run-length codes of any content.
void Make(Image& im, Input& in, int type, bool as_dest) {
    int kind = as_dest ? (in.Range(0, 7) == 0 ? in.Range(1, 2) : 0) : in.Range(0, 2);
    im.Shape(in, type, kind, 24);
    im.rec.palette_count = in.Range(-2, 300);
    im.rec.trans_color = in.Range(0, 3) == 0 ? in.Take(4) : in.Take(1);
    im.Fill(in);
    if (!as_dest && in.Range(0, 1)) {
        int size = in.Range(0, 64);
        im.rec.run_codes.codes = im.Block((size_t)size, in);
        im.rec.run_codes.size = size;
        im.rec.run_codes.capacity = size;
        im.rec.rle_flag = in.Range(0, 3) ? 1 : 0;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BuildTablesOnce();
    Input in{data, size};
    int type = in.Range(0, 1);
    Image dst, src, graph;
    Make(dst, in, type, true);
    Make(src, in, in.Range(0, 9) == 0 ? 1 - type : type, false);
    const MEMIMG* blend_graph = graph.MaybeGraph(in);
    DecodeDrawSettings(in, 7);
    int x = in.Range(-40, 40), y = in.Range(-40, 40);
    int trans = in.Range(0, 2);

    OutsideViewGuard guard(dst);
    DrawMemImg(&dst.img, &src.img, x, y, trans, blend_graph);
    guard.Check();
    return 0;
}
