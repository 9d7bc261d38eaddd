// Renderer bases and the movie renderer with the test kit: the pure
// arithmetic, the media-type and format checks, frames copied whole rows at a
// time under the lock, state changes, end of stream and dropped samples.
#include "movie/filters/filter_test.h"

#include <climits>
#include <cstring>
#include <memory>

#include "engine/image/pixel_format.h"
#include "engine/movie/movie_renderer.h"
#include "engine/system/memory.h"
#include "support/portable_guard.h"

using namespace filtertest;

namespace {

TEST(RendererMath, Int64MulDivKeeps128BitsAndSaturates) {
    const LONGLONG kMax = 0x7FFFFFFFFFFFFFFFLL;
    struct Case { LONGLONG a, b, c, d, q; } cases[] = {
        {2, 3, 4, 0, 1},          {-7, 3, 2, 0, -10},       {10, 10, 3, 1, 33},         {-10, 10, 3, -1, -33},
        {1LL << 40, 1LL << 40, 1LL << 20, 0, 1LL << 60},    {1LL << 62, 4, 2, 0, kMax}, {-(1LL << 62), 4, 2, 0, -kMax},
        {5, 5, 0, 0, kMax},       {3, 0, 7, 5, 0},          {0, 9, 7, -14, -2},         {6, 7, -2, 0, -21},
    };
    for (const Case& c : cases) EXPECT_EQ(c.q, Int64MulDiv(c.a, c.b, c.c, c.d)) << c.a << " " << c.b << " " << c.c << " " << c.d;
}

TEST(RendererMath, IntegerSqrtQualityThrottleAndDeviation) {
    struct Root { LONGLONG n; LONG r; } roots[] = {{0, 0}, {1, 1}, {4, 2}, {1000000, 1000}, {0x40000001LL, 32768},
                                                 {1LL << 50, 32768}, {-5, 0}};
    for (const Root& c : roots) EXPECT_EQ(c.r, IntegerSqrt(c.n)) << c.n;
    // The proportion of -167 divides by zero in the formula: no throttle there or below.
    struct Throttle { LONG proportion, throttle; } throttles[] = {
        {1000, 0}, {1500, 0}, {500, 388880000 / 667 - 330000}, {0, 388880000 / 167 - 330000}, {-167, 0}, {-500, 0}};
    for (const Throttle& c : throttles) EXPECT_EQ(c.throttle, QualityThrottle(c.proportion)) << c.proportion;
    EXPECT_EQ(0, FrameStatDeviation(false, 3, 1400, 60));
    EXPECT_EQ(0, FrameStatDeviation(true, 1, 100, 10));
    EXPECT_EQ(10, FrameStatDeviation(true, 3, 1400, 60));  // 10, 20, 30
}

// A VIDEOINFOHEADER type of RGB24 (or another subtype) with the given size.
struct VideoType : D_CMediaType {
    VideoType(LONG width, LONG height, const GUID& sub = MEDIASUBTYPE_RGB24, ULONG format_bytes = sizeof(VIDEOINFOHEADER)) {
        majortype = MEDIATYPE_Video;
        subtype = sub;
        formattype = FORMAT_VideoInfo;
        pbFormat = (BYTE*)WinApi.CoTaskMemAlloc(format_bytes);
        cbFormat = format_bytes;
        std::memset(pbFormat, 0, format_bytes);
        if (format_bytes >= sizeof(VIDEOINFOHEADER)) {
            BITMAPINFOHEADER& h = ((VIDEOINFOHEADER*)pbFormat)->bmiHeader;
            h.biSize = sizeof h, h.biWidth = width, h.biHeight = height, h.biPlanes = 1, h.biBitCount = 24;
        }
    }
};

// A sample over caller memory: nothing past `actual` bytes may be read.
class FakeSample : public IMediaSample {
public:
    FakeSample(BYTE* data, long actual) : data_(data), actual_(actual) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { *out = nullptr; return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** out) override { *out = data_; return S_OK; }
    long STDMETHODCALLTYPE GetSize() override { return actual_; }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return VFW_E_SAMPLE_TIME_NOT_SET; }
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsPreroll() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL) override { return E_NOTIMPL; }
    long STDMETHODCALLTYPE GetActualDataLength() override { return actual_; }
    HRESULT STDMETHODCALLTYPE SetActualDataLength(long) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** out) override { *out = nullptr; return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }

private:
    BYTE* data_;
    long actual_;
};

