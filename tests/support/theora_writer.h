// Ogg Theora movies made by the tests, the benchmark and the demo through
// libtheoraenc (and libvorbisenc for an audio track).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct YuvFrame {
    uint8_t* y;
    uint8_t* u;
    uint8_t* v;
    int y_stride, uv_stride;
    int width, height;        // coded size
    int uv_width, uv_height;
};

struct TheoraMovieRecipe {
    int pic_width = 100, pic_height = 60;
    int frames = 10;
    int fps_num = 30, fps_den = 1;
    int keyframe_interval = 64;   // forced: every n-th frame is a key frame
    int frames_per_page = 1;      // page flushed after that many frames; 0 lets libogg choose
    int quality = 63;
    int audio_ms = 0;             // length of a Vorbis track (0: none)
    int pixel_fmt = 0;            // th_pixel_fmt: 0 4:2:0, 2 4:2:2, 3 4:4:4
    // Fills the planes of frame n; unset: flat frames of luma FlatLuma(n), grey chroma.
    std::function<void(int n, const YuvFrame& f)> fill;
    // Replaces the frame size in macroblocks written in the identification header (0: keep).
    int forced_width_mbs = 0, forced_height_mbs = 0;
};

// Never the black (luma 16) of a cleared screen.
inline int FlatLuma(int n) { return 32 + (n * 23) % 200; }

std::vector<uint8_t> MakeTheoraMovie(const TheoraMovieRecipe& recipe);
bool WriteBytesToFile(const std::string& path, const std::vector<uint8_t>& bytes);
