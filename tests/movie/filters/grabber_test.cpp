// Sample grabber: accepted types, callback, delivery buffer, the end of stream passed.
#include "movie/filters/filter_test.h"

#include "engine/movie/filters/sample_grabber.h"

using namespace filtertest;

namespace {

struct Grab {
    int calls = 0;
    int typeChanged = 0;
    HRESULT answer = S_OK;
    REFERENCE_TIME lastStart = -1;
};

HRESULT OnSample(IMediaSample*, REFERENCE_TIME* start, REFERENCE_TIME*, BOOL typeChanged, void* user) {
    Grab* g = (Grab*)user;
    ++g->calls;
    g->typeChanged += typeChanged;
    g->lastStart = *start;
    return g->answer;
}

// source -> grabber -> sink in the platform's graph.
class GrabberTest : public FilterTest {
protected:
    void SetUp() override {
        FilterTest::SetUp();
        ASSERT_EQ(S_OK, WinApi.CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                                (void**)&graph));
        HRESULT hr = E_FAIL;
        grabber = CreateSampleGrabber(nullptr, &hr);
        ASSERT_EQ(S_OK, hr);
        ASSERT_EQ(S_OK, grabber->QueryInterface(IID_IGrabberControl, (void**)&control));
        source = new TestSource;
        sink = new TestSink;
        graph->AddFilter(source->FilterInterface(), L"source");
        graph->AddFilter(grabber->FilterInterface(), L"grabber");
        graph->AddFilter(sink->FilterInterface(), L"sink");
    }
    void TearDown() override {
        TearDownGraph();
        FilterTest::TearDown();
    }
    void TearDownGraph() {
        IMediaControl* mc = nullptr;
        if (graph && SUCCEEDED(graph->QueryInterface(IID_IMediaControl, (void**)&mc))) {
            mc->Stop();
            mc->Release();
        }
        if (control) control->Release();
        if (graph) graph->Release();
        control = nullptr;
        graph = nullptr;
    }
    HRESULT ConnectAll(const AM_MEDIA_TYPE* type) {
        source->offered = {type};
        HRESULT hr = graph->ConnectDirect(source->pin, grabber->PinAt(0)->PinInterface(), type);
        if (FAILED(hr)) return hr;
        return graph->ConnectDirect(grabber->PinAt(1)->PinInterface(), sink->pin, type);
    }
    HRESULT Run() {
        IMediaControl* mc = nullptr;
        graph->QueryInterface(IID_IMediaControl, (void**)&mc);
        HRESULT hr = mc->Run();
        mc->Release();
        return hr;
    }
    IGraphBuilder* graph = nullptr;
    D_CSampleGrabber* grabber = nullptr;
    IGrabberControl* control = nullptr;
    TestSource* source = nullptr;
    TestSink* sink = nullptr;
    TestType pcm{MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 18, 1};
    TestType video{MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 8, 3};
};

TEST_F(GrabberTest, AcceptedTypeWildcards) {
    TestType anyAudio(MEDIATYPE_Audio, GUID_NULL), anyMajor(GUID_NULL, MEDIASUBTYPE_MPEG1Audio);
    struct Case {
        const AM_MEDIA_TYPE* accepted;
        const AM_MEDIA_TYPE* offered;
        HRESULT expect;
    } cases[] = {
        {&anyAudio, &pcm, S_OK},
        {&anyAudio, &video, VFW_E_INVALID_MEDIA_TYPE},
        {&anyMajor, &video, S_OK},   // the subtype is not looked at under a null major type
        {&pcm, &pcm, S_OK},
        {nullptr, &video, S_OK},
    };
    for (size_t i = 0; i < sizeof cases / sizeof *cases; ++i) {
        ASSERT_EQ(S_OK, control->SetAcceptedMediaType(cases[i].accepted));
        EXPECT_EQ(cases[i].expect, grabber->IsInputTypeAcceptable(cases[i].offered)) << "case " << i;
    }
}

