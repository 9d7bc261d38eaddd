// Properties that hold across the blits whatever the pixels.
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <vector>
#include "blit_harness.h"
#include "engine/graphics/draw_settings.h"
#include "engine/softrender/blit.h"
#include "engine/softrender/blit_stats.h"

namespace {

struct Scene {
    Scene(int type, int kind, uint32_t seed, bool codes = false) : rng(seed) {
        ImageLayout ss;
        ss.type = type;
        ss.kind = kind;
        ss.width = 7;
        ss.height = 5;
        ss.key = kind == KIND_PALETTE ? 3 : type ? 0x00FF00FFu : 0xF81Fu;
        ss.run_codes = codes;
        src.reset(new TestImage(ss));
        src->Randomise(rng, true);
        ImageLayout ds;
        ds.type = type;
        ds.width = 24;
        ds.height = 16;
        dst.reset(new TestImage(ds));
        dst->Randomise(rng, false);
        graph.reset(new TestGraph(7, 5, rng));
        for (int i = 0; i < 256; i++) BlendGraphicTable[i] = (uint8_t)rng();
    }
    std::vector<uint8_t> Body() const { return std::vector<uint8_t>(dst->body, dst->body + dst->body_size); }
    void Restore(const std::vector<uint8_t>& b) { std::copy(b.begin(), b.end(), dst->body); }
    std::mt19937 rng;
    std::unique_ptr<TestImage> src, dst;
    std::unique_ptr<TestGraph> graph;
};

const int kBrights[][3] = {{255, 255, 255}, {200, 100, 255}};

}  // namespace

TEST(BlitProperties, Mode1AtP255EqualsMode0AndP0ChangesNothing) {
    for (int type = 0; type < 2; type++)
    for (int kind = 0; kind < 3; kind++)
    for (int g = 0; g < 2; g++)
    for (auto& br : kBrights)
    for (int trans = 0; trans < 3; trans++) {
        Scene sc(type, kind, 100 + type * 7 + kind);
        ResetDrawSettings(24, 16);
        SetBright(br[2], br[1], br[0]);
        const MEMIMG* graph = g ? &sc.graph->img : nullptr;
        std::vector<uint8_t> before = sc.Body();
        Rect rc = {2, 3, 13, 1};   // stretched and mirrored vertically
        GDrawSettings.blend_mode = 0;
        DrawMemImg(&sc.dst->img, &sc.src->img, 5, 4, trans, graph);
        DrawMemImgStretched(&sc.dst->img, &sc.src->img, &rc, trans, graph);
        std::vector<uint8_t> mode0 = sc.Body();
        sc.Restore(before);
        GDrawSettings.blend_mode = 1;
        GDrawSettings.blend_param = 255;
        DrawMemImg(&sc.dst->img, &sc.src->img, 5, 4, trans, graph);
        DrawMemImgStretched(&sc.dst->img, &sc.src->img, &rc, trans, graph);
        EXPECT_TRUE(sc.Body() == mode0) << type << kind << g << trans;
        sc.Restore(before);
        for (int mode : {1, 2}) {
            GDrawSettings.blend_mode = mode;
            GDrawSettings.blend_param = 0;
            DrawMemImg(&sc.dst->img, &sc.src->img, 5, 4, trans, graph);
            DrawMemImgStretched(&sc.dst->img, &sc.src->img, &rc, trans, graph);
            EXPECT_TRUE(sc.Body() == before) << "mode " << mode;
        }
    }
}

TEST(BlitProperties, SameSizeStretchIsTheWholeImageBlit) {
    std::vector<uint32_t> counts(BlitLoopTotal());
    BlitSetLoopCounter(counts.data());
    for (int type = 0; type < 2; type++)
    for (int kind = 0; kind < 3; kind++)
    for (int mode : {0, 1, 2, 3}) {
        Scene sc(type, kind, 200 + mode, true);
        ResetDrawSettings(24, 16);
        GDrawSettings.blend_mode = mode;
        GDrawSettings.blend_param = 128;
        std::vector<uint8_t> before = sc.Body();
        DrawMemImg(&sc.dst->img, &sc.src->img, 3, 2, 1, nullptr);
        std::vector<uint8_t> whole = sc.Body();
        sc.Restore(before);
        Rect rc = {3, 2, 10, 7};
        DrawMemImgStretched(&sc.dst->img, &sc.src->img, &rc, 1, nullptr);
        EXPECT_TRUE(sc.Body() == whole) << type << kind << mode;
    }
    BlitSetLoopCounter(nullptr);
    // Both went through the run-length loops, none through a stretched one.
    char name[80];
    int rle = 0;
    for (int id = 0; id < BlitLoopTotal(); id++) {
        BlitLoopName(id, name, sizeof name);
        if (counts[id] && std::string(name).compare(0, 7, "stretch") == 0) ADD_FAILURE() << name;
        if (counts[id] && std::string(name).compare(0, 3, "rle") == 0) rle += counts[id];
    }
    EXPECT_EQ(rle, 2 * 3 * 4 * 2);
}

