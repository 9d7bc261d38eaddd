// Golden triangles: covered pixels of known shapes, the closed-form coverage
// rule, the texel bounds, the refusals of unsound input, and worked pixels of
// each writer family.
#include <gtest/gtest.h>
#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <utility>
#include "engine/graphics/draw_settings.h"
#include "triangle_harness.h"

namespace {

typedef std::map<std::pair<int, int>, int> Writes;  // (x, y) -> writes

// Adding colour 1 at p = 255 to a zeroed 32-bit image counts each pixel's writes in blue.
Writes CountWrites(const reftri::Vertex v[3], int w = 24, int h = 24, Rect area = Rect{0, 0, 24, 24}) {
    TestImage dst(LayoutOf(1, KIND_DIRECT, w, h));
    dst.Fill(0);
    ResetDrawSettings(w, h);
    GDrawSettings.draw_area = area;
    GDrawSettings.blend_mode = 2;
    const TriangleVertex tv[3] = {{v[0].x, v[0].y, 0, 0}, {v[1].x, v[1].y, 0, 0}, {v[2].x, v[2].y, 0, 0}};
    DrawMemImgTriangle(&dst.img, nullptr, tv, 0, nullptr, 1);
    Writes out;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (uint32_t n = dst.Get(x, y) & 0xFF) out[{x, y}] = (int)n;
    return out;
}

int NonZeroPixels(TestImage& img) {
    int n = 0;
    for (int y = 0; y < img.img.height; y++)
        for (int x = 0; x < img.img.width; x++) n += img.Get(x, y) != 0;
    return n;
}

std::set<std::pair<int, int>> Pixels(const Writes& w) {
    std::set<std::pair<int, int>> s;
    for (auto& kv : w) s.insert(kv.first);
    return s;
}

std::vector<int> RowWidths(const Writes& w) {
    std::map<int, int> rows;
    for (auto& kv : w) rows[kv.first.second]++;
    std::vector<int> out;
    for (auto& kv : rows) out.push_back(kv.second);
    return out;
}

}  // namespace

TEST(TriangleGolden, KnownShapesCover) {
    const reftri::Vertex top[3] = {{0, 0, 0, 0}, {4, 0, 0, 0}, {0, 4, 0, 0}};
    const Writes t = CountWrites(top);
    EXPECT_EQ(14u, t.size());
    EXPECT_EQ((std::vector<int>{5, 4, 3, 2}), RowWidths(t));
    const reftri::Vertex bottom[3] = {{0, 0, 0, 0}, {0, 4, 0, 0}, {4, 4, 0, 0}};
    const Writes b = CountWrites(bottom);
    EXPECT_EQ(10u, b.size());
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), RowWidths(b));
    // Middle vertex on the right: the lower right edge starts one unit right of
    // it, so its slope is a unit short and row 6 ends at 4.999.. (column 4), not 5.0.
    const reftri::Vertex right[3] = {{0, 0, 0, 0}, {4, 4, 0, 0}, {5, 8, 0, 0}};
    const Writes r = CountWrites(right);
    EXPECT_EQ((std::vector<int>{1, 1, 2, 2, 2, 2, 1, 2}), RowWidths(r));
    EXPECT_EQ(0u, r.count({5, 6}));
    // One row high: only the top row.
    const reftri::Vertex thin[3] = {{2, 5, 0, 0}, {9, 5, 0, 0}, {4, 6, 0, 0}};
    for (auto& kv : CountWrites(thin)) EXPECT_EQ(5, kv.first.second);
    EXPECT_FALSE(CountWrites(thin).empty());
}

TEST(TriangleGolden, DegenerateTrianglesDrawNothing) {
    const reftri::Vertex cases[][3] = {
        {{1, 1, 0, 0}, {5, 5, 0, 0}, {9, 9, 0, 0}},   // collinear
        {{3, 2, 0, 0}, {3, 2, 0, 0}, {8, 9, 0, 0}},   // repeated vertex
        {{4, 4, 0, 0}, {4, 4, 0, 0}, {4, 4, 0, 0}},
        {{2, 7, 0, 0}, {9, 7, 0, 0}, {20, 7, 0, 0}},  // one row
    };
    for (auto& v : cases) EXPECT_TRUE(CountWrites(v).empty()) << v[0].x << "," << v[0].y;
}

