// Software text: the destination pixel of every cache value, straight writes
// against the work image path, the work image's colour key, and clipping.
#include "font_test_util.h"

#include <algorithm>
#include <cmath>
#include "engine/graphics/draw_shapes.h"
#include "engine/image/memimg.h"
#include "engine/system/memory.h"

namespace {

// The destination pixel for one cache value, from the pixel table with
// floating-point channel arithmetic; false when the pixel is left alone.
bool ReferencePixel(int depth, int type, int v, uint32_t text, uint32_t edge, uint32_t* out) {
    const bool d16 = depth == 16;
    const int shift = d16 ? 16 : 24;
    const uint32_t colour = d16 ? text & 0xFFFF : text;
    int b = v & 15, e = v >> 4;
    if (v == 0) return false;
    if (type == 0) *out = text;
    else if (type == 1) *out = v == 1 ? text : d16 ? edge : edge & 0xFFFFFF;
    else if (type == 2) *out = (uint32_t)(v * 16) << shift | colour;
    else if (b == 15) *out = colour | 0xFFu << shift;
    else if (b == 0) *out = (uint32_t)(e * 16) << shift | edge;
    else {
        int a = ((15 - b) * e + 16 * b) % 256, t = b * 4096 / a;
        const int f16[][2] = {{11, 5}, {5, 6}, {0, 5}}, f32[][2] = {{16, 8}, {8, 8}, {0, 8}};
        *out = (uint32_t)a << shift;
        for (const auto& f : d16 ? f16 : f32) {
            int mask = (1 << f[1]) - 1;
            double tc = (text >> f[0]) & mask, ec = (edge >> f[0]) & mask;
            *out |= (uint32_t)(ec + std::floor((tc - ec) * t / 256.0)) << f[0];
        }
    }
    return true;
}

// Every value a cache of the type can hold, spread over a 16 by 16 cell.
int CellValue(int type, int x, int y) { return type == 0 ? (x + y) & 1 : type == 1 ? (x + y) % 3 : type == 2 ? x : y * 16 + x; }

TEST_F(SoftFonts, EveryCacheValueBecomesThePixelOfTheTable) {
    const int side = 16, saved_depth = GScreenMode.color_depth;
    for (int depth : {8, 16, 32}) {
        GScreenMode.color_depth = depth;
        for (int type = 0; type < (depth == 8 ? 2 : 4); type++)
            for (int trans : {1, 0}) {
                FontRecord* f = GetFontRecord(MakeFont(type));
                ASSERT_GE(f->cell, side);
                for (int y = 0; y < side; y++)
                    for (int x = 0; x < side; x++) {
                        int v = CellValue(type, x, y);
                        uint8_t* row = f->soft_bitmap + y * f->soft_pitch;
                        if (type) row[x] = (uint8_t)v;
                        else row[x / 8] = (uint8_t)(v ? row[x / 8] | (0x80 >> (x % 8)) : row[x / 8] & ~(0x80 >> (x % 8)));
                    }
                MEMIMG dst;
                int flags = depth == 8 ? MEMIMG_CREATE_PALETTE : type >= 2 ? MEMIMG_CREATE_ALPHA : 0;
                ASSERT_EQ(MemImageCreate(&dst, side + 2, side + 2, depth == 32 ? MEMIMG_TYPE_32 : MEMIMG_TYPE_16, flags, 0), 0);
                int bpp = MemImageBytesPerPixel(&dst);
                const uint32_t guard = 0x5A5A5A5A;
                MemImageFillRect(&dst, nullptr, guard);
                uint32_t text = depth == 32 ? 0xC8285A : 0xC94B, edge = depth == 32 ? 0x0AFA1E : 0x0FE3;
                WriteGlyphSoftware(f, &dst, nullptr, trans, 1, 1, 0, 0, side, side, text, edge, 0);
                for (int y = 0; y < side + 2; y++)
                    for (int x = 0; x < side + 2; x++) {
                        uint32_t got = 0, want = bpp == 4 ? guard : guard & ((1u << (8 * bpp)) - 1);
                        std::memcpy(&got, MemImagePixelAt(&dst, x, y), bpp);
                        bool inside = x >= 1 && y >= 1 && x <= side && y <= side;
                        if (inside && !ReferencePixel(depth, type, CellValue(type, x - 1, y - 1), text, edge, &want) && !trans)
                            want = 0;
                        if (depth == 8) want &= 0xFF;  // the low byte of the colours
                        ASSERT_EQ(got, want) << "depth " << depth << " type " << type << " trans " << trans << " at "
                                             << x << "," << y;
                    }
                MemImageRelease(&dst);
            }
    }
    GScreenMode.color_depth = saved_depth;
}

class SoftText : public SoftFonts {
protected:
    void SetUp() override {
        SoftFonts::SetUp();
        g_glyphs['A'] = GlyphBits({"xx", "x."}, 6);
        font = MakeFont(0);
        ASSERT_GE(font, 0);
    }
    // Screen pixel of glyph pixel (gx, gy) of character c drawn at (x, y) with a font of edge 1.
    uint32_t GlyphPixel(const Capture& cap, int h, unsigned char c, int x, int y, int gx, int gy) {
        GlyphCacheSlot* s = GetFontRecord(h)->codes[c].slot;
        return s ? cap.At(x + s->origin_x + 1 + gx, y + s->top_offset + 1 + gy) : 0xDEADBEEF;
    }
    int font = -1;
};

TEST_F(SoftText, OpaqueTextGoesStraightOnAndBlendedTextThroughTheWorkImage) {
    MEMIMG* work = GetTextWorkImage(0);
    MemImageFillRect(work, nullptr, 0x1234);
    unsigned white = PackScreenColor(255, 255, 255), red = PackScreenColor(255, 0, 0);
    DrawBox(0, 0, 640, 480, PackScreenColor(64, 64, 64), 1);
    EXPECT_EQ(DrawTextWithFont(10, 10, "A", white, font, 0, 0), 0);
    SetBlendModeParam(DX_BLENDMODE_ALPHA, 255);
    EXPECT_EQ(DrawTextWithFont(30, 10, "A", white, font, 0, 0), 0);
    EXPECT_EQ(*(uint16_t*)MemImagePixelAt(work, 0, 0), 0x1234);  // not used
    SetBlendModeParam(DX_BLENDMODE_ADD, 128);
    EXPECT_EQ(DrawTextWithFont(50, 10, "A", PackScreenColor(128, 0, 0), font, 0, 0), 0);
    // Text in the work image's key colour still shows: the key moves past the text and edge colours.
    int edged = MakeFont(1, 1);
    work->shared->trans_color = red;
    SetBlendModeParam(DX_BLENDMODE_ALPHA, 254);
    EXPECT_EQ(DrawTextWithFont(70, 10, "A", red, font, 0, 0), 0);
    EXPECT_EQ(work->shared->trans_color, red + 1);
    work->shared->trans_color = red;
    EXPECT_EQ(DrawTextWithFont(90, 10, "A", red, edged, red + 1, 0), 0);
    EXPECT_EQ(work->shared->trans_color, red + 2);
    // Antialiased text goes through the work image with alpha: levels 16 and 8 are alpha 240 and 112.
    g_glyphs['B'] = GlyphBits({"g8"}, 6);
    int aa = MakeFont(2);
    SetBlendModeParam(DX_BLENDMODE_NOBLEND, 255);
    DrawBox(0, 100, 640, 480, 0, 1);
    EXPECT_EQ(DrawTextWithFont(10, 100, "B", white, aa, 0, 0), 0);
    Capture cap;
    EXPECT_EQ(GlyphPixel(cap, font, 'A', 10, 10, 0, 0), 0xFFFFFFu);
    EXPECT_TRUE(RgbNear(GlyphPixel(cap, font, 'A', 10, 10, 1, 1), 66, 65, 66, 0));
    // Added at half strength: 64 + 128 / 2 in red, the rest as it was.
    EXPECT_TRUE(RgbNear(GlyphPixel(cap, font, 'A', 50, 10, 0, 0), 66 + 64, 65, 66, 8));
    EXPECT_TRUE(RgbNear(GlyphPixel(cap, font, 'A', 50, 10, 1, 1), 66, 65, 66, 0));
    EXPECT_TRUE(RgbNear(GlyphPixel(cap, font, 'A', 70, 10, 0, 0), 255, 0, 0, 8));
    EXPECT_TRUE(RgbNear(GlyphPixel(cap, font, 'A', 70, 10, 1, 1), 66, 65, 66, 0));
    const int levels[] = {240, 112, 0};
    for (int i = 0; i < 3; i++) {
        EXPECT_TRUE(RgbNear(GlyphPixel(cap, aa, 'B', 10, 100, i, 0), levels[i], levels[i], levels[i], 8)) << i;
    }
}

TEST_F(SoftText, GlyphsAreClippedToTheDrawAreaAndTheScreen) {
    g_glyphs['W'] = GlyphBits(std::vector<std::string>(8, "xxxxxxxx"), 10);
    unsigned white = PackScreenColor(255, 255, 255);
    DrawBox(0, 0, 640, 480, PackScreenColor(0, 0, 255), 1);
    // Across the area's right edge, horizontally and turned, straight and through the
    // work image; then off every screen edge.
    SetDrawArea(100, 100, 104, 300);
    const struct {
        int x, y, vertical, blend;
        const char* text;
    } draws[] = {{98, 100, 0, 0, "W"}, {95, 150, 1, 0, "W"},   {98, 200, 1, 1, "W"},
                 {-5, -9, 0, 0, "WW"}, {634, 474, 1, 0, "WW"}, {630, 470, 0, 1, "WWW"}};
    for (const auto& d : draws) {
        if (d.x < 0) SetDrawArea(0, 0, 640, 480);
        SetBlendModeParam(d.blend ? DX_BLENDMODE_ADD : DX_BLENDMODE_NOBLEND, 255);
        EXPECT_EQ(DrawTextWithFont(d.x, d.y, d.text, white, font, 0, d.vertical), 0);
    }
    SetBlendModeParam(DX_BLENDMODE_NOBLEND, 255);
    Capture cap;
    int lit_inside = 0;
    for (int y = 90; y < 320; y++)
        for (int x = 80; x < 130; x++) {
            bool white_px = cap.At(x, y) == 0xFFFFFF;
            EXPECT_FALSE(white_px && (x < 100 || x >= 104)) << x << "," << y;
            lit_inside += white_px;
        }
    EXPECT_GE(lit_inside, 4 * 8);
    // A write past the screen image would have broken the next block's header.
    EXPECT_EQ(MemCheckIntegrity(), 0);
}

TEST_F(SoftText, ARefusedGlyphEndsTheStringWithTheGlyphsBeforeItDrawn) {
    g_glyphs['F'].fail = true;
    // Straight onto the screen, then through the work image.
    for (int blend : {DX_BLENDMODE_NOBLEND, DX_BLENDMODE_ADD}) {
        ClearScreen();
        SetBlendModeParam(blend, 255);
        LogCapture log;
        EXPECT_EQ(DrawTextWithFont(10, 10, "AF", PackScreenColor(255, 255, 255), font, 0, 0), -1) << blend;
        const char* failed = "テキストキャッシュの作成に失敗しました";
        EXPECT_EQ(log.text.find(failed), log.text.rfind(failed)) << blend << ": logged once";
        EXPECT_TRUE(log.Has(failed)) << blend;
        Capture cap;
        EXPECT_TRUE(RgbNear(GlyphPixel(cap, font, 'A', 10, 10, 0, 0), 255, 255, 255, 8)) << blend;
    }
}

// The screen as 0xRRGGBB values, row by row.
std::vector<uint32_t> Grab() {
    Capture cap;
    std::vector<uint32_t> px;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) px.push_back(cap.At(x, y));
    return px;
}

