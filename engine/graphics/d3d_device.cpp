#include "engine/graphics/d3d_device.h"

#include "engine/font/font.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/graphic_record.h"
#include "engine/input/input.h"
#include "engine/image/pixel_format.h"
#include "engine/movie/movie.h"
#include "engine/system/log.h"
#include "engine/system/window.h"

typedef IDirect3D9* (WINAPI* Direct3DCreate9Fn)(UINT);

static HMODULE g_d3d9_dll;
static IDirect3D9* g_d3d;
static IDirect3DDevice9* g_device;
static D3DPRESENT_PARAMETERS g_params;
static HWND g_window;
static int g_in_scene;
static int g_need_pow2;
static int g_forced_loss;   // test hook: pretend the device was lost

IDirect3DDevice9* D3DDevice() { return g_device; }
int D3DTexturesNeedPow2() { return g_need_pow2; }

static void FillPresentParams() {
    ZeroMemory(&g_params, sizeof g_params);
    g_params.BackBufferWidth = GScreenMode.width;
    g_params.BackBufferHeight = GScreenMode.height;
    g_params.BackBufferFormat = GScreenMode.color_depth == 32 ? D3DFMT_X8R8G8B8 : D3DFMT_R5G6B5;
    g_params.BackBufferCount = 1;
    g_params.MultiSampleType = D3DMULTISAMPLE_NONE;
    // Copy keeps the back buffer after a present, so a capture always sees the last frame.
    g_params.SwapEffect = D3DSWAPEFFECT_COPY;
    g_params.hDeviceWindow = g_window;
    g_params.Windowed = TRUE;
    g_params.EnableAutoDepthStencil = FALSE;
    // Present waits for the vertical sync; where the platform does not, the frame timer paces.
    g_params.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
}

void D3DSetDefaultStates() {
    IDirect3DDevice9* d = g_device;
    if (!d) return;
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    d->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    d->SetRenderState(D3DRS_DITHERENABLE, FALSE);
    d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    d->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
}

static void ReadCaps() {
    D3DCAPS9 caps;
    if (FAILED(g_device->GetDeviceCaps(&caps))) return;
    GDrawSettings.device_can_subtract = (caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP) ? 1 : 0;
    g_need_pow2 = (caps.TextureCaps & D3DPTEXTURECAPS_POW2) && !(caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL);
}

static int CreateDevice() {
    FillPresentParams();
    DWORD flags = D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE | D3DCREATE_MULTITHREADED;
    HRESULT hr = g_d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, g_window, flags, &g_params, &g_device);
    if (FAILED(hr)) {
        g_device = nullptr;
        return LogAppendFormat("Direct3DDevice9 の作成に失敗しました ( HRESULT 0x%08lx )", hr);
    }
    ReadCaps();
    D3DSetDefaultStates();
    g_in_scene = 0;
    return 0;
}

int D3DDeviceStart(HWND hwnd) {
    if (g_device) return 0;
    g_window = hwnd;
    g_d3d9_dll = LoadLibraryA("d3d9.dll");
    if (!g_d3d9_dll) return LogAppendFormat("d3d9.dll の読み込みに失敗しました");
    Direct3DCreate9Fn create = (Direct3DCreate9Fn)(void*)GetProcAddress(g_d3d9_dll, "Direct3DCreate9");
    if (create) g_d3d = create(D3D_SDK_VERSION);
    if (!g_d3d) {
        D3DDeviceEnd();
        return LogAppendFormat("Direct3D9 オブジェクトの作成に失敗しました");
    }
    if (CreateDevice() < 0) {
        D3DDeviceEnd();
        return -1;
    }
    LogAppendFormat("Direct3D9 デバイスを作成しました ( %dx%d %dbit )", GScreenMode.width, GScreenMode.height,
                    GScreenMode.color_depth);
    return 0;
}

void D3DDeviceEnd() {
    if (g_device) {
        if (g_in_scene) g_device->EndScene();
        g_device->Release();
    }
    g_device = nullptr;
    g_in_scene = 0;
    if (g_d3d) g_d3d->Release();
    g_d3d = nullptr;
    if (g_d3d9_dll) FreeLibrary(g_d3d9_dll);
    g_d3d9_dll = nullptr;
    g_forced_loss = 0;
}

int D3DBeginDraw() {
    if (!g_device || IsDrawingSuppressed()) return -1;
    if (!g_in_scene) {
        if (FAILED(g_device->BeginScene())) return -1;
        g_in_scene = 1;
    }
    return 0;
}

static void EndSceneIfOpen() {
    if (g_in_scene && g_device) g_device->EndScene();
    g_in_scene = 0;
}

int D3DClear(uint32_t xrgb) {
    if (!g_device || IsDrawingSuppressed()) return -1;
    g_device->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
    HRESULT hr = g_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u | xrgb, 1.0f, 0);
    g_device->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    return FAILED(hr) ? -1 : 0;
}

