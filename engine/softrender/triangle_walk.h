// Triangle internals: the set-up in 14.18 fixed point, the row walk every loop
// copies, and the texel writers built on the blits' pixel operations. Internal
// to the software renderer.
#pragma once
#include <cstdint>
#include "engine/softrender/blit_job.h"
#include "engine/softrender/blit_walkers.h"
#include "engine/softrender/pixel_ops.h"
#include "engine/softrender/shapes.h"
#include "engine/system/rect.h"

enum { TRI_FRAC = 18, TRI_ONE = 1 << TRI_FRAC };

// The triangle's own walker tag: keeps the whole-image blit's special forms
// (whole copy of alpha pixels, the 16-bit lerp table, halving, pairs) out of
// its operations.
constexpr int kTriWalker = 3;

// One edge segment: start x (14.18), x change per row, rows.
struct TriSegment {
    int32_t x, slope, rows;
};

// Everything the walk needs, settled once per call.
struct TriSetup {
    int32_t start_row;
    TriSegment left[2], right[2];
    int32_t left_count, right_count;
    // Texture plane, exact at the anchor (the leftmost vertex).
    int32_t xa, ya;
    uint32_t ua, va;
    int32_t dudx, dudy, dvdx, dvdy;
};

// False when nothing is drawn: coordinates outside the 14.18 range, three
// vertices on one line, or (textured only) a gradient outside int32.
bool TriSetUp(const TriangleVertex* v, bool textured, TriSetup* out);

// int() of a 14.18 value: truncation toward zero.
inline int32_t TriInt(int32_t a) { return a / TRI_ONE; }

// Calls span(y, xs, n) for each row that shows n > 0 pixels from column xs
// inside area. Rows outside the area are stepped, not skipped. The walk never
// returns to a row: when the left edge changes segment, y goes on.
template <class Span>
BLIT_INLINE void TriWalk(const TriSetup& g, const Rect& area, Span&& span) {
    int32_t y = g.start_row;
    int li = 0, ri = 0;
    int32_t xl = g.left[0].x, xr = g.right[0].x;
    int32_t lslope = g.left[0].slope, rslope = g.right[0].slope;
    int32_t lrows = g.left[0].rows, rrows = g.right[0].rows;
    for (;;) {
        int32_t xs = TriInt(xl);
        const int32_t xe = TriInt(xr);
        if (xs < area.left) xs = area.left;
        const int32_t count = xe - xs + 1;
        if (y >= area.top && y < area.bottom && xs < area.right && count > 0)
            span(y, xs, count < area.right - xs ? count : area.right - xs);
        xl += lslope;
        xr += rslope;
        y++;
        lrows--;
        rrows--;
        if (lrows == 0) {
            if (++li == g.left_count) return;
            xl = g.left[li].x;
            lslope = g.left[li].slope;
            lrows = g.left[li].rows;
        }
        if (rrows == 0) {
            if (++ri == g.right_count) return;
            xr = g.right[ri].x;
            rslope = g.right[ri].slope;
            rrows = g.right[ri].rows;
        }
    }
}

// What a textured loop gets.
struct TriJob {
    TriSetup geo;
    Rect area;              // draw area cut to the destination
    uint8_t* dst;
    intptr_t dst_pitch;
    const uint8_t* src;
    intptr_t src_pitch;
    uint32_t src_w, src_h;  // texels
    const uint8_t* graph;   // blend graph, or null
    intptr_t graph_pitch;
    BlitJob ops;            // rows, key, palette and graph table of the pixel operations
};

typedef void (*TriLoopFn)(const TriJob& job);

