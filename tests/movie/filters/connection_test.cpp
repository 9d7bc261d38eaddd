// Pin connection, type agreement, enumerators and the filter state machine.
#include "movie/filters/filter_test.h"

using namespace filtertest;

namespace {

// A source and a sink, each with one reference held by the test.
class PairTest : public FilterTest {
protected:
    void SetUp() override {
        FilterTest::SetUp();
        source = new TestSource;
        sink = new TestSink;
        source->FilterInterface()->AddRef();
        sink->FilterInterface()->AddRef();
    }
    void TearDown() override {
        source->Stop();
        sink->Stop();
        source->pin->Disconnect();
        sink->pin->Disconnect();
        source->FilterInterface()->Release();
        sink->FilterInterface()->Release();
        FilterTest::TearDown();
    }
    TestSource* source;
    TestSink* sink;
    TestType pcm{MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 18, 1};
    TestType mp3{MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Audio, FORMAT_WaveFormatEx, 18, 2};
    TestType video{MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 8, 3};
};

TEST_F(PairTest, TypeAgreementMatrix) {
    TestType anyAudio(MEDIATYPE_Audio, GUID_NULL), anything(GUID_NULL, GUID_NULL), pcmOnly(GUID_NULL, MEDIASUBTYPE_PCM);
    struct Case {
        std::vector<const AM_MEDIA_TYPE*> offered, sinkOffers, accepted;
        const AM_MEDIA_TYPE* asked;
        HRESULT refusal, expect;
        const AM_MEDIA_TYPE* agreed;
    } cases[] = {
        {{&pcm, &mp3}, {}, {&mp3}, nullptr, E_FAIL, S_OK, &mp3},
        {{&pcm, &mp3}, {&mp3}, {&pcm, &mp3}, nullptr, E_FAIL, S_OK, &mp3},   // receiver's types tried first
        {{&pcm, &mp3}, {}, {&pcm, &mp3}, &pcmOnly, E_FAIL, S_OK, &pcm},
        {{&mp3, &pcm}, {}, {&mp3, &pcm}, &pcmOnly, E_FAIL, S_OK, &pcm},       // the subtype filters the list
        {{&video, &pcm}, {}, {&video, &pcm}, &anyAudio, E_FAIL, S_OK, &pcm},
        {{&pcm, &mp3}, {}, {&pcm, &mp3}, &mp3, E_FAIL, S_OK, &mp3},           // a full type is the only attempt
        {{&pcm}, {}, {&pcm}, &mp3, E_FAIL, VFW_E_TYPE_NOT_ACCEPTED, nullptr},
        {{&pcm, &mp3}, {}, {&video}, &anything, E_FAIL, VFW_E_NO_ACCEPTABLE_TYPES, nullptr},
        {{&pcm, &mp3}, {}, {&video}, nullptr, E_ACCESSDENIED, E_ACCESSDENIED, nullptr},
    };
    for (size_t i = 0; i < sizeof cases / sizeof *cases; ++i) {
        const Case& c = cases[i];
        source->offered = c.offered;
        sink->offered = c.sinkOffers;
        sink->accepted = c.accepted;
        sink->refusal = c.refusal;
        EXPECT_EQ(c.expect, source->pin->Connect(sink->pin, c.asked)) << "case " << i;
        if (c.agreed) {
            EXPECT_TRUE(source->pin->CurrentMediaType() == *c.agreed) << "case " << i;
            EXPECT_TRUE(sink->pin->CurrentMediaType() == *c.agreed) << "case " << i;
        }
        EXPECT_EQ(c.agreed != nullptr, source->pin->IsConnected()) << "case " << i;
        source->pin->Disconnect();
        sink->pin->Disconnect();
    }
}

TEST_F(PairTest, ConnectionRulesAndStates) {
    source->offered = {&pcm};
    EXPECT_EQ(E_POINTER, source->pin->Connect(nullptr, &pcm));
    EXPECT_EQ(VFW_E_INVALID_DIRECTION, source->pin->Connect(source->pin, &pcm));
    ASSERT_EQ(S_OK, sink->Pause());
    EXPECT_EQ(VFW_E_NOT_STOPPED, sink->pin->ReceiveConnection(source->pin, &pcm));
    EXPECT_EQ(S_OK, sink->Stop());
    ASSERT_EQ(S_OK, source->pin->Connect(sink->pin, &pcm));
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, source->pin->Connect(sink->pin, &pcm));
    IPin* peer = nullptr;
    ASSERT_EQ(S_OK, sink->pin->ConnectedTo(&peer));
    EXPECT_EQ(source->pin->PinInterface(), peer);
    peer->Release();

