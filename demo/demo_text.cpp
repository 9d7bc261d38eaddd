// Text part: a band at the bottom of every frame with the frame number in the
// default font, Shift-JIS text in an edged font and a vertical line of an
// antialiased one. In software mode the first frame is read back: the band shows
// the text colours and nothing else.
#include <cstdio>

#include "demo/demo_parts.h"
#include "engine/font/font.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/draw_shapes.h"
#include "engine/graphics/graphics_system.h"

static const int kBandTop = 452;
static const char kJapanese[] = "日本語のテキスト";
static int g_edged = -1, g_vertical = -1;
static int g_checked;
static int g_lit;

static int TextStart() {
    g_edged = CreateFontToHandle(nullptr, 20, -1, FONT_TYPE_EDGE, -1, 2, 0);
    g_vertical = CreateFontToHandle(nullptr, 18, -1, FONT_TYPE_ANTIALIASING, -1, -1, 0);
    if (g_edged < 0 || g_vertical < 0) DemoReportFailure("text", "fonts could not be made");
    return 0;
}

static uint32_t Colour(int r, int g, int b) {
    uint32_t v = PackScreenColor(r, g, b);
    return GetScreenColorDepth() == 16 ? v : v & 0xFFFFFF;
}

// The band holds black, white (default font), yellow and red (edged font) only,
// and each string put something on screen.
static void CheckBand(int japanese_x, int japanese_w) {
    if (!GetScreenMemImg()) return;
    const uint32_t allowed[] = {Colour(0, 0, 0), Colour(255, 255, 255), Colour(255, 230, 0), Colour(200, 0, 0)};
    uint32_t mask = GetScreenColorDepth() == 16 ? 0xFFFF : 0xFFFFFF;
    int frame_lit = 0, japanese_lit = 0, stray = 0;
    for (int y = kBandTop; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            uint32_t c = DemoScreenPixel(x, y) & mask;
            bool known = false;
            for (uint32_t a : allowed) known = known || c == a;
            if (!known) stray++;
            if (c == allowed[1] && x < japanese_x) frame_lit++;
            if (c == allowed[2] && x >= japanese_x && x < japanese_x + japanese_w) japanese_lit++;
        }
    g_lit = frame_lit + japanese_lit;
    if (frame_lit < 20) DemoReportFailure("text", "the frame number is missing (%d pixels)", frame_lit);
    if (japanese_lit < 100) DemoReportFailure("text", "the Shift-JIS text is missing (%d pixels)", japanese_lit);
    if (stray) DemoReportFailure("text", "%d pixels of the band have no text colour", stray);
}

static void TextFrame(int n) {
    SetBlendModeParam(DX_BLENDMODE_NOBLEND, 255);
    DrawBox(0, kBandTop, 640, 480, PackScreenColor(0, 0, 0), 1);
    DrawFormattedText(8, kBandTop + 6, PackScreenColor(255, 255, 255), "frame %d / %s", n,
                      GetScreenMemImg() ? "software" : "Direct3D");
    const int jx = 300;
    DrawTextWithFont(jx, kBandTop + 2, kJapanese, PackScreenColor(255, 230, 0), g_edged, PackScreenColor(200, 0, 0),
                     0);
    if (!g_checked) {
        g_checked = 1;
        int size[2] = {0, 0};
        FontStringCore(0, 0, 0, 0, 1.0, 1.0, kJapanese, 0, nullptr, nullptr, 0, g_edged, 0, -1, 0, size);
        CheckBand(jx, size[0]);
    }
    // Outside the band: a vertical line of antialiased text down the right edge,
    // where the blit scene draws its turned quads.
    if (!DemoSceneShown("blits", n))
        DrawTextWithFont(612, 40, "縦書きの文字", PackScreenColor(160, 255, 160), g_vertical, 0, 1);
}

static void TextEnd() {
    std::printf("text: %s mode, %d text pixels read back\n", GetScreenMemImg() ? "software" : "Direct3D", g_lit);
    std::fflush(stdout);
    if (g_edged >= 0) DeleteFontHandle(g_edged);
    if (g_vertical >= 0) DeleteFontHandle(g_vertical);
    g_edged = g_vertical = -1;
}

// After every drawing part, so the band lies on top.
static const DemoPart g_text_part = {"text", 80, nullptr, TextStart, TextFrame, nullptr, TextEnd};
DEMO_PART(g_text_part);
