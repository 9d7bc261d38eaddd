// The rasteriser on scripted glyphs: round robin, spaces, edge kernels, levels and
// glyphs that give no pixels or more than a cell holds.
#include "font_test_util.h"

namespace {

// Cache value at (x, y) of a slot's cell in a software cache.
int SoftCell(const FontRecord* f, const GlyphCacheSlot* s, int x, int y) {
    const uint8_t* row = f->soft_bitmap + (size_t)(s->cell * f->cell + y) * f->soft_pitch;
    if (f->soft_bits == 1) return (row[x >> 3] >> (7 - (x & 7))) & 1;
    return row[x];
}

// 16-bit pixel at (x, y) of a slot's cell in the texture cache image (body half,
// or the edge half with edge set).
uint16_t TexCell(const FontRecord* f, const GlyphCacheSlot* s, int x, int y, bool edge = false) {
    int cx, cy;
    FontCellOrigin(f, s->cell, &cx, &cy);
    if (edge) cx += f->cache_width;
    return *((const uint16_t*)((const uint8_t*)f->cache_image.pixels + (size_t)(cy + y) * f->cache_image.pitch) + cx + x);
}

class SoftRaster : public SoftFonts {};
class TexRaster : public D3DFonts {};

TEST_F(SoftRaster, ReplacementIsRoundRobinAndAFailedGlyphStillFreesItsSlot) {
    UseScript();
    for (char c : {'A', 'B', 'C', 'D'}) g_script.glyphs[(unsigned char)c] = GlyphBits({"x"});
    g_script.glyphs['F'].fail = true;
    int h = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0);
    FontRecord* f = GetFontRecord(h);
    f->capacity = 3;
    ResetFontCache(h);
    EXPECT_EQ(f->slots[3].cell, -1);
    GlyphRequest abc[] = {Req('A'), Req('B'), Req('C')};
    EXPECT_EQ(RenderGlyphsToCache(h, 3, abc), &f->slots[2]);
    EXPECT_TRUE(f->codes['A'].cached && f->codes['B'].cached && f->codes['C'].cached);
    GlyphRequest d = Req('D');
    EXPECT_EQ(RenderGlyphsToCache(h, 1, &d), &f->slots[0]);
    EXPECT_EQ(f->codes['A'].cached, 0);
    EXPECT_EQ(f->codes['D'].slot, &f->slots[0]);
    FontLogCapture log;
    GlyphRequest bad = Req('F');
    EXPECT_EQ(RenderGlyphsToCache(h, 1, &bad), nullptr);
    EXPECT_EQ(log.Count("GetGlyphOutline 関数が失敗しました"), 1);
    EXPECT_EQ(f->codes['B'].cached, 0);
    EXPECT_EQ(f->codes['F'].cached, 0);
    EXPECT_EQ(f->slots[1].in_use, 0);
    // The next character takes the freed slot.
    GlyphRequest a = Req('A');
    EXPECT_EQ(RenderGlyphsToCache(h, 1, &a), &f->slots[1]);
}

TEST_F(SoftRaster, SpacesTakeASlotWithAnAdvanceAndNoPixels) {
    UseScript();
    FakeGlyph space;
    space.advance = 8;
    g_script.glyphs[0x20] = space;
    space.advance = 16;
    g_script.glyphs[0x8140] = space;
    int h = CreateFontToHandle(nullptr, 16, -1, 1, -1, 2, 0);
    FontRecord* f = GetFontRecord(h);
    GlyphRequest r[] = {Req(0x20), Req(0x81, 0x40)};
    ASSERT_NE(RenderGlyphsToCache(h, 2, r), nullptr);
    GlyphCacheSlot* s1 = f->codes[0x20].slot;
    GlyphCacheSlot* s2 = f->codes[0x4081].slot;
    ASSERT_TRUE(s1 && s2);
    EXPECT_EQ(s1->advance, 12);
    EXPECT_EQ(s2->advance, 20);
    EXPECT_EQ(s1->box_width, 4);
    EXPECT_EQ(SoftCell(f, s2, 2, 2), 0);
}

// Expected edge masks around a one-pixel glyph at (e, e): '1' body, '2' edge.
struct KernelCase {
    int edge;
    std::vector<std::string> rows;
};