// Pixels of a that differ from b shifted by (dx, dy), over the part both show.
int Mismatches(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int dx, int dy) {
    int bad = 0;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++)
            if (x + dx < 640 && y + dy < 480 && a[y * 640 + x] != b[(y + dy) * 640 + x + dx]) bad++;
    return bad;
}

// A string reaching past the screen's far edge, drawn from a negative position,
// against its tail drawn as a shifted copy at a positive position: the spaces in
// front move the tail without drawing anything.
TEST_F(SoftFonts, TextFromNegativePositionsDrawsEveryPixelItReaches) {
    g_glyphs['M'] = GlyphBits(std::vector<std::string>(12, "x8.4x."), 8);  // 10 apart with the edge
    g_glyphs[0x20].advance = 8;
    const std::string tail(70, 'M'), text = std::string(40, ' ') + tail;
    const int along = 400, across = 16;  // the copy at (10, 10); the whole string this far back
    const struct {
        int type, blend, vertical;
    } cases[] = {{2, DX_BLENDMODE_NOBLEND, 0}, {2, DX_BLENDMODE_NOBLEND, 1}, {0, DX_BLENDMODE_ADD, 0},
                 {0, DX_BLENDMODE_ADD, 1}};
    for (const auto& c : cases) {
        int h = MakeFont(c.type);
        SetBlendModeParam(c.blend, 255);
        auto draw = [&](const std::string& s, int back, int up) {
            ClearScreen();
            int x = 10 - (c.vertical ? up : back), y = 10 - (c.vertical ? back : up);
            EXPECT_EQ(DrawTextWithFont(x, y, s.c_str(), PackScreenColor(255, 255, 255), h, 0, c.vertical), 0);
            return Grab();
        };
        std::vector<uint32_t> whole = draw(text, along, across), copy = draw(tail, 0, 0);
        EXPECT_GT(copy.size() - std::count(copy.begin(), copy.end(), 0u), 2000u) << c.type << " " << c.vertical;
        EXPECT_EQ(Mismatches(whole, copy, c.vertical ? across : 0, c.vertical ? 0 : across), 0)
            << c.type << " " << c.vertical;
    }
}

