// Software text: the destination pixel of every cache value, straight writes
// against the work image path, the work image's colour key, and clipping.
#include "font_test_util.h"

#include <cmath>
#include "engine/graphics/draw_shapes.h"
#include "engine/image/memimg.h"
#include "engine/system/memory.h"

namespace {

// The destination pixel for one cache value, written from the pixel table with
// floating-point channel arithmetic; false when the pixel is left alone.
bool ReferencePixel(int depth, int type, int v, uint32_t text, uint32_t edge, uint32_t* out) {
    const bool d16 = depth == 16;
    const int alpha_shift = d16 ? 16 : 24;
    switch (type) {
    case 0: if (!v) return false; *out = text; return true;
    case 1:
        if (v == 0) return false;
        *out = v == 1 ? text : (d16 ? edge : edge & 0xFFFFFF);
        return true;
    case 2:
        if (v == 0) return false;
        *out = (uint32_t)(v * 16) << alpha_shift | (d16 ? text & 0xFFFF : text);
        return true;
    }
    int b = v & 15, e = v >> 4;
    if (b == 0 && e == 0) return false;
    if (b == 15) { *out = (d16 ? text & 0xFFFF : text) | 0xFFu << alpha_shift; return true; }
    if (b == 0) { *out = (uint32_t)(e * 16) << alpha_shift | edge; return true; }
    int a = ((15 - b) * e + 16 * b) % 256;
    int t = b * 4096 / a;
    struct Field { int shift, bits; };
    const Field f16[] = {{11, 5}, {5, 6}, {0, 5}}, f32[] = {{16, 8}, {8, 8}, {0, 8}};
    uint32_t px = (uint32_t)a << alpha_shift;
    for (const Field& f : d16 ? f16 : f32) {
        int mask = (1 << f.bits) - 1;
        double tc = (text >> f.shift) & mask, ec = (edge >> f.shift) & mask;
        px |= (uint32_t)(ec + std::floor((tc - ec) * t / 256.0)) << f.shift;
    }
    *out = px;
    return true;
}

// Fills cell 0 of the font's software cache with every value the type can hold.
int FillCellWithEveryValue(FontRecord* f, int side) {
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++) {
            int v = f->type == 0 ? (x + y) & 1 : f->type == 1 ? (x + y) % 3 : f->type == 2 ? x : y * 16 + x;
            if (f->type == 0) {
                uint8_t& byte = f->soft_bitmap[y * f->soft_pitch + x / 8];
                byte = (uint8_t)(v ? byte | (0x80 >> (x % 8)) : byte & ~(0x80 >> (x % 8)));
            } else {
                f->soft_bitmap[y * f->soft_pitch + x] = (uint8_t)v;
            }
        }
    return 0;
}

TEST_F(SoftFonts, EveryCacheValueBecomesThePixelOfTheTable) {
    const int side = 16;
    const int saved_depth = GScreenMode.color_depth;
    for (int depth : {8, 16, 32}) {
        GScreenMode.color_depth = depth;
        for (int type = 0; type < (depth == 8 ? 2 : 4); type++) {
            for (int trans : {1, 0}) {
                int h = CreateFontToHandle(nullptr, 16, -1, type, -1, -1, 0);
                FontRecord* f = GetFontRecord(h);
                ASSERT_GE(f->cell, side);
                FillCellWithEveryValue(f, side);
                MEMIMG dst;
                int aa = type >= 2;
                int flags = depth == 8 ? MEMIMG_CREATE_PALETTE : aa ? MEMIMG_CREATE_ALPHA : 0;
                ASSERT_EQ(MemImageCreate(&dst, side + 2, side + 2, depth == 32 ? MEMIMG_TYPE_32 : MEMIMG_TYPE_16,
                                         flags, 0), 0);
                int bpp = MemImageBytesPerPixel(&dst);
                const uint32_t guard = 0x5A5A5A5A;
                MemImageFillRect(&dst, nullptr, guard);
                uint32_t text = depth == 32 ? 0xC8285A : 0xC94B, edge = depth == 32 ? 0x0AFA1E : 0x0FE3;
                WriteGlyphSoftware(f, &dst, nullptr, trans, 1, 1, 0, 0, side, side, text, edge, 0);
                for (int y = 0; y < side + 2; y++)
                    for (int x = 0; x < side + 2; x++) {
                        uint32_t got = 0;
                        std::memcpy(&got, MemImagePixelAt(&dst, x, y), bpp);
                        uint32_t want = bpp == 1 ? guard & 0xFF : bpp == 2 ? guard & 0xFFFF : guard;
                        bool inside = x >= 1 && y >= 1 && x <= side && y <= side;
                        if (inside) {
                            int gx = x - 1, gy = y - 1;
                            int v = type == 0 ? (gx + gy) & 1 : type == 1 ? (gx + gy) % 3 : type == 2 ? gx : gy * 16 + gx;
                            if (!ReferencePixel(depth, type, v, text, edge, &want) && !trans) want = 0;
                        }
                        if (depth == 8) want &= 0xFF;  // the low byte of the colours
                        ASSERT_EQ(got, want) << "depth " << depth << " type " << type << " trans " << trans << " at "
                                             << x << "," << y;
                    }
                MemImageRelease(&dst);
                DeleteFontHandle(h);
            }
        }
    }
    // Black text with a white edge: a half-covered body over a full edge is grey in
    // every channel, and no channel spills into another.
    GScreenMode.color_depth = 32;
    int h = CreateFontToHandle(nullptr, 16, -1, 3, -1, -1, 0);
    FontRecord* f = GetFontRecord(h);
    f->soft_bitmap[0] = 0xF8;
    MEMIMG dst;
    ASSERT_EQ(MemImageCreate(&dst, 1, 1, MEMIMG_TYPE_32, MEMIMG_CREATE_ALPHA, 0), 0);
    WriteGlyphSoftware(f, &dst, nullptr, 1, 0, 0, 0, 0, 1, 1, 0, 0xFFFFFF, 0);
    EXPECT_EQ(*(uint32_t*)dst.pixels, 0xE9737373u);
    MemImageRelease(&dst);
    GScreenMode.color_depth = saved_depth;
}

