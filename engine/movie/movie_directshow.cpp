// The filter-graph half of movie handles: the platform's graph renders the file
// into the engine's movie renderer, from a temporary copy when it cannot open
// the file in place.
#include <windows.h>
#include <dshow.h>

#include "engine/file/file_stream.h"
#include "engine/movie/movie_internal.h"
#include "engine/movie/movie_renderer.h"
#include "engine/system/entry_points.h"
#include "engine/system/library.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"
#include "engine/system/str_util.h"

template <class T>
static void ReleaseInterface(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

static void ReleaseGraphInterfaces(MovieRecord* m) {
    ReleaseInterface(m->basic_audio);
    ReleaseInterface(m->seeking);
    ReleaseInterface(m->control);
    ReleaseInterface(m->graph);
    m->renderer = nullptr;  // the graph held it
}

// Copies the file through the file layer into a new "tmp" file and renders
// that. 0, or -1 (a copy whose render failed is deleted).
static int RenderTemporaryCopy(MovieRecord* m, const char* path) {
    if (m->temp_copy) return -1;
    ArchiveFileHandle file = FileStreamOpen(path, 0, 1, 0);
    if (!file) return -1;
    FileStreamSeek(file, 0, 2);
    int64_t size = FileStreamTell(file);
    FileStreamSeek(file, 0, 0);
    const size_t kChunk = 0x100000;
    void* buffer = MemAlloc(kChunk, "movie_directshow", 0);
    if (!buffer) {
        FileStreamClose(file);
        return -1;
    }
    char temp_path[MAX_PATH];
    HANDLE temp = (HANDLE)CreateTempFile(temp_path);
    if (!temp) {
        FileStreamClose(file);
        MemFree(buffer);
        return -1;
    }
    MultiByteToWideChar(932, 0, temp_path, -1, m->wide_path, 260);
    m->temp_copy = 1;
    for (int64_t copied = 0; copied < size;) {
        size_t want = size - copied < (int64_t)kChunk ? (size_t)(size - copied) : kChunk;
        size_t got = FileStreamRead(buffer, 1, want, file);
        DWORD written = 0;
        WriteFile(temp, buffer, (DWORD)got, &written, nullptr);
        copied += written;
        if (written < want) break;
    }
    FileStreamClose(file);
    CloseHandle(temp);
    MemFree(buffer);
    if (FAILED(m->graph->RenderFile(m->wide_path, nullptr))) {
        DeleteFileW(m->wide_path);
        m->temp_copy = 0;
        return -1;
    }
    return 0;
}

int OpenMovieDirectShow(MovieRecord* m, const char* path, int* width, int* height) {
    m->frame_updated = 0;
    m->image.width = m->image.height = m->image.pitch = 0;
    m->image.pixels = nullptr;
    m->overlay_src = Rect{0, 0, 0, 0};
    m->overlay_dst = Rect{0, 0, 0, 0};
    // Cut to its buffer, never beyond it.
    char message[256];
    FormatString(message, sizeof message, "CLSID_FilterGraph の作成に失敗しました");
    HRESULT hr = E_FAIL;
    if (WinApi.CoCreateInstance)
        hr = WinApi.CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                     (void**)&m->graph);
    if (FAILED(hr)) {
        m->graph = nullptr;
        goto fail;
    }
    {
        HRESULT created = S_OK;
        D_CMovieRenderer* renderer = CreateMovieRenderer(nullptr, &created);
        if (renderer) renderer->AddRefInner();  // ours until the graph holds it
        hr = renderer && SUCCEEDED(created) ? m->graph->AddFilter(renderer->FilterInterface(), L"MovieRenderer")
                                            : E_OUTOFMEMORY;
        if (renderer) renderer->ReleaseInner();
        if (FAILED(hr)) {
            FormatString(message, sizeof message, "Could not add renderer filter to graph!");
            goto fail;
        }
        m->renderer = renderer;
    }
    if (FAILED(m->graph->QueryInterface(IID_IBasicAudio, (void**)&m->basic_audio))) {
        m->basic_audio = nullptr;
        FormatString(message, sizeof message, "BasicAudio インターフェースの取得に失敗しました");
        goto fail;
    }
    if (FAILED(m->graph->QueryInterface(IID_IMediaControl, (void**)&m->control))) {
        m->control = nullptr;
        FormatString(message, sizeof message, "IID_IMediaControlインターフェイスの取得に失敗しました");
        goto fail;
    }
    if (FAILED(m->graph->QueryInterface(IID_IMediaSeeking, (void**)&m->seeking))) {
        m->seeking = nullptr;
        FormatString(message, sizeof message, "IID_IMediaSeekingインターフェイスの取得に失敗しました");
        goto fail;
    }
    // A path too long for the field is not rendered half-converted.
    if (!MultiByteToWideChar(LibraryCodePage ? (UINT)LibraryCodePage : CP_ACP, 0, path, -1, m->wide_path, 260))
        m->wide_path[0] = 0;
    if (!m->wide_path[0] || FAILED(m->graph->RenderFile(m->wide_path, nullptr))) {
        FormatString(message, sizeof message, "ファイル:%s が開けませんでした", path);
        if (RenderTemporaryCopy(m, path) < 0) goto fail;
    }
    m->stop_position = 0;
    m->seeking->GetStopPosition(&m->stop_position);
    if (width) *width = m->renderer->Width();
    if (height) *height = m->renderer->Height();
    m->width = m->renderer->Width();
    m->height = m->renderer->Height();
    return 0;
fail:
    ReleaseGraphInterfaces(m);
    LogAppend(message);
    return -1;
}

int UpdateMovieFrameDirectShow(MovieRecord* m) {
    if (m->renderer && m->renderer->TakeNewFrame(&m->image) == 1) {
        m->image_ptr = &m->image;
        if (m->callback) m->callback(m, m->callback_user);
    }
    if (m->seeking && m->control) {
        LONGLONG now = 0;
        if (SUCCEEDED(m->seeking->GetCurrentPosition(&now)) && now >= m->stop_position) {
            if (m->play_type & MOVIE_PLAY_LOOP_BIT) {
                // The platform's graph, seeked while running with a sound track, delivers
                // nothing more and then blocks in Stop: it is stopped before the seek.
                m->control->Stop();
                LONGLONG start = 0;
                m->seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
                m->control->Run();
            } else {
                m->playing = 0;
                m->paused = 1;
            }
        }
    }
    return 0;
}

void CloseMovieDirectShowParts(MovieRecord* m) {
    if (m->overlay_mode) HideMovieOverlay(m);
    ReleaseInterface(m->overlay_surface);
    if (m->control) m->control->Stop();
    ReleaseGraphInterfaces(m);
    // Only once the graph has let go of it can the copy be deleted.
    if (m->temp_copy) {
        DeleteFileW(m->wide_path);
        m->temp_copy = 0;
    }
    // The frame copies are the record's own; the renderer freed its buffer with the graph.
    MemFree(m->image.pixels);
    m->image.pixels = nullptr;
}
