// Whole-row forms of the commonest blit loops: keyed copies, the 32-bit
// constant-alpha blend and add of a plain source, the 16- and 32-bit
// alpha-source copies, four or eight pixels at a time with SSE2. They give
// the same bits as the per-pixel operations, which still draw the pixels left
// over at a row's end and everything in a build without SSE2. Internal.
#pragma once
#include <cstdint>
#include <type_traits>
#include "engine/softrender/pixel_ops.h"
#include "engine/softrender/row_ops.h"

template <class F, class S, class R, bool Trans>
BLIT_INLINE void BlitDrawPixel(const BlitJob& j, uint8_t* dp, const uint8_t* sp, const uint8_t* gp);

#ifdef __SSE2__
// Four A8R8G8B8 pixels of s blended onto d by their own alpha: 128 times the
// alpha byte spread over the 16-bit lanes of bytes 0-2 (0 in byte 3's lane:
// the blend keeps d's byte 3).
BLIT_INLINE __m128i BlitAlphaLerp4(__m128i d, __m128i s) {
    __m128i a = _mm_slli_epi32(_mm_srli_epi32(s, 24), 7);
    a = _mm_or_si128(a, _mm_slli_epi32(a, 16));
    return RowLerp4(d, s, RowKeepTop(_mm_unpacklo_epi32(a, a)), RowKeepTop(_mm_unpackhi_epi32(a, a)));
}

// Keeps d where m is set, else takes s.
BLIT_INLINE __m128i BlitSelect(__m128i m, __m128i d, __m128i s) {
    return _mm_or_si128(_mm_and_si128(m, d), _mm_andnot_si128(m, s));
}

// Eight R5G6B5 pixels of d moved toward c by a per field, as the 16-bit
// alpha lerp does: (d * (256 - a) + c * a) >> 8, taken as (d << 8) + (c - d) * a
// modulo 2^16 (the true value lies in 0..16128).
BLIT_INLINE __m128i BlitLerp565(__m128i d, __m128i c, __m128i a) {
    auto field = [&](__m128i cf, __m128i df) BLIT_LAMBDA_INLINE {
        return _mm_srli_epi16(_mm_add_epi16(_mm_slli_epi16(df, 8), _mm_mullo_epi16(_mm_sub_epi16(cf, df), a)), 8);
    };
    const __m128i m5 = _mm_set1_epi16(31), m6 = _mm_set1_epi16(63);
    __m128i b = field(_mm_and_si128(c, m5), _mm_and_si128(d, m5));
    __m128i g = field(_mm_and_si128(_mm_srli_epi16(c, 5), m6), _mm_and_si128(_mm_srli_epi16(d, 5), m6));
    __m128i r = field(_mm_srli_epi16(c, 11), _mm_srli_epi16(d, 11));
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), b);
}

// The colour words and alpha bytes of eight 16-bit alpha pixels (word, alpha,
// spare byte) as 16-bit lanes.
BLIT_INLINE void BlitSplit565Alpha(const uint8_t* s, __m128i* c, __m128i* a) {
    __m128i s0 = _mm_loadu_si128((const __m128i*)s), s1 = _mm_loadu_si128((const __m128i*)(s + 16));
    // Sign-extended words survive the signed-saturating pack unchanged.
    *c = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(s0, 16), 16), _mm_srai_epi32(_mm_slli_epi32(s1, 16), 16));
    const __m128i byte = _mm_set1_epi32(255);
    *a = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(s0, 16), byte), _mm_and_si128(_mm_srli_epi32(s1, 16), byte));
}
#endif

