// DrawMemImgTriangle: the checks, the set-up, then one loop chosen by colour
// type, source kind, operation, blend graph, draw bright and transparent flag.
#include <cstdio>
#include "engine/image/memimg.h"
#include "engine/softrender/blit_core.h"
#include "engine/softrender/shape_frame.h"
#include "engine/softrender/triangle_stats.h"
#include "engine/softrender/triangle_walk.h"

static uint32_t* g_tri_counts;

void TriangleSetLoopCounter(uint32_t* counts) { g_tri_counts = counts; }
int TriangleLoopTotal() { return TRI_LOOPS_END; }

static const char* const kOpNames[] = {"copy", "alpha", "add", "sub", "mul", "invalpha", "mulalpha"};

int TriangleLoopName(int id, char* buf, int size) {
    if (id < 0 || id >= TRI_LOOPS_END || !buf || size <= 0) return -1;
    if (id < TRI_LOOPS_FLAT) {
        std::snprintf(buf, (size_t)size, "flat %d %s", id / OP_COUNT ? 32 : 16, kOpNames[id % OP_COUNT]);
        return 0;
    }
    static const char* const kinds[] = {"direct", "palette", "alpha"};
    const TriLoopDesc d = TriDescribe(id - TRI_LOOPS_FLAT);
    std::snprintf(buf, (size_t)size, "%d %s %s%s%s%s", d.type ? 32 : 16, kinds[d.kind], kOpNames[d.op],
                  d.graph ? " graph" : "", d.bright ? " bright" : "", d.trans ? " trans" : "");
    return 0;
}

namespace {

int OpOfMode(int mode) {
    switch (mode) {
    case 0: return OP_COPY;
    case 1: return OP_ALPHA;
    case 2: return OP_ADD;
    case 3: return OP_SUB;
    case 4: return OP_MUL;
    case 10: return OP_INVALPHA;
    default: return OP_MULALPHA;
    }
}

template <class W> struct FlatBody {
    static void Run(const ShapePen& pen, const TriSetup& g, const Rect& area, uint8_t* pixels, int32_t pitch) {
        TriWalk(g, area, [&](int32_t y, int32_t xs, int32_t n) BLIT_LAMBDA_INLINE {
            W::Span(pixels + (intptr_t)y * pitch + (intptr_t)xs * W::kBytes, n, pen);
        });
    }
};

// The triangle scales its flat colour by M[bright][c] always (not by
// (c * bright) >> 8 as the other shapes do), then draws it as they do.
void DrawFlat(const ShapeState& st, MEMIMG* dst, const ShapeTarget& t, const TriSetup& g, uint32_t color) {
    if (t.color_type == MEMIMG_TYPE_32) {
        uint32_t c = color & 0xFF000000u;
        for (int i = 0; i < 3; i++) c |= (uint32_t)MemImgMulTable[st.bright[i]][(color >> (8 * i)) & 0xFF] << (8 * i);
        color = c;
    } else {
        color = (uint32_t)MemImgMulTable[st.bright[2]][(color >> 11) & 31] << 11 |
                (uint32_t)MemImgMulTable[st.bright[1]][(color >> 5) & 63] << 5 |
                (uint32_t)MemImgMulTable[st.bright[0]][color & 31];
    }
    ShapeState white = st;
    white.bright[0] = white.bright[1] = white.bright[2] = 255;
    ShapePen pen;
    if (!ShapeMakePen(white, t.color_type, color, &pen)) return;
    if (g_tri_counts) g_tri_counts[(t.color_type == MEMIMG_TYPE_32 ? OP_COUNT : 0) + OpOfMode(pen.mode)]++;
    ShapeDispatch<FlatBody>(pen, g, t.area, t.pixels, t.pitch);
    MemImageMarkWritten(dst);
}

}  // namespace

void DrawMemImgTriangle(MEMIMG* dst, const MEMIMG* src, const TriangleVertex* vertices, int trans,
                        const MEMIMG* blend_graph, uint32_t color) {
    if (!vertices) return;
    const ShapeState st = ShapeReadState();
    ShapeTarget t;
    if (!ShapeTargetOf(st, dst, &t)) return;
    TriJob j = {};
    if (!src) {
        if (TriSetUp(vertices, false, &j.geo)) DrawFlat(st, dst, t, j.geo, color);
        return;
    }
    BlitImageInfo si, gi = {};
    if (!BlitReadImage(src, &si) || si.type != t.color_type) return;
    if (blend_graph && !BlitReadGraph(blend_graph, si, &gi)) return;
    const int op = BlitSettleOp(st.mode, st.param, si.kind);
    if (op < 0 || !TriSetUp(vertices, true, &j.geo)) return;

    j.area = t.area;
    j.dst = t.pixels;
    j.dst_pitch = t.pitch;
    j.src = si.pixels;
    j.src_pitch = si.pitch;
    j.src_w = (uint32_t)si.width;
    j.src_h = (uint32_t)si.height;
    if (blend_graph) {
        j.graph = gi.pixels;
        j.graph_pitch = gi.pitch;
    }
    BlitJob& o = j.ops;
    o.key = src->shared->trans_color;
    o.palette = src->shared->palette1;
    o.p = (uint32_t)st.param;
    o.mul_p = st.mul_row;
    o.smul_p = st.smul_centre;
    for (int i = 0; i < 3; i++) o.mul_bright[i] = MemImgMulTable[st.bright[i]];
    o.graph_table = BlendGraphicTable;

    const bool bright = !(st.bright[0] == 255 && st.bright[1] == 255 && st.bright[2] == 255);
    const TriLoopDesc d = {si.type, si.kind, op, blend_graph != nullptr, bright, trans != 0};
    const int id = TriLoopIndex(d);
    if (g_tri_counts) g_tri_counts[id]++;
    const int local = id - TRI_LOOPS_FLAT;
    if (local < TRI_LOOPS_PER_TYPE) kTriLoops16[local](j);
    else kTriLoops32[local - TRI_LOOPS_PER_TYPE](j);
    MemImageMarkWritten(dst);
}

void DrawMemImgQuad(MEMIMG* dst, const MEMIMG* src, const int xy[8], int trans, const MEMIMG* blend_graph) {
    if (!src || !xy) return;
    const int w = src->width, h = src->height;
    const TriangleVertex tl = {xy[0], xy[1], 0, 0}, tr = {xy[2], xy[3], w, 0};
    const TriangleVertex br = {xy[4], xy[5], w, h}, bl = {xy[6], xy[7], 0, h};
    const TriangleVertex first[3] = {tl, tr, bl}, second[3] = {tr, bl, br};
    DrawMemImgTriangle(dst, src, first, trans, blend_graph, 0);
    DrawMemImgTriangle(dst, src, second, trans, blend_graph, 0);
}
