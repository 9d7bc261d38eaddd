// Movie part: the demo's Theora movie (made by its script as movie.ogv) loaded
// through the graphics loader and drawn with its first frame in the graphics
// scene, plain and stretched; the first drawn frame is read back and checked.
#include <cstdlib>

#include "demo/demo_parts.h"
#include "engine/graphics/draw_graphic.h"
#include "engine/graphics/graphic_handle.h"
#include "engine/graphics/graphic_movie.h"
#include "engine/graphics/screen.h"
#include "engine/image/pixel_format.h"

static int g_movie_graphic = -1;
static int g_checked;

static int Start() {
    g_movie_graphic = LoadGraphicFile("movie.ogv");
    if (g_movie_graphic < 0) DemoReportFailure("movie", "movie.ogv could not be loaded (made by scripts/demo)");
    return 0;
}

static uint32_t At(const BaseImage& cap, int x, int y) {
    return ((const uint32_t*)((const uint8_t*)cap.pixels + y * cap.pitch))[x] & 0xFFFFFF;
}

// Grey quarters of the first frame: luma 60 and 200 give 51 and 214.
static void Check() {
    BaseImage cap{};
    if (CaptureScreen(&cap) < 0) {
        DemoReportFailure("movie", "the screen could not be captured");
        return;
    }
    struct { int x, y, grey; const char* what; } points[] = {
        {40, 380, 51, "dark quarter"}, {150, 380, 214, "light quarter"}, {400, 360, 214, "stretched light quarter"}};
    for (const auto& p : points) {
        uint32_t c = At(cap, p.x, p.y);
        int g = (c >> 8) & 0xFF;
        // The Direct3D path converts YUV with the device's own matrix: a wide margin.
        if (std::abs(g - p.grey) > 24)
            DemoReportFailure("movie", "%s at (%d, %d) is %06X, expected grey %d", p.what, p.x, p.y, (unsigned)c, p.grey);
    }
    BaseImageRelease(&cap);
}

static void Frame(int n) {
    if (g_movie_graphic < 0 || !DemoSceneShown("graphics", n)) return;
    DrawGraphic(20, 360, g_movie_graphic, 0);
    DrawGraphicPartStretchedF(200.0f, 336.0f, 440.0f, 480.0f, 0, 0, 160, 96, g_movie_graphic, 0);
    if (!g_checked) {
        g_checked = 1;
        Check();
    }
}

static void End() {
    if (g_movie_graphic >= 0) DeleteGraphic(g_movie_graphic, 0);
    g_movie_graphic = -1;
}

static const DemoPart kMoviePart = {"movie", 5, nullptr, Start, Frame, nullptr, End};
DEMO_PART(kMoviePart);
