#include "engine/graphics/graphic_handle.h"

#include <cstring>
#include "engine/graphics/d3d_device.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/graphic_record.h"
#include "engine/graphics/graphics_system.h"
#include "engine/graphics/texture_format.h"
#include "engine/image/pixel_format.h"
#include "engine/movie/movie.h"
#include "engine/softrender/shapes.h"
#include "engine/system/handle_table.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"

enum { GRAPHIC_HANDLE_MAX = 32768 };

static HandleTable g_graphics;
static int g_started = 0;

GraphicRecord* GetGraphicRecord(int graphic) {
    if (!g_started || HandleTypeOf(graphic) != HANDLE_GRAPHIC) return nullptr;
    return (GraphicRecord*)HandleTableGet(&g_graphics, graphic);
}

static GraphicRecord* CheckedRecord(int graphic, const char* what) {
    GraphicRecord* rec = GetGraphicRecord(graphic);
    if (!rec) LogAppendFormat("%s: グラフィックハンドルが無効です ( 0x%08x )", what, graphic);
    return rec;
}

static int NextPow2(int v) {
    int p = 1;
    while (p < v) p <<= 1;
    return p;
}

static D3DFORMAT D3DFormatOf(const PixelFormat* f) {
    if (f->bytes_per_pixel == 4) return f->alpha_mask ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    if (f->alpha_mask == 0xF000) return D3DFMT_A4R4G4B4;
    if (f->alpha_mask == 0x8000) return D3DFMT_A1R5G5B5;
    return D3DFMT_R5G6B5;
}

// Makes the texture object of t on the current device, cleared to transparent black.
static int CreateTextureObject(GraphicTexture* t) {
    IDirect3DDevice9* dev = D3DDevice();
    if (!dev) return -1;
    DWORD usage = t->render_target ? D3DUSAGE_RENDERTARGET : D3DUSAGE_DYNAMIC;
    HRESULT hr = dev->CreateTexture(t->width, t->height, 1, usage, t->d3d_format, D3DPOOL_DEFAULT, &t->tex, nullptr);
    if (FAILED(hr)) {
        t->tex = nullptr;
        return LogAppendFormat("テクスチャの作成に失敗しました ( %dx%d, HRESULT 0x%08lx )", t->width, t->height, hr);
    }
    D3DLOCKED_RECT lr;
    if (SUCCEEDED(t->tex->LockRect(0, &lr, nullptr, 0))) {
        for (int y = 0; y < t->height; y++)
            std::memset((uint8_t*)lr.pBits + y * lr.Pitch, 0, (size_t)t->width * t->format->bytes_per_pixel);
        t->tex->UnlockRect(0);
    }
    return 0;
}

static void ReleaseTextureRef(GraphicTexture* t) {
    if (!t || --t->refs > 0) return;
    if (t->tex) t->tex->Release();
    MemFree(t);
}

static uint32_t SoftKeyOf(int color_type) {
    uint32_t rgb = GDrawSettings.trans_color;
    if (color_type == MEMIMG_TYPE_32) return rgb & 0xFFFFFF;
    return ((rgb >> 19) & 31) << 11 | ((rgb >> 10) & 63) << 5 | ((rgb >> 3) & 31);
}

int InitGraphicHandles() {
    if (g_started) return 0;
    if (HandleTableInit(&g_graphics, HANDLE_GRAPHIC, GRAPHIC_HANDLE_MAX) < 0)
        return LogAppendFormat("グラフィックハンドルテーブルの確保に失敗しました");
    g_started = 1;
    return 0;
}

static void FreeRecordContents(GraphicRecord* rec) {
    // Unbound before the movie closes: a graphic on its way out takes no copy of
    // the last frame, and never restores from the movie's freed image.
    const int movie = rec->movie;
    rec->movie = 0;
    rec->restore_source = nullptr;
    if (movie) CloseMovie(movie);
    if (rec->lost_flag) *rec->lost_flag = 1;
    rec->lost_flag = nullptr;
    ReleaseTextureRef(rec->texture);
    rec->texture = nullptr;
    if (rec->has_image) MemImageRelease(&rec->image);
    rec->has_image = 0;
    BaseImageRelease(&rec->own_restore);
    if (GDrawSettings.blend_graph_image == &rec->image) {
        GDrawSettings.blend_graph = -1;
        GDrawSettings.blend_graph_image = nullptr;
    }
}

