// The three ways a blit loop walks its pixels: the whole-image per-pixel walk,
// the run-length walk and the 16.16 stretched walk. Each is a template over the
// pixel format F, the source kind S and the operation R. Internal.
#pragma once
#include <cstdint>
#include <cstring>
#include "engine/image/memimg.h"
#include "engine/softrender/blit_job.h"
#include "engine/softrender/pixel_ops.h"
#include "engine/softrender/blit_rows.h"

// One source pixel onto one destination pixel, with the transparent test and
// the alpha gates of the per-pixel and stretched walks (and of the triangles).
template <class F, class S, class R, bool Trans>
BLIT_INLINE void BlitDrawPixel(const BlitJob& j, uint8_t* dp, const uint8_t* sp, const uint8_t* gp) {
    uint32_t raw = S::Raw(sp);
    uint32_t t = 0;
    if constexpr (R::kGraph) t = j.graph_table[*gp];
    if constexpr (S::kKind == SRC_ALPHA) {
        uint32_t a = S::Alpha(raw);
        uint32_t s = S::Colour(raw, nullptr);
        if constexpr (Trans) {
            if (a == 0) return;
            if constexpr (R::kUnscaledShortcut) {
                if (a == 255 && j.p == 255) {
                    F::Store(dp, R::Unscaled(F::Load(dp), s));
                    return;
                }
            }
            if (a == 255) F::Store(dp, R::template Apply<false>(j, F::Load(dp), s, a, t));
            else F::Store(dp, R::template Apply<true>(j, F::Load(dp), s, a, t));
        } else {
            F::Store(dp, R::template Apply<!R::kAlphaIgnored>(j, F::Load(dp), s, a, t));
        }
    } else {
        if constexpr (Trans) {
            if (raw == j.key) return;
        }
        F::Store(dp, R::template Apply<false>(j, F::Load(dp), S::Colour(raw, j.palette), 255, t));
    }
}

template <class F, class S, class R, bool Trans>
void BlitWalkPixels(const BlitJob& job) {
    // A local copy: stores through byte pointers cannot alias it, so its
    // fields stay in registers.
    const BlitJob j = job;
    for (int32_t y = 0; y < j.h; y++) {
        uint8_t* drow = j.dst + y * j.dst_pitch;
        const uint8_t* srow = j.src + y * j.src_step_y;
        const uint8_t* grow = nullptr;
        if constexpr (R::kGraph) grow = j.graph + y * j.graph_step_y;
        if constexpr (R::kPlainCopy && S::kKind == SRC_DIRECT && !Trans) {
            // Source and destination never overlap here: the caller copies the
            // source aside when they do.
            RowCopy(drow, srow, (size_t)j.w * F::kBytes);
        } else if constexpr (BlitRows<F, S, R, Trans>::kPixelRow) {
            BlitRows<F, S, R, Trans>::PixelRow(j, drow, srow);
        } else if constexpr (R::kPair) {
            // Pairs from the left edge of the drawn area; a pixel whose
            // neighbour is transparent, and an odd last one, go alone.
            int32_t x = 0;
            for (; x + 1 < j.w; x += 2) {
                uint8_t* dp = drow + x * 2;
                const uint8_t* sp = srow + x * S::kBytes;
                uint32_t r0 = S::Raw(sp), r1 = S::Raw(sp + S::kBytes);
                bool draw0 = !Trans || r0 != j.key;
                bool draw1 = !Trans || r1 != j.key;
                uint32_t s0 = S::Colour(r0, j.palette), s1 = S::Colour(r1, j.palette);
                if (draw0 && draw1) {
                    uint32_t v = R::Pair(LoadU16(dp) | (LoadU16(dp + 2) << 16), s0 | (s1 << 16));
                    StoreU16(dp, v);
                    StoreU16(dp + 2, v >> 16);
                } else {
                    if (draw0) StoreU16(dp, R::template Apply<false>(j, LoadU16(dp), s0, 255, 0));
                    if (draw1) StoreU16(dp + 2, R::template Apply<false>(j, LoadU16(dp + 2), s1, 255, 0));
                }
            }
            if (x < j.w) BlitDrawPixel<F, S, R, Trans>(j, drow + x * 2, srow + x * S::kBytes, nullptr);
        } else {
            for (int32_t x = 0; x < j.w; x++)
                BlitDrawPixel<F, S, R, Trans>(j, drow + x * F::kBytes, srow + x * S::kBytes,
                                              R::kGraph ? grow + x : nullptr);
        }
    }
}

