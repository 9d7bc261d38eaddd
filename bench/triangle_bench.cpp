// bench: portable
// Textured quads (two triangles each) from a 16-bit source onto a 640 x 480
// 16-bit image, modes 0, 1 and 2, keyed and not: quads/s of an 8 x 16 sprite
// at spread positions, and Mpixels/s of one 256 x 256 quad.
#include <cstdint>
#include <cstdio>

#include "engine/image/memimg.h"
#include "engine/softrender/shapes.h"
#include "bench/bench_timing.h"
#include "bench/soft_bench.h"

namespace {

const double kSeconds = 0.05;  // a sample; each figure is the median of several
const int kBatch = 16;  // calls between clock reads: the calls are small

// A source with a keyed (0) diagonal band and random colours elsewhere.
void Paint(MEMIMG* img) {
    uint32_t seed = 99;
    for (int y = 0; y < img->height; y++)
        for (int x = 0; x < img->width; x++) {
            seed = seed * 1103515245u + 12345u;
            uint16_t v = (x + y) % 8 < 2 ? 0 : (uint16_t)(seed >> 16 | 1);
            *(uint16_t*)MemImagePixelAt(img, x, y) = v;
        }
}

// The source unscaled at (x, y), drawn as a quad.
void DrawQuad(MEMIMG* dst, const MEMIMG* src, int x, int y, int trans) {
    const int w = src->width, h = src->height;
    const int xy[8] = {x, y, x + w, y, x + w, y + h, x, y + h};
    DrawMemImgQuad(dst, src, xy, trans, nullptr);
}

}  // namespace

int main() {
    BuildMemImageTables();
    MEMIMG screen{}, sprite{}, big{};
    if (MemImageCreate(&screen, kW, kH, 0, 0, 0) != 0 || MemImageCreate(&sprite, 8, 16, 0, 0, 0) != 0 ||
        MemImageCreate(&big, 256, 256, 0, 0, 0) != 0) {
        std::printf("image creation failed\n");
        return 1;
    }
    Paint(&sprite);
    Paint(&big);
    const int modes[][2] = {{0, 255}, {1, 128}, {2, 128}};
    for (auto& m : modes) {
        SetMode(m[0], m[1]);
        for (int trans = 0; trans < 2; trans++) {
            const double small = MedianCallsPerSecond(kSeconds, kBatch, [&](long i) {
                DrawQuad(&screen, &sprite, (int)(i * 37 % (kW - 8)), (int)(i * 17 % (kH - 16)), trans);
            });
            const double large = MedianCallsPerSecond(kSeconds, kBatch, [&](long i) {
                DrawQuad(&screen, &big, (int)(i * 37 % (kW - 256)), (int)(i * 17 % (kH - 256)), trans);
            });
            std::printf("16-bit direct mode %d%s: 8x16 %10.0f quads/s, 256x256 %8.1f Mpixels/s\n", m[0],
                        trans ? " keyed" : "      ", small, large * 256 * 256 / 1e6);
        }
    }
    MemImageRelease(&screen);
    MemImageRelease(&sprite);
    MemImageRelease(&big);
    return 0;
}
