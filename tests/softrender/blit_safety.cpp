// Refusals and memory safety of the blits: bad images, sizes and streams, a
// graph too small, a palette count out of range, overlapping bodies and
// coordinates at the ends of the int range. Sources, graphs and codes sit flush
// against no-access pages; destinations are compared whole, margins included.
#include <gtest/gtest.h>
#include <climits>
#include <cstring>
#include <random>
#include <vector>
#include "blit_harness.h"
#include "engine/graphics/draw_settings.h"
#include "engine/softrender/blit.h"
#include "engine/softrender/blit_stats.h"
#include "support/portable_guard.h"

namespace {

ImageLayout Ringed(int type, int w, int h) {
    ImageLayout s = LayoutOf(type, KIND_DIRECT, w, h);
    s.margin[0] = s.margin[1] = s.margin[2] = s.margin[3] = 2;
    s.pitch_pad = 3;
    return s;
}

// A ringed destination and a direct source of one colour type, both random,
// under the default settings for the destination.
struct Pair {
    TestImage dst, src;
    Pair(std::mt19937& rng, int type, int dw, int dh, int sw, int sh)
        : dst(Ringed(type, dw, dh)), src(LayoutOf(type, KIND_DIRECT, sw, sh)) {
        dst.Randomise(rng, false);
        src.Randomise(rng, true);
        ResetDrawSettings(dw, dh);
    }
};

// Both entries, in a few modes, must leave dst's body as it was.
void ExpectNothingDrawn(TestImage& dst, const MEMIMG* src, const MEMIMG* graph = nullptr, int trans = 0) {
    std::vector<uint8_t> before = BodyOf(dst);
    for (int mode : {0, 1, 2, 4}) {
        GDrawSettings.blend_mode = mode;
        GDrawSettings.blend_param = 100;
        DrawMemImg(&dst.img, src, 1, 1, trans, graph);
        Rect rc = {0, 0, 9, 9};
        DrawMemImgStretched(&dst.img, src, &rc, trans, graph);
        Rect mirrored = {9, 0, 0, 9};
        DrawMemImgStretched(&dst.img, src, &mirrored, trans, graph);
    }
    EXPECT_TRUE(BodyOf(dst) == before);
}

// Runs both the renderer and the reference on dst and compares.
void ExpectAsReference(TestImage& dst, TestImage& src, int x, int y, int trans, const Rect* stretch = nullptr) {
    std::vector<uint8_t> expected = BodyOf(dst);
    RefImage dref = dst.Ref(expected.data());
    RefImage sref = src.Ref();
    RefSettings rs = RefOfDrawSettings();
    if (stretch) {
        RefDrawStretched(rs, dref, sref, stretch->left, stretch->top, stretch->right, stretch->bottom, trans, nullptr);
        DrawMemImgStretched(&dst.img, &src.img, stretch, trans, nullptr);
    } else {
        RefDrawWhole(rs, dref, sref, x, y, trans, nullptr);
        DrawMemImg(&dst.img, &src.img, x, y, trans, nullptr);
    }
    EXPECT_EQ(CompareBody(dst, expected), "");
}

int RunsOfWalker(const std::vector<uint32_t>& counts, const char* walker) {
    char name[80];
    int n = 0;
    for (int id = 0; id < BlitLoopTotal(); id++) {
        BlitLoopName(id, name, sizeof name);
        if (std::string(name).compare(0, std::strlen(walker), walker) == 0) n += counts[id];
    }
    return n;
}

}  // namespace

TEST(BlitSafety, NullOrBadImagesReturnAtOnce) {
    std::mt19937 rng(1);
    Pair p(rng, 1, 8, 8, 3, 3);
    TestImage &dst = p.dst, &src = p.src;
    std::vector<uint8_t> before = BodyOf(dst);
    DrawMemImg(nullptr, &src.img, 0, 0, 0, nullptr);
    DrawMemImg(&dst.img, nullptr, 0, 0, 0, nullptr);
    DrawMemImgStretched(&dst.img, &src.img, nullptr, 0, nullptr);
    DrawMemImgStretched(nullptr, &src.img, nullptr, 0, nullptr);
    src.img.magic = 0;
    ExpectNothingDrawn(dst, &src.img);
    src.img.magic = MEMIMG_MAGIC;
    MemImgShared* rec = src.img.shared;
    src.img.shared = nullptr;
    ExpectNothingDrawn(dst, &src.img);
    src.img.shared = rec;
    dst.img.magic = 0x12345679;
    ExpectNothingDrawn(dst, &src.img);
    EXPECT_TRUE(BodyOf(dst) == before);
}