// Run-length walk over the whole source: skips, opaque runs (alpha taken as
// 255, no transparent test) and alpha runs. The decoder never reads past
// codes_end and cuts a run at the row's end.
template <class F, class S, class R>
void BlitWalkRuns(const BlitJob& job) {
    // A local copy: stores through byte pointers cannot alias it, so its
    // fields stay in registers.
    const BlitJob j = job;
    const uint8_t* cp = j.codes;
    for (int32_t y = 0; y < j.h; y++) {
        uint8_t* drow = j.dst + y * j.dst_pitch;
        const uint8_t* srow = j.src + y * j.src_step_y;
        const uint8_t* grow = nullptr;
        if constexpr (R::kGraph) grow = j.graph + y * j.graph_step_y;
        int32_t x = 0;
        for (;;) {
            if (cp >= j.codes_end) return;
            uint32_t code = *cp++;
            if (code >= (uint32_t)MEMIMG_RLE_EOL) break;
            int32_t n = (int32_t)(code & 0x3F) + 1;
            if (n > j.w - x) n = j.w - x;
            uint32_t cmd = code >> 6;
            using Rows = BlitRows<F, S, R, true>;
            if constexpr (Rows::kRunCopy || Rows::kRunAlpha) {
                // A plain copy draws opaque runs (and any run of a source
                // without alpha) as the source bytes.
                if (cmd != 0 && Rows::kRunCopy && (S::kKind != SRC_ALPHA || cmd != 2)) {
                    RowCopy(drow + x * F::kBytes, srow + x * S::kBytes, (size_t)n * F::kBytes);
                    cmd = 0;
                } else if (cmd == 2 && Rows::kRunAlpha) {
                    Rows::AlphaRun(drow + x * F::kBytes, srow + x * S::kBytes, n);
                    cmd = 0;
                }
            }
            if (cmd != 0) {
                for (int32_t i = x; i < x + n; i++) {
                    uint8_t* dp = drow + i * F::kBytes;
                    uint32_t raw = S::Raw(srow + i * S::kBytes);
                    uint32_t t = 0;
                    if constexpr (R::kGraph) t = j.graph_table[grow[i]];
                    uint32_t s = S::Colour(raw, j.palette);
                    if (S::kKind == SRC_ALPHA && cmd == 2)
                        F::Store(dp, R::template Apply<S::kKind == SRC_ALPHA>(j, F::Load(dp), s, S::Alpha(raw), t));
                    else
                        F::Store(dp, R::template Apply<false>(j, F::Load(dp), s, 255, t));
                }
            }
            x += n;
        }
    }
}

// Stretched plain copy (no key, no alpha): a destination pixel depends on its
// source pixel alone. The source columns are stepped once per block of
// columns, not once per row, and a row whose source row is the previous one's
// is a copy of the destination row above. Steps as the fast-copy walk below.
template <class F, class S>
void BlitWalkStretchedCopy(const BlitJob& j) {
    constexpr int32_t kBlock = 256;
    intptr_t cols[kBlock];
    int64_t acc = j.acc_x;
    intptr_t col = 0;
    for (int32_t x0 = 0; x0 < j.w; x0 += kBlock) {
        const int32_t n = j.w - x0 < kBlock ? j.w - x0 : kBlock;
        for (int32_t i = 0; i < n; i++) {
            cols[i] = col;
            if (x0 + i + 1 == j.w) break;
            acc -= 65536;
            if (acc <= 0) {
                do {
                    col += j.src_step_x;
                    acc += j.scale_x;
                } while (acc < 0);
            }
        }
        uint8_t* drow = j.dst + x0 * F::kBytes;
        const uint8_t* srow = j.src;
        int64_t accy = j.acc_y;
        bool same_row = false;
        for (int32_t y = 0;;) {
            if (same_row) {
                RowCopy(drow, drow - j.dst_pitch, (size_t)n * F::kBytes);
            } else {
                for (int32_t i = 0; i < n; i++)
                    F::Store(drow + i * F::kBytes, S::Colour(S::Raw(srow + cols[i]), j.palette));
            }
            if (++y == j.h) break;
            drow += j.dst_pitch;
            accy -= 65536;
            same_row = accy > 0;
            if (!same_row) {
                do {
                    srow += j.src_step_y;
                    accy += j.scale_y;
                } while (accy < 0);
            }
        }
    }
}

// Stretched walk: destination pixel by pixel, the source chosen by 16.16
// accumulators. General stepping advances while the accumulator is <= 0, the
// fast-copy bodies while it is < 0.
template <class F, class S, class R, bool Trans>
void BlitWalkStretched(const BlitJob& job) {
    // A local copy: stores through byte pointers cannot alias it, so its
    // fields stay in registers.
    const BlitJob j = job;
    constexpr bool fast = R::kFastStep;
    if constexpr (R::kPlainCopy && S::kKind != SRC_ALPHA && !Trans) {
        BlitWalkStretchedCopy<F, S>(j);
        return;
    }
    uint8_t* drow = j.dst;
    const uint8_t* srow = j.src;
    const uint8_t* grow = j.graph;
    int64_t accy = j.acc_y;
    for (int32_t y = 0;;) {
        uint8_t* dp = drow;
        const uint8_t* sp = srow;
        const uint8_t* gp = grow;
        int64_t acc = j.acc_x;
        for (int32_t n = j.w;;) {
            BlitDrawPixel<F, S, R, Trans>(j, dp, sp, gp);
            dp += F::kBytes;
            if (--n == 0) break;
            acc -= 65536;
            if (acc <= 0) {
                do {
                    sp += j.src_step_x;
                    if constexpr (R::kGraph) gp += j.graph_step_x;
                    acc += j.scale_x;
                } while (fast ? acc < 0 : acc <= 0);
            }
        }
        if (++y == j.h) break;
        drow += j.dst_pitch;
        accy -= 65536;
        if (accy <= 0) {
            do {
                srow += j.src_step_y;
                if constexpr (R::kGraph) grow += j.graph_step_y;
                accy += j.scale_y;
            } while (fast ? accy < 0 : accy <= 0);
        }
    }
}
