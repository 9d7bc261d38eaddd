// MEMIMG bodies and views: creation, release, views of part of a body, raw fills.
#include "engine/image/memimg.h"
#include <cstring>
#include "engine/system/log.h"
#include "engine/system/memory.h"

static bool IsValid(const MEMIMG* img) { return img && img->magic == MEMIMG_MAGIC && img->shared; }

static MemImgShared* OwnerOf(MemImgShared* rec) { return rec->body ? rec->body : rec; }

// The format a colour type, palette and alpha flag store their pixels in.
static void SetStorageFormat(PixelFormat* f, int color_type, int palette, int alpha) {
    if (palette) {
        SetPixelFormatPalette8(f);
        return;
    }
    switch (color_type) {
    case MEMIMG_TYPE_16:
        // With alpha: the 5-6-5 word in bytes 0-1, alpha in byte 2, byte 3 unused.
        if (alpha) SetPixelFormatMasks(f, 32, 0xF800, 0x7E0, 0x1F, 0xFF0000);
        else SetPixelFormatR5G6B5(f);
        break;
    case MEMIMG_TYPE_32:
        if (alpha) SetPixelFormatA8R8G8B8(f);
        else SetPixelFormatX8R8G8B8(f);
        break;
    case MEMIMG_TYPE_CH8: SetPixelFormatMasks(f, 8, 0, 0, 0xFF, 0); break;
    default: SetPixelFormatMasks(f, 16, 0, 0, 0xFFFF, 0); break;
    }
}

static void FreeOwner(MemImgShared* rec) {
    MemFree(rec->pixels);
    MemFree(rec->alpha_plane);
    MemFree(rec->palette1);
    MemFree(rec->palette2);
    MemFree(rec->run_codes.codes);
    MemFree(rec);
}

int MemImageCreate(MEMIMG* img, int width, int height, int color_type, int flags, uint32_t trans_color) {
    if (!img) return LogAppendFormat("MEMIMG の作成に失敗しました ( 引数が不正です )");
    std::memset(img, 0, sizeof *img);
    if (width <= 0 || height <= 0 || width > 32768 || height > 32768)
        return LogAppendFormat("MEMIMG の作成に失敗しました ( サイズが不正です %d x %d )", width, height);
    if (color_type < MEMIMG_TYPE_16 || color_type > MEMIMG_TYPE_CH16)
        return LogAppendFormat("MEMIMG の作成に失敗しました ( カラータイプ %d は不正です )", color_type);
    int palette = (flags & MEMIMG_CREATE_PALETTE) ? 1 : 0;
    if (palette && color_type >= MEMIMG_TYPE_CH8)
        return LogAppendFormat("MEMIMG の作成に失敗しました ( 単色タイプにパレットは使えません )");
    int alpha = (flags & MEMIMG_CREATE_ALPHA) && !palette && color_type <= MEMIMG_TYPE_32 ? 1 : 0;

    MemImgShared* rec = (MemImgShared*)MemAllocZeroed(sizeof(MemImgShared), __FILE__, __LINE__);
    if (!rec) return LogAppendFormat("MEMIMG の作成に失敗しました ( メモリ不足です )");
    SetStorageFormat(&rec->format_storage, color_type, palette, alpha);
    rec->format = &rec->format_storage;
    rec->ref_count = 1;
    rec->color_type = color_type;
    rec->palette_flag = palette;
    rec->alpha_flag = alpha;
    rec->trans_color = trans_color;
    rec->width = width;
    rec->height = height;
    rec->owns_pixels = 1;
    rec->pitch = (width * rec->format_storage.bytes_per_pixel + 3) & ~3;
    if ((uint64_t)rec->pitch * height > 0x40000000u) {
        MemFree(rec);
        return LogAppendFormat("MEMIMG の作成に失敗しました ( サイズが大きすぎます %d x %d )", width, height);
    }
    bool ok = true;
    rec->pixels = (uint8_t*)MemAllocZeroed((size_t)rec->pitch * height, __FILE__, __LINE__);
    ok = ok && rec->pixels;
    if (palette) {
        rec->palette1 = MemAllocZeroed(256 * 4, __FILE__, __LINE__);
        rec->palette2 = MemAllocZeroed(256 * 4, __FILE__, __LINE__);
        ok = ok && rec->palette1 && rec->palette2;
        // The tables always hold 256 entries, so a view's copy of this count stays right.
        rec->palette_count = 256;
    }
    if (flags & MEMIMG_CREATE_ALPHAPLANE) {
        rec->alpha_plane = (uint8_t*)MemAllocZeroed((size_t)width * height, __FILE__, __LINE__);
        ok = ok && rec->alpha_plane;
    }
    if ((flags & MEMIMG_CREATE_RUNCODES) && color_type <= MEMIMG_TYPE_32) {
        // Enough for rows of few runs; MemImageBuildRunCodes grows it when needed.
        int cap = height * 4 + 64;
        rec->run_codes.codes = (uint8_t*)MemAlloc((size_t)cap, __FILE__, __LINE__);
        rec->run_codes.capacity = cap;
        ok = ok && rec->run_codes.codes;
    }
    if (!ok) {
        FreeOwner(rec);
        return LogAppendFormat("MEMIMG の作成に失敗しました ( メモリ不足です %d x %d )", width, height);
    }
    img->magic = MEMIMG_MAGIC;
    img->width = width;
    img->height = height;
    img->pixels = rec->pixels;
    img->alpha = rec->alpha_plane;
    img->shared = rec;
    return 0;
}

