#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>
#include <utility>
#include <vector>

#include "engine/softrender/shapes.h"
#include "softrender/ref_shape_canvas.h"

namespace {

typedef std::vector<std::pair<int, int>> Pixels;

// Pixels written, in raster order; fails the test on a pixel written twice.
Pixels Written(const ShapeCanvas& c) {
    Pixels out;
    for (int y = 0; y < c.height(); y++)
        for (int x = 0; x < c.width(); x++) {
            const uint32_t n = c.Get(x, y) & 0xFF;
            EXPECT_LE(n, 1u) << "pixel (" << x << ", " << y << ") written " << n << " times";
            if (n) out.push_back({x, y});
        }
    EXPECT_TRUE(c.RingIntact());
    return out;
}

Pixels Line(int w, int h, RefSettings s, int x1, int y1, int x2, int y2) {
    ShapeCanvas c(w, h, 1);
    ShapeSettingsScope scope(s);
    DrawMemImgLine(c.img(), x1, y1, x2, y2, 1);
    return Written(c);
}

Pixels Sorted(Pixels p) {
    std::sort(p.begin(), p.end(), [](auto& a, auto& b) { return a.second != b.second ? a.second < b.second : a.first < b.first; });
    return p;
}

}  // namespace

TEST(ShapeLine, WorkedLinesInsideTheArea) {
    const RefSettings s = Counting(0, 0, 16, 16);
    EXPECT_EQ((Pixels{{0, 0}, {1, 0}, {2, 0}}), Line(16, 16, s, 0, 0, 3, 0));
    EXPECT_EQ((Pixels{{1, 0}, {2, 0}, {3, 0}}), Line(16, 16, s, 3, 0, 0, 0));
    EXPECT_EQ((Pixels{{0, 0}, {1, 0}, {2, 0}, {3, 0}}), Line(16, 16, s, 0, 0, 4, 1));
    EXPECT_EQ((Pixels{{0, 0}, {1, 0}, {2, 1}, {3, 1}}), Line(16, 16, s, 0, 0, 4, 2));
    EXPECT_EQ(Pixels{}, Line(16, 16, s, 5, 5, 5, 5));
    EXPECT_EQ((Pixels{{5, 5}}), Line(16, 16, s, 5, 5, 6, 5));
    EXPECT_EQ((Pixels{{0, 0}, {1, 1}, {2, 2}}), Line(16, 16, s, 0, 0, 3, 3));
    EXPECT_EQ((Pixels{{7, 3}, {7, 4}, {7, 5}}), Line(16, 16, s, 7, 3, 7, 6));
}

TEST(ShapeLine, WorkedClipping) {
    const RefSettings s = Counting(0, 0, 640, 480);
    // y = 0.25 x + 2.5 at x = 0, truncated: the clipped line starts at (0, 2).
    Pixels p = Line(640, 480, s, -10, 0, 10, 5);
    ASSERT_FALSE(p.empty());
    EXPECT_EQ((std::pair<int, int>{0, 2}), p.front());
    EXPECT_EQ(10u, p.size());
    Pixels right = Line(640, 480, s, 600, 10, 700, 10);
    ASSERT_EQ(40u, right.size());
    EXPECT_EQ(600, right.front().first);
    EXPECT_EQ(639, right.back().first);
    Pixels back = Line(640, 480, s, 700, 10, 600, 10);
    ASSERT_EQ(39u, back.size());
    EXPECT_EQ(601, back.front().first);
    EXPECT_EQ(639, back.back().first);
    EXPECT_EQ(Pixels{}, Line(640, 480, s, -5, 1, -1, 9));    // both ends left
    EXPECT_EQ(Pixels{}, Line(640, 480, s, 3, 480, 90, 900));  // both ends below
}

TEST(ShapeLine, BoxOutlineWritesEachBorderPixelOnce) {
    auto box = [](int x1, int y1, int x2, int y2) {
        const MemImgLineRecord recs[4] = {{x1, y1, x2 - 1, y1, 1, 0},
                                          {x2 - 1, y1, x2 - 1, y2 - 1, 1, 0},
                                          {x2 - 1, y2 - 1, x1, y2 - 1, 1, 0},
                                          {x1, y2 - 1, x1, y1, 1, 0}};
        ShapeCanvas c(40, 30, 1);
        ShapeSettingsScope scope(Counting(0, 0, 40, 30));
        DrawMemImgLines(c.img(), recs, 4);
        return Written(c);
    };
    Pixels p = box(10, 10, 14, 13);
    EXPECT_EQ(10u, p.size());
    ShapeRng rng(4);
    for (int i = 0; i < 200; i++) {
        const int x1 = rng.Range(0, 30), y1 = rng.Range(0, 20);
        const int w = rng.Range(2, 40 - x1), h = rng.Range(2, 30 - y1);
        Pixels q = box(x1, y1, x1 + w, y1 + h);
        ASSERT_EQ((size_t)(2 * (w + h) - 4), q.size()) << x1 << "," << y1 << " " << w << "x" << h;
        for (auto& px : q)
            ASSERT_TRUE(px.first == x1 || px.first == x1 + w - 1 || px.second == y1 || px.second == y1 + h - 1);
    }
}

