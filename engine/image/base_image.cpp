// Base images: decoded pictures in memory, described by a PixelFormat.
#include "engine/image/pixel_format.h"
#include <cstring>
#include "engine/system/log.h"
#include "engine/system/memory.h"

int BaseImageCreateXrgb32(int width, int height, BaseImage* out) {
    if (!out || width <= 0 || height <= 0 || width > 32768 || height > 32768)
        return LogAppendFormat("基本イメージの作成に失敗しました ( サイズが不正です %d x %d )", width, height);
    std::memset(out, 0, sizeof *out);
    if ((uint64_t)width * 4 * height > 0x40000000u)
        return LogAppendFormat("基本イメージの作成に失敗しました ( サイズが大きすぎます %d x %d )", width, height);
    SetPixelFormatX8R8G8B8(&out->format);
    out->pixels = MemAlloc((size_t)width * 4 * height, __FILE__, __LINE__);
    if (!out->pixels) return LogAppendFormat("基本イメージの作成に失敗しました ( メモリ不足です %d x %d )", width, height);
    out->width = width;
    out->height = height;
    out->pitch = width * 4;
    return 0;
}

int BaseImageCreate(const PixelFormat* f, int width, int height, BaseImage* out) {
    if (!out || !f || width <= 0 || height <= 0 || width > 32768 || height > 32768 || f->compression ||
        f->bytes_per_pixel == 0 || f->bytes_per_pixel > 4)
        return LogAppendFormat("基本イメージの作成に失敗しました ( 引数が不正です %d x %d )", width, height);
    std::memset(out, 0, sizeof *out);
    int pitch = (width * f->bytes_per_pixel + 3) & ~3;
    if ((uint64_t)pitch * height > 0x40000000u)
        return LogAppendFormat("基本イメージの作成に失敗しました ( サイズが大きすぎます %d x %d )", width, height);
    out->format = *f;
    out->pitch = pitch;
    out->pixels = MemAllocZeroed((size_t)out->pitch * height, __FILE__, __LINE__);
    if (!out->pixels) return LogAppendFormat("基本イメージの作成に失敗しました ( メモリ不足です %d x %d )", width, height);
    out->width = width;
    out->height = height;
    return 0;
}

int BaseImageRelease(BaseImage* img) {
    if (!img) return 0;
    MemFree(img->pixels);
    std::memset(img, 0, sizeof *img);
    return 0;
}

int BaseImageClearRect(BaseImage* img, int x, int y, int width, int height) {
    int bpp = img->format.bytes_per_pixel;
    uint8_t* row = (uint8_t*)img->pixels + (size_t)y * img->pitch + (size_t)x * bpp;
    for (int i = 0; i < height; i++, row += img->pitch) std::memset(row, 0, (size_t)width * bpp);
    return 0;
}
