// Demo part: flat-colour shapes across the blend modes. One column per mode
// (0, 1, 2, 3, 4, 10, 11) over a striped backdrop: a filled box, a box outline,
// a fan of lines (software screen only), a circle outline and a disc. In
// software mode the first frame reads a few pixels back to check them.
#include <cstdio>

#include "demo/demo_parts.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/draw_shapes.h"
#include "engine/graphics/graphics_system.h"
#include "engine/image/memimg.h"
#include "engine/softrender/shapes.h"

static const int kModes[] = {0, 1, 2, 3, 4, 10, 11};
static const int kColumns = sizeof kModes / sizeof kModes[0];
static const int kColumnWidth = 88;
static const int kLeft = 12, kTop = 16;
static int g_checked = 0;

// Stripes of four colours under every column, so each mode has something to blend with.
static void DrawBackdrop() {
    SetBlendModeParam(0, 255);
    const uint32_t stripes[4] = {PackScreenColor(40, 40, 120), PackScreenColor(200, 200, 200),
                                 PackScreenColor(120, 30, 30), PackScreenColor(20, 110, 40)};
    for (int i = 0; i < 4; i++) DrawBox(0, kTop + i * 112, 640, kTop + (i + 1) * 112, stripes[i], 1);
}

static void DrawColumn(int column, int n) {
    const int x = kLeft + column * kColumnWidth;
    const int mode = kModes[column];
    const int param = mode == 0 ? 255 : 160;
    const uint32_t orange = PackScreenColor(255, 160, 40), cyan = PackScreenColor(60, 220, 255);
    SetBlendModeParam(mode, param);
    DrawBox(x, kTop + 8, x + 70, kTop + 70, orange, 1);
    DrawBox(x, kTop + 80, x + 70, kTop + 140, cyan, 0);
    DrawBox(x + 8, kTop + 88, x + 62, kTop + 132, orange, 0);
    if (MEMIMG* screen = GetScreenMemImg()) {
        // A fan of lines from one corner; the end points are left out.
        for (int k = 0; k <= 8; k++)
            DrawMemImgLine(screen, x, kTop + 150, x + 70, kTop + 150 + k * 10, k & 1 ? orange : cyan);
        DrawMemImgLine(screen, x + 70, kTop + 240, x, kTop + 160 + n % 80, PackScreenColor(255, 255, 255));
    }
    DrawCircle(x + 35, kTop + 290, 30, cyan, 0);
    DrawCircle(x + 35, kTop + 290, 18, orange, 0);
    DrawCircle(x + 35, kTop + 375, 34, orange, 1);
    DrawCircle(x + 35, kTop + 375, 14, cyan, 1);
    // The draw bright dims a second small disc.
    SetDrawBright(128, 128, 255);
    DrawCircle(x + 35, kTop + 430, 10, orange, 1);
    SetDrawBright(255, 255, 255);
}

// Mode-0 pixels of the first column must hold the packed colours exactly.
static void CheckFirstColumn() {
    if (!GetScreenMemImg()) return;
    const uint32_t orange = PackScreenColor(255, 160, 40), cyan = PackScreenColor(60, 220, 255);
    const uint32_t stripe = PackScreenColor(40, 40, 120);
    if (DemoScreenPixel(kLeft + 35, kTop + 40) != orange) DemoReportFailure("shapes", "filled box colour");
    if (DemoScreenPixel(kLeft + 70, kTop + 40) != stripe)
        DemoReportFailure("shapes", "filled box reaches past its right edge");
    if (DemoScreenPixel(kLeft, kTop + 110) != cyan || DemoScreenPixel(kLeft + 69, kTop + 139) != cyan)
        DemoReportFailure("shapes", "box outline");
    if (DemoScreenPixel(kLeft + 35, kTop + 375) != cyan) DemoReportFailure("shapes", "disc centre");
    if (DemoScreenPixel(kLeft + 35 + 30, kTop + 290) != cyan) DemoReportFailure("shapes", "circle outline");
}

static void ShapesFrame(int n) {
    if (!DemoSceneShown("shapes", n)) return;
    DrawBackdrop();
    for (int c = 0; c < kColumns; c++) DrawColumn(c, n);
    SetBlendModeParam(0, 255);
    if (!g_checked) {
        g_checked = 1;
        CheckFirstColumn();
    }
}

static void ShapesPreStart(const DemoOptions& o) {
    if (o.software) SetUseHardwareRendering(0);
}

static void ShapesEnd() {
    printf("shapes: %s mode\n", GetScreenMemImg() ? "software" : "Direct3D");
    fflush(stdout);
}

// After graphics has cleared the frame, before it presents.
static const DemoPart g_shapes_part = {"shapes", 60, ShapesPreStart, nullptr, ShapesFrame, nullptr, ShapesEnd};
DEMO_PART(g_shapes_part);
