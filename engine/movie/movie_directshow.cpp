// The filter-graph half of movie handles: the platform's graph renders the file
// into the engine's movie renderer, from a temporary copy when it cannot open
// the file in place.
#include <windows.h>
#include <dshow.h>

#include <new>

#include "engine/file/file_stream.h"
#include "engine/movie/filters/graph_call.h"
#include "engine/movie/filters/graph_pins.h"
#include "engine/movie/filters/media_type.h"
#include "engine/movie/movie_internal.h"
#include "engine/movie/movie_renderer.h"
#include "engine/system/entry_points.h"
#include "engine/system/library.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"
#include "engine/system/str_util.h"

// The longest a render may take; the platform's parsers loop forever on some broken files.
static DWORD g_render_limit_ms = 10000;

void SetMovieRenderTimeLimit(DWORD ms) { g_render_limit_ms = ms; }

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

// RenderFile of a movie graph, or with no graph a probe (below).
struct RenderJob {
    GraphCall call;
    IGraphBuilder* graph;   // the job's own reference
    int delete_when_left;   // a temporary copy that only the job can delete once the graph has let go
    WCHAR path[260];
    TempCopy* copy;         // the copy's entry once left behind
};

// The first media type a pin offers (the caller deletes it), or null.
static AM_MEDIA_TYPE* FirstMediaType(IPin* pin) {
    IEnumMediaTypes* types = nullptr;
    AM_MEDIA_TYPE* mt = nullptr;
    if (FAILED(pin->EnumMediaTypes(&types)) || types->Next(1, &mt, nullptr) != S_OK) mt = nullptr;
    if (types) types->Release();
    return mt;
}

// Connects the source's pin to the first registered filter that takes its type:
// the parser, which reads the file as it connects. The parser (a reference), or
// null; *tried tells whether any filter was registered for the type.
static IBaseFilter* ConnectParser(IGraphBuilder* graph, IPin* out, bool* tried) {
    *tried = false;
    AM_MEDIA_TYPE* mt = FirstMediaType(out);
    if (!mt) return nullptr;
    const GUID wanted[2] = {mt->majortype, mt->subtype};
    DeleteMediaType(mt);
    IFilterMapper2* mapper = nullptr;
    IEnumMoniker* found = nullptr;
    if (FAILED(WinApi.CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                       (void**)&mapper)))
        return nullptr;
    if (FAILED(mapper->EnumMatchingFilters(&found, 0, TRUE, MERIT_DO_NOT_USE + 1, TRUE, 1, wanted, nullptr, nullptr,
                                           FALSE, FALSE, 0, nullptr, nullptr, nullptr)))
        found = nullptr;
    mapper->Release();
    IMoniker* moniker = nullptr;
    IBaseFilter* connected = nullptr;
    while (!connected && found && found->Next(1, &moniker, nullptr) == S_OK) {
        *tried = true;
        IBaseFilter* parser = nullptr;
        if (SUCCEEDED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, (void**)&parser))) {
            IPin* in = SUCCEEDED(graph->AddFilter(parser, L"Parser")) ? FindPinByDirection(parser, PINDIR_INPUT) : nullptr;
            if (in && SUCCEEDED(graph->ConnectDirect(out, in, nullptr))) {
                connected = parser;
                parser->AddRef();
            } else {
                graph->RemoveFilter(parser);
            }
            if (in) in->Release();
            parser->Release();
        }
        moniker->Release();
    }
    if (found) found->Release();
    return connected;
}

// Lets the platform's parser read the file in a graph without our renderer, so
// that a file it hangs on keeps nothing of ours alive. A failure when the file
// cannot be opened, or when every parser for its type refuses it: the graph
// builder would go on to try others, which hang on some of these (AVI frames 0
// wide, INT_MIN high, 65535 square).
static HRESULT ProbeFile(const WCHAR* path) {
    IGraphBuilder* probe = nullptr;
    HRESULT hr = WinApi.CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                         (void**)&probe);
    if (FAILED(hr)) return hr;
    IBaseFilter* source = nullptr;
    hr = probe->AddSourceFilter(path, L"Source", &source);
    if (SUCCEEDED(hr)) {
        IPin* out = FindPinByDirection(source, PINDIR_OUTPUT);
        bool tried = false;
        IBaseFilter* parser = out ? ConnectParser(probe, out, &tried) : nullptr;
        if (tried && !parser) hr = VFW_E_CANNOT_RENDER;
        if (parser) parser->Release();
        if (out) out->Release();
        source->Release();
    }
    probe->Release();
    return hr;
}

