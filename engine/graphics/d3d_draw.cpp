#include "engine/graphics/d3d_draw.h"

#include <cmath>
#include "engine/graphics/d3d_device.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/graphic_record.h"

struct QuadVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};

static int g_subtract_bracket;

void G_D3D_SetSubtractBracket(int on) { g_subtract_bracket = on; }

static int EmulatingSubtract() {
    return GDrawSettings.blend_mode == DX_BLENDMODE_SUB && !GDrawSettings.device_can_subtract;
}

// Sets the blend, texture-stage and scissor states of one draw; -1 for a blend
// mode that Direct3D does not draw here.
static int ApplyDrawStates(IDirect3DDevice9* d, int textured, int trans) {
    BOOL blend = TRUE;
    DWORD src = D3DBLEND_SRCALPHA, dst = D3DBLEND_INVSRCALPHA, op = D3DBLENDOP_ADD;
    switch (GDrawSettings.blend_mode) {
    case DX_BLENDMODE_NOBLEND: blend = trans && textured; break;
    case DX_BLENDMODE_ALPHA: break;
    case DX_BLENDMODE_ADD: dst = D3DBLEND_ONE; break;
    case DX_BLENDMODE_SUB:
        dst = D3DBLEND_ONE;
        if (!EmulatingSubtract()) op = D3DBLENDOP_REVSUBTRACT;
        break;
    case DX_BLENDMODE_MUL: src = D3DBLEND_ZERO; dst = D3DBLEND_SRCCOLOR; break;
    default: return -1;
    }
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, blend);
    d->SetRenderState(D3DRS_SRCBLEND, src);
    d->SetRenderState(D3DRS_DESTBLEND, dst);
    d->SetRenderState(D3DRS_BLENDOP, op);
    // Colour-keyed and fully transparent texels never touch the screen, whatever the mode.
    d->SetRenderState(D3DRS_ALPHATESTENABLE, textured && trans);
    d->SetRenderState(D3DRS_ALPHAREF, 0);
    d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    if (textured) {
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, trans ? D3DTOP_MODULATE : D3DTOP_SELECTARG2);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        DWORD f = GDrawSettings.filter_mode ? D3DTEXF_LINEAR : D3DTEXF_POINT;
        d->SetSamplerState(0, D3DSAMP_MINFILTER, f);
        d->SetSamplerState(0, D3DSAMP_MAGFILTER, f);
    } else {
        d->SetTexture(0, nullptr);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    }
    const Rect& a = GDrawSettings.draw_area;
    RECT sc = {a.left, a.top, a.right, a.bottom};
    d->SetScissorRect(&sc);
    return 0;
}

static D3DCOLOR BrightColor(uint32_t alpha) {
    const uint8_t* b = GDrawSettings.bright;
    return D3DCOLOR_ARGB(alpha, b[2], b[1], b[0]);
}

// A flat colour scaled by the draw bright.
static D3DCOLOR ShapeColor(uint32_t screen_color, uint32_t alpha) {
    int r, g, b;
    UnpackScreenColor(screen_color, &r, &g, &b);
    const uint8_t* br = GDrawSettings.bright;
    return D3DCOLOR_ARGB(alpha, r * br[2] / 255, g * br[1] / 255, b * br[0] / 255);
}

static Rect BoundsOf(const QuadVertex* v, int n) {
    float l = v[0].x, t = v[0].y, r = v[0].x, b = v[0].y;
    for (int i = 1; i < n; i++) {
        l = std::fmin(l, v[i].x);
        t = std::fmin(t, v[i].y);
        r = std::fmax(r, v[i].x);
        b = std::fmax(b, v[i].y);
    }
    return Rect{(int)std::floor(l), (int)std::floor(t), (int)std::ceil(r) + 1, (int)std::ceil(b) + 1};
}

// Sets the states (and texture) of one draw and draws the vertices. A subtract on a
// device without one becomes invert, add, invert: the states go on after the first invert.
static int Submit(IDirect3DDevice9* d, int textured, int trans, IDirect3DTexture9* tex, D3DPRIMITIVETYPE type,
                  int prims, QuadVertex* v, int n) {
    int emulate = EmulatingSubtract() && !g_subtract_bracket;
    Rect bounds = BoundsOf(v, n);
    if (emulate) G_D3D_InvertRect(bounds);
    int rc = 0;
    if (ApplyDrawStates(d, textured, trans) == 0) {
        if (textured) d->SetTexture(0, tex);
        rc = FAILED(d->DrawPrimitiveUP(type, prims, v, sizeof(QuadVertex))) ? -1 : 0;
        if (textured) d->SetTexture(0, nullptr);
    }
    if (emulate) G_D3D_InvertRect(bounds);
    return rc;
}

