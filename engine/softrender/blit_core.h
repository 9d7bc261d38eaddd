// The blit cores: they read nothing global. The entry points fill a BlitState
// from the draw settings and the lookup tables once per call. Internal.
#pragma once
#include <cstdint>
#include "engine/image/memimg.h"
#include "engine/softrender/blit_job.h"
#include "engine/system/rect.h"

struct BlitState {
    Rect area;                       // draw area
    int32_t mode;                    // blend mode
    int32_t p;                       // blend parameter
    uint8_t bright[3];               // blue, green, red
    const int32_t (*mul)[256];       // MemImgMulTable
    const int32_t (*smul)[512];      // MemImgSignedMulTable
    const uint8_t (*lerp)[64][64];   // MemImgLerpTable
    const uint8_t* graph_table;      // BlendGraphicTable
    uint32_t* counts;                // loop counter of the tests, or null
};

// Reads the draw settings, the tables and the loop counter.
BlitState BlitStateFromSettings();

void BlitWholeCore(const BlitState& st, MEMIMG* dst, const MEMIMG* src, int x, int y, int trans,
                   const MEMIMG* graph);
void BlitStretchedCore(const BlitState& st, MEMIMG* dst, const MEMIMG* src, const Rect* rect, int trans,
                       const MEMIMG* graph);

// What both cores check and settle.
struct BlitImageInfo {
    uint8_t* pixels;
    intptr_t pitch;
    int32_t width, height;
    int type;   // colour type
    int kind;   // BlitSrcKind
    int bpp;
};
// A usable image of colour type 0 or 1; false refuses the draw.
bool BlitReadImage(const MEMIMG* img, BlitImageInfo* out);
// A blend graph at least as large as the source; false refuses the draw.
bool BlitReadGraph(const MEMIMG* graph, const BlitImageInfo& src, BlitImageInfo* out);
// The operation of the mode, after the p = 0 and p = 255 entries; -1 draws nothing.
int BlitSettleOp(int mode, int p, int kind);
// The draw area cut to the destination.
Rect BlitClipArea(const BlitState& st, const BlitImageInfo& dst);
// Table rows of p and of the bright.
void BlitSetRows(const BlitState& st, BlitJob* job);
// The pixels are about to change: codes built from them no longer hold.
void BlitClearRunCodes(MEMIMG* dst);

// When the source rows the loop reads share bytes with the destination rows it
// writes, a copy of the source region replaces it so that the draw sees the
// source as it was: *block is then the copy to release with BlitReleaseCopy
// (null when none was needed). False when the copy cannot be made.
struct BlitSourceRegion {
    const uint8_t* first;   // first byte of the region (top-left of the rows read)
    intptr_t pitch;
    int64_t row_bytes;
    int32_t rows;
};
bool BlitIsolateSource(const BlitSourceRegion& src, const uint8_t* dst_first, intptr_t dst_pitch,
                       int64_t dst_row_bytes, int32_t dst_rows, const uint8_t** new_first, intptr_t* new_pitch,
                       void** block);
void BlitReleaseCopy(void* block);
