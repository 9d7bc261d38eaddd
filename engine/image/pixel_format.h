// Pixel-format descriptors and base images. No Windows header.
#pragma once
#include <cstddef>
#include <cstdint>

struct PixelFormat {
    uint16_t bits_per_pixel;
    uint16_t bytes_per_pixel;
    uint8_t red_width, green_width, blue_width, alpha_width;
    uint8_t red_shift, green_shift, blue_shift, alpha_shift;
    uint32_t red_mask, green_mask, blue_mask, alpha_mask;
    int32_t is_palette;         // 1: pixels are indices into palette
    int32_t compression;        // 0 plain, 1-5 DXT1-DXT5
    uint32_t palette[256];      // 0xAARRGGBB
};

struct BaseImage {
    PixelFormat format;
    int32_t width;
    int32_t height;
    int32_t pitch;              // rounded up to 4 bytes
    void* pixels;
    int32_t mipmap_count;
};

// Fills a direct-colour format from its masks (widths and shifts derived).
int SetPixelFormatMasks(PixelFormat* f, int bits_per_pixel, uint32_t r, uint32_t g, uint32_t b, uint32_t a);
int SetPixelFormatR8G8B8(PixelFormat* f);
int SetPixelFormatX8R8G8B8(PixelFormat* f);
int SetPixelFormatA8R8G8B8(PixelFormat* f);
int SetPixelFormatR5G6B5(PixelFormat* f);
int SetPixelFormatA1R5G5B5(PixelFormat* f);
int SetPixelFormatA4R4G4B4(PixelFormat* f);
int SetPixelFormatPalette8(PixelFormat* f);   // 8-bit indices, palette zeroed

// Reads one pixel of any plain format as 0xAARRGGBB (alpha 255 when the format has none).
uint32_t ReadPixelArgb(const PixelFormat* f, const void* row, int x);
// Writes 0xAARRGGBB into one pixel of a direct format by its masks.
void WritePixelArgb(const PixelFormat* f, void* row, int x, uint32_t argb);
// Converts a rectangle between two direct (or palette source) formats by their masks.
int ConvertPixels(const PixelFormat* src_fmt, const void* src, int src_pitch,
                  const PixelFormat* dst_fmt, void* dst, int dst_pitch, int width, int height);

// X8R8G8B8 image with pitch 4 * width, pixels from MemAlloc. 0 or -1.
int BaseImageCreateXrgb32(int width, int height, BaseImage* out);
// Any direct format; pitch rounded up to 4. 0 or -1.
int BaseImageCreate(const PixelFormat* f, int width, int height, BaseImage* out);
int BaseImageRelease(BaseImage* img);
// Zeroes the rectangle's bytes; does not clip. Returns 0.
int BaseImageClearRect(BaseImage* img, int x, int y, int width, int height);
