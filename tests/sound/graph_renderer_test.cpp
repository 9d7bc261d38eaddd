// A sound loaded through the platform's filter graph keeps none of the
// renderers the graph builder chose: the PCM is one whole sound track, out of
// the grabber, and every other track the file holds (another sound track, a
// video) ends in a null renderer too, so the load neither plays nor shows
// anything and runs as fast as the filters deliver. Which of two sound tracks
// the grabber gets is the builder's choice: it takes the parser's first
// output, and the platform's AVI parser numbers its outputs in an order that
// changes from load to load.
#include "sound/sound_fixture.h"

#include <algorithm>

#include "engine/movie/filters/filter_guids.h"
#include "engine/movie/filters/graph_pins.h"
#include "engine/movie/filters/unknown.h"
#include "movie/avi_writer.h"
#include "support/graph_stand_in.h"

using namespace soundtest;

namespace {

const int kRunSlot = 7, kMediaControlEntries = 16;
const int kSeconds = 10;

// The graph as it is run.
struct RunGraph {
    int runs = 0;
    int null_renderers = 0;
    std::vector<CLSID> other_sinks;   // filters without an output pin, null renderers aside
};
RunGraph g_run;

void InspectGraph(IFilterGraph* graph) {
    IEnumFilters* filters = nullptr;
    if (FAILED(graph->EnumFilters(&filters))) return;
    IBaseFilter* f = nullptr;
    while (filters->Next(1, &f, nullptr) == S_OK) {
        IPin* out = FindPinByDirection(f, PINDIR_OUTPUT);
        CLSID clsid = GUID_NULL;
        if (out) {
            out->Release();
        } else if (SUCCEEDED(f->GetClassID(&clsid)) && IsEqualCLSID(clsid, CLSID_NullRenderer)) {
            g_run.null_renderers++;
        } else {
            g_run.other_sinks.push_back(clsid);
        }
        f->Release();
    }
    filters->Release();
}

HRESULT STDMETHODCALLTYPE RunAfterInspecting(IMediaControl* self) {
    g_run.runs++;
    IFilterGraph* graph = nullptr;
    if (SUCCEEDED(self->QueryInterface(IID_IFilterGraph, (void**)&graph))) {
        InspectGraph(graph);
        graph->Release();
    }
    return ((HRESULT(STDMETHODCALLTYPE*)(IMediaControl*))graphtest::g_stand_in.original)(self);
}

// A sound track of the file: kSeconds of a square wave of that level.
struct Track {
    int rate, channels;
    int16_t level;
};

avitest::PcmTrack Square(const Track& t) { return avitest::SquareTrack(t.rate, t.channels, kSeconds, t.level, 30); }

uint32_t Grey(int, int, int) { return 0x808080; }

class GraphRenderers : public SoundSystemTest {
protected:
    void TearDown() override {
        SoundSystemTest::TearDown();
        EXPECT_EQ(0, D_CBaseObject::LiveObjectCount()) << "filter objects left alive";
    }
};

// Loaded again and again, the file gives a whole track each time, whichever it is.
TEST_F(GraphRenderers, OneWholeSoundTrackIsLoadedAndNothingElseRenders) {
    SetSoundDecoderDisableMask(SOUND_DECODER_MP3_ACM);
    const Track mono = {22050, 1, 0x1000}, stereo = {44100, 2, 0x3000};
    const struct { const char* what; Bytes file; std::vector<Track> tracks; int loads; } cases[] = {
        {"two sound tracks", avitest::MakePcmTracksAvi({Square(stereo), Square(mono)}), {stereo, mono}, 10},
        {"raw video and a sound track", avitest::MakeRgbAvi(32, 24, kSeconds * 10, 10, Grey, 22050), {{22050, 1, 0x2000}}, 1},
    };
    for (const auto& c : cases) {
        for (int load = 0; load < c.loads; load++) {
            SCOPED_TRACE(::testing::Message() << c.what << ", load " << load);
            g_run = RunGraph();
            int result = -2;
            WAVEFORMATEX fmt = {};
            Bytes pcm;
            DWORD ms = 0;
            {
                graphtest::StandIn inspect(kRunSlot, (void*)RunAfterInspecting, &IID_IMediaControl, kMediaControlEntries);
                ASSERT_TRUE(graphtest::RunComWithTimeout(
                    [&] {
                        MemConverter mc;
                        const DWORD start = GetTickCount();
                        result = mc.Open(c.file);
                        ms = GetTickCount() - start;
                        if (result == 0) GetConverterWaveFormat(&mc.conv, &fmt), pcm = mc.ReadAll();
                    },
                    60000));
            }
            ASSERT_EQ(0, result);
            EXPECT_LT(ms, 5000u) << "generous: a sound renderer left in plays the file's " << kSeconds << " s";
            ASSERT_EQ(1, g_run.runs);
            EXPECT_EQ(2, g_run.null_renderers) << "one for each track";
            for (const CLSID& other : g_run.other_sinks) ADD_FAILURE() << std::hex << "a renderer left in: " << other.Data1;

            EXPECT_EQ(16, fmt.wBitsPerSample);
            auto track = std::find_if(c.tracks.begin(), c.tracks.end(), [&](const Track& t) {
                return (DWORD)t.rate == fmt.nSamplesPerSec && t.channels == fmt.nChannels;
            });
            ASSERT_NE(c.tracks.end(), track) << fmt.nSamplesPerSec << " Hz, " << fmt.nChannels << " channels";
            ASSERT_EQ((size_t)track->rate * kSeconds * track->channels * 2, pcm.size()) << "the whole track";
            const int16_t* s = (const int16_t*)pcm.data();
            const int16_t level = track->level;
            EXPECT_EQ(0, std::count_if(s, s + pcm.size() / 2, [&](int16_t v) { return v != level && v != -level; }))
                << "samples of another track";
        }
    }
}

}  // namespace
