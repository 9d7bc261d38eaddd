// Input decoding, images and the after-draw check shared by the blit fuzz
// targets. A header because each target is a program of its own.
#pragma once
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
    // Mostly near the image, now and then at the ends of the int range.
    int Coord() {
        switch (Range(0, 7)) {
        case 0: return INT_MIN + Range(0, 3);
        case 1: return INT_MAX - Range(0, 3);
        case 2: return Range(-70000, 70000);
        default: return Range(-40, 40);
        }
    }
};

// An image with its own exact-size heap blocks (ASan sees any overrun).
struct Image {
    MEMIMG img{};
    MemImgShared rec{};
    PixelFormat fmt{};
    std::vector<uint8_t*> blocks;
    Image() = default;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    ~Image() { for (uint8_t* b : blocks) std::free(b); }
    uint8_t* Block(size_t n, Input& in) {
        uint8_t* b = (uint8_t*)std::malloc(n ? n : 1);
        for (size_t i = 0; i < n; i++) b[i] = (uint8_t)in.Take(1);
        blocks.push_back(b);
        return b;
    }
    // The body's size and format; the key and palette count come between this and Fill.
    void Shape(Input& in, int type, int kind, int max_width) {
        int bpp = kind == 1 ? 1 : kind == 2 ? 4 : type ? 4 : 2;
        int bw = in.Range(1, max_width), bh = in.Range(1, 12);
        rec.pitch = bw * bpp + in.Range(0, 5);
        fmt.bytes_per_pixel = (uint16_t)bpp;
        rec.format = &fmt;
        rec.color_type = type;
        rec.palette_flag = kind == 1;
        rec.alpha_flag = kind == 2;
        rec.width = bw;
        rec.height = bh;
    }
    // The body's bytes, the palette, and a view anywhere in the body.
    void Fill(Input& in) {
        int bpp = fmt.bytes_per_pixel, pitch = rec.pitch, bw = rec.width, bh = rec.height;
        rec.pixels = Block((size_t)pitch * bh, in);
        if (rec.palette_flag) rec.palette1 = Block(256 * (rec.color_type ? 4 : 2), in);
        int vx = in.Range(0, bw - 1), vy = in.Range(0, bh - 1);
        img.magic = MEMIMG_MAGIC;
        img.shared = &rec;
        img.width = in.Range(0, bw - vx);
        img.height = in.Range(0, bh - vy);
        img.pixels = rec.pixels + (size_t)vy * pitch + (size_t)vx * bpp;
    }
    // Now and then a blend graph (one byte a pixel, often empty or smaller than
    // the source); null otherwise.
    const MEMIMG* MaybeGraph(Input& in) {
        if (in.Range(0, 2) != 0) return nullptr;
        int gw = in.Range(0, 12), gh = in.Range(0, 12);
        rec.pitch = gw;
        rec.pixels = Block((size_t)gw * gh, in);
        img.magic = MEMIMG_MAGIC;
        img.shared = &rec;
        img.width = gw;
        img.height = gh;
        img.pixels = rec.pixels;
        return &img;
    }
};

void BuildTablesOnce() {
    static bool built = (BuildMemImageTables(), true);
    (void)built;
}

// Area, mode (refused ones too), strength, bright and the graph table.
void DecodeDrawSettings(Input& in, int graph_table_step) {
    GDrawSettings.draw_area = Rect{in.Range(-30, 30), in.Range(-30, 30), in.Range(-30, 30), in.Range(-30, 30)};
    static const int modes[] = {0, 1, 2, 3, 4, 10, 11, 5, 12, -1};
    GDrawSettings.blend_mode = modes[in.Range(0, 9)];
    GDrawSettings.blend_param = in.Range(0, 3) == 0 ? 255 : in.Range(0, 255);
    for (int i = 0; i < 3; i++) GDrawSettings.bright[i] = in.Range(0, 1) ? 255 : (uint8_t)in.Take(1);
    for (int i = 0; i < 256; i++) BlendGraphicTable[i] = (uint8_t)(i * graph_table_step);
}

// Bytes of the destination body outside its view must not change.
class OutsideViewGuard {
public:
    explicit OutsideViewGuard(const Image& dst)
        : dst_(dst), before_(dst.rec.pixels, dst.rec.pixels + (size_t)dst.rec.pitch * dst.rec.height) {}
    void Check() const {
        const MemImgShared& rec = dst_.rec;
        int bpp = dst_.fmt.bytes_per_pixel;
        for (int row = 0; row < rec.height; row++) {
            for (int col = 0; col < rec.pitch; col++) {
                size_t at = (size_t)row * rec.pitch + col;
                ptrdiff_t off = (ptrdiff_t)at - (dst_.img.pixels - rec.pixels);
                ptrdiff_t vr = off >= 0 ? off / rec.pitch : -1, vc = off >= 0 ? off % rec.pitch : -1;
                bool inside = off >= 0 && vr < dst_.img.height && vc < (ptrdiff_t)dst_.img.width * bpp;
                if (!inside && rec.pixels[at] != before_[at]) std::abort();
            }
        }
    }

private:
    const Image& dst_;
    std::vector<uint8_t> before_;
};

}  // namespace
