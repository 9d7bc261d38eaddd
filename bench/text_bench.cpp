// Text under Wine, in Direct3D and in software mode: 40-character
// DrawFormattedText calls per second with a warm cache, and glyphs rasterised per
// second into an emptied cache (plain and antialiased with edge); medians of
// 0.1 s samples. Figures only; nothing passes or fails.
#include <cstdio>
#include <vector>

#include "engine/font/font.h"
#include "engine/font/font_record.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/graphics_system.h"
#include "engine/graphics/screen.h"
#include "engine/system/library.h"
#include "engine/system/log.h"
#include "bench/bench_timing.h"

namespace {

const double kSeconds = 0.1;  // a sample; each figure is the median of several

// Kanji of the first level: distinct two-byte characters for cold caches.
std::vector<GlyphRequest> Kanji(int count) {
    std::vector<GlyphRequest> out;
    for (int lead = 0x89; lead <= 0x97 && (int)out.size() < count; lead++)
        for (int trail = 0x40; trail <= 0xFC && (int)out.size() < count; trail++)
            if (trail != 0x7F) out.push_back(GlyphRequest{(uint8_t)lead, (uint8_t)trail, 0});
    return out;
}

void RunMode(int hardware) {
    SetUseHardwareRendering(hardware);
    if (InitLibrarySystems() < 0) {
        std::printf("%s: engine start failed\n", hardware ? "Direct3D" : "software");
        return;
    }
    const char* mode = GraphicsUsesD3D() ? "Direct3D" : "software";
    // Warm: the same 40 characters every call, glyphs already cached.
    const char* line = "Score %06d  Stage %d  Time %02d:%02d  ABC";
    int n = 0;
    DrawFormattedText(0, 0, PackScreenColor(255, 255, 255), line, 0, 1, 0, 0);
    double warm = MedianSample([&] {
        return CallsPerSecond(kSeconds, [&] {
            DrawFormattedText(10, 10 + (n % 20) * 20, PackScreenColor(255, 255, 255), line, n, n % 9, n % 60, n % 60);
            if (++n % 20 == 0) ClearScreen();
        });
    });
    std::printf("%-9s DrawFormattedText, 40 characters, warm cache  %9.0f calls/s\n", mode, warm);

    std::vector<GlyphRequest> kanji = Kanji(400);
    for (int type : {FONT_TYPE_NORMAL, FONT_TYPE_ANTIALIASING_EDGE}) {
        int font = CreateFontToHandle(nullptr, 16, -1, type, -1, -1, 0);
        if (font < 0) continue;
        double batches = MedianSample([&] {
            return CallsPerSecond(kSeconds, [&] {
                ResetFontCache(font);
                RenderGlyphsToCache(font, (int)kanji.size(), kanji.data());
            });
        });
        std::printf("%-9s glyphs rasterised, cold cache, type %d      %9.0f glyphs/s\n", mode, type,
                    batches * kanji.size());
        DeleteFontHandle(font);
    }
    EndLibrarySystems();
}

}  // namespace

int main() {
    SetOutputLogFlag(0);
    ChangeWindowMode(1);
    SetGraphMode(640, 480, 16, 60);
    SetAlwaysRunFlag(1);
    RunMode(1);
    RunMode(0);
    return 0;
}
