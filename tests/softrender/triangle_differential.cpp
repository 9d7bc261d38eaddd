// Differential runs of DrawMemImgTriangle against the reference model: every
// writer family x colour type x mode x p x bright x graph x transparent flag,
// on random triangles (slivers, clipped, degenerate, out of range) over small
// random images, comparing the destination's whole body. Seeded; a failure
// names its combination. Every loop must have run on the way.
#include <gtest/gtest.h>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>
#include "engine/softrender/triangle_stats.h"
#include "triangle_harness.h"

namespace {

const int kModes[] = {0, 1, 2, 3, 4, 10, 11, 7, 12};
const int kPs[] = {0, 1, 128, 254, 255, -1};  // -1: random
const char* const kKinds[] = {"direct", "palette", "alpha", "flat"};

int R(std::mt19937& rng, int lo, int hi) { return lo + (int)(rng() % (uint32_t)(hi - lo + 1)); }

std::vector<uint32_t>& Counts() {
    static std::vector<uint32_t> counts(TriangleLoopTotal());
    return counts;
}

struct Combo {
    int type, kind, mode, p, bright, graph, trans;  // kind 3: flat colour
};

std::string Text(const Combo& c, uint32_t seed) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "type %d %s mode %d p %d bright %d graph %d trans %d seed %u", c.type,
                  kKinds[c.kind], c.mode, c.p, c.bright, c.graph, c.trans, seed);
    return buf;
}

// One coordinate: mostly near the image, now and then a sliver's far end, out
// of the 14.18 range, or negative.
int Coord(std::mt19937& rng, int size) {
    switch (R(rng, 0, 19)) {
    case 0: return R(rng, -9000, 9000);
    case 1: return R(rng, 0, 1) ? 8191 : -8192;
    case 2: return R(rng, -40, -1);
    default: return R(rng, -3, size + 3);
    }
}

// Texel coordinates: the source's corners mostly, sometimes anything.
int TexCoord(std::mt19937& rng, int size) {
    switch (R(rng, 0, 9)) {
    case 0: return R(rng, -8192, 8191);
    case 1: return R(rng, -3, size + 3);
    default: return R(rng, 0, 1) ? size : 0;
    }
}

void RandomTriangle(std::mt19937& rng, int dw, int dh, int sw, int sh, reftri::Vertex v[3]) {
    for (int i = 0; i < 3; i++) v[i] = {Coord(rng, dw), Coord(rng, dh), TexCoord(rng, sw), TexCoord(rng, sh)};
    switch (R(rng, 0, 7)) {
    case 0: v[2] = v[R(rng, 0, 1)]; break;                      // repeated vertex
    case 1: v[2].x = 2 * v[1].x - v[0].x, v[2].y = 2 * v[1].y - v[0].y; break;  // collinear
    case 2: v[1].y = v[0].y; break;                             // flat top or bottom
    case 3: v[2].y = v[0].y + R(rng, -1, 1); break;             // sliver
    default: break;
    }
}

