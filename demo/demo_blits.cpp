// Demo part: pictures through the software blits. One row per blend mode (0, 1,
// 2, 3, 4, 10, 11): a colour-keyed picture whole, a part of it mirrored,
// stretched, stretched and mirrored, reduced, an alpha picture, the keyed
// picture under a draw bright, and the keyed picture turned and shrunk onto
// four corners. The first frame draws the rows and, in software mode, reads
// pixels back to check them; later frames keep the rows on screen only with
// --blits (the shapes part owns the screen otherwise).
#include <cmath>
#include <cstdio>

#include "demo/demo_parts.h"
#include "engine/graphics/draw_graphic.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/draw_shapes.h"
#include "engine/graphics/graphic_handle.h"
#include "engine/graphics/graphics_system.h"
#include "engine/image/memimg.h"
#include "engine/image/pixel_format.h"

static const int kModes[] = {0, 1, 2, 3, 4, 10, 11};
static const int kRows = sizeof kModes / sizeof kModes[0];
static const int kW = 48, kH = 32;
static const int kTop = 20, kRowHeight = 64;
static BaseImage g_keyed_image, g_alpha_image;
static int g_keyed = -1, g_alpha = -1;
static int g_checked = 0;

// Four coloured quarters around a black (transparent) cross and border dots,
// with a white bar along the top that tells mirrored draws apart.
static void PaintKeyed(BaseImage* img) {
    for (int y = 0; y < kH; y++) {
        uint32_t* row = (uint32_t*)((uint8_t*)img->pixels + y * img->pitch);
        for (int x = 0; x < kW; x++) {
            uint32_t c = x < kW / 2 ? (y < kH / 2 ? 0xFF0000u : 0x00FF00u) : (y < kH / 2 ? 0x0000FFu : 0xFFFF00u);
            if (y < 4 && x < kW / 2) c = 0xFFFFFFu;
            if (x == kW / 2 || y == kH / 2 || ((x ^ y) & 7) == 0) c = 0;
            row[x] = c;
        }
    }
}

// A disc fading out toward its edge, transparent outside.
static void PaintAlpha(BaseImage* img) {
    for (int y = 0; y < kH; y++) {
        uint32_t* row = (uint32_t*)((uint8_t*)img->pixels + y * img->pitch);
        for (int x = 0; x < kW; x++) {
            int dx = x - kW / 2, dy = (y - kH / 2) * 3 / 2;
            int d2 = dx * dx + dy * dy, r2 = (kW / 2) * (kW / 2);
            int a = d2 >= r2 ? 0 : d2 < r2 / 4 ? 255 : 255 * (r2 - d2) / (r2 - r2 / 4);
            row[x] = (uint32_t)a << 24 | (uint32_t)(64 + x * 4) << 16 | (uint32_t)(255 - y * 6) << 8 | 200u;
        }
    }
}

static int MakePicture(BaseImage* img, bool alpha, void (*paint)(BaseImage*)) {
    PixelFormat f;
    if (alpha) SetPixelFormatA8R8G8B8(&f);
    else SetPixelFormatX8R8G8B8(&f);
    if (BaseImageCreate(&f, kW, kH, img) < 0) return -1;
    paint(img);
    SetCreateGraphicAlphaChannelFlag(alpha ? 1 : 0);
    int g = MakeEmptyGraphic(kW, kH);
    SetCreateGraphicAlphaChannelFlag(0);
    if (g < 0 || BltImageToGraphic(img, nullptr, nullptr, 0, 0, g) < 0) return -1;
    return g;
}

// Four corners of the keyed picture turned by 30 degrees and shrunk to 0.6
// round (620, y + 24), and the screen point of texel (u, v) on them.
struct TurnedQuad {
    float x[4], y[4];  // top-left, top-right, bottom-right, bottom-left
    void At(float u, float v, int* px, int* py) const {
        *px = (int)std::floor(x[0] + (x[1] - x[0]) * u / kW + (x[3] - x[0]) * v / kH);
        *py = (int)std::floor(y[0] + (y[1] - y[0]) * u / kW + (y[3] - y[0]) * v / kH);
    }
};

static TurnedQuad QuadOfRow(int y) {
    const float c = std::cos(0.5235988f), s = std::sin(0.5235988f), a = kW * 0.3f, b = kH * 0.3f;
    const float cx = 620.0f, cy = (float)(y + 24);
    const float su[4] = {-1, 1, 1, -1}, sv[4] = {-1, -1, 1, 1};
    TurnedQuad q;
    for (int i = 0; i < 4; i++) {
        q.x[i] = cx + su[i] * a * c - sv[i] * b * s;
        q.y[i] = cy + su[i] * a * s + sv[i] * b * c;
    }
    return q;
}