class MovieRendererTest : public FilterTest {
protected:
    void SetUp() override {
        FilterTest::SetUp();
        blocks_ = MemLiveBlockCount();
        HRESULT hr = E_FAIL;
        r = CreateMovieRenderer(nullptr, &hr);
        ASSERT_TRUE(r);
        ASSERT_EQ(S_OK, hr);
        r->AddRefInner();
    }
    void TearDown() override {
        BaseImageRelease(&image);
        r->ReleaseInner();
        EXPECT_EQ(blocks_, MemLiveBlockCount()) << "the renderer's buffer must go with it";
        FilterTest::TearDown();
    }
    // Takes a frame into `image`; the byte at (x, y) of the taken frame.
    int ByteAt(int x, int y) { return ((const uint8_t*)image.pixels)[y * image.pitch + x]; }
    D_CMovieRenderer* r = nullptr;
    BaseImage image{};
    int blocks_ = 0;
};

TEST_F(MovieRendererTest, AcceptsUncompressedRgb24OfAHoldableSizeOnly) {
    D_CMediaType wave;
    wave.majortype = MEDIATYPE_Audio, wave.subtype = MEDIASUBTYPE_PCM, wave.formattype = FORMAT_WaveFormatEx;
    VideoType rgb(320, 240), yuy2(320, 240, MEDIASUBTYPE_YUY2), rgb32(320, 240, MEDIASUBTYPE_RGB32);
    VideoType short_block(320, 240, MEDIASUBTYPE_RGB24, 40), no_width(0, 240), no_height(320, 0),
        min_height(320, INT_MIN), huge(60000, 60000), top_down(5, -10);
    D_CMediaType not_video;
    not_video.Assign(rgb);
    not_video.majortype = MEDIATYPE_Audio;
    struct Case { const char* name; const AM_MEDIA_TYPE* type; HRESULT hr; } cases[] = {
        {"null", nullptr, E_POINTER},         {"wave format", &wave, E_INVALIDARG},  {"audio major", &not_video, E_FAIL},
        {"YUY2", &yuy2, E_FAIL},              {"RGB32", &rgb32, E_FAIL},             {"RGB24", &rgb, S_OK},
        {"top-down", &top_down, S_OK},        {"short block", &short_block, E_FAIL}, {"width 0", &no_width, E_FAIL},
        {"height 0", &no_height, E_FAIL},     {"height INT_MIN", &min_height, E_FAIL}, {"too large", &huge, E_FAIL},
    };
    for (const Case& c : cases) EXPECT_EQ(c.hr, r->IsMediaTypeAcceptable(c.type)) << c.name;
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, r->ApplyInputMediaType(&huge));
    EXPECT_EQ(0, r->Width());
}

TEST_F(MovieRendererTest, BottomUpRowsAreTurnedAndShortSamplesGiveOnlyTheirWholeRows) {
    // No format yet: the sample is taken and dropped.
    BYTE one[4] = {1, 2, 3, 4};
    FakeSample early(one, 4);
    EXPECT_EQ(S_OK, r->DrawSample(&early));
    EXPECT_EQ(0, r->TakeNewFrame(&image));
    EXPECT_EQ(E_POINTER, r->DrawSample(nullptr));

    VideoType bottom_up(320, 240);
    ASSERT_EQ(S_OK, r->ApplyInputMediaType(&bottom_up));
    const long whole = 960 * 240;
    uint8_t* data = GuardAlloc(whole);
    ASSERT_TRUE(data);
    for (int row = 0; row < 240; row++) std::memset(data + row * 960, row, 960);
    FakeSample full(data, whole);
    EXPECT_EQ(S_OK, r->DrawSample(&full));
    ASSERT_EQ(1, r->TakeNewFrame(&image));
    EXPECT_EQ(0, r->TakeNewFrame(&image)) << "taken once";
    EXPECT_EQ(960, image.pitch);
    EXPECT_EQ(240, image.height);
    EXPECT_EQ(3, image.format.bytes_per_pixel);
    EXPECT_EQ(0, ByteAt(0, 239)) << "the first source row is the bottom row";
    EXPECT_EQ(239, ByteAt(959, 0));
    GuardFree(data);

    // Width 5 pads rows to 16 bytes; a negative height is top-down. The sample
    // ends inside its fourth row: three rows come over, nothing is read past it.
    VideoType top_down(5, -10);
    ASSERT_EQ(S_OK, r->ApplyInputMediaType(&top_down));
    const long short_len = 16 * 3 + 5;
    data = GuardAlloc(short_len);
    for (long i = 0; i < short_len; i++) data[i] = (uint8_t)(100 + i / 16);
    FakeSample part(data, short_len);
    EXPECT_EQ(S_OK, r->DrawSample(&part));
    ASSERT_EQ(1, r->TakeNewFrame(&image));
    EXPECT_EQ(16, image.pitch);
    EXPECT_EQ(10, image.height);
    EXPECT_EQ(100, ByteAt(0, 0));
    EXPECT_EQ(102, ByteAt(15, 2));
    GuardFree(data);
}