template <class F, class S, class R, bool Trans> struct BlitRows {
    using C = typename R::Config;
    static constexpr bool kPlain = !C::kGraph && !C::kBright && C::kForm == FORM_GENERAL;
    static constexpr bool kCopy = std::is_same<R, PixelOpCopy<C>>::value;
    // Per-pixel walk.
    static constexpr bool kKeyedCopy = kPlain && kCopy && Trans && S::kKind == SRC_DIRECT;
    static constexpr bool kConstAlpha =
        kPlain && F::kType == 1 && S::kKind == SRC_DIRECT && std::is_same<R, PixelOpAlpha<C>>::value;
    static constexpr bool kAlphaCopy = kPlain && kCopy && Trans && F::kType == 1 && S::kKind == SRC_ALPHA;
    static constexpr bool kAdd32 =
        kPlain && F::kType == 1 && S::kKind == SRC_DIRECT && std::is_same<R, PixelOpAdd<C>>::value;
    static constexpr bool kAlphaCopy16 = kPlain && kCopy && Trans && F::kType == 0 && S::kKind == SRC_ALPHA;
    // Run-length walk: opaque runs of a plain copy are the source bytes.
    static constexpr bool kRunCopy = !C::kGraph && !C::kBright && kCopy && S::kKind != SRC_PALETTE &&
                                     S::kBytes == F::kBytes;
    static constexpr bool kRunAlpha = kPlain && kCopy && F::kType == 1 && S::kKind == SRC_ALPHA;
#ifdef __SSE2__
    static constexpr bool kPixelRow = kKeyedCopy || kConstAlpha || kAlphaCopy || kAlphaCopy16 || kAdd32;
#else
    static constexpr bool kPixelRow = false;
#endif

    // One row of the per-pixel walk.
    static BLIT_INLINE void PixelRow(const BlitJob& j, uint8_t* d, const uint8_t* s) {
        int32_t x = 0;
#ifdef __SSE2__
        const int32_t w = j.w;
        if constexpr (kKeyedCopy) {
            // The key is compared whole: one wider than the pixel matches nothing.
            if (F::kType == 0 && j.key > 0xFFFFu) {
                RowCopy(d, s, (size_t)w * 2);
                return;
            }
            constexpr int32_t n = 16 / F::kBytes;
            const __m128i key = F::kType == 0 ? _mm_set1_epi16((short)j.key) : _mm_set1_epi32((int)j.key);
            // Groups wholly transparent or wholly drawn need no merge.
            for (; x + n <= w; x += n) {
                __m128i sv = _mm_loadu_si128((const __m128i*)(s + x * F::kBytes));
                __m128i m = F::kType == 0 ? _mm_cmpeq_epi16(sv, key) : _mm_cmpeq_epi32(sv, key);
                int bits = _mm_movemask_epi8(m);
                if (bits == 0xFFFF) continue;
                if (bits != 0) sv = BlitSelect(m, _mm_loadu_si128((const __m128i*)(d + x * F::kBytes)), sv);
                _mm_storeu_si128((__m128i*)(d + x * F::kBytes), sv);
            }
        } else if constexpr (kConstAlpha) {
            const __m128i p = RowKeepTop(_mm_set1_epi16((short)(j.p * 128)));
            const __m128i key = _mm_set1_epi32((int)j.key);
            for (; x + 4 <= w; x += 4) {
                __m128i sv = _mm_loadu_si128((const __m128i*)(s + x * 4));
                __m128i dv = _mm_loadu_si128((const __m128i*)(d + x * 4));
                __m128i r = RowLerp4(dv, sv, p, p);
                if constexpr (Trans) r = BlitSelect(_mm_cmpeq_epi32(sv, key), dv, r);
                _mm_storeu_si128((__m128i*)(d + x * 4), r);
            }
        } else if constexpr (kAlphaCopy) {
            // Alpha 0 leaves d as the blend does; alpha 255 copies the source
            // whole. Groups of eight clear or opaque pixels are common and
            // skip the blend; mixed groups blend whole (alpha 0 keeps d there too).
            const __m128i opaque = _mm_set1_epi32((int)0xFF000000u), zero = _mm_setzero_si128();
            // any_full: false when no pixel of the group is opaque.
            auto blend4 = [&](int32_t at, __m128i sv, __m128i full, auto any_full) BLIT_LAMBDA_INLINE {
                __m128i r = BlitAlphaLerp4(_mm_loadu_si128((const __m128i*)(d + at * 4)), sv);
                if constexpr (decltype(any_full)::value) r = BlitSelect(full, sv, r);
                _mm_storeu_si128((__m128i*)(d + at * 4), r);
            };
            const std::true_type some_full;
            const std::false_type none_full;
            for (; x + 8 <= w; x += 8) {
                __m128i s0 = _mm_loadu_si128((const __m128i*)(s + x * 4));
                __m128i s1 = _mm_loadu_si128((const __m128i*)(s + x * 4 + 16));
                __m128i a0 = _mm_and_si128(s0, opaque), a1 = _mm_and_si128(s1, opaque);
                __m128i f0 = _mm_cmpeq_epi32(a0, opaque), f1 = _mm_cmpeq_epi32(a1, opaque);
                if (_mm_movemask_epi8(_mm_and_si128(f0, f1)) == 0xFFFF) {
                    _mm_storeu_si128((__m128i*)(d + x * 4), s0);
                    _mm_storeu_si128((__m128i*)(d + x * 4 + 16), s1);
                } else if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_or_si128(a0, a1), zero)) != 0xFFFF) {
                    if (_mm_movemask_epi8(_mm_or_si128(f0, f1)) == 0) {
                        blend4(x, s0, f0, none_full);
                        blend4(x + 4, s1, f1, none_full);
                    } else {
                        blend4(x, s0, f0, some_full);
                        blend4(x + 4, s1, f1, some_full);
                    }
                }
            }
            for (; x + 4 <= w; x += 4) {
                __m128i sv = _mm_loadu_si128((const __m128i*)(s + x * 4));
                blend4(x, sv, _mm_cmpeq_epi32(_mm_and_si128(sv, opaque), opaque), some_full);
            }
        } else if constexpr (kAdd32) {
            // The strength x * p / 255 of each channel (x * p * 0x8081 >> 23 is
            // exact below 2^16), byte 3 clear, then PackedAdd32's steps.
            const __m128i z = _mm_setzero_si128(), p16 = _mm_set1_epi16((short)j.p);
            const __m128i div = _mm_set1_epi16((short)0x8081), rgb = _mm_set1_epi32(0x00FFFFFF);
            const __m128i kept = _mm_set1_epi32(0x00FEFEFF), carries = _mm_set1_epi32(0x01010100);
            const __m128i lows = _mm_set1_epi32(0x00010100), key = _mm_set1_epi32((int)j.key);
            auto strength = [&](__m128i s16) BLIT_LAMBDA_INLINE {
                return _mm_srli_epi16(_mm_mulhi_epu16(_mm_mullo_epi16(s16, p16), div), 7);
            };
            for (; x + 4 <= w; x += 4) {
                __m128i sv = _mm_loadu_si128((const __m128i*)(s + x * 4));
                __m128i dv = _mm_loadu_si128((const __m128i*)(d + x * 4));
                __m128i st = _mm_and_si128(
                    _mm_packus_epi16(strength(_mm_unpacklo_epi8(sv, z)), strength(_mm_unpackhi_epi8(sv, z))), rgb);
                __m128i sum = _mm_add_epi32(_mm_and_si128(dv, kept), _mm_and_si128(st, kept));
                __m128i c = _mm_and_si128(sum, carries);
                __m128i r = _mm_or_si128(sum, _mm_sub_epi32(c, _mm_srli_epi32(c, 8)));
                r = _mm_or_si128(r, _mm_and_si128(_mm_or_si128(dv, st), lows));
                if constexpr (Trans) r = BlitSelect(_mm_cmpeq_epi32(sv, key), dv, r);
                _mm_storeu_si128((__m128i*)(d + x * 4), r);
            }
        } else if constexpr (kAlphaCopy16) {
            // As the 32-bit form: alpha 0 keeps d (the lerp does too), alpha
            // 255 takes the source word whole.
            const __m128i opaque = _mm_set1_epi16(255), zero = _mm_setzero_si128();
            for (; x + 8 <= w; x += 8) {
                __m128i c, a;
                BlitSplit565Alpha(s + x * 4, &c, &a);
                __m128i full = _mm_cmpeq_epi16(a, opaque);
                int full_bits = _mm_movemask_epi8(full);
                if (full_bits == 0xFFFF) {
                    _mm_storeu_si128((__m128i*)(d + x * 2), c);
                    continue;
                }
                if (full_bits == 0 && _mm_movemask_epi8(_mm_cmpeq_epi16(a, zero)) == 0xFFFF) continue;
                __m128i dv = _mm_loadu_si128((const __m128i*)(d + x * 2));
                _mm_storeu_si128((__m128i*)(d + x * 2), BlitSelect(full, c, BlitLerp565(dv, c, a)));
            }
        }
