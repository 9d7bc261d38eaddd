// libFuzzer target for DrawMemImgStretched: any kinds and sizes of images, any
// rectangle (extreme coordinates included) and draw settings; bytes of the
// destination body outside the view must not change.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>
#include "engine/graphics/draw_settings.h"
#include "engine/image/memimg.h"
#include "engine/softrender/blit.h"

namespace {

struct Input {
    const uint8_t* p;
    size_t n;
    uint32_t Take(int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes; i++) {
            v |= (uint32_t)(n ? *p : 0) << (8 * i);
            if (n) { p++; n--; }
        }
        return v;
    }
    int Range(int lo, int hi) { return lo + (int)(Take(2) % (uint32_t)(hi - lo + 1)); }
    int Coord() {
        switch (Range(0, 7)) {
        case 0: return INT_MIN + Range(0, 3);
        case 1: return INT_MAX - Range(0, 3);
        case 2: return Range(-70000, 70000);
        default: return Range(-40, 40);
        }
    }
};

struct Image {
    MEMIMG img{};
    MemImgShared rec{};
    PixelFormat fmt{};
    std::vector<uint8_t*> blocks;
    ~Image() { for (uint8_t* b : blocks) std::free(b); }
    uint8_t* Block(size_t n, Input& in) {
        uint8_t* b = (uint8_t*)std::malloc(n ? n : 1);
        for (size_t i = 0; i < n; i++) b[i] = (uint8_t)in.Take(1);
        blocks.push_back(b);
        return b;
    }
    void Make(Input& in, int type, bool as_dest) {
        int kind = as_dest ? 0 : in.Range(0, 2);
        int bpp = kind == 1 ? 1 : kind == 2 ? 4 : type ? 4 : 2;
        int bw = in.Range(1, 20), bh = in.Range(1, 12);
        int pitch = bw * bpp + in.Range(0, 5);
        rec.pitch = pitch;
        fmt.bytes_per_pixel = (uint16_t)bpp;
        rec.format = &fmt;
        rec.color_type = type;
        rec.palette_flag = kind == 1;
        rec.alpha_flag = kind == 2;
        rec.trans_color = in.Take(in.Range(0, 1) ? 1 : 4);
        rec.width = bw;
        rec.height = bh;
        rec.pixels = Block((size_t)pitch * bh, in);
        if (kind == 1) rec.palette1 = Block(256 * (type ? 4 : 2), in);
        int vx = in.Range(0, bw - 1), vy = in.Range(0, bh - 1);
        img.magic = MEMIMG_MAGIC;
        img.shared = &rec;
        img.width = in.Range(0, bw - vx);
        img.height = in.Range(0, bh - vy);
        img.pixels = rec.pixels + (size_t)vy * pitch + (size_t)vx * bpp;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool tables = (BuildMemImageTables(), true);
    (void)tables;
    Input in{data, size};
    int type = in.Range(0, 1);
    Image dst, src, graph;
    dst.Make(in, type, true);
    src.Make(in, type, false);
    bool with_graph = in.Range(0, 2) == 0;
    if (with_graph) {
        int gw = in.Range(0, 12), gh = in.Range(0, 12);
        graph.rec.pitch = gw;
        graph.rec.pixels = graph.Block((size_t)gw * gh, in);
        graph.img.magic = MEMIMG_MAGIC;
        graph.img.shared = &graph.rec;
        graph.img.width = gw;
        graph.img.height = gh;
        graph.img.pixels = graph.rec.pixels;
    }
    GDrawSettings.draw_area = Rect{in.Range(-30, 30), in.Range(-30, 30), in.Range(-30, 30), in.Range(-30, 30)};
    static const int modes[] = {0, 1, 2, 3, 4, 10, 11, 5, 12, -1};
    GDrawSettings.blend_mode = modes[in.Range(0, 9)];
    GDrawSettings.blend_param = in.Range(0, 3) == 0 ? 255 : in.Range(0, 255);
    for (int i = 0; i < 3; i++) GDrawSettings.bright[i] = in.Range(0, 1) ? 255 : (uint8_t)in.Take(1);
    for (int i = 0; i < 256; i++) BlendGraphicTable[i] = (uint8_t)(i * 5);
    Rect rc = {in.Coord(), in.Coord(), in.Coord(), in.Coord()};
    int trans = in.Range(0, 2);

    std::vector<uint8_t> before(dst.rec.pixels, dst.rec.pixels + (size_t)dst.rec.pitch * dst.rec.height);
    DrawMemImgStretched(&dst.img, &src.img, &rc, trans, with_graph ? &graph.img : nullptr);
    int bpp = dst.fmt.bytes_per_pixel;
    for (int row = 0; row < dst.rec.height; row++) {
        for (int col = 0; col < dst.rec.pitch; col++) {
            size_t at = (size_t)row * dst.rec.pitch + col;
            ptrdiff_t off = (ptrdiff_t)at - (dst.img.pixels - dst.rec.pixels);
            ptrdiff_t vr = off >= 0 ? off / dst.rec.pitch : -1, vc = off >= 0 ? off % dst.rec.pitch : -1;
            bool inside = off >= 0 && vr < dst.img.height && vc < (ptrdiff_t)dst.img.width * bpp;
            if (!inside && dst.rec.pixels[at] != before[at]) std::abort();
        }
    }
    return 0;
}
