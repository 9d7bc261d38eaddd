// Loops of the run-length walk.
#include "engine/softrender/blit_loop_body.h"

extern const std::array<BlitLoopFn, BLIT_LOOPS_RLE> kBlitLoopsRle =
    BlitMakeLoops<BLIT_LOOPS_RLE_BEGIN>(std::make_index_sequence<BLIT_LOOPS_RLE>());
