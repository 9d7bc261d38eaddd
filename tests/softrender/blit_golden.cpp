// Golden pixels: the worked examples of the per-pixel operations, each checked
// on the fast path itself.
#include <gtest/gtest.h>
#include <vector>
#include "blit_harness.h"
#include "engine/graphics/draw_settings.h"
#include "engine/softrender/blit.h"

namespace {

struct Row {
    int type = 1;
    int kind = KIND_DIRECT;
    std::vector<uint32_t> src, dst;
    uint32_t key = 0;
    int trans = 0;
    bool runs = false;      // give the source codes (taken with trans 1)
};

// The row's source and destination as one-row images of its width.
struct RowImages {
    TestImage src, dst;
    explicit RowImages(const Row& r)
        : src(LayoutOf(r.type, r.kind, (int)r.src.size(), 1, r.key, r.runs)),
          dst(LayoutOf(r.type, KIND_DIRECT, (int)r.src.size(), 1)) {
        for (size_t x = 0; x < r.src.size(); x++) {
            src.Set((int)x, 0, r.src[x]);
            dst.Set((int)x, 0, r.dst[x]);
        }
        src.BuildRuns();
    }
};

// Draws a one-row source over a one-row destination of the same width at (0, 0).
std::vector<uint32_t> DrawRow(const Row& r, int mode, int p) {
    int w = (int)r.src.size();
    RowImages im(r);
    ResetDrawSettings(w, 1);
    GDrawSettings.blend_mode = mode;
    GDrawSettings.blend_param = p;
    DrawMemImg(&im.dst.img, &im.src.img, 0, 0, r.trans, nullptr);
    std::vector<uint32_t> out;
    for (int x = 0; x < w; x++) out.push_back(im.dst.Get(x, 0));
    return out;
}

uint32_t Rgb16(int r, int g, int b) { return (uint32_t)(r << 11 | g << 5 | b); }

}  // namespace

TEST(BlitGolden, Alpha32HalvesAtP128AndLerpsAtP127) {
    Row r;
    r.src = {0x00FFFFFF};
    r.dst = {0xAB000000};
    EXPECT_EQ(DrawRow(r, 1, 128)[0], 0x007F7F7Fu);   // halving clears byte 3
    EXPECT_EQ(DrawRow(r, 1, 127)[0], 0xAB7E7E7Eu);   // (255 * 127) >> 8 = 126, byte 3 kept
}

TEST(BlitGolden, Add32UnscaledSaturatesAndCarriesIntoByte3) {
    Row r;
    r.src = {0x00C8C8C8};
    r.dst = {0x00646464};
    EXPECT_EQ(DrawRow(r, 2, 255)[0], 0x01FFFFFFu);
}

TEST(BlitGolden, Add32ScaledKeepsLowBits) {
    // Red 255, green 128, blue 64 plus red 16, green 32, blue 48: the run-length
    // path always takes the scaled form (M[255][s] = s, with the OR term).
    Row r;
    r.src = {0x00102030};
    r.dst = {0x00FF8040};
    r.runs = true;
    r.trans = 1;
    r.key = 0x12345678;
    EXPECT_EQ(DrawRow(r, 2, 255)[0], 0x01FFA070u);
    // Green 0x80 + 0x80 saturates.
    r.src = {0x00008000};
    r.dst = {0x00008000};
    EXPECT_EQ(DrawRow(r, 2, 255)[0] & 0xFF00u, 0xFF00u);
}

TEST(BlitGolden, Sub32OfZeroSetsLowBitsOfGreenAndRed) {
    Row r;
    r.src = {0x00000000};
    r.dst = {0x7F102233};   // red 16, green 34, blue 51
    EXPECT_EQ(DrawRow(r, 3, 255)[0], 0x00112333u);
}

TEST(BlitGolden, Mul) {
    Row r;
    r.src = {0x00FFFFFF};
    r.dst = {0x55FFFFFF};
    EXPECT_EQ(DrawRow(r, 4, 0)[0], 0x55FEFEFEu);     // p unused, byte 3 kept
    Row h;
    h.type = 0;
    h.src = {Rgb16(31, 0, 0)};
    h.dst = {Rgb16(31, 0, 0)};
    EXPECT_EQ(DrawRow(h, 4, 0)[0], Rgb16(30, 0, 0));
}

