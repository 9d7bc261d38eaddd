// Font records and the glyph cache layout, shared by the font sources.
#pragma once
#include <windows.h>
#include <cstdint>
#include "engine/image/pixel_format.h"

enum { GLYPH_SLOT_MAX = 2024, GLYPH_CODE_COUNT = 65536 };

struct GlyphCodeEntry;

struct GlyphCacheSlot {
    uint8_t in_use;
    int16_t origin_x;      // left bearing
    int16_t top_offset;    // line top to the top of the box
    int16_t advance;       // including twice the edge
    int32_t cell;          // cache cell of this slot; -1 after the last usable one
    int16_t box_width;     // black box plus twice the edge
    int16_t box_height;
    GlyphCodeEntry* code;  // the character that maps here
};

struct GlyphCodeEntry {
    int32_t cached;
    GlyphCacheSlot* slot;
};

// One character: first byte, second byte (0 for a single byte), always 0.
struct GlyphRequest {
    uint8_t first, second, zero;
};

struct FontRecord {
    int32_t check;
    int* lost_flag;
    GlyphCacheSlot slots[GLYPH_SLOT_MAX + 1];
    GlyphCodeEntry codes[GLYPH_CODE_COUNT];
    int32_t next_slot;
    int32_t capacity;
    uint8_t* soft_bitmap;     // software cache, null in texture mode
    int32_t soft_pitch;
    int32_t soft_bits;        // 1 or 8
    char face[256];           // empty: the default face
    int32_t thickness;
    int32_t size;
    int32_t line_height;
    int32_t italic;
    int32_t spacing;
    int32_t cell;             // side of one square cache cell
    HFONT hfont;
    int32_t type;             // bit 0 edge, bit 1 antialiased
    int32_t charset_index;
    int32_t edge_size;
    int32_t cache_width;      // one half of the texture cache, or the cell in software mode
    int32_t cache_height;
    int32_t rows_per_column;
    int32_t cache_graphic;    // -1 when none
    int32_t edge_graphic;     // -1 when none
    int32_t rebuild;          // lost flag of the cache graphic
    BaseImage cache_image;    // system-memory copy of the cache texture
    int32_t texture_mode;
};

inline int GlyphKey(const GlyphRequest& r) { return r.first | (r.second << 8); }
inline int FontHasEdge(const FontRecord* f) { return f->type & 1; }
inline int FontIsAntialiased(const FontRecord* f) { return (f->type >> 1) & 1; }
// The edge every glyph is grown by (box, advance, placement in its cell): the
// font's edge size, also for a font drawn without an edge.
inline int FontGlyphEdge(const FontRecord* f) { return f->edge_size; }
// Top-left of a cell in the cache; texture cells keep a one-pixel margin.
inline void FontCellOrigin(const FontRecord* f, int cell, int* x, int* y) {
    int rows = f->rows_per_column > 0 ? f->rows_per_column : 1;
    *x = cell / rows * f->cell + (f->texture_mode ? 1 : 0);
    *y = cell % rows * f->cell + (f->texture_mode ? 1 : 0);
}
// A character is a space (drawn as nothing) when it is 0x20 or 0x81 0x40.
inline int GlyphIsSpace(const GlyphRequest& r) {
    return (r.first == 0x20 && r.second == 0) || (r.first == 0x81 && r.second == 0x40);
}

// The live record of a handle (after the type, slot and check number test), or null.
FontRecord* FontRecordOf(int font);
int IsFontSystemStarted();
// Packed text colours after the draw bright: for the software writer (screen
// format without the bits of packed black) and for the texture path (0xFFRRGGBB).
void PrepareTextColor(unsigned color, unsigned* soft, unsigned* argb);

struct Rect;
struct MEMIMG;
// Writes one glyph of a software cache into dst; the software text path.
// box: where the glyph goes on dst (already turned for vertical writing); sx, sy:
// the glyph's cell origin in the cache bitmap; bw, bh: its box size.
void WriteGlyphSoftware(const FontRecord* f, MEMIMG* dst, const Rect* clip, int trans, int box_x, int box_y,
                        int sx, int sy, int bw, int bh, unsigned color, unsigned edge_color, int vertical);
