#include "engine/graphics/graphics_system.h"

#include "engine/font/font.h"
#include "engine/graphics/d3d_device.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/graphic_record.h"
#include "engine/image/memimg.h"
#include "engine/movie/movie.h"
#include "engine/system/library.h"
#include "engine/system/log.h"
#include "engine/system/window.h"

static int g_started;
static int g_uses_d3d;
static MEMIMG g_screen;
static MEMIMG g_text_work[2];   // without, with alpha
static int g_soft_images;

int IsGraphicsStarted() { return g_started; }
int GraphicsUsesD3D() { return g_started && g_uses_d3d; }
MEMIMG* GetScreenMemImg() { return g_started && g_soft_images ? &g_screen : nullptr; }
MEMIMG* GetTextWorkImage(int with_alpha) { return g_started && g_soft_images ? &g_text_work[with_alpha ? 1 : 0] : nullptr; }
IDirect3DDevice9* GetD3DDevice() { return GraphicsUsesD3D() ? D3DDevice() : nullptr; }

static void ReleaseSoftImages() {
    if (!g_soft_images) return;
    MemImageRelease(&g_screen);
    MemImageRelease(&g_text_work[0]);
    MemImageRelease(&g_text_work[1]);
    g_soft_images = 0;
}

static int CreateSoftImages() {
    int type = GScreenMode.color_depth == 32 ? MEMIMG_TYPE_32 : MEMIMG_TYPE_16;
    int w = GScreenMode.width, h = GScreenMode.height;
    if (MemImageCreate(&g_screen, w, h, type, 0, 0) < 0) return -1;
    if (MemImageCreate(&g_text_work[0], w, h, type, 0, 0) < 0) {
        MemImageRelease(&g_screen);
        return -1;
    }
    if (MemImageCreate(&g_text_work[1], w, h, type, MEMIMG_CREATE_ALPHA, 0) < 0) {
        MemImageRelease(&g_text_work[0]);
        MemImageRelease(&g_screen);
        return -1;
    }
    g_soft_images = 1;
    return 0;
}

int InitGraphics() {
    if (g_started) return 0;
    int w = 640, h = 480, bits = 16, rate = 60;
    GetGraphModeSettings(&w, &h, &bits, &rate);
    if (bits != 16 && bits != 32)
        return LogAppendFormat("%d ビットカラーの画面モードには対応していません", bits);
    if (w <= 0 || h <= 0) return LogAppendFormat("画面サイズが不正です ( %dx%d )", w, h);
    GScreenMode.width = w;
    GScreenMode.height = h;
    GScreenMode.color_depth = bits;
    BuildMemImageTables();
    if (InitGraphicHandles() < 0) return -1;

    g_uses_d3d = 0;
    GDrawSettings.draw_suppressed = 0;
    GDrawSettings.draw_suppressed2 = 0;
    if (GDrawSettings.use_hardware) {
        HWND hwnd = GetMainWindow();
        if (hwnd && D3DDeviceStart(hwnd) == 0) g_uses_d3d = 1;
        else LogAppendFormat("Direct3D9 が使用できないため、ソフトウェアレンダリングで描画します");
    } else {
        LogAppendFormat("ソフトウェアレンダリングで描画します");
    }
    if (!g_uses_d3d) {
        // The software renderer subtracts by itself.
        GDrawSettings.device_can_subtract = 1;
        if (CreateSoftImages() < 0) {
            EndGraphicHandles();
            return LogAppendFormat("ソフトウェア描画用の画面イメージの作成に失敗しました");
        }
    }
    g_started = 1;
    GDrawSettings.draw_target = DX_SCREEN_BACK;
    SetDrawArea(0, 0, w, h);
    InitFontSystem();
    return 0;
}

int EndGraphics() {
    if (!g_started) return 0;
    EndFontSystem();
    EndGraphicHandles();
    // Movies opened without a graphic go too, while their surfaces' device lives.
    CloseAllMovies();
    GDrawSettings.blend_graph = -1;
    GDrawSettings.blend_graph_image = nullptr;
    if (g_uses_d3d) D3DDeviceEnd();
    ReleaseSoftImages();
    g_uses_d3d = 0;
    g_started = 0;
    GDrawSettings.draw_suppressed = 0;
    GDrawSettings.draw_suppressed2 = 0;
    return 0;
}