// Glyphs that leave the line box: '_' ends on the line's last row, so its edge
// offset puts its pixels one row below; 'j' starts 3 pixels left of the pen.
void ScriptLowGlyphs(int font) {
    FontRecord* f = GetFontRecord(font);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, f->hfont);
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    DeleteDC(dc);
    g_glyphs['_'] = GlyphBits({"xxxxxx"}, 8);
    g_glyphs['_'].origin_y = tm.tmAscent - (f->line_height - 1);
    g_glyphs['j'] = GlyphBits({"..xx", "...x", "x..x", ".xx."}, 6, -3);
}

// "j_j_" in a plain and an antialiased size-12 font, both directions; which pixels lit.
std::vector<uint32_t> DrawLowLines(int blend) {
    int fonts[2] = {MakeFont(0, -1, 12), MakeFont(2, -1, 12)};
    ScriptLowGlyphs(fonts[0]);
    ClearScreen();
    SetBlendModeParam(blend, 255);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(DrawTextWithFont(40 + 100 * i, 40, "j_j_", PackScreenColor(255, 255, 255), fonts[i / 2], 0, i % 2),
                  0);
    SetBlendModeParam(DX_BLENDMODE_NOBLEND, 255);
    std::vector<uint32_t> px = Grab();
    for (uint32_t& v : px) v = v >= 0x800000;
    EXPECT_EQ(DeleteFontHandle(fonts[0]) + DeleteFontHandle(fonts[1]), 0);
    return px;
}

TEST_F(D3DFonts, LowGlyphsOfASoftwareLineLightWhatDirect3DLights) {
    std::vector<uint32_t> d3d = DrawLowLines(DX_BLENDMODE_NOBLEND);
    ASSERT_EQ(std::count(d3d.begin(), d3d.end(), 1u), 4 * (7 + 6) * 2);  // every pixel of the four lines
    EndLibrarySystems();
    SetUseHardwareRendering(0);
    ASSERT_EQ(InitLibrarySystems(), 0);
    ASSERT_EQ(GraphicsUsesD3D(), 0);
    // No blending: the plain font straight on, the antialiased one through the work
    // image; adding: both through the work image.
    for (int blend : {DX_BLENDMODE_NOBLEND, DX_BLENDMODE_ADD})
        EXPECT_EQ(Mismatches(DrawLowLines(blend), d3d, 0, 0), 0) << blend;
}

}  // namespace
