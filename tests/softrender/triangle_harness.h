// The triangle tests' bridge from the blit harness's guarded images to the
// triangle reference, and one draw done both ways.
#pragma once
#include <string>
#include <vector>
#include "blit_harness.h"
#include "engine/softrender/shapes.h"
#include "softrender/ref_triangle.h"

inline reftri::Image TriRefOf(const TestImage& t, uint8_t* body_copy = nullptr) {
    reftri::Image r;
    r.type = t.layout.type;
    r.kind = t.layout.kind;
    r.width = t.img.width;
    r.height = t.img.height;
    r.pitch = t.rec.pitch;
    r.pixels = (body_copy ? body_copy : t.body) + (t.img.pixels - t.body);
    r.key = t.rec.trans_color;
    r.palette = t.palette;
    return r;
}

inline reftri::Settings TriRefSettings(const CaseSettings& s) {
    reftri::Settings r;
    r.left = s.area.left;
    r.top = s.area.top;
    r.right = s.area.right;
    r.bottom = s.area.bottom;
    r.mode = s.mode;
    r.p = s.p;
    for (int i = 0; i < 3; i++) r.bright[i] = s.bright[i];
    r.graph_table = s.graph_table;
    return r;
}

// Draws by the reference into a copy of dst's body and by the renderer under s,
// then compares the whole bodies (the margins are the sentinel ring). Empty
// when they agree.
inline std::string TriDrawBoth(const CaseSettings& s, TestImage& dst, const TestImage* src, const reftri::Vertex v[3],
                               int trans, const TestGraph* graph, uint32_t color) {
    std::vector<uint8_t> expected = BodyOf(dst);
    reftri::Image dref = TriRefOf(dst, expected.data());
    reftri::Image sref;
    if (src) sref = TriRefOf(*src);
    reftri::Graph gref = {};
    if (graph) gref = reftri::Graph{graph->img.pixels, graph->rec.pitch, graph->img.width, graph->img.height};
    reftri::Draw(TriRefSettings(s), dref, src ? &sref : nullptr, v, trans, graph ? &gref : nullptr, color);
    ApplySettings(s);
    TriangleVertex tv[3];
    for (int i = 0; i < 3; i++) tv[i] = TriangleVertex{v[i].x, v[i].y, v[i].u, v[i].v};
    DrawMemImgTriangle(&dst.img, src ? &src->img : nullptr, tv, trans, graph ? &graph->img : nullptr, color);
    return CompareBody(dst, expected);
}
