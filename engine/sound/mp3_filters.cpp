// MP3 through the media filters: the last decoder tried, for files the
// compression manager cannot convert.
#include "engine/sound/mp3_filters.h"

#include <cstring>
#include <new>

#include "engine/movie/filters/graph_call.h"
#include "engine/movie/filters/mem_reader.h"
#include "engine/movie/filters/sample_grabber.h"
#include "engine/sound/mpeg_info_frame.h"
#include "engine/sound/null_renderer_swap.h"
#include "engine/sound/ogg_vorbis.h"
#include "engine/sound/riff_wave.h"
#include "engine/sound/sound_container.h"
#include "engine/sound/sound_intake.h"
#include "engine/sound/wave_format.h"
#include "engine/system/entry_points.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"
#include "engine/system/window.h"

namespace {

const uint32_t kGrowStep = 0x100000;
// The first PCM block is 10 x the file, but never more than this; it grows past it as needed.
const uint64_t kFirstBlockLimit = 0x10000000;
const uint64_t kPcmLimit = 0x7FFFFFFF;
// The longest the graph may build on the file, and go without a sample or an event once it runs.
DWORD g_graph_limit_ms = 10000;
// How long a parser whose reads have begun to fail is given to return.
const DWORD kReadFailGraceMs = 500;
// What the parser's streaming thread is given, once its end of stream has left
// the grabber, to get back to its wait: a few microseconds of work.
const DWORD kEndOfStreamSettleMs = 10;

const char kBrokenReadersFile[] = "Ogg や RIFF WAVE のファイルは MP3 として変換しません";
const char kRenderRefused[] = "グラフの構築に失敗しました";
// Why bytes are refused before the platform's parsers see them.
const char* RefusalLine(SoundIntakeReason reason) {
    switch (reason) {
        case SOUND_INTAKE_FEW_FRAMES: return "MPEGオーディオのフレームがデータの大半を占めないため変換しません";
        case SOUND_INTAKE_ATOMS_WITHOUT_MOVIE: return "ムービーに届かないアトムの並びは変換しません";
        case SOUND_INTAKE_FREE_FORMAT_LAYER_I_II: return "フリーフォーマットのレイヤーI・IIのMPEGオーディオは変換しません";
        case SOUND_INTAKE_NO_SOUND_FRAME: return "音を含まない1フレームだけのMPEGオーディオは変換しません";
        default: return "MPEGオーディオのフレームが確認できないデータは変換しません";
    }
}

const char kStopLeftBehind[] = "グラフの停止が制限時間内に終わりませんでした";

struct Mp3Graph;
bool StopWithinLimit(Mp3Graph* g);

// Everything one conversion holds; Release gives it back in a safe order.
struct Mp3Graph {
    uint8_t* image = nullptr;
    uint32_t size = 0;   // of the image
    D_CMemStream* stream = nullptr;
    D_CMemReader* reader = nullptr;
    IBaseFilter* nullRenderer = nullptr;
    IGraphBuilder* graph = nullptr;
    D_CSampleGrabber* grabber = nullptr;
    IGrabberControl* control = nullptr;
    IMediaFilter* mediaFilter = nullptr;
    IMediaControl* mediaControl = nullptr;
    IMediaEvent* mediaEvent = nullptr;
    bool ran = false;

