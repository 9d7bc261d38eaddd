// libFuzzer target for DrawMemImgStretched: any kinds and sizes of images, any
// rectangle (extreme coordinates included) and draw settings; bytes of the
// destination body outside the view must not change.
#include "fuzz_blit_common.h"

namespace {

void Make(Image& im, Input& in, int type, bool as_dest) {
    int kind = as_dest ? 0 : in.Range(0, 2);
    im.Shape(in, type, kind, 20);
    im.rec.trans_color = in.Take(in.Range(0, 1) ? 1 : 4);
    im.Fill(in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BuildTablesOnce();
    Input in{data, size};
    int type = in.Range(0, 1);
    Image dst, src, graph;
    Make(dst, in, type, true);
    Make(src, in, type, false);
    const MEMIMG* blend_graph = graph.MaybeGraph(in);
    DecodeDrawSettings(in, 5);
    Rect rc = {in.Coord(), in.Coord(), in.Coord(), in.Coord()};
    int trans = in.Range(0, 2);

    OutsideViewGuard guard(dst);
    DrawMemImgStretched(&dst.img, &src.img, &rc, trans, blend_graph);
    guard.Check();
    return 0;
}
