// Checks and settings shared by the whole-image and the stretched blit.
#include "engine/softrender/blit_core.h"
#include <cstring>
#include "engine/graphics/draw_settings.h"
#include "engine/softrender/blit_stats.h"
#include "engine/softrender/pixel_ops_format.h"
#include "engine/system/memory.h"

static uint32_t* g_blit_counts;

void BlitSetLoopCounter(uint32_t* counts) { g_blit_counts = counts; }

BlitState BlitStateFromSettings() {
    const DrawSettings& s = GDrawSettings;
    BlitState st;
    st.area = s.draw_area;
    st.mode = s.blend_mode;
    st.p = s.blend_param < 0 ? 0 : s.blend_param > 255 ? 255 : s.blend_param;
    st.bright[0] = s.bright[0];
    st.bright[1] = s.bright[1];
    st.bright[2] = s.bright[2];
    st.mul = MemImgMulTable;
    st.smul = MemImgSignedMulTable;
    st.lerp = MemImgLerpTable;
    st.graph_table = BlendGraphicTable;
    st.counts = g_blit_counts;
    return st;
}

bool BlitReadImage(const MEMIMG* img, BlitImageInfo* out) {
    if (!img || img->magic != MEMIMG_MAGIC || !img->shared || !img->pixels) return false;
    const MemImgShared* rec = img->shared;
    if (rec->color_type != MEMIMG_TYPE_16 && rec->color_type != MEMIMG_TYPE_32) return false;
    if (img->width < 0 || img->height < 0 || rec->pitch <= 0) return false;
    out->type = rec->color_type;
    if (rec->palette_flag) {
        out->kind = SRC_PALETTE;
        out->bpp = 1;
        if (!rec->palette1) return false;
    } else if (rec->alpha_flag) {
        out->kind = SRC_ALPHA;
        out->bpp = 4;
    } else {
        out->kind = SRC_DIRECT;
        out->bpp = rec->color_type == MEMIMG_TYPE_16 ? 2 : 4;
    }
    if (rec->format && rec->format->bytes_per_pixel != out->bpp) return false;
    if ((int64_t)img->width * out->bpp > rec->pitch) return false;
    out->pixels = img->pixels;
    out->pitch = rec->pitch;
    out->width = img->width;
    out->height = img->height;
    return true;
}

bool BlitReadGraph(const MEMIMG* graph, const BlitImageInfo& src, BlitImageInfo* out) {
    if (!graph || graph->magic != MEMIMG_MAGIC || !graph->shared || !graph->pixels) return false;
    if (graph->width < src.width || graph->height < src.height) return false;
    if (graph->shared->pitch < graph->width) return false;
    out->pixels = graph->pixels;
    out->pitch = graph->shared->pitch;
    out->width = graph->width;
    out->height = graph->height;
    out->type = graph->shared->color_type;
    out->kind = SRC_DIRECT;
    out->bpp = 1;
    return true;
}

int BlitSettleOp(int mode, int p, int kind) {
    switch (mode) {
    case 0: return OP_COPY;
    case 1: return p == 0 ? -1 : p == 255 ? OP_COPY : OP_ALPHA;
    case 2: return p == 0 ? -1 : OP_ADD;
    // A palette source still subtracts at p = 0 (a zero strength that sets low bits).
    case 3: return p == 0 && kind != SRC_PALETTE ? -1 : OP_SUB;
    case 4: return OP_MUL;
    case 10: return OP_INVALPHA;
    case 11: return OP_MULALPHA;
    default: return -1;
    }
}

Rect BlitClipArea(const BlitState& st, const BlitImageInfo& dst) {
    Rect area = st.area;
    Rect bounds = {0, 0, dst.width, dst.height};
    ClipRectToRect(&area, &bounds);
    return area;
}

void BlitSetRows(const BlitState& st, BlitJob* job) {
    job->p = (uint32_t)st.p;
    job->mul_p = st.mul[st.p];
    job->smul_p = &st.smul[st.p][256];
    job->lerp_p = st.lerp[st.p >> 2];
    for (int i = 0; i < 3; i++) job->mul_bright[i] = st.mul[st.bright[i]];
    job->graph_table = st.graph_table;
}

void BlitClearRunCodes(MEMIMG* dst) {
    MemImgShared* rec = dst->shared;
    rec->rle_flag = 0;
    if (rec->body) rec->body->rle_flag = 0;
}

bool BlitIsolateSource(const BlitSourceRegion& src, const uint8_t* dst_first, intptr_t dst_pitch,
                       int64_t dst_row_bytes, int32_t dst_rows, const uint8_t** new_first, intptr_t* new_pitch,
                       void** block) {
    *block = nullptr;
    uintptr_t s0 = (uintptr_t)src.first;
    uintptr_t s1 = s0 + (uintptr_t)((int64_t)(src.rows - 1) * src.pitch + src.row_bytes);
    uintptr_t d0 = (uintptr_t)dst_first;
    uintptr_t d1 = d0 + (uintptr_t)((int64_t)(dst_rows - 1) * dst_pitch + dst_row_bytes);
    if (s1 <= d0 || d1 <= s0) return true;
    size_t bytes = (size_t)(src.row_bytes * src.rows);
    uint8_t* copy = (uint8_t*)MemAlloc(bytes ? bytes : 1, __FILE__, __LINE__);
    if (!copy) return false;
    for (int32_t y = 0; y < src.rows; y++)
        std::memcpy(copy + (size_t)(y * src.row_bytes), src.first + y * src.pitch, (size_t)src.row_bytes);
    *new_first = copy;
    *new_pitch = (intptr_t)src.row_bytes;
    *block = copy;
    return true;
}

void BlitReleaseCopy(void* block) {
    if (block) MemFree(block);
}
