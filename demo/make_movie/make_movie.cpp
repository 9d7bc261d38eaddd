// Writes the demo's movie: 160 x 96, two seconds at 30 frames a second, four
// coloured quarters (dark and light grey over red and blue) with a light bar
// running across them.
#include <cstdio>
#include <cstring>

#include "support/theora_writer.h"

// Luma, blue and red difference of each quarter: top-left, top-right, bottom-left, bottom-right.
static const int kQuarters[4][3] = {{60, 128, 128}, {200, 128, 128}, {81, 90, 240}, {41, 240, 110}};

static void Fill(int n, const YuvFrame& f) {
    for (int y = 0; y < f.height; y++)
        for (int x = 0; x < f.width; x++) {
            const int* q = kQuarters[(y >= 48) * 2 + (x >= 80)];
            bool bar = x >= 8 + n * 2 && x < 16 + n * 2 && y >= 44 && y < 52;
            f.y[y * f.y_stride + x] = (uint8_t)(bar ? 235 : q[0]);
        }
    for (int y = 0; y < f.uv_height; y++)
        for (int x = 0; x < f.uv_width; x++) {
            const int* q = kQuarters[(y >= 24) * 2 + (x >= 40)];
            f.u[y * f.uv_stride + x] = (uint8_t)q[1];
            f.v[y * f.uv_stride + x] = (uint8_t)q[2];
        }
}

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "movie.ogv";
    TheoraMovieRecipe recipe;
    recipe.pic_width = 160;
    recipe.pic_height = 96;
    recipe.frames = 60;
    recipe.keyframe_interval = 30;
    recipe.frames_per_page = 0;
    recipe.fill = Fill;
    if (!WriteBytesToFile(path, MakeTheoraMovie(recipe))) {
        std::fprintf(stderr, "make_movie: cannot write %s\n", path);
        return 1;
    }
    std::printf("make_movie: wrote %s\n", path);
    return 0;
}
