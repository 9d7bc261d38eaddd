// Graphics part: boxes and a colour-keyed picture, plain and stretched, on a
// cleared screen every frame; the last frame is read back and checked.
// Other parts draw over the screen after this one.
#include <cstdio>
#include <cstdlib>

#include "demo/demo_parts.h"
#include "engine/graphics/draw_graphic.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/draw_shapes.h"
#include "engine/graphics/graphic_handle.h"
#include "engine/graphics/graphics_system.h"
#include "engine/graphics/screen.h"
#include "engine/image/pixel_format.h"

static BaseImage g_picture;
static int g_graphic = -1;

// A 64 x 64 gradient (red along x, green along y) in a two-pixel border of the
// colour key, black.
static int MakePicture() {
    if (BaseImageCreateXrgb32(64, 64, &g_picture) < 0) return -1;
    for (int y = 0; y < 64; y++) {
        uint32_t* row = (uint32_t*)((uint8_t*)g_picture.pixels + y * g_picture.pitch);
        for (int x = 0; x < 64; x++) {
            bool border = x < 2 || y < 2 || x >= 62 || y >= 62;
            row[x] = border ? 0 : (uint32_t)(x * 4) << 16 | (uint32_t)(y * 4) << 8 | 128;
        }
    }
    return 0;
}

static void PreStart(const DemoOptions& o) {
    if (o.software) SetUseHardwareRendering(0);
}

static int Start() {
    if (MakePicture() < 0) return -1;
    g_graphic = MakeEmptyGraphic(64, 64);
    if (g_graphic < 0) return -1;
    return BltImageToGraphic(&g_picture, nullptr, nullptr, 0, 0, g_graphic);
}

static void CheckScreen();

// Runs first: clears every frame; in its own scene draws, and on its first frame
// there checks what it drew.
static int g_checked;

static void Frame(int n) {
    ClearScreen();
    if (!DemoSceneShown("graphics", n)) return;
    DrawBox(20, 20, 120, 80, PackScreenColor(255, 0, 0), 1);
    DrawBox(140, 20, 240, 80, PackScreenColor(0, 255, 0), 0);
    DrawBox(290, 190, 370, 270, PackScreenColor(128, 128, 128), 1);
    DrawGraphic(300, 200, g_graphic, 1);
    DrawGraphicPartStretchedF(400.0f, 200.0f, 528.0f, 328.0f, 0, 0, 64, 64, g_graphic, 1);
    if (!g_checked) {
        g_checked = 1;
        CheckScreen();
    }
}

static bool Near(uint32_t got, uint32_t want, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8) {
        int a = (got >> shift) & 0xFF, b = (want >> shift) & 0xFF;
        if (std::abs(a - b) > tolerance) return false;
    }
    return true;
}

static void CheckPixel(const BaseImage& cap, int x, int y, uint32_t want, const char* what) {
    uint32_t got = ((const uint32_t*)((const uint8_t*)cap.pixels + y * cap.pitch))[x] & 0xFFFFFF;
    if (Near(got, want, 12)) return;
    DemoReportFailure("graphics", "%s at (%d, %d) is %06X, expected %06X", what, x, y, (unsigned)got, (unsigned)want);
}

static void CheckScreen() {
    BaseImage cap{};
    if (CaptureScreen(&cap) < 0) {
        DemoReportFailure("graphics", "the screen could not be captured");
        return;
    }
    CheckPixel(cap, 70, 50, 0xFF0000, "filled box");
    CheckPixel(cap, 140, 20, 0x00FF00, "box outline");
    CheckPixel(cap, 190, 50, 0x000000, "inside the outline");
    CheckPixel(cap, 310, 220, 0x285080, "picture");
    CheckPixel(cap, 300, 200, 0x808080, "keyed picture border");
    CheckPixel(cap, 420, 240, 0x285080, "stretched picture");
    CheckPixel(cap, 630, 470, 0x000000, "background");
    BaseImageRelease(&cap);
}

static void AfterFrame(int n) {
    (void)n;
    PresentScreen();
}

static void End() {
    if (g_graphic >= 0) DeleteGraphic(g_graphic, 0);
    g_graphic = -1;
    BaseImageRelease(&g_picture);
}

static const DemoPart kGraphicsPart = {"graphics", 0, PreStart, Start, Frame, AfterFrame, End};
DEMO_PART(kGraphicsPart);