#endif
        for (; x < j.w; x++) BlitDrawPixel<F, S, R, Trans>(j, d + x * F::kBytes, s + x * S::kBytes, nullptr);
    }

    // An alpha run of the run-length walk: every pixel blended with its alpha.
    static BLIT_INLINE void AlphaRun(uint8_t* d, const uint8_t* s, int32_t n) {
#ifdef __SSE2__
        auto blend4 = [&](int32_t at) BLIT_LAMBDA_INLINE {
            return BlitAlphaLerp4(_mm_loadu_si128((const __m128i*)(d + at * 4)),
                                  _mm_loadu_si128((const __m128i*)(s + at * 4)));
        };
        if (n >= 4) {
            // Runs are short: the last four go as one group, blended from d
            // as it was, after the groups before (which store the same values
            // where they overlap it).
            const __m128i last = blend4(n - 4);
            for (int32_t x = 0; x + 4 < n; x += 4) _mm_storeu_si128((__m128i*)(d + x * 4), blend4(x));
            _mm_storeu_si128((__m128i*)(d + (n - 4) * 4), last);
            return;
        }
#endif
        for (int32_t x = 0; x < n; x++) {
            uint32_t raw = LoadU32(s + x * 4);
            StoreU32(d + x * 4, PixelOpBase<C>::Lerp1Packed32(LoadU32(d + x * 4), raw, raw >> 24));
        }
    }
};