TEST(BlitGolden, MulWithAlphaSource) {
    // Alpha 0 pixels: untouched under the transparent flag on both paths,
    // black without it.
    for (int type = 0; type < 2; type++) {
        Row r;
        r.type = type;
        r.kind = KIND_ALPHA;
        uint32_t white = type ? 0xFFFFFFFFu : 0xFFFFu;
        r.src = {type ? 0x00FFFFFFu : 0x0000FFFFu, type ? 0x00FFFFFFu : 0x0000FFFFu};
        r.dst = {white, white};
        r.trans = 1;
        EXPECT_EQ(DrawRow(r, 4, 0), r.dst) << "per pixel, type " << type;
        r.runs = true;
        EXPECT_EQ(DrawRow(r, 4, 0), r.dst) << "run-length, type " << type;
        r.runs = false;
        r.trans = 0;
        uint32_t black = type ? 0xFF000000u : 0;
        EXPECT_EQ(DrawRow(r, 4, 0), (std::vector<uint32_t>{black, black})) << "type " << type;
    }
}

TEST(BlitGolden, CopyOfAlphaSourceIgnoresAlphaOnlyWithoutBright) {
    Row r;
    r.kind = KIND_ALPHA;
    r.src = {0x00102030, 0x80FFFFFF};
    r.dst = {0x11223344, 0x22000000};
    EXPECT_EQ(DrawRow(r, 0, 0), r.src);   // whole pixels, alpha byte included
    ResetDrawSettings(2, 1);
    RowImages im(r);
    SetBright(255, 255, 254);   // blue 254: now blended by alpha
    DrawMemImg(&im.dst.img, &im.src.img, 0, 0, 0, nullptr);
    EXPECT_EQ(im.dst.Get(0, 0), 0x11223344u);   // alpha 0: d + 0
    // alpha 128 over 0: blue M[254][255] = 254 -> (254 * 128) >> 8 = 127; green, red 127; byte 3 kept.
    EXPECT_EQ(im.dst.Get(1, 0), 0x227F7F7Fu);
}

TEST(BlitGolden, TransparentPixelStaysTransparentUnderBright) {
    for (int type = 0; type < 2; type++) {
        Row r;
        r.type = type;
        r.key = type ? 0x00000000u : 0x0000;
        r.src = {r.key, 0x1234};
        r.dst = {0x4321, 0x4321};
        r.trans = 1;
        ResetDrawSettings(2, 1);
        RowImages im(r);
        // Bright 0 makes every drawn pixel black, still the key pixel is skipped.
        SetBright(0, 0, 0);
        DrawMemImg(&im.dst.img, &im.src.img, 0, 0, 2, nullptr);
        EXPECT_EQ(im.dst.Get(0, 0), 0x4321u);
        EXPECT_EQ(im.dst.Get(1, 0) & (type ? 0xFFFFFFu : 0xFFFFu), 0u);
    }
}

TEST(BlitGolden, Key32ComparesByte3) {
    Row r;
    r.key = 0x00ABCDEF;
    r.src = {0x00ABCDEF, 0x01ABCDEF};
    r.dst = {0, 0};
    r.trans = 1;
    EXPECT_EQ(DrawRow(r, 0, 0), (std::vector<uint32_t>{0, 0x01ABCDEF}));
}

TEST(BlitGolden, Alpha16UsesLerpTableOnlyInThePerPixelPath) {
    Row r;
    r.type = 0;
    r.src = {Rgb16(31, 0, 0)};
    r.dst = {0};
    EXPECT_EQ(DrawRow(r, 1, 100)[0], Rgb16(12, 0, 0));   // (25 * 31) / 63
    EXPECT_EQ(DrawRow(r, 1, 254)[0], Rgb16(31, 0, 0));   // block 63
    r.runs = true;
    r.trans = 1;
    r.key = 0xFFFF;
    EXPECT_EQ(DrawRow(r, 1, 254)[0], Rgb16(30, 0, 0));   // 0 + S[254][31]
}

