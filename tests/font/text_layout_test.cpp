// String layout: measuring, long strings, strings beyond the cache, and glyphs
// read back from the screen in both modes, horizontal and vertical.
#include "font_test_util.h"

#include "engine/graphics/draw_shapes.h"
#include "engine/system/memory.h"

namespace {

const std::vector<std::string> kGlyphA = {"x..x", "x..x", "xxxx"};

// Scripted 'a' 'b' 'c' (advances 5, 6, 7), 'A' (kGlyphA), a full-width 'Ａ' (0x8260).
void ScriptLetters() {
    g_script.glyphs['a'] = GlyphBits({"x"}, 5);
    g_script.glyphs['b'] = GlyphBits({"xx"}, 6);
    g_script.glyphs['c'] = GlyphBits({"x", "x"}, 7);
    g_script.glyphs['A'] = GlyphBits(kGlyphA, 8, 2, 12);
    g_script.glyphs[0x8260] = GlyphBits({"xxxxxx"}, 16);
    FakeGlyph space;
    space.advance = 4;
    g_script.glyphs[0x20] = space;
}

class Layout : public SoftFonts {};

TEST_F(Layout, MeasuringSumsAdvancesAndSpacing) {
    UseScript();
    ScriptLetters();
    int h = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0);
    FontRecord* f = GetFontRecord(h);
    SetFontSpacing(3, h);
    int size[2] = {-1, -1};
    // Every advance carries twice the edge (1 here) and the spacing.
    EXPECT_EQ(FontStringCore(0, 0, 0, 0, 1, 1, "abc", 0, nullptr, nullptr, 0, h, 0, -1, 0, size), 7 + 8 + 9 + 9);
    EXPECT_EQ(size[0], 33);
    EXPECT_EQ(size[1], f->line_height);
    EXPECT_EQ(FontStringCore(0, 0, 0, 0, 1, 1, "a \x82\x60", 0, nullptr, nullptr, 0, h, 0, -1, 1, size),
              7 + 6 + 18 + 9);
    EXPECT_EQ(size[0], f->line_height);
    EXPECT_EQ(size[1], 40);
    // Length in bytes: only "ab".
    EXPECT_EQ(FontStringCore(0, 0, 0, 0, 1, 1, "abc", 0, nullptr, nullptr, 0, h, 0, 2, 0, size), 7 + 8 + 6);
    // Early returns leave no stale size behind.
    size[0] = size[1] = 99;
    EXPECT_EQ(FontStringCore(0, 0, 0, 0, 1, 1, "", 0, nullptr, nullptr, 0, h, 0, -1, 0, size), 0);
    EXPECT_EQ(size[0], 0);
    size[0] = size[1] = 99;
    EXPECT_EQ(FontStringCore(0, 0, 0, 0, 1, 1, "abc", 0, nullptr, nullptr, 0, h + 1, 0, -1, 0, size), -1);
    EXPECT_EQ(size[0], 0);
    EXPECT_EQ(size[1], 0);
    // A lead byte at the end of the string stands alone.
    EXPECT_EQ(FontStringCore(0, 0, 0, 0, 1, 1, "a\x82", 0, nullptr, nullptr, 0, h, 0, -1, 0, size), -1);
}

TEST_F(Layout, StringsAroundTheStaticListSize) {
    UseScript();
    ScriptLetters();
    int h = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0);
    int blocks = MemLiveBlockCount();
    struct Case {
        std::string text;
        int width;
    };
    std::string dbcs;
    for (int i = 0; i < 128; i++) dbcs += "\x82\x60";
    const Case cases[] = {
        {std::string(256, 'a'), 256 * 7}, {std::string(257, 'a'), 257 * 7}, {dbcs, 128 * 18}, {"a" + dbcs, 128 * 18 + 7},
    };
    for (const Case& c : cases) {
        GlyphRequest list[1100];
        int count = -1;
        EXPECT_EQ(CacheStringGlyphs(c.text.c_str(), -1, h, list, &count), 0);
        EXPECT_EQ(FontStringCore(0, 0, 0, 0, 1, 1, c.text.c_str(), 0, nullptr, nullptr, 0, h, 0, -1, 0, nullptr),
                  c.width)
            << c.text.size();
        EXPECT_EQ(FontStringCore(1, 0, 0, 0, 1, 1, c.text.c_str(), 0, GetScreenMemImg(), nullptr, 1, h, 0, -1, 0,
                                 nullptr),
                  c.width);
    }
    EXPECT_EQ(MemLiveBlockCount(), blocks);
}

