// The body of generated loop Id: its description picks the policies and the
// walker. Included by the files that instantiate the loop tables. Internal.
#pragma once
#include <type_traits>
#include <utility>
#include "engine/softrender/blit_loops.h"
#include "engine/softrender/blit_walkers.h"

template <int Kind, class F> struct BlitSourceFor;
template <class F> struct BlitSourceFor<SRC_DIRECT, F> { using T = SrcDirect<F>; };
template <class F> struct BlitSourceFor<SRC_PALETTE, F> { using T = SrcPalette<F>; };
template <class F> struct BlitSourceFor<SRC_ALPHA, F> { using T = SrcAlpha<F>; };

template <int Id> void BlitLoop(const BlitJob& j) {
    constexpr BlitLoopDesc d = BlitDescribeLoop(Id);
    static_assert(BlitLoopIndex(d) == Id, "loop numbering is not one-to-one");
    using F = std::conditional_t<d.type == 0, Fmt16, Fmt32>;
    using S = typename BlitSourceFor<d.src, F>::T;
    using C = PixelOpConfig<F, d.src, d.graph != 0, d.bright != 0, d.form, d.walker>;
    using R = typename PixelOpFor<d.op, C>::T;
    if constexpr (d.walker == WALK_PIXEL) BlitWalkPixels<F, S, R, d.trans != 0>(j);
    else if constexpr (d.walker == WALK_RLE) BlitWalkRuns<F, S, R>(j);
    else BlitWalkStretched<F, S, R, d.trans != 0>(j);
}

template <int Base, size_t... I>
constexpr std::array<BlitLoopFn, sizeof...(I)> BlitMakeLoops(std::index_sequence<I...>) {
    return {{&BlitLoop<Base + (int)I>...}};
}