// The streaming thread copies frames while the main thread takes them: a taken
// frame is always one whole frame, never half of two.
TEST_F(MovieRendererTest, FramesAreTakenWholeWhileTheStreamingThreadCopies) {
    VideoType type(256, 128);
    ASSERT_EQ(S_OK, r->ApplyInputMediaType(&type));
    std::vector<BYTE> a(768 * 128, 0xAA), b(768 * 128, 0x55);
    std::atomic<bool> stop{false};
    Worker streaming([&] {
        FakeSample sa(a.data(), (long)a.size()), sb(b.data(), (long)b.size());
        for (int i = 0; !stop; i++) r->DrawSample(i & 1 ? &sb : &sa);
    });
    int torn = 0, taken = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 500;) {
        if (r->TakeNewFrame(&image) != 1) continue;
        taken++;
        const uint8_t* p = (const uint8_t*)image.pixels;
        if (p[0] != p[768 * 128 - 1]) torn++;
    }
    stop = true;
    ASSERT_TRUE(streaming.Join(10000));
    EXPECT_GT(taken, 0);
    EXPECT_EQ(0, torn);
}

class RendererStates : public FilterTest {
protected:
    void SetUp() override {
        FilterTest::SetUp();
        HRESULT hr = S_OK;
        r = CreateMovieRenderer(nullptr, &hr);
        r->AddRefInner();
        r->JoinFilterGraph(&graph, L"MovieRenderer");
        type.reset(new VideoType(320, 240));  // task memory: after the entry points are loaded
        source = new TestSource();
        source->AddRefInner();
        source->offered.push_back(type.get());
        source->wanted = {2, 960 * 240, 1, 0};
    }
    void TearDown() override {
        r->Stop();
        source->Stop();
        source->pin->Disconnect();
        r->InputPin()->Disconnect();
        r->JoinFilterGraph(nullptr, nullptr);
        r->ReleaseInner();
        source->ReleaseInner();
        type.reset();
        FilterTest::TearDown();
    }
    HRESULT Connect() { return source->pin->Connect(r->InputPin()->PinInterface(), type.get()); }
    // One frame of bytes `fill` with the given times; the Receive result.
    HRESULT Send(REFERENCE_TIME start, REFERENCE_TIME stop, BYTE fill) {
        IMediaSample* sample = nullptr;
        HRESULT hr = source->pin->AcquireBuffer(&sample, &start, &stop, 0);
        if (FAILED(hr)) return hr;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::memset(data, fill, 960 * 240);
        sample->SetActualDataLength(960 * 240);
        sample->SetTime(&start, &stop);
        hr = source->pin->SendSample(sample);
        sample->Release();
        return hr;
    }
    D_CMovieRenderer* r = nullptr;
    TestSource* source = nullptr;
    FakeGraph graph;
    std::unique_ptr<VideoType> type;
};

TEST_F(RendererStates, RunningUnconnectedCompletesAtOnce) {
    EXPECT_EQ(S_OK, r->Run(0));
    EXPECT_EQ(1, graph.Count(EC_COMPLETE));
    IPin* pin = nullptr;
    EXPECT_EQ(S_OK, r->FindPin(L"In", &pin));
    pin->Release();
    EXPECT_EQ(VFW_E_NOT_FOUND, r->FindPin(L"Out", &pin));
    EXPECT_EQ(nullptr, pin);
    int fps = -1;
    EXPECT_EQ(S_OK, r->get_AvgFrameRate(&fps));
    EXPECT_EQ(0, fps);
}

TEST_F(RendererStates, APauseCompletesWithTheFirstSampleAndEndsOnStop) {
    ASSERT_EQ(S_OK, Connect());
    ASSERT_EQ(S_OK, source->Pause());
    EXPECT_EQ(S_FALSE, r->Pause());
    FILTER_STATE state;
    EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, r->GetState(0, &state));
    EXPECT_EQ(State_Paused, state);
    // Paused, the renderer keeps the sample until it runs or stops: Receive waits.
    Worker streaming([&] { source->pin->Deliver(960 * 240, 0x33, 0); });
    EXPECT_EQ(S_OK, r->GetState(5000, &state));
    EXPECT_TRUE(RunWithTimeout([&] { r->Stop(); }, 10000)) << "stop must end the wait";
    EXPECT_TRUE(streaming.Join(10000));
}

