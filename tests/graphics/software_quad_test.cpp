// Four-corner drawing and box outlines in software mode, and where a quad
// lands in both modes.
#include "graphics_test_util.h"

#include <cmath>
#include <set>
#include <utility>

#include "engine/graphics/draw_graphic.h"
#include "engine/graphics/draw_shapes.h"
#include "engine/graphics/graphic_handle.h"
#include "engine/graphics/graphic_record.h"
#include "engine/image/memimg.h"

namespace {

class SoftQuad : public GraphicsEngine {
protected:
    int Hardware() const override { return 0; }
};

// A w x h graphic whose texel (i, j) is a colour of its own, none black.
int MakeCountingGraphic(int w, int h) {
    BaseImage pic{};
    if (BaseImageCreateXrgb32(w, h, &pic) < 0) return -1;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            ((uint32_t*)((uint8_t*)pic.pixels + y * pic.pitch))[x] = (uint32_t)(40 + 40 * x) << 16 | (uint32_t)(60 + 60 * y) << 8 | 200;
    int g = MakeEmptyGraphic(w, h);
    if (g >= 0) BltImageToGraphic(&pic, nullptr, nullptr, 0, 0, g);
    BaseImageRelease(&pic);
    return g;
}

typedef std::set<std::pair<int, int>> PixelSet;

PixelSet NonBlack() {
    Capture cap;
    PixelSet out;
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++)
            if (cap.At(x, y)) out.insert({x, y});
    return out;
}

// The 5 x 3 graphic drawn unscaled at (10, 20), corners less 0.5 as for Direct3D.
int DrawFiveByThree(int g) {
    return DrawGraphicQuad(9.5f, 19.5f, 14.5f, 19.5f, 14.5f, 22.5f, 9.5f, 22.5f, g, 0);
}

// The same graphic turned a quarter clockwise onto columns 10..12, rows 20..24
// as Direct3D places it (corners less 0.5).
int DrawFiveByThreeTurned(int g) {
    return DrawGraphicQuad(12.5f, 19.5f, 12.5f, 24.5f, 9.5f, 24.5f, 9.5f, 19.5f, g, 0);
}

TEST_F(SoftQuad, EachPixelTakesTheTexelAtItsOwnPosition) {
    // Turned, the texel row v = 13 - x falls as x grows: the pixel on the v = 0
    // corner takes row 0 and the column at v = 3 is past the graphic, so the
    // graphic lands on columns 11..13, one right of Direct3D, which samples
    // half a texel in.
    const int g = MakeCountingGraphic(5, 3);
    ASSERT_GE(g, 0);
    MEMIMG* screen = GetScreenMemImg();
    const MEMIMG* pic = &GetGraphicRecord(g)->image;
    for (bool turned : {false, true}) {
        ClearScreen();
        ASSERT_EQ(0, turned ? DrawFiveByThreeTurned(g) : DrawFiveByThree(g));
        int changed = 0;
        for (int y = 0; y < 40; y++)
            for (int x = 0; x < 40; x++) {
                const uint16_t v = *(const uint16_t*)MemImagePixelAt(screen, x, y);
                if (!v) continue;
                changed++;
                const int u = turned ? y - 20 : x - 10, w = turned ? 13 - x : y - 20;
                ASSERT_TRUE(u >= 0 && u < 5 && w >= 0 && w < 3) << x << "," << y << " turned " << turned;
                EXPECT_EQ(*(const uint16_t*)MemImagePixelAt(pic, u, w), v) << x << "," << y << " turned " << turned;
            }
        EXPECT_EQ(15, changed) << "turned " << turned;
    }
}

TEST_F(SoftQuad, BadCoordinatesDrawNothing) {
    const int g = MakeCountingGraphic(5, 3);
    ClearScreen();
    EXPECT_EQ(-1, DrawGraphicQuad(NAN, 19.5f, 14.5f, 19.5f, 14.5f, 22.5f, 9.5f, 22.5f, g, 0));
    EXPECT_EQ(-1, DrawGraphicQuad(9.5f, 19.5f, 3e9f, 19.5f, 14.5f, 22.5f, 9.5f, 22.5f, g, 0));
    EXPECT_EQ(-1, DrawGraphicPartStretchedF(9.5f, 19.5f, INFINITY, 22.5f, 0, 0, 5, 3, g, 0));
    // A radius the software renderer's circle walk cannot take.
    EXPECT_EQ(-1, DrawCircle(10 - 0x7FFFFFFF, 20, 0x7FFFFFFF, PackScreenColor(255, 255, 255), 1));
    EXPECT_TRUE(NonBlack().empty());
}

