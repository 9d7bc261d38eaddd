// Internal to the shape primitives: the per-call state, the destination, the
// flat-colour writers (one per colour type and blend mode) and the cores, which
// take the state as an argument and read no global. The writers' rules are
// the shapes' own (draw bright as (v * b) >> 8, their own packed add and
// subtract); the picture blits round differently and share nothing with them.
#pragma once
#include <cstdint>
#include <cstring>
#include "engine/softrender/row_ops.h"
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
    uint32_t lerp_rb, lerp_g;   // modes 1, 10 (32-bit): blue and red, green of c times p
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

#ifdef __SSE2__
// The packed add and subtract above on four 32-bit or eight 16-bit pixels. In
// 16-bit lanes the carry (or absence of a borrow) out of bit 15, bit 16 of the
// one-pixel forms, is found from the top four bits apart.
inline __m128i ShapeAdd32x4(__m128i d, __m128i s) {
    const __m128i m = _mm_set1_epi32(0x00FEFEFF);
    const __m128i t = _mm_add_epi32(_mm_and_si128(d, m), _mm_and_si128(s, m));
    const __m128i c = _mm_and_si128(t, _mm_set1_epi32(0x01010100));
    const __m128i k = _mm_sub_epi32(c, _mm_srli_epi32(c, 8));
    return _mm_or_si128(_mm_or_si128(k, t), _mm_and_si128(_mm_or_si128(d, s), _mm_set1_epi32(0x00010100)));
}
inline __m128i ShapeSub32x4(__m128i d, __m128i s) {
    const __m128i t = _mm_sub_epi32(_mm_or_si128(d, _mm_set1_epi32(0x01010100)),
                                    _mm_and_si128(s, _mm_set1_epi32((int)0xFEFEFEFFu)));
    const __m128i g = _mm_and_si128(t, _mm_set1_epi32(0x01010100));
    return _mm_and_si128(_mm_sub_epi32(g, _mm_srli_epi32(g, 8)), t);
}
inline __m128i ShapeAdd16x8(__m128i d, __m128i s) {
    const __m128i m = _mm_set1_epi16((short)0xF7DF), red = _mm_set1_epi16((short)0xF800);
    const __m128i high = _mm_set1_epi16((short)0xF000);
    const __m128i t = _mm_add_epi16(_mm_and_si128(d, m), _mm_and_si128(s, m));
    const __m128i c = _mm_and_si128(t, _mm_set1_epi16(0x0820));
    // Bits 12-15 decide the carry out of bit 15 (bit 11 holds at most green's
    // carry); they overflow exactly when their saturating sum is 0xFFFF.
    const __m128i over = _mm_cmpeq_epi16(_mm_adds_epu16(_mm_and_si128(d, high), _mm_and_si128(s, high)),
                                         _mm_set1_epi16(-1));
    const __m128i k = _mm_or_si128(_mm_sub_epi16(c, _mm_srli_epi16(c, 5)), _mm_and_si128(over, red));
    return _mm_or_si128(_mm_or_si128(k, t), _mm_and_si128(_mm_or_si128(d, s), _mm_set1_epi16(0x0820)));
}
inline __m128i ShapeSub16x8(__m128i d, __m128i s) {
    const __m128i red = _mm_set1_epi16((short)0xF800);
    const __m128i t = _mm_sub_epi16(_mm_or_si128(d, _mm_set1_epi16(0x0820)), _mm_and_si128(s, _mm_set1_epi16((short)0xF7DF)));
    const __m128i g = _mm_and_si128(t, _mm_set1_epi16(0x0820));
    // No borrow out of bit 15 when d's bits 12-15 are at least s's (bit 11 of
    // d is the guard that takes green's borrow).
    const __m128i high = _mm_set1_epi16((short)0xF000);
    const __m128i keep = _mm_cmpeq_epi16(_mm_subs_epu16(_mm_and_si128(s, high), _mm_and_si128(d, high)),
                                         _mm_setzero_si128());
    return _mm_and_si128(_mm_or_si128(_mm_sub_epi16(g, _mm_srli_epi16(g, 5)), _mm_and_si128(keep, red)), t);
}
#endif

