// bench: portable
// One software-mode frame at 640 x 480: a full-screen background, 200 keyed
// and alpha sprites (64 x 64, run-length and per pixel, some blended), 50
// discs, 100 lines and 40 rotated quads (two textured triangles each) in
// several blend modes. Prints the median frame time in
// ms against the 16.7 ms of a 60 Hz frame, for 16- and 32-bit screens.
// Figures only; nothing passes or fails.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/image/memimg.h"
#include "engine/softrender/blit.h"
#include "engine/softrender/shapes.h"
#include "bench/bench_timing.h"
#include "bench/soft_bench.h"

namespace {

const int kSprite = 64, kFrames = 60;

BenchRandom g_random{7};

struct Scene {
    int type;
    MEMIMG screen{}, background{}, keyed{}, alpha{};
    uint32_t key;
};

void Build(Scene& s) {
    const int bpp = s.type == 0 ? 2 : 4;
    s.key = s.type == 0 ? 0xF81F : 0xFF00FF;
    MemImageCreate(&s.screen, kW, kH, s.type, 0, 0);
    MemImageCreate(&s.background, kW, kH, s.type, 0, 0);
    MemImageCreate(&s.keyed, kSprite, kSprite, s.type, MEMIMG_CREATE_RUNCODES, s.key);
    MemImageCreate(&s.alpha, kSprite, kSprite, s.type, MEMIMG_CREATE_ALPHA | MEMIMG_CREATE_RUNCODES, 0);
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW * bpp; x++) MemImagePixelAt(&s.background, 0, y)[x] = (uint8_t)g_random.Next();
    for (int y = 0; y < kSprite; y++)
        for (int x = 0; x < kSprite; x++) {
            double dx = x - 31.5, dy = y - 31.5, r = std::sqrt(dx * dx + dy * dy) / 32;
            uint8_t a = r >= 0.95 ? 0 : r <= 0.75 ? 255 : (uint8_t)(255 * (0.95 - r) / 0.2);
            uint32_t c = g_random.Next() & (s.type == 0 ? 0xFFFF : 0xFFFFFF);
            if (c == s.key) c ^= 1;
            uint32_t kc = a == 0 ? s.key : c;
            std::memcpy(MemImagePixelAt(&s.keyed, x, y), &kc, bpp);
            uint32_t ac = s.type == 0 ? (c | (uint32_t)a << 16) : (c | (uint32_t)a << 24);
            std::memcpy(MemImagePixelAt(&s.alpha, x, y), &ac, 4);
        }
    MemImageBuildRunCodes(&s.keyed);
    MemImageBuildRunCodes(&s.alpha);
}

void Frame(Scene& s, int frame) {
    SetMode(0, 255);
    DrawMemImg(&s.screen, &s.background, 0, 0, 0, nullptr);
    // Sprites: keyed and alpha alternating, run-length and per pixel, every
    // fourth blended at half strength; they move a little every frame.
    for (int i = 0; i < 200; i++) {
        int x = (int)((i * 97 + frame * 3) % (kW + kSprite)) - kSprite / 2;
        int y = (int)((i * 61 + frame * 2) % (kH + kSprite)) - kSprite / 2;
        SetMode(i % 4 == 3 ? 1 : 0, i % 4 == 3 ? 160 : 255);
        DrawMemImg(&s.screen, i % 2 ? &s.alpha : &s.keyed, x, y, i % 8 < 6 ? 1 : 2, nullptr);
    }
    const uint32_t colours[] = {0x00FF8040u, 0x0040A0FFu, 0x00C0C0C0u};
    const int modes[][2] = {{0, 255}, {1, 100}, {2, 200}, {3, 120}};
    for (int i = 0; i < 50; i++) {
        SetMode(modes[i % 4][0], modes[i % 4][1]);
        uint32_t c = colours[i % 3];
        if (s.type == 0) c = (c >> 8 & 0xF800) | (c >> 5 & 0x07E0) | (c >> 3 & 0x1F);
        DrawMemImgCircle(&s.screen, (i * 131 + frame) % kW, (i * 71) % kH, 8 + i % 5 * 8, c, 1);
    }
    for (int i = 0; i < 100; i++) {
        SetMode(modes[i % 4][0], modes[i % 4][1]);
        int x1 = (i * 53 + frame) % kW, y1 = (i * 29) % kH;
        DrawMemImgLine(&s.screen, x1, y1, (x1 + 37 * i) % kW, (y1 + 211) % kH, s.type == 0 ? 0xFFE0 : 0x00FFFF00u);
    }
}

void Quads(Scene& s, int frame) {
    const int modes[][2] = {{0, 255}, {1, 160}, {2, 255}, {0, 255}};
    for (int i = 0; i < 40; i++) {
        SetMode(modes[i % 4][0], modes[i % 4][1]);
        const double angle = (i * 37 + frame * 2) * 3.14159265 / 180, half = kSprite * (0.6 + i % 3 * 0.2);
        const double cx = (i * 113 + frame) % kW, cy = (i * 47) % kH;
        int xy[8];
        const double corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (int k = 0; k < 4; k++) {
            const double x = corners[k][0] * half, y = corners[k][1] * half;
            xy[2 * k] = (int)(cx + x * std::cos(angle) - y * std::sin(angle));
            xy[2 * k + 1] = (int)(cy + x * std::sin(angle) + y * std::cos(angle));
        }
        DrawMemImgQuad(&s.screen, i % 2 ? &s.alpha : &s.keyed, xy, 1, nullptr);
    }
}

}  // namespace

int main() {
    BuildMemImageTables();
    std::printf("software frame: background, 200 sprites, 50 discs, 100 lines, 40 quads (640 x 480)\n");
    for (int type : {0, 1}) {
        Scene s;
        s.type = type;
        Build(s);
        std::vector<double> ms, quads;
        for (int f = 0; f < kFrames; f++) {
            const double t0 = SecondsNow();
            Frame(s, f);
            const double t1 = SecondsNow();
            Quads(s, f);
            const double t2 = SecondsNow();
            ms.push_back((t2 - t0) * 1000);
            quads.push_back((t2 - t1) * 1000);
        }
        double m = MedianOf(ms);
        std::printf("%d-bit: %6.2f ms a frame (%4.1f %% of 16.7 ms; target under 25 %%), of which the quads %.2f ms\n",
                    type == 0 ? 16 : 32, m, m / 16.7 * 100, MedianOf(quads));
        for (MEMIMG* img : {&s.screen, &s.background, &s.keyed, &s.alpha}) MemImageRelease(img);
    }
    return 0;
}
