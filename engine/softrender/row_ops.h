// Whole-row stores of the software renderer: a row filled with one repeated
// 32-bit pattern (two 16-bit pixels or one 32-bit pixel) and a row copied from
// a source that does not overlap it. With SSE2 the middle of a row goes in
// aligned 16-byte stores and the ends in one unaligned store each; rows may
// start at any address. Internal.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#ifdef __SSE2__
// (d * (256 - w) + s * w) >> 8 on every byte of four 32-bit pixels.
// w128lo / w128hi: 128 times the weight of each byte as 16-bit lanes, for
// pixels 0-1 and 2-3; a byte whose weight is 0 keeps d (byte 3 of every pixel,
// by RowKeepTop). Taken as d + floor((s - d) * w / 256), the high half of
// 2 (s - d) * 128 w: both factors fit signed 16 bits.
inline __attribute__((always_inline)) __m128i RowLerp4(__m128i d, __m128i s, __m128i w128lo, __m128i w128hi) {
    const __m128i z = _mm_setzero_si128();
    __m128i dl = _mm_unpacklo_epi8(d, z), dh = _mm_unpackhi_epi8(d, z);
    __m128i lo = _mm_add_epi16(dl, _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(s, z), dl), 1), w128lo));
    __m128i hi = _mm_add_epi16(dh, _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(_mm_unpackhi_epi8(s, z), dh), 1), w128hi));
    return _mm_packus_epi16(lo, hi);
}
// Weights with the lane of byte 3 cleared.
inline __attribute__((always_inline)) __m128i RowKeepTop(__m128i w16) {
    return _mm_and_si128(w16, _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1));
}
// d * (256 - p) + c * p, >> 8, on bytes 0-2 of four pixels; byte 3 kept.
// q16 = RowKeepTop-like weights 256 - p (256 in byte 3's lane), cp16 = c * p
// per lane (0 in byte 3's lane).
inline __attribute__((always_inline)) __m128i RowLerpConst4(__m128i d, __m128i q16, __m128i cp16) {
    const __m128i z = _mm_setzero_si128();
    __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(d, z), q16), cp16);
    __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(d, z), q16), cp16);
    return _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8));
}
#endif

// Pattern as seen from an address `offset` bytes past the row's start.
inline uint32_t RowPatternAt(uint32_t pattern, uintptr_t offset) {
    unsigned r = (unsigned)(offset & 3) * 8;
    return r ? (pattern >> r) | (pattern << (32 - r)) : pattern;
}

// bytes: a multiple of the pixel size (2 or 4); the pattern repeats every 4 bytes.
inline void RowFill(uint8_t* d, uint32_t pattern, size_t bytes) {
#ifdef __SSE2__
    if (bytes >= 16) {
        uint8_t* end = d + bytes;
        _mm_storeu_si128((__m128i*)d, _mm_set1_epi32((int)pattern));
        uint8_t* a = (uint8_t*)(((uintptr_t)d + 16) & ~(uintptr_t)15);
        const __m128i v = _mm_set1_epi32((int)RowPatternAt(pattern, (uintptr_t)(a - d)));
        for (; a + 64 <= end; a += 64) {
            _mm_store_si128((__m128i*)a, v);
            _mm_store_si128((__m128i*)(a + 16), v);
            _mm_store_si128((__m128i*)(a + 32), v);
            _mm_store_si128((__m128i*)(a + 48), v);
        }
        for (; a + 16 <= end; a += 16) _mm_store_si128((__m128i*)a, v);
        if (a < end)
            _mm_storeu_si128((__m128i*)(end - 16), _mm_set1_epi32((int)RowPatternAt(pattern, bytes - 16)));
        return;
    }
#endif
    size_t i = 0;
    for (; i + 4 <= bytes; i += 4) std::memcpy(d + i, &pattern, 4);
    if (i < bytes) std::memcpy(d + i, &pattern, 2);
}

// The source must not share bytes with the destination row; bytes: a multiple of 2.
inline void RowCopy(uint8_t* d, const uint8_t* s, size_t bytes) {
#ifdef __SSE2__
    if (bytes >= 16) {
        uint8_t* end = d + bytes;
        _mm_storeu_si128((__m128i*)d, _mm_loadu_si128((const __m128i*)s));
        size_t i = (size_t)((((uintptr_t)d + 16) & ~(uintptr_t)15) - (uintptr_t)d);
        for (; i + 64 <= bytes; i += 64) {
            __m128i a = _mm_loadu_si128((const __m128i*)(s + i));
            __m128i b = _mm_loadu_si128((const __m128i*)(s + i + 16));
            __m128i c = _mm_loadu_si128((const __m128i*)(s + i + 32));
            __m128i e = _mm_loadu_si128((const __m128i*)(s + i + 48));
            _mm_store_si128((__m128i*)(d + i), a);
            _mm_store_si128((__m128i*)(d + i + 16), b);
            _mm_store_si128((__m128i*)(d + i + 32), c);
            _mm_store_si128((__m128i*)(d + i + 48), e);
        }
        for (; i + 16 <= bytes; i += 16)
            _mm_store_si128((__m128i*)(d + i), _mm_loadu_si128((const __m128i*)(s + i)));
        if (i < bytes) _mm_storeu_si128((__m128i*)(end - 16), _mm_loadu_si128((const __m128i*)(s + bytes - 16)));
        return;
    }
#endif
    // bytes: a multiple of 2 here as well.
    size_t i = 0;
    for (; i + 4 <= bytes; i += 4) std::memcpy(d + i, s + i, 4);
    if (i < bytes) std::memcpy(d + i, s + i, 2);
}
