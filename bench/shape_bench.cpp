// bench: portable
// Flat-colour shapes on a 640 x 480 software image: filled rectangles in
// Mpixels/s (modes 0, 1, 2), box outlines and discs of radius 4, 16 and 100 in
// calls/s and pixels/s, for 16-bit and 32-bit images.
#include <cstdio>
#include <initializer_list>

#include "engine/image/memimg.h"
#include "engine/softrender/shapes.h"
#include "bench/bench_timing.h"
#include "bench/soft_bench.h"

namespace {

const double kSeconds = 0.05;  // a sample; each figure is the median of several
const int kBatch = 16;  // calls between clock reads: the calls are small

void Bench(int type) {
    MEMIMG img{};
    if (MemImageCreate(&img, kW, kH, type, 0, 0) != 0) {
        std::printf("image creation failed\n");
        return;
    }
    const char* name = type == 0 ? "16-bit" : "32-bit";
    const uint32_t color = type == 0 ? 0x7BEF : 0xFF808080u;
    const int modes[][2] = {{0, 255}, {1, 128}, {2, 128}};
    for (auto& m : modes) {
        SetMode(m[0], m[1]);
        const double cps = MedianCallsPerSecond(kSeconds, kBatch, [&](long) { FillMemImgRect(&img, nullptr, color); });
        std::printf("%s fill rect mode %d: %8.1f Mpixels/s\n", name, m[0], cps * kW * kH / 1e6);
    }
    for (int r : {4, 16, 100}) {
        const int side = 2 * r + 1;
        for (int mode : {0, 1}) {
            SetMode(mode, 128);
            const double box = MedianCallsPerSecond(kSeconds, kBatch, [&](long i) {
                const int x = (int)(i * 37 % (kW - side)), y = (int)(i * 17 % (kH - side));
                const MemImgLineRecord lines[4] = {{x, y, x + side - 1, y, (int32_t)color, 128},
                                                   {x + side - 1, y, x + side - 1, y + side - 1, (int32_t)color, 128},
                                                   {x + side - 1, y + side - 1, x, y + side - 1, (int32_t)color, 128},
                                                   {x, y + side - 1, x, y, (int32_t)color, 128}};
                DrawMemImgLines(&img, lines, 4);
            });
            const double disc = MedianCallsPerSecond(kSeconds, kBatch, [&](long i) {
                DrawMemImgCircle(&img, r + (int)(i * 37 % (kW - side)), r + (int)(i * 17 % (kH - side)), r, color, 1);
            });
            // Pixels of one disc, counted from a drawing on a cleared image.
            MemImageFillRect(&img, nullptr, 0);
            SetMode(0, 255);
            DrawMemImgCircle(&img, kW / 2, kH / 2, r, color, 1);
            long disc_pixels = 0;
            for (int y = 0; y < kH; y++)
                for (int x = 0; x < kW; x++) {
                    const uint8_t* p = MemImagePixelAt(&img, x, y);
                    disc_pixels += type == 0 ? (p[0] | p[1]) != 0 : (p[0] | p[1] | p[2]) != 0;
                }
            std::printf("%s mode %d r %3d: box outline %10.0f calls/s %8.1f Mpixels/s, disc %10.0f calls/s %8.1f Mpixels/s\n",
                        name, mode, r, box, box * (4 * side - 4) / 1e6, disc, disc * disc_pixels / 1e6);
        }
    }
    MemImageRelease(&img);
}

}  // namespace

int main() {
    BuildMemImageTables();
    Bench(0);
    Bench(1);
    return 0;
}
