// String layout: measuring, long strings, strings beyond the cache, and glyphs
// read back from the screen in both modes, horizontal and vertical.
#include "font_test_util.h"

#include "engine/graphics/draw_shapes.h"
#include "engine/system/memory.h"

namespace {

const std::vector<std::string> kGlyphA = {"x..x", "x..x", "xxxx"};

// Scripted 'a' 'b' 'c' (advances 5, 6, 7), 'A' (kGlyphA), a full-width 'Ａ' (0x8260), the space.
void ScriptLetters() {
    g_glyphs['a'] = GlyphBits({"x"}, 5);
    g_glyphs['b'] = GlyphBits({"xx"}, 6);
    g_glyphs['c'] = GlyphBits({"x", "x"}, 7);
    g_glyphs['A'] = GlyphBits(kGlyphA, 8, 2);
    g_glyphs[0x8260] = GlyphBits({"xxxxxx"}, 16);
    g_glyphs[0x20].advance = 4;
}

int Measure(const char* text, int font, int length = -1, int vertical = 0, int* size = nullptr) {
    return FontStringCore(0, 0, 0, 0, 1, 1, text, 0, nullptr, nullptr, 0, font, 0, length, vertical, size);
}

TEST_F(SoftFonts, MeasuringSumsAdvancesAndSpacingOfShortAndLongStrings) {
    ScriptLetters();
    int h = MakeFont(0);
    int lh = GetFontRecord(h)->line_height;
    SetFontSpacing(3, h);
    int size[2] = {-1, -1};
    // Every advance carries twice the edge (1 here) and the spacing.
    EXPECT_EQ(Measure("abc", h, -1, 0, size), 7 + 8 + 9 + 9);
    EXPECT_EQ(size[0] * 1000 + size[1], 33 * 1000 + lh);
    EXPECT_EQ(Measure("a \x82\x60", h, -1, 1, size), 7 + 6 + 18 + 9);
    EXPECT_EQ(size[0] * 1000 + size[1], lh * 1000 + 40);
    EXPECT_EQ(Measure("abc", h, 2), 7 + 8 + 6);  // a length in bytes: only "ab"
    // Early returns leave no stale size behind.
    size[0] = size[1] = 99;
    EXPECT_EQ(Measure("", h, -1, 0, size), 0);
    EXPECT_EQ(size[0], 0);
    size[0] = size[1] = 99;
    EXPECT_EQ(Measure("abc", h + 1, -1, 0, size), -1);
    EXPECT_EQ(size[0] + size[1], 0);
    // A lead byte at the end of the string stands alone.
    EXPECT_EQ(Measure("a\x82", h), -1);
    // Around the static lists' 256 bytes; nothing allocated stays behind.
    SetFontSpacing(0, h);
    int blocks = MemLiveBlockCount();
    std::string dbcs;
    for (int i = 0; i < 128; i++) dbcs += "\x82\x60";
    const std::pair<std::string, int> cases[] = {
        {std::string(256, 'a'), 256 * 7}, {std::string(257, 'a'), 257 * 7}, {dbcs, 128 * 18}, {"a" + dbcs, 128 * 18 + 7}};
    for (const auto& c : cases) {
        EXPECT_EQ(Measure(c.first.c_str(), h), c.second) << c.first.size();
        EXPECT_EQ(FontStringCore(1, 0, 0, 0, 1, 1, c.first.c_str(), 0, GetScreenMemImg(), nullptr, 1, h, 0, -1, 0,
                                 nullptr),
                  c.second);
    }
    EXPECT_EQ(MemLiveBlockCount(), blocks);
}

// Reads back kGlyphA drawn at (x, y) in white over grey, with its one-pixel edge
// in red for an edge font, and nothing else of its box.
void CheckGlyphA(int x, int y, int h, bool vertical, int tol, bool edge_red) {
    FontRecord* f = GetFontRecord(h);
    GlyphCacheSlot* s = f->codes['A'].slot;
    ASSERT_NE(s, nullptr);
    Capture cap;
    const int e = f->edge_size;
    int gr, gg, gb;
    UnpackScreenColor(PackScreenColor(128, 128, 128), &gr, &gg, &gb);
    auto set = [](int gx, int gy) { return gx >= 0 && gy >= 0 && gx < 4 && gy < 3 && kGlyphA[gy][gx] == 'x'; };
    for (int gy = -1; gy <= 3; gy++)
        for (int gx = -1; gx <= 4; gx++) {
            int px = vertical ? x + f->line_height - s->top_offset - 1 - (e + gy) : x + s->origin_x + e + gx;
            int py = vertical ? y + s->origin_x + e + gx : y + s->top_offset + e + gy;
            bool body = set(gx, gy);
            bool edge = edge_red && !body && (set(gx - 1, gy) || set(gx + 1, gy) || set(gx, gy - 1) || set(gx, gy + 1));
            EXPECT_TRUE(RgbNear(cap.At(px, py), body || edge ? 255 : gr, body ? 255 : edge ? 0 : gg,
                                body ? 255 : edge ? 0 : gb, tol))
                << gx << "," << gy << (vertical ? " v" : " h");
        }
}

void DrawAndCheckLetters(int tol) {
    ScriptLetters();
    int plain = MakeFont(0);
    int edged = MakeFont(1, 1);
    ASSERT_EQ(ClearScreen(), 0);
    DrawBox(0, 0, 640, 480, PackScreenColor(128, 128, 128), 1);
    unsigned white = PackScreenColor(255, 255, 255), red = PackScreenColor(255, 0, 0);
    for (int v = 0; v < 2; v++) {
        EXPECT_EQ(DrawTextWithFont(100 + 100 * v, 100, "A", white, plain, 0, v), 0);
        EXPECT_EQ(DrawTextWithFont(100 + 100 * v, 200, "A", white, edged, red, v), 0);
    }
    for (int v = 0; v < 2; v++) {
        CheckGlyphA(100 + 100 * v, 100, plain, v, tol, false);
        CheckGlyphA(100 + 100 * v, 200, edged, v, tol, true);
    }
}

TEST_F(D3DFonts, TextureGlyphsShowNoBoxAndTurnForVerticalWriting) { DrawAndCheckLetters(8); }
TEST_F(SoftFonts, SoftwareGlyphsShowNoBoxAndTurnForVerticalWriting) { DrawAndCheckLetters(0); }

TEST_F(D3DFonts, ScaledPlacementsStretchTheGlyph) {
    ScriptLetters();
    int h = MakeFont(0);
    ClearScreen();
    unsigned white = PackScreenColor(255, 255, 255);
    // Advances scale with the writing direction's factor: (8 + 2) times 2, times 3.
    EXPECT_EQ(FontStringCore(1, 100, 100, 1, 2.0, 2.0, "A", white, nullptr, nullptr, 1, h, 0, -1, 0, nullptr), 20);
    EXPECT_EQ(FontStringCore(1, 300, 100, 1, 1.0, 3.0, "A", white, nullptr, nullptr, 1, h, 0, -1, 1, nullptr), 30);
    EXPECT_EQ(GDrawSettings.filter_mode, 1);  // a scaled vertical draw leaves linear filtering on
    SetDrawFilterMode(0);
    GlyphCacheSlot* s = GetFontRecord(h)->codes['A'].slot;
    Capture cap;
    // Box pixel (bx, by) covers two by two screen pixels from (100 + 2 (ox + bx), 100 + 2 (to + by)).
    auto at = [&](int bx, int by) { return cap.At(100 + 2 * (s->origin_x + bx) + 1, 100 + 2 * (s->top_offset + by) + 1); };
    EXPECT_TRUE(RgbNear(at(1, 1), 255, 255, 255, 8));  // glyph (0, 0)
    EXPECT_TRUE(RgbNear(at(2, 1), 0, 0, 0, 0));        // glyph (1, 0) is empty
}

TEST_F(D3DFonts, SubtractWithoutDeviceSupportBracketsTheWholeString) {
    ScriptLetters();
    int h = MakeFont(0);
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
    EXPECT_TRUE(RgbNear(cap.At(x, y), 104, 56, 0, 8));        // glyph pixel: subtracted
    EXPECT_TRUE(RgbNear(cap.At(x + 1, y), 200, 152, 96, 8));  // inside the box: inverted twice
    EXPECT_TRUE(RgbNear(cap.At(x + 10, y), 104, 56, 0, 8));   // the second glyph, one advance on
    EXPECT_TRUE(RgbNear(cap.At(60 + s->origin_x + 1, 300 + s->top_offset + 1), 200, 152, 96, 8));
}

TEST_F(SoftFonts, StringsBeyondTheCacheDrawEveryGlyph) {
    for (char c : std::string("ABCDEFG")) g_glyphs[(unsigned char)c] = GlyphBits({"xx", "xx"}, 10);
    int h = MakeFont(0);
    FontRecord* f = GetFontRecord(h);
    f->capacity = 3;
    ResetFontCache(h);
    ClearScreen();
    EXPECT_EQ(DrawTextWithFont(50, 50, "ABCDEFGA", PackScreenColor(255, 255, 255), h, 0, 0), 0);
    Capture cap;
    for (int i = 0; i < 8; i++) {
        bool found = false;
        for (int y = 50; y < 50 + f->line_height; y++) found = found || cap.At(50 + i * 12 + 1, y) == 0xFFFFFF;
        EXPECT_TRUE(found) << "glyph " << i;
    }
}

TEST_F(D3DFonts, AGlyphThatCannotBeCachedFailsTheDraw) {
    g_glyphs['a'] = GlyphBits({"x"}, 5);
    g_glyphs['F'].fail = true;
    int h = MakeFont(0);
    LogCapture log;
    EXPECT_EQ(DrawTextWithFont(0, 0, "aF", 0xFFFF, h, 0, 0), -1);
    EXPECT_TRUE(log.Has("テキストキャッシュの作成に失敗しました"));
    EXPECT_EQ(DrawTextWithFont(0, 0, "a", 0xFFFF, h, 0, 0), 0);
    EXPECT_EQ(DrawTextWithFont(0, 0, "", 0xFFFF, h, 0, 0) + DrawTextWithFont(0, 0, nullptr, 0xFFFF, h, 0, 0), 0);
    EXPECT_EQ(DrawTextCached(0, 0, "a", 0xFFFF, h + 1, 0, 0), -1);  // a bad handle is no success
}

}  // namespace
