// Whole-image blit: clip, choose the path (per pixel or run-length) and the
// loop once, then run it.
#include "engine/softrender/blit.h"
#include <algorithm>
#include "engine/softrender/blit_core.h"
#include "engine/softrender/blit_loops.h"
#include "engine/softrender/pixel_ops_format.h"

void BlitWholeCore(const BlitState& st, MEMIMG* dst, const MEMIMG* src, int x, int y, int trans,
                   const MEMIMG* graph) {
    BlitImageInfo di, si, gi = {};
    if (!BlitReadImage(dst, &di) || !BlitReadImage(src, &si)) return;
    if (si.type != di.type || di.kind != SRC_DIRECT) return;
    if (graph && !BlitReadGraph(graph, si, &gi)) return;
    int op = BlitSettleOp(st.mode, st.p, si.kind);
    if (op < 0) return;

    Rect area = BlitClipArea(st, di);
    int64_t left = std::max<int64_t>(x, area.left), right = std::min<int64_t>((int64_t)x + si.width, area.right);
    int64_t top = std::max<int64_t>(y, area.top), bottom = std::min<int64_t>((int64_t)y + si.height, area.bottom);
    if (right <= left || bottom <= top) return;
    int32_t w = (int32_t)(right - left), h = (int32_t)(bottom - top);
    int32_t sx = (int32_t)(left - x), sy = (int32_t)(top - y);

    // Codes describe whole rows of the whole body: only a fully visible whole
    // body may replay them.
    const MemImgShared* rec = src->shared;
    bool whole_body = !rec->body && src->pixels == rec->pixels && src->width == rec->width &&
                      src->height == rec->height;
    bool rle = trans == 1 && rec->rle_flag == 1 && rec->run_codes.codes && rec->run_codes.size > 0 &&
               whole_body && w == si.width && h == si.height;
    bool bright = !(st.bright[0] == 255 && st.bright[1] == 255 && st.bright[2] == 255);

    BlitLoopDesc d = {rle ? WALK_RLE : WALK_PIXEL, si.type, si.kind, op, graph != nullptr, bright,
                      rle ? 1 : trans != 0, FORM_GENERAL};
    if (!rle && si.kind != SRC_ALPHA && !graph && !bright) {
        if (op == OP_ALPHA && st.p == 128) d.form = FORM_HALF;
        else if (op == OP_ADD && st.p == 255) d.form = FORM_ADD255;
        else if (op == OP_SUB && st.p == 255) d.form = FORM_SUB255;
    }
    int id = BlitLoopIndex(d);
    if (id < 0) return;

    BlitJob j = {};
    j.dst = di.pixels + (intptr_t)top * di.pitch + (intptr_t)left * di.bpp;
    j.dst_pitch = di.pitch;
    j.src = si.pixels + (intptr_t)sy * si.pitch + (intptr_t)sx * si.bpp;
    j.src_step_x = si.bpp;
    j.src_step_y = si.pitch;
    if (graph) {
        j.graph = gi.pixels + (intptr_t)sy * gi.pitch + sx;
        j.graph_step_x = 1;
        j.graph_step_y = gi.pitch;
    }
    j.w = w;
    j.h = h;
    j.key = rec->trans_color;
    j.palette = rec->palette1;
    BlitSetRows(st, &j);
    if (rle) {
        int32_t size = std::min(rec->run_codes.size, rec->run_codes.capacity > 0 ? rec->run_codes.capacity
                                                                                : rec->run_codes.size);
        j.codes = rec->run_codes.codes;
        j.codes_end = j.codes + size;
    }

    void* copy = nullptr;
    BlitSourceRegion region = {j.src, si.pitch, (int64_t)w * si.bpp, h};
    if (!BlitIsolateSource(region, j.dst, di.pitch, (int64_t)w * di.bpp, h, &j.src, &j.src_step_y, &copy))
        return;
    BlitClearRunCodes(dst);
    BlitRunLoop(id, j, st.counts);
    BlitReleaseCopy(copy);
}

void DrawMemImg(MEMIMG* dst, const MEMIMG* src, int x, int y, int trans, const MEMIMG* blend_graph) {
    BlitWholeCore(BlitStateFromSettings(), dst, src, x, y, trans, blend_graph);
}
