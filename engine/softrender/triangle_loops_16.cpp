// Textured triangle loops into 16-bit images.
#include <array>
#include "engine/softrender/triangle_loop_body.h"

static constexpr std::array<TriLoopFn, TRI_LOOPS_PER_TYPE> kLoops =
    TriMakeLoops<0>(std::make_index_sequence<TRI_LOOPS_PER_TYPE>());
extern const TriLoopFn* const kTriLoops16 = kLoops.data();
