// Font tests: engine fixtures in both modes, a log capture and a scripted glyph
// source that hands out exact bitmaps.
#pragma once
#include <gtest/gtest.h>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/font/font.h"
#include "engine/font/font_record.h"
#include "engine/graphics/draw_settings.h"
#include "graphics/graphics_test_util.h"
#include "system/log_capture.h"

// One scripted glyph. A row gives levels: 'x' 16, '.' 0, '0'-'9', 'a'-'g' 10-16;
// 1-bit queries set the pixels of non-zero levels.
struct FakeGlyph {
    std::vector<std::string> rows;
    int advance = 8, origin_x = 0, origin_y = 12;
    bool fail = false;        // the query fails
    bool no_pixels = false;   // success with size 0, as the platform answers for a missing glyph
};
inline std::map<unsigned, FakeGlyph> g_glyphs;

inline DWORD WINAPI FakeGlyphOutline(HDC, UINT ch, UINT fmt, LPGLYPHMETRICS gm, DWORD size, LPVOID buf,
                                     const MAT2*) {
    auto it = g_glyphs.find(ch);
    if (it == g_glyphs.end() || it->second.fail) return GDI_ERROR;
    const FakeGlyph& g = it->second;
    int h = (int)g.rows.size(), w = h ? (int)g.rows[0].size() : 0;
    gm->gmBlackBoxX = w ? w : 1;
    gm->gmBlackBoxY = h ? h : 1;
    gm->gmptGlyphOrigin.x = g.origin_x;
    gm->gmptGlyphOrigin.y = g.origin_y;
    gm->gmCellIncX = (short)g.advance;
    gm->gmCellIncY = 0;
    if (g.no_pixels || h == 0) return 0;
    bool gray = fmt == GGO_GRAY4_BITMAP;
    int pitch = gray ? (w + 3) & ~3 : (w + 31) / 32 * 4;
    DWORD need = (DWORD)(pitch * h);
    if (!buf || size == 0) return need;
    if (size < need) return GDI_ERROR;
    uint8_t* out = (uint8_t*)buf;
    std::memset(out, 0, need);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            char c = g.rows[y][x];
            int l = c >= 'a' ? 10 + (c - 'a') : c == 'x' ? 16 : c == '.' ? 0 : c - '0';
            if (gray) out[y * pitch + x] = (uint8_t)l;
            else if (l) out[y * pitch + x / 8] |= (uint8_t)(0x80 >> (x % 8));
        }
    return need;
}

inline FakeGlyph GlyphBits(std::vector<std::string> rows, int advance = 8, int origin_x = 0) {
    FakeGlyph g;
    g.rows = std::move(rows);
    g.advance = advance;
    g.origin_x = origin_x;
    return g;
}

// Engine up in one mode (1 Direct3D, 0 software) with the scripted glyph source.
template <int HW> class Fonts : public GraphicsEngine {
protected:
    int Hardware() const override { return HW; }
    void SetUp() override {
        GraphicsEngine::SetUp();
        SetGlyphSource(&FakeGlyphOutline);
    }
    void TearDown() override {
        SetGlyphSource(nullptr);
        g_glyphs.clear();
        GraphicsEngine::TearDown();
    }
};
using D3DFonts = Fonts<1>;
using SoftFonts = Fonts<0>;

inline GlyphRequest Req(unsigned char a, unsigned char b = 0) { return GlyphRequest{a, b, 0}; }
inline int MakeFont(int type, int edge = -1, int size = 16) {
    return CreateFontToHandle(nullptr, size, -1, type, -1, edge, 0);
}
