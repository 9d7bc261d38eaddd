// The rasteriser on scripted glyphs: round robin, spaces, edge kernels, levels and
// glyphs that give no pixels or more than a cell holds.
#include "font_test_util.h"

namespace {

// Cache value at (x, y) of a slot's cell in a software cache.
int SoftCell(const FontRecord* f, const GlyphCacheSlot* s, int x, int y) {
    const uint8_t* row = f->soft_bitmap + (size_t)(s->cell * f->cell + y) * f->soft_pitch;
    return f->soft_bits == 1 ? (row[x >> 3] >> (7 - (x & 7))) & 1 : row[x];
}

// 16-bit pixel at (x, y) of a slot's cell in the texture cache image (the edge half with edge set).
uint16_t TexCell(const FontRecord* f, const GlyphCacheSlot* s, int x, int y, bool edge = false) {
    int cx, cy;
    FontCellOrigin(f, s->cell, &cx, &cy);
    const uint8_t* row = (const uint8_t*)f->cache_image.pixels + (size_t)(cy + y) * f->cache_image.pitch;
    return ((const uint16_t*)row)[cx + x + (edge ? f->cache_width : 0)];
}

// Creates a font and caches 'A' in it.
GlyphCacheSlot* CacheA(int type, int edge, FontRecord** f, int* handle = nullptr) {
    int h = MakeFont(type, edge, 23);
    if (handle) *handle = h;
    *f = GetFontRecord(h);
    GlyphRequest r = Req('A');
    return RenderGlyphsToCache(h, 1, &r);
}

TEST_F(SoftFonts, ReplacementIsRoundRobinAndAFailedGlyphStillFreesItsSlot) {
    for (char c : {'A', 'B', 'C', 'D'}) g_glyphs[(unsigned char)c] = GlyphBits({"x"});
    g_glyphs['F'].fail = true;
    int h = MakeFont(0);
    FontRecord* f = GetFontRecord(h);
    f->capacity = 3;
    ResetFontCache(h);
    EXPECT_EQ(f->slots[3].cell, -1);
    GlyphRequest r[] = {Req('A'), Req('B'), Req('C'), Req('D'), Req('F'), Req('A')};
    EXPECT_EQ(RenderGlyphsToCache(h, 3, r), &f->slots[2]);
    EXPECT_EQ(RenderGlyphsToCache(h, 1, r + 3), &f->slots[0]);
    EXPECT_EQ(f->codes['A'].cached, 0);
    LogCapture log;
    EXPECT_EQ(RenderGlyphsToCache(h, 1, r + 4), nullptr);
    EXPECT_TRUE(log.Has("GetGlyphOutline 関数が失敗しました"));
    EXPECT_EQ(f->codes['B'].cached + f->codes['F'].cached + f->slots[1].in_use, 0);
    // The next character takes the freed slot.
    EXPECT_EQ(RenderGlyphsToCache(h, 1, r + 5), &f->slots[1]);
}

TEST_F(SoftFonts, EdgeKernelsGrowRoundEveryBodyPixelAndSpacesHaveNoPixels) {
    g_glyphs['A'] = GlyphBits({"x"}, 6, 1);
    g_glyphs[0x20].advance = 8;
    g_glyphs[0x8140].advance = 16;
    // Edge masks round a one-pixel glyph at (e, e): '1' body, '2' edge; above 4 the full square.
    const std::vector<std::string> masks[] = {
        {".2.", "212", ".2."},
        {".222.", "22222", "22122", "22222", ".222."},
        {"...2...", ".22222.", ".22222.", "2221222", ".22222.", ".22222.", "...2..."},
        {"..22222..", ".2222222.", "222222222", "222222222", "222212222", "222222222", "222222222", ".2222222.",
         "..22222.."},
        {},
    };
    for (int e = 1; e <= 5; e++) {
        int h = MakeFont(1, e);
        FontRecord* f = GetFontRecord(h);
        GlyphRequest r[] = {Req(0x20), Req(0x81, 0x40), Req('A')};
        GlyphCacheSlot* s = RenderGlyphsToCache(h, 3, r);
        GlyphCacheSlot *sp = f->codes[0x20].slot, *wide_sp = f->codes[0x4081].slot;
        ASSERT_TRUE(s && sp && wide_sp);
        // Box and advance grow by twice the edge, also for the spaces, which keep their cells empty.
        EXPECT_EQ(s->box_width * 10000 + s->box_height * 100 + s->advance, (1 + 2 * e) * 10101 + 5);
        EXPECT_EQ(sp->box_width * 10000 + sp->advance * 100 + wide_sp->advance, 20000 * e + 100 * (8 + 2 * e) + 16 + 2 * e);
        int n = 2 * e + 1;
        for (int y = 0; y <= n; y++)
            for (int x = 0; x <= n; x++) {
                char want = x == n || y == n ? '.' : e == 5 ? (x == e && y == e ? '1' : '2') : masks[e - 1][y][x];
                EXPECT_EQ(SoftCell(f, s, x, y), want == '.' ? 0 : want - '0') << "edge " << e << " at " << x << "," << y;
                EXPECT_EQ(SoftCell(f, sp, x, y) + SoftCell(f, wide_sp, x, y), 0);
            }
        DeleteFontHandle(h);
    }
}

TEST_F(SoftFonts, LevelsAndNibblesOfAntialiasedCaches) {
    g_glyphs['A'] = GlyphBits({"0g8", "1.."});
    FontRecord* f;
    // The glyph sits at (edge, edge) = (1, 1): the default edge of 1 also for types without one.
    GlyphCacheSlot* s = CacheA(2, -1, &f);
    ASSERT_NE(s, nullptr);
    // Level - 1; level 1 is coverage 0.
    EXPECT_EQ((SoftCell(f, s, 1, 1) << 12) | (SoftCell(f, s, 2, 1) << 8) | (SoftCell(f, s, 3, 1) << 4) |
                  SoftCell(f, s, 1, 2),
              0x0F70);
    s = CacheA(3, 1, &f);
    ASSERT_NE(s, nullptr);
    // Low nibble body level - 1, high nibble the largest neighbouring level - 1.
    const int want[][3] = {{2, 1, 0x7F}, {3, 1, 0xF7}, {2, 0, 0xF0}, {4, 1, 0x70}, {1, 2, 0}, {2, 2, 0xF0}};
    for (const auto& w : want) EXPECT_EQ(SoftCell(f, s, w[0], w[1]), w[2]) << w[0] << "," << w[1];
    s = CacheA(0, -1, &f);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SoftCell(f, s, 1, 1) * 8 + SoftCell(f, s, 2, 1) * 4 + SoftCell(f, s, 3, 1) * 2 + SoftCell(f, s, 1, 2), 7);
}