class SoftText : public SoftFonts {
protected:
    void SetUp() override {
        SoftFonts::SetUp();
        UseScript();
        g_script.glyphs['A'] = GlyphBits({"xx", "x."}, 6, 0, 12);
        font = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0);
        ASSERT_GE(font, 0);
    }
    // Top-left glyph pixel of 'A' drawn at (x, y).
    void GlyphAt(int x, int y, int* px, int* py) {
        FontRecord* f = GetFontRecord(font);
        GlyphCacheSlot* s = f->codes['A'].slot;
        *px = x + s->origin_x + f->edge_size;
        *py = y + s->top_offset + f->edge_size;
    }
    uint16_t WorkPixel(int x, int y) { return *(uint16_t*)MemImagePixelAt(GetTextWorkImage(0), x, y); }
    int font = -1;
};

TEST_F(SoftText, OpaqueTextGoesStraightOnAndBlendedTextThroughTheWorkImage) {
    MEMIMG* work = GetTextWorkImage(0);
    MemImageFillRect(work, nullptr, 0x1234);
    unsigned white = PackScreenColor(255, 255, 255);
    DrawBox(0, 0, 640, 480, PackScreenColor(64, 64, 64), 1);
    EXPECT_EQ(DrawTextWithFont(10, 10, "A", white, font, 0, 0), 0);
    EXPECT_EQ(WorkPixel(0, 0), 0x1234);  // not used
    SetBlendModeParam(DX_BLENDMODE_ALPHA, 255);
    EXPECT_EQ(DrawTextWithFont(30, 10, "A", white, font, 0, 0), 0);
    EXPECT_EQ(WorkPixel(0, 0), 0x1234);
    SetBlendModeParam(DX_BLENDMODE_ADD, 128);
    EXPECT_EQ(DrawTextWithFont(50, 10, "A", PackScreenColor(128, 0, 0), font, 0, 0), 0);
    SetBlendModeParam(DX_BLENDMODE_NOBLEND, 255);
    EXPECT_NE(WorkPixel(0, 0), 0x1234);
    int x, y;
    Capture cap;
    GlyphAt(10, 10, &x, &y);
    EXPECT_EQ(cap.At(x, y), 0xFFFFFFu);
    EXPECT_TRUE(RgbNear(cap.At(x + 1, y + 1), 66, 65, 66, 0));
    GlyphAt(50, 10, &x, &y);
    // Added at half strength: 64 + 128 / 2 in red, the rest as it was.
    EXPECT_TRUE(RgbNear(cap.At(x, y), 66 + 64, 65, 66, 8));
    EXPECT_TRUE(RgbNear(cap.At(x + 1, y + 1), 66, 65, 66, 0));
}

