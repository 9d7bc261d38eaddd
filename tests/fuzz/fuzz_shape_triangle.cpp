// Triangles from fuzzed vertices, settings, source and blend graph, drawn into
// an image inside a ring of sentinel bytes and compared with the reference.
#include <vector>

#include "fuzz_shape_common.h"
#include "softrender/hand_memimg.h"
#include "softrender/ref_triangle.cpp"

namespace {

// An image of w x h pixels of bpp bytes at the centre of a buffer with a ring
// of `ring` bytes on every side, filled from the input.
struct FuzzImage {
    std::vector<uint8_t> buf;
    MEMIMG img;
    MemImgShared rec;
    PixelFormat fmt;
    FuzzImage(Bytes& in, int type, int bpp, int w, int h, int ring) {
        const int pitch = w * bpp + 2 * ring;
        buf.resize((size_t)pitch * (h + 2));
        for (size_t i = 0; i < buf.size(); i++) buf[i] = (uint8_t)(in.U8() ^ (i * 13));
        DescribeMemImg(img, rec, fmt, buf.data(), bpp, pitch, type, w + 2 * ring / bpp, h + 2);
        img.width = w;
        img.height = h;
        img.pixels = buf.data() + pitch + ring;
    }
    reftri::Image Ref(int kind, uint8_t* copy) const {
        reftri::Image r;
        r.type = rec.color_type;
        r.kind = kind;
        r.width = img.width;
        r.height = img.height;
        r.pitch = rec.pitch;
        r.pixels = copy + (img.pixels - buf.data());
        r.key = rec.trans_color;
        r.palette = (const uint8_t*)rec.palette1;
        return r;
    }
};

int Vertex(Bytes& in, int size) {
    const uint8_t k = in.U8();
    if (k < 8) return (int)in.U32();
    if (k < 40) return in.I16() % 9000;
    return (int)(in.U8() % (size + 40)) - 20;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in{data, size};
    const Scene sc = DecodeScene(in);
    ShapeSettingsScope scope(sc.s);
    const int type = sc.type, db = type ? 4 : 2;
    FuzzImage dst(in, type, db, sc.w, sc.h, 8);

    const int kind = in.U8() % 4;  // 3: flat colour
    const int sw = 1 + in.U8() % 12, sh = 1 + in.U8() % 12;
    const int sb = kind == 1 ? 1 : kind == 2 ? 4 : db;
    FuzzImage src(in, type, sb, sw, sh, 4);
    std::vector<uint8_t> palette(256 * db);
    for (auto& b : palette) b = in.U8();
    src.rec.palette_flag = kind == 1;
    src.rec.alpha_flag = kind == 2;
    src.rec.palette1 = palette.data();
    src.rec.trans_color = in.U32();
    const int trans = in.U8() & 3;
    // A graph of any size: one smaller than the source is refused.
    const int gw = sw - 1 + in.U8() % 3, gh = sh - 1 + in.U8() % 3;
    FuzzImage graph(in, MEMIMG_TYPE_CH8, 1, gw, gh, 4);
    const bool with_graph = in.U8() & 1;
    for (int i = 0; i < 256; i++) BlendGraphicTable[i] = in.U8();

    reftri::Vertex v[3];
    for (auto& p : v) p = {Vertex(in, sc.w), Vertex(in, sc.h), Vertex(in, sw), Vertex(in, sh)};

    std::vector<uint8_t> expected = dst.buf;
    reftri::Image dref = dst.Ref(0, expected.data());
    std::vector<uint8_t> src_copy = src.buf;
    const reftri::Image sref = src.Ref(kind, src_copy.data());
    const reftri::Graph gref = {graph.img.pixels, graph.rec.pitch, graph.img.width, graph.img.height};
    const reftri::Settings rs = {(int)sc.s.left, (int)sc.s.top, (int)sc.s.right, (int)sc.s.bottom, sc.s.mode,
                                 sc.s.param, {sc.s.bright_b, sc.s.bright_g, sc.s.bright_r}, BlendGraphicTable};
    const bool textured = kind != 3;
    reftri::Draw(rs, dref, textured ? &sref : nullptr, v, trans, with_graph ? &gref : nullptr, sc.color);

    const TriangleVertex tv[3] = {{v[0].x, v[0].y, v[0].u, v[0].v}, {v[1].x, v[1].y, v[1].u, v[1].v},
                                  {v[2].x, v[2].y, v[2].u, v[2].v}};
    DrawMemImgTriangle(&dst.img, textured ? &src.img : nullptr, tv, trans, with_graph ? &graph.img : nullptr,
                       sc.color);
    Check(dst.buf == expected);
    Check(src.buf == src_copy);
    return 0;
}