int EndGraphicHandles() {
    if (!g_started) return 0;
    for (int s = 0; s < g_graphics.capacity; s++) {
        GraphicRecord* rec = (GraphicRecord*)g_graphics.records[s];
        if (rec) FreeRecordContents(rec);
    }
    HandleTableFree(&g_graphics);
    g_started = 0;
    return 0;
}

// A new record, or the fatal path when every slot is taken.
static int AddRecord(GraphicRecord** out) {
    if (g_graphics.count >= g_graphics.capacity)
        FatalLibraryError("グラフィックハンドルの数が上限に達しました");
    int h = HandleTableAdd(&g_graphics, sizeof(GraphicRecord), (void**)out);
    if (h < 0) LogAppendFormat("グラフィックハンドル用のメモリの確保に失敗しました");
    return h;
}

static int MakeGraphic(int width, int height, int render_target) {
    if (!g_started || !IsGraphicsStarted()) return -1;
    if (width <= 0 || height <= 0)
        return LogAppendFormat("グラフィックの作成に失敗しました ( サイズが不正です %dx%d )", width, height);
    GraphicRecord* rec;
    int h = AddRecord(&rec);
    if (h < 0) return -1;
    rec->width = width;
    rec->height = height;
    rec->alpha_channel = GDrawSettings.create_alpha_channel;
    rec->alpha_test = GDrawSettings.create_alpha_test;
    rec->bit_depth = GDrawSettings.create_color_bit_depth;
    if (GraphicsUsesD3D()) {
        GraphicTexture* t = (GraphicTexture*)MEMALLOCZ(sizeof(GraphicTexture));
        if (!t) {
            HandleTableRemove(&g_graphics, h);
            return LogAppendFormat("テクスチャ情報用のメモリの確保に失敗しました");
        }
        t->refs = 1;
        t->render_target = render_target;
        t->format = SelectTextureFormatByFlags(rec->alpha_channel, rec->alpha_test, rec->bit_depth == 32, render_target);
        t->d3d_format = D3DFormatOf(t->format);
        t->width = D3DTexturesNeedPow2() ? NextPow2(width) : width;
        t->height = D3DTexturesNeedPow2() ? NextPow2(height) : height;
        rec->texture = t;
        if (CreateTextureObject(t) < 0) {
            FreeRecordContents(rec);
            HandleTableRemove(&g_graphics, h);
            return -1;
        }
    } else {
        int type = GetScreenColorDepth() == 32 ? MEMIMG_TYPE_32 : MEMIMG_TYPE_16;
        int flags = MEMIMG_CREATE_RUNCODES | (rec->alpha_channel ? MEMIMG_CREATE_ALPHA : 0);
        if (MemImageCreate(&rec->image, width, height, type, flags, SoftKeyOf(type)) < 0) {
            HandleTableRemove(&g_graphics, h);
            return LogAppendFormat("グラフィック用イメージの作成に失敗しました ( %dx%d )", width, height);
        }
        rec->has_image = 1;
    }
    return h;
}

int MakeEmptyGraphic(int width, int height) { return MakeGraphic(width, height, 0); }
int MakeRenderTargetGraphic(int width, int height) { return MakeGraphic(width, height, 1); }

int DeriveGraphic(int x, int y, int width, int height, int src) {
    if (!g_started) return -1;
    if (IsDrawingSuppressed()) return 0;
    GraphicRecord* s = CheckedRecord(src, "DeriveGraphic");
    if (!s) return -1;
    if (x < 0 || y < 0 || x >= s->width || y >= s->height || width <= 0 || height <= 0)
        return LogAppendFormat("派生グラフィックの作成に失敗しました ( 範囲が不正です )");
    if (width > s->width - x) width = s->width - x;
    if (height > s->height - y) height = s->height - y;
    GraphicRecord* rec;
    int h = AddRecord(&rec);
    if (h < 0) return -1;
    rec->width = width;
    rec->height = height;
    rec->x = s->x + x;
    rec->y = s->y + y;
    rec->alpha_channel = s->alpha_channel;
    rec->alpha_test = s->alpha_test;
    rec->bit_depth = s->bit_depth;
    if (s->texture) {
        rec->texture = s->texture;
        rec->texture->refs++;
    }
    if (s->has_image) {
        if (MemImageMakeView(&rec->image, &s->image, x, y, width, height) < 0) {
            FreeRecordContents(rec);
            HandleTableRemove(&g_graphics, h);
            return LogAppendFormat("派生グラフィックのイメージ作成に失敗しました");
        }
        rec->has_image = 1;
    }
    return h;
}

