// The body of textured triangle loop Id: its description picks the policies.
// Included by the files that instantiate the loop tables. Internal.
#pragma once
#include <array>
#include <type_traits>
#include <utility>
#include "engine/softrender/blit_loop_body.h"
#include "engine/softrender/triangle_walk.h"

template <int I> void TriLoop(const TriJob& j) {
    constexpr TriLoopDesc d = TriDescribe(I);
    static_assert(TriLoopIndex(d) == TRI_LOOPS_FLAT + I, "loop numbering is not one-to-one");
    using F = std::conditional_t<d.type == 0, Fmt16, Fmt32>;
    using S = typename BlitSourceFor<d.kind, F>::T;
    using C = PixelOpConfig<F, d.kind, d.graph != 0, d.bright != 0, FORM_GENERAL, kTriWalker>;
    TriWalkTextured<F, S, TriOp<d.op, C>, d.trans != 0>(j);
}

template <int Base, size_t... I>
constexpr std::array<TriLoopFn, sizeof...(I)> TriMakeLoops(std::index_sequence<I...>) {
    return {{&TriLoop<Base + (int)I>...}};
}
