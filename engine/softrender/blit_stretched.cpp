// Stretched and mirrored blit: 16.16 stepping settled once per call. Scales,
// starts and accumulators are 64-bit, so no extent overflows them; they equal
// the 32-bit values wherever those were exact.
#include "engine/softrender/blit.h"
#include <algorithm>
#include "engine/softrender/blit_core.h"
#include "engine/softrender/blit_loops.h"
#include "engine/softrender/pixel_ops_format.h"

void BlitStretchedCore(const BlitState& st, MEMIMG* dst, const MEMIMG* src, const Rect* rect, int trans,
                       const MEMIMG* graph) {
    if (!rect) return;
    BlitImageInfo di, si, gi = {};
    if (!BlitReadImage(dst, &di) || !BlitReadImage(src, &si)) return;
    bool mirror_x = rect->left > rect->right, mirror_y = rect->top > rect->bottom;
    int64_t left = std::min(rect->left, rect->right), right = std::max(rect->left, rect->right);
    int64_t top = std::min(rect->top, rect->bottom), bottom = std::max(rect->top, rect->bottom);
    int64_t ext_x = right - left, ext_y = bottom - top;
    if (ext_x == 0 || ext_y == 0) return;
    if (ext_x == si.width && ext_y == si.height && !mirror_x && !mirror_y) {
        BlitWholeCore(st, dst, src, (int)left, (int)top, trans, graph);
        return;
    }
    if (si.type != di.type || di.kind != SRC_DIRECT) return;
    if (si.width <= 0 || si.width > 65536 || si.height <= 0 || si.height > 65536) return;
    if (graph && !BlitReadGraph(graph, si, &gi)) return;
    int op = BlitSettleOp(st.mode, st.p, si.kind);
    if (op < 0) return;

    int64_t scale_x = (ext_x << 16) / si.width, scale_y = (ext_y << 16) / si.height;
    if (scale_x == 0 || scale_y == 0) return;
    Rect area = BlitClipArea(st, di);
    int64_t cl = std::max<int64_t>(left, area.left), cr = std::min<int64_t>(right, area.right);
    int64_t ct = std::max<int64_t>(top, area.top), cb = std::min<int64_t>(bottom, area.bottom);
    if (cr <= cl || cb <= ct) return;
    int64_t start_x = ((cl - left) << 16) / scale_x, rem_x = ((cl - left) << 16) % scale_x;
    int64_t start_y = ((ct - top) << 16) / scale_y, rem_y = ((ct - top) << 16) % scale_y;
    if (start_x >= si.width || start_y >= si.height) return;
    int64_t col = mirror_x ? si.width - 1 - start_x : start_x;
    int64_t row = mirror_y ? si.height - 1 - start_y : start_y;

    bool bright = !(st.bright[0] == 255 && st.bright[1] == 255 && st.bright[2] == 255);
    BlitLoopDesc d = {WALK_STRETCH, si.type, si.kind, op, graph != nullptr, bright, trans != 0, FORM_GENERAL};
    if (op == OP_SUB && st.p == 255 && si.kind != SRC_ALPHA && !graph && !bright) d.form = FORM_SUB255;
    int id = BlitLoopIndex(d);
    if (id < 0) return;

    BlitJob j = {};
    j.w = (int32_t)(cr - cl);
    j.h = (int32_t)(cb - ct);
    j.dst = di.pixels + (intptr_t)ct * di.pitch + (intptr_t)cl * di.bpp;
    j.dst_pitch = di.pitch;
    j.key = src->shared->trans_color;
    j.palette = src->shared->palette1;
    j.scale_x = scale_x;
    j.acc_x = scale_x - rem_x;
    j.scale_y = scale_y;
    j.acc_y = scale_y - rem_y;
    BlitSetRows(st, &j);

    // The whole source view may be read; copy it aside when it shares bytes
    // with the rows written.
    const uint8_t* first = si.pixels;
    intptr_t pitch = si.pitch;
    void* copy = nullptr;
    BlitSourceRegion region = {first, pitch, (int64_t)si.width * si.bpp, si.height};
    if (!BlitIsolateSource(region, j.dst, di.pitch, (int64_t)j.w * di.bpp, j.h, &first, &pitch, &copy)) return;
    j.src = first + (intptr_t)row * pitch + (intptr_t)col * si.bpp;
    j.src_step_x = mirror_x ? -si.bpp : si.bpp;
    j.src_step_y = mirror_y ? -pitch : pitch;
    if (graph) {
        j.graph = gi.pixels + (intptr_t)row * gi.pitch + (intptr_t)col;
        j.graph_step_x = mirror_x ? -1 : 1;
        j.graph_step_y = mirror_y ? -gi.pitch : gi.pitch;
    }
    BlitClearRunCodes(dst);
    BlitRunLoop(id, j, st.counts);
    BlitReleaseCopy(copy);
}

void DrawMemImgStretched(MEMIMG* dst, const MEMIMG* src, const Rect* rect, int trans, const MEMIMG* blend_graph) {
    BlitStretchedCore(BlitStateFromSettings(), dst, src, rect, trans, blend_graph);
}