TEST_F(GrabberTest, CallbackSeesEverySampleAndCanDropIt) {
    AM_MEDIA_TYPE got;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, control->GetConnectedMediaType(&got));
    TestType anyAudio(MEDIATYPE_Audio, GUID_NULL);
    control->SetAcceptedMediaType(&anyAudio);
    Grab g;
    control->SetCallback(OnSample, &g);
    ASSERT_EQ(S_OK, ConnectAll(&pcm));
    ASSERT_EQ(S_OK, control->GetConnectedMediaType(&got));
    EXPECT_TRUE(MediaTypeEquals(&got, &pcm));
    FreeMediaTypeContents(&got);
    ALLOCATOR_PROPERTIES one = {1, 100, 1, 0};
    BYTE buffer[100];
    EXPECT_EQ(E_INVALIDARG, control->SetDeliveryBuffer(one, buffer)) << "pins connected";

    ASSERT_TRUE(SUCCEEDED(Run()));
    ASSERT_TRUE(RunWithTimeout([&] {
        source->pin->NewSegment(1000, 0x7FFFFFFFFFFFFFFFLL, 1.0);
        grabber->PinAt(0)->NewSegment(1000, 0x7FFFFFFFFFFFFFFFLL, 1.0);
        EXPECT_EQ(S_OK, source->pin->Deliver(10, 1, 500));
        g.answer = S_FALSE;
        EXPECT_EQ(S_FALSE, source->pin->Deliver(10, 2, 600));
    }, 10000));
    EXPECT_EQ(2, g.calls);
    EXPECT_EQ(1, g.typeChanged) << "only the first sample after connecting";
    EXPECT_EQ(1600, g.lastStart) << "times are offset by the segment start";
    EXPECT_EQ(1, sink->samples.load()) << "the dropped sample went no further";
}

// The completion is raised downstream while the end-of-stream call is still in
// the sink; the grabber tells the end passed only once that call has come back,
// and a flush or a new run takes it back.
TEST_F(GrabberTest, EndOfStreamCountsAsPassedOnceTheCallHasComeBack) {
    ASSERT_EQ(S_OK, ConnectAll(&pcm));
    ASSERT_TRUE(SUCCEEDED(Run()));
    EXPECT_FALSE(grabber->WaitForEndOfStreamPassed(0));
    sink->holdEndOfStream = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    IPin* in = grabber->PinAt(0)->PinInterface();
    {
        Worker eos([&] { in->EndOfStream(); });
        for (const DWORD at = GetTickCount(); sink->endOfStreams == 0 && GetTickCount() - at < 5000;) Sleep(1);
        ASSERT_EQ(1, sink->endOfStreams.load());
        EXPECT_FALSE(grabber->WaitForEndOfStreamPassed(100)) << "the call is still downstream";
        SetEvent(sink->holdEndOfStream);
        EXPECT_TRUE(grabber->WaitForEndOfStreamPassed(5000));
        EXPECT_TRUE(eos.Join(5000));
    }
    CloseHandle(sink->holdEndOfStream);
    sink->holdEndOfStream = nullptr;
    ASSERT_TRUE(RunWithTimeout([&] {
        in->BeginFlush();
        EXPECT_FALSE(grabber->WaitForEndOfStreamPassed(0)) << "flushed";
        in->EndFlush();
        in->EndOfStream();
        EXPECT_TRUE(grabber->WaitForEndOfStreamPassed(0));
        IMediaControl* mc = nullptr;
        graph->QueryInterface(IID_IMediaControl, (void**)&mc);
        mc->Stop();
        mc->Pause();
        mc->Release();
        EXPECT_FALSE(grabber->WaitForEndOfStreamPassed(0)) << "a new run";
    }, 10000));
}

