// Loops of the stretched walk.
#include "engine/softrender/blit_loop_body.h"

extern const std::array<BlitLoopFn, BLIT_LOOPS_END - BLIT_LOOPS_STRETCH_BEGIN> kBlitLoopsStretch =
    BlitMakeLoops<BLIT_LOOPS_STRETCH_BEGIN>(std::make_index_sequence<BLIT_LOOPS_END - BLIT_LOOPS_STRETCH_BEGIN>());
