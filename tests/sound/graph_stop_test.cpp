// A sound load through the platform's filter graph stops the graph only once
// the end of stream has come back out of the grabber: the platform's parser
// loses the wake-up of a stop that meets its streaming thread on the way back.
#include "sound/sound_fixture.h"

#include "engine/movie/filters/filter_guids.h"
#include "engine/movie/filters/graph_pins.h"
#include "engine/movie/filters/sample_grabber.h"
#include "engine/movie/filters/unknown.h"
#include "support/graph_stand_in.h"

using namespace soundtest;

namespace {

const int kStopSlot = 9, kMediaControlEntries = 16;
// IPin: IUnknown's 3, then EndOfStream after 11 others; 18 in all.
const int kEndOfStreamSlot = 14, kPinEntries = 18;
// Long enough that a stop that does not wait for the end of stream comes in while it is held up.
const DWORD kHeldUpMs = 300;

void* g_pin_table[kPinEntries];
void* g_real_end_of_stream;
decltype(WinApi.CoCreateInstance) g_real_create;
volatile LONG g_stops, g_early_stops;

// The end of stream lingers in the null renderer after it has raised the completion.
HRESULT STDMETHODCALLTYPE EndOfStreamHeldUp(IPin* self) {
    const HRESULT hr = ((HRESULT(STDMETHODCALLTYPE*)(IPin*))g_real_end_of_stream)(self);
    Sleep(kHeldUpMs);
    return hr;
}

HRESULT WINAPI CreateNullRendererHoldingUp(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
    const HRESULT hr = g_real_create(clsid, outer, context, iid, out);
    IBaseFilter* filter = nullptr;
    if (FAILED(hr) || !IsEqualCLSID(clsid, CLSID_NullRenderer) ||
        FAILED(((IUnknown*)*out)->QueryInterface(IID_IBaseFilter, (void**)&filter)))
        return hr;
    if (IPin* in = FindPinByDirection(filter, PINDIR_INPUT)) {
        void*** object = (void***)in;
        std::memcpy(g_pin_table, *object, sizeof g_pin_table);
        g_real_end_of_stream = g_pin_table[kEndOfStreamSlot];
        g_pin_table[kEndOfStreamSlot] = (void*)EndOfStreamHeldUp;
        *object = g_pin_table;
        in->Release();
    }
    filter->Release();
    return hr;
}

bool GrabberHasPassedEndOfStream(IMediaControl* control) {
    IFilterGraph* graph = nullptr;
    IEnumFilters* filters = nullptr;
    if (FAILED(control->QueryInterface(IID_IFilterGraph, (void**)&graph))) return false;
    bool passed = false;
    if (SUCCEEDED(graph->EnumFilters(&filters))) {
        IBaseFilter* f = nullptr;
        IGrabberControl* grabber = nullptr;
        while (filters->Next(1, &f, nullptr) == S_OK) {
            if (SUCCEEDED(f->QueryInterface(IID_IGrabberControl, (void**)&grabber))) {
                passed = static_cast<D_CSampleGrabber*>(grabber)->WaitForEndOfStreamPassed(0);
                grabber->Release();
            }
            f->Release();
        }
        filters->Release();
    }
    graph->Release();
    return passed;
}

HRESULT STDMETHODCALLTYPE StopCheckingEndOfStream(IMediaControl* self) {
    InterlockedIncrement(&g_stops);
    if (!GrabberHasPassedEndOfStream(self)) InterlockedIncrement(&g_early_stops);
    return ((HRESULT(STDMETHODCALLTYPE*)(IMediaControl*))graphtest::g_stand_in.original)(self);
}

class GraphStop : public SoundSystemTest {};

TEST_F(GraphStop, TheGraphStopsOnlyOnceTheEndOfStreamHasLeftTheGrabber) {
    SetSoundDecoderDisableMask(SOUND_DECODER_MP3_ACM);
    const Bytes mp3 = ReadFileBytes("half.mp3");
    ASSERT_FALSE(mp3.empty());
    g_stops = g_early_stops = 0;
    int result = -2;
    g_real_create = WinApi.CoCreateInstance;
    WinApi.CoCreateInstance = CreateNullRendererHoldingUp;
    {
        graphtest::StandIn check(kStopSlot, (void*)StopCheckingEndOfStream, &IID_IMediaControl, kMediaControlEntries);
        EXPECT_TRUE(graphtest::RunComWithTimeout([&] { result = MemConverter().Open(mp3); }, 60000));
    }
    WinApi.CoCreateInstance = g_real_create;
    EXPECT_EQ(0, result);
    EXPECT_GE(g_stops, 1);
    EXPECT_EQ(0, g_early_stops) << "stopped while the end of stream was still on its way back";
    EXPECT_TRUE(graphtest::WaitForNoLiveObjects(10000)) << "filter objects left alive";
}

}  // namespace
