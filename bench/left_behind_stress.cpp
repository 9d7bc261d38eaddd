// Stress for platform calls left behind at their time limit: engine starts and
// ends in one process, each opening a movie under a render limit of a few
// milliseconds, so that probes and renders are left behind and return before,
// during or after the end, or after the next start. A crash ends the process;
// a watchdog reports a hang. Figures only, not a test.
//   bench_left_behind_stress [--software] [--count N (1000)]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/bench_timing.h"
#include "engine/graphics/draw_settings.h"
#include "engine/movie/filters/unknown.h"
#include "engine/movie/movie.h"
#include "engine/movie/movie_internal.h"
#include "engine/system/library.h"
#include "engine/system/log.h"

namespace {

volatile LONG g_cycle = 0;
volatile LONG g_left = 0;

void CountLeftBehind(const char* text, void*) {
    if (std::strstr(text, "の解析が制限時間内に終わりませんでした")) InterlockedIncrement(&g_left);
}

DWORD WINAPI Watchdog(void*) {
    for (LONG last = -1;; Sleep(30000)) {
        const LONG now = g_cycle;
        if (now == last) {
            std::printf("HANG: no cycle finished in 30 s (at cycle %ld)\n", now);
            std::fflush(stdout);
            ExitProcess(2);
        }
        last = now;
    }
}

// Half a second of 8 kHz mono silence: a file the platform's graph parses.
bool WriteWave(const char* path) {
    const uint32_t data = 8000;
    std::vector<uint8_t> b(44 + data, 0);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); };
    std::memcpy(&b[0], "RIFF", 4), put32(4, 36 + data), std::memcpy(&b[8], "WAVEfmt ", 8);
    put32(16, 16), put16(20, 1), put16(22, 1), put32(24, 8000), put32(28, 16000), put16(32, 2), put16(34, 16);
    std::memcpy(&b[36], "data", 4), put32(40, data);
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    int cycles = 1000;
    bool hardware = true;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--software") == 0) hardware = false;
        else if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc) cycles = std::atoi(argv[++i]);
    }
    if (!WriteWave("stress.wav")) return 1;
    CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
    SetLogCapture(CountLeftBehind, nullptr);
    std::vector<double> ms;
    int failed_starts = 0;
    for (int i = 0; i < cycles; i++) {
        const double start = SecondsNow();
        SetUseHardwareRendering(hardware ? 1 : 0);
        ChangeWindowMode(1);
        SetOutputLogFlag(0);
        if (InitLibrarySystems() != 0) {
            failed_starts++;
        } else {
            // From well under to well over what a probe and a render take.
            SetMovieRenderTimeLimit(1 + (DWORD)(i * 7919 % 300));
            const int movie = OpenMovie("stress.wav", nullptr, nullptr, 0);
            if (movie >= 0) CloseMovie(movie);
            EndLibrarySystems();
        }
        ms.push_back((SecondsNow() - start) * 1000.0);
        InterlockedIncrement(&g_cycle);
        if ((i + 1) % 100 == 0) {
            std::printf("%d cycles, %ld calls left behind, %d live filter objects\n", i + 1, g_left,
                        (int)D_CBaseObject::LiveObjectCount());
            std::fflush(stdout);
        }
    }
    Sleep(2000);   // calls still out return after the last end
    std::printf("%s: %d cycles, %d failed starts, %ld calls left behind; ms per cycle median %.1f, max %.1f; "
                "%d live filter objects after 2 s\n",
                hardware ? "direct3d" : "software", cycles, failed_starts, g_left, MedianOf(ms),
                ms.empty() ? 0.0 : *std::max_element(ms.begin(), ms.end()), (int)D_CBaseObject::LiveObjectCount());
    return 0;
}
