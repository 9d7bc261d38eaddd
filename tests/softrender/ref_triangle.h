// Slow reference model of DrawMemImgTriangle, written from the formulas alone:
// the set-up and walk literally in 64-bit, every texel rule per channel with
// floor divisions and no lookup table, nothing shared with the renderer. In a
// namespace: the blit and shape references own the global names.
#pragma once
#include <cstddef>
#include <cstdint>
#include <set>
#include <utility>

namespace reftri {

struct Vertex { int x, y, u, v; };

struct Image {
    int type = 1;               // 0 R5G6B5, 1 X8R8G8B8
    int kind = 0;               // 0 direct, 1 palette, 2 alpha
    int width = 0, height = 0;  // the view
    int64_t pitch = 0;
    uint8_t* pixels = nullptr;  // the view's top-left
    uint32_t key = 0;
    const uint8_t* palette = nullptr;
};

struct Graph {
    const uint8_t* pixels;
    int64_t pitch;
    int width, height;
};

struct Settings {
    int left, top, right, bottom;  // draw area
    int mode, p;
    int bright[3];                 // blue, green, red
    const uint8_t* graph_table;
};

// src null: the flat colour. Writes count the writes of each destination
// pixel (row-major over the view) when given.
void Draw(const Settings& s, Image& dst, const Image* src, const Vertex v[3], int trans, const Graph* graph,
          uint32_t color, int* writes = nullptr);

// The pixels a triangle of non-negative coordinates covers, unclipped, by the
// closed form: in each row between the top vertex's and the bottom vertex's,
// the columns from the rounding of the left edge's x to that of the right
// edge's, each edge's x taken straight from its segment's start and slope.
std::set<std::pair<int, int>> Coverage(const Vertex v[3]);

}  // namespace reftri