// Reads back the glyph kGlyphA drawn at (x, y) in text colour white over grey;
// the box is one edge pixel larger than the glyph on every side.
void CheckGlyphA(int x, int y, int h, bool vertical, int tol, bool edge_red) {
    FontRecord* f = GetFontRecord(h);
    GlyphCacheSlot* s = f->codes['A'].slot;
    ASSERT_NE(s, nullptr);
    Capture cap;
    const int e = f->edge_size;
    int gr, gg, gb;
    UnpackScreenColor(PackScreenColor(128, 128, 128), &gr, &gg, &gb);
    for (int gy = -1; gy <= 3; gy++) {
        for (int gx = -1; gx <= 4; gx++) {
            int px, py;
            if (!vertical) {
                px = x + s->origin_x + e + gx;
                py = y + s->top_offset + e + gy;
            } else {
                px = x + f->line_height - s->top_offset - 1 - (e + gy);
                py = y + s->origin_x + e + gx;
            }
            bool in = gx >= 0 && gy >= 0 && gx < 4 && gy < 3;
            bool body = in && kGlyphA[gy][gx] == 'x';
            bool near_body = false;
            for (int d = 0; d < 4; d++) {
                int nx = gx + (d == 0) - (d == 1), ny = gy + (d == 2) - (d == 3);
                if (nx >= 0 && ny >= 0 && nx < 4 && ny < 3 && kGlyphA[ny][nx] == 'x') near_body = true;
            }
            uint32_t got = cap.At(px, py);
            int want_r = body || (edge_red && near_body) ? 255 : gr;
            int want_g = body ? 255 : edge_red && near_body ? 0 : gg;
            int want_b = body ? 255 : edge_red && near_body ? 0 : gb;
            EXPECT_TRUE(RgbNear(got, want_r, want_g, want_b, tol)) << gx << "," << gy << (vertical ? " v" : " h");
        }
    }
}

void DrawAndCheckLetters(int tol) {
    int plain = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0);
    int edged = CreateFontToHandle(nullptr, 16, -1, 1, -1, 1, 0);
    ASSERT_GE(plain, 0);
    ASSERT_GE(edged, 0);
    ASSERT_EQ(ClearScreen(), 0);
    DrawBox(0, 0, 640, 480, PackScreenColor(128, 128, 128), 1);
    unsigned white = PackScreenColor(255, 255, 255), red = PackScreenColor(255, 0, 0);
    EXPECT_EQ(DrawTextWithFont(100, 100, "A", white, plain, 0, 0), 0);
    EXPECT_EQ(DrawTextWithFont(200, 100, "A", white, plain, 0, 1), 0);
    EXPECT_EQ(DrawTextWithFont(100, 200, "A", white, edged, red, 0), 0);
    EXPECT_EQ(DrawTextWithFont(200, 200, "A", white, edged, red, 1), 0);
    CheckGlyphA(100, 100, plain, false, tol, false);
    CheckGlyphA(200, 100, plain, true, tol, false);
    CheckGlyphA(100, 200, edged, false, tol, true);
    CheckGlyphA(200, 200, edged, true, tol, true);
}

TEST_F(D3DFonts, TextureGlyphsShowNoBoxAndTurnForVerticalWriting) {
    UseScript();
    ScriptLetters();
    DrawAndCheckLetters(8);
}

TEST_F(SoftFonts, SoftwareGlyphsShowNoBoxAndTurnForVerticalWriting) {
    UseScript();
    ScriptLetters();
    DrawAndCheckLetters(0);
}

TEST_F(D3DFonts, ScaledPlacementsStretchTheGlyph) {
    UseScript();
    ScriptLetters();
    int h = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0);
    ClearScreen();
    unsigned white = PackScreenColor(255, 255, 255);
    // Advances scale with the writing direction's factor: (8 + 2) times 2, times 3.
    EXPECT_EQ(FontStringCore(1, 100, 100, 1, 2.0, 2.0, "A", white, nullptr, nullptr, 1, h, 0, -1, 0, nullptr), 20);
    EXPECT_EQ(FontStringCore(1, 300, 100, 1, 1.0, 3.0, "A", white, nullptr, nullptr, 1, h, 0, -1, 1, nullptr), 30);
    EXPECT_EQ(GDrawSettings.filter_mode, 1);  // a scaled vertical draw leaves linear filtering on
    SetDrawFilterMode(0);
    GlyphCacheSlot* s = GetFontRecord(h)->codes['A'].slot;
    Capture cap;
    // Box pixel (bx, by) covers two by two screen pixels from (100 + 2 ox + 2 bx, 100 + 2 to + 2 by).
    auto at = [&](int bx, int by) { return cap.At(100 + 2 * (s->origin_x + bx) + 1, 100 + 2 * (s->top_offset + by) + 1); };
    EXPECT_TRUE(RgbNear(at(1, 1), 255, 255, 255, 8));   // glyph (0, 0)
    EXPECT_TRUE(RgbNear(at(2, 1), 0, 0, 0, 0));         // glyph (1, 0) is empty
    EXPECT_TRUE(RgbNear(at(4, 3), 255, 255, 255, 8));   // glyph (3, 2)
    int lit = 0;
    for (int y = 90; y < 160; y++)
        for (int x = 280; x < 340; x++) lit += cap.At(x, y) != 0;
    EXPECT_GT(lit, 0);
}