TEST(BlitSafety, RefusedCombinationsDrawNothing) {
    std::mt19937 rng(2);
    ResetDrawSettings(8, 8);
    TestImage dst(Ringed(1, 8, 8));
    dst.Randomise(rng, false);
    TestImage src16(LayoutOf(0, KIND_DIRECT, 3, 3));
    src16.Randomise(rng, true);
    ExpectNothingDrawn(dst, &src16.img);   // colour types differ
    TestImage src(LayoutOf(1, KIND_DIRECT, 3, 3));
    src.Randomise(rng, true);
    for (int kind : {KIND_PALETTE, KIND_ALPHA}) {   // palette and alpha destinations
        ImageLayout ds = Ringed(1, 8, 8);
        ds.kind = kind;
        TestImage bad(ds);
        bad.Randomise(rng, false);
        ExpectNothingDrawn(bad, &src.img);
    }
    src.rec.color_type = 2;
    dst.rec.color_type = 2;
    ExpectNothingDrawn(dst, &src.img);
    src.rec.color_type = 1;
    dst.rec.color_type = 1;
    std::vector<uint8_t> before = BodyOf(dst);
    for (int mode : {5, 6, 7, 8, 9, 12, 13, 100, -1, INT_MIN}) {
        GDrawSettings.blend_mode = mode;
        DrawMemImg(&dst.img, &src.img, 1, 1, 0, nullptr);
        Rect rc = {0, 0, 7, 5};
        DrawMemImgStretched(&dst.img, &src.img, &rc, 0, nullptr);
    }
    GDrawSettings.blend_mode = 0;
    GDrawSettings.draw_area = Rect{3, 0, 3, 8};   // zero width
    DrawMemImg(&dst.img, &src.img, 1, 1, 0, nullptr);
    Rect rc = {0, 0, 7, 5};
    DrawMemImgStretched(&dst.img, &src.img, &rc, 0, nullptr);
    EXPECT_TRUE(BodyOf(dst) == before);
}

TEST(BlitSafety, SourceOutsideTheAreaIsNeverRead) {
    // The source's pixels are a no-access page: any read faults.
    uint8_t* fence = GuardAlloc(0);
    ASSERT_NE(fence, nullptr);
    TestImage src(LayoutOf(1, KIND_DIRECT, 4, 4));
    uint8_t* saved = src.img.pixels;
    src.img.pixels = fence;
    TestImage dst(Ringed(1, 8, 8));
    ResetDrawSettings(8, 8);
    for (int mode : {0, 1, 3}) {
        GDrawSettings.blend_mode = mode;
        DrawMemImg(&dst.img, &src.img, 8, 0, 1, nullptr);
        DrawMemImg(&dst.img, &src.img, -4, 2, 0, nullptr);
        DrawMemImg(&dst.img, &src.img, 2, INT_MIN, 0, nullptr);
        Rect rc = {20, 0, 30, 8};
        DrawMemImgStretched(&dst.img, &src.img, &rc, 0, nullptr);
        Rect mirrored = {0, -1, 8, -9};
        DrawMemImgStretched(&dst.img, &src.img, &mirrored, 0, nullptr);
    }
    src.img.pixels = saved;
    GuardFree(fence);
}

TEST(BlitSafety, BlendGraphSmallerThanTheSourceIsRefused) {
    std::mt19937 rng(3);
    Pair p(rng, 0, 8, 8, 4, 3);
    TestImage &dst = p.dst, &src = p.src;
    TestGraph narrow(3, 3, rng), low(4, 2, rng);
    ExpectNothingDrawn(dst, &src.img, &narrow.img);
    ExpectNothingDrawn(dst, &src.img, &low.img);
    TestGraph exact(4, 3, rng);   // flush against its fence: the whole graph is read
    for (int i = 0; i < 256; i++) BlendGraphicTable[i] = (uint8_t)i;
    std::vector<uint8_t> before = BodyOf(dst);
    GDrawSettings.blend_mode = 0;
    Rect rc = {8, 8, 0, 0};
    DrawMemImgStretched(&dst.img, &src.img, &rc, 0, &exact.img);
    DrawMemImg(&dst.img, &src.img, 4, 5, 0, &exact.img);
    EXPECT_FALSE(BodyOf(dst) == before);
}

