// Loops of the whole-image per-pixel walk, special forms included.
#include "engine/softrender/blit_loop_body.h"

extern const std::array<BlitLoopFn, BLIT_LOOPS_RLE_BEGIN> kBlitLoopsPixel =
    BlitMakeLoops<BLIT_LOOPS_PIXEL_BEGIN>(std::make_index_sequence<BLIT_LOOPS_RLE_BEGIN>());
