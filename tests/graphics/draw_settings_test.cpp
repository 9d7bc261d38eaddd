// Drawing state and screen colours; nothing here starts the engine.
#include <gtest/gtest.h>

#include "engine/graphics/draw_settings.h"
#include "engine/graphics/texture_format.h"
#include "engine/image/pixel_format.h"

namespace {

struct ScreenDepth {
    explicit ScreenDepth(int bits) : saved(GScreenMode) { GScreenMode.color_depth = bits; }
    ~ScreenDepth() { GScreenMode = saved; }
    ScreenMode saved;
};

TEST(ScreenColor, SixteenBitRoundTripKeepsEveryValueAndWhite) {
    ScreenDepth depth(16);
    for (uint32_t c = 0; c < 0x10000; c++) {
        int r, g, b;
        UnpackScreenColor(c, &r, &g, &b);
        ASSERT_EQ(PackScreenColor(r, g, b), c) << c;
    }
    int r, g, b;
    EXPECT_EQ(PackScreenColor(255, 255, 255), 0xFFFFu);
    UnpackScreenColor(0xFFFF, &r, &g, &b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 255);
    EXPECT_EQ(b, 255);
    EXPECT_EQ(PackScreenColor(255, 0, 0), 0xF800u);
    EXPECT_EQ(PackScreenColor(0, 255, 0), 0x07E0u);
    EXPECT_EQ(PackScreenColor(0, 0, 255), 0x001Fu);
    // Out-of-range channels are clamped, never spill into a neighbour.
    EXPECT_EQ(PackScreenColor(300, -5, 0), 0xF800u);
    UnpackScreenColor(0x8410, &r, &g, &b);  // 16, 32, 16: top bits repeated below
    EXPECT_EQ(r, 0x84);
    EXPECT_EQ(g, 0x82);
    EXPECT_EQ(b, 0x84);
}

TEST(ScreenColor, ThirtyTwoBitSetsTheFourthByte) {
    ScreenDepth depth(32);
    EXPECT_EQ(PackScreenColor(0x12, 0x34, 0x56), 0xFF123456u);
    int r, g, b;
    UnpackScreenColor(0xFF123456u, &r, &g, &b);
    EXPECT_EQ(r, 0x12);
    EXPECT_EQ(g, 0x34);
    EXPECT_EQ(b, 0x56);
    EXPECT_EQ(GetScreenColorDepth(), 32);
}

TEST(DrawState, DrawAreaIsWellFormedAndCutToTheScreen) {
    DrawSettings saved = GDrawSettings;
    SetDrawArea(-10, 20, 700, 500);
    EXPECT_EQ(GDrawSettings.draw_area.left, 0);
    EXPECT_EQ(GDrawSettings.draw_area.top, 20);
    EXPECT_EQ(GDrawSettings.draw_area.right, 640);
    EXPECT_EQ(GDrawSettings.draw_area.bottom, 480);
    SetDrawArea(100, 200, 50, 150);  // reversed: collapses, never negative
    EXPECT_EQ(GDrawSettings.draw_area.left, 100);
    EXPECT_EQ(GDrawSettings.draw_area.right, 100);
    EXPECT_EQ(GDrawSettings.draw_area.top, 200);
    EXPECT_EQ(GDrawSettings.draw_area.bottom, 200);
    SetDrawArea(800, 600, 900, 700);  // wholly outside: empty on the edge
    EXPECT_EQ(GDrawSettings.draw_area.left, 640);
    EXPECT_EQ(GDrawSettings.draw_area.right, 640);
    GDrawSettings = saved;
}

TEST(DrawState, BrightIsStoredBlueGreenRedAndClamped) {
    DrawSettings saved = GDrawSettings;
    SetDrawBright(300, 128, -4);
    EXPECT_EQ(GDrawSettings.bright[0], 0);
    EXPECT_EQ(GDrawSettings.bright[1], 128);
    EXPECT_EQ(GDrawSettings.bright[2], 255);
    EXPECT_EQ(GDrawSettings.bright[3], 0);
    EXPECT_FALSE(DrawBrightIsWhite(GDrawSettings));
    SetDrawBrightPacked(0xAB102030);  // top byte ignored
    EXPECT_EQ(DrawBrightValue(GDrawSettings), 0x102030u);
    SetDrawBrightPacked(0xFFFFFF);
    EXPECT_TRUE(DrawBrightIsWhite(GDrawSettings));
    SetBlendModeParam(DX_BLENDMODE_ADD, 400);
    EXPECT_EQ(GDrawSettings.blend_mode, DX_BLENDMODE_ADD);
    EXPECT_EQ(GDrawSettings.blend_param, 255);
    SetBlendModeParam(DX_BLENDMODE_ALPHA, -1);
    EXPECT_EQ(GDrawSettings.blend_param, 0);
    GDrawSettings = saved;
}

TEST(DrawState, FilterModeStaysWhileDrawingIsSuppressed) {
    DrawSettings saved = GDrawSettings;
    GDrawSettings.filter_mode = 0;
    GDrawSettings.draw_suppressed = 1;
    SetDrawFilterMode(1);
    EXPECT_EQ(GDrawSettings.filter_mode, 0);
    GDrawSettings.draw_suppressed = 0;
    SetDrawFilterMode(1);
    EXPECT_EQ(GDrawSettings.filter_mode, 1);
    GDrawSettings = saved;
}

TEST(TextureFormat, SixteenBitAlphaFieldsFollowTheFlags) {
    EXPECT_EQ(SelectTextureFormatByFlags(1, 0, 0, 0)->alpha_width, 4);
    EXPECT_EQ(SelectTextureFormatByFlags(0, 1, 0, 0)->alpha_width, 1);
    EXPECT_EQ(SelectTextureFormatByFlags(0, 0, 0, 0)->bytes_per_pixel, 2);
    EXPECT_EQ(SelectTextureFormatByFlags(1, 0, 1, 0)->alpha_width, 8);
    EXPECT_EQ(SelectTextureFormatByFlags(0, 0, 0, 1)->alpha_width, 0);
}

}  // namespace