TEST_F(SoftQuad, ThinBoxOutlinesDrawEachPixelOnce) {
    // Adding writes the colour once per write: one-pixel bands once each, and
    // a 1 x 1 box its pixel.
    const uint32_t c = PackScreenColor(0x21, 0x20, 0x21);
    int r, gr, b;
    UnpackScreenColor(c, &r, &gr, &b);
    const uint32_t once = (uint32_t)(r << 16 | gr << 8 | b);
    ClearScreen();
    SetBlendModeParam(DX_BLENDMODE_ADD, 255);
    DrawBox(10, 10, 11, 20, c, 0);
    DrawBox(20, 10, 30, 11, c, 0);
    DrawBox(40, 10, 41, 11, c, 0);
    DrawBox(50, 10, 52, 14, c, 0);
    SetBlendModeParam(DX_BLENDMODE_NOBLEND, 255);
    Capture cap;
    for (int y = 10; y < 20; y++) EXPECT_EQ(once, cap.At(10, y)) << y;
    for (int x = 20; x < 30; x++) EXPECT_EQ(once, cap.At(x, 10)) << x;
    EXPECT_EQ(once, cap.At(40, 10));
    for (int y = 10; y < 14; y++)
        for (int x = 50; x < 52; x++) EXPECT_EQ(once, cap.At(x, y)) << x << "," << y;
}

// The 5 x 3 graphic unscaled, its corners moved by a fraction f, by each float
// draw; the last case is the quad turned a quarter.
const float kFractions[] = {0.0f, 0.2f, 0.5f, 0.7f};
const int kFloatDraws = 2 * 4 + 1;

int FloatDraw(int i, int g) {
    if (i == 2 * 4) return DrawFiveByThreeTurned(g);
    const float l = 10 + kFractions[i / 2], t = 20 + kFractions[i / 2], r = l + 5, b = t + 3;
    if (i % 2) return DrawGraphicPartStretchedF(l, t, r, b, 0, 0, 5, 3, g, 0);
    return DrawGraphicQuad(l - 0.5f, t - 0.5f, r - 0.5f, t - 0.5f, r - 0.5f, b - 0.5f, l - 0.5f, b - 0.5f, g, 0);
}

// Float corners land on the same pixels in both modes (the turned quad one
// column apart).
TEST(QuadBothModes, LandsOnTheSamePixels) {
    PixelSet drawn[2][kFloatDraws];
    for (int hardware = 0; hardware < 2; hardware++) {
        SetUseHardwareRendering(hardware);
        ChangeWindowMode(1);
        SetGraphMode(640, 480, 16, 60);
        SetAlwaysRunFlag(1);
        ASSERT_EQ(InitLibrarySystems(), 0);
        ASSERT_EQ(GraphicsUsesD3D(), hardware);
        const int g = MakeCountingGraphic(5, 3);
        for (int i = 0; i < kFloatDraws; i++) {
            ClearScreen();
            EXPECT_EQ(0, FloatDraw(i, g));
            drawn[hardware][i] = NonBlack();
        }
        EndLibrarySystems();
    }
    SetUseHardwareRendering(1);
    SetAlwaysRunFlag(0);
    for (int i = 0; i < kFloatDraws; i++) {
        PixelSet soft = drawn[0][i];
        EXPECT_EQ(15u, soft.size()) << i;
        if (i == 2 * 4) {
            soft.clear();
            for (const auto& px : drawn[0][i]) soft.insert({px.first - 1, px.second});
        }
        EXPECT_EQ(drawn[1][i], soft) << (i % 2 ? "stretched" : "quad") << ", fraction " << kFractions[i / 2 % 4];
    }
}

}  // namespace
