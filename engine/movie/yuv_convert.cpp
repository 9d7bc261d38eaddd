// YUV to X8R8G8B8: 4:2:0 frames through 14-bit fixed-point tables and a clamp
// table, two by two pixels sharing their chroma; other layouts per pixel in
// floating point.
#include <cstddef>
#include <cstdint>

#include "engine/movie/theora_decoder.h"

static uint8_t g_clamp[512 + 256 + 512];   // indexed -512..767 through kClampZero
static const int kClampZero = 512;
static int32_t g_rv[256], g_gu[256], g_gv[256], g_bu[256], g_yy[256];

int InitYuvTables() {
    for (int i = -512; i < 768; i++) g_clamp[kClampZero + i] = (uint8_t)(i < 0 ? 0 : i > 255 ? 255 : i);
    for (int i = 0; i < 256; i++) {
        g_rv[i] = 26148 * i - 3346944;
        g_gu[i] = 819968 - 6406 * i;
        g_gv[i] = 1704960 - 13320 * i;
        g_bu[i] = 33062 * i - 4231936;
        g_yy[i] = 19070 * i - 305120;
    }
    return 0;
}

static inline uint32_t PixelFromTables(int y, int r, int g, int b) {
    const int yy = g_yy[y];
    return 0xFF000000u | (uint32_t)g_clamp[kClampZero + (yy + r) / 16384] << 16 |
           (uint32_t)g_clamp[kClampZero + (yy + g) / 16384] << 8 | g_clamp[kClampZero + (yy + b) / 16384];
}

static void Convert420(const YuvPlaneSet& s, uint8_t* dst, int pitch) {
    for (int y = 0; y + 1 < s.y_height; y += 2) {
        const uint8_t* y0 = s.y + (ptrdiff_t)y * s.y_stride;
        const uint8_t* y1 = y0 + s.y_stride;
        const uint8_t* u = s.u + (ptrdiff_t)(y / 2) * s.uv_stride;
        const uint8_t* v = s.v + (ptrdiff_t)(y / 2) * s.uv_stride;
        uint32_t* d0 = (uint32_t*)(dst + (ptrdiff_t)y * pitch);
        uint32_t* d1 = (uint32_t*)(dst + (ptrdiff_t)(y + 1) * pitch);
        for (int x = 0; x + 1 < s.y_width; x += 2) {
            const int cu = u[x / 2], cv = v[x / 2];
            const int r = g_rv[cv], g = g_gu[cu] + g_gv[cv], b = g_bu[cu];
            d0[x] = PixelFromTables(y0[x], r, g, b);
            d0[x + 1] = PixelFromTables(y0[x + 1], r, g, b);
            d1[x] = PixelFromTables(y1[x], r, g, b);
            d1[x + 1] = PixelFromTables(y1[x + 1], r, g, b);
        }
    }
}

static inline uint32_t ClampChannel(double c) {
    int i = (int)c;  // truncates toward zero
    return (uint32_t)(i < 0 ? 0 : i > 255 ? 255 : i);
}

// Chroma is sampled where the pixel lies in the chroma plane, whatever its subsampling.
static void ConvertAnyLayout(const YuvPlaneSet& s, uint8_t* dst, int pitch) {
    for (int y = 0; y < s.y_height; y++) {
        const int cy = (int)((int64_t)y * s.uv_height / s.y_height);
        const uint8_t* yr = s.y + (ptrdiff_t)y * s.y_stride;
        const uint8_t* ur = s.u + (ptrdiff_t)cy * s.uv_stride;
        const uint8_t* vr = s.v + (ptrdiff_t)cy * s.uv_stride;
        uint32_t* d = (uint32_t*)(dst + (ptrdiff_t)y * pitch);
        for (int x = 0; x < s.y_width; x++) {
            const int cx = (int)((int64_t)x * s.uv_width / s.y_width);
            const double yv = (yr[x] - 16) * 1.164, u = ur[cx] - 128, v = vr[cx] - 128;
            d[x] = 0xFF000000u | ClampChannel(yv + 1.596 * v) << 16 | ClampChannel(yv - 0.391 * u - 0.813 * v) << 8 |
                   ClampChannel(yv + 2.018 * u);
        }
    }
}

void ConvertYuvToXrgb(const YuvPlaneSet& s, uint8_t* dst, int dst_pitch) {
    if (s.y_width <= 0 || s.y_height <= 0 || s.uv_width <= 0 || s.uv_height <= 0) return;
    if (s.y_width == 2 * s.uv_width && s.y_height == 2 * s.uv_height) Convert420(s, dst, dst_pitch);
    else ConvertAnyLayout(s, dst, dst_pitch);
}
