// Pixels of a base image into a MEMIMG, in the image's own colour type.
#include "engine/image/memimg.h"
#include <cstddef>
#include "engine/system/log.h"

// Palette tables in the image's colour type (table 1) and as 0xAARRGGBB (table 2).
static void FillPalettes(MemImgShared* rec, const PixelFormat* src) {
    uint32_t* t2 = (uint32_t*)rec->palette2;
    for (int i = 0; i < 256; i++) {
        uint32_t c = src->palette[i];
        uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
        if (rec->color_type == MEMIMG_TYPE_32) ((uint32_t*)rec->palette1)[i] = r << 16 | g << 8 | b;
        else ((uint16_t*)rec->palette1)[i] = (uint16_t)((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
        t2[i] = c;
    }
    rec->palette_count = 256;
}

int MemImageFromBaseImage(MEMIMG* img, const BaseImage* src, int sx, int sy, int w, int h, int dx, int dy) {
    if (!img || img->magic != MEMIMG_MAGIC || !img->shared || !src || !src->pixels)
        return LogAppendFormat("MEMIMG への転送に失敗しました ( 引数が不正です )");
    MemImgShared* rec = img->shared;
    MemImageMarkWritten(img);
    if (rec->palette_flag && !src->format.is_palette)
        return LogAppendFormat("MEMIMG への転送に失敗しました ( パレット画像にはパレット形式のみ転送できます )");

    // Cut to the source, then to the destination view.
    if (sx < 0) { w += sx; dx -= sx; sx = 0; }
    if (sy < 0) { h += sy; dy -= sy; sy = 0; }
    if (dx < 0) { w += dx; sx -= dx; dx = 0; }
    if (dy < 0) { h += dy; sy -= dy; dy = 0; }
    if (w > src->width - sx) w = src->width - sx;
    if (h > src->height - sy) h = src->height - sy;
    if (w > img->width - dx) w = img->width - dx;
    if (h > img->height - dy) h = img->height - dy;

    if (w > 0 && h > 0) {
        const uint8_t* s = (const uint8_t*)src->pixels + (size_t)sy * src->pitch + (size_t)sx * src->format.bytes_per_pixel;
        uint8_t* d = img->pixels + (size_t)dy * rec->pitch + (size_t)dx * rec->format->bytes_per_pixel;
        if (ConvertPixels(&src->format, s, src->pitch, rec->format, d, rec->pitch, w, h) < 0)
            return LogAppendFormat("MEMIMG への転送に失敗しました ( 形式を変換できません )");
        // A same-layout copy keeps the source's X byte, but keys and the blits
        // compare whole 32-bit pixels, so an alpha-less type-1 pixel must hold 0 there.
        if (rec->color_type == MEMIMG_TYPE_32 && !rec->alpha_flag && !rec->palette_flag)
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) d[(size_t)y * rec->pitch + (size_t)x * 4 + 3] = 0;
    }
    if (rec->palette_flag) FillPalettes(rec, &src->format);

    bool whole = dx == 0 && dy == 0 && w == img->width && h == img->height && !rec->body &&
                 img->pixels == rec->pixels && img->width == rec->width && img->height == rec->height;
    if (whole && rec->color_type <= MEMIMG_TYPE_32 && rec->run_codes.codes) return MemImageBuildRunCodes(img);
    return 0;
}
