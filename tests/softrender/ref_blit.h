// Slow reference model of the picture blits, written from the per-pixel
// formulas alone: 64-bit integers, plain ifs, no lookup tables, and nothing
// shared with the renderer's own headers.
#pragma once
#include <cstddef>
#include <cstdint>

struct RefImage {
    int type;                 // 0 R5G6B5, 1 X8R8G8B8
    int kind;                 // 0 direct, 1 palette, 2 alpha (palette wins over alpha)
    int dst_refused;          // 1: a palette or alpha image, never drawn into
    int width, height;
    int64_t pitch;
    uint8_t* pixels;          // top-left pixel of the view
    uint32_t key;             // transparent colour
    const uint8_t* palette;   // 256 entries of 2 or 4 bytes
    // Run-length codes of the whole body (null when the image has none usable).
    const uint8_t* codes;
    size_t code_size;
};

struct RefGraph {
    const uint8_t* pixels;
    int64_t pitch;
    int width, height;
};

struct RefSettings {
    int left, top, right, bottom;   // draw area
    int mode;
    int p;
    int bright[3];                  // blue, green, red
    const uint8_t* graph_table;     // weight of each blend-graph byte
};

void RefDrawWhole(const RefSettings& s, RefImage& dst, const RefImage& src, int x, int y, int trans,
                  const RefGraph* graph);
void RefDrawStretched(const RefSettings& s, RefImage& dst, const RefImage& src, int x1, int y1, int x2, int y2,
                      int trans, const RefGraph* graph);

// Run-length codes as the image loader writes them (for building test sources).
size_t RefEncodeRuns(const RefImage& img, uint8_t* out);

// Source column (or row) of each destination pixel of a stretched axis: n
// destination pixels from the clip offset `first`, extent `ext`, source size src.
// fast: the stepping of the plain-copy bodies.
void RefStretchColumns(int64_t ext, int64_t src, int64_t first, int n, bool fast, int64_t* out);