TEST(TriangleGolden, VertexOrderDoesNotChangeCoverage) {
    std::mt19937 rng(5);
    for (int n = 0; n < 200; n++) {
        reftri::Vertex v[3];
        for (auto& p : v) p = {(int)(rng() % 24), (int)(rng() % 24), 0, 0};
        int o[3] = {0, 1, 2};
        const Writes first = CountWrites(v);
        while (std::next_permutation(o, o + 3)) {
            const reftri::Vertex w[3] = {v[o[0]], v[o[1]], v[o[2]]};
            ASSERT_EQ(first, CountWrites(w)) << v[0].x << "," << v[0].y << " " << v[1].x << "," << v[1].y << " "
                                             << v[2].x << "," << v[2].y;
        }
    }
}

TEST(TriangleGolden, CoverageFollowsTheClosedForm) {
    std::mt19937 rng(7);
    for (int n = 0; n < 400; n++) {
        reftri::Vertex v[3];
        for (auto& p : v) p = {(int)(rng() % 32), (int)(rng() % 32), 0, 0};
        const Writes got = CountWrites(v, 40, 40, Rect{0, 0, 40, 40});
        for (auto& kv : got) ASSERT_EQ(1, kv.second);
        ASSERT_EQ(reftri::Coverage(v), Pixels(got))
            << v[0].x << "," << v[0].y << " " << v[1].x << "," << v[1].y << " " << v[2].x << "," << v[2].y;
    }
}

TEST(TriangleGolden, NoRowTwiceAboveTheTop) {
    // Top vertex above row 0, middle vertex on the left at a row >= 0: the walk
    // goes on from the next row instead of coming back to the middle's.
    const reftri::Vertex v[3] = {{8, -3, 0, 0}, {1, 4, 0, 0}, {12, 12, 0, 0}};
    const Writes w = CountWrites(v);
    ASSERT_FALSE(w.empty());
    for (auto& kv : w) EXPECT_EQ(1, kv.second) << kv.first.first << "," << kv.first.second;
    std::mt19937 rng(9);
    for (int n = 0; n < 300; n++) {
        reftri::Vertex r[3];
        for (auto& p : r) p = {(int)(rng() % 40) - 12, (int)(rng() % 40) - 12, 0, 0};
        for (auto& kv : CountWrites(r)) ASSERT_EQ(1, kv.second);
    }
}

TEST(TriangleGolden, LastTexelColumnEdge) {
    // du/dx = 2^18 - 1 here, so pixel (437, 1) has u = 437 * 2^18 - 1: drawn
    // from a 437-texel source; the next pixel's texel is past it.
    TestImage src(LayoutOf(0, KIND_DIRECT, 437, 1));
    for (int x = 0; x < 437; x++) src.Set(x, 0, 0x8000u | (uint32_t)x);
    TestImage dst(LayoutOf(0, KIND_DIRECT, 440, 2));
    dst.Fill(0);
    ResetDrawSettings(440, 2);
    const TriangleVertex v[3] = {{0, 0, 0, 0}, {600, 1, 600, 0}, {1, 600, 2, 0}};
    DrawMemImgTriangle(&dst.img, &src.img, v, 0, nullptr, 0);
    EXPECT_EQ(0x8000u | 436, dst.Get(436, 1));
    EXPECT_EQ(0x8000u | 436, dst.Get(437, 1));
    EXPECT_EQ(0u, dst.Get(438, 1));
}

