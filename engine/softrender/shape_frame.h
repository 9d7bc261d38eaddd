// Internal to the shape primitives: the per-call state, the destination, the
// flat-colour writers (one per colour type and blend mode) and the cores, which
// take the state as an argument and read no global. The writers' rules are
// the shapes' own (draw bright as (v * b) >> 8, their own packed add and
// subtract); the picture blits round differently and share nothing with them.
#pragma once
#include <cstdint>
#include <cstring>
#include "engine/system/rect.h"

struct MEMIMG;

// What a call reads of the draw settings and the tables, once, at entry.
struct ShapeState {
    Rect area;                  // right and bottom exclusive
    int32_t mode;
    int32_t param;              // 0..255
    uint8_t bright[3];          // blue, green, red
    const int32_t* mul_row;     // MemImgMulTable[param]
    const int32_t* smul_centre; // &MemImgSignedMulTable[param][256]
};

// Reads GDrawSettings and the table rows of its blend parameter.
ShapeState ShapeReadState();

struct ShapeTarget {
    uint8_t* pixels;   // view's top-left
    int32_t pitch;
    int32_t bpp;       // bytes per pixel
    int32_t color_type;
    Rect area;         // draw area cut to the view
};

// Refuses a null image, palette or alpha destinations, colour types other than
// 0 and 1, and a draw area that leaves nothing of the view.
bool ShapeTargetOf(const ShapeState& st, const MEMIMG* img, ShapeTarget* out);

// The flat colour after draw bright and what the chosen mode needs per pixel.
struct ShapePen {
    int format;                 // 16 or 32
    int mode;                   // 0, 1, 2, 3, 4, 10, 11 (mode 1 at p = 255 becomes 0)
    uint32_t color;             // after draw bright (16-bit: low half only)
    uint32_t scaled;            // modes 2, 3: the colour scaled by row p, packed
    int32_t c[3];               // blue, green, red channels or fields (mode 10: inverted)
    int32_t p;
    const int32_t* smul;        // centre of row p of the signed table
};

// False when nothing is drawn: colour type, blend mode or parameter refused.
bool ShapeMakePen(const ShapeState& st, int color_type, uint32_t color, ShapePen* pen);

inline uint32_t ShapeLoad32(const uint8_t* p) { uint32_t v; std::memcpy(&v, p, 4); return v; }
inline void ShapeStore32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline uint32_t ShapeLoad16(const uint8_t* p) { uint16_t v; std::memcpy(&v, p, 2); return v; }
inline void ShapeStore16(uint8_t* p, uint32_t v) { uint16_t w = (uint16_t)v; std::memcpy(p, &w, 2); }

inline uint32_t ShapeAdd32(uint32_t d, uint32_t s) {
    uint32_t t = (d & 0x00FEFEFFu) + (s & 0x00FEFEFFu);
    uint32_t c = t & 0x01010100u;
    uint32_t k = c - (c >> 8);
    return k | ((d | s) & 0x00010100u) | t;
}
inline uint32_t ShapeSub32(uint32_t d, uint32_t s) {
    uint32_t t = (d | 0x01010100u) - (s & 0xFEFEFEFFu);
    uint32_t g = t & 0x01010100u;
    uint32_t k = g - (g >> 8);
    return k & t;
}
inline uint32_t ShapeAdd16(uint32_t d, uint32_t s) {
    uint32_t t = (d & 0xF7DEF7DFu) + (s & 0xF7DEF7DFu);
    uint32_t c = t & 0x08210820u;
    uint32_t k = c - (c >> 5);
    return (k | ((d | s) & 0x0820u) | t) & 0xFFFFu;
}
inline uint32_t ShapeSub16(uint32_t d, uint32_t s) {
    uint32_t t = (d | 0x08210820u) - (s & 0xF7DEF7DFu);
    uint32_t g = t & 0x08210820u;
    uint32_t k = g - (g >> 5);
    return (k & t) & 0xFFFFu;
}