int D3DRecoverDevice() {
    if (!g_device) return -1;
    HRESULT hr = g_forced_loss ? D3DERR_DEVICENOTRESET : g_device->TestCooperativeLevel();
    int reset = 0;
    if (hr == D3DERR_DEVICELOST) {
        GDrawSettings.draw_suppressed = 1;
        return -1;
    }
    if (hr == D3DERR_DEVICENOTRESET) {
        GDrawSettings.draw_suppressed = 1;
        GDrawSettings.draw_suppressed2 = 1;
        EndSceneIfOpen();
        ReleaseGraphicTextures();
        ReleaseMovieSurfaces();
        FillPresentParams();
        hr = g_device->Reset(&g_params);
        if (FAILED(hr)) {
            GDrawSettings.draw_suppressed2 = 0;
            return LogAppendFormat("Direct3DDevice9 のリセットに失敗しました ( HRESULT 0x%08lx )", hr);
        }
        g_forced_loss = 0;
        D3DSetDefaultStates();
        RecreateGraphicTextures();
        RecreateMovieSurfaces();
        GDrawSettings.draw_suppressed2 = 0;
        LogAppendFormat("Direct3DDevice9 を復帰しました");
        reset = 1;
    }
    GDrawSettings.draw_suppressed = 0;
    // Fonts make derived graphics, which need drawing allowed again.
    if (reset) RecreateAllFonts();
    return 0;
}

int D3DPresent() {
    if (!g_device) return -1;
    if (GDrawSettings.draw_suppressed && D3DRecoverDevice() < 0) return 0;
    EndSceneIfOpen();
    HRESULT hr = g_forced_loss ? D3DERR_DEVICELOST : g_device->Present(nullptr, nullptr, nullptr, nullptr);
    if (hr == D3DERR_DEVICELOST) {
        LogAppendFormat("Direct3DDevice9 がロストしました");
        GDrawSettings.draw_suppressed = 1;
        D3DRecoverDevice();
        return 0;
    }
    return FAILED(hr) ? -1 : 0;
}

void ForceGraphicsDeviceLossForTest() {
    if (g_device) g_forced_loss = 1;
}

int D3DCaptureBackBuffer(BaseImage* out) {
    if (!g_device) return -1;
    EndSceneIfOpen();
    IDirect3DSurface9* rt = nullptr;
    IDirect3DSurface9* copy = nullptr;
    int rc = -1;
    D3DSURFACE_DESC desc;
    if (SUCCEEDED(g_device->GetRenderTarget(0, &rt)) && SUCCEEDED(rt->GetDesc(&desc)) &&
        SUCCEEDED(g_device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                        &copy, nullptr)) &&
        SUCCEEDED(g_device->GetRenderTargetData(rt, copy))) {
        D3DLOCKED_RECT lr;
        if (SUCCEEDED(copy->LockRect(&lr, nullptr, D3DLOCK_READONLY))) {
            if (BaseImageCreateXrgb32(desc.Width, desc.Height, out) == 0) {
                int bits = desc.Format == D3DFMT_R5G6B5 ? 16 : 32;
                for (UINT y = 0; y < desc.Height; y++) {
                    const uint8_t* s = (const uint8_t*)lr.pBits + y * lr.Pitch;
                    uint32_t* d = (uint32_t*)((uint8_t*)out->pixels + y * out->pitch);
                    for (UINT x = 0; x < desc.Width; x++) {
                        if (bits == 16) {
                            uint32_t c = ((const uint16_t*)s)[x];
                            uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
                            d[x] = ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
                        } else {
                            d[x] = ((const uint32_t*)s)[x] & 0xFFFFFF;
                        }
                    }
                }
                rc = 0;
            }
            copy->UnlockRect();
        }
    }
    if (copy) copy->Release();
    if (rt) rt->Release();
    if (rc < 0) LogAppendFormat("バックバッファの取得に失敗しました");
    return rc;
}

int RestartGraphicsDevice() {
    if (!g_d3d || !g_device) return LogAppendFormat("Direct3D9 を使用していないため、デバイスを再作成できません");
    GDrawSettings.draw_suppressed2 = 1;
    EndSceneIfOpen();
    ReleaseGraphicTextures();
    ReleaseMovieSurfaces();
    g_device->Release();
    g_device = nullptr;
    g_forced_loss = 0;
    if (CreateDevice() < 0) {
        GDrawSettings.draw_suppressed2 = 0;
        GDrawSettings.draw_suppressed = 1;
        return -1;
    }
    int rc = RecreateGraphicTextures();
    RecreateMovieSurfaces();
    GDrawSettings.draw_suppressed = 0;
    GDrawSettings.draw_suppressed2 = 0;
    RecreateAllFonts();
    EndInput();
    InitInput();
    LogAppendFormat("Direct3DDevice9 を再作成しました");
    return rc;
}
