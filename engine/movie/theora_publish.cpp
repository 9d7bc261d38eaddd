// Handing the current frame to graphics: copied from its stock entry into the
// Direct3D YUV surface and/or converted into the X8R8G8B8 frame image.
#include <cstring>

#include "engine/movie/theora_internal.h"
#include "engine/system/log.h"

// How long the main thread waits for a frame the thread should bring.
static const DWORD kFrameWaitMs = 10000;

void CopyTheoraRows(uint8_t* dst, int dst_pitch, const uint8_t* src, int src_stride, int width, int height) {
    for (int y = 0; y < height; y++) std::memcpy(dst + (ptrdiff_t)y * dst_pitch, src + (ptrdiff_t)y * src_stride, width);
}

// Packed 4:2:2 from 4:2:0 planes: each chroma sample serves a two by two block.
static void CopyPacked(uint8_t* dst, int pitch, const TheoraFrameStockEntry* e, bool uyvy) {
    for (int y = 0; y < e->y_height; y++) {
        const uint8_t* yr = e->planes[0] + (ptrdiff_t)y * e->y_stride;
        const uint8_t* ur = e->planes[1] + (ptrdiff_t)(y / 2) * e->uv_stride;
        const uint8_t* vr = e->planes[2] + (ptrdiff_t)(y / 2) * e->uv_stride;
        uint8_t* d = dst + (ptrdiff_t)y * pitch;
        for (int x = 0; x + 1 < e->y_width; x += 2, d += 4) {
            if (uyvy) d[0] = ur[x / 2], d[1] = yr[x], d[2] = vr[x / 2], d[3] = yr[x + 1];
            else d[0] = yr[x], d[1] = ur[x / 2], d[2] = yr[x + 1], d[3] = vr[x / 2];
        }
    }
}

static void CopyToSurface(TheoraDecoder* dec, const TheoraFrameStockEntry* e) {
    D3DLOCKED_RECT lr;
    bool locked = false;
    for (int attempt = 0; attempt < 3 && !locked; attempt++) {
        if (dec->surface && SUCCEEDED(dec->surface->LockRect(&lr, nullptr, 0))) locked = true;
        else RecreateTheoraYuvSurface(dec);
    }
    if (!locked) return;  // left stale; the image path still works
    D3DSURFACE_DESC desc;
    dec->surface->GetDesc(&desc);
    const bool is420 = e->y_width == 2 * e->uv_width && e->y_height == 2 * e->uv_height;
    const bool fits = e->y_width <= (int)desc.Width && e->y_height <= (int)desc.Height;
    if (is420 && fits) {
        uint8_t* bits = (uint8_t*)lr.pBits;
        if (dec->surface_fourcc == MAKEFOURCC('Y', 'V', '1', '2')) {
            // Y, then V, then U, the chroma rows at half the pitch.
            CopyTheoraRows(bits, lr.Pitch, e->planes[0], e->y_stride, e->y_width, e->y_height);
            uint8_t* v = bits + (ptrdiff_t)lr.Pitch * desc.Height;
            uint8_t* u = v + (ptrdiff_t)(lr.Pitch / 2) * (desc.Height / 2);
            CopyTheoraRows(v, lr.Pitch / 2, e->planes[2], e->uv_stride, e->uv_width, e->uv_height);
            CopyTheoraRows(u, lr.Pitch / 2, e->planes[1], e->uv_stride, e->uv_width, e->uv_height);
        } else {
            CopyPacked(bits, lr.Pitch, e, dec->surface_fourcc == MAKEFOURCC('U', 'Y', 'V', 'Y'));
        }
    }
    dec->surface->UnlockRect();
    dec->surface_published = 1;
}

static void CopyToImage(TheoraDecoder* dec, const TheoraFrameStockEntry* e) {
    YuvPlaneSet s = {e->planes[0], e->planes[1], e->planes[2], e->y_width, e->y_height, e->y_stride,
                     e->uv_width, e->uv_height, e->uv_stride};
    if (s.y_width > dec->image.width) s.y_width = dec->image.width;
    if (s.y_height > dec->image.height) s.y_height = dec->image.height;
    ConvertYuvToXrgb(s, (uint8_t*)dec->image.pixels, dec->image.pitch);
    dec->image_published = 1;
}

int PublishTheoraFrame(TheoraDecoder* dec, int to_image, int to_surface) {
    if (!dec) return 0;
    const bool surface = to_surface && dec->surface && !dec->surface_published;
    const bool image = to_image && !dec->image_published && dec->image.pixels;
    if (!surface && !image) return 0;
    const int current = dec->current_frame.load();
    const DWORD start = GetTickCount();
    for (;;) {
        while (dec->state.load() == THEORA_STATE_SEEKING) Sleep(1);
        if (dec->state.load() == THEORA_STATE_ENDED) return 0;
        const int found = FindTheoraStockEntry(dec, current);
        if (found >= 0) {
            // Pinned before it is checked again: the thread then leaves the entry alone.
            dec->copy_pin.store(found);
            TheoraFrameStockEntry* e = &dec->stock[found];
            if (e->valid.load() && e->frame.load() == current) {
                if (surface) CopyToSurface(dec, e);
                if (image) CopyToImage(dec, e);
                dec->copy_pin.store(-1);
                return 1;
            }
            dec->copy_pin.store(-1);
            continue;
        }
        if (dec->end_of_file.load()) return 0;
        if (GetTickCount() - start > kFrameWaitMs) {
            LogAppendFormat("Theora ムービーのフレーム %d を取得できませんでした", current);
            return 0;
        }
        Sleep(1);
    }
}