TEST(TriangleGolden, UnsoundInputDrawsNothing) {
    TestImage src(LayoutOf(1, KIND_DIRECT, 4, 4));
    src.Fill(0x00FFFFFF);
    std::mt19937 rng(1);
    TestGraph small(3, 4, rng);
    struct Case {
        const char* what;
        TriangleVertex v[3];
        bool small_graph;
        bool flat_draws;  // the flat form has no texture to refuse
    } cases[] = {
        {"sliver with a gradient past int32", {{0, 0, 0, 0}, {8000, 1, 8191, 0}, {7999, 1, 0, 8191}}, false, true},
        {"x past 8191", {{0, 0, 0, 0}, {8192, 2, 4, 0}, {0, 4, 0, 4}}, false, false},
        {"y below -8192", {{0, 0, 0, 0}, {4, -8193, 4, 0}, {0, 4, 0, 4}}, false, false},
        {"x difference of 8192", {{-8000, 0, 0, 0}, {192, 2, 4, 0}, {0, 4, 0, 4}}, false, false},
        {"u past 8191", {{0, 0, 0, 0}, {4, 0, 8192, 0}, {0, 4, 0, 4}}, false, true},
        {"graph smaller than the source", {{0, 0, 0, 0}, {4, 0, 4, 0}, {0, 4, 0, 4}}, true, true},
    };
    for (const Case& c : cases) {
        TestImage dst(LayoutOf(1, KIND_DIRECT, 8, 8));
        dst.Fill(0);
        ResetDrawSettings(8, 8);
        DrawMemImgTriangle(&dst.img, &src.img, c.v, 0, c.small_graph ? &small.img : nullptr, 0);
        EXPECT_EQ(0, NonZeroPixels(dst)) << c.what;
        DrawMemImgTriangle(&dst.img, nullptr, c.v, 0, nullptr, 0x00FFFFFF);
        EXPECT_EQ(c.flat_draws, NonZeroPixels(dst) > 0) << c.what << " (flat)";
    }
    TestImage dst(LayoutOf(1, KIND_DIRECT, 8, 8));
    DrawMemImgTriangle(&dst.img, &src.img, nullptr, 0, nullptr, 0);
}

namespace {

// One pixel drawn with texel (0, 0): the triangle (0,0) (1,0) (0,1) covers
// (0, 0) and (1, 0), and the second has u = 1, past a one-texel source.
struct PixelCase {
    const char* what;
    int type, kind, mode, p;
    int bright[3];   // red, green, blue
    int trans;
    int graph;       // blend-graph weight, -1 none
    uint32_t texel;  // raw source pixel (palette: the entry; the index is 0xAD)
    uint32_t dst, want;
};

uint32_t DrawPixel(const PixelCase& c) {
    TestImage src(LayoutOf(c.type, c.kind, 1, 1, 0xDEAD));
    if (c.kind == KIND_PALETTE) {
        // The key 0xDEAD cut to a byte would match this index.
        src.Set(0, 0, 0xAD);
        for (int i = 0; i < (c.type ? 4 : 2); i++) src.palette[(c.type ? 4 : 2) * 0xAD + i] = (uint8_t)(c.texel >> (8 * i));
    } else {
        src.Set(0, 0, c.texel);
    }
    TestImage dst(LayoutOf(c.type, KIND_DIRECT, 2, 1));
    dst.Set(0, 0, c.dst);
    ResetDrawSettings(2, 1);
    GDrawSettings.blend_mode = c.mode;
    GDrawSettings.blend_param = c.p;
    SetBright(c.bright[0], c.bright[1], c.bright[2]);
    std::mt19937 rng(1);
    TestGraph graph(1, 1, rng);
    graph.body[0] = 7;
    for (int i = 0; i < 256; i++) BlendGraphicTable[i] = (uint8_t)(c.graph < 0 ? 0 : c.graph);
    const TriangleVertex v[3] = {{0, 0, 0, 0}, {1, 0, 1, 0}, {0, 1, 0, 1}};
    DrawMemImgTriangle(&dst.img, &src.img, v, c.trans, c.graph >= 0 ? &graph.img : nullptr, 0);
    return dst.Get(0, 0);
}

}  // namespace