TEST_F(SoftFonts, GlyphsWithoutPixelsOrLargerThanTheCellStayInTheirCell) {
    g_glyphs[0xA0].no_pixels = true;
    g_glyphs[0xA0].advance = 9;
    int h = MakeFont(2);
    FontRecord* f = GetFontRecord(h);
    int big = f->cell + 9;
    g_glyphs['W'] = GlyphBits(std::vector<std::string>(big, std::string(big, 'g')), 40);
    // Guard bytes everywhere: only the two cells used may change.
    std::memset(f->soft_bitmap, 0xA5, (size_t)f->cache_height * f->soft_pitch);
    GlyphRequest r[] = {Req(0xA0), Req('W')};
    ASSERT_NE(RenderGlyphsToCache(h, 2, r), nullptr);
    GlyphCacheSlot *empty = f->codes[0xA0].slot, *wide = f->codes['W'].slot;
    ASSERT_TRUE(empty && wide);
    EXPECT_EQ(empty->advance, 11);
    EXPECT_EQ(empty->box_width + empty->box_height, 0);
    EXPECT_EQ(wide->box_width * 1000 + wide->box_height, f->cell * 1001);
    const uint8_t* p = f->soft_bitmap + (size_t)(wide->cell + 1) * f->cell * f->soft_pitch;
    for (const uint8_t* end = f->soft_bitmap + (size_t)f->cache_height * f->soft_pitch; p < end; p++)
        ASSERT_EQ(*p, 0xA5);
    EXPECT_EQ(SoftCell(f, wide, f->cell - 1, f->cell - 1), 15);
    // The empty glyph advances the pen and draws nothing.
    EXPECT_EQ(FontStringCore(0, 0, 0, 0, 1, 1, "\xA0\xA0", 0, nullptr, nullptr, 0, h, 0, -1, 0, nullptr), 22);
}

