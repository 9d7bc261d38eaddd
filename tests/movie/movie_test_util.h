// Shared by the movie tests: movies written next to the test, a decoder opened
// on one, the grey a flat frame converts to, and a time limit on each call
// that could hang.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "engine/file/file_stream.h"
#include "engine/movie/theora_decoder.h"
#include "engine/image/pixel_format.h"
#include "sound/sound_fixture.h"
#include "support/theora_writer.h"
#include "support/time_limit.h"

using soundtest::LogCapture;

// Writes the movie into the working directory under the name; the path.
inline std::string WriteMovie(const std::string& name, const TheoraMovieRecipe& recipe) {
    EXPECT_TRUE(WriteBytesToFile(name, MakeTheoraMovie(recipe))) << name;
    return name;
}

// R = G = B of a pixel with luma y and grey chroma, from the conversion's formula.
inline int GreyOfLuma(int y) {
    int v = ((19070 * y - 305120) + (26148 * 128 - 3346944)) / 16384;
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

inline uint32_t ImagePixel(const BaseImage* img, int x, int y) {
    return ((const uint32_t*)((const uint8_t*)img->pixels + y * img->pitch))[x] & 0xFFFFFF;
}

inline uint32_t GreyPixel(int luma) {
    uint32_t g = (uint32_t)GreyOfLuma(luma);
    return g << 16 | g << 8 | g;
}

struct OpenedDecoder {
    ArchiveFileHandle file = 0;
    TheoraDecoder* dec = nullptr;
    bool Open(const std::string& path, int stock = 10) {
        file = FileStreamOpen(path.c_str(), 0, 1, 0);
        if (!file) return false;
        dec = OpenTheoraMovie(&FileFunctions, file, stock);
        return dec != nullptr;
    }
    void Close() {
        if (dec) CloseTheoraMovie(dec);
        if (file) FileStreamClose(file);
        dec = nullptr, file = 0;
    }
    ~OpenedDecoder() { Close(); }
    // The current frame through the image path; 0xFFFFFFFF when it cannot be had.
    uint32_t CurrentPixel(int x = 8, int y = 8) {
        uint32_t px = 0xFFFFFFFF;
        bool done = RunWithTimeout(
            [&] {
                PublishTheoraFrame(dec, 1, 0);
                px = ImagePixel(GetTheoraFrameImage(dec), x, y);
            },
            15000);
        EXPECT_TRUE(done) << "PublishTheoraFrame hangs";
        return done ? px : 0xFFFFFFFF;
    }
};