int MemImageRelease(MEMIMG* img) {
    if (!IsValid(img)) return LogAppendFormat("MEMIMG の解放に失敗しました ( 不正な MEMIMG です )");
    MemImgShared* rec = img->shared;
    std::memset(img, 0, sizeof *img);
    if (--rec->ref_count > 0) return 0;
    MemImgShared* owner = rec->body;
    if (!owner) {
        FreeOwner(rec);
        return 0;
    }
    // A part view's own record: its tables belong to the owner.
    MemFree(rec);
    if (--owner->ref_count == 0) FreeOwner(owner);
    return 0;
}

int MemImageMakeView(MEMIMG* view, const MEMIMG* src, int x, int y, int width, int height) {
    if (!view || !IsValid(src)) return LogAppendFormat("MEMIMG のビュー作成に失敗しました ( 不正な MEMIMG です )");
    // Cut the rectangle to the source view.
    int l = x < 0 ? 0 : x, t = y < 0 ? 0 : y;
    long long r = (long long)x + width, b = (long long)y + height;
    if (r > src->width) r = src->width;
    if (b > src->height) b = src->height;
    if (r <= l || b <= t)
        return LogAppendFormat("MEMIMG のビュー作成に失敗しました ( 範囲が元の画像の外です %d,%d %dx%d )", x, y,
                               width, height);
    MemImgShared* owner = OwnerOf(src->shared);
    int bpp = owner->format_storage.bytes_per_pixel;
    MEMIMG v;
    v.magic = MEMIMG_MAGIC;
    v.width = (int)(r - l);
    v.height = (int)(b - t);
    v.pixels = src->pixels + (size_t)t * owner->pitch + (size_t)l * bpp;
    v.alpha = src->alpha ? src->alpha + (size_t)t * owner->width + l : nullptr;
    bool whole = v.pixels == owner->pixels && v.width == owner->width && v.height == owner->height;
    if (whole) {
        owner->ref_count++;
        v.shared = owner;
    } else {
        // Codes describe the whole body: a part view gets a record that has none.
        MemImgShared* rec = (MemImgShared*)MemAlloc(sizeof(MemImgShared), __FILE__, __LINE__);
        if (!rec) return LogAppendFormat("MEMIMG のビュー作成に失敗しました ( メモリ不足です )");
        std::memcpy(rec, owner, sizeof *rec);
        rec->format = &rec->format_storage;
        rec->ref_count = 1;
        rec->rle_flag = 0;
        rec->run_codes.codes = nullptr;
        rec->run_codes.size = 0;
        rec->run_codes.capacity = 0;
        rec->owns_pixels = 0;
        rec->body = owner;
        // Settings a caller changed on the source's record (its key) carry over.
        rec->trans_color = src->shared->trans_color;
        owner->ref_count++;
        v.shared = rec;
    }
    *view = v;
    return 0;
}

int MemImageBytesPerPixel(const MEMIMG* img) {
    if (!IsValid(img)) return -1;
    return img->shared->format->bytes_per_pixel;
}

uint8_t* MemImagePixelAt(const MEMIMG* img, int x, int y) {
    if (!IsValid(img) || x < 0 || y < 0 || x >= img->width || y >= img->height) return nullptr;
    return img->pixels + (size_t)y * img->shared->pitch + (size_t)x * img->shared->format->bytes_per_pixel;
}

void MemImageMarkWritten(MEMIMG* img) {
    if (!IsValid(img)) return;
    img->shared->rle_flag = 0;
    OwnerOf(img->shared)->rle_flag = 0;
}

int MemImageFillRect(MEMIMG* img, const Rect* rect, uint32_t value) {
    if (!IsValid(img)) return LogAppendFormat("MEMIMG の塗りつぶしに失敗しました ( 不正な MEMIMG です )");
    Rect full = {0, 0, img->width, img->height};
    Rect r = rect ? *rect : full;
    ClipRectToRect(&r, &full);
    MemImageMarkWritten(img);
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return 0;
    int pitch = img->shared->pitch;
    int bpp = img->shared->format->bytes_per_pixel;
    uint8_t* row = img->pixels + (size_t)r.top * pitch + (size_t)r.left * bpp;
    for (int y = 0; y < h; y++, row += pitch) {
        switch (bpp) {
        case 1: std::memset(row, (int)(value & 0xFF), (size_t)w); break;
        case 2: {
            uint16_t v = (uint16_t)value;
            for (int x = 0; x < w; x++) std::memcpy(row + x * 2, &v, 2);
            break;
        }
        default:
            for (int x = 0; x < w; x++) std::memcpy(row + x * 4, &value, 4);
            break;
        }
    }
    return 0;
}