    // False when the graph would not stop in time: it is left behind with
    // everything it held, and this is empty.
    bool Release() {
        // Nothing a streaming thread delivers from here on is wanted, and the
        // converter's buffer may go before a stop left behind returns.
        if (control) control->SetCallback(nullptr, nullptr);
        // A streaming thread that waits on the file gives up at once.
        if (stream) stream->SetReadTimeLimit(0);
        // Streaming threads may still be in the filters: stop them before anything goes.
        if (ran && mediaControl && !StopWithinLimit(this)) return false;
        if (mediaEvent) mediaEvent->Release();
        if (mediaFilter) mediaFilter->Release();
        if (mediaControl) mediaControl->Release();
        if (graph) graph->Release();
        if (nullRenderer) nullRenderer->Release();
        if (control) control->Release();   // the grabber goes with our last reference
        // The reader's I/O engine reads the stream: the reader goes first.
        DeleteMemReader(reader);
        DeleteMemStream(stream);
        MemFree(image);
        *this = Mp3Graph();
        return true;
    }
};

// A graph call on a thread of its own; left behind, the job takes over
// everything the conversion held, and frees it if the call ever returns.
struct Mp3GraphJob {
    GraphCall call;
    IUnknown* target;   // the job's own reference: the graph, or its control
    IPin* pin;          // Render's pin (a reference), null for Stop
    Mp3Graph* owner;
    Mp3Graph held;
};

HRESULT RunMp3Render(GraphCall* call) {
    Mp3GraphJob* job = (Mp3GraphJob*)call;
    return ((IGraphBuilder*)job->target)->Render(job->pin);
}

HRESULT RunMp3Stop(GraphCall* call) {
    Mp3GraphJob* job = (Mp3GraphJob*)call;
    return ((IMediaControl*)job->target)->Stop();
}

void LeaveMp3GraphCall(GraphCall* call) {
    Mp3GraphJob* job = (Mp3GraphJob*)call;
    job->held = *job->owner;
    *job->owner = Mp3Graph();
}

void FinishMp3GraphCall(GraphCall* call, bool) {
    Mp3GraphJob* job = (Mp3GraphJob*)call;
    if (job->pin) job->pin->Release();
    job->target->Release();
    job->held.ran = false;   // the call has returned: a stop left behind is over
    job->held.Release();
    delete job;
}

HRESULT RunMp3GraphCall(Mp3Graph* g, HRESULT (*run)(GraphCall*), IUnknown* target, IPin* pin, DWORD ms) {
    Mp3GraphJob* job = new (std::nothrow) Mp3GraphJob();
    if (!job) return E_OUTOFMEMORY;
    job->call.run = run;
    job->call.leave = LeaveMp3GraphCall;
    job->call.finish = FinishMp3GraphCall;
    job->target = target;
    target->AddRef();
    job->pin = pin;
    if (pin) pin->AddRef();
    job->owner = g;
    return RunGraphCall(&job->call, ms);
}

bool StopWithinLimit(Mp3Graph* g) {
    const HRESULT hr = RunMp3GraphCall(g, RunMp3Stop, g->mediaControl, nullptr, g_graph_limit_ms);
    if (hr == E_OUTOFMEMORY) g->mediaControl->Stop();   // no thread to leave it on; a second Stop does nothing
    return hr != kGraphCallTimedOut;
}

// Reads fail at the limit, which lets a parser waiting on the file return; one
// that waits on nothing is left behind a little later.
HRESULT RenderReaderWithinLimit(Mp3Graph* g) {
    g->stream->SetReadTimeLimit(g_graph_limit_ms);
    const HRESULT hr = RunMp3GraphCall(g, RunMp3Render, g->graph, g->reader->PinAt(0)->PinInterface(),
                                       g_graph_limit_ms + kReadFailGraceMs);
    if (g->stream) g->stream->SetReadTimeLimit(INFINITE);
    return hr;
}

int Fail(Mp3Graph* g, SoundConverter* conv, const char* message) {
    LogAppend(message);
    if (!g->Release()) LogAppend(kStopLeftBehind);
    MemFree(conv->image.pcm);
    conv->image.pcm = nullptr;
    conv->image.capacity = conv->image.count = 0;
    return -1;
}

// A new graph over the image's bytes [offset, end), rendered from the reader:
// null, or the log line. `mpeg` labels the reader's output MPEG-1 audio.
const char* OfferToGraph(Mp3Graph* g, uint32_t offset, uint32_t end, bool mpeg) {
    g->stream = CreateMemStream(g->image + offset, end - offset, 0, 0xFFFFFFFF);
    if (!g->stream) return "MP3変換用 D_CMemStream の作成に失敗しました";
    D_CMediaType readerType;
    readerType.SetMajorType(MEDIATYPE_Stream);
    if (mpeg) readerType.SetSubtype(MEDIASUBTYPE_MPEG1Audio);
    g->reader = CreateMemReader(g->stream, &readerType, nullptr);
    if (!g->reader) return "MP3変換用 D_CMemReader の作成に失敗しました";
    g->reader->FilterInterface()->AddRef();   // keeps it ours once the graph lets go
    if (FAILED(WinApi.CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                       (void**)&g->nullRenderer)))
        return g->nullRenderer = nullptr, "MP3変換用 NullRender の作成に失敗しました";
    if (FAILED(WinApi.CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                       IID_IGraphBuilder, (void**)&g->graph)))
        return g->graph = nullptr, "MP3変換用 IGraphBuilder の作成に失敗しました";
    g->grabber = CreateSampleGrabber(nullptr, nullptr);
    if (!g->grabber || FAILED(g->grabber->QueryInterface(IID_IGrabberControl, (void**)&g->control))) {
        delete g->grabber;
        g->grabber = nullptr;
        return "MP3変換用 D_CSampleGrabber の作成に失敗しました";
    }
    D_CMediaType accepted;
    accepted.SetMajorType(MEDIATYPE_Audio);
    accepted.SetSubtype(MEDIASUBTYPE_PCM);
    if (g->control->SetAcceptedMediaType(&accepted) != S_OK)
        return "サンプルグラバフィルタのメディアタイプの設定に失敗しました";
    if (g->graph->AddFilter(g->grabber->FilterInterface(), L"SampleGrabber") != S_OK)
        return "サンプルグラバフィルタのグラフへの追加に失敗しました";
    if (g->graph->AddFilter(g->reader->FilterInterface(), L"MemFile") != S_OK)
        return "メモリファイルフィルタのグラフへの追加に失敗しました";
    const HRESULT hr = RenderReaderWithinLimit(g);
    if (hr == kGraphCallTimedOut) return "グラフの構築が制限時間内に終わりませんでした";
    return hr == S_OK ? nullptr : kRenderRefused;
}

