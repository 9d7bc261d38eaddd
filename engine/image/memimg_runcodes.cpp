// Run-length codes of a whole image: per row, skip / opaque / alpha runs of 1..64
// pixels and an end-of-row code, so colour-keyed and alpha pictures can be drawn
// without a per-pixel test.
#include "engine/image/memimg.h"
#include <cstring>
#include "engine/system/log.h"
#include "engine/system/memory.h"

// Command of one pixel: skip, opaque or alpha run.
static int PixelCommand(const MemImgShared* rec, const uint8_t* p) {
    // The key is compared whole, as the per-pixel blit does: one out of the
    // pixel's range matches nothing.
    if (rec->palette_flag) return p[0] == rec->trans_color ? MEMIMG_RLE_SKIP : MEMIMG_RLE_OPAQUE;
    if (rec->alpha_flag) {
        uint8_t a = rec->color_type == MEMIMG_TYPE_16 ? p[2] : p[3];
        return a == 0 ? MEMIMG_RLE_SKIP : a == 255 ? MEMIMG_RLE_OPAQUE : MEMIMG_RLE_ALPHA;
    }
    if (rec->color_type == MEMIMG_TYPE_16) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v == rec->trans_color ? MEMIMG_RLE_SKIP : MEMIMG_RLE_OPAQUE;
    }
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v == rec->trans_color ? MEMIMG_RLE_SKIP : MEMIMG_RLE_OPAQUE;
}

// Walks the body once; with out null only counts the bytes.
static int EmitCodes(const MemImgShared* rec, uint8_t* out) {
    int n = 0;
    int bpp = rec->format->bytes_per_pixel;
    for (int y = 0; y < rec->height; y++) {
        const uint8_t* p = rec->pixels + (size_t)y * rec->pitch;
        int x = 0;
        while (x < rec->width) {
            int cmd = PixelCommand(rec, p + (size_t)x * bpp);
            int run = 1;
            while (run < 64 && x + run < rec->width && PixelCommand(rec, p + (size_t)(x + run) * bpp) == cmd) run++;
            if (out) out[n] = (uint8_t)((cmd << 6) | (run - 1));
            n++;
            x += run;
        }
        if (out) out[n] = MEMIMG_RLE_EOL;
        n++;
    }
    return n;
}

int MemImageBuildRunCodes(MEMIMG* img) {
    if (!img || img->magic != MEMIMG_MAGIC || !img->shared)
        return LogAppendFormat("ランレングスコードの作成に失敗しました ( 不正な MEMIMG です )");
    MemImgShared* rec = img->shared;
    rec->rle_flag = 0;
    if (rec->body || !rec->run_codes.codes || rec->color_type > MEMIMG_TYPE_32 || img->pixels != rec->pixels ||
        img->width != rec->width || img->height != rec->height)
        return LogAppendFormat("ランレングスコードの作成に失敗しました ( コードを持てない画像です )");
    int need = EmitCodes(rec, nullptr);
    if (need > rec->run_codes.capacity) {
        int cap = rec->run_codes.capacity * 2;
        if (cap < need) cap = need;
        uint8_t* codes = (uint8_t*)MemAlloc((size_t)cap, __FILE__, __LINE__);
        if (!codes) return LogAppendFormat("ランレングスコードの作成に失敗しました ( メモリ不足です %d byte )", cap);
        MemFree(rec->run_codes.codes);
        rec->run_codes.codes = codes;
        rec->run_codes.capacity = cap;
    }
    rec->run_codes.size = EmitCodes(rec, rec->run_codes.codes);
    rec->rle_flag = 1;
    return 0;
}
