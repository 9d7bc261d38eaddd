#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "engine/softrender/shapes.h"
#include "engine/system/memory.h"
#include "softrender/ref_shape_canvas.h"

namespace {

typedef std::map<std::pair<int, int>, int> Counts;  // (x, y) -> writes

Counts Draw(int w, int h, const RefSettings& s, int cx, int cy, int r, int fill) {
    ShapeCanvas c(w, h, 1);
    ShapeSettingsScope scope(s);
    DrawMemImgCircle(c.img(), cx, cy, r, 1, fill);
    EXPECT_TRUE(c.RingIntact());
    Counts out;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (uint32_t n = c.Get(x, y) & 0xFF) out[std::make_pair(x, y)] = (int)n;
    return out;
}

int At(const Counts& c, int x, int y) {
    auto it = c.find({x, y});
    return it == c.end() ? 0 : it->second;
}

int Total(const Counts& c) {
    int n = 0;
    for (auto& kv : c) n += kv.second;
    return n;
}

// Pixels per row, top to bottom, of a disc drawn at (cx, cy) on a 32 x 32 image.
std::vector<int> RowWidths(const Counts& c) {
    std::map<int, int> rows;
    for (auto& kv : c) rows[kv.first.second]++;
    std::vector<int> out;
    for (auto& kv : rows) out.push_back(kv.second);
    return out;
}

}  // namespace

TEST(ShapeCircle, OutlineWriteCounts) {
    const RefSettings s = Counting(0, 0, 32, 32);
    Counts r0 = Draw(32, 32, s, 16, 16, 0, 0);
    EXPECT_EQ((Counts{{{16, 16}, 4}}), r0);
    EXPECT_EQ((Counts{{{15, 16}, 1}, {{17, 16}, 1}, {{16, 15}, 1}, {{16, 17}, 1}}), Draw(32, 32, s, 16, 16, 1, 0));
    Counts r2 = Draw(32, 32, s, 16, 16, 2, 0);
    EXPECT_EQ(12u, r2.size());
    EXPECT_EQ(12, Total(r2));
    for (auto& kv : r2) {
        const int dx = std::abs(kv.first.first - 16), dy = std::abs(kv.first.second - 16);
        EXPECT_TRUE((dx == 2 && dy <= 1) || (dy == 2 && dx <= 1)) << dx << "," << dy;
    }
    Counts r3 = Draw(32, 32, s, 16, 16, 3, 0);
    EXPECT_EQ(16u, r3.size());
    EXPECT_EQ(20, Total(r3));
    for (int sx : {-2, 2})
        for (int sy : {-2, 2}) EXPECT_EQ(2, At(r3, 16 + sx, 16 + sy));
    Counts r5 = Draw(32, 32, s, 16, 16, 5, 0);
    std::set<std::pair<int, int>> want;
    const int offs[][2] = {{5, 0}, {0, 5}, {5, 1}, {1, 5}, {5, 2}, {2, 5}, {4, 3}, {3, 4}};
    for (auto& o : offs)
        for (int sx : {-1, 1})
            for (int sy : {-1, 1}) want.insert({16 + sx * o[0], 16 + sy * o[1]});
    std::set<std::pair<int, int>> got;
    for (auto& kv : r5) got.insert(kv.first);
    EXPECT_EQ(want, got);
    EXPECT_EQ(28, Total(r5));
    // A negative radius writes only the four axis points.
    EXPECT_EQ((Counts{{{13, 16}, 1}, {{19, 16}, 1}, {{16, 13}, 1}, {{16, 19}, 1}}), Draw(32, 32, s, 16, 16, -3, 0));
}

TEST(ShapeCircle, AlphaBlendsOncePerWrite) {
    // r = 0 blends the centre four times: 0 -> 127 -> 191 -> 223 -> 239 at p = 128.
    ShapeCanvas c(16, 16, 1);
    RefSettings s = Counting(0, 0, 16, 16);
    s.mode = 1;
    s.param = 128;
    ShapeSettingsScope scope(s);
    DrawMemImgCircle(c.img(), 1, 2, 0, 0xFF, 0);
    EXPECT_EQ(239u, c.Get(1, 2));
    // The disc in the same mode blends each of its pixels once: all 127.
    c.Fill(0);
    DrawMemImgCircle(c.img(), 8, 8, 5, 0xFF, 1);
    int covered = 0;
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            if (uint32_t v = c.Get(x, y)) {
                EXPECT_EQ(127u, v) << x << "," << y;
                covered++;
            }
    EXPECT_EQ(1 + 7 + 9 + 11 * 5 + 9 + 7 + 1, covered);
}

