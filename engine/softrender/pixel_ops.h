// The per-pixel operations of the picture blits, one per blend mode, each
// expanded by its configuration: pixel format, source kind, blend graph, draw
// bright, special form and walker. Apply<A> draws one source colour s (in the
// destination's layout) onto the destination value d; A says whether the
// source alpha a is one of the factors. Internal to the software renderer.
#pragma once
#include <cstdint>
#include <type_traits>
#include "engine/softrender/blit_job.h"
#include "engine/softrender/pixel_ops_format.h"

template <class F, int Kind, bool Graph, bool Bright, int Form, int Walker>
struct PixelOpConfig {
    using Fmt = F;
    static constexpr int kKind = Kind;
    static constexpr bool kGraph = Graph;
    static constexpr bool kBright = Bright;
    static constexpr int kForm = Form;
    static constexpr int kWalker = Walker;
};

// Shared arithmetic of the operations.
template <class C> struct PixelOpBase {
    using Config = C;
    using F = typename C::Fmt;
    static constexpr bool kGraph = C::kGraph;
    static constexpr bool kIs16 = F::kType == 0;
    // Mode 0 without factor copies alpha pixels whole (per-pixel path only).
    static constexpr bool kAlphaIgnored = false;
    static constexpr bool kPair = false;
    static constexpr bool kPlainCopy = false;
    static constexpr bool kFastStep = false;
    // The a = 255 shortcut of an alpha source leaves p as the only factor: at
    // p = 255 the per-pixel path then adds unscaled, as it does for plain sources.
    static constexpr bool kUnscaledShortcut = false;

    // Source channel after the draw bright.
    static BLIT_INLINE uint32_t Br(const BlitJob& j, uint32_t s, int i) {
        if constexpr (C::kBright) return (uint32_t)j.mul_bright[i][s];
        else return s;
    }
    // Product of the factors present: t (graph), a (alpha), p.
    template <bool A, bool UsesP> static BLIT_INLINE uint32_t Pi(const BlitJob& j, uint32_t a, uint32_t t) {
        uint32_t v = 1;
        if constexpr (kGraph) v *= t;
        if constexpr (A) v *= a;
        if constexpr (UsesP) v *= j.p;
        return v;
    }
    template <bool A, bool UsesP> static constexpr int K() { return (kGraph ? 1 : 0) + (A ? 1 : 0) + (UsesP ? 1 : 0); }
    // (d * 2^(8k) + (x - d) * pi) >> 8k, exact and non-negative; fits 32 bits for k <= 3.
    template <int K> static BLIT_INLINE uint32_t Lerp(uint32_t d, uint32_t x, uint32_t pi) {
        return (d * ((1u << (8 * K)) - pi) + x * pi) >> (8 * K);
    }
    // Lerp<1> of the three 32-bit channels at once: blue and red share one
    // word (each sum stays below 2^16, so no carry crosses), green goes alone;
    // byte 3 of d is kept. x: channels 0..255 in bytes 0-2, byte 3 ignored.
    static BLIT_INLINE uint32_t Lerp1Packed32(uint32_t d, uint32_t x, uint32_t pi) {
        const uint32_t q = 256 - pi;
        uint32_t rb = (((d & 0xFF00FFu) * q + (x & 0xFF00FFu) * pi) >> 8) & 0xFF00FFu;
        uint32_t g = (((d & 0xFF00u) * q + (x & 0xFF00u) * pi) >> 8) & 0xFF00u;
        return (d & 0xFF000000u) | rb | g;
    }
    // d + S[p][x - d]: moves a 16-bit field toward x, truncating toward zero.
    static BLIT_INLINE uint32_t SignedStep(const BlitJob& j, uint32_t d, uint32_t x) {
        return (uint32_t)((int32_t)d + j.smul_p[(int32_t)x - (int32_t)d]);
    }
    // Applies a per-channel function to the three channels of d, keeping the rest of d.
    template <class Fn> static BLIT_INLINE uint32_t PerChannel(uint32_t d, Fn fn) {
        return F::Pack(fn(F::Ch(d, 0), 0), fn(F::Ch(d, 1), 1), fn(F::Ch(d, 2), 2), d);
    }
};