std::string RunCase(const Combo& c, uint32_t seed) {
    std::mt19937 rng(seed);
    ImageLayout dl = LayoutOf(c.type, KIND_DIRECT, R(rng, 3, 20), R(rng, 2, 14));
    for (int& m : dl.margin) m = R(rng, 0, 2);
    dl.pitch_pad = R(rng, 0, 3);
    TestImage dst(dl);
    dst.Randomise(rng, false);
    std::unique_ptr<TestImage> src;
    std::unique_ptr<TestGraph> graph;
    int sw = 1, sh = 1;
    if (c.kind != 3) {
        sw = R(rng, 1, 9);
        sh = R(rng, 1, 7);
        uint32_t key = c.kind == KIND_PALETTE ? (R(rng, 0, 7) ? (uint32_t)R(rng, 0, 255) : 256u + R(rng, 0, 255))
                       : c.type == 0           ? (R(rng, 0, 7) ? rng() & 0xFFFF : 0x10000u | (rng() & 0xFFFF))
                                               : rng();
        ImageLayout sl = LayoutOf(c.type, c.kind, sw, sh, key);
        if (R(rng, 0, 2) == 0) {
            for (int& m : sl.margin) m = R(rng, 0, 2);
            sl.pitch_pad = R(rng, 0, 3);
        }
        sl.guard_before = R(rng, 0, 1) != 0;
        src.reset(new TestImage(sl));
        src->Randomise(rng, true);
        // A graph smaller than the source now and then: refused.
        if (c.graph) graph.reset(new TestGraph(sw + R(rng, -1, 2) * (R(rng, 0, 5) == 0), sh + R(rng, 0, 1), rng));
    }
    CaseSettings s;
    s.area = Rect{R(rng, -2, dl.width / 2), R(rng, -2, dl.height / 2), R(rng, dl.width / 2, dl.width + 2),
                  R(rng, dl.height / 2, dl.height + 2)};
    s.mode = c.mode;
    s.p = c.p >= 0 ? c.p : R(rng, 0, 255);
    for (int i = 0; i < 3; i++) s.bright[i] = c.bright ? (R(rng, 0, 2) ? R(rng, 0, 255) : 255) : 255;
    if (c.bright && s.bright[0] == 255 && s.bright[1] == 255 && s.bright[2] == 255) s.bright[1] = 254;
    for (int i = 0; i < 256; i++) {
        int sel = R(rng, 0, 7);
        s.graph_table[i] = (uint8_t)(sel == 0 ? 0 : sel == 1 ? 255 : R(rng, 0, 255));
    }
    const uint32_t color = c.type == 0 && R(rng, 0, 3) ? rng() & 0xFFFF : rng();
    for (int k = 0; k < 4; k++) {
        reftri::Vertex v[3];
        RandomTriangle(rng, dl.width, dl.height, sw, sh, v);
        std::string err = TriDrawBoth(s, dst, src.get(), v, c.trans ? R(rng, 1, 3) : 0, graph.get(), color);
        if (!err.empty()) {
            char buf[200];
            std::snprintf(buf, sizeof buf, " | (%d,%d;%d,%d) (%d,%d;%d,%d) (%d,%d;%d,%d) ", v[0].x, v[0].y, v[0].u,
                          v[0].v, v[1].x, v[1].y, v[1].u, v[1].v, v[2].x, v[2].y, v[2].u, v[2].v);
            return err + buf + Describe(s);
        }
    }
    return "";
}

}  // namespace

TEST(TriangleDifferential, EveryFamilyModeAndVariant) {
    EnsureBlitTables();
    TriangleSetLoopCounter(Counts().data());
    int failures = 0;
    uint32_t seed = 1;
    for (int type = 0; type < 2; type++)
        for (int kind = 0; kind < 4; kind++)
            for (int mode : kModes)
                for (int p : kPs)
                    for (int bright = 0; bright < 2; bright++)
                        for (int graph = 0; graph < (kind == 3 ? 1 : 2); graph++)
                            for (int trans = 0; trans < (kind == 3 ? 1 : 2); trans++) {
                                const Combo c = {type, kind, mode, p, bright, graph, trans};
                                for (int rep = 0; rep < 3; rep++, seed++) {
                                    std::string err = RunCase(c, seed);
                                    if (!err.empty() && ++failures <= 10) ADD_FAILURE() << Text(c, seed) << ": " << err;
                                }
                            }
    TriangleSetLoopCounter(nullptr);
    EXPECT_EQ(0, failures);

    char name[80];
    int never = 0;
    for (int id = 0; id < TriangleLoopTotal(); id++) {
        if (Counts()[id]) continue;
        TriangleLoopName(id, name, sizeof name);
        if (++never <= 10) ADD_FAILURE() << "loop never ran: " << name;
    }
    EXPECT_EQ(350, TriangleLoopTotal());
    EXPECT_EQ(0, never);
}