TEST_F(D3DFonts, TexturePixelsAreWhiteWithTheCoverageAsAlpha) {
    g_glyphs['A'] = GlyphBits({"0g8", "1.."});
    const struct {
        int type;
        // body and edge pixels at (1..3, 1) and (1, 2) of the grown box
        uint16_t body[4], edge[4];
    } cases[] = {
        {0, {0x7FFF, 0xFFFF, 0xFFFF, 0xFFFF}, {}},
        {2, {0x0FFF, 0xFFFF, 0x7FFF, 0x0FFF}, {}},
        {1, {0x7FFF, 0xFFFF, 0xFFFF, 0xFFFF}, {0xFFFF, 0xFFFF, 0xFFFF, 0x7FFF}},
        {3, {0x0FFF, 0xFFFF, 0x7FFF, 0x0FFF}, {0xFFFF, 0x7FFF, 0xFFFF, 0x0FFF}},
    };
    const int at[4][2] = {{1, 1}, {2, 1}, {3, 1}, {1, 2}};
    for (const auto& c : cases) {
        FontRecord* f;
        int h;
        GlyphCacheSlot* s = CacheA(c.type, 1, &f, &h);
        ASSERT_NE(s, nullptr);
        // Over the real font's metrics: cells a multiple of 8, lines even; antialiased caches
        // have a 4-bit alpha field, the others a 1-bit one (alpha test); edge caches are twice as wide.
        EXPECT_EQ(f->cell % 8 + f->line_height % 2, 0);
        EXPECT_EQ(f->cache_image.format.alpha_width, (c.type & 2) ? 4 : 1);
        EXPECT_EQ(f->cache_image.width, f->cache_width * ((c.type & 1) ? 2 : 1));
        for (int i = 0; i < 4; i++) {
            EXPECT_EQ(TexCell(f, s, at[i][0], at[i][1]), c.body[i]) << "type " << c.type << " pixel " << i;
            EXPECT_EQ(c.type & 1 ? TexCell(f, s, at[i][0], at[i][1], true) : 0, c.edge[i]) << "type " << c.type;
        }
        EXPECT_EQ(TexCell(f, s, 0, 0) & f->cache_image.format.alpha_mask, 0u);
        DeleteFontHandle(h);
    }
    // Edge levels are the union of the neighbours' coverage: (256 - (16 - 8)(16 - 8)) / 16 = 12 from two of level 8.
    g_glyphs['A'] = GlyphBits({"08", "80"});
    FontRecord* f;
    GlyphCacheSlot* s = CacheA(3, 1, &f);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(TexCell(f, s, 1, 1, true), 0xBFFF);
    EXPECT_EQ(TexCell(f, s, 3, 1, true), 0x7FFF);
}

TEST_F(D3DFonts, AWideGlyphNeverReachesTheNextCellOrTheEdgeHalf) {
    int h = MakeFont(1, 1);
    FontRecord* f = GetFontRecord(h);
    int big = f->cell + 9;
    g_glyphs['W'] = GlyphBits(std::vector<std::string>(big, std::string(big, 'x')), 40);
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