TEST(BlitSafety, PaletteIsReadFromTheSourceWhateverItsCount) {
    std::mt19937 rng(4);
    for (int type = 0; type < 2; type++)
    for (int count : {0, 1, 256, 1000, -5}) {
        TestImage src(LayoutOf(type, KIND_PALETTE, 4, 2));
        src.Randomise(rng, true);
        for (int i = 0; i < 8; i++) src.img.pixels[i] = (uint8_t)(i == 0 ? 255 : i * 31);
        src.rec.palette_count = count;
        TestImage dst(Ringed(type, 8, 8));
        dst.Randomise(rng, false);
        ResetDrawSettings(8, 8);
        GDrawSettings.blend_mode = 0;
        ExpectAsReference(dst, src, 1, 1, 0);
        Rect rc = {0, 0, 8, 5};
        ExpectAsReference(dst, src, 0, 0, 0, &rc);
        GDrawSettings.blend_mode = 3;
        GDrawSettings.blend_param = 255;
        ExpectAsReference(dst, src, 1, 1, 0, &rc);
        int eb = type ? 4 : 2;
        uint32_t entry = 0;
        for (int b = 0; b < eb; b++) entry |= (uint32_t)src.palette[255 * eb + b] << (8 * b);
        GDrawSettings.blend_mode = 0;
        DrawMemImg(&dst.img, &src.img, 0, 0, 0, nullptr);
        EXPECT_EQ(dst.Get(0, 0), entry) << "count " << count;
    }
}

TEST(BlitSafety, PartViewNeverReplaysWholeBodyCodes) {
    std::mt19937 rng(5);
    std::vector<uint32_t> counts(BlitLoopTotal());
    TestImage src(LayoutOf(1, KIND_DIRECT, 9, 4, 0x00FF00FF, true));
    src.Randomise(rng, true);
    // A view of columns 2..5 that still carries the body's record and codes.
    MEMIMG view = src.img;
    view.pixels = src.At(2, 1);
    view.width = 4;
    view.height = 3;
    TestImage dst(Ringed(1, 8, 8));
    dst.Randomise(rng, false);
    ResetDrawSettings(8, 8);
    std::vector<uint8_t> expected = BodyOf(dst);
    RefImage dref = dst.Ref(expected.data());
    RefImage sref = src.Ref();
    sref.pixels = view.pixels;
    sref.width = 4;
    sref.height = 3;
    sref.codes = nullptr;
    RefSettings rs = {0, 0, 8, 8, 0, 255, {255, 255, 255}, BlendGraphicTable};
    RefDrawWhole(rs, dref, sref, 2, 2, 1, nullptr);
    BlitSetLoopCounter(counts.data());
    DrawMemImg(&dst.img, &view, 2, 2, 1, nullptr);
    BlitSetLoopCounter(nullptr);
    EXPECT_EQ(CompareBody(dst, expected), "");
    EXPECT_EQ(RunsOfWalker(counts, "rle"), 0);
    EXPECT_EQ(RunsOfWalker(counts, "pixel"), 1);
}

TEST(BlitSafety, MalformedRunCodesStayInBounds) {
    std::mt19937 rng(6);
    const std::vector<std::vector<uint8_t>> streams = {
        {0x7F, 0x7F, 0x7F},                  // runs far past the row, no end of row
        {0x43, 0xC0},                         // fewer rows than the image
        {0x7F, 0xC0, 0xBF, 0x3F, 0xFF, 0x41}, // overlong runs in every command, then garbage
        {0xC0, 0xC0, 0xC0, 0xC0, 0xC0},       // empty rows
        {0x40},                               // one pixel, then the stream ends
    };
    for (int type = 0; type < 2; type++)
    for (int kind = 0; kind < 3; kind++)
    for (const auto& stream : streams) {
        TestImage src(LayoutOf(type, kind, 5, 4, 1, true));
        src.Randomise(rng, true);
        uint8_t* codes = GuardAlloc(stream.size());
        std::copy(stream.begin(), stream.end(), codes);
        src.rec.run_codes.codes = codes;
        src.rec.run_codes.size = (int32_t)stream.size();
        src.rec.run_codes.capacity = (int32_t)stream.size();
        TestImage dst(Ringed(type, 8, 8));
        dst.Randomise(rng, false);
        ResetDrawSettings(8, 8);
        for (int mode : {0, 1, 2}) {
            GDrawSettings.blend_mode = mode;
            ExpectAsReference(dst, src, 1, 2, 1);
        }
        src.rec.run_codes.codes = src.codes;
        GuardFree(codes);
    }
}

TEST(BlitSafety, DrawingClearsTheDestinationsRunFlag) {
    std::mt19937 rng(7);
    TestImage dst(LayoutOf(1, KIND_DIRECT, 6, 6, 5, true));
    dst.Randomise(rng, true);
    TestImage src(LayoutOf(1, KIND_DIRECT, 2, 2));
    ResetDrawSettings(6, 6);
    ASSERT_EQ(dst.rec.rle_flag, 1);
    DrawMemImg(&dst.img, &src.img, 20, 20, 0, nullptr);   // outside: nothing written
    EXPECT_EQ(dst.rec.rle_flag, 1);
    DrawMemImg(&dst.img, &src.img, 1, 1, 0, nullptr);
    EXPECT_EQ(dst.rec.rle_flag, 0);
    dst.BuildRuns();
    Rect rc = {0, 0, 5, 5};
    DrawMemImgStretched(&dst.img, &src.img, &rc, 0, nullptr);
    EXPECT_EQ(dst.rec.rle_flag, 0);
}