    // The platform allocator came from the sink; pausing commits it, so Disconnect waits for Stop.
    ASSERT_NE(nullptr, source->pin->Allocator());
    ASSERT_EQ(S_OK, source->Pause());
    EXPECT_EQ(VFW_E_NOT_STOPPED, source->pin->Disconnect());
    EXPECT_EQ(S_OK, source->Run(0));
    EXPECT_EQ(S_OK, source->Stop());
    EXPECT_EQ(S_OK, source->pin->Disconnect());
    EXPECT_EQ(S_FALSE, source->pin->Disconnect());
}

TEST_F(PairTest, FindPinQueryIdAndInfo) {
    IPin* pin = (IPin*)1;
    EXPECT_EQ(VFW_E_NOT_FOUND, sink->FindPin(L"Out", &pin));
    EXPECT_EQ(nullptr, pin);
    ASSERT_EQ(S_OK, sink->FindPin(L"In", &pin));
    LPWSTR id = nullptr;
    ASSERT_EQ(S_OK, pin->QueryId(&id));
    EXPECT_STREQ(L"In", id);
    WinApi.CoTaskMemFree(id);
    PIN_INFO info;
    ASSERT_EQ(S_OK, pin->QueryPinInfo(&info));
    EXPECT_EQ(sink->FilterInterface(), info.pFilter);
    EXPECT_EQ(PINDIR_INPUT, info.dir);
    info.pFilter->Release();
    pin->Release();
}

TEST_F(PairTest, PinEnumeratorOutOfSyncAfterPinListChange) {
    IEnumPins* e = nullptr;
    ASSERT_EQ(S_OK, source->EnumPins(&e));
    IPin* pins[2] = {};
    ULONG got = 9;
    EXPECT_EQ(E_INVALIDARG, e->Next(2, pins, nullptr));
    EXPECT_EQ(S_OK, e->Next(1, pins, &got));
    EXPECT_EQ(1u, got);
    pins[0]->Release();
    EXPECT_EQ(S_FALSE, e->Next(1, pins, &got));
    EXPECT_EQ(0u, got);
    EXPECT_EQ(S_OK, e->Reset());
    EXPECT_EQ(S_FALSE, e->Skip(2));
    EXPECT_EQ(S_OK, e->Skip(1));

    source->ChangePins(1);
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, e->Skip(0));
    IEnumPins* clone = (IEnumPins*)1;
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, e->Clone(&clone));
    EXPECT_EQ(nullptr, clone);
    // Next starts again but does not return the pin it returned before.
    EXPECT_EQ(S_OK, e->Reset());
    ASSERT_EQ(S_OK, e->Next(1, pins, &got));
    pins[0]->Release();
    source->ChangePins(1);
    EXPECT_EQ(S_FALSE, e->Next(1, pins, &got));
    EXPECT_EQ(0u, got);

    EXPECT_EQ(S_OK, e->Reset());
    ASSERT_EQ(S_OK, e->Clone(&clone));
    ASSERT_EQ(S_OK, clone->Next(1, pins, &got));
    pins[0]->Release();
    clone->Release();
    e->Release();
}

TEST_F(PairTest, MediaTypeEnumerator) {
    source->offered = {&pcm, &mp3};
    IEnumMediaTypes* e = nullptr;
    ASSERT_EQ(S_OK, source->pin->EnumMediaTypes(&e));
    AM_MEDIA_TYPE* types[3] = {};
    ULONG got = 0;
    EXPECT_EQ(S_FALSE, e->Next(3, types, &got));
    ASSERT_EQ(2u, got);
    EXPECT_TRUE(MediaTypeEquals(types[1], &mp3));
    DeleteMediaType(types[0]);
    DeleteMediaType(types[1]);
    EXPECT_EQ(S_OK, e->Reset());
    EXPECT_EQ(S_OK, e->Skip(2));
    EXPECT_EQ(S_FALSE, e->Skip(1)) << "beyond the last type";
    EXPECT_EQ(S_FALSE, e->Next(1, types, &got));
    EXPECT_EQ(0u, got);
    IEnumMediaTypes* clone = nullptr;
    EXPECT_EQ(S_OK, e->Reset());
    ASSERT_EQ(S_OK, e->Clone(&clone));
    ASSERT_EQ(S_OK, clone->Next(1, types, nullptr));
    EXPECT_TRUE(MediaTypeEquals(types[0], &pcm));
    DeleteMediaType(types[0]);
    clone->Release();
    e->Release();
}