// 32-bit writers: bytes 0-2 blended, byte 3 as each mode leaves it. Put
// draws one pixel, Span n pixels of a row.
template <int Mode> struct ShapeWrite32 {
    static const int kBytes = 4;
    static inline void Put(uint8_t* px, const ShapePen& pen) {
        const uint32_t d = ShapeLoad32(px);
        if (Mode == 0) {
            ShapeStore32(px, pen.color);
        } else if (Mode == 2) {
            ShapeStore32(px, ShapeAdd32(d, pen.scaled));
        } else if (Mode == 3) {
            ShapeStore32(px, ShapeSub32(d, pen.scaled));
        } else if (Mode == 1 || Mode == 10) {
            // ((d << 8) + (c - d) * p) >> 8 = (d * (256 - p) + c * p) >> 8 per
            // channel; blue and red share a word, no sum reaching 2^16.
            const uint32_t q = 256 - (uint32_t)pen.p;
            const uint32_t rb = (((d & 0xFF00FFu) * q + pen.lerp_rb) >> 8) & 0xFF00FFu;
            const uint32_t g = (((d & 0xFF00u) * q + pen.lerp_g) >> 8) & 0xFF00u;
            ShapeStore32(px, (d & 0xFF000000u) | rb | g);
        } else {
            ShapeStore32(px, (d & 0xFF000000u) | Channel(d, pen, 0) | Channel(d, pen, 1) << 8 |
                                 Channel(d, pen, 2) << 16);
        }
    }
    // Modes 4 and 11.
    static inline uint32_t Channel(uint32_t d, const ShapePen& pen, int i) {
        const int32_t dc = (int32_t)((d >> (8 * i)) & 0xFF);
        if (Mode == 4) return (uint32_t)((dc * pen.c[i]) >> 8);
        const int32_t x = (dc * pen.c[i]) >> 8;
        return (uint32_t)(((dc << 8) + (x - dc) * pen.p) >> 8);
    }
    static inline void Span(uint8_t* px, int64_t n, const ShapePen& pen) {
        if (Mode == 0) {
            RowFill(px, pen.color, (size_t)n * 4);
            return;
        }
#ifdef __SSE2__
        if (Mode == 2 || Mode == 3) {
            const __m128i s = _mm_set1_epi32((int)pen.scaled);
            for (; n >= 4; n -= 4, px += 16) {
                const __m128i d = _mm_loadu_si128((const __m128i*)px);
                _mm_storeu_si128((__m128i*)px, Mode == 2 ? ShapeAdd32x4(d, s) : ShapeSub32x4(d, s));
            }
        }
        if ((Mode == 1 || Mode == 10) && pen.p == 128) {
            // (d * 128 + c * 128) >> 8 is the floor of the mean: the rounded-up
            // byte mean less the low bit of d ^ c; byte 3 kept.
            const __m128i c = _mm_set1_epi32((int)(pen.c[2] << 16 | pen.c[1] << 8 | pen.c[0]));
            const __m128i one = _mm_set1_epi8(1), top = _mm_set1_epi32((int)0xFF000000u);
            for (; n >= 4; n -= 4, px += 16) {
                const __m128i d = _mm_loadu_si128((const __m128i*)px);
                const __m128i mean = _mm_sub_epi8(_mm_avg_epu8(d, c), _mm_and_si128(_mm_xor_si128(d, c), one));
                _mm_storeu_si128((__m128i*)px, _mm_or_si128(_mm_and_si128(d, top), _mm_andnot_si128(top, mean)));
            }
        } else if (Mode == 1 || Mode == 10) {
            const short q = (short)(256 - pen.p), p = (short)pen.p;
            const __m128i qv = _mm_set_epi16(256, q, q, q, 256, q, q, q);
            const __m128i cp = _mm_set_epi16(0, (short)(pen.c[2] * p), (short)(pen.c[1] * p), (short)(pen.c[0] * p), 0,
                                             (short)(pen.c[2] * p), (short)(pen.c[1] * p), (short)(pen.c[0] * p));
            for (; n >= 4; n -= 4, px += 16)
                _mm_storeu_si128((__m128i*)px, RowLerpConst4(_mm_loadu_si128((const __m128i*)px), qv, cp));
        }
#endif
        for (; n > 0; n--, px += 4) Put(px, pen);
    }
};

