// The renderers a graph builder chose give way to null renderers whichever of
// their inputs carries the stream.
#include "sound/sound_fixture.h"

#include "engine/movie/filters/filter_guids.h"
#include "engine/movie/filters/unknown.h"
#include "engine/sound/null_renderer_swap.h"
#include "movie/filters/com_kit.h"

namespace {

using filtertest::TestSink;
using filtertest::TestSinkPin;

// A sink of two inputs, as a renderer that mixes streams has.
class TwoInputSink : public TestSink {
public:
    TwoInputSink() {
        HRESULT hr = S_OK;
        first = new TestSinkPin(this, &hr);
    }
    ~TwoInputSink() override { delete first; }
    int PinCount() override { return 2; }
    D_CBasePin* PinAt(int n) override { return n == 0 ? first : n == 1 ? pin : nullptr; }
    TestSinkPin* first;
};

CLSID ClassOfPeer(IPin* pin) {
    IPin* peer = nullptr;
    PIN_INFO info = {};
    CLSID clsid = GUID_NULL;
    if (SUCCEEDED(pin->ConnectedTo(&peer)) && SUCCEEDED(peer->QueryPinInfo(&info))) {
        info.pFilter->GetClassID(&clsid);
        info.pFilter->Release();
    }
    if (peer) peer->Release();
    return clsid;
}

TEST(RendererSwap, ARendererWhoseFirstInputIsFreeIsReplacedToo) {
    LoadPlatformEntryPoints();
    WinApi.CoInitialize(nullptr);
    {
        const filtertest::TestType pcm(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, sizeof(WAVEFORMATEX));
        IGraphBuilder* graph = nullptr;
        ASSERT_EQ(S_OK, WinApi.CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                                (void**)&graph));
        auto* source = new filtertest::TestSource;
        source->offered = {&pcm};
        auto* sink = new TwoInputSink;
        sink->FilterInterface()->AddRef();   // ours past its removal from the graph
        ASSERT_EQ(S_OK, graph->AddFilter(source->FilterInterface(), L"source"));
        ASSERT_EQ(S_OK, graph->AddFilter(sink->FilterInterface(), L"mixer"));
        ASSERT_EQ(S_OK, graph->ConnectDirect(source->pin, sink->pin, &pcm)) << "the second input";
        IBaseFilter* null_renderer = nullptr;
        ASSERT_EQ(S_OK, WinApi.CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                                (void**)&null_renderer));

        EXPECT_EQ(nullptr, ReplaceRenderersWithNullRenderers(graph, null_renderer));
        EXPECT_FALSE(sink->pin->IsConnected());
        EXPECT_TRUE(IsEqualCLSID(CLSID_NullRenderer, ClassOfPeer(source->pin)));
        IBaseFilter* left = nullptr;
        EXPECT_EQ(VFW_E_NOT_FOUND, graph->FindFilterByName(L"mixer", &left)) << "the mixer is out of the graph";
        if (left) left->Release();

        null_renderer->Release();
        graph->Release();
        sink->FilterInterface()->Release();
    }
    EXPECT_EQ(0, D_CBaseObject::LiveObjectCount()) << "filter objects left alive";
    WinApi.CoUninitialize();
}

}  // namespace