TEST(BlitProperties, WholeFactorStretchGivesBlocks) {
    for (int type = 0; type < 2; type++)
    for (int kind = 0; kind < 3; kind++)
    for (int mode : {0, 2, 4})
    for (int k : {2, 3}) {
        Scene sc(type, kind, 300 + k);
        ResetDrawSettings(24, 16);
        GDrawSettings.blend_mode = mode;
        GDrawSettings.blend_param = 150;
        sc.dst->Fill(type ? 0x00406080u : 0x4210u);
        // Drawn 1:1 first, to know each source pixel's result on this destination
        // (with the transparent flag: without it, mode 0 copies alpha pixels
        // whole only in the whole-image blit).
        DrawMemImg(&sc.dst->img, &sc.src->img, 0, 0, 1, nullptr);
        std::vector<uint32_t> one;
        for (int y = 0; y < 5; y++)
            for (int x = 0; x < 7; x++) one.push_back(sc.dst->Get(x, y));
        sc.dst->Fill(type ? 0x00406080u : 0x4210u);
        Rect rc = {0, 0, 7 * k, 5 * k};
        GDrawSettings.draw_area = Rect{0, 0, 24, 16};
        DrawMemImgStretched(&sc.dst->img, &sc.src->img, &rc, 1, nullptr);
        for (int y = 0; y < 5 * k && y < 16; y++)
            for (int x = 0; x < 7 * k && x < 24; x++)
                ASSERT_EQ(sc.dst->Get(x, y), one[(y / k) * 7 + x / k])
                    << "type " << type << " kind " << kind << " mode " << mode << " k " << k << " at " << x << "," << y;
    }
}

TEST(BlitProperties, RunLengthAndPerPixelPathsLeaveTheSamePixelsAlone) {
    // A destination colour that no drawn pixel produces marks the untouched ones.
    for (int type = 0; type < 2; type++)
    for (int kind = 0; kind < 3; kind++) {
        Scene sc(type, kind, 400 + kind, true);
        uint32_t mark = type ? 0x5A000000u : 0x0001u;
        for (int i = 0; i < 256 * (type ? 4 : 2) && sc.src->palette; i++) sc.src->palette[i] |= 0x40;
        for (int y = 0; y < 5; y++)
            for (int x = 0; x < 7; x++) {
                uint32_t v = sc.src->Get(x, y);
                if (kind == KIND_DIRECT && v != sc.src->rec.trans_color) sc.src->Set(x, y, v | (type ? 0x2020 : 0x0820));
                if (kind == KIND_ALPHA) sc.src->Set(x, y, v | (type ? 0x2020 : 0x0820));
            }
        sc.src->BuildRuns();
        std::vector<uint32_t> masks[2];
        for (int trans : {1, 2}) {
            ResetDrawSettings(24, 16);
            GDrawSettings.blend_mode = 0;
            sc.dst->Fill(mark);
            DrawMemImg(&sc.dst->img, &sc.src->img, 4, 4, trans, nullptr);
            for (int y = 0; y < 16; y++)
                for (int x = 0; x < 24; x++) masks[trans - 1].push_back(sc.dst->Get(x, y) == mark);
        }
        EXPECT_EQ(masks[0], masks[1]) << type << kind;
        int untouched = 0;
        for (uint32_t m : masks[0]) untouched += m;
        EXPECT_GT(untouched, 24 * 16 - 35);   // some pixels were transparent
        EXPECT_LT(untouched, 24 * 16);        // and some drawn
    }
}