TEST(TriangleGolden, WorkedPixels) {
    const PixelCase cases[] = {
        // 16-bit direct.
        {"copy weighted 255 stops short", 0, KIND_DIRECT, 0, 255, {255, 255, 255}, 0, 255, 0xF800, 0x0000, 0xF000},
        {"copy weighted 255 floors down", 0, KIND_DIRECT, 0, 255, {255, 255, 255}, 0, 255, 0x0000, 0xF800, 0x0000},
        {"alpha 128 truncates up", 0, KIND_DIRECT, 1, 128, {255, 255, 255}, 0, -1, 0xF800, 0x0000, 0x7800},
        {"alpha 128 truncates down", 0, KIND_DIRECT, 1, 128, {255, 255, 255}, 0, -1, 0x0000, 0xF800, 0x8000},
        {"bright red 128", 0, KIND_DIRECT, 0, 255, {128, 255, 255}, 0, -1, 0xF800, 0x0000, 0x7800},
        {"add: green carry", 0, KIND_DIRECT, 2, 255, {255, 255, 255}, 0, -1, 0x0040, 0x07C0, 0x0FC0},
        {"add: blue carry", 0, KIND_DIRECT, 2, 255, {255, 255, 255}, 0, -1, 0x0001, 0x001F, 0x003F},
        {"sub black from 0", 0, KIND_DIRECT, 3, 255, {255, 255, 255}, 0, -1, 0x0000, 0x0000, 0x0800},
        {"sub black from white", 0, KIND_DIRECT, 3, 255, {255, 255, 255}, 0, -1, 0x0000, 0xFFFF, 0xFFDF},
        {"sub black", 0, KIND_DIRECT, 3, 255, {255, 255, 255}, 0, -1, 0x0000, 0x1234, 0x1A14},
        {"add: alpha before bright", 0, KIND_ALPHA, 2, 255, {255, 100, 255}, 0, -1, 0xC807E0, 0, 19 << 5},
        {"add: bright before graph and alpha", 0, KIND_ALPHA, 2, 255, {255, 100, 255}, 0, 255, 0xC807E0, 0, 18 << 5},
        {"alpha 255 without the flag", 0, KIND_ALPHA, 0, 255, {255, 255, 255}, 0, -1, 0xFFF800, 0, 0xF000},
        {"alpha 255 with the flag", 0, KIND_ALPHA, 0, 255, {128, 255, 255}, 1, -1, 0xFFF800, 0, 0x7800},
        {"alpha 0 skipped under the flag", 0, KIND_ALPHA, 4, 255, {255, 255, 255}, 1, -1, 0x00FFFF, 0xFFFF, 0xFFFF},
        {"mul", 0, KIND_DIRECT, 4, 0, {255, 255, 255}, 0, -1, 0xFFFF, 0xFFFF, 0xF7DE},
        {"mul half", 0, KIND_DIRECT, 4, 255, {255, 255, 255}, 0, -1, 0xFFFF, 0x8410, 0x7BEF},
        {"mul bright 128", 0, KIND_DIRECT, 4, 255, {128, 128, 128}, 0, -1, 0xFFFF, 0xFFFF, 0x73CE},
        {"mul alpha 0", 0, KIND_ALPHA, 4, 255, {255, 255, 255}, 0, -1, 0x00FFFF, 0xFFFF, 0x0000},
        {"mul alpha 255 flag", 0, KIND_ALPHA, 4, 255, {255, 255, 255}, 1, -1, 0xFFFFFF, 0xFFFF, 0xF7DE},
        {"mul alpha 255", 0, KIND_ALPHA, 4, 255, {255, 255, 255}, 0, -1, 0xFFFFFF, 0xFFFF, 0xEFBD},
        {"mul graph 255", 0, KIND_DIRECT, 4, 255, {255, 255, 255}, 0, 255, 0xFFFF, 0xFFFF, 0xEFBD},
        {"mul then alpha 255", 0, KIND_DIRECT, 11, 255, {255, 255, 255}, 0, -1, 0x1234, 0x97C0, 0x0A00},
        {"mul then alpha: finer green", 0, KIND_ALPHA, 11, 255, {255, 255, 255}, 0, -1, 0xFE1234, 0x97C0, 0x0A20},
        {"mul then alpha: bright", 0, KIND_ALPHA, 11, 255, {255, 255, 254}, 0, -1, 0xFE1234, 0x97C0, 0x0A00},
        {"inverse 255", 0, KIND_DIRECT, 10, 255, {255, 255, 255}, 0, -1, 0x1234, 0x97C0, 0xEDCB},
        {"inverse graph 255", 0, KIND_DIRECT, 10, 255, {255, 255, 255}, 0, 255, 0x1234, 0x97C0, 0xE5CA},
        {"inverse 128 of one step", 0, KIND_DIRECT, 10, 128, {255, 255, 255}, 0, -1, 0xFFDE, 0x0000, 0x0000},
        // 16-bit palette.
        {"keyed texel skipped", 0, KIND_DIRECT, 0, 255, {255, 255, 255}, 1, -1, 0xDEAD, 0x1111, 0x1111},
        {"key past the index range", 0, KIND_PALETTE, 0, 255, {255, 255, 255}, 1, -1, 0x1234, 0, 0x1234},
        {"entry bright red 128", 0, KIND_PALETTE, 0, 255, {128, 255, 255}, 0, -1, 0xFFFF, 0x0000, 0x7FFF},
        {"entry add", 0, KIND_PALETTE, 2, 255, {255, 255, 255}, 0, -1, 0x0821, 0x0821, 0x0822},
        {"entry add graph 128", 0, KIND_PALETTE, 2, 255, {255, 255, 255}, 0, 128, 0xFFFF, 0x0000, 0x7BEF},
        {"entry sub at p 0", 0, KIND_PALETTE, 3, 0, {255, 255, 255}, 0, -1, 0xFFFF, 0x1234, 0x1A14},
        {"entry inverse bright", 0, KIND_PALETTE, 10, 255, {128, 255, 255}, 0, -1, 0x0000, 0x0000, 0x7FFF},
        // 32-bit palette.
        {"key past the index range", 1, KIND_PALETTE, 0, 255, {255, 255, 255}, 1, -1, 0x00123456, 0, 0x00123456},
        {"entry copy", 1, KIND_PALETTE, 0, 255, {255, 255, 255}, 0, -1, 0x00ABCDEF, 0xFF000000, 0x00ABCDEF},
        {"entry bright keeps byte 3", 1, KIND_PALETTE, 0, 255, {254, 255, 255}, 0, -1, 0x00FFFFFF, 0x77000000, 0x77FEFFFF},
        {"entry graph 255", 1, KIND_PALETTE, 0, 255, {255, 255, 255}, 0, 255, 0x000000FF, 0, 0x000000FE},
        {"entry alpha 128", 1, KIND_PALETTE, 1, 128, {255, 255, 255}, 0, -1, 0x000000F0, 0x10, 0x80},
        {"entry alpha 254 graph 128", 1, KIND_PALETTE, 1, 254, {255, 255, 255}, 0, 128, 0x000000FF, 0, 126},
        {"entry copy graph 128", 1, KIND_PALETTE, 1, 255, {255, 255, 255}, 0, 128, 0x000000FF, 0, 127},
        {"entry add", 1, KIND_PALETTE, 2, 255, {255, 255, 255}, 0, -1, 0x00102030, 0x00FF8040, 0x01FFA070},
        {"entry sub at p 0", 1, KIND_PALETTE, 3, 0, {255, 255, 255}, 0, -1, 0x00FFFFFF, 0x55102030, 0x00112130},
        {"entry inverse", 1, KIND_PALETTE, 10, 255, {255, 255, 255}, 0, -1, 0x00FF8000, 0x00404040, 0x00007EFE},
        {"entry mul then alpha", 1, KIND_PALETTE, 11, 255, {255, 255, 255}, 0, -1, 0x0000FF80, 0x00808080, 0x00007F40},
        // 32-bit direct.
        {"key compared with byte 3", 1, KIND_DIRECT, 0, 255, {255, 255, 255}, 1, -1, 0xFF00DEAD, 0, 0xFF00DEAD},
        {"keyed texel skipped", 1, KIND_DIRECT, 0, 255, {255, 255, 255}, 1, -1, 0x0000DEAD, 0x11, 0x11},
        {"alpha 255 without the flag", 1, KIND_ALPHA, 0, 255, {255, 255, 255}, 0, -1, 0xFFFFFFFF, 0x11000000, 0x11FEFEFE},
        {"alpha 255 with the flag", 1, KIND_ALPHA, 0, 255, {255, 255, 255}, 1, -1, 0xFFFFFFFF, 0x11000000, 0xFFFFFFFF},
        {"three weights", 1, KIND_ALPHA, 1, 254, {255, 255, 255}, 0, 255, 0xFF000000, 0x000000FF, 0x00000003},
        {"add", 1, KIND_DIRECT, 2, 255, {255, 255, 255}, 0, -1, 0x00000080, 0x00000080, 0x000001FF},
        {"sub black", 1, KIND_DIRECT, 3, 255, {255, 255, 255}, 0, -1, 0x00000000, 0x00102030, 0x00112130},
        {"mul alpha 255 flag", 1, KIND_ALPHA, 4, 255, {255, 255, 255}, 1, -1, 0xFFFFFFFF, 0x00FFFFFF, 0x00FEFEFE},
        {"mul alpha 255", 1, KIND_ALPHA, 4, 255, {255, 255, 255}, 0, -1, 0xFFFFFFFF, 0x00FFFFFF, 0x00FDFDFD},
        {"inverse of black", 1, KIND_DIRECT, 10, 255, {255, 255, 255}, 0, -1, 0x00000000, 0, 0x00FEFEFE},
        {"mul then alpha of white", 1, KIND_DIRECT, 11, 255, {255, 255, 255}, 0, -1, 0x00FFFFFF, 0x00FFFFFF, 0x00FEFEFE},
        {"worked mul", 1, KIND_ALPHA, 4, 200, {255, 255, 255}, 0, 128, 0x64C8C8C8, 0x00646464, 0x000F0F0F},
        {"worked mul then alpha", 1, KIND_ALPHA, 11, 200, {255, 255, 255}, 0, 128, 0x64C8C8C8, 0x00646464, 0x00606060},
        {"worked inverse", 1, KIND_ALPHA, 10, 200, {255, 255, 255}, 0, 128, 0x64C8C8C8, 0x00646464, 0x005D5D5D},
        {"inverse bright 128", 1, KIND_DIRECT, 10, 200, {128, 128, 128}, 0, -1, 0x00C8C8C8, 0x00646464, 0x002A2A2A},
    };
    for (const PixelCase& c : cases)
        EXPECT_EQ(c.want, DrawPixel(c)) << c.what << " (" << (c.type ? 32 : 16) << "-bit)";
}

