// bench: portable
// Picture blits on a 640 x 480 16-bit destination, in Mpixels/s drawn; medians
// of several samples. Figures only; nothing passes or fails.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>
#include "engine/image/memimg.h"
#include "engine/softrender/blit.h"
#include "bench/bench_timing.h"
#include "bench/soft_bench.h"

namespace {

BenchRandom g_random{12345};

void FillRandom(MEMIMG* img, int bytes) {
    for (int y = 0; y < img->height; y++)
        for (int x = 0; x < img->width * bytes; x++) img->pixels[y * img->shared->pitch + x] = (uint8_t)g_random.Next();
}

// A sprite whose left half is transparent in runs (key or alpha 0) and whose
// right half is opaque or partly transparent.
void MakeSprite(MEMIMG* img, bool alpha) {
    for (int y = 0; y < img->height; y++) {
        for (int x = 0; x < img->width; x++) {
            uint8_t* p = img->pixels + y * img->shared->pitch + x * (alpha ? 4 : 2);
            uint16_t c = (uint16_t)(g_random.Next() | 1);
            std::memcpy(p, &c, 2);
            if (alpha) {
                p[2] = x < img->width / 2 ? 0 : (x % 7 == 0 ? 128 : 255);
                p[3] = 0;
            } else if (x < img->width / 2) {
                uint16_t key = 0;
                std::memcpy(p, &key, 2);
            }
        }
    }
}

// Mpixels/s drawn by repeated calls of fn: the median of 0.05 s samples.
template <class Fn> double Measure(Fn fn, double pixels_per_call) {
    return pixels_per_call * MedianCallsPerSecond(0.05, 1, [&](long) { fn(); }) / 1e6;
}

void Report(const char* name, double mpix) { std::printf("%-42s %9.1f Mpixels/s\n", name, mpix); }

}  // namespace

int main() {
    BuildMemImageTables();
    MEMIMG screen, picture, keyed, alpha, sprite_key, sprite_alpha;
    MemImageCreate(&screen, 640, 480, MEMIMG_TYPE_16, 0, 0);
    MemImageCreate(&picture, 640, 480, MEMIMG_TYPE_16, 0, 0);
    MemImageCreate(&keyed, 640, 480, MEMIMG_TYPE_16, 0, 0);
    MemImageCreate(&alpha, 640, 480, MEMIMG_TYPE_16, MEMIMG_CREATE_ALPHA, 0);
    MemImageCreate(&sprite_key, 640, 480, MEMIMG_TYPE_16, MEMIMG_CREATE_RUNCODES, 0);
    MemImageCreate(&sprite_alpha, 640, 480, MEMIMG_TYPE_16, MEMIMG_CREATE_ALPHA | MEMIMG_CREATE_RUNCODES, 0);
    FillRandom(&screen, 2);
    FillRandom(&picture, 2);
    FillRandom(&keyed, 2);
    for (int i = 0; i < 640 * 480; i += 3) std::memset(keyed.pixels + 2 * i, 0, 2);
    FillRandom(&alpha, 4);
    MakeSprite(&sprite_key, false);
    MakeSprite(&sprite_alpha, true);
    MemImageBuildRunCodes(&sprite_key);
    MemImageBuildRunCodes(&sprite_alpha);

    const double full = 640.0 * 480.0;

    std::vector<uint8_t> a(640 * 480 * 2), b(640 * 480 * 2);
    Report("memcpy (for comparison)", Measure([&] {
        std::memcpy(a.data(), b.data(), a.size());
        asm volatile("" : : "r"(a.data()) : "memory");   // keep the copy
    }, full));
    SetMode(0, 255);
    Report("mode 0", Measure([&] { DrawMemImg(&screen, &picture, 0, 0, 0, nullptr); }, full));
    Report("mode 0, colour-keyed", Measure([&] { DrawMemImg(&screen, &keyed, 0, 0, 2, nullptr); }, full));
    Report("mode 0, alpha source", Measure([&] { DrawMemImg(&screen, &alpha, 0, 0, 2, nullptr); }, full));
    SetMode(1, 128);
    Report("mode 1, p 128", Measure([&] { DrawMemImg(&screen, &picture, 0, 0, 0, nullptr); }, full));
    SetMode(1, 100);
    Report("mode 1, p 100", Measure([&] { DrawMemImg(&screen, &picture, 0, 0, 0, nullptr); }, full));
    SetMode(2, 255);
    Report("mode 2, p 255", Measure([&] { DrawMemImg(&screen, &picture, 0, 0, 0, nullptr); }, full));
    SetMode(0, 255);
    Report("half-transparent keyed sprite, run-length", Measure([&] { DrawMemImg(&screen, &sprite_key, 0, 0, 1, nullptr); }, full));
    Report("half-transparent keyed sprite, per pixel", Measure([&] { DrawMemImg(&screen, &sprite_key, 0, 0, 2, nullptr); }, full));
    Report("half-transparent alpha sprite, run-length", Measure([&] { DrawMemImg(&screen, &sprite_alpha, 0, 0, 1, nullptr); }, full));
    Report("half-transparent alpha sprite, per pixel", Measure([&] { DrawMemImg(&screen, &sprite_alpha, 0, 0, 2, nullptr); }, full));
    Rect twice = {0, 0, 1280, 960}, half = {0, 0, 320, 240};
    Report("stretched x2 (clipped to the screen)", Measure([&] { DrawMemImgStretched(&screen, &picture, &twice, 0, nullptr); }, full));
    Report("stretched x0.5", Measure([&] { DrawMemImgStretched(&screen, &picture, &half, 0, nullptr); }, full / 4));
    SetMode(1, 100);
    Report("stretched x2, mode 1 p 100", Measure([&] { DrawMemImgStretched(&screen, &picture, &twice, 0, nullptr); }, full));

    MemImageRelease(&screen);
    MemImageRelease(&picture);
    MemImageRelease(&keyed);
    MemImageRelease(&alpha);
    MemImageRelease(&sprite_key);
    MemImageRelease(&sprite_alpha);
    return 0;
}