int DeleteGraphic(int graphic, int reserved) {
    (void)reserved;
    GraphicRecord* rec = CheckedRecord(graphic, "DeleteGraphic");
    if (!rec) return -1;
    FreeRecordContents(rec);
    if (GDrawSettings.blend_graph == graphic) GDrawSettings.blend_graph = -1;
    HandleTableRemove(&g_graphics, graphic);
    return 0;
}

int SetGraphicLostFlag(int graphic, int* flag) {
    GraphicRecord* rec = CheckedRecord(graphic, "SetGraphicLostFlag");
    if (!rec) return -1;
    rec->lost_flag = flag;
    if (flag) *flag = 0;
    return 0;
}

int GetGraphicSize(int graphic, int* width, int* height) {
    GraphicRecord* rec = CheckedRecord(graphic, "GetGraphicSize");
    if (!rec) return -1;
    if (width) *width = rec->width;
    if (height) *height = rec->height;
    return 0;
}

// Locks (x, y, w, h) of the graphic's texture; rows at out->pBits / Pitch.
static int LockGraphicRect(GraphicRecord* rec, int x, int y, int w, int h, D3DLOCKED_RECT* out) {
    if (!rec->texture || !rec->texture->tex) return -1;
    RECT r = {rec->x + x, rec->y + y, rec->x + x + w, rec->y + y + h};
    if (FAILED(rec->texture->tex->LockRect(0, out, &r, 0)))
        return LogAppendFormat("テクスチャのロックに失敗しました");
    return 0;
}

int FillGraphic(int graphic, int red, int green, int blue, int alpha) {
    GraphicRecord* rec = CheckedRecord(graphic, "FillGraphic");
    if (!rec) return -1;
    auto c8 = [](int v) { return (uint32_t)(v < 0 ? 0 : v > 255 ? 255 : v); };
    if (rec->texture) {
        D3DLOCKED_RECT lr;
        if (LockGraphicRect(rec, 0, 0, rec->width, rec->height, &lr) < 0) return -1;
        uint32_t argb = c8(alpha) << 24 | c8(red) << 16 | c8(green) << 8 | c8(blue);
        for (int y = 0; y < rec->height; y++)
            for (int x = 0; x < rec->width; x++)
                WritePixelArgb(rec->texture->format, (uint8_t*)lr.pBits + y * lr.Pitch, x, argb);
        rec->texture->tex->UnlockRect(0);
        return 0;
    }
    if (rec->has_image) {
        Rect r = {0, 0, rec->width, rec->height};
        FillMemImgRect(&rec->image, &r, PackScreenColor(red, green, blue));
        return 0;
    }
    return -1;
}

// Converts one rectangle of the image into the texture. The colour key makes
// pixels transparent unless the image carries its own alpha for a graphic with an
// alpha channel or alpha test.
static int UploadToTexture(GraphicRecord* rec, const BaseImage* img, int sx, int sy, int w, int h, int dx, int dy) {
    D3DLOCKED_RECT lr;
    if (LockGraphicRect(rec, dx, dy, w, h, &lr) < 0) return -1;
    const PixelFormat* tf = rec->texture->format;
    const PixelFormat* sf = &img->format;
    bool src_alpha = sf->alpha_mask != 0 && !sf->is_palette;
    bool keep_alpha = src_alpha && (rec->alpha_channel || rec->alpha_test);
    uint32_t key = GDrawSettings.trans_color & 0xFFFFFF;
    for (int y = 0; y < h; y++) {
        const uint8_t* srow = (const uint8_t*)img->pixels + (size_t)(sy + y) * img->pitch;
        uint8_t* drow = (uint8_t*)lr.pBits + y * lr.Pitch;
        for (int x = 0; x < w; x++) {
            uint32_t argb = ReadPixelArgb(sf, srow, sx + x);
            uint32_t a = keep_alpha ? argb >> 24 : (argb & 0xFFFFFF) == key ? 0 : 255;
            WritePixelArgb(tf, drow, x, (a << 24) | (argb & 0xFFFFFF));
        }
    }
    rec->texture->tex->UnlockRect(0);
    return 0;
}