TEST_F(GrabberTest, DeliveryBufferReceivesTheData) {
    ALLOCATOR_PROPERTIES two = {2, 64, 1, 0}, one = {1, 64, 1, 0};
    BYTE buffer[64] = {};
    EXPECT_EQ(E_INVALIDARG, control->SetDeliveryBuffer(two, buffer));
    EXPECT_EQ(E_POINTER, control->SetDeliveryBuffer(one, nullptr));
    ASSERT_EQ(S_OK, control->SetDeliveryBuffer(one, buffer));
    source->wanted = {1, 64, 1, 0};
    ASSERT_EQ(S_OK, ConnectAll(&pcm));
    ASSERT_TRUE(SUCCEEDED(Run()));
    ASSERT_TRUE(RunWithTimeout([&] { EXPECT_EQ(S_OK, source->pin->Deliver(64, 0x42)); }, 10000));
    EXPECT_EQ(0x42, buffer[0]);
    EXPECT_EQ(0x42, buffer[63]);
    EXPECT_EQ(1, sink->samples.load());

    // Upstream may hold the private allocator after the grabber is gone.
    IMemAllocator* held = source->pin->Allocator();
    held->AddRef();
    TearDownGraph();
    EXPECT_GT(D_CBaseObject::LiveObjectCount(), 0) << "the allocator lives while a reference is held";
    ALLOCATOR_PROPERTIES props = {};
    EXPECT_EQ(S_OK, held->GetProperties(&props));
    EXPECT_EQ(64, props.cbBuffer);
    ALLOCATOR_PROPERTIES again = props;
    EXPECT_EQ(E_UNEXPECTED, held->SetProperties(&again, &props)) << "its pin is gone";
    held->Release();
}

// The input pin's private allocator, as an upstream pin would take it.
IMemAllocator* PinAllocator(D_CSampleGrabber* grabber) {
    IMemInputPin* pin = nullptr;
    IMemAllocator* allocator = nullptr;
    if (SUCCEEDED(grabber->PinAt(0)->PinInterface()->QueryInterface(IID_IMemInputPin, (void**)&pin))) {
        pin->GetAllocator(&allocator);
        pin->Release();
    }
    return allocator;
}

TEST_F(GrabberTest, ADroppedPrivateAllocatorHandsOutNothing) {
    ALLOCATOR_PROPERTIES large = {1, 4096, 1, 0}, small = {1, 2048, 1, 0};
    static BYTE buffer[4096];
    ASSERT_EQ(S_OK, control->SetDeliveryBuffer(large, buffer));
    IMemAllocator* kept = PinAllocator(grabber);
    ASSERT_NE(nullptr, kept);
    ASSERT_EQ(S_OK, control->SetDeliveryBuffer(small, buffer));
    ALLOCATOR_PROPERTIES request = {1, 1024, 1, 0}, actual;
    EXPECT_EQ(E_UNEXPECTED, kept->SetProperties(&request, &actual)) << "replaced: cut off from the pin";
    TearDownGraph();
    EXPECT_NE(S_OK, kept->Commit()) << "no buffer to hand out";
    kept->Release();
}

TEST_F(GrabberTest, ARefusedRequestKeepsTheAcceptedProperties) {
    ALLOCATOR_PROPERTIES delivery = {1, 2048, 1, 0};
    static BYTE buffer[2048];
    ASSERT_EQ(S_OK, control->SetDeliveryBuffer(delivery, buffer));
    IMemAllocator* allocator = PinAllocator(grabber);
    ASSERT_NE(nullptr, allocator);
    ALLOCATOR_PROPERTIES fits = {1, 1024, 1, 0}, tooMany = {4, 1 << 20, 1, 0}, actual, now;
    ASSERT_EQ(S_OK, allocator->SetProperties(&fits, &actual));
    EXPECT_EQ(E_FAIL, allocator->SetProperties(&tooMany, &actual));
    ASSERT_EQ(S_OK, allocator->GetProperties(&now));
    EXPECT_EQ(1, now.cBuffers);
    EXPECT_EQ(2048, now.cbBuffer);
    ASSERT_EQ(S_OK, allocator->Commit());
    IMediaSample* sample = nullptr;
    ASSERT_EQ(S_OK, allocator->GetBuffer(&sample, nullptr, nullptr, 0));
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    EXPECT_EQ(buffer, data);
    EXPECT_EQ(2048, sample->GetSize());
    sample->Release();
    allocator->Decommit();
    allocator->Release();
}

}  // namespace
