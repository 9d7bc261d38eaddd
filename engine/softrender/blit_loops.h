// The generated blit loops: one per combination of walker, colour type, source
// kind, operation, blend graph, draw bright, transparent flag and special form,
// numbered densely so that tables of function pointers dispatch them. Internal.
#pragma once
#include <array>
#include <cstdint>
#include "engine/softrender/blit_job.h"

struct BlitLoopDesc {
    int walker;   // BlitWalker
    int type;     // 0 16-bit, 1 32-bit
    int src;      // BlitSrcKind
    int op;       // BlitOp
    int graph;    // 1: blend graph given
    int bright;   // 1: draw bright other than white
    int trans;    // 1: transparent test (the run-length walk has none)
    int form;     // BlitForm
};

enum {
    BLIT_LOOPS_GENERAL = 2 * 3 * OP_COUNT * 2 * 2 * 2,  // 336
    BLIT_LOOPS_PIXEL_SPECIAL = 2 * 2 * 3 * 2,            // halving, add 255, sub 255: 24
    BLIT_LOOPS_RLE = 2 * 3 * OP_COUNT * 2 * 2,          // 168
    BLIT_LOOPS_STRETCH_SPECIAL = 2 * 2 * 2,             // sub 255: 8
    BLIT_LOOPS_PIXEL_BEGIN = 0,
    BLIT_LOOPS_RLE_BEGIN = BLIT_LOOPS_GENERAL + BLIT_LOOPS_PIXEL_SPECIAL,
    BLIT_LOOPS_STRETCH_BEGIN = BLIT_LOOPS_RLE_BEGIN + BLIT_LOOPS_RLE,
    BLIT_LOOPS_END = BLIT_LOOPS_STRETCH_BEGIN + BLIT_LOOPS_GENERAL + BLIT_LOOPS_STRETCH_SPECIAL,
};

constexpr int BlitFormOp(int form) {
    return form == FORM_HALF ? OP_ALPHA : form == FORM_ADD255 ? OP_ADD : OP_SUB;
}

constexpr BlitLoopDesc BlitGeneralDesc(int walker, int i) {
    BlitLoopDesc d{walker, 0, 0, 0, 0, 0, 0, FORM_GENERAL};
    if (walker != WALK_RLE) { d.trans = i % 2; i /= 2; } else { d.trans = 1; }
    d.bright = i % 2; i /= 2;
    d.graph = i % 2; i /= 2;
    d.op = i % OP_COUNT; i /= OP_COUNT;
    d.src = i % 3; i /= 3;
    d.type = i;
    return d;
}

// Special forms: plain sources (direct or palette), no graph, white bright.
constexpr BlitLoopDesc BlitSpecialDesc(int walker, int i) {
    BlitLoopDesc d{walker, 0, 0, 0, 0, 0, 0, 0};
    d.trans = i % 2; i /= 2;
    if (walker == WALK_PIXEL) { d.form = 1 + i % 3; i /= 3; } else { d.form = FORM_SUB255; }
    d.src = i % 2; i /= 2;
    d.type = i;
    d.op = BlitFormOp(d.form);
    return d;
}

constexpr BlitLoopDesc BlitDescribeLoop(int id) {
    if (id < BLIT_LOOPS_GENERAL) return BlitGeneralDesc(WALK_PIXEL, id);
    if (id < BLIT_LOOPS_RLE_BEGIN) return BlitSpecialDesc(WALK_PIXEL, id - BLIT_LOOPS_GENERAL);
    if (id < BLIT_LOOPS_STRETCH_BEGIN) return BlitGeneralDesc(WALK_RLE, id - BLIT_LOOPS_RLE_BEGIN);
    if (id < BLIT_LOOPS_STRETCH_BEGIN + BLIT_LOOPS_GENERAL) return BlitGeneralDesc(WALK_STRETCH, id - BLIT_LOOPS_STRETCH_BEGIN);
    return BlitSpecialDesc(WALK_STRETCH, id - BLIT_LOOPS_STRETCH_BEGIN - BLIT_LOOPS_GENERAL);
}

// The loop of a combination, or -1 when none exists.
constexpr int BlitLoopIndex(const BlitLoopDesc& d) {
    if (d.form != FORM_GENERAL) {
        if (d.src == 2 || d.graph || d.bright || d.op != BlitFormOp(d.form)) return -1;
        int base = (d.type * 2 + d.src);
        if (d.walker == WALK_PIXEL) return BLIT_LOOPS_GENERAL + (base * 3 + d.form - 1) * 2 + d.trans;
        if (d.walker == WALK_STRETCH && d.form == FORM_SUB255)
            return BLIT_LOOPS_STRETCH_BEGIN + BLIT_LOOPS_GENERAL + base * 2 + d.trans;
        return -1;
    }
    int i = (((d.type * 3 + d.src) * OP_COUNT + d.op) * 2 + d.graph) * 2 + d.bright;
    if (d.walker == WALK_RLE) return BLIT_LOOPS_RLE_BEGIN + i;
    i = i * 2 + d.trans;
    return d.walker == WALK_PIXEL ? i : BLIT_LOOPS_STRETCH_BEGIN + i;
}

extern const std::array<BlitLoopFn, BLIT_LOOPS_RLE_BEGIN> kBlitLoopsPixel;
extern const std::array<BlitLoopFn, BLIT_LOOPS_RLE> kBlitLoopsRle;
extern const std::array<BlitLoopFn, BLIT_LOOPS_END - BLIT_LOOPS_STRETCH_BEGIN> kBlitLoopsStretch;

// Runs loop id (counted in counts when given).
void BlitRunLoop(int id, const BlitJob& job, uint32_t* counts);
