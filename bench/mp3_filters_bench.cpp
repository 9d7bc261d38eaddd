// MP3 decode speed in multiples of real time: through the media filters, and
// through ACM when this build has it. Reads the test tone that the build encodes
// (or the file given), from build/wine. Figures only.
#include <windows.h>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>
#include "engine/file/stream.h"
#include "engine/sound/sound_convert.h"
#include "engine/system/entry_points.h"
#include "bench/bench_timing.h"

static void Measure(const char* label, const std::vector<char>& mp3, int disableMask) {
    SetSoundDecoderDisableMask(disableMask);
    const double start = SecondsNow();
    double audio = 0, seconds = 0;
    int runs = 0;
    do {
        StreamData sd = {};
        sd.funcs = *GetMemStreamTable();
        sd.handle = MemStreamOpen(mp3.data(), mp3.size());
        SoundConverter conv = {};
        if (SelectSoundDecoder(&sd, &conv) != 0) {
            MemStreamClose(sd.handle);
            std::printf("%-8s not available in this build\n", label);
            return;
        }
        audio += (double)GetConvertedPcmSize(&conv) / conv.format.nAvgBytesPerSec;
        TerminateSoundConverter(&conv);
        MemStreamClose(sd.handle);
        ++runs;
        seconds = SecondsNow() - start;
    } while (seconds < 2);
    std::printf("%-8s %6.1f x real time (%d decodes, %.1f s of audio in %.2f s)\n", label, audio / seconds, runs, audio,
                seconds);
}

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "testrun/test_sound_mp3_filters/tone.mp3";
    std::ifstream in(path, std::ios::binary);
    std::vector<char> mp3((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (mp3.empty()) {
        std::printf("cannot read %s\n", path);
        return 1;
    }
    LoadPlatformEntryPoints();
    WinApi.CoInitialize(nullptr);
    Measure("filters", mp3, SOUND_DECODER_MP3_ACM);
    Measure("ACM", mp3, SOUND_DECODER_MP3_FILTERS);
    WinApi.CoUninitialize();
    return 0;
}
