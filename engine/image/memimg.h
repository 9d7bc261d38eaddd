// Software images: a small header (view) over a shared, reference-counted body.
// No Windows header: the software renderer builds natively too.
#pragma once
#include <cstdint>
#include "engine/image/pixel_format.h"
#include "engine/system/rect.h"

enum { MEMIMG_MAGIC = 0x12345678 };

// Colour types.
enum { MEMIMG_TYPE_16 = 0, MEMIMG_TYPE_32 = 1, MEMIMG_TYPE_CH8 = 2, MEMIMG_TYPE_CH16 = 3 };

// Run-length codes: per row, bytes with the command in the top two bits
// (0 skip, 1 opaque run, 2 alpha run) and the count - 1 in the low six; 0xC0 ends a row.
enum { MEMIMG_RLE_SKIP = 0, MEMIMG_RLE_OPAQUE = 1, MEMIMG_RLE_ALPHA = 2, MEMIMG_RLE_EOL = 0xC0 };

struct MemImgRunCodes {
    uint8_t* codes;
    int32_t size;       // bytes written
    int32_t capacity;   // bytes allocated
};

struct MemImgShared {
    int32_t ref_count;
    int32_t pitch;             // bytes per row
    PixelFormat* format;       // points at format_storage
    uint32_t trans_color;      // pixel value (direct) or index (palette)
    int32_t color_type;        // 0 R5G6B5 family, 1 X8R8G8B8 family, 2/3 single channel
    int32_t palette_flag;      // 1: one index byte per pixel
    int32_t palette_count;
    int32_t alpha_flag;        // 1: alpha in each pixel (type 0: 4 bytes, word + alpha in byte 2)
    int32_t rle_flag;          // 1: run_codes holds a valid stream for the whole body
    void* palette1;            // 256 entries in the colour type (2 or 4 bytes each)
    void* palette2;            // 256 entries of 0xAARRGGBB
    MemImgRunCodes run_codes;  // buffer present only when made with codes enabled
    int32_t width, height;     // body size
    uint8_t* pixels;           // body's first pixel
    uint8_t* alpha_plane;      // separate alpha plane, one byte per pixel, rows of width bytes; may be null
    int32_t owns_pixels;       // 1 in the record that allocated the body
    MemImgShared* body;        // a part view's own copy points at the owning record; null in the owner
    PixelFormat format_storage;
};

struct MEMIMG {
    uint32_t magic;            // MEMIMG_MAGIC while valid
    int32_t width, height;     // this view
    uint8_t* pixels;           // the view's top-left pixel
    uint8_t* alpha;            // the view's top-left alpha-plane byte, may be null
    MemImgShared* shared;
};

// Creation flags.
enum {
    MEMIMG_CREATE_ALPHA = 1,     // pixels carry alpha
    MEMIMG_CREATE_PALETTE = 2,   // one index byte per pixel (clears the alpha flag)
    MEMIMG_CREATE_RUNCODES = 4,  // keep a run-length code buffer
    MEMIMG_CREATE_ALPHAPLANE = 8,
};

// Creates an image of colour type 0 or 1 (or the single-channel 2: 1 byte, 3: 2 bytes);
// 0 or -1. The pixels are zeroed; rows are padded to 4 bytes. The palette flag
// (types 0/1 only) clears the alpha flag; types 2/3 carry no alpha.
int MemImageCreate(MEMIMG* img, int width, int height, int color_type, int flags, uint32_t trans_color);
// Releases the view; the body goes with its last view.
int MemImageRelease(MEMIMG* img);
// A view of part of src (cut to src). A view of less than the whole body gets its own
// copy of the shared record without run-length codes (pixels still shared). 0 or -1.
int MemImageMakeView(MEMIMG* view, const MEMIMG* src, int x, int y, int width, int height);
// Size of one pixel in bytes.
int MemImageBytesPerPixel(const MEMIMG* img);
uint8_t* MemImagePixelAt(const MEMIMG* img, int x, int y);

// Transfers the rectangle (sx, sy, w, h) of a base image to (dx, dy) of the image,
// cut to both, converting by the formats (type 1 without alpha gets byte 3 = 0, so
// its key is 0x00RRGGBB; a palette image takes palette pictures only and gets both
// palette tables rebuilt). Clears the run-length flag, then builds run codes when
// the transfer covers the whole body, the type is 0 or 1 and a code buffer exists.
int MemImageFromBaseImage(MEMIMG* img, const BaseImage* src, int sx, int sy, int w, int h, int dx, int dy);
// Fills the rectangle (null = the whole image), clipped to the image, with a raw value.
int MemImageFillRect(MEMIMG* img, const Rect* rect, uint32_t value);
// Rebuilds the run-length codes of a whole-body image from its pixels and key; 0 or -1.
// Call it again after changing the transparent colour of a coded image.
int MemImageBuildRunCodes(MEMIMG* img);
// To be called by any software write into an image: drops the run-length flag of the
// view's record and of the record owning the body, so stale codes are never replayed.
void MemImageMarkWritten(MEMIMG* img);

// Lookup tables of the software renderer.
extern int32_t MemImgMulTable[256][256];          // [x][y] = x * y / 255
extern int32_t MemImgSignedMulTable[256][512];    // [x][256 + d] = x * d / 255 toward zero
extern uint8_t MemImgLerpTable[64][64][64];       // [k][m][n] = (k*m + (63-k)*n) / 63
extern uint8_t BlendGraphicTable[256];
int BuildMemImageTables();
void BuildBlendGraphicTable(int border_param, int border_range);