TEST_F(SoftRaster, EdgeKernelsGrowRoundEveryBodyPixel) {
    UseScript();
    g_script.glyphs['A'] = GlyphBits({"x"}, 6, 1, 12);
    const KernelCase cases[] = {
        {1, {".2.", "212", ".2."}},
        {2, {".222.", "22222", "22122", "22222", ".222."}},
        {3, {"...2...", ".22222.", ".22222.", "2221222", ".22222.", ".22222.", "...2..."}},
        {4, {"..22222..", ".2222222.", "222222222", "222222222", "222212222", "222222222", "222222222", ".2222222.",
             "..22222.."}},
        {5, {"22222222222", "22222222222", "22222222222", "22222222222", "22222222222", "22222122222", "22222222222",
             "22222222222", "22222222222", "22222222222", "22222222222"}},
    };
    for (const KernelCase& c : cases) {
        int h = CreateFontToHandle(nullptr, 16, -1, 1, -1, c.edge, 0);
        ASSERT_GE(h, 0);
        FontRecord* f = GetFontRecord(h);
        GlyphRequest r = Req('A');
        GlyphCacheSlot* s = RenderGlyphsToCache(h, 1, &r);
        ASSERT_NE(s, nullptr);
        // Box and advance grow by twice the edge.
        EXPECT_EQ(s->box_width, 1 + 2 * c.edge);
        EXPECT_EQ(s->box_height, 1 + 2 * c.edge);
        EXPECT_EQ(s->advance, 6 + 2 * c.edge);
        EXPECT_EQ(s->origin_x, 1);
        int n = 2 * c.edge + 1;
        for (int y = 0; y < n + 1; y++)
            for (int x = 0; x < n + 1; x++) {
                char want = x < n && y < n ? c.rows[y][x] : '.';
                int v = SoftCell(f, s, x, y);
                EXPECT_EQ(v, want == '.' ? 0 : want - '0') << "edge " << c.edge << " at " << x << "," << y;
            }
        DeleteFontHandle(h);
    }
}

TEST_F(SoftRaster, LevelsAndNibblesOfAntialiasedCaches) {
    UseScript();
    g_script.glyphs['A'] = GlyphBits({"0g8", "1.."});
    int aa = CreateFontToHandle(nullptr, 16, -1, 2, -1, -1, 0);
    int aae = CreateFontToHandle(nullptr, 16, -1, 3, -1, 1, 0);
    int plain = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0);
    GlyphRequest r = Req('A');
    FontRecord* f = GetFontRecord(aa);
    GlyphCacheSlot* s = RenderGlyphsToCache(aa, 1, &r);
    ASSERT_NE(s, nullptr);
    // The glyph sits at (edge, edge) = (1, 1): the default edge of 1 also for a plain type.
    EXPECT_EQ(SoftCell(f, s, 1, 1), 0);
    EXPECT_EQ(SoftCell(f, s, 2, 1), 15);
    EXPECT_EQ(SoftCell(f, s, 3, 1), 7);
    EXPECT_EQ(SoftCell(f, s, 1, 2), 0);  // level 1 is coverage level 0
    f = GetFontRecord(aae);
    s = RenderGlyphsToCache(aae, 1, &r);
    ASSERT_NE(s, nullptr);
    // Low nibble body level - 1, high nibble the largest neighbouring level - 1.
    EXPECT_EQ(SoftCell(f, s, 2, 1), 0x70 | 15);
    EXPECT_EQ(SoftCell(f, s, 3, 1), 0xF0 | 7);
    EXPECT_EQ(SoftCell(f, s, 2, 0), 0xF0);
    EXPECT_EQ(SoftCell(f, s, 4, 1), 0x70);
    EXPECT_EQ(SoftCell(f, s, 1, 2), 0x00);
    EXPECT_EQ(SoftCell(f, s, 2, 2), 0xF0);
    f = GetFontRecord(plain);
    s = RenderGlyphsToCache(plain, 1, &r);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SoftCell(f, s, 1, 1) * 8 + SoftCell(f, s, 2, 1) * 4 + SoftCell(f, s, 3, 1) * 2 + SoftCell(f, s, 1, 2), 7);
}

TEST_F(SoftRaster, GlyphsWithoutPixelsOrLargerThanTheCellStayInTheirCell) {
    UseScript();
    FakeGlyph none;
    none.no_pixels = true;
    none.advance = 9;
    g_script.glyphs[0xA0] = none;
    int h = CreateFontToHandle(nullptr, 16, -1, 2, -1, -1, 0);
    FontRecord* f = GetFontRecord(h);
    int big = f->cell + 9;
    g_script.glyphs['W'] = GlyphBits(std::vector<std::string>(big, std::string(big, 'g')), 40, 0, 12);
    // Guard bytes everywhere: only the two cells used may change.
    std::memset(f->soft_bitmap, 0xA5, (size_t)f->cache_height * f->soft_pitch);
    GlyphRequest r[] = {Req(0xA0), Req('W')};
    ASSERT_NE(RenderGlyphsToCache(h, 2, r), nullptr);
    GlyphCacheSlot* empty = f->codes[0xA0].slot;
    GlyphCacheSlot* wide = f->codes['W'].slot;
    ASSERT_TRUE(empty && wide);
    EXPECT_EQ(empty->advance, 11);
    EXPECT_EQ(empty->box_width, 0);
    EXPECT_EQ(empty->box_height, 0);
    EXPECT_EQ(wide->box_width, f->cell);
    EXPECT_EQ(wide->box_height, f->cell);
    // Everything after the wide glyph's cell is untouched.
    const uint8_t* after = f->soft_bitmap + (size_t)(wide->cell + 1) * f->cell * f->soft_pitch;
    const uint8_t* end = f->soft_bitmap + (size_t)f->cache_height * f->soft_pitch;
    for (const uint8_t* p = after; p < end; p++) ASSERT_EQ(*p, 0xA5);
    EXPECT_EQ(SoftCell(f, wide, f->cell - 1, f->cell - 1), 15);
    // The empty glyph advances the pen and draws nothing.
    int size[2];
    EXPECT_EQ(FontStringCore(0, 0, 0, 0, 1, 1, "\xA0\xA0", 0, nullptr, nullptr, 0, h, 0, -1, 0, size), 22);
}