// Without a clock samples show at once; end of stream follows the last one.
TEST_F(RendererStates, RunningShowsSamplesAndCompletesAfterTheLast) {
    ASSERT_EQ(S_OK, Connect());
    ASSERT_EQ(S_OK, source->Run(0));
    ASSERT_EQ(S_OK, r->Run(0));
    BaseImage image{};
    EXPECT_TRUE(RunWithTimeout([&] { EXPECT_EQ(S_OK, source->pin->Deliver(960 * 240, 0x44, 0)); }, 10000));
    EXPECT_EQ(1, r->TakeNewFrame(&image));
    EXPECT_EQ(0x44, ((uint8_t*)image.pixels)[0]);
    BaseImageRelease(&image);
    // A stop before the start cannot be scheduled: dropped quietly and counted.
    EXPECT_TRUE(RunWithTimeout([&] { EXPECT_EQ(S_OK, Send(50000, 10000, 0x66)); }, 10000));
    EXPECT_EQ(0, r->TakeNewFrame(&image));
    EXPECT_EQ(0, graph.Count(EC_COMPLETE));
    EXPECT_EQ(S_OK, r->InputPin()->EndOfStream());
    EXPECT_EQ(1, graph.Count(EC_COMPLETE));
    int drawn = 0, dropped = 0;
    r->get_FramesDrawn(&drawn);
    r->get_FramesDroppedInRenderer(&dropped);
    EXPECT_EQ(1, drawn);
    EXPECT_EQ(1, dropped);
}

// With the platform's clock: end of stream waits for the last sample's stop
// time when that lies 50 ms or more ahead, and a sample due later waits for it.
TEST_F(RendererStates, EndOfStreamFollowsTheLastSamplesStopTimeOnTheClock) {
    IReferenceClock* clock = nullptr;
    ASSERT_EQ(S_OK, WinApi.CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock,
                                            (void**)&clock));
    ASSERT_EQ(S_OK, Connect());
    r->SetSyncSource(clock);
    struct Case { REFERENCE_TIME stop; bool at_once; } cases[] = {{300000, true}, {20000000, false}};
    for (const Case& c : cases) {
        graph.events.clear();
        REFERENCE_TIME now = 0;
        clock->GetTime(&now);
        ASSERT_EQ(S_OK, source->Run(now));
        ASSERT_EQ(S_OK, r->Run(now));
        EXPECT_TRUE(RunWithTimeout([&] { Send(0, c.stop, 0x11); }, 10000));
        EXPECT_EQ(S_OK, r->InputPin()->EndOfStream());
        EXPECT_EQ(c.at_once ? 1 : 0, graph.Count(EC_COMPLETE)) << c.stop;
        for (DWORD t = GetTickCount(); !graph.Count(EC_COMPLETE) && GetTickCount() - t < 8000;) Sleep(10);
        EXPECT_EQ(1, graph.Count(EC_COMPLETE)) << "delivered by the timer";
        r->Stop();
        source->Stop();
    }
    // A sample due two seconds from now waits for its time (a stop ends the wait).
    REFERENCE_TIME now = 0;
    clock->GetTime(&now);
    ASSERT_EQ(S_OK, source->Run(now));
    ASSERT_EQ(S_OK, r->Run(now));
    BaseImage image{};
    r->TakeNewFrame(&image);  // the frames of the cases above
    {
        Worker streaming([&] { Send(20000000, 20100000, 0x22); });
        Sleep(200);
        EXPECT_EQ(0, r->TakeNewFrame(&image)) << "drawn before its time";
        for (DWORD t = GetTickCount(); r->TakeNewFrame(&image) != 1 && GetTickCount() - t < 8000;) Sleep(10);
        EXPECT_TRUE(image.pixels && ((uint8_t*)image.pixels)[0] == 0x22) << "drawn at its time";
        EXPECT_TRUE(streaming.Join(10000));
    }
    BaseImageRelease(&image);
    r->Stop();
    source->Stop();
    r->SetSyncSource(nullptr);
    clock->Release();
}

TEST_F(RendererStates, SeekingWithoutUpstreamAndAZeroRate) {
    IMediaSeeking* seeking = nullptr;
    ASSERT_EQ(S_OK, r->QueryInterface(IID_IMediaSeeking, (void**)&seeking));
    EXPECT_EQ(E_INVALIDARG, seeking->SetRate(0.0));
    EXPECT_EQ(E_NOTIMPL, seeking->SetRate(1.0)) << "unconnected: nobody upstream to ask";
    LONGLONG stop = 0;
    EXPECT_EQ(E_NOTIMPL, seeking->GetStopPosition(&stop));
    IMediaPosition* position = nullptr;
    ASSERT_EQ(S_OK, seeking->QueryInterface(IID_IMediaPosition, (void**)&position));
    EXPECT_EQ(E_INVALIDARG, position->put_Rate(0.0));
    UINT count = 0;
    EXPECT_EQ(S_OK, position->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, position->GetTypeInfo(1, 0, &info));
    EXPECT_EQ(DISP_E_UNKNOWNINTERFACE, position->Invoke(1, IID_IUnknown, 0, 0, nullptr, nullptr, nullptr, nullptr));
    position->Release();
    seeking->Release();
}

}  // namespace
