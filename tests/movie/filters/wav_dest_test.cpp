// WAV writer: PCM through it into a memory stream gives a RIFF WAVE image.
#include "movie/filters/filter_test.h"

#include <malloc.h>
#include <cstring>

#include "engine/movie/filters/wav_dest.h"
#include "engine/system/log.h"
#include "sound/sound_fixture.h"

using namespace filtertest;

namespace {

uint32_t Le32(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }

// Two runs of two 1000-byte samples with a format block of formatBytes; checks the image.
void WriteTwoRuns(int formatBytes) {
    HRESULT hr = E_FAIL;
    D_CWavDestFilter* wav = CreateWavDestFilter(nullptr, &hr);
    ASSERT_EQ(S_OK, hr);
    auto* source = new TestSource;
    auto* sink = new TestSink;
    for (IBaseFilter* f : {wav->FilterInterface(), source->FilterInterface(), sink->FilterInterface()}) f->AddRef();
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &sink->stream));

    TestType pcm(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, formatBytes, 0x5C);
    WAVEFORMATEX fmt = {WAVE_FORMAT_PCM, 2, 8000, 32000, 4, 16, (WORD)(formatBytes - 18)};
    std::memcpy(pcm.pbFormat, &fmt, 16);
    TestType video(MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 8);
    source->offered = {&video, &pcm};
    EXPECT_NE(S_OK, source->pin->Connect(wav->PinAt(0), &video)) << "only WAVEFORMATEX audio goes in";
    ASSERT_EQ(S_OK, source->pin->Connect(wav->PinAt(0), &pcm));
    ASSERT_EQ(S_OK, wav->PinAt(1)->Connect(sink->pin, nullptr));
    EXPECT_TRUE(sink->pin->CurrentMediaType().majortype == MEDIATYPE_Stream);

    for (int run = 0; run < 2; ++run) {   // a second run restarts the count and rewrites the header
        ASSERT_EQ(S_OK, sink->Pause());
        ASSERT_EQ(S_OK, wav->Pause());
        ASSERT_EQ(S_OK, source->Pause());
        ASSERT_TRUE(RunWithTimeout([&] {
            EXPECT_EQ(S_OK, source->pin->Deliver(1000, 0x11));
            EXPECT_EQ(S_OK, source->pin->Deliver(1000, 0x22));
        }, 10000));
        EXPECT_EQ(2000u, wav->BytesWritten());
        source->Stop();
        ASSERT_EQ(S_OK, wav->Stop());
        sink->Stop();
    }

    const uint32_t header = 28 + formatBytes;
    HGLOBAL mem = nullptr;
    ASSERT_EQ(S_OK, GetHGlobalFromStream(sink->stream, &mem));
    ASSERT_GE(GlobalSize(mem), header + 2000);
    const BYTE* img = (const BYTE*)GlobalLock(mem);
    EXPECT_EQ(0, std::memcmp(img, "RIFF", 4));
    EXPECT_EQ(header + 2000 - 8, Le32(img + 4));
    EXPECT_EQ(0, std::memcmp(img + 8, "WAVEfmt ", 8));
    EXPECT_EQ((uint32_t)formatBytes, Le32(img + 16));
    EXPECT_EQ(0, std::memcmp(img + 20, pcm.pbFormat, formatBytes)) << "the whole format block, extra bytes too";
    EXPECT_EQ(0, std::memcmp(img + 20 + formatBytes, "data", 4));
    EXPECT_EQ(2000u, Le32(img + 24 + formatBytes));
    EXPECT_EQ(0x11, img[header]);
    EXPECT_EQ(0x11, img[header + 999]);
    EXPECT_EQ(0x22, img[header + 1000]) << "each sample lands at its byte position";
    EXPECT_EQ(0x22, img[header + 1999]);
    GlobalUnlock(mem);

    source->pin->Disconnect();
    wav->PinAt(0)->Disconnect();
    wav->PinAt(1)->Disconnect();
    sink->pin->Disconnect();
    sink->stream->Release();
    sink->stream = nullptr;
    for (IBaseFilter* f : {wav->FilterInterface(), source->FilterInterface(), sink->FilterInterface()}) f->Release();
    EXPECT_EQ(_HEAPOK, _heapchk()) << "the header block was overrun";
}

TEST_F(FilterTest, WavWriterWritesPlainPcm) { WriteTwoRuns(16); }

TEST_F(FilterTest, WavWriterHeaderHoldsALongFormat) { WriteTwoRuns(40); }

// A pin without IStream (as a null renderer) gets no header: the stop still
// goes through, the failure is told to the log and the graph, and the graph
// that holds the writer can be released.
TEST_F(FilterTest, WavWriterStopsInFrontOfAPinWithoutAStream) {
    soundtest::LogCapture log;
    IGraphBuilder* graph = nullptr;
    ASSERT_EQ(S_OK, WinApi.CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                            (void**)&graph));
    HRESULT hr = E_FAIL;
    D_CWavDestFilter* wav = CreateWavDestFilter(nullptr, &hr);
    ASSERT_EQ(S_OK, hr);
    auto* source = new TestSource;
    auto* sink = new TestSink;
    graph->AddFilter(source->FilterInterface(), L"source");
    graph->AddFilter(wav->FilterInterface(), L"wav");
    graph->AddFilter(sink->FilterInterface(), L"sink");
    TestType pcm(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 18, 0);
    source->offered = {&pcm};
    ASSERT_EQ(S_OK, graph->ConnectDirect(source->pin, wav->PinAt(0)->PinInterface(), &pcm));
    ASSERT_EQ(S_OK, graph->ConnectDirect(wav->PinAt(1)->PinInterface(), sink->pin, nullptr));
    IMediaControl* control = nullptr;
    IMediaEvent* events = nullptr;
    ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaControl, (void**)&control));
    ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaEvent, (void**)&events));
    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    ASSERT_TRUE(RunWithTimeout([&] { EXPECT_EQ(S_OK, source->pin->Deliver(1000, 0x11)); }, 10000));
    ASSERT_TRUE(RunWithTimeout([&] { control->Stop(); }, 10000)) << "the graph's stop hangs";
    FILTER_STATE state = State_Running;
    EXPECT_EQ(S_OK, wav->FilterInterface()->GetState(0, &state));
    EXPECT_EQ(State_Stopped, state);
    EXPECT_TRUE(log.Contains("WAV ファイルのヘッダの書き込みに失敗しました"));
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    bool aborted = false;
    while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        aborted |= code == EC_ERRORABORT && p1 == (LONG_PTR)E_NOINTERFACE;
        events->FreeEventParams(code, p1, p2);
    }
    EXPECT_TRUE(aborted) << "the graph was told";
    events->Release();
    control->Release();
    EXPECT_TRUE(RunWithTimeout([&] { graph->Release(); }, 10000)) << "releasing the graph hangs";
}

}  // namespace