TEST(ShapeCircle, OutlineClipsEachPointInclusively) {
    // Centre outside the area: the points inside are still written.
    Counts out = Draw(32, 32, Counting(10, 0, 32, 32), 8, 16, 4, 0);
    EXPECT_EQ(1, At(out, 12, 16));
    for (auto& kv : out) EXPECT_GE(kv.first.first, 10);
    // x = R - 1 is written, x = R is not; likewise y.
    Counts edge = Draw(32, 32, Counting(0, 0, 20, 20), 16, 16, 3, 0);
    EXPECT_EQ(1, At(edge, 19, 16));
    EXPECT_EQ(1, At(edge, 16, 19));
    Counts past = Draw(32, 32, Counting(0, 0, 19, 19), 16, 16, 3, 0);
    EXPECT_EQ(0, At(past, 19, 16));
    EXPECT_EQ(0, At(past, 16, 19));
}

TEST(ShapeCircle, DiscRows) {
    const RefSettings s = Counting(0, 0, 32, 32);
    EXPECT_EQ((Counts{{{16, 16}, 1}}), Draw(32, 32, s, 16, 16, 0, 1));
    EXPECT_EQ((std::vector<int>{1, 3, 1}), RowWidths(Draw(32, 32, s, 16, 16, 1, 1)));
    EXPECT_EQ((std::vector<int>{1, 5, 5, 5, 1}), RowWidths(Draw(32, 32, s, 16, 16, 2, 1)));
    EXPECT_EQ((std::vector<int>{1, 5, 7, 7, 7, 5, 1}), RowWidths(Draw(32, 32, s, 16, 16, 3, 1)));
    Counts r5 = Draw(32, 32, s, 16, 16, 5, 1);
    EXPECT_EQ((std::vector<int>{1, 7, 9, 11, 11, 11, 11, 11, 9, 7, 1}), RowWidths(r5));
    for (auto& kv : r5) EXPECT_EQ(1, kv.second);
    // Rows centred on cx.
    std::map<int, std::pair<int, int>> span;
    for (auto& kv : r5) {
        auto it = span.find(kv.first.second);
        if (it == span.end()) span[kv.first.second] = {kv.first.first, kv.first.first};
        else it->second = {std::min(it->second.first, kv.first.first), std::max(it->second.second, kv.first.first)};
    }
    for (auto& kv : span) EXPECT_EQ(32, kv.second.first + kv.second.second);
}

TEST(ShapeCircle, DiscWritesNoPixelTwice) {
    ShapeRng rng(2);
    for (int i = 0; i < 300; i++) {
        const int r = rng.Range(0, 40);
        Counts c = Draw(48, 40, Counting(rng.Range(0, 10), rng.Range(0, 10), rng.Range(30, 48), rng.Range(25, 40)),
                        rng.Range(-20, 68), rng.Range(-20, 60), r, 1);
        for (auto& kv : c) ASSERT_EQ(1, kv.second) << "radius " << r;
    }
}

TEST(ShapeCircle, DiscClippedAtTheAreaEdges) {
    // Partly above the area: the visible rows are the unclipped disc's.
    Counts whole = Draw(32, 32, Counting(0, 0, 32, 32), 16, 8, 6, 1);
    Counts cut = Draw(32, 32, Counting(0, 5, 32, 32), 16, 8, 6, 1);
    Counts expect;
    for (auto& kv : whole)
        if (kv.first.second >= 5) expect.insert(kv);
    EXPECT_EQ(expect, cut);
    // Radius 5 centred one column left of the area: the top row comes from the
    // walk's later step and covers two columns.
    Counts left = Draw(32, 32, Counting(10, 0, 32, 32), 9, 16, 5, 1);
    EXPECT_EQ(1, At(left, 10, 11));
    EXPECT_EQ(1, At(left, 11, 11));
    EXPECT_EQ(0, At(left, 12, 11));
    // Wholly outside: nothing, and no block left behind.
    const int live = MemLiveBlockCount();
    EXPECT_TRUE(Draw(32, 32, Counting(0, 0, 32, 32), -10, 5, 4, 1).empty());
    EXPECT_TRUE(Draw(32, 32, Counting(0, 0, 32, 32), 16, 50, 4, 1).empty());
    EXPECT_EQ(live, MemLiveBlockCount());
}

TEST(ShapeCircle, EmptyAreasDrawNothing) {
    // With an empty area an unsigned range test on R - 1 - L would pass every point.
    for (const RefSettings& s : {Counting(8, 8, 8, 20), Counting(8, 8, 20, 8), Counting(20, 4, 10, 30)})
        for (int fill = 0; fill <= 1; fill++) {
            const int live = MemLiveBlockCount();
            EXPECT_TRUE(Draw(32, 32, s, 10, 10, 6, fill).empty()) << "fill " << fill;
            EXPECT_EQ(live, MemLiveBlockCount());
        }
}