TEST_F(D3DFonts, SubtractWithoutDeviceSupportBracketsTheWholeString) {
    UseScript();
    ScriptLetters();
    int h = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0);
    int saved = GDrawSettings.device_can_subtract;
    GDrawSettings.device_can_subtract = 0;
    ClearScreen();
    DrawBox(0, 0, 640, 480, PackScreenColor(200, 152, 96), 1);
    SetBlendModeParam(DX_BLENDMODE_SUB, 255);
    EXPECT_EQ(DrawTextWithFont(100, 100, "AA", PackScreenColor(96, 96, 96), h, 0, 0), 0);
    // A string starting right of the draw area draws nothing.
    SetDrawArea(0, 0, 50, 480);
    EXPECT_EQ(DrawTextWithFont(60, 300, "AA", PackScreenColor(255, 255, 255), h, 0, 0), 0);
    SetDrawArea(0, 0, 640, 480);
    SetBlendModeParam(DX_BLENDMODE_NOBLEND, 255);
    GDrawSettings.device_can_subtract = saved;
    GlyphCacheSlot* s = GetFontRecord(h)->codes['A'].slot;
    int x = 100 + s->origin_x + 1, y = 100 + s->top_offset + 1;
    Capture cap;
    EXPECT_TRUE(RgbNear(cap.At(x, y), 104, 56, 0, 8));          // glyph pixel: subtracted
    EXPECT_TRUE(RgbNear(cap.At(x + 1, y), 200, 152, 96, 8));    // inside the box: inverted twice
    EXPECT_TRUE(RgbNear(cap.At(x + 10, y), 104, 56, 0, 8));     // the second glyph, one advance on
    EXPECT_TRUE(RgbNear(cap.At(60 + s->origin_x + 1, 300 + s->top_offset + 1), 200, 152, 96, 8));
}

TEST_F(SoftFonts, StringsBeyondTheCacheDrawEveryGlyph) {
    UseScript();
    const char* letters = "ABCDEFG";
    for (const char* p = letters; *p; p++) g_script.glyphs[(unsigned char)*p] = GlyphBits({"xx", "xx"}, 10);
    int h = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0);
    FontRecord* f = GetFontRecord(h);
    f->capacity = 3;
    ResetFontCache(h);
    ClearScreen();
    unsigned white = PackScreenColor(255, 255, 255);
    EXPECT_EQ(DrawTextWithFont(50, 50, "ABCDEFGA", white, h, 0, 0), 0);
    Capture cap;
    for (int i = 0; i < 8; i++) {
        int x = 50 + i * 12 + 1;
        bool found = false;
        for (int y = 50; y < 50 + f->line_height; y++) found = found || cap.At(x, y) == 0xFFFFFF;
        EXPECT_TRUE(found) << "glyph " << i;
    }
}

TEST_F(D3DFonts, AGlyphThatCannotBeCachedFailsTheDraw) {
    UseScript();
    g_script.glyphs['a'] = GlyphBits({"x"}, 5);
    g_script.glyphs['F'].fail = true;
    int h = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0);
    FontLogCapture log;
    EXPECT_EQ(DrawTextWithFont(0, 0, "aF", 0xFFFF, h, 0, 0), -1);
    EXPECT_TRUE(log.Has("テキストキャッシュの作成に失敗しました"));
    EXPECT_EQ(DrawTextWithFont(0, 0, "a", 0xFFFF, h, 0, 0), 0);
    EXPECT_EQ(DrawTextWithFont(0, 0, "", 0xFFFF, h, 0, 0), 0);
    EXPECT_EQ(DrawTextWithFont(0, 0, nullptr, 0xFFFF, h, 0, 0), 0);
}

}  // namespace