// The first stream's frames, counted as the intake decision finds their
// chains, and where its last frame ends (or is cut).
struct StreamFrames {
    const uint8_t* image;
    uint32_t frames;
    uint32_t end;
};

void CountStreamFrames(void* context, uint32_t from, uint32_t to, uint32_t limit) {
    StreamFrames* counted = (StreamFrames*)context;
    counted->frames += CountMpegFrames(counted->image, from, to);
    counted->end = limit;
}

}  // namespace

void SetMp3GraphTimeLimit(DWORD ms) { g_graph_limit_ms = ms; }

// The connected type must describe usable PCM before anything divides by it.
const char* DescribeUnusablePcmFormat(const AM_MEDIA_TYPE& mt) {
    if (!IsEqualGUID(mt.formattype, FORMAT_WaveFormatEx)) return "サポート外のストリームフォーマットです。";
    const WAVEFORMATEX* wf = (const WAVEFORMATEX*)mt.pbFormat;
    // Files of three channels or more come back as WAVE_FORMAT_EXTENSIBLE of PCM.
    if (!wf || mt.cbFormat < 16 || NamedWaveFormatTag(mt.pbFormat, mt.cbFormat) != WAVE_FORMAT_PCM ||
        wf->nChannels < 1 || wf->nBlockAlign < 1 || wf->nSamplesPerSec < 1)
        return "サポート外のオーディオフォーマットです。";
    return nullptr;
}

const char* WaitForMp3Graph(IMediaEvent* events, const SoundConverterPcmImage* image, DWORD stallMs) {
    uint32_t lastCount = image->count;
    DWORD lastProgress = GetTickCount();
    for (;;) {
        LONG code = 0;
        HRESULT hr = events->WaitForCompletion(100, &code);
        if (hr == S_OK && code == EC_COMPLETE) return nullptr;
        if (hr == S_OK && (code == EC_ERRORABORT || code == EC_USERABORT)) return "MP3変換の途中でエラーが発生しました";
        // Aborts are only queued here, never reported by the wait: read the queue too.
        LONG_PTR p1, p2;
        while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
            events->FreeEventParams(code, p1, p2);
            lastProgress = GetTickCount();
            if (code == EC_COMPLETE) return nullptr;
            if (code == EC_ERRORABORT || code == EC_USERABORT) return "MP3変換の途中でエラーが発生しました";
        }
        if (ProcessWindowMessages() != 0) return "MP3変換の途中でソフトが終了しました";
        if (image->count != lastCount || !image->pcm) {
            lastCount = image->count;
            lastProgress = GetTickCount();
        } else if (GetTickCount() - lastProgress > stallMs) {
            return "MP3変換の途中でエラーが発生しました";
        }
    }
}