// Mode 0.
template <class C> struct PixelOpCopy : PixelOpBase<C> {
    using B = PixelOpBase<C>;
    using F = typename B::F;
    static constexpr bool kUsesP = false;
    static constexpr bool kPlainCopy = !C::kGraph && !C::kBright;
    static constexpr bool kAlphaIgnored = kPlainCopy && C::kWalker == WALK_PIXEL;
    static constexpr bool kFastStep = kPlainCopy && C::kKind != SRC_ALPHA;
    template <bool A> static BLIT_INLINE uint32_t Apply(const BlitJob& j, uint32_t d, uint32_t s, uint32_t a, uint32_t t) {
        constexpr int k = B::template K<A, false>();
        if constexpr (k == 0) {
            if constexpr (!C::kBright) return s;
            else return B::PerChannel(d, [&](uint32_t, int i) BLIT_LAMBDA_INLINE { return B::Br(j, F::Ch(s, i), i); });
        } else if constexpr (k == 1 && !B::kIs16 && !C::kBright) {
            return B::Lerp1Packed32(d, s, B::template Pi<A, false>(j, a, t));
        } else {
            uint32_t pi = B::template Pi<A, false>(j, a, t);
            return B::PerChannel(d, [&](uint32_t dc, int i) BLIT_LAMBDA_INLINE {
                return B::template Lerp<k>(dc, B::Br(j, F::Ch(s, i), i), pi);
            });
        }
    }
};

template <class C> struct TargetSource;
template <class C> struct TargetInverse;

// Lerp toward a per-channel target, shared by modes 1, 10 and 11. In the 16-bit
// form p alone moves each field by S[p][x - d].
template <class C, class Target> struct PixelOpLerpP : PixelOpBase<C> {
    using B = PixelOpBase<C>;
    using F = typename B::F;
    static constexpr bool kUsesP = true;
    template <bool A> static BLIT_INLINE uint32_t Apply(const BlitJob& j, uint32_t d, uint32_t s, uint32_t a, uint32_t t) {
        constexpr int k = B::template K<A, true>();
        if constexpr (B::kIs16 && k == 1) {
            return B::PerChannel(d, [&](uint32_t dc, int i) BLIT_LAMBDA_INLINE {
                return B::SignedStep(j, dc, Target::X(j, F::Ch(s, i), dc, i));
            });
        } else if constexpr (k == 1 && !C::kBright && std::is_same<Target, TargetSource<C>>::value) {
            return B::Lerp1Packed32(d, s, j.p);
        } else if constexpr (k == 1 && !C::kBright && std::is_same<Target, TargetInverse<C>>::value) {
            return B::Lerp1Packed32(d, ~s, j.p);
        } else {
            uint32_t pi = B::template Pi<A, true>(j, a, t);
            return B::PerChannel(d, [&](uint32_t dc, int i) BLIT_LAMBDA_INLINE {
                return B::template Lerp<k>(dc, Target::X(j, F::Ch(s, i), dc, i), pi);
            });
        }
    }
};

template <class C> struct TargetSource {
    static BLIT_INLINE uint32_t X(const BlitJob& j, uint32_t sc, uint32_t, int i) { return PixelOpBase<C>::Br(j, sc, i); }
};
template <class C> struct TargetInverse {
    static BLIT_INLINE uint32_t X(const BlitJob& j, uint32_t sc, uint32_t, int i) {
        return PixelOpBase<C>::Br(j, C::Fmt::kMax[i] - sc, i);
    }
};
template <class C> struct TargetProduct {
    static BLIT_INLINE uint32_t X(const BlitJob& j, uint32_t sc, uint32_t dc, int i) {
        return (PixelOpBase<C>::Br(j, sc, i) * dc) >> C::Fmt::kBits[i];
    }
};

// Mode 1.
template <class C> struct PixelOpAlpha : PixelOpLerpP<C, TargetSource<C>> {
    using B = PixelOpBase<C>;
    using F = typename B::F;
    // The whole-image per-pixel path of a plain source without bright or graph
    // has its own forms: halving at p = 128, the 6-bit lerp table in 16-bit.
    static constexpr bool kPlain = C::kWalker == WALK_PIXEL && C::kKind != SRC_ALPHA && !C::kGraph && !C::kBright;
    template <bool A> static BLIT_INLINE uint32_t Apply(const BlitJob& j, uint32_t d, uint32_t s, uint32_t a, uint32_t t) {
        if constexpr (C::kForm == FORM_HALF) {
            if constexpr (B::kIs16) return ((s >> 1) & 0x7BEF) + ((d >> 1) & 0x7BEF);
            else return ((s >> 1) & 0x7F7F7F) + ((d >> 1) & 0x7F7F7F);
        } else if constexpr (kPlain && B::kIs16) {
            return B::PerChannel(d, [&](uint32_t dc, int i) BLIT_LAMBDA_INLINE { return (uint32_t)j.lerp_p[F::Ch(s, i)][dc]; });
        } else {
            return PixelOpLerpP<C, TargetSource<C>>::template Apply<A>(j, d, s, a, t);
        }
    }
};