static void DrawRows() {
    SetBlendModeParam(0, 255);
    const uint32_t stripes[2] = {PackScreenColor(90, 90, 110), PackScreenColor(180, 170, 150)};
    for (int i = 0; i < 16; i++) DrawBox(i * 40, 0, i * 40 + 40, 480, stripes[i & 1], 1);
    for (int r = 0; r < kRows; r++) {
        int y = kTop + r * kRowHeight;
        int mode = kModes[r];
        SetBlendModeParam(mode, mode == 0 ? 255 : 170);
        DrawGraphic(10, y, g_keyed, 1);
        DrawGraphicPart(70, y, 8, 0, 32, kH, g_keyed, 1, 1);
        DrawGraphicPartStretchedF(110.0f, (float)y, 182.0f, (float)(y + 48), 0, 0, kW, kH, g_keyed, 1);
        DrawGraphicPartStretchedF(262.0f, (float)y, 190.0f, (float)(y + 48), 0, 0, kW, kH, g_keyed, 1);
        DrawGraphicPartStretchedF(272.0f, (float)(y + 40), 296.0f, (float)(y + 8), 0, 0, kW, kH, g_keyed, 0);
        DrawGraphic(310, y, g_alpha, 1);
        DrawGraphic(370, y, g_alpha, 0);
        DrawGraphicPartStretchedF(430.0f, (float)y, 526.0f, (float)(y + 56), 0, 0, kW, kH, g_alpha, 1);
        SetDrawBright(255, 128, 64);
        DrawGraphic(540, y, g_keyed, 1);
        SetDrawBright(255, 255, 255);
        const TurnedQuad q = QuadOfRow(y);
        DrawGraphicQuad(q.x[0], q.y[0], q.x[1], q.y[1], q.x[2], q.y[2], q.x[3], q.y[3], g_keyed, 1);
    }
    SetBlendModeParam(0, 255);
}

// The colour bits of a screen pixel: a 32-bit screen's fourth byte is no colour.
static uint32_t ScreenPixel(int x, int y) {
    return DemoScreenPixel(x, y) & (GetScreenColorDepth() == 16 ? 0xFFFF : 0xFFFFFF);
}

static uint32_t Colour(int r, int g, int b) {
    uint32_t v = PackScreenColor(r, g, b);
    return GetScreenColorDepth() == 16 ? v : v & 0xFFFFFF;
}

// Mode-0 row: exact colours where drawn, the backdrop where the key is.
static void CheckFirstRow() {
    if (!GetScreenMemImg()) return;
    int y = kTop;
    if (ScreenPixel(10 + 5, y + 10) != Colour(255, 0, 0)) DemoReportFailure("blits", "whole picture colour");
    if (ScreenPixel(10 + 40, y + 25) != Colour(255, 255, 0)) DemoReportFailure("blits", "whole picture, lower right");
    if (ScreenPixel(10 + kW / 2, y + 5) != Colour(90, 90, 110)) DemoReportFailure("blits", "transparent pixel drawn");
    // Mirrored part: source columns 8..39 right to left, so the white bar ends at the right.
    if (ScreenPixel(70 + 31, y + 1) != Colour(255, 255, 255)) DemoReportFailure("blits", "mirrored part");
    if (ScreenPixel(70 + 2, y + 1) != Colour(0, 0, 255)) DemoReportFailure("blits", "mirrored part, left");
    // Stretched 1.5x: destination column 3 shows source column 2.
    if (ScreenPixel(110 + 3, y + 20) != Colour(255, 0, 0)) DemoReportFailure("blits", "stretched picture");
    if (ScreenPixel(262 - 6, y + 1) != Colour(255, 255, 255))
        DemoReportFailure("blits", "stretched and mirrored picture");
}

// Turned quads: inside the red quarter every mode changes the backdrop (mode 0
// to red itself); outside the quad the backdrop stays.
static void CheckQuads() {
    if (!GetScreenMemImg()) return;
    const uint32_t backdrop = Colour(180, 170, 150);
    for (int r = 0; r < kRows; r++) {
        const TurnedQuad q = QuadOfRow(kTop + r * kRowHeight);
        int x, y;
        q.At(12.5f, 8.5f, &x, &y);
        const uint32_t inside = ScreenPixel(x, y);
        if (r == 0 ? inside != Colour(255, 0, 0) : inside == backdrop)
            DemoReportFailure("blits", "turned quad, mode %d: %X at (%d,%d)", kModes[r], inside, x, y);
        if (ScreenPixel(604, kTop + r * kRowHeight + 10) != backdrop)
            DemoReportFailure("blits", "turned quad, mode %d: drawn outside its corners", kModes[r]);
    }
}

static void BlitsPreStart(const DemoOptions& o) {
    if (o.software) SetUseHardwareRendering(0);
}

static int BlitsStart() {
    g_keyed = MakePicture(&g_keyed_image, false, PaintKeyed);
    g_alpha = MakePicture(&g_alpha_image, true, PaintAlpha);
    if (g_keyed < 0 || g_alpha < 0) {
        DemoReportFailure("blits", "pictures could not be made");
        return 0;
    }
    return 0;
}

static void BlitsFrame(int n) {
    if (g_keyed < 0 || g_alpha < 0 || !DemoSceneShown("blits", n)) return;
    DrawRows();
    if (!g_checked) {
        g_checked = 1;
        CheckFirstRow();
        CheckQuads();
    }
}

static void BlitsEnd() {
    printf("blits: %s mode\n", GetScreenMemImg() ? "software" : "Direct3D");
    fflush(stdout);
    if (g_keyed >= 0) DeleteGraphic(g_keyed, 0);
    if (g_alpha >= 0) DeleteGraphic(g_alpha, 0);
    BaseImageRelease(&g_keyed_image);
    BaseImageRelease(&g_alpha_image);
}

// After the shapes part, so that its rows lie on top.
static const DemoPart g_blits_part = {"blits", 70, BlitsPreStart, BlitsStart, BlitsFrame, nullptr, BlitsEnd};
DEMO_PART(g_blits_part);
