#include "engine/graphics/graphic_movie.h"

#include "engine/file/file_stream.h"
#include "engine/graphics/d3d_device.h"
#include "engine/graphics/graphic_handle.h"
#include "engine/graphics/graphic_record.h"
#include "engine/graphics/graphics_system.h"
#include "engine/image/pixel_format.h"
#include "engine/movie/movie.h"
#include "engine/movie/theora_decoder.h"
#include "engine/system/log.h"

// StretchRect of the YUV surface into the graphic's place in its texture; the
// device converts the colours. 0 or -1.
static int CopySurfaceToGraphic(IDirect3DSurface9* surface, GraphicRecord* rec) {
    IDirect3DDevice9* device = GetD3DDevice();
    if (!device || !rec->texture || !rec->texture->tex || !rec->texture->render_target) return -1;
    IDirect3DSurface9* target = nullptr;
    if (FAILED(rec->texture->tex->GetSurfaceLevel(0, &target))) return -1;
    RECT src = {0, 0, rec->width, rec->height};
    RECT dst = {rec->x, rec->y, rec->x + rec->width, rec->y + rec->height};
    HRESULT hr = device->StretchRect(surface, &src, target, &dst, D3DTEXF_NONE);
    target->Release();
    return FAILED(hr) ? LogAppendFormat("ムービーフレームの転送に失敗しました ( HRESULT 0x%08lx )", hr) : 0;
}

// Takes the movie's current frame into the graphic: when the movie hands out a
// new one, or with `again` also the one it handed out before.
static void TransferMovieFrame(MovieRecord* m, int graphic, bool again) {
    GraphicRecord* rec = GetGraphicRecord(graphic);
    if (!m || !rec) return;
    if (m->theora) {
        if (GetTheoraYuvSurface(m->decoder) && rec->texture && rec->texture->render_target) {
            // The publish may have to make the surface again: take it afterwards.
            if ((PublishTheoraFrame(m->decoder, 0, 1) || again) && GetTheoraYuvSurface(m->decoder))
                CopySurfaceToGraphic(GetTheoraYuvSurface(m->decoder), rec);
            return;
        }
        if (!PublishTheoraFrame(m->decoder, 1, 0) && !again) return;
    }
    if (m->image_ptr && m->image_ptr->pixels) BltImageToGraphic(m->image_ptr, nullptr, nullptr, 0, 0, graphic);
}

void UpdateGraphicFromMovie(MovieRecord* m, uint32_t graphic) { TransferMovieFrame(m, (int)graphic, false); }

// The movie's frame images go with it: the graphic keeps the pixels it holds,
// and a texture, re-made blank after a device loss, restores from a copy of its
// own (or from nothing when the copy cannot be made).
static void UnbindClosedMovie(int movie, uint32_t graphic) {
    GraphicRecord* rec = GetGraphicRecord((int)graphic);
    if (!rec || rec->movie != movie) return;
    rec->movie = 0;
    const BaseImage* src = rec->restore_source;
    rec->restore_source = nullptr;
    if (!src || !src->pixels || !rec->texture || rec->own_restore.pixels) return;
    BaseImage* own = &rec->own_restore;
    if (BaseImageCreate(&src->format, src->width, src->height, own) < 0) return;
    if (ConvertPixels(&src->format, src->pixels, src->pitch, &own->format, own->pixels, own->pitch, src->width,
                      src->height) < 0) {
        BaseImageRelease(own);
        return;
    }
    rec->restore_source = own;
}

int LoadGraphicFile(const char* path, int movie_flags) {
    if (!IsGraphicsStarted()) return -1;
    if (!path) return LogAppend("画像ファイルのパスが指定されていません\n");
    ArchiveFileHandle probe = FileStreamOpen(path, 0, 1, 0);
    if (!probe) return LogAppendFormat("画像ファイル %s が開けませんでした", path);
    FileStreamClose(probe);
    int width = 0, height = 0;
    int movie = OpenMovie(path, &width, &height, movie_flags);
    if (movie < 0) return LogAppendFormat("画像ファイル %s の読み込みに失敗しました", path);
    MovieRecord* m = GetMovieRecord(movie);
    // Frames from a YUV surface are copied by the device into a render-target texture.
    bool surface_frames = m->theora && GetTheoraYuvSurface(m->decoder);
    int graphic = surface_frames ? MakeRenderTargetGraphic(width, height) : MakeEmptyGraphic(width, height);
    GraphicRecord* rec = graphic < 0 ? nullptr : GetGraphicRecord(graphic);
    if (!rec) {
        CloseMovie(movie);
        return LogAppendFormat("画像ファイル %s の読み込みに失敗しました", path);
    }
    rec->movie = movie;
    SetMovieFrameCallback(movie, UpdateGraphicFromMovie, (uint32_t)graphic);
    SetMovieCloseCallback(movie, UnbindClosedMovie);
    // The open already handed out the first frame: the new graphic takes it as it is.
    TransferMovieFrame(m, graphic, true);
    return graphic;
}

int GetGraphicMovie(int graphic) {
    GraphicRecord* rec = GetGraphicRecord(graphic);
    return rec ? rec->movie : -1;
}