TEST(BlitSafety, DrawAreaIsCutToTheDestination) {
    std::mt19937 rng(8);
    for (int type = 0; type < 2; type++) {
        Pair p(rng, type, 6, 5, 9, 8);
        TestImage &dst = p.dst, &src = p.src;
        GDrawSettings.draw_area = Rect{-100, -100, 1000, 1000};
        ExpectAsReference(dst, src, -1, -1, 0);
        Rect rc = {-3, 12, 20, -4};
        ExpectAsReference(dst, src, 0, 0, 0, &rc);
    }
}

TEST(BlitSafety, OverlappingSourceAndDestinationReadTheSourceAsItWas) {
    std::mt19937 rng(9);
    for (int type = 0; type < 2; type++)
    for (int mode : {0, 1, 2})
    for (int shift : {-3, -1, 1, 2, 7}) {
        TestImage body(Ringed(type, 12, 10));
        body.Randomise(rng, false);
        MEMIMG part = body.img;   // the same record, a part of it
        part.pixels = body.At(3, 3);
        part.width = 6;
        part.height = 4;
        ResetDrawSettings(12, 10);
        GDrawSettings.blend_mode = mode;
        GDrawSettings.blend_param = 99;
        std::vector<uint8_t> expected = BodyOf(body);
        RefImage dref = body.Ref(expected.data());
        RefImage sref = dref;
        sref.pixels = expected.data() + (part.pixels - body.body);
        sref.width = 6;
        sref.height = 4;
        sref.codes = nullptr;
        RefSettings rs = {0, 0, 12, 10, mode, 99, {255, 255, 255}, BlendGraphicTable};
        RefDrawWhole(rs, dref, sref, 3 + shift, 3 + shift / 2, 0, nullptr);
        RefDrawStretched(rs, dref, sref, 12 - shift, 0, 0, 9, 0, nullptr);
        DrawMemImg(&body.img, &part, 3 + shift, 3 + shift / 2, 0, nullptr);
        Rect rc = {12 - shift, 0, 0, 9};
        DrawMemImgStretched(&body.img, &part, &rc, 0, nullptr);
        EXPECT_EQ(CompareBody(body, expected), "") << type << mode << shift;
    }
}

TEST(BlitSafety, ExtremeCoordinatesAndExtents) {
    std::mt19937 rng(10);
    for (int type = 0; type < 2; type++) {
        Pair p(rng, type, 10, 6, 3, 2);
        TestImage &dst = p.dst, &src = p.src;
        TestImage dot(LayoutOf(type, KIND_DIRECT, 1, 1));
        dot.Randomise(rng, true);
        GDrawSettings.blend_mode = 2;
        GDrawSettings.blend_param = 77;
        for (int x : {INT_MAX, INT_MAX - 1, INT_MIN, INT_MIN + 2}) {
            ExpectAsReference(dst, src, x, 1, 0);
            ExpectAsReference(dst, src, 1, x, 0);
        }
        const Rect rects[] = {
            {INT_MIN, 0, INT_MAX, 6},            // extent near 2^32
            {INT_MAX, 6, INT_MIN, 0},            // the same, mirrored
            {-65531, 0, 5, 6},                   // extent 65536: 0 in a 32-bit shift
            {-100000, -70000, 7, 5},             // more than 32767 clipped at the low edges
            {5, 0, -100000, 6},
            {0, 0, 65536 * 3, 1},
        };
        for (const Rect& rc : rects) {
            ExpectAsReference(dst, src, 0, 0, 0, &rc);
            ExpectAsReference(dst, dot, 0, 0, 0, &rc);
        }
        // Source sizes the 16.16 stepping cannot take: nothing drawn, nothing hangs.
        TestImage wide(LayoutOf(type, KIND_DIRECT, 65537, 1));
        wide.Randomise(rng, true);
        TestImage empty(LayoutOf(type, KIND_DIRECT, 1, 1));
        empty.img.width = 0;
        std::vector<uint8_t> before = BodyOf(dst);
        Rect rc = {0, 0, 10, 6};
        DrawMemImgStretched(&dst.img, &wide.img, &rc, 0, nullptr);
        DrawMemImgStretched(&dst.img, &empty.img, &rc, 0, nullptr);
        DrawMemImg(&dst.img, &empty.img, 0, 0, 0, nullptr);
        EXPECT_TRUE(BodyOf(dst) == before);
    }
}