TEST_F(PairTest, ClockGraphAndEvents) {
    FakeClock clock;
    FakeGraph graph;
    REFERENCE_TIME t;
    EXPECT_EQ(VFW_E_NO_CLOCK, sink->GetStreamTime(&t));
    EXPECT_EQ(S_OK, sink->SetSyncSource(&clock));
    EXPECT_EQ(2, clock.refs.load());
    clock.now = 5000;
    ASSERT_EQ(S_OK, sink->Run(1000));
    ASSERT_EQ(S_OK, sink->GetStreamTime(&t));
    EXPECT_EQ(4000, t);
    clock.failWith = E_FAIL;
    EXPECT_EQ(E_FAIL, sink->GetStreamTime(&t));
    EXPECT_EQ(S_OK, sink->SetSyncSource(nullptr));
    EXPECT_EQ(1, clock.refs.load());

    EXPECT_EQ(E_NOTIMPL, sink->FilterNotifyEvent(EC_COMPLETE, 0, 0));
    ASSERT_EQ(S_OK, sink->JoinFilterGraph(&graph, L"sink"));
    EXPECT_EQ(1, graph.refs.load()) << "a filter keeps no reference on its graph";
    EXPECT_EQ(S_OK, sink->FilterNotifyEvent(EC_COMPLETE, S_OK, 0));
    ASSERT_EQ(1u, graph.events.size());
    EXPECT_EQ((LONG_PTR)sink->FilterInterface(), graph.events[0].p2);
    FILTER_INFO info;
    ASSERT_EQ(S_OK, sink->QueryFilterInfo(&info));
    EXPECT_STREQ(L"sink", info.achName);
    info.pGraph->Release();

    EXPECT_EQ(S_OK, sink->ReconnectPin(sink->pin, nullptr));
    graph.offerGraph2 = false;
    EXPECT_EQ(S_OK, sink->ReconnectPin(sink->pin, nullptr));
    EXPECT_EQ(2u, graph.reconnected.size());
    EXPECT_EQ(S_OK, sink->JoinFilterGraph(nullptr, nullptr));
    EXPECT_EQ(E_NOINTERFACE, sink->ReconnectPin(sink->pin, nullptr));
    EXPECT_EQ(S_FALSE, sink->Register()) << "no setup data";
}

TEST_F(PairTest, RefusedTypeChangeStopsTheStreamUntilStopped) {
    FakeGraph graph;
    sink->JoinFilterGraph(&graph, L"sink");
    source->offered = {&pcm};
    source->wanted.cBuffers = 4;
    ASSERT_EQ(S_OK, source->pin->Connect(sink->pin, &pcm));
    sink->accepted = {&pcm};
    ASSERT_EQ(S_OK, source->Pause());
    ASSERT_EQ(S_OK, sink->Pause());
    IMediaSample* s = nullptr;
    ASSERT_EQ(S_OK, source->pin->Allocator()->GetBuffer(&s, nullptr, nullptr, 0));
    s->SetMediaType(&video);
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, source->pin->SendSample(s));
    EXPECT_EQ(1, graph.Count(EC_ERRORABORT));
    EXPECT_EQ(1, sink->endOfStreams.load());
    s->SetMediaType(nullptr);
    EXPECT_EQ(VFW_E_RUNTIME_ERROR, source->pin->SendSample(s));
    sink->Stop();
    sink->Pause();
    ASSERT_EQ(S_OK, source->pin->Allocator()->Commit());   // the sink's Stop decommitted the shared pool
    EXPECT_EQ(S_OK, source->pin->SendSample(s));
    s->Release();

    IMediaSample* three[3] = {};
    for (auto& x : three) ASSERT_EQ(S_OK, source->pin->Allocator()->GetBuffer(&x, nullptr, nullptr, AM_GBF_NOWAIT));
    three[1]->SetMediaType(&video);
    LONG done = -1;
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, sink->pin->ReceiveMultiple(three, 3, &done));
    EXPECT_EQ(1, done);
    for (auto* x : three) x->Release();
    sink->JoinFilterGraph(nullptr, nullptr);
}

}  // namespace
