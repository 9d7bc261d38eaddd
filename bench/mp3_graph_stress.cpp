// MP3 through the media filters again and again in one process, as a game
// that loads its sounds over and over would: N loads (5,000 unless given) of
// one file with the ACM decoder disabled, after the engine has started in the
// chosen render mode. Prints the time per load (median, max), the loads that
// failed and the graph stops left behind; a load that never returns stops the
// program with a message (exit code 2). Not a test: figures and hangs only.
//   bench_mp3_graph_stress [--software] [--count N] [--hang-s S] [--acm] [--cut BYTES | --two-tracks | --mixed] [FILE]
// FILE defaults to the half-second tone the build makes; a container (a movie,
// FLAC, a program stream the platform refuses) takes the path of bytes offered
// untyped. --cut loads the file from memory without its first BYTES, as a
// recording begun mid-frame: it is offered labelled from its first frame.
// --two-tracks loads a 2 s AVI of two sound tracks made here instead: each
// load swaps both renderers the graph builder chose for null renderers. --acm
// loads through the compression manager instead, with the media filters disabled.
// --mixed loads instead 2 s of the build's tone as mono and stereo frames taken
// in turns, three at a time (with --acm: one converter through every change).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/bench_timing.h"
#include "bench/sound_session.h"
#include "movie/avi_writer.h"
#include "sound/mpeg_bytes.h"
#include "engine/graphics/draw_settings.h"
#include "engine/sound/sound.h"
#include "engine/sound/sound_convert.h"
#include "engine/system/library.h"
#include "engine/system/log.h"

namespace {

volatile LONG g_loads_started;
volatile LONG g_loads_done;
volatile LONG g_stops_left;
DWORD g_hang_ms = 120000;

void CountStopsLeftBehind(const char* text, void*) {
    if (std::strstr(text, "グラフの停止が制限時間内に終わりませんでした")) InterlockedIncrement(&g_stops_left);
}

// Watches the load in progress: one that outlasts every time limit of the
// conversion together is a hang, and nothing else would end the program.
DWORD WINAPI Watchdog(void*) {
    LONG seen = -1;
    DWORD since = GetTickCount();
    for (;;) {
        Sleep(500);
        const LONG started = g_loads_started;
        if (started != seen || g_loads_done == started) {
            seen = started;
            since = GetTickCount();
            continue;
        }
        if (GetTickCount() - since > g_hang_ms) {
            std::printf("HANG: load %ld has not returned after %lu s (%ld loads done, %ld stops left behind)\n",
                        (long)started, (unsigned long)(g_hang_ms / 1000), (long)g_loads_done, (long)g_stops_left);
            std::fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 2);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool software = false;
    long count = 5000;
    const char* file = "testrun/test_sound_mp3_filters/half.mp3";
    long cut = -1;
    bool two_tracks = false, acm = false, mixed = false;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--software")) software = true;
        else if (!std::strcmp(argv[i], "--count") && i + 1 < argc) count = std::atol(argv[++i]);
        else if (!std::strcmp(argv[i], "--hang-s") && i + 1 < argc) g_hang_ms = (DWORD)std::atol(argv[++i]) * 1000;
        else if (!std::strcmp(argv[i], "--cut") && i + 1 < argc) cut = std::atol(argv[++i]);
        else if (!std::strcmp(argv[i], "--two-tracks")) two_tracks = true;
        else if (!std::strcmp(argv[i], "--acm")) acm = true;
        else if (!std::strcmp(argv[i], "--mixed")) mixed = true;
        else file = argv[i];
    }
    if (!two_tracks && !mixed && GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES) {
        std::printf("cannot find %s\n", file);
        return 1;
    }
    std::vector<char> image;
    if (two_tracks) {
        const soundtest::Bytes avi = avitest::MakePcmTracksAvi(
            {avitest::SquareTrack(44100, 2, 2, 0x3000, 30), avitest::SquareTrack(22050, 1, 2, 0x1000, 30)});
        image.assign(avi.begin(), avi.end());
        file = "two sound tracks";
    } else if (mixed) {
        const soundtest::Bytes mono = ReadWholeFile("testrun/test_sound/tone_mono.mp3"),
                               stereo = ReadWholeFile("testrun/test_sound/tone.mp3");
        if (mono.empty() || stereo.empty()) {
            std::printf("cannot read the test tones in testrun/test_sound (build the tests first)\n");
            return 1;
        }
        const soundtest::Bytes runs = soundtest::InterleavedRuns(mono, stereo, 3, 72);
        image.assign(runs.begin(), runs.end());
        file = "mono and stereo in runs of three frames";
    } else if (cut >= 0) {
        const std::vector<uint8_t> whole = ReadWholeFile(file);
        image.assign(whole.begin(), whole.end());
        if ((size_t)cut >= image.size()) {
            std::printf("%s is not longer than %ld bytes\n", file, cut);
            return 1;
        }
        image.erase(image.begin(), image.begin() + cut);
    }
    SetOutputLogFlag(0);
    SetGraphMode(640, 480, 16, 60);
    ChangeWindowMode(1);
    if (software) SetUseHardwareRendering(0);
    if (InitLibrarySystems() == -1) {
        std::printf("the engine did not start\n");
        return 1;
    }
    SetLogCapture(CountStopsLeftBehind, nullptr);
    SetSoundDecoderDisableMask(GetSoundDecoderDisableMask() | (acm ? SOUND_DECODER_MP3_FILTERS : SOUND_DECODER_MP3_ACM));
    CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));

    std::printf("%ld loads of %s%s through the %s, %s mode\n", count, file, cut >= 0 ? " (cut)" : "",
                acm ? "compression manager" : "media filters", software ? "software" : "Direct3D");
    std::fflush(stdout);
    std::vector<double> ms;
    ms.reserve((size_t)count);
    long failures = 0;
    const double all = SecondsNow();
    for (long i = 0; i < count; i++) {
        InterlockedIncrement(&g_loads_started);
        const double start = SecondsNow();
        const int h = !image.empty() ? CreateSoundFromFileImage(image.data(), (unsigned)image.size(), 1, -1)
                               : LoadSoundFile(file, 1, -1);
        ms.push_back((SecondsNow() - start) * 1000);
        InterlockedIncrement(&g_loads_done);
        if (h == -1) failures++;
        else DeleteSoundHandle(h);
        if ((i + 1) % 500 == 0) {
            std::printf("  %ld loads, %ld failed, %ld stops left behind\n", i + 1, failures, (long)g_stops_left);
            std::fflush(stdout);
        }
    }
    const double max = ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end());
    std::printf("%ld loads in %.1f s: median %.1f ms, max %.1f ms a load; %ld failed, %ld stops left behind\n", count,
                SecondsNow() - all, MedianOf(ms), max, failures, (long)g_stops_left);
    std::fflush(stdout);
    SetLogCapture(nullptr, nullptr);
    EndLibrarySystems();
    return 0;
}
