// Theora playback figures under Wine: frames decoded and converted per second
// for a 640 x 480 movie (the decoding thread plus the main thread's conversion),
// and the YUV-to-RGB time of one 640 x 480 frame; medians of several samples.
// Figures only.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "bench/bench_timing.h"
#include "engine/file/file_stream.h"
#include "engine/movie/theora_decoder.h"
#include "engine/system/memory.h"
#include "support/theora_writer.h"

namespace {

double MsSince(double start) { return (SecondsNow() - start) * 1000.0; }

// Moving diagonal bands with some grain: delta frames that cost real work.
void Fill(int n, const YuvFrame& f) {
    for (int y = 0; y < f.height; y++)
        for (int x = 0; x < f.width; x++) {
            uint32_t h = (uint32_t)(x * 73856093) ^ (uint32_t)(y * 19349663) ^ (uint32_t)(n * 83492791);
            f.y[y * f.y_stride + x] = (uint8_t)(((x + y + n * 4) & 255) ^ ((h >> 7) & 31));
        }
    for (int y = 0; y < f.uv_height; y++)
        for (int x = 0; x < f.uv_width; x++) {
            f.u[y * f.uv_stride + x] = (uint8_t)(x + n);
            f.v[y * f.uv_stride + x] = (uint8_t)(y * 2 + n);
        }
}

}  // namespace

int main() {
    InitYuvTables();
    const int frames = 150;
    TheoraMovieRecipe recipe;
    recipe.pic_width = 640, recipe.pic_height = 480;
    recipe.frames = frames;
    recipe.keyframe_interval = 64;
    recipe.frames_per_page = 0;
    recipe.quality = 48;
    recipe.fill = Fill;
    std::vector<uint8_t> bytes = MakeTheoraMovie(recipe);
    if (!WriteBytesToFile("bench_movie.ogv", bytes)) return 1;
    std::printf("movie: 640 x 480, %d frames, %u bytes\n", frames, (unsigned)bytes.size());

    ArchiveFileHandle file = FileStreamOpen("bench_movie.ogv", 0, 1, 0);
    if (!file) return 1;
    // Opening reads the file from where it stands.
    const double open_ms = MedianSample([&] {
        FileFunctions.Seek(file, 0, 0);
        const double start = SecondsNow();
        TheoraDecoder* opened = OpenTheoraMovie(&FileFunctions, file, 10);
        const double ms = MsSince(start);
        if (opened) CloseTheoraMovie(opened);
        return ms;
    });
    FileFunctions.Seek(file, 0, 0);
    TheoraDecoder* dec = OpenTheoraMovie(&FileFunctions, file, 10);
    if (!dec) return 1;
    std::printf("open (scan of the file, first frame): %.1f ms\n", open_ms);
    // A sample is one pass over the movie (the decoder wraps at its end).
    const double ms = MedianSample([&] {
        const double start = SecondsNow();
        for (int i = 1; i < frames; i++) {
            AdvanceTheoraFrames(dec, 1);
            PublishTheoraFrame(dec, 1, 0);
        }
        const double pass = MsSince(start);
        AdvanceTheoraFrames(dec, 1);
        return pass;
    });
    std::printf("decode + convert: %.1f frames/s (%.2f ms a frame, median of %d passes)\n", (frames - 1) * 1000.0 / ms,
                ms / (frames - 1), kBenchSamples);
    CloseTheoraMovie(dec);
    FileStreamClose(file);

    std::vector<uint8_t> y(640 * 480), u(320 * 240), v(320 * 240);
    for (size_t i = 0; i < y.size(); i++) y[i] = (uint8_t)(i * 7);
    for (size_t i = 0; i < u.size(); i++) u[i] = (uint8_t)(i * 3), v[i] = (uint8_t)(i * 5);
    std::vector<uint32_t> out(640 * 480);
    struct Layout { const char* name; int cw, ch; } layouts[] = {{"4:2:0 (tables)", 320, 240}, {"4:2:2 (floating point)", 320, 480}};
    std::vector<uint8_t> u2(320 * 480), v2(320 * 480);
    for (const Layout& l : layouts) {
        const uint8_t* pu = l.ch == 240 ? u.data() : u2.data();
        const uint8_t* pv = l.ch == 240 ? v.data() : v2.data();
        const int runs = l.ch == 240 ? 20 : 2;  // a sample
        const double ms_a_frame = MedianSample([&] {
            const double start = SecondsNow();
            for (int i = 0; i < runs; i++)
                ConvertYuvToXrgb({y.data(), pu, pv, 640, 480, 640, l.cw, l.ch, 320}, (uint8_t*)out.data(), 640 * 4);
            return MsSince(start) / runs;
        });
        std::printf("YUV to RGB %s: %.3f ms a 640 x 480 frame\n", l.name, ms_a_frame);
    }
    DeleteFileA("bench_movie.ogv");
    return 0;
}