static int TransferRect(GraphicRecord* rec, const BaseImage* img, int sx, int sy, int w, int h, int dx, int dy) {
    if (sx < 0) { w += sx; dx -= sx; sx = 0; }
    if (sy < 0) { h += sy; dy -= sy; sy = 0; }
    if (dx < 0) { w += dx; sx -= dx; dx = 0; }
    if (dy < 0) { h += dy; sy -= dy; dy = 0; }
    if (w > img->width - sx) w = img->width - sx;
    if (h > img->height - sy) h = img->height - sy;
    if (w > rec->width - dx) w = rec->width - dx;
    if (h > rec->height - dy) h = rec->height - dy;
    if (w <= 0 || h <= 0) return 0;
    if (rec->texture) return UploadToTexture(rec, img, sx, sy, w, h, dx, dy);
    if (rec->has_image) return MemImageFromBaseImage(&rec->image, img, sx, sy, w, h, dx, dy);
    return -1;
}

int BltImageToGraphic(const BaseImage* image, const BaseImage* alpha_image, const Rect* src_rect,
                      int x, int y, int graphic) {
    GraphicRecord* rec = CheckedRecord(graphic, "BltImageToGraphic");
    if (!rec) return -1;
    if (!image || !image->pixels || alpha_image)
        return LogAppendFormat("グラフィックへの転送に失敗しました ( 引数が不正です )");
    Rect r = src_rect ? *src_rect : Rect{0, 0, image->width, image->height};

    // Remember what to replay after a device loss: one source at one offset,
    // growing to cover every rectangle transferred from it.
    int ox = x - r.left, oy = y - r.top;
    if (rec->restore_source == image && rec->restore_dx == ox && rec->restore_dy == oy) {
        Rect& u = rec->restore_rect;
        if (r.left < u.left) u.left = r.left;
        if (r.top < u.top) u.top = r.top;
        if (r.right > u.right) u.right = r.right;
        if (r.bottom > u.bottom) u.bottom = r.bottom;
    } else {
        if (rec->restore_source == &rec->own_restore) BaseImageRelease(&rec->own_restore);
        rec->restore_source = image;
        rec->restore_dx = ox;
        rec->restore_dy = oy;
        rec->restore_rect = r;
    }
    // A lost texture gets the pixels when it is restored.
    if (IsDrawingSuppressed()) return 0;
    return TransferRect(rec, image, r.left, r.top, r.right - r.left, r.bottom - r.top, x, y);
}

int SetBlendGraphic(int graphic, int border_param, int border_range) {
    if (!g_started) return -1;
    auto c = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
    border_param = c(border_param);
    border_range = c(border_range);
    if (graphic == -1) {
        GDrawSettings.blend_graph = -1;
        GDrawSettings.blend_graph_image = nullptr;
    } else {
        GraphicRecord* rec = CheckedRecord(graphic, "SetBlendGraphic");
        if (!rec) return -1;
        if (!GraphicsUsesD3D()) {
            if (!rec->has_image || rec->image.shared->format->bytes_per_pixel != 1)
                return LogAppendFormat("ブレンドグラフィックは 1 ピクセル 1 バイトの画像でなければなりません");
            GDrawSettings.blend_graph_image = &rec->image;
        }
        GDrawSettings.blend_graph = graphic;
    }
    GDrawSettings.blend_graph_border = border_param;
    GDrawSettings.blend_graph_range = border_range;
    BuildBlendGraphicTable(border_param, border_range);
    return 0;
}

void ReleaseGraphicTextures() {
    if (!g_started) return;
    for (int s = 0; s < g_graphics.capacity; s++) {
        GraphicRecord* rec = (GraphicRecord*)g_graphics.records[s];
        if (rec && rec->texture && rec->texture->tex) {
            rec->texture->tex->Release();
            rec->texture->tex = nullptr;
        }
    }
}

int RecreateGraphicTextures() {
    if (!g_started) return 0;
    int rc = 0;
    for (int s = 0; s < g_graphics.capacity; s++) {
        GraphicRecord* rec = (GraphicRecord*)g_graphics.records[s];
        if (rec && rec->texture && !rec->texture->tex && CreateTextureObject(rec->texture) < 0) rc = -1;
    }
    for (int s = 0; s < g_graphics.capacity; s++) {
        GraphicRecord* rec = (GraphicRecord*)g_graphics.records[s];
        if (!rec || !rec->texture) continue;
        if (rec->restore_source) {
            const Rect& r = rec->restore_rect;
            TransferRect(rec, rec->restore_source, r.left, r.top, r.right - r.left, r.bottom - r.top,
                         r.left + rec->restore_dx, r.top + rec->restore_dy);
        } else if (rec->lost_flag) {
            *rec->lost_flag = 1;
        }
    }
    return rc;
}
