#include <gtest/gtest.h>

#include "engine/softrender/shapes.h"
#include "softrender/ref_shape_canvas.h"

namespace {

// Which pixels hold `v` form exactly the rectangle [l, r) x [t, b).
::testing::AssertionResult FilledExactly(const ShapeCanvas& c, uint32_t v, int l, int t, int r, int b) {
    for (int y = 0; y < c.height(); y++)
        for (int x = 0; x < c.width(); x++) {
            const bool inside = x >= l && x < r && y >= t && y < b;
            if ((c.Get(x, y) == v) != inside)
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") " << (inside ? "not " : "")
                                                     << "filled";
        }
    if (!c.RingIntact()) return ::testing::AssertionFailure() << "wrote outside the image";
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(ShapeRect, NullRectFillsTheViewUnderTheDrawArea) {
    ShapeCanvas c(100, 50, 1);
    // The area reaches past the image: only the image's part of it is filled.
    ShapeSettingsScope scope(AreaOf(10, 10, 640, 480));
    FillMemImgRect(c.img(), nullptr, 0xFF00FF00u);
    EXPECT_TRUE(FilledExactly(c, 0xFF00FF00u, 10, 10, 100, 50));
}

TEST(ShapeRect, CornersInEitherOrderAndEmptyRects) {
    ShapeCanvas c(32, 32, 0);
    ShapeSettingsScope scope(AreaOf(0, 0, 32, 32));
    const Rect reversed{10, 20, 5, 8};
    FillMemImgRect(c.img(), &reversed, 0x1234);
    EXPECT_TRUE(FilledExactly(c, 0x1234, 5, 8, 10, 20));
    c.Fill(0);
    const Rect ordered{5, 8, 10, 20};
    FillMemImgRect(c.img(), &ordered, 0x1234);
    EXPECT_TRUE(FilledExactly(c, 0x1234, 5, 8, 10, 20));
    c.Fill(0);
    const Rect empties[] = {{5, 5, 5, 9}, {5, 9, 9, 9}, {-10, -10, -1, 40}, {40, 0, 50, 10}, {0, 32, 32, 40}};
    for (const Rect& r : empties) FillMemImgRect(c.img(), &r, 0x1234);
    EXPECT_TRUE(FilledExactly(c, 0x1234, 0, 0, 0, 0));
}

TEST(ShapeRect, OverhangFillsExactlyTheDrawArea) {
    ShapeCanvas c(40, 30, 1);
    ShapeSettingsScope scope(AreaOf(3, 4, 37, 25));
    const Rect big{-100, -100, 1000, 1000};
    FillMemImgRect(c.img(), &big, 0x80402010u);
    EXPECT_TRUE(FilledExactly(c, 0x80402010u, 3, 4, 37, 25));
}

TEST(ShapeRect, SixteenBitOddWidthsStopAtTheRowEnd) {
    for (int left = 0; left < 3; left++)
        for (int w = 1; w <= 5; w++) {
            ShapeCanvas c(8, 3, 0, 1);
            ShapeSettingsScope scope(AreaOf(0, 0, 8, 3));
            const Rect r{left, 1, left + w, 2};
            FillMemImgRect(c.img(), &r, 0xBEEF);
            EXPECT_TRUE(FilledExactly(c, 0xBEEF, left, 1, left + w, 2)) << left << " " << w;
        }
}

TEST(ShapeRect, SixteenBitColourUpperBitsAreIgnored) {
    // A paired store of an unmasked colour would put 0xABCD into every second pixel.
    for (int mode : {0, 1, 2, 4}) {
        ShapeCanvas a(7, 2, 0), b(7, 2, 0);
        a.FillRandom(5);
        b.FillRandom(5);
        ShapeSettingsScope scope(AreaOf(0, 0, 7, 2, mode, mode == 0 ? 255 : 100));
        FillMemImgRect(a.img(), nullptr, 0xABCD0000u | 0x39E7u);
        FillMemImgRect(b.img(), nullptr, 0x39E7u);
        EXPECT_EQ("", a.DiffFrom(b.ToRef())) << "mode " << mode;
    }
}

TEST(ShapeRect, RefusedDestinationsStayUntouched) {
    ShapeSettingsScope scope(AreaOf(0, 0, 8, 8));
    for (int type = 0; type <= 3; type++)
        for (int flag = 0; flag < 3; flag++) {
            if (type <= 1 && flag == 0) continue;  // the drawable ones
            ShapeCanvas c(8, 8, type);
            c.FillRandom(9);
            RefImage before = c.ToRef();
            if (flag == 1) c.shared().palette_flag = 1;
            if (flag == 2) c.shared().alpha_flag = 1;
            FillMemImgRect(c.img(), nullptr, 0xFFFFFFFFu);
            DrawMemImgLine(c.img(), 0, 0, 8, 8, 0xFFFFFFFFu);
            DrawMemImgCircle(c.img(), 4, 4, 3, 0xFFFFFFFFu, 0);
            DrawMemImgCircle(c.img(), 4, 4, 3, 0xFFFFFFFFu, 1);
            EXPECT_EQ(0, c.CountChanged(before)) << "type " << type << " flag " << flag;
            EXPECT_TRUE(c.RingIntact());
        }
    // Null images and a bad magic are refused too.
    FillMemImgRect(nullptr, nullptr, 0);
    DrawMemImgLine(nullptr, 0, 0, 5, 5, 0);
    DrawMemImgCircle(nullptr, 0, 0, 5, 0, 1);
    ShapeCanvas c(8, 8, 1);
    c.img()->magic = 0;
    FillMemImgRect(c.img(), nullptr, 0xFFFFFFFFu);
    c.img()->magic = MEMIMG_MAGIC;
    EXPECT_EQ(0u, c.Get(0, 0));
}

TEST(ShapeRect, RandomRectsAreasAndModesMatchReference) {
    ShapeRng rng(21);
    const int modes[] = {0, 1, 2, 3, 4, 10, 11, 6};
    for (int type = 0; type <= 1; type++)
        for (int i = 0; i < 1500; i++) {
            const int w = rng.Range(1, 24), h = rng.Range(1, 24);
            ShapeCanvas c(w, h, type);
            c.FillRandom(rng.Next());
            RefSettings s = AreaOf(rng.Range(-4, w), rng.Range(-4, h), rng.Range(-2, w + 4), rng.Range(-2, h + 4),
                                   modes[rng.Range(0, 7)], rng.Range(0, 3) == 0 ? 255 : rng.Range(0, 255));
            if (rng.Range(0, 3) == 0) s.bright_r = rng.Range(0, 255);
            const uint32_t col = rng.Next() ^ rng.Next() << 16;
            int64_t r[4] = {rng.Range(-8, w + 8), rng.Range(-8, h + 8), rng.Range(-8, w + 8), rng.Range(-8, h + 8)};
            if (rng.Range(0, 5) == 0) r[2] = r[0];  // zero width
            const bool whole = rng.Range(0, 6) == 0;
            const Rect rr{(int32_t)r[0], (int32_t)r[1], (int32_t)r[2], (int32_t)r[3]};
            ASSERT_EQ("", DrawBothWays(c, s, [&](RefImage& ref) { RefFillRect(ref, s, whole ? nullptr : r, col); },
                                       [&](MEMIMG* img) { FillMemImgRect(img, whole ? nullptr : &rr, col); }))
                << "case " << i << " type " << type;
        }
}

// Rows long enough for the whole-row forms (string fills, vector blends) to
// run past their ends, from every start alignment, with a disc's rows too.
TEST(ShapeRect, WideRowsMatchReference) {
    ShapeRng rng(41);
    const int modes[] = {0, 1, 2, 3, 4, 10, 11};
    const int widths[] = {1, 7, 8, 9, 15, 16, 17, 31, 33, 63, 64, 65, 127, 200, 301};
    for (int type = 0; type <= 1; type++)
        for (int m : modes)
            for (int w : widths) {
                ShapeCanvas c(320, 6, type);
                c.FillRandom(rng.Next());
                RefSettings s = AreaOf(0, 0, 320, 6, m, rng.Range(0, 3) == 0 ? 128 : rng.Range(1, 255));
                const int left = rng.Range(0, 3);
                const int64_t r[4] = {left, 1, left + w, 5};
                const Rect rr{left, 1, left + w, 5};
                const uint32_t col = rng.Next() ^ rng.Next() << 16;
                ASSERT_EQ("", DrawBothWays(c, s, [&](RefImage& ref) { RefFillRect(ref, s, r, col); },
                                           [&](MEMIMG* img) { FillMemImgRect(img, &rr, col); }))
                    << "type " << type << " mode " << m << " width " << w << " left " << left;
                ASSERT_EQ("", DrawBothWays(c, s, [&](RefImage& ref) { RefCircle(ref, s, 160, 3, w / 2, col, 1); },
                                           [&](MEMIMG* img) { DrawMemImgCircle(img, 160, 3, w / 2, col, 1); }))
                    << "disc: type " << type << " mode " << m << " radius " << w / 2;
            }
}