TEST(BlitGolden, Add16GreenSaturatesTo62Or63) {
    Row r;
    r.type = 0;
    r.src = {Rgb16(0, 32, 0)};
    r.dst = {Rgb16(0, 32, 0)};
    EXPECT_EQ((DrawRow(r, 2, 255)[0] >> 5) & 63, 62u);
    r.src = {Rgb16(0, 32, 16)};
    r.dst = {Rgb16(0, 32, 16)};
    EXPECT_EQ((DrawRow(r, 2, 255)[0] >> 5) & 63, 63u);   // blue overflowed
}

// The pair form of the 16-bit unscaled add and subtract: the right pixel's
// lowest blue bit belongs to its neighbour's red carry (or borrow), and its
// own lowest source blue bit is masked out. Kept on purpose.
TEST(BlitGolden, PairFormArtefactOf16BitAddAndSubtract) {
    Row r;
    r.type = 0;
    r.key = 0xFFFF;
    r.trans = 2;
    // Left red saturates: its carry lands in the right pixel's blue bit 0.
    r.src = {Rgb16(31, 0, 0), Rgb16(0, 0, 0)};
    r.dst = {Rgb16(31, 0, 0), Rgb16(0, 0, 0)};
    EXPECT_EQ(DrawRow(r, 2, 255), (std::vector<uint32_t>{Rgb16(31, 0, 0), Rgb16(0, 0, 1)}));
    // Right source blue 1 is masked out in the pair, added when drawn alone.
    r.src = {Rgb16(0, 0, 0), Rgb16(0, 0, 1)};
    r.dst = {0, 0};
    EXPECT_EQ(DrawRow(r, 2, 255), (std::vector<uint32_t>{0, 0}));
    r.src = {0xFFFF, Rgb16(0, 0, 1)};   // left is the key: the right goes alone
    EXPECT_EQ(DrawRow(r, 2, 255), (std::vector<uint32_t>{0, Rgb16(0, 0, 1)}));
    // An odd last pixel goes alone too.
    r.src = {0, 0, Rgb16(0, 0, 1)};
    r.dst = {0, 0, 0};
    EXPECT_EQ(DrawRow(r, 2, 255), (std::vector<uint32_t>{0, 0, Rgb16(0, 0, 1)}));
    // Subtract: the right pixel's blue sees the left red's borrow.
    r.src = {Rgb16(2, 0, 0), Rgb16(0, 0, 0)};
    r.dst = {Rgb16(0, 0, 0), Rgb16(0, 0, 5)};
    // (Subtracting zero sets the red field's lowest bit, as in 32-bit.)
    EXPECT_EQ(DrawRow(r, 3, 255)[1], Rgb16(1, 0, 4));
    r.src = {0xFFFF, Rgb16(0, 0, 0)};
    EXPECT_EQ(DrawRow(r, 3, 255)[1], Rgb16(1, 0, 5));
}

TEST(BlitGolden, PaletteSourceSubtractsAtP0) {
    TestImage src(LayoutOf(1, KIND_PALETTE, 1, 1));
    src.Set(0, 0, 7);
    for (int i = 0; i < 4; i++) src.palette[7 * 4 + i] = 0xFF;
    TestImage dst(LayoutOf(1, KIND_DIRECT, 1, 1));
    dst.Set(0, 0, 0x7F102233);
    ResetDrawSettings(1, 1);
    GDrawSettings.blend_mode = 3;
    GDrawSettings.blend_param = 0;
    DrawMemImg(&dst.img, &src.img, 0, 0, 0, nullptr);
    EXPECT_EQ(dst.Get(0, 0), 0x00112333u);   // zero strength: low bits set, byte 3 cleared
    TestImage dst2(LayoutOf(1, KIND_DIRECT, 1, 1));
    dst2.Set(0, 0, 0x7F102233);
    TestImage direct(LayoutOf(1, KIND_DIRECT, 1, 1));
    direct.Set(0, 0, 0x00FFFFFF);
    DrawMemImg(&dst2.img, &direct.img, 0, 0, 0, nullptr);
    EXPECT_EQ(dst2.Get(0, 0), 0x7F102233u);  // a direct source draws nothing at p = 0
}