TEST(TriangleGolden, FlatColourScalesByTheBrightAlways) {
    struct Case { int type; int bright[3]; uint32_t color, want; } cases[] = {
        {1, {128, 255, 255}, 0xFFC8C8C8, 0xFF64C8C8},  // red 200 * 128 / 255 = 100
        {0, {255, 128, 255}, 0x07E0, 31 << 5},          // green field 63 -> 31
        {1, {255, 255, 255}, 0x12345678, 0x12345678},
        {1, {254, 255, 255}, 0xFFFFFFFF, 0xFFFEFFFF},  // (v * b) >> 8 would give 0xFFFDFEFE
        {0, {254, 255, 255}, 0xFFFF, 0xF7FF},          // and 0xF7DE
    };
    for (const Case& c : cases) {
        TestImage dst(LayoutOf(c.type, KIND_DIRECT, 2, 1));
        dst.Fill(0);
        ResetDrawSettings(2, 1);
        SetBright(c.bright[0], c.bright[1], c.bright[2]);
        GDrawSettings.blend_mode = 1;  // p = 255: the copy writer, all four bytes
        const TriangleVertex v[3] = {{0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}};
        DrawMemImgTriangle(&dst.img, nullptr, v, 0, nullptr, c.color);
        EXPECT_EQ(c.want, dst.Get(0, 0)) << std::hex << c.color;
    }
}
