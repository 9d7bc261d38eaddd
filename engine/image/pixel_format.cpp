// Pixel-format descriptors and conversion between formats by their masks.
#include "engine/image/pixel_format.h"
#include <cstring>
#include "engine/system/log.h"

static void MaskToField(uint32_t mask, uint8_t* width, uint8_t* shift) {
    *width = 0;
    *shift = 0;
    if (mask == 0) return;
    int s = 0;
    while (!(mask & (1u << s))) s++;
    int w = 0;
    while (s + w < 32 && (mask & (1u << (s + w)))) w++;
    *width = (uint8_t)w;
    *shift = (uint8_t)s;
}

int SetPixelFormatMasks(PixelFormat* f, int bits_per_pixel, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    if (!f || bits_per_pixel <= 0 || bits_per_pixel > 32)
        return LogAppendFormat("ピクセルフォーマットの設定に失敗しました ( %d bit )", bits_per_pixel);
    std::memset(f, 0, sizeof *f);
    f->bits_per_pixel = (uint16_t)bits_per_pixel;
    f->bytes_per_pixel = (uint16_t)((bits_per_pixel + 7) / 8);
    f->red_mask = r;
    f->green_mask = g;
    f->blue_mask = b;
    f->alpha_mask = a;
    MaskToField(r, &f->red_width, &f->red_shift);
    MaskToField(g, &f->green_width, &f->green_shift);
    MaskToField(b, &f->blue_width, &f->blue_shift);
    MaskToField(a, &f->alpha_width, &f->alpha_shift);
    return 0;
}

int SetPixelFormatR8G8B8(PixelFormat* f) { return SetPixelFormatMasks(f, 24, 0xFF0000, 0xFF00, 0xFF, 0); }
int SetPixelFormatX8R8G8B8(PixelFormat* f) { return SetPixelFormatMasks(f, 32, 0xFF0000, 0xFF00, 0xFF, 0); }
int SetPixelFormatA8R8G8B8(PixelFormat* f) {
    return SetPixelFormatMasks(f, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
}
int SetPixelFormatR5G6B5(PixelFormat* f) { return SetPixelFormatMasks(f, 16, 0xF800, 0x7E0, 0x1F, 0); }
int SetPixelFormatA1R5G5B5(PixelFormat* f) { return SetPixelFormatMasks(f, 16, 0x7C00, 0x3E0, 0x1F, 0x8000); }
int SetPixelFormatA4R4G4B4(PixelFormat* f) { return SetPixelFormatMasks(f, 16, 0xF00, 0xF0, 0xF, 0xF000); }
int SetPixelFormatPalette8(PixelFormat* f) {
    if (!f) return -1;
    std::memset(f, 0, sizeof *f);
    f->bits_per_pixel = 8;
    f->bytes_per_pixel = 1;
    f->is_palette = 1;
    return 0;
}

static uint32_t LoadRaw(const uint8_t* p, int bytes) {
    switch (bytes) {
    case 1: return p[0];
    case 2: return (uint32_t)p[0] | ((uint32_t)p[1] << 8);
    case 3: return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16);
    default: return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
    }
}

static void StoreRaw(uint8_t* p, int bytes, uint32_t v) {
    p[0] = (uint8_t)v;
    if (bytes > 1) p[1] = (uint8_t)(v >> 8);
    if (bytes > 2) p[2] = (uint8_t)(v >> 16);
    if (bytes > 3) p[3] = (uint8_t)(v >> 24);
}

// A field of any width to 8 bits; narrow fields repeat their bits so that the
// field's maximum becomes 255.
static uint32_t FieldTo8(uint32_t v, int width) {
    if (width >= 8) return v >> (width - 8);
    uint32_t out = 0;
    int filled = 0;
    while (filled < 8) {
        out = (out << width) | v;
        filled += width;
    }
    return out >> (filled - 8);
}

static uint32_t FieldFrom8(uint32_t c, int width) {
    if (width <= 8) return c >> (8 - width);
    uint32_t out = 0;
    int filled = 0;
    while (filled < width) {
        out = (out << 8) | c;
        filled += 8;
    }
    return out >> (filled - width);
}

static uint32_t Extract(uint32_t raw, uint32_t mask, int width, int shift) {
    return FieldTo8((raw & mask) >> shift, width);
}