TEST(BlitGolden, KeysOutOfTheSourcesRangeNeverMatch) {
    // Every body compares the whole key, the plain copies included: a palette key
    // of 0x105 or a 16-bit key of 0x1ABCD hides nothing, whatever the bright.
    TestImage pal(LayoutOf(1, KIND_PALETTE, 1, 1, 0x105));
    pal.Set(0, 0, 5);
    for (int i = 0; i < 4; i++) pal.palette[5 * 4 + i] = 0x40;
    TestImage word(LayoutOf(0, KIND_DIRECT, 1, 1, 0x1ABCD));
    word.Set(0, 0, 0xABCD);
    Rect rc = {0, 0, 2, 1};
    for (int bright = 0; bright < 2; bright++) {
        ResetDrawSettings(2, 1);
        if (bright) SetBright(255, 255, 254);
        TestImage d32(LayoutOf(1, KIND_DIRECT, 2, 1)), d16(LayoutOf(0, KIND_DIRECT, 2, 1));
        d32.Fill(0);
        d16.Fill(0);
        DrawMemImg(&d32.img, &pal.img, 0, 0, 1, nullptr);
        DrawMemImgStretched(&d16.img, &word.img, &rc, 1, nullptr);
        EXPECT_NE(d32.Get(0, 0), 0u) << bright;
        EXPECT_NE(d16.Get(1, 0), 0u) << bright;
    }
}

TEST(BlitGolden, KeyOutOfThePixelsRangeMatchesNothingOnEitherPath) {
    // Run codes once cut the key to the pixel's width and skipped these pixels.
    struct Case { int kind; uint32_t pixel, key; } cases[] = {{KIND_DIRECT, 0x1234, 0x00011234}, {KIND_PALETTE, 0x34, 0x134}};
    for (const Case& c : cases) {
        for (int trans : {1, 2}) {  // 1 replays the run codes, 2 tests each pixel
            Row r;
            r.type = 0;
            r.kind = c.kind;
            r.src = {c.pixel, c.pixel};
            r.dst = {0, 0};
            r.key = c.key;
            r.runs = true;
            RowImages im(r);
            if (im.src.palette) im.src.palette[2 * 0x34] = 0x34, im.src.palette[2 * 0x34 + 1] = 0x12;
            ASSERT_EQ(0, MemImageBuildRunCodes(&im.src.img));  // the loader's codes, not the test's
            ResetDrawSettings(2, 1);
            DrawMemImg(&im.dst.img, &im.src.img, 0, 0, trans, nullptr);
            EXPECT_EQ(0x1234u, im.dst.Get(0, 0)) << "kind " << c.kind << " trans " << trans;
            EXPECT_EQ(0x1234u, im.dst.Get(1, 0)) << "kind " << c.kind << " trans " << trans;
        }
    }
}

TEST(BlitGolden, OpaqueAlphaPixelAddsUnscaledAtP255) {
    // Alpha 255 under the transparent flag drops the factor a, leaving p alone:
    // the per-pixel path adds as for a plain black pixel (no low-bit OR term).
    Row r;
    r.kind = KIND_ALPHA;
    r.src = {0xFF000000u};
    r.dst = {0x00000100u};
    r.trans = 2;
    EXPECT_EQ(0x00000000u, DrawRow(r, 2, 255)[0]);
    Row plain = r;
    plain.kind = KIND_DIRECT;
    plain.src = {0x00000000u};
    plain.key = 0x12345678;
    EXPECT_EQ(0x00000000u, DrawRow(plain, 2, 255)[0]);
    // Below 255 the scaled add keeps its OR term.
    EXPECT_EQ(0x00000100u, DrawRow(r, 2, 254)[0]);
}
