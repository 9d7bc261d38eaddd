// Differential runs of DrawMemImg and DrawMemImgStretched against the reference
// model: every colour type x source kind x mode x p x graph x bright x
// transparent flag x path, on small random images at random, partly clipped
// positions, comparing the destination's whole body (its margins are the
// sentinel ring). Seeded; a failure names its combination.
#include <gtest/gtest.h>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>
#include "blit_harness.h"
#include "engine/softrender/blit.h"
#include "engine/softrender/blit_stats.h"

namespace {

const int kModes[] = {0, 1, 2, 3, 4, 10, 11, 5, 9, 12, -1};
const int kPs[] = {0, 1, 2, 3, 4, 63, 64, 127, 128, 129, 254, 255, -1};  // -1: random
const int kBrights[][3] = {{255, 255, 255}, {254, 255, 255}, {128, 128, 128}, {-1, -1, -1}};  // blue, green, red
const char* const kKindNames[] = {"direct", "palette", "alpha"};

struct Combo {
    int type, kind, mode, p, graph, bright, trans, path;
};

// Wide sweeps: rows of up to ~300 pixels, so that the whole-row forms (vector
// bodies, string copies, blocks of stretched columns) run past their ends.
bool g_wide = false;

std::vector<uint32_t>& LoopCounts() {
    static std::vector<uint32_t> counts(BlitLoopTotal());
    return counts;
}

uint32_t TotalRuns() {
    uint32_t n = 0;
    for (uint32_t v : LoopCounts()) n += v;
    return n;
}

std::string ComboText(const Combo& c, uint32_t seed) {
    char buf[200];
    std::snprintf(buf, sizeof buf, "type %d %s mode %d p %d graph %d bright#%d trans %d path %d seed %u",
                  c.type, kKindNames[c.kind], c.mode, c.p, c.graph, c.bright, c.trans, c.path, seed);
    return buf;
}

int R(std::mt19937& rng, int lo, int hi) { return lo + (int)(rng() % (uint32_t)(hi - lo + 1)); }

uint32_t RandomKey(std::mt19937& rng, int type, int kind) {
    int sel = R(rng, 0, 9);
    if (kind == KIND_PALETTE) return sel == 0 ? 256 + R(rng, 0, 255) : (uint32_t)R(rng, 0, 255);
    if (type == 0) return sel == 0 ? 0x10000u | (rng() & 0xFFFF) : (rng() & 0xFFFF);
    return rng();
}

CaseSettings RandomSettings(std::mt19937& rng, const Combo& c, int dw, int dh) {
    CaseSettings s;
    // Now and then the area runs past the view: the blit cuts it to the view.
    s.area.left = R(rng, -2, dw / 2);
    s.area.top = R(rng, -2, dh / 2);
    s.area.right = R(rng, dw / 2, dw + 2);
    s.area.bottom = R(rng, dh / 2, dh + 2);
    s.mode = c.mode;
    s.p = c.p >= 0 ? c.p : R(rng, 0, 255);
    for (int i = 0; i < 3; i++) s.bright[i] = kBrights[c.bright][i] >= 0 ? kBrights[c.bright][i] : R(rng, 0, 255);
    for (int i = 0; i < 256; i++) {
        int sel = R(rng, 0, 7);
        s.graph_table[i] = (uint8_t)(sel == 0 ? 0 : sel == 1 ? 255 : R(rng, 0, 255));
    }
    return s;
}

ImageLayout SourceLayout(std::mt19937& rng, const Combo& c, bool whole_body) {
    ImageLayout ss;
    ss.type = c.type;
    ss.kind = c.kind;
    ss.width = g_wide ? R(rng, 1, 300) : R(rng, 1, 9);
    ss.height = g_wide ? R(rng, 1, 3) : R(rng, 1, 6);
    ss.key = RandomKey(rng, c.type, c.kind);
    ss.guard_before = R(rng, 0, 1) != 0;
    if (whole_body) {
        ss.run_codes = true;
    } else if (R(rng, 0, 3) == 0) {
        for (int& m : ss.margin) m = R(rng, 0, 2);
        ss.pitch_pad = R(rng, 0, 3);
    }
    return ss;
}

ImageLayout DestLayout(std::mt19937& rng, int type) {
    ImageLayout ds;
    ds.type = type;
    ds.width = g_wide ? R(rng, 4, 330) : R(rng, 4, 14);
    ds.height = g_wide ? R(rng, 3, 5) : R(rng, 3, 9);
    for (int& m : ds.margin) m = R(rng, 0, 2);
    ds.pitch_pad = R(rng, 0, 5);
    return ds;
}

// A position that shows the whole sw x sh source on dst, and an area that takes it in.
void PlaceWhole(std::mt19937& rng, const TestImage& dst, int sw, int sh, int* x, int* y, Rect* area) {
    *x = R(rng, 0, std::max(0, dst.img.width - sw));
    *y = R(rng, 0, std::max(0, dst.img.height - sh));
    *area = Rect{R(rng, -1, *x), R(rng, -1, *y), *x + sw + R(rng, 0, 2), *y + sh + R(rng, 0, 2)};
}

// Draws by the reference into a copy of dst's body, then by the renderer (each
// given the graph, if the combination has one), and compares the bodies.
// Returns "" or what went wrong, with the case's placement and settings.
template <class RefDraw, class Draw>
std::string DrawBothAndCompare(const Combo& c, std::mt19937& rng, TestImage& dst, const TestImage& src,
                               const CaseSettings& s, const char* placement, RefDraw ref_draw, Draw draw) {
    int sw = src.img.width, sh = src.img.height;
    std::unique_ptr<TestGraph> graph(c.graph ? new TestGraph(sw + R(rng, 0, 1), sh + R(rng, 0, 1), rng) : nullptr);

    std::vector<uint8_t> expected = BodyOf(dst);
    RefImage dref = dst.Ref(expected.data());
    RefGraph gref;
    if (graph) gref = graph->Ref();
    ref_draw(RefOf(s), dref, src.Ref(), graph ? &gref : nullptr);

    ApplySettings(s);
    draw(graph ? &graph->img : nullptr);
    std::string err = CompareBody(dst, expected);
    if (err.empty()) return "";
    char buf[40];
    std::snprintf(buf, sizeof buf, " | src %dx%d ", sw, sh);
    return err + buf + placement + " | " + Describe(s);
}

// One whole-image case; returns "" or what went wrong.
std::string RunWholeCase(const Combo& c, uint32_t seed) {
    std::mt19937 rng(seed);
    TestImage dst(DestLayout(rng, c.type));
    bool whole_body = c.path == 1;
    TestImage src(SourceLayout(rng, c, whole_body));
    dst.Randomise(rng, false);
    src.Randomise(rng, true);
    CaseSettings s = RandomSettings(rng, c, dst.img.width, dst.img.height);
    int sw = src.img.width, sh = src.img.height;
    int x, y;
    if (whole_body) {
        PlaceWhole(rng, dst, sw, sh, &x, &y, &s.area);
    } else {
        x = R(rng, -sw, dst.img.width);
        y = R(rng, -sh, dst.img.height);
        if (R(rng, 0, 15) == 0) x += R(rng, 0, 1) ? 1000 : -1000;
    }
    char placement[80];
    std::snprintf(placement, sizeof placement, "at (%d,%d) key %08X", x, y, src.rec.trans_color);
    return DrawBothAndCompare(
        c, rng, dst, src, s, placement,
        [&](const RefSettings& rs, RefImage& dref, const RefImage& sref, const RefGraph* g) {
            RefDrawWhole(rs, dref, sref, x, y, c.trans, g);
        },
        [&](const MEMIMG* g) { DrawMemImg(&dst.img, &src.img, x, y, c.trans, g); });
}

std::string RunStretchCase(const Combo& c, uint32_t seed) {
    std::mt19937 rng(seed);
    TestImage dst(DestLayout(rng, c.type));
    // path 1: now and then exactly the source's size, unmirrored (handed to DrawMemImg).
    bool same = c.path == 1 && R(rng, 0, 3) == 0;
    TestImage src(SourceLayout(rng, c, c.path == 1));
    dst.Randomise(rng, false);
    src.Randomise(rng, true);
    CaseSettings s = RandomSettings(rng, c, dst.img.width, dst.img.height);
    int sw = src.img.width, sh = src.img.height;
    auto extent = [&](int n) {
        switch (R(rng, 0, 5)) {
        case 0: return n;
        case 1: return 2 * n;
        case 2: return std::max(1, n / 2);
        case 3: return R(rng, 0, 3);
        default: return R(rng, 1, 16);
        }
    };
    int ew = same ? sw : extent(sw), eh = same ? sh : extent(sh);
    int x1 = R(rng, 1 - ew, dst.img.width - 1), y1 = R(rng, 1 - eh, dst.img.height - 1);
    if (same) PlaceWhole(rng, dst, sw, sh, &x1, &y1, &s.area);
    int x2 = x1 + ew, y2 = y1 + eh;
    if (!same && R(rng, 0, 2) == 0) std::swap(x1, x2);
    if (!same && R(rng, 0, 2) == 0) std::swap(y1, y2);
    char placement[80];
    std::snprintf(placement, sizeof placement, "rect (%d,%d)-(%d,%d)", x1, y1, x2, y2);
    const Rect rc = {x1, y1, x2, y2};
    return DrawBothAndCompare(
        c, rng, dst, src, s, placement,
        [&](const RefSettings& rs, RefImage& dref, const RefImage& sref, const RefGraph* g) {
            RefDrawStretched(rs, dref, sref, x1, y1, x2, y2, c.trans, g);
        },
        [&](const MEMIMG* g) { DrawMemImgStretched(&dst.img, &src.img, &rc, c.trans, g); });
}

// Every combination once, with a seed derived from the family seed.
int Sweep(bool stretched, uint32_t family_seed, int* cases) {
    EnsureBlitTables();
    BlitSetLoopCounter(LoopCounts().data());
    int failures = 0;
    uint32_t n = 0;
    for (int type = 0; type < 2; type++)
    for (int kind = 0; kind < 3; kind++)
    for (int mode : kModes)
    for (int p : kPs)
    for (int graph = 0; graph < 2; graph++)
    for (int bright = 0; bright < 4; bright++)
    for (int trans = 0; trans < 3; trans++)
    for (int path = 0; path < 2; path++) {
        Combo c = {type, kind, mode, p, graph, bright, trans, path};
        // The whole-row forms are those of plain sources at white bright.
        if (g_wide && (graph || bright > 1 || (p > 4 && p != 63 && p != 128 && p != 254 && p != 255))) continue;
        // A case clipped away draws nothing: try a few more placements then.
        bool draws = mode >= 0 && (mode <= 4 || mode == 10 || mode == 11);
        for (int attempt = 0; attempt < (draws ? 4 : 1); attempt++) {
            uint32_t before = TotalRuns();
            uint32_t seed = family_seed * 2654435761u + n++;
            std::string err = stretched ? RunStretchCase(c, seed) : RunWholeCase(c, seed);
            if (!err.empty()) {
                if (++failures <= 12) ADD_FAILURE() << ComboText(c, seed) << ": " << err;
            }
            if (TotalRuns() != before) break;
        }
    }
    BlitSetLoopCounter(nullptr);
    *cases = (int)n;
    return failures;
}

bool g_whole_done, g_stretch_done;

}  // namespace