// The blits' operation of a mode, with the two rules of 16-bit direct sources
// that the triangle has apart: in add and subtract without a graph the alpha
// scales the raw texel before the draw bright, and mode 11 without a graph or
// bright keeps five more bits of green.
template <int Op, class C> struct TriOp : PixelOpFor<Op, C>::T {
    using R = typename PixelOpFor<Op, C>::T;
    using F = typename C::Fmt;
    static constexpr bool kAlpha16 = F::kType == 0 && C::kKind == SRC_ALPHA && !C::kGraph;
    template <bool A>
    static BLIT_INLINE uint32_t Apply(const BlitJob& j, uint32_t d, uint32_t s, uint32_t a, uint32_t t) {
        if constexpr (A && kAlpha16 && (Op == OP_ADD || Op == OP_SUB)) {
            uint32_t e[3];
            for (int i = 0; i < 3; i++) e[i] = (uint32_t)j.mul_p[R::Br(j, (F::Ch(s, i) * a) >> 8, i)];
            const uint32_t sv = F::Pack(e[0], e[1], e[2], 0);
            return Op == OP_ADD ? PackedAdd16(d, sv, true) : PackedSub16(d, sv);
        } else if constexpr (A && kAlpha16 && !C::kBright && Op == OP_MULALPHA) {
            const uint32_t ap = a * j.p;
            const uint32_t r = R::template Lerp<2>(F::Ch(d, 2), (F::Ch(s, 2) * F::Ch(d, 2)) >> 5, ap);
            const uint32_t b = R::template Lerp<2>(F::Ch(d, 0), (F::Ch(s, 0) * F::Ch(d, 0)) >> 5, ap);
            // Green moves toward (s * d) / 64 held with five more bits.
            const uint32_t dg = F::Ch(d, 1), fine = (F::Ch(s, 1) * dg) >> 1;
            const uint32_t g = (32 * dg * (65536 - ap) + fine * ap) >> 21;
            return F::Pack(b, g, r, 0);
        } else {
            return R::template Apply<A>(j, d, s, a, t);
        }
    }
};

// One covered pixel whose texel (tu, tv) lies inside the source: the blits'
// pixel step on that texel and its blend graph byte.
template <class F, class S, class R, bool Trans>
BLIT_INLINE void TriDrawTexel(const TriJob& j, uint8_t* dp, uint32_t tu, uint32_t tv) {
    const uint8_t* gp = nullptr;
    if constexpr (R::kGraph) gp = j.graph + (intptr_t)tv * j.graph_pitch + tu;
    BlitDrawPixel<F, S, R, Trans>(j.ops, dp, j.src + (intptr_t)tv * j.src_pitch + (intptr_t)tu * S::kBytes, gp);
}

// The textured walk: texture coordinates from the plane once per row (in
// uint32, wrapping), then one step per pixel, drawn or skipped.
template <class F, class S, class R, bool Trans>
void TriWalkTextured(const TriJob& job) {
    const TriJob j = job;
    TriWalk(j.geo, j.area, [&](int32_t y, int32_t xs, int32_t n) BLIT_LAMBDA_INLINE {
        const uint32_t dy = (uint32_t)(y - j.geo.ya), dx = (uint32_t)(xs - j.geo.xa);
        uint32_t u = j.geo.ua + dy * (uint32_t)j.geo.dudy + dx * (uint32_t)j.geo.dudx;
        uint32_t v = j.geo.va + dy * (uint32_t)j.geo.dvdy + dx * (uint32_t)j.geo.dvdx;
        uint8_t* dp = j.dst + (intptr_t)y * j.dst_pitch + (intptr_t)xs * F::kBytes;
        for (int32_t i = 0; i < n; i++, dp += F::kBytes) {
            const uint32_t tu = u >> TRI_FRAC, tv = v >> TRI_FRAC;
            if (tu < j.src_w && tv < j.src_h) TriDrawTexel<F, S, R, Trans>(j, dp, tu, tv);
            u += (uint32_t)j.geo.dudx;
            v += (uint32_t)j.geo.dvdx;
        }
    });
}

// Loop numbering: the 14 flat loops (colour type x mode), then the textured
// ones by colour type, source kind, operation, graph, bright and transparent flag.
enum {
    TRI_LOOPS_FLAT = 2 * OP_COUNT,
    TRI_LOOPS_PER_TYPE = 3 * OP_COUNT * 2 * 2 * 2,
    TRI_LOOPS_END = TRI_LOOPS_FLAT + 2 * TRI_LOOPS_PER_TYPE,
};

struct TriLoopDesc {
    int type, kind, op, graph, bright, trans;
};

constexpr TriLoopDesc TriDescribe(int i) {
    // i counts within the textured loops.
    TriLoopDesc d{0, 0, 0, 0, 0, 0};
    d.trans = i % 2; i /= 2;
    d.bright = i % 2; i /= 2;
    d.graph = i % 2; i /= 2;
    d.op = i % OP_COUNT; i /= OP_COUNT;
    d.kind = i % 3; i /= 3;
    d.type = i;
    return d;
}

constexpr int TriLoopIndex(const TriLoopDesc& d) {
    return TRI_LOOPS_FLAT + ((((d.type * 3 + d.kind) * OP_COUNT + d.op) * 2 + d.graph) * 2 + d.bright) * 2 + d.trans;
}

// TRI_LOOPS_PER_TYPE loops each, from TriDescribe(0) and TriDescribe(TRI_LOOPS_PER_TYPE).
extern const TriLoopFn* const kTriLoops16;
extern const TriLoopFn* const kTriLoops32;
