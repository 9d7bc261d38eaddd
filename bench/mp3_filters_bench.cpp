// MP3 decode speed in multiples of real time, through ACM and through the media
// filters side by side: each figure is the median of whole-file decodes, the
// two paths taking turns. Reads the test tone that the build encodes (or the
// file given), from build/wine. Then the time the media filters take to load
// the sound of 10-second AVI files written here, which hold more than the one
// sound track. Figures only.
#include <windows.h>
#include <cstdio>
#include <vector>
#include "bench/bench_timing.h"
#include "bench/sound_session.h"
#include "movie/avi_writer.h"

namespace {

struct Path {
    const char* name;
    int disable_mask;  // leaves this path as the only MP3 decoder
    std::vector<double> speeds;
    double audio = 0;  // seconds of sound in the file
};

// Opens the file through the path and converts all of it; times real time, or 0
// when the path cannot open it.
double DecodeOnce(const std::vector<uint8_t>& mp3, Path& path) {
    SetSoundDecoderDisableMask(path.disable_mask);
    const double start = SecondsNow();
    WholeDecode d;
    if (!DecodeWhole(mp3, &d, [](const uint8_t*, int) {})) return 0;
    const double seconds = SecondsNow() - start;
    path.audio = (double)d.bytes / d.format.nAvgBytesPerSec;
    return path.audio / seconds;
}

uint32_t Grey(int, int, int) { return 0x808080; }

// Seconds to load the sound of each file through the media filters.
void PrintTrackFileLoads() {
    const avitest::Bytes files[] = {
        avitest::MakePcmTracksAvi({avitest::SquareTrack(22050, 1, 10, 0x1000, 30), avitest::SquareTrack(44100, 2, 10, 0x3000, 30)}),
        avitest::MakeRgbAvi(32, 24, 100, 10, Grey, 22050)};
    Path paths[] = {{"two sound tracks", SOUND_DECODER_MP3_ACM, {}}, {"raw video, a sound track", SOUND_DECODER_MP3_ACM, {}}};
    std::printf("Sound of 10 s AVI files through the filters, seconds per load (median of %d loads):\n", kBenchSamples);
    for (int f = 0; f < 2; f++) {
        std::vector<double> seconds;
        for (int i = 0; i < kBenchSamples; i++) {
            const double speed = DecodeOnce(files[f], paths[f]);
            seconds.push_back(speed > 0 ? paths[f].audio / speed : -1);
        }
        const double median = MedianOf(seconds);
        if (median >= 0)
            std::printf("  %-24s %7.3f s   (%.2f s of audio)\n", paths[f].name, median, paths[f].audio);
        else
            std::printf("  %-24s not loaded\n", paths[f].name);
    }
    SetSoundDecoderDisableMask(0);
}

}  // namespace

int main(int argc, char** argv) {
    const char* file = argc > 1 ? argv[1] : "testrun/test_sound_mp3_filters/tone.mp3";
    const std::vector<uint8_t> mp3 = ReadWholeFile(file);
    if (mp3.empty()) {
        std::printf("cannot read %s\n", file);
        return 1;
    }
    if (!StartBenchSound()) return 1;
    Path paths[] = {{"ACM", SOUND_DECODER_MP3_FILTERS, {}}, {"filters (DirectShow)", SOUND_DECODER_MP3_ACM, {}}};
    for (int i = 0; i < kBenchSamples; i++)
        for (Path& p : paths) p.speeds.push_back(DecodeOnce(mp3, p));
    SetSoundDecoderDisableMask(0);
    std::printf("MP3 decode of %s, times real time (median of %d decodes):\n", file, kBenchSamples);
    for (Path& p : paths) {
        const double speed = MedianOf(p.speeds);
        if (speed > 0)
            std::printf("  %-22s %8.1f x   (%.2f s of audio in %.1f ms)\n", p.name, speed, p.audio,
                        p.audio / speed * 1000);
        else
            std::printf("  %-22s not available\n", p.name);
    }
    const double acm = MedianOf(paths[0].speeds), filters = MedianOf(paths[1].speeds);
    if (acm > 0 && filters > 0) std::printf("  ACM / filters          %8.2f\n", acm / filters);
    PrintTrackFileLoads();
    EndBenchSound();
    return 0;
}