TEST(ShapeLine, NothingForEmptyAreasCountsAndRecords) {
    ShapeCanvas c(16, 16, 1);
    // An empty or inverted draw area: the end clamps alone would put the start
    // outside the area.
    for (const RefSettings& s : {Counting(5, 5, 5, 12), Counting(8, 2, 3, 12), Counting(2, 9, 12, 9)}) {
        ShapeSettingsScope scope(s);
        DrawMemImgLine(c.img(), 0, 0, 15, 15, 1);
        DrawMemImgLine(c.img(), 15, 3, 0, 3, 1);
        DrawMemImgLine(c.img(), 3, 15, 3, 0, 1);
    }
    EXPECT_EQ(Pixels{}, Written(c));
    ShapeSettingsScope scope(Counting(0, 0, 16, 16));
    const MemImgLineRecord rec{0, 0, 9, 9, 1, 0};
    DrawMemImgLines(c.img(), &rec, 0);
    DrawMemImgLines(c.img(), &rec, -3);
    DrawMemImgLines(c.img(), nullptr, 4);
    DrawMemImgLines(nullptr, &rec, 1);
    EXPECT_EQ(Pixels{}, Written(c));
    // The draw area past the image is cut to it.
    ShapeSettingsScope wide(Counting(-100, -100, 1000, 1000));
    DrawMemImgLine(c.img(), -50, -50, 60, 60, 1);
    EXPECT_EQ(16u, Written(c).size());
    DrawMemImgLine(c.img(), 200, 3, -200, 5, 1);
    DrawMemImgLine(c.img(), 7, -300, 9, 300, 1);
    EXPECT_TRUE(c.RingIntact());
}

// The reference's literal stepping against the closed form, and the engine
// against both, on lines that need no clip.
TEST(ShapeLine, UnclippedLinesFollowTheClosedForm) {
    ShapeRng rng(8);
    for (int i = 0; i < 1500; i++) {
        const int x1 = rng.Range(0, 47), y1 = rng.Range(0, 31);
        int x2 = rng.Range(0, 47), y2 = rng.Range(0, 31);
        if (i % 7 == 0) x2 = x1;
        if (i % 11 == 0) y2 = y1;
        Pixels closed;
        for (auto& p : RefLineClosedForm(x1, y1, x2, y2)) closed.push_back({(int)p.first, (int)p.second});
        RefImage ref;
        ref.Resize(48, 32, 1);
        RefLine(ref, Counting(0, 0, 48, 32), x1, y1, x2, y2, 1);
        Pixels literal;
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 48; x++)
                if (ref.WritesAt(x, y)) literal.push_back({x, y});
        ASSERT_EQ(Sorted(closed), literal) << x1 << "," << y1 << " -> " << x2 << "," << y2;
        ASSERT_EQ(literal, Line(48, 32, Counting(0, 0, 48, 32), x1, y1, x2, y2))
            << x1 << "," << y1 << " -> " << x2 << "," << y2;
    }
}

TEST(ShapeLine, RandomLinesMatchReference) {
    ShapeRng rng(15);
    auto coord = [&](int size) {
        switch (rng.Range(0, 9)) {
        case 0: return rng.Range(0, 1) ? INT_MAX - rng.Range(0, 3) : INT_MIN + rng.Range(0, 3);
        case 1: return (int)(rng.Next() ^ rng.Next() << 16);
        case 2: return rng.Range(-5000, 5000);
        default: return rng.Range(-20, size + 20);
        }
    };
    for (int type = 0; type <= 1; type++)
        for (int i = 0; i < 3000; i++) {
            const int w = rng.Range(1, 40), h = rng.Range(1, 40);
            ShapeCanvas c(w, h, type);
            c.FillRandom(rng.Next());
            RefSettings s = RandomShapeSettings(rng, w, h, 7);
            if (rng.Range(0, 3) == 0) s.bright_g = rng.Range(0, 255);
            int x1 = coord(w), y1 = coord(h), x2 = coord(w), y2 = coord(h);
            if (i % 9 == 0) y2 = y1;
            if (i % 13 == 0) x2 = x1;
            const uint32_t col = rng.Next() ^ rng.Next() << 16;
            ASSERT_EQ("", DrawBothWays(c, s, [&](RefImage& ref) { RefLine(ref, s, x1, y1, x2, y2, col); },
                                       [&](MEMIMG* img) { DrawMemImgLine(img, x1, y1, x2, y2, col); }))
                << "case " << i << ": " << x1 << "," << y1 << " -> " << x2 << "," << y2;
        }
}
