// Which source column each destination pixel of a stretched draw shows, under
// general and fast-copy stepping, mirrored and clipped.
#include <gtest/gtest.h>
#include <vector>
#include "blit_harness.h"
#include "engine/graphics/draw_settings.h"
#include "engine/softrender/blit.h"

namespace {

// Stretches a one-row source of sw pixels into (x1, 0)-(x2, 1) of a 16-pixel
// row under the given area. Fast stepping: a plain direct copy; general: an
// alpha source of alpha 255 under the transparent flag (drawn whole all the
// same). -1 marks a pixel left alone.
std::vector<int> Columns(int sw, int x1, int x2, bool fast, int area_left = 0, int area_right = 16) {
    ImageLayout ss;
    ss.width = sw;
    ss.kind = fast ? KIND_DIRECT : KIND_ALPHA;
    ss.key = 0xFFFFFFFF;
    TestImage src(ss);
    for (int x = 0; x < sw; x++) src.Set(x, 0, 0xFF000000u | (uint32_t)(x + 1));
    ImageLayout ds;
    ds.width = 16;
    TestImage dst(ds);
    dst.Fill(0);
    ResetDrawSettings(16, 1);
    GDrawSettings.draw_area = Rect{area_left, 0, area_right, 1};
    Rect rc = {x1, 0, x2, 1};
    DrawMemImgStretched(&dst.img, &src.img, &rc, fast ? 0 : 1, nullptr);
    std::vector<int> out;
    int hi = x1 > x2 ? x1 : x2;
    for (int x = 0; x < hi && x < 16; x++) out.push_back((int)(dst.Get(x, 0) & 0xFFFF) - 1);
    return out;
}

typedef std::vector<int> V;

}  // namespace

TEST(BlitStretchSteps, EnlargementSamplesTheSameUnderBothRules) {
    for (bool fast : {false, true}) {
        EXPECT_EQ(Columns(1, 0, 5, fast), (V{0, 0, 0, 0, 0})) << fast;
        EXPECT_EQ(Columns(2, 0, 5, fast), (V{0, 0, 0, 1, 1})) << fast;
        EXPECT_EQ(Columns(3, 0, 7, fast), (V{0, 0, 0, 1, 1, 2, 2})) << fast;
    }
}

TEST(BlitStretchSteps, HalvingDiffersBetweenRules) {
    EXPECT_EQ(Columns(8, 0, 4, false), (V{0, 2, 4, 6}));
    EXPECT_EQ(Columns(8, 0, 4, true), (V{0, 1, 3, 5}));
    EXPECT_EQ(Columns(8, 4, 0, false), (V{7, 5, 3, 1}));
    EXPECT_EQ(Columns(8, 4, 0, true), (V{7, 6, 4, 2}));
    EXPECT_EQ(Columns(6, 0, 4, false), (V{0, 1, 3, 4}));
    EXPECT_EQ(Columns(6, 0, 4, true), (V{0, 1, 3, 4}));   // no advance lands on 0
}

TEST(BlitStretchSteps, ClippedColumnsContinueTheUnclippedWalk) {
    // Left column clipped: start column 2, accumulator 32768.
    EXPECT_EQ(Columns(8, 0, 4, false, 1), (V{-1, 2, 4, 6}));
    EXPECT_EQ(Columns(8, 4, 0, false, 1), (V{-1, 5, 3, 1}));
    // The fast copy restarts from the clip: not the tail of 0, 1, 3, 5.
    EXPECT_EQ(Columns(8, 0, 4, true, 1), (V{-1, 2, 3, 5}));
    // Right column clipped.
    EXPECT_EQ(Columns(8, 0, 4, false, 0, 3), (V{0, 2, 4, -1}));
    EXPECT_EQ(Columns(8, 4, 0, false, 0, 3), (V{7, 5, 3, -1}));
    // 4 into 8 with three columns clipped at the left.
    EXPECT_EQ(Columns(4, 0, 8, false, 3), (V{-1, -1, -1, 1, 2, 2, 3, 3}));
}

TEST(BlitStretchSteps, SameSizeMirroredReversesColumns) {
    EXPECT_EQ(Columns(4, 4, 0, false), (V{3, 2, 1, 0}));
    EXPECT_EQ(Columns(4, 4, 0, true), (V{3, 2, 1, 0}));
}

TEST(BlitStretchSteps, RowsStepLikeColumns) {
    ImageLayout ss;
    ss.height = 8;
    TestImage src(ss);
    for (int y = 0; y < 8; y++) src.Set(0, y, (uint32_t)y + 1);
    for (bool mirrored : {false, true}) {
        ImageLayout ds;
        ds.height = 4;
        TestImage dst(ds);
        ResetDrawSettings(1, 4);
        GDrawSettings.blend_mode = 4;   // multiply: general stepping
        dst.Fill(0xFFFFFFFF);
        Rect rc = mirrored ? Rect{0, 4, 1, 0} : Rect{0, 0, 1, 4};
        DrawMemImgStretched(&dst.img, &src.img, &rc, 0, nullptr);
        V rows;
        for (int y = 0; y < 4; y++) rows.push_back((int)(dst.Get(0, y) & 0xFF));
        // (255 * (n + 1)) >> 8 = n for n + 1 < 256
        EXPECT_EQ(rows, mirrored ? (V{7, 5, 3, 1}) : (V{0, 2, 4, 6}));
    }
}

TEST(BlitStretchSteps, ZeroExtentOrOutsideDrawsNothing) {
    EXPECT_EQ(Columns(4, 3, 3, false), (V{-1, -1, -1}));
    EXPECT_EQ(Columns(4, 0, 8, false, 8, 16), (V(8, -1)));
    EXPECT_EQ(Columns(4, -20, -10, true), V{});
}

TEST(BlitStretchSteps, AlphaSourceCopyBlendsByAlphaWithoutTransparentFlag) {
    ImageLayout ss;
    ss.kind = KIND_ALPHA;
    ss.width = 2;
    TestImage src(ss);
    src.Set(0, 0, 0x00FFFFFF);
    src.Set(1, 0, 0xFF804020);
    ImageLayout ds;
    ds.width = 4;
    TestImage dst(ds);
    dst.Fill(0x77102030);
    ResetDrawSettings(4, 1);
    Rect rc = {0, 0, 4, 1};
    DrawMemImgStretched(&dst.img, &src.img, &rc, 0, nullptr);
    EXPECT_EQ(dst.Get(0, 0), 0x77102030u);   // alpha 0: unchanged
    EXPECT_EQ(dst.Get(1, 0), 0x77102030u);
    // alpha 255: d + (((s - d) * 255) >> 8) per channel, byte 3 left alone.
    uint32_t want = 0x77000000u | (uint32_t)((0x10 + (((0x80 - 0x10) * 255) >> 8)) << 16) |
                    (uint32_t)((0x20 + (((0x40 - 0x20) * 255) >> 8)) << 8) | (uint32_t)(0x30 + ((-0x10 * 255) >> 8));
    EXPECT_EQ(dst.Get(2, 0), want);
    EXPECT_EQ(dst.Get(3, 0), want);
}