TEST(BlitDifferential, WholeImageMatchesReference) {
    int cases = 0;
    EXPECT_EQ(Sweep(false, 1, &cases), 0) << "of " << cases << " cases";
    g_whole_done = true;
}

TEST(BlitDifferential, StretchedMatchesReference) {
    int cases = 0;
    EXPECT_EQ(Sweep(true, 2, &cases), 0) << "of " << cases << " cases";
    g_stretch_done = true;
}

TEST(BlitDifferential, WideRowsMatchReference) {
    g_wide = true;
    int whole = 0, stretched = 0;
    EXPECT_EQ(Sweep(false, 3, &whole), 0) << "of " << whole << " cases";
    EXPECT_EQ(Sweep(true, 4, &stretched), 0) << "of " << stretched << " cases";
    g_wide = false;
}

// A wrong dispatch index is the likeliest fault of a table of generated loops:
// every loop must have run in the sweeps (and matched the reference there).
TEST(BlitDifferential, EveryGeneratedLoopRan) {
    int cases = 0;
    if (!g_whole_done) Sweep(false, 1, &cases);
    if (!g_stretch_done) Sweep(true, 2, &cases);
    const std::vector<uint32_t>& counts = LoopCounts();
    int missing = 0;
    for (int id = 0; id < BlitLoopTotal(); id++) {
        if (counts[id] == 0) {
            char name[80];
            BlitLoopName(id, name, sizeof name);
            if (++missing <= 20) ADD_FAILURE() << "loop " << id << " never ran: " << name;
        }
    }
    EXPECT_EQ(missing, 0);
}