// Mode 10.
template <class C> struct PixelOpInvAlpha : PixelOpLerpP<C, TargetInverse<C>> {};
// Mode 11.
template <class C> struct PixelOpMulAlpha : PixelOpLerpP<C, TargetProduct<C>> {};

// Packed saturating add and clamped subtract. The 16-bit pair form treats two
// neighbouring pixels as one word; the carry (or absence of a borrow) out of
// bit 31 stands for the right pixel's red guard.
BLIT_INLINE uint32_t PackedAdd32(uint32_t d, uint32_t s, bool scaled) {
    uint32_t sum = (d & 0x00FEFEFFu) + (s & 0x00FEFEFFu);
    uint32_t c = sum & 0x01010100u;
    uint32_t r = sum | (c - (c >> 8));
    if (scaled) r |= (d | s) & 0x00010100u;
    return r;
}
BLIT_INLINE uint32_t PackedSub32(uint32_t d, uint32_t s) {
    uint32_t x = (d | 0x01010100u) - (s & 0xFEFEFEFFu);
    uint32_t b = x & 0x01010100u;
    return x & (b - (b >> 8));
}
BLIT_INLINE uint32_t PackedAdd16(uint32_t d, uint32_t s, bool scaled) {
    uint32_t sum = (d & 0xF7DFu) + (s & 0xF7DFu);
    uint32_t c = sum & 0x10820u;
    uint32_t r = sum | (c - (c >> 5));
    if (scaled) r |= (d | s) & 0x0820u;
    return r & 0xFFFFu;
}
BLIT_INLINE uint32_t PackedSub16(uint32_t d, uint32_t s) {
    uint32_t x = (d | 0x10820u) - (s & 0xF7DFu);
    uint32_t b = x & 0x10820u;
    return x & (b - (b >> 5)) & 0xFFFFu;
}
BLIT_INLINE uint32_t PackedAdd16Pair(uint32_t d, uint32_t s) {
    uint32_t dm = d & 0xF7DEF7DFu;
    uint32_t sum = dm + (s & 0xF7DEF7DFu);
    uint32_t c = sum & 0x08210820u;
    uint32_t r = sum | (c - (c >> 5));
    if (sum < dm) r |= 0xF8000000u;
    return r;
}
BLIT_INLINE uint32_t PackedSub16Pair(uint32_t d, uint32_t s) {
    uint32_t dg = d | 0x08210820u, sm = s & 0xF7DEF7DFu;
    uint32_t x = dg - sm;
    uint32_t b = x & 0x08210820u;
    uint32_t mask = b - (b >> 5);
    if (dg >= sm) mask |= 0xF8000000u;
    return x & mask;
}

// Source strength s' of modes 2 and 3, packed into the destination's layout.
template <class C> struct PixelOpAddSubBase : PixelOpBase<C> {
    using B = PixelOpBase<C>;
    using F = typename B::F;
    static constexpr bool kUsesP = true;
    template <bool A> static BLIT_INLINE uint32_t Strength(const BlitJob& j, uint32_t s, uint32_t a, uint32_t t) {
        constexpr int k = B::template K<A, true>();
        if constexpr (k == 1) {
            return F::Pack(j.mul_p[B::Br(j, F::Ch(s, 0), 0)], j.mul_p[B::Br(j, F::Ch(s, 1), 1)],
                           j.mul_p[B::Br(j, F::Ch(s, 2), 2)], 0);
        } else if constexpr (B::kIs16) {
            // 16-bit: t and a scale first, then the row of p.
            constexpr int k1 = k - 1;
            uint32_t pi = B::template Pi<A, false>(j, a, t);
            return F::Pack(j.mul_p[(B::Br(j, F::Ch(s, 0), 0) * pi) >> (8 * k1)],
                           j.mul_p[(B::Br(j, F::Ch(s, 1), 1) * pi) >> (8 * k1)],
                           j.mul_p[(B::Br(j, F::Ch(s, 2), 2) * pi) >> (8 * k1)], 0);
        } else {
            uint32_t pi = B::template Pi<A, true>(j, a, t);
            return F::Pack((B::Br(j, F::Ch(s, 0), 0) * pi) >> (8 * k), (B::Br(j, F::Ch(s, 1), 1) * pi) >> (8 * k),
                           (B::Br(j, F::Ch(s, 2), 2) * pi) >> (8 * k), 0);
        }
    }
};

