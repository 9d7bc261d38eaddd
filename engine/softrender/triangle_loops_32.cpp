// Textured triangle loops into 32-bit images.
#include <array>
#include "engine/softrender/triangle_loop_body.h"

static constexpr std::array<TriLoopFn, TRI_LOOPS_PER_TYPE> kLoops =
    TriMakeLoops<TRI_LOOPS_PER_TYPE>(std::make_index_sequence<TRI_LOOPS_PER_TYPE>());
extern const TriLoopFn* const kTriLoops32 = kLoops.data();
