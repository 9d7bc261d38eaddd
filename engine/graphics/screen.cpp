#include "engine/graphics/screen.h"

#include "engine/graphics/d3d_device.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/graphics_system.h"
#include "engine/image/memimg.h"
#include "engine/image/pixel_format.h"
#include "engine/system/log.h"
#include "engine/system/tick.h"
#include "engine/system/window.h"

enum { FRAME_US = 1000000 / 60, VSYNC_SLACK_US = 2000 };

static int64_t g_next_frame_us;

int ClearScreen() {
    WaitWhileInactive();
    if (!IsGraphicsStarted()) return -1;
    if (GraphicsUsesD3D()) {
        if (GDrawSettings.draw_suppressed) D3DRecoverDevice();
        if (IsDrawingSuppressed()) return 0;
        return D3DClear(0);
    }
    MemImageFillRect(GetScreenMemImg(), nullptr, 0);
    return 0;
}

// Top-down DIB header of the screen image: 5-6-5 bit fields, or plain 32-bit.
static void FillScreenBitmapInfo(const MEMIMG* screen, BITMAPINFOHEADER* h, DWORD masks[3]) {
    ZeroMemory(h, sizeof *h);
    h->biSize = sizeof *h;
    h->biWidth = screen->width;
    h->biHeight = -screen->height;
    h->biPlanes = 1;
    if (screen->shared->color_type == MEMIMG_TYPE_16) {
        h->biBitCount = 16;
        h->biCompression = BI_BITFIELDS;
        masks[0] = 0xF800;
        masks[1] = 0x07E0;
        masks[2] = 0x001F;
    } else {
        h->biBitCount = 32;
        h->biCompression = BI_RGB;
    }
}

static void BlitScreenToDC(HDC dc) {
    MEMIMG* screen = GetScreenMemImg();
    if (!screen || !dc) return;
    struct {
        BITMAPINFOHEADER header;
        DWORD masks[3];
    } bmi;
    FillScreenBitmapInfo(screen, &bmi.header, bmi.masks);
    SetDIBitsToDevice(dc, 0, 0, screen->width, screen->height, 0, 0, 0, screen->height, screen->pixels,
                      (const BITMAPINFO*)&bmi, DIB_RGB_COLORS);
}

void PaintWindowFromScreen(HWND hwnd, HDC dc) {
    (void)hwnd;
    if (IsGraphicsStarted() && !GraphicsUsesD3D()) BlitScreenToDC(dc);
}

// Present does not wait for the vertical sync everywhere (not under Xvfb, nor in
// software mode), so frames are paced here as well. After a present that may have
// waited for the sync, a frame that is about due is not held back: waiting again
// would miss the next sync.
static void WaitForNextFrame(int present_may_wait) {
    int64_t now = GetTickUs(0);
    if (g_next_frame_us == 0 || now - g_next_frame_us > 4 * FRAME_US) g_next_frame_us = now;
    g_next_frame_us += FRAME_US;
    if (present_may_wait && now >= g_next_frame_us - VSYNC_SLACK_US) {
        g_next_frame_us = now;
        return;
    }
    while (now < g_next_frame_us) {
        int64_t ms = (g_next_frame_us - now) / 1000;
        Sleep(ms > 1 ? (DWORD)(ms - 1) : 0);
        now = GetTickUs(0);
    }
}

int PresentScreen() {
    WaitWhileInactive();
    if (!IsGraphicsStarted()) return -1;
    int rc = 0;
    if (GraphicsUsesD3D()) {
        rc = D3DPresent();
    } else {
        HWND hwnd = GetMainWindow();
        HDC dc = hwnd ? GetDC(hwnd) : nullptr;
        if (dc) {
            BlitScreenToDC(dc);
            ReleaseDC(hwnd, dc);
        }
    }
    WaitForNextFrame(GraphicsUsesD3D());
    return rc;
}

int CaptureScreen(BaseImage* out) {
    if (!IsGraphicsStarted() || !out) return -1;
    if (GraphicsUsesD3D()) return D3DCaptureBackBuffer(out);
    MEMIMG* screen = GetScreenMemImg();
    if (BaseImageCreateXrgb32(screen->width, screen->height, out) < 0)
        return LogAppendFormat("画面の取得用メモリの確保に失敗しました");
    int pitch = screen->shared->pitch;
    for (int y = 0; y < screen->height; y++) {
        const uint8_t* s = screen->pixels + y * pitch;
        uint32_t* d = (uint32_t*)((uint8_t*)out->pixels + y * out->pitch);
        for (int x = 0; x < screen->width; x++) {
            int r, g, b;
            uint32_t c = screen->shared->color_type == MEMIMG_TYPE_16 ? ((const uint16_t*)s)[x] : ((const uint32_t*)s)[x];
            UnpackScreenColor(c, &r, &g, &b);
            d[x] = (uint32_t)(r << 16 | g << 8 | b);
        }
    }
    return 0;
}
