// What one generated blit loop gets: everything settled once per call, so the
// loop itself reads no global. Internal to the software renderer.
#pragma once
#include <cstdint>

enum BlitWalker { WALK_PIXEL = 0, WALK_RLE = 1, WALK_STRETCH = 2 };
enum BlitOp { OP_COPY, OP_ALPHA, OP_ADD, OP_SUB, OP_MUL, OP_INVALPHA, OP_MULALPHA, OP_COUNT };
// Special forms chosen by the value of p (whole-image per-pixel path; the
// stretched blit has only the p = 255 subtract).
enum BlitForm { FORM_GENERAL = 0, FORM_HALF = 1, FORM_ADD255 = 2, FORM_SUB255 = 3 };

struct BlitJob {
    uint8_t* dst;
    intptr_t dst_pitch;
    const uint8_t* src;          // first source pixel drawn
    intptr_t src_step_x;         // bytes to the next source pixel (negative when mirrored)
    intptr_t src_step_y;         // bytes to the next source row (negative when mirrored)
    const uint8_t* graph;        // blend graph at the first source pixel, or null
    intptr_t graph_step_x;
    intptr_t graph_step_y;
    int32_t w, h;                // destination pixels drawn
    uint32_t key;                // transparent colour, compared whole
    const void* palette;         // 256 entries in the destination's layout
    uint32_t p;                  // blend parameter 0..255
    const int32_t* mul_p;        // MemImgMulTable row p
    const int32_t* smul_p;       // MemImgSignedMulTable row p at its centre
    const uint8_t (*lerp_p)[64]; // MemImgLerpTable block p / 4
    const int32_t* mul_bright[3];// MemImgMulTable rows of the bright blue, green, red
    const uint8_t* graph_table;  // BlendGraphicTable
    // Run-length path: codes of the whole source, bounded by codes_end.
    const uint8_t* codes;
    const uint8_t* codes_end;
    // Stretched path: 16.16 steps and the accumulators' start values.
    int64_t scale_x, acc_x, scale_y, acc_y;
};

typedef void (*BlitLoopFn)(const BlitJob& job);