HRESULT GrabberAppendPcm(IMediaSample* sample, REFERENCE_TIME*, REFERENCE_TIME*, BOOL, void* context) {
    SoundConverterPcmImage* im = &((SoundConverter*)context)->image;
    if (!im->pcm) return S_OK;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return S_OK;
    LONG got = sample->GetActualDataLength();
    if (got <= 0) return S_OK;
    uint64_t need = (uint64_t)im->count + (uint32_t)got;
    if (need > im->capacity) {
        uint64_t capacity = im->capacity;
        while (capacity < need) capacity += kGrowStep;
        uint8_t* grown = capacity <= kPcmLimit ? (uint8_t*)MemAlloc((size_t)capacity, "mp3_filters", __LINE__) : nullptr;
        if (!grown) {
            MemFree(im->pcm);
            im->pcm = nullptr;
            return S_OK;
        }
        std::memcpy(grown, im->pcm, im->count);
        MemFree(im->pcm);
        im->pcm = grown;
        im->capacity = (uint32_t)capacity;
    }
    std::memcpy(im->pcm + im->count, data, (size_t)got);
    im->count += (uint32_t)got;
    return S_OK;
}

int ConvertMp3ToPcm(SoundConverter* conv) {
    std::memset(&conv->image, 0, sizeof conv->image);
    Mp3Graph g;
    const StreamFunctions& f = conv->source.funcs;
    uintptr_t h = conv->source.handle;
    if (f.Seek(h, 0, 2) != 0) return -1;
    int64_t size = f.Tell(h);
    if (size <= 0 || size > 0x7FFFFFFF || f.Seek(h, 0, 0) != 0) return -1;
    g.image = (uint8_t*)MemAlloc((size_t)size, "mp3_filters", __LINE__);
    if (!g.image) return -1;
    g.size = (uint32_t)size;
    if (f.Read(g.image, (size_t)size, 1, h) != 1) {
        g.Release();
        return -1;
    }
    // The platform's parsers hang or crash on Ogg and WAV files that our own
    // readers find broken (an MPEG layer II WAV over ADPCM data ended the
    // process), and read some WAV layouts otherwise than the readers (a pad
    // byte left out made loud noise): a WAV goes as the readers read it.
    if (size >= 4 && std::memcmp(g.image, "OggS", 4) == 0 && OggVorbisRefused(conv) != 0)
        return Fail(&g, conv, kBrokenReadersFile);
    const WaveForGraph wave = PrepareWaveForGraph(conv, g.image, g.size);
    if (wave.kind == WAVE_GRAPH_REFUSED) return Fail(&g, conv, kBrokenReadersFile);
    if (wave.kind == WAVE_GRAPH_IMAGE) {
        MemFree(g.image);
        g.image = wave.image;
    } else if (wave.kind == WAVE_GRAPH_MPEG_DATA) {
        std::memmove(g.image, g.image + wave.data_at, wave.size);
    }
    if (wave.kind != WAVE_GRAPH_NOT_WAVE) g.size = wave.size;
    f.Seek(h, 0, 2);   // left at its end, as the whole read leaves it
    // Offered untyped, raw bytes would be guessed at: the platform takes quiet
    // PCM, tables and pictures for MPEG audio from their headers alone and
    // decodes them to minutes of silence. Raw bytes go with their tails, as
    // tools leave them, but without another stream's frames, which would play
    // at the first one's rate.
    StreamFrames counted = {g.image, 0, 0};
    const SoundIntake intake = wave.kind == WAVE_GRAPH_MPEG_DATA
                                   ? DecideMpegDataIntake(g.image, g.size, CountStreamFrames, &counted)
                                   : DecideSoundIntake(g.image, g.size, CountStreamFrames, &counted);
    if (intake.kind == SOUND_INTAKE_REFUSED) return Fail(&g, conv, RefusalLine(intake.reason));
    const bool raw = intake.kind == SOUND_INTAKE_RAW_MPEG;
    if (!raw) MarkAtomsBeforeMovieFree(g.image, g.size, intake.start);
    // The platform's parser plays by what an encoder's info frame says, which
    // tells of the first of files joined end to end, and of the whole of a cut download.
    if (raw && counted.end > intake.start)
        FitMpegInfoFrameToStream(g.image + intake.start, g.size - intake.start, counted.frames, counted.end - intake.start);
    const char* failure = OfferToGraph(&g, intake.start, raw && intake.another_stream ? intake.end : g.size, raw);
    // Another sound track's renderer would play it at its pace; a video's would show a window.
    if (!failure) failure = ReplaceRenderersWithNullRenderers(g.graph, g.nullRenderer);
    if (failure) return Fail(&g, conv, failure);

    D_CMediaType connected;   // held here so its format block is freed on every path
    if (g.control->GetConnectedMediaType(&connected) != S_OK)
        return Fail(&g, conv, "音声が含まれていないか、オーディオフォーマットの取得に失敗しました。");
    if (const char* bad = DescribeUnusablePcmFormat(connected)) return Fail(&g, conv, bad);
    const WAVEFORMATEX* wf = (const WAVEFORMATEX*)connected.pbFormat;
    WAVEFORMATEX out = {};
    out.wFormatTag = WAVE_FORMAT_PCM;
    out.nChannels = wf->nChannels;
    out.nSamplesPerSec = wf->nSamplesPerSec;
    out.nBlockAlign = wf->nBlockAlign;
    out.nAvgBytesPerSec = wf->nBlockAlign * wf->nSamplesPerSec;
    out.wBitsPerSample = (WORD)(wf->nBlockAlign * 8 / wf->nChannels);
    out.cbSize = 0;

    if (g.control->SetCallback(GrabberAppendPcm, conv) != S_OK) return Fail(&g, conv, "コールバック関数を設定できません");
    uint64_t first = (uint64_t)size * 10;
    if (first > kFirstBlockLimit) first = kFirstBlockLimit;
    conv->image.pcm = (uint8_t*)MemAlloc((size_t)first, "mp3_filters", __LINE__);
    if (!conv->image.pcm) return Fail(&g, conv, "PCMデータを格納するメモリ領域の確保に失敗しました");
    conv->image.capacity = (uint32_t)first;
    conv->image.count = 0;
    if (FAILED(g.graph->QueryInterface(IID_IMediaFilter, (void**)&g.mediaFilter)))
        return g.mediaFilter = nullptr, Fail(&g, conv, "IMediaFilter の取得に失敗しました");
    g.mediaFilter->SetSyncSource(nullptr);   // no clock: decode as fast as the filters deliver
    if (FAILED(g.graph->QueryInterface(IID_IMediaControl, (void**)&g.mediaControl)))
        return g.mediaControl = nullptr, Fail(&g, conv, "IMediaControl の取得に失敗しました");
    if (FAILED(g.graph->QueryInterface(IID_IMediaEvent, (void**)&g.mediaEvent)))
        return g.mediaEvent = nullptr, Fail(&g, conv, "IMediaEvent の取得に失敗しました");
    g.ran = true;
    g.mediaControl->Run();
    if (ProcessWindowMessages() != 0) return Fail(&g, conv, "MP3変換の途中でソフトが終了しました");
    if (const char* failure = WaitForMp3Graph(g.mediaEvent, &conv->image, g_graph_limit_ms)) return Fail(&g, conv, failure);
    // The completion is raised inside the parser's end-of-stream call, and the
    // platform's parser loses the wake-up of a stop that meets its streaming
    // thread on the way back to its wait after that call: the stop then waits
    // for it forever. Stop once the call has left the grabber and settled.
    if (g.grabber->WaitForEndOfStreamPassed(g_graph_limit_ms)) Sleep(kEndOfStreamSettleMs);
    if (!conv->image.pcm) return Fail(&g, conv, "PCMデータを格納するメモリ領域の再確保に失敗しました");
    // A parser that takes noise for frame headers completes without a sample.
    if (conv->image.count == 0) return Fail(&g, conv, "音声が含まれていないか、オーディオフォーマットの取得に失敗しました。");

    if (!g.Release()) return Fail(&g, conv, kStopLeftBehind);
    conv->format = out;
    conv->method = SOUND_CONVERT_PCM_IMAGE;
    conv->block_size = out.nAvgBytesPerSec;
    conv->image.read_pos = 0;
    return 0;
}