// 16-bit writers on the 5-6-5 fields; every result is one 16-bit store.
template <int Mode> struct ShapeWrite16 {
    static const int kBytes = 2;
    static inline void Put(uint8_t* px, const ShapePen& pen) {
        const uint32_t d = ShapeLoad16(px);
        if (Mode == 0) {
            ShapeStore16(px, pen.color);
        } else if (Mode == 2) {
            ShapeStore16(px, ShapeAdd16(d, pen.scaled));
        } else if (Mode == 3) {
            ShapeStore16(px, ShapeSub16(d, pen.scaled));
        } else {
            ShapeStore16(px, Field<0, 5>(d, pen) | Field<5, 6>(d, pen) << 5 | Field<11, 5>(d, pen) << 11);
        }
    }
    template <int Shift, int Width> static inline uint32_t Field(uint32_t d, const ShapePen& pen) {
        const int32_t f = (int32_t)((d >> Shift) & ((1u << Width) - 1));
        const int32_t c = pen.c[Shift == 0 ? 0 : Shift == 5 ? 1 : 2];
        if (Mode == 4) return (uint32_t)((f * c) >> Width);
        const int32_t x = Mode == 11 ? (f * c) >> Width : c;
        return (uint32_t)(f + pen.smul[x - f]);
    }
#ifdef __SSE2__
    // f + p * (x - f) / 255 (truncated toward zero) on one field of eight
    // pixels. |p * (x - f)| <= 255 * 63, where (n * 32897) >> 23 is n / 255.
    template <int Shift, int Width> static inline __m128i FieldLerp8(__m128i d, __m128i p, __m128i x) {
        const __m128i f = _mm_and_si128(_mm_srli_epi16(d, Shift), _mm_set1_epi16((1 << Width) - 1));
        const __m128i v = _mm_sub_epi16(x, f);
        const __m128i sign = _mm_srai_epi16(v, 15);
        const __m128i n = _mm_mullo_epi16(_mm_sub_epi16(_mm_xor_si128(v, sign), sign), p);
        const __m128i q = _mm_srli_epi16(_mm_mulhi_epu16(n, _mm_set1_epi16((short)32897)), 7);
        return _mm_slli_epi16(_mm_add_epi16(f, _mm_sub_epi16(_mm_xor_si128(q, sign), sign)), Shift);
    }
#endif
    static inline void Span(uint8_t* px, int64_t n, const ShapePen& pen) {
        if (Mode == 0) {
            RowFill(px, pen.color | pen.color << 16, (size_t)n * 2);
            return;
        }
#ifdef __SSE2__
        if (Mode == 2 || Mode == 3) {
            const __m128i s = _mm_set1_epi16((short)pen.scaled);
            for (; n >= 8; n -= 8, px += 16) {
                const __m128i d = _mm_loadu_si128((const __m128i*)px);
                _mm_storeu_si128((__m128i*)px, Mode == 2 ? ShapeAdd16x8(d, s) : ShapeSub16x8(d, s));
            }
        }
        if (Mode == 1 || Mode == 10) {
            const __m128i p = _mm_set1_epi16((short)pen.p);
            const __m128i xb = _mm_set1_epi16((short)pen.c[0]), xg = _mm_set1_epi16((short)pen.c[1]),
                          xr = _mm_set1_epi16((short)pen.c[2]);
            for (; n >= 8; n -= 8, px += 16) {
                const __m128i d = _mm_loadu_si128((const __m128i*)px);
                _mm_storeu_si128((__m128i*)px, _mm_or_si128(_mm_or_si128(FieldLerp8<0, 5>(d, p, xb),
                                                                         FieldLerp8<5, 6>(d, p, xg)),
                                                            FieldLerp8<11, 5>(d, p, xr)));
            }
        }
#endif
        for (; n > 0; n--, px += 2) Put(px, pen);
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