// Mode 2.
template <class C> struct PixelOpAdd : PixelOpAddSubBase<C> {
    using B = PixelOpAddSubBase<C>;
    static constexpr bool kPair = C::kForm == FORM_ADD255 && B::kIs16;
    static constexpr bool kUnscaledShortcut = C::kWalker == WALK_PIXEL && C::kKind == SRC_ALPHA && !C::kGraph && !C::kBright;
    static BLIT_INLINE uint32_t Unscaled(uint32_t d, uint32_t s) {
        if constexpr (B::kIs16) return PackedAdd16(d, s, false);
        else return PackedAdd32(d, s, false);
    }
    template <bool A> static BLIT_INLINE uint32_t Apply(const BlitJob& j, uint32_t d, uint32_t s, uint32_t a, uint32_t t) {
        constexpr bool unscaled = C::kForm == FORM_ADD255;
        uint32_t sv = unscaled ? s : B::template Strength<A>(j, s, a, t);
        if constexpr (B::kIs16) return PackedAdd16(d, sv, !unscaled);
        else return PackedAdd32(d, sv, !unscaled);
    }
    static BLIT_INLINE uint32_t Pair(uint32_t d, uint32_t s) { return PackedAdd16Pair(d, s); }
};

// Mode 3.
template <class C> struct PixelOpSub : PixelOpAddSubBase<C> {
    using B = PixelOpAddSubBase<C>;
    static constexpr bool kPair = C::kForm == FORM_SUB255 && B::kIs16 && C::kWalker == WALK_PIXEL;
    static constexpr bool kFastStep = C::kForm == FORM_SUB255;
    template <bool A> static BLIT_INLINE uint32_t Apply(const BlitJob& j, uint32_t d, uint32_t s, uint32_t a, uint32_t t) {
        uint32_t sv = C::kForm == FORM_SUB255 ? s : B::template Strength<A>(j, s, a, t);
        if constexpr (B::kIs16) return PackedSub16(d, sv);
        else return PackedSub32(d, sv);
    }
    static BLIT_INLINE uint32_t Pair(uint32_t d, uint32_t s) { return PackedSub16Pair(d, s); }
};

// Mode 4: p is not used.
template <class C> struct PixelOpMul : PixelOpBase<C> {
    using B = PixelOpBase<C>;
    using F = typename B::F;
    static constexpr bool kUsesP = false;
    template <bool A> static BLIT_INLINE uint32_t Apply(const BlitJob& j, uint32_t d, uint32_t s, uint32_t a, uint32_t t) {
        constexpr int k = B::template K<A, false>();
        uint32_t pi = B::template Pi<A, false>(j, a, t);
        return B::PerChannel(d, [&](uint32_t dc, int i) BLIT_LAMBDA_INLINE {
            return (dc * B::Br(j, F::Ch(s, i), i) * pi) >> (F::kBits[i] + 8 * k);
        });
    }
};

template <int Op, class C> struct PixelOpFor;
template <class C> struct PixelOpFor<OP_COPY, C> { using T = PixelOpCopy<C>; };
template <class C> struct PixelOpFor<OP_ALPHA, C> { using T = PixelOpAlpha<C>; };
template <class C> struct PixelOpFor<OP_ADD, C> { using T = PixelOpAdd<C>; };
template <class C> struct PixelOpFor<OP_SUB, C> { using T = PixelOpSub<C>; };
template <class C> struct PixelOpFor<OP_MUL, C> { using T = PixelOpMul<C>; };
template <class C> struct PixelOpFor<OP_INVALPHA, C> { using T = PixelOpInvAlpha<C>; };
template <class C> struct PixelOpFor<OP_MULALPHA, C> { using T = PixelOpMulAlpha<C>; };