// 32-bit writers: bytes 0-2 blended, byte 3 as each mode leaves it.
template <int Mode> struct ShapeWrite32 {
    static const int kBytes = 4;
    static inline void Put(uint8_t* px, const ShapePen& pen) {
        if (Mode == 0) {
            ShapeStore32(px, pen.color);
        } else if (Mode == 2) {
            ShapeStore32(px, ShapeAdd32(ShapeLoad32(px), pen.scaled));
        } else if (Mode == 3) {
            ShapeStore32(px, ShapeSub32(ShapeLoad32(px), pen.scaled));
        } else {
            uint32_t d = ShapeLoad32(px);
            uint32_t out = d & 0xFF000000u;
            for (int i = 0; i < 3; i++) {
                int32_t dc = (int32_t)((d >> (8 * i)) & 0xFF);
                int32_t v;
                if (Mode == 4) {
                    v = (dc * pen.c[i]) >> 8;
                } else {
                    // 1 and 10 move toward c (10 holds the inverted colour), 11 toward d * c.
                    int32_t x = Mode == 11 ? (dc * pen.c[i]) >> 8 : pen.c[i];
                    v = ((dc << 8) + (x - dc) * pen.p) >> 8;
                }
                out |= (uint32_t)v << (8 * i);
            }
            ShapeStore32(px, out);
        }
    }
};

// 16-bit writers on the 5-6-5 fields; every result is one 16-bit store.
template <int Mode> struct ShapeWrite16 {
    static const int kBytes = 2;
    static inline void Put(uint8_t* px, const ShapePen& pen) {
        if (Mode == 0) {
            ShapeStore16(px, pen.color);
        } else if (Mode == 2) {
            ShapeStore16(px, ShapeAdd16(ShapeLoad16(px), pen.scaled));
        } else if (Mode == 3) {
            ShapeStore16(px, ShapeSub16(ShapeLoad16(px), pen.scaled));
        } else {
            uint32_t d = ShapeLoad16(px);
            int32_t f[3] = {(int32_t)(d & 31), (int32_t)((d >> 5) & 63), (int32_t)(d >> 11)};
            static const int kWidth[3] = {5, 6, 5};
            for (int i = 0; i < 3; i++) {
                if (Mode == 4) {
                    f[i] = (f[i] * pen.c[i]) >> kWidth[i];
                } else {
                    int32_t x = Mode == 11 ? (f[i] * pen.c[i]) >> kWidth[i] : pen.c[i];
                    f[i] += pen.smul[x - f[i]];
                }
            }
            ShapeStore16(px, (uint32_t)(f[2] << 11 | f[1] << 5 | f[0]));
        }
    }
};

// Runs Body<Writer>::Run(pen, args...) with the writer of the pen's format and
// mode, so that each combination gets its own loop.
template <template <class> class Body, class... A>
inline void ShapeDispatch(const ShapePen& pen, A&&... args) {
    if (pen.format == 32) {
        switch (pen.mode) {
        case 0: Body<ShapeWrite32<0>>::Run(pen, args...); break;
        case 1: Body<ShapeWrite32<1>>::Run(pen, args...); break;
        case 2: Body<ShapeWrite32<2>>::Run(pen, args...); break;
        case 3: Body<ShapeWrite32<3>>::Run(pen, args...); break;
        case 4: Body<ShapeWrite32<4>>::Run(pen, args...); break;
        case 10: Body<ShapeWrite32<10>>::Run(pen, args...); break;
        case 11: Body<ShapeWrite32<11>>::Run(pen, args...); break;
        }
    } else {
        switch (pen.mode) {
        case 0: Body<ShapeWrite16<0>>::Run(pen, args...); break;
        case 1: Body<ShapeWrite16<1>>::Run(pen, args...); break;
        case 2: Body<ShapeWrite16<2>>::Run(pen, args...); break;
        case 3: Body<ShapeWrite16<3>>::Run(pen, args...); break;
        case 4: Body<ShapeWrite16<4>>::Run(pen, args...); break;
        case 10: Body<ShapeWrite16<10>>::Run(pen, args...); break;
        case 11: Body<ShapeWrite16<11>>::Run(pen, args...); break;
        }
    }
}

// The cores behind the entry points of shapes.h.
void ShapeFillRect(const ShapeState& st, MEMIMG* img, const Rect* rect, uint32_t color);
void ShapeLine(const ShapeState& st, MEMIMG* img, int x1, int y1, int x2, int y2, uint32_t color);
void ShapeCircleOutline(const ShapeState& st, MEMIMG* img, int cx, int cy, int r, uint32_t color);
void ShapeCircleFill(const ShapeState& st, MEMIMG* img, int cx, int cy, int r, uint32_t color);