static HRESULT RunRenderJob(GraphCall* call) {
    RenderJob* job = (RenderJob*)call;
    return job->graph ? job->graph->RenderFile(job->path, nullptr) : ProbeFile(job->path);
}

static void LeaveRenderJob(GraphCall* call) {
    RenderJob* job = (RenderJob*)call;
    if (job->delete_when_left) job->copy = HandTempCopyToRender(job->path);
}

static void FinishRenderJob(GraphCall* call, bool left) {
    RenderJob* job = (RenderJob*)call;
    if (job->graph) job->graph->Release();
    if (left) DeleteTempCopyOfRender(job->copy);
    delete job;
}

static HRESULT RenderOnThread(IGraphBuilder* graph, const WCHAR* path, int temp_copy) {
    RenderJob* job = new (std::nothrow) RenderJob();
    if (!job) return E_OUTOFMEMORY;
    job->call.run = RunRenderJob;
    job->call.leave = LeaveRenderJob;
    job->call.finish = FinishRenderJob;
    job->graph = graph;
    if (graph) graph->AddRef();
    job->delete_when_left = temp_copy;
    lstrcpynW(job->path, path, 260);
    return RunGraphCall(&job->call, g_render_limit_ms);
}

// RenderFile of the record's wide path, each stage within the time limit.
static HRESULT RenderWithinLimit(MovieRecord* m) {
    HRESULT hr = RenderOnThread(nullptr, m->wide_path, m->temp_copy);
    return FAILED(hr) ? hr : RenderOnThread(m->graph, m->wide_path, m->temp_copy);
}

// Copies the file through the file layer into a new "tmp" file and renders
// that. The render's result (a copy whose render failed is deleted).
static HRESULT RenderTemporaryCopy(MovieRecord* m, const char* path) {
    if (m->temp_copy) return E_FAIL;
    ArchiveFileHandle file = FileStreamOpen(path, 0, 1, 0);
    if (!file) return E_FAIL;
    FileStreamSeek(file, 0, 2);
    int64_t size = FileStreamTell(file);
    FileStreamSeek(file, 0, 0);
    const size_t kChunk = 0x100000;
    void* buffer = MemAlloc(kChunk, "movie_directshow", 0);
    if (!buffer) {
        FileStreamClose(file);
        return E_FAIL;
    }
    char temp_path[MAX_PATH];
    HANDLE temp = (HANDLE)CreateTempFile(temp_path);
    if (!temp) {
        FileStreamClose(file);
        MemFree(buffer);
        return E_FAIL;
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
    const HRESULT hr = RenderWithinLimit(m);
    if (FAILED(hr)) {
        // A render left behind has the copy now, and deletes it once its graph lets go.
        if (hr != kGraphCallTimedOut) DeleteTempCopy(m->wide_path);
        m->temp_copy = 0;
    }
    return hr;
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
    hr = m->wide_path[0] ? RenderWithinLimit(m) : E_FAIL;
    // A name the graph cannot open may still be read through the file layer; a file it hangs on is not tried twice.
    if (FAILED(hr) && hr != kGraphCallTimedOut) hr = RenderTemporaryCopy(m, path);
    if (FAILED(hr)) {
        FormatString(message, sizeof message,
                     hr == kGraphCallTimedOut ? "ファイル:%s の解析が制限時間内に終わりませんでした"
                                              : "ファイル:%s が開けませんでした",
                     path);
        goto fail;
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
        DeleteTempCopy(m->wide_path);
        m->temp_copy = 0;
    }
    // The frame copies are the record's own; the renderer freed its buffer with the graph.
    MemFree(m->image.pixels);
    m->image.pixels = nullptr;
}