TEST_F(TexRaster, TexturePixelsAreWhiteWithTheCoverageAsAlpha) {
    UseScript();
    g_script.glyphs['A'] = GlyphBits({"0g8", "1.."});
    struct Case {
        int type, edge;
        // body and edge pixels at (1..3, 1) and (1, 2) of the grown box
        uint16_t body[4], edge_px[4];
    } cases[] = {
        {0, 1, {0x7FFF, 0xFFFF, 0xFFFF, 0xFFFF}, {}},
        {2, 1, {0x0FFF, 0xFFFF, 0x7FFF, 0x0FFF}, {}},
        {1, 1, {0x7FFF, 0xFFFF, 0xFFFF, 0xFFFF}, {0xFFFF, 0xFFFF, 0xFFFF, 0x7FFF}},
        {3, 1, {0x0FFF, 0xFFFF, 0x7FFF, 0x0FFF}, {0xFFFF, 0x7FFF, 0xFFFF, 0x0FFF}},
    };
    for (const Case& c : cases) {
        int h = CreateFontToHandle(nullptr, 16, -1, c.type, -1, c.edge, 0);
        FontRecord* f = GetFontRecord(h);
        GlyphRequest r = Req('A');
        GlyphCacheSlot* s = RenderGlyphsToCache(h, 1, &r);
        ASSERT_NE(s, nullptr);
        const int at[4][2] = {{1, 1}, {2, 1}, {3, 1}, {1, 2}};
        for (int i = 0; i < 4; i++) {
            EXPECT_EQ(TexCell(f, s, at[i][0], at[i][1]), c.body[i]) << "type " << c.type << " pixel " << i;
            if (c.type & 1) {
                EXPECT_EQ(TexCell(f, s, at[i][0], at[i][1], true), c.edge_px[i]) << "type " << c.type << " edge " << i;
            }
        }
        // Outside the glyph box, white at alpha 0 (or the cleared cell for plain fonts).
        EXPECT_EQ(TexCell(f, s, 0, 0) & f->cache_image.format.alpha_mask, 0u);
        DeleteFontHandle(h);
    }
}

TEST_F(TexRaster, EdgeLevelsAreTheUnionOfTheNeighboursCoverage) {
    UseScript();
    g_script.glyphs['A'] = GlyphBits({"08", "80"});
    int h = CreateFontToHandle(nullptr, 16, -1, 3, -1, 1, 0);
    FontRecord* f = GetFontRecord(h);
    GlyphRequest r = Req('A');
    GlyphCacheSlot* s = RenderGlyphsToCache(h, 1, &r);
    ASSERT_NE(s, nullptr);
    // (256 - (16 - 8)(16 - 8)) / 16 = 12 from two neighbours of level 8; 8 from one.
    EXPECT_EQ(TexCell(f, s, 1, 1, true), 0xBFFF);
    EXPECT_EQ(TexCell(f, s, 2, 2, true), 0xBFFF);
    EXPECT_EQ(TexCell(f, s, 3, 1, true), 0x7FFF);
    EXPECT_EQ(TexCell(f, s, 1, 1), 0x0FFF);
}

TEST_F(TexRaster, AWideGlyphNeverReachesTheNextCellOrTheEdgeHalf) {
    UseScript();
    int h = CreateFontToHandle(nullptr, 16, -1, 1, -1, 1, 0);
    FontRecord* f = GetFontRecord(h);
    int big = f->cell + 9;
    g_script.glyphs['W'] = GlyphBits(std::vector<std::string>(big, std::string(big, 'x')), 40);
    // The last cell of the first column: the next column and the image's bottom are near.
    f->next_slot = f->rows_per_column - 1;
    GlyphRequest r = Req('W');
    GlyphCacheSlot* s = RenderGlyphsToCache(h, 1, &r);
    ASSERT_NE(s, nullptr);
    EXPECT_LE(s->box_width, f->cell);
    int cx, cy;
    FontCellOrigin(f, s->cell, &cx, &cy);
    const BaseImage& img = f->cache_image;
    for (int y = 0; y < img.height; y++)
        for (int x = cx + f->cell; x < f->cache_width; x++)
            ASSERT_EQ(((const uint16_t*)((const uint8_t*)img.pixels + y * img.pitch))[x], 0) << x << "," << y;
}

}  // namespace