TEST(ShapeCircle, DiscRowFlagsFollowTheAreaNotItsBottom) {
    // Flags sized by the area's bottom edge would ask for 2 GB here.
    Counts deep = Draw(32, 32, Counting(0, 0, 32, INT_MAX), 16, 16, 5, 1);
    EXPECT_EQ((std::vector<int>{1, 7, 9, 11, 11, 11, 11, 11, 9, 7, 1}), RowWidths(deep));
    // An area starting low in the image: the rows below its top are flagged from 0.
    Counts low = Draw(32, 32, Counting(0, 20, 32, 32), 16, 24, 5, 1);
    EXPECT_EQ((std::vector<int>{7, 9, 11, 11, 11, 11, 11, 9, 7, 1}), RowWidths(low));
}

TEST(ShapeCircle, HugeRadii) {
    const RefSettings s = Counting(0, 0, 64, 64);
    // Wholly around or beside the area: nothing, and at once.
    EXPECT_TRUE(Draw(64, 64, s, 0, 0, 536894470, 0).empty());
    EXPECT_TRUE(Draw(64, 64, s, 32, 32, -357913939, 0).empty());
    EXPECT_TRUE(Draw(64, 64, s, INT_MIN, INT_MIN, 536894470, 0).empty());
    EXPECT_TRUE(Draw(64, 64, s, INT_MAX, 10, 1000, 1).empty());
}

TEST(ShapeCircle, RadiiTakingTheDecisionValuePast32BitsAreRefused) {
    // The largest radius of each form, then the first whose walk takes the
    // decision value out of 32 bits. Accepted ones have their rightmost point
    // at (30, 32), where the arc is a vertical line that a wrapped decision
    // value would bend away.
    struct Case {
        int r, fill, result;
    } cases[] = {{536894470, 0, 0}, {536894471, 0, -1}, {536871057, 1, 0}, {536871058, 1, -1},
                 {-357913939, 0, 0}, {-357913940, 0, -1}, {-1073741822, 1, 0}, {-1073741823, 1, -1},
                 {INT_MAX, 0, -1}, {INT_MAX, 1, -1}, {INT_MIN, 0, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "radius " << c.r << " fill " << c.fill);
        EXPECT_EQ(c.result == 0, RefCircleFits(c.r, c.fill)) << "the walk itself";
        ShapeCanvas canvas(64, 64, 1);
        ShapeSettingsScope scope(Counting(0, 0, 64, 64));
        EXPECT_EQ(c.result, DrawMemImgCircle(canvas.img(), c.r > 0 ? 30 - c.r : 32, 32, c.r, 1, c.fill));
        int pixels = 0;
        for (int y = 0; y < 64; y++)
            for (int x = 0; x < 64; x++)
                if (canvas.Get(x, y) & 0xFF) {
                    pixels++;
                    EXPECT_EQ(1u, canvas.Get(x, y) & 0xFF);
                    EXPECT_TRUE(c.fill ? x <= 30 : x == 30) << x << "," << y;
                }
        EXPECT_EQ(c.result == 0 && c.r > 0 ? (c.fill ? 64 * 31 : 64) : 0, pixels);
        EXPECT_TRUE(canvas.RingIntact());
    }
}

TEST(ShapeCircle, RandomCirclesMatchReference) {
    ShapeRng rng(33);
    for (int type = 0; type <= 1; type++)
        for (int i = 0; i < 1500; i++) {
            const int w = rng.Range(1, 48), h = rng.Range(1, 48);
            ShapeCanvas c(w, h, type);
            c.FillRandom(rng.Next());
            RefSettings s = RandomShapeSettings(rng, w, h, 9);
            if (rng.Range(0, 3) == 0) s.bright_b = rng.Range(0, 255);
            int r;
            switch (rng.Range(0, 7)) {
            case 0: r = rng.Range(0, 2); break;
            case 1: r = rng.Range(200, 3000); break;
            case 2: r = rng.Range(-3, -1); break;
            default: r = rng.Range(3, 60);
            }
            const int cx = rng.Range(-r - 10, w + r + 10) , cy = rng.Range(-r - 10, h + r + 10);
            const int fill = rng.Range(0, 1);
            const uint32_t col = rng.Next() ^ rng.Next() << 16;
            ASSERT_EQ("", DrawBothWays(c, s, [&](RefImage& ref) { RefCircle(ref, s, cx, cy, r, col, fill); },
                                       [&](MEMIMG* img) { DrawMemImgCircle(img, cx, cy, r, col, fill); }))
                << "case " << i << ": " << cx << "," << cy << " r " << r << " fill " << fill;
        }
}