TEST_F(SoftText, TextInTheWorkImagesKeyColourStillShows) {
    int edged = CreateFontToHandle(nullptr, 16, -1, 1, -1, 1, 0);
    unsigned red = PackScreenColor(255, 0, 0);
    MEMIMG* work = GetTextWorkImage(0);
    work->shared->trans_color = red;
    ClearScreen();
    SetBlendModeParam(DX_BLENDMODE_ALPHA, 254);
    EXPECT_EQ(DrawTextWithFont(10, 10, "A", red, font, 0, 0), 0);
    EXPECT_EQ(work->shared->trans_color, red + 1);
    // The edge colour takes the next value: the key moves past both.
    work->shared->trans_color = red;
    EXPECT_EQ(DrawTextWithFont(10, 40, "A", red, edged, red + 1, 0), 0);
    EXPECT_EQ(work->shared->trans_color, red + 2);
    SetBlendModeParam(DX_BLENDMODE_NOBLEND, 255);
    int x, y;
    GlyphAt(10, 10, &x, &y);
    Capture cap;
    EXPECT_TRUE(RgbNear(cap.At(x, y), 255, 0, 0, 8));
    EXPECT_TRUE(RgbNear(cap.At(x + 1, y + 1), 0, 0, 0, 0));
}

TEST_F(SoftText, AntialiasedTextBlendsItsCoverage) {
    g_script.glyphs['B'] = GlyphBits({"g8"}, 6, 0, 12);
    int aa = CreateFontToHandle(nullptr, 16, -1, 2, -1, -1, 0);
    ClearScreen();
    EXPECT_EQ(DrawTextWithFont(10, 10, "B", PackScreenColor(255, 255, 255), aa, 0, 0), 0);
    FontRecord* f = GetFontRecord(aa);
    GlyphCacheSlot* s = f->codes['B'].slot;
    int x = 10 + s->origin_x + 1, y = 10 + s->top_offset + 1;
    Capture cap;
    // Levels 16 and 8 are alpha 240 and 112 over black.
    EXPECT_TRUE(RgbNear(cap.At(x, y), 240, 240, 240, 8));
    EXPECT_TRUE(RgbNear(cap.At(x + 1, y), 112, 112, 112, 8));
    EXPECT_TRUE(RgbNear(cap.At(x + 2, y), 0, 0, 0, 0));
}

TEST_F(SoftText, GlyphsAreClippedToTheDrawAreaAndTheScreen) {
    g_script.glyphs['W'] = GlyphBits(std::vector<std::string>(8, "xxxxxxxx"), 10, 0, 12);
    unsigned white = PackScreenColor(255, 255, 255);
    DrawBox(0, 0, 640, 480, PackScreenColor(0, 0, 255), 1);
    SetDrawArea(100, 100, 104, 300);
    // Across the area's right edge, horizontally and turned; blended through the work image too.
    EXPECT_EQ(DrawTextWithFont(98, 100, "W", white, font, 0, 0), 0);
    EXPECT_EQ(DrawTextWithFont(95, 150, "W", white, font, 0, 1), 0);
    SetBlendModeParam(DX_BLENDMODE_ADD, 255);
    EXPECT_EQ(DrawTextWithFont(98, 200, "W", white, font, 0, 1), 0);
    SetBlendModeParam(DX_BLENDMODE_NOBLEND, 255);
    SetDrawArea(0, 0, 640, 480);
    // Off every screen edge: nothing written outside the screen image.
    EXPECT_EQ(DrawTextWithFont(-5, -9, "WW", white, font, 0, 0), 0);
    EXPECT_EQ(DrawTextWithFont(634, 474, "WW", white, font, 0, 1), 0);
    SetBlendModeParam(DX_BLENDMODE_ADD, 255);
    EXPECT_EQ(DrawTextWithFont(630, 470, "WWW", white, font, 0, 0), 0);
    SetBlendModeParam(DX_BLENDMODE_NOBLEND, 255);
    Capture cap;
    int lit_inside = 0;
    for (int y = 90; y < 320; y++)
        for (int x = 80; x < 130; x++) {
            bool white_px = cap.At(x, y) == 0xFFFFFF;
            if (x < 100 || x >= 104) {
                EXPECT_FALSE(white_px) << x << "," << y;
            }
            lit_inside += white_px;
        }
    EXPECT_GE(lit_inside, 4 * 8);
    // A write past the screen image would have broken the next block's header.
    EXPECT_EQ(MemCheckIntegrity(), 0);
}

}  // namespace
