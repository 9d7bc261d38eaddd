// Dispatch of the generated blit loops and their names.
#include "engine/softrender/blit_loops.h"
#include <cstdio>
#include "engine/softrender/blit_stats.h"
#include "engine/softrender/pixel_ops_format.h"

void BlitRunLoop(int id, const BlitJob& job, uint32_t* counts) {
    if (id < 0 || id >= BLIT_LOOPS_END) return;
    if (counts) counts[id]++;
    if (id < BLIT_LOOPS_RLE_BEGIN) kBlitLoopsPixel[id](job);
    else if (id < BLIT_LOOPS_STRETCH_BEGIN) kBlitLoopsRle[id - BLIT_LOOPS_RLE_BEGIN](job);
    else kBlitLoopsStretch[id - BLIT_LOOPS_STRETCH_BEGIN](job);
}

int BlitLoopTotal() { return BLIT_LOOPS_END; }

int BlitLoopName(int id, char* buf, int size) {
    if (id < 0 || id >= BLIT_LOOPS_END || !buf || size <= 0) return -1;
    static const char* const walkers[] = {"pixel", "rle", "stretch"};
    static const char* const kinds[] = {"direct", "palette", "alpha"};
    static const char* const ops[] = {"copy", "alpha", "add", "sub", "mul", "invalpha", "mulalpha"};
    static const char* const forms[] = {"", " half", " p255", " p255"};
    BlitLoopDesc d = BlitDescribeLoop(id);
    std::snprintf(buf, (size_t)size, "%s %d %s %s%s%s%s%s", walkers[d.walker], d.type ? 32 : 16, kinds[d.src],
                  ops[d.op], forms[d.form], d.graph ? " graph" : "", d.bright ? " bright" : "",
                  d.walker != WALK_RLE && d.trans ? " trans" : "");
    return 0;
}
