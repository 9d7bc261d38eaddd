// Shared by the software-renderer benchmarks: the screen they draw on, its
// draw settings and a seeded byte source (the same sequence everywhere, the
// seed telling the benchmarks apart).
#pragma once
#include <cstdint>
#include "engine/graphics/draw_settings.h"

constexpr int kW = 640, kH = 480;

// The whole screen as draw area, white draw bright.
inline void SetMode(int mode, int param) {
    GDrawSettings.draw_area = Rect{0, 0, kW, kH};
    GDrawSettings.blend_mode = mode;
    GDrawSettings.blend_param = param;
    GDrawSettings.bright[0] = GDrawSettings.bright[1] = GDrawSettings.bright[2] = 255;
}

struct BenchRandom {
    uint32_t seed;
    uint32_t Next() {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    }
};
