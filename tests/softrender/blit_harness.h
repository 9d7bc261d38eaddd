// Test images for the blit tests: MEMIMG views over guarded memory, their
// reference-model twins, seeded random contents skewed toward the values that
// tell the variants apart, and the draw settings of one case.
#pragma once
#include <cstdint>
#include <random>
#include <string>
#include <vector>
#include "engine/image/memimg.h"
#include "ref_blit.h"

enum { KIND_DIRECT = 0, KIND_PALETTE = 1, KIND_ALPHA = 2 };

struct ImageLayout {
    int type = 1;             // colour type 0 or 1
    int kind = KIND_DIRECT;
    int width = 1, height = 1;  // the view
    int margin[4] = {0, 0, 0, 0};  // body pixels left, top, right, bottom of the view
    int pitch_pad = 0;        // extra bytes at the end of each row
    bool guard_before = false;  // no-access page before the body instead of after it
    uint32_t key = 0;
    bool run_codes = false;   // build a run-length stream of the whole body
};

ImageLayout LayoutOf(int type, int kind, int width, int height, uint32_t key = 0, bool run_codes = false);

class TestImage {
public:
    explicit TestImage(const ImageLayout& layout);
    ~TestImage();
    TestImage(const TestImage&) = delete;
    TestImage& operator=(const TestImage&) = delete;

    MEMIMG img;
    MemImgShared rec;
    PixelFormat fmt;
    ImageLayout layout;
    int bpp;
    uint8_t* body;            // guarded
    size_t body_size;
    uint8_t* palette;         // guarded, 256 entries, or null
    uint8_t* codes;           // guarded, or null
    size_t code_size;

    uint8_t* At(int x, int y) { return img.pixels + (intptr_t)y * rec.pitch + (intptr_t)x * bpp; }
    void Set(int x, int y, uint32_t v);
    uint32_t Get(int x, int y);
    void Fill(uint32_t v);     // every view pixel
    // Random pixels over the whole body (margins too), palette and key skewed.
    void Randomise(std::mt19937& rng, bool as_source);
    // (Re)builds the run-length stream from the pixels, when its ImageLayout asks for one.
    void BuildRuns();
    // The reference model's view of the same image; pixels may point into a copy of the body.
    RefImage Ref(uint8_t* body_copy = nullptr) const;
};

// A blend graph (one byte a pixel) over guarded memory.
struct TestGraph {
    TestGraph(int width, int height, std::mt19937& rng);
    ~TestGraph();
    MEMIMG img;
    MemImgShared rec;
    PixelFormat fmt;
    uint8_t* body;
    RefGraph Ref() const { return RefGraph{img.pixels, rec.pitch, img.width, img.height}; }
};

struct CaseSettings {
    Rect area;
    int mode;
    int p;
    int bright[3];
    uint8_t graph_table[256];
};

// Installs the case's settings in GDrawSettings and BlendGraphicTable.
void ApplySettings(const CaseSettings& s);
RefSettings RefOf(const CaseSettings& s);
// The reference's view of the settings now in GDrawSettings and BlendGraphicTable.
RefSettings RefOfDrawSettings();
std::string Describe(const CaseSettings& s);

// Default settings for a w x h destination: whole area, mode 0, p 255, white.
void ResetDrawSettings(int w, int h);
void SetBright(int red, int green, int blue);

// Builds the lookup tables once per program.
void EnsureBlitTables();

std::vector<uint8_t> BodyOf(const TestImage& t);

// Compares dst's body with expected bytes; on a difference returns a message
// naming the first differing pixel, else empty.
std::string CompareBody(const TestImage& dst, const std::vector<uint8_t>& expected);