uint32_t ReadPixelArgb(const PixelFormat* f, const void* row, int x) {
    const uint8_t* p = (const uint8_t*)row + x * f->bytes_per_pixel;
    uint32_t raw = LoadRaw(p, f->bytes_per_pixel);
    if (f->is_palette) return f->palette[raw & 0xFF];
    uint32_t r = f->red_width ? Extract(raw, f->red_mask, f->red_width, f->red_shift) : 0;
    uint32_t g = f->green_width ? Extract(raw, f->green_mask, f->green_width, f->green_shift) : 0;
    uint32_t b = f->blue_width ? Extract(raw, f->blue_mask, f->blue_width, f->blue_shift) : 0;
    uint32_t a = f->alpha_width ? Extract(raw, f->alpha_mask, f->alpha_width, f->alpha_shift) : 255;
    return (a << 24) | (r << 16) | (g << 8) | b;
}

static uint32_t Pack(const PixelFormat* f, uint32_t argb) {
    uint32_t v = 0;
    if (f->red_width) v |= (FieldFrom8((argb >> 16) & 0xFF, f->red_width) << f->red_shift) & f->red_mask;
    if (f->green_width) v |= (FieldFrom8((argb >> 8) & 0xFF, f->green_width) << f->green_shift) & f->green_mask;
    if (f->blue_width) v |= (FieldFrom8(argb & 0xFF, f->blue_width) << f->blue_shift) & f->blue_mask;
    if (f->alpha_width) v |= (FieldFrom8(argb >> 24, f->alpha_width) << f->alpha_shift) & f->alpha_mask;
    return v;
}

void WritePixelArgb(const PixelFormat* f, void* row, int x, uint32_t argb) {
    StoreRaw((uint8_t*)row + x * f->bytes_per_pixel, f->bytes_per_pixel, Pack(f, argb));
}

static bool SameLayout(const PixelFormat* a, const PixelFormat* b) {
    return a->bytes_per_pixel == b->bytes_per_pixel && a->red_mask == b->red_mask &&
           a->green_mask == b->green_mask && a->blue_mask == b->blue_mask && a->alpha_mask == b->alpha_mask;
}

int ConvertPixels(const PixelFormat* src_fmt, const void* src, int src_pitch,
                  const PixelFormat* dst_fmt, void* dst, int dst_pitch, int width, int height) {
    if (!src_fmt || !dst_fmt || !src || !dst || width < 0 || height < 0)
        return LogAppendFormat("ピクセルフォーマットの変換に失敗しました ( 引数が不正です )");
    if (src_fmt->compression || dst_fmt->compression || src_fmt->bytes_per_pixel == 0 ||
        dst_fmt->bytes_per_pixel == 0 || src_fmt->bytes_per_pixel > 4 || dst_fmt->bytes_per_pixel > 4)
        return LogAppendFormat("ピクセルフォーマットの変換に失敗しました ( 対応していない形式です )");
    // A palette destination would need a colour search; only index copies are offered.
    if (dst_fmt->is_palette && !src_fmt->is_palette)
        return LogAppendFormat("ピクセルフォーマットの変換に失敗しました ( パレット形式への変換はできません )");
    const uint8_t* s = (const uint8_t*)src;
    uint8_t* d = (uint8_t*)dst;
    if ((src_fmt->is_palette && dst_fmt->is_palette) ||
        (!src_fmt->is_palette && !dst_fmt->is_palette && SameLayout(src_fmt, dst_fmt))) {
        size_t row_bytes = (size_t)width * dst_fmt->bytes_per_pixel;
        if (src_fmt->bytes_per_pixel != dst_fmt->bytes_per_pixel)
            return LogAppendFormat("ピクセルフォーマットの変換に失敗しました ( パレットのビット数が違います )");
        for (int y = 0; y < height; y++) std::memcpy(d + (size_t)y * dst_pitch, s + (size_t)y * src_pitch, row_bytes);
        return 0;
    }
    for (int y = 0; y < height; y++) {
        const uint8_t* sr = s + (size_t)y * src_pitch;
        uint8_t* dr = d + (size_t)y * dst_pitch;
        for (int x = 0; x < width; x++) WritePixelArgb(dst_fmt, dr, x, ReadPixelArgb(src_fmt, sr, x));
    }
    return 0;
}