// The vertex alpha of the current blend mode; -1 for a mode not drawn here.
static int VertexAlpha() {
    switch (GDrawSettings.blend_mode) {
    case DX_BLENDMODE_NOBLEND: case DX_BLENDMODE_MUL: return 255;
    case DX_BLENDMODE_ALPHA: case DX_BLENDMODE_ADD: case DX_BLENDMODE_SUB: return GDrawSettings.blend_param;
    default: return -1;
    }
}

int G_D3D_DrawQuad(GraphicRecord* rec, const float xy[8], float u0, float v0, float u1, float v1, int trans) {
    IDirect3DDevice9* d = D3DDevice();
    if (!rec->texture || !rec->texture->tex || D3DBeginDraw() < 0) return -1;
    int alpha = VertexAlpha();
    if (alpha < 0) return 0;
    float tw = (float)rec->texture->width, th = (float)rec->texture->height;
    float tu0 = (rec->x + u0) / tw, tu1 = (rec->x + u1) / tw;
    float tv0 = (rec->y + v0) / th, tv1 = (rec->y + v1) / th;
    D3DCOLOR c = BrightColor(alpha);
    // Strip order: top-left, top-right, bottom-left, bottom-right.
    QuadVertex v[4] = {
        {xy[0], xy[1], 0, 1, c, tu0, tv0},
        {xy[2], xy[3], 0, 1, c, tu1, tv0},
        {xy[6], xy[7], 0, 1, c, tu0, tv1},
        {xy[4], xy[5], 0, 1, c, tu1, tv1},
    };
    return Submit(d, 1, trans, rec->texture->tex, D3DPT_TRIANGLESTRIP, 2, v, 4);
}

int G_D3D_FillRect(int x1, int y1, int x2, int y2, uint32_t color) {
    IDirect3DDevice9* d = D3DDevice();
    if (D3DBeginDraw() < 0) return -1;
    int alpha = VertexAlpha();
    if (alpha < 0) return 0;
    D3DCOLOR c = ShapeColor(color, alpha);
    float l = x1 - 0.5f, t = y1 - 0.5f, r = x2 - 0.5f, b = y2 - 0.5f;
    QuadVertex v[4] = {{l, t, 0, 1, c, 0, 0}, {r, t, 0, 1, c, 0, 0}, {l, b, 0, 1, c, 0, 0}, {r, b, 0, 1, c, 0, 0}};
    return Submit(d, 0, 0, nullptr, D3DPT_TRIANGLESTRIP, 2, v, 4);
}

int G_D3D_DrawCircle(int x, int y, int r, uint32_t color, int fill) {
    IDirect3DDevice9* d = D3DDevice();
    if (D3DBeginDraw() < 0) return -1;
    int alpha = VertexAlpha();
    if (alpha < 0) return 0;
    D3DCOLOR c = ShapeColor(color, alpha);
    enum { MAX_SEGMENTS = 256 };
    // Capped before multiplying: r * 4 overflows for radii from 2^29.
    int n = r >= MAX_SEGMENTS / 4 ? MAX_SEGMENTS : r * 4;
    if (n < 16) n = 16;
    QuadVertex v[MAX_SEGMENTS + 2];
    int k = 0;
    if (fill) v[k++] = {(float)x, (float)y, 0, 1, c, 0, 0};
    // An outline runs through the centres of its pixels; a disc reaches their edges.
    float rad = fill ? r + 0.5f : (float)r;
    for (int i = 0; i <= n; i++) {
        double a = 2.0 * 3.14159265358979 * i / n;
        v[k++] = {(float)(x + rad * std::cos(a)), (float)(y + rad * std::sin(a)), 0, 1, c, 0, 0};
    }
    return Submit(d, 0, 0, nullptr, fill ? D3DPT_TRIANGLEFAN : D3DPT_LINESTRIP, n, v, k);
}

int G_D3D_InvertRect(const Rect& r) {
    IDirect3DDevice9* d = D3DDevice();
    if (D3DBeginDraw() < 0) return -1;
    d->SetTexture(0, nullptr);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    d->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_ADD);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_INVDESTCOLOR);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    const Rect& a = GDrawSettings.draw_area;
    RECT sc = {a.left, a.top, a.right, a.bottom};
    d->SetScissorRect(&sc);
    D3DCOLOR c = 0xFFFFFFFF;
    float l = r.left - 0.5f, t = r.top - 0.5f, rr = r.right - 0.5f, b = r.bottom - 0.5f;
    QuadVertex v[4] = {{l, t, 0, 1, c, 0, 0}, {rr, t, 0, 1, c, 0, 0}, {l, b, 0, 1, c, 0, 0}, {rr, b, 0, 1, c, 0, 0}};
    HRESULT hr = d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(QuadVertex));
    return FAILED(hr) ? -1 : 0;
}
