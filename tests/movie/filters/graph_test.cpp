// A chain of our own filters inside the platform's filter graph.
#include "movie/filters/filter_test.h"

using namespace filtertest;

namespace {

class GraphTest : public FilterTest {
protected:
    void TearDown() override {
        chain.Release();
        FilterTest::TearDown();
    }
    GraphChain chain;
    TestType pcm{MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 18, 1};
    TestType mp3{MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Audio, FORMAT_WaveFormatEx, 18, 2};
};

TEST_F(GraphTest, SamplesPassThroughOneSharedAllocator) {
    ASSERT_EQ(S_OK, chain.Create());
    chain.source->offered = {&pcm};
    ASSERT_EQ(S_OK, chain.Connect(&pcm, &pcm));
    IMemAllocator* shared = chain.source->pin->Allocator();
    ASSERT_NE(nullptr, shared);
    EXPECT_EQ(shared, chain.inPlace->OutputPin()->Allocator());
    EXPECT_EQ(shared, chain.sink->pin->Allocator());
    EXPECT_EQ(S_OK, chain.inPlace->InputPin()->ReceiveCanBlock());

    ASSERT_TRUE(SUCCEEDED(chain.control->Run()));
    bool done = RunWithTimeout([&] {
        WinApi.CoInitialize(nullptr);
        for (int i = 0; i < 50; ++i) EXPECT_EQ(S_OK, chain.source->pin->Deliver(1000, (BYTE)i, i * 10000));
        EXPECT_EQ(S_OK, chain.source->pin->PassEndOfStream());
        WinApi.CoUninitialize();
    }, 10000);
    ASSERT_TRUE(done) << "delivery blocked";
    EXPECT_EQ(50, chain.inPlace->transformed.load());
    EXPECT_EQ(50, chain.sink->samples.load());
    EXPECT_EQ(50000, chain.sink->bytes.load());
    ASSERT_EQ(1000u, chain.sink->lastData.size());
    EXPECT_EQ(49, chain.sink->lastData[999]);
    EXPECT_EQ(1, chain.sink->endOfStreams.load());
    EXPECT_TRUE(SUCCEEDED(chain.control->Stop()));
    EXPECT_EQ(VFW_E_NOT_COMMITTED, chain.source->pin->Deliver(10, 0)) << "the pool is decommitted when stopped";
}

TEST_F(GraphTest, DownstreamTypeReconnectsTheInput) {
    ASSERT_EQ(S_OK, chain.Create());
    chain.source->offered = {&pcm, &mp3};
    chain.sink->accepted = {&mp3};
    ASSERT_EQ(S_OK, chain.Connect(&pcm, nullptr));
    EXPECT_TRUE(chain.inPlace->OutputPin()->CurrentMediaType() == mp3);
    EXPECT_TRUE(chain.inPlace->InputPin()->CurrentMediaType() == mp3) << "the input was reconnected with the new type";
    EXPECT_TRUE(chain.source->pin->CurrentMediaType() == mp3);
    EXPECT_EQ(chain.source->pin->Allocator(), chain.sink->pin->Allocator());
}

TEST_F(GraphTest, ShortCopyDestinationFailsTheReceive) {
    ASSERT_EQ(S_OK, chain.Create(true));
    chain.source->offered = {&pcm};
    ASSERT_EQ(S_OK, chain.Connect(&pcm, &pcm));
    ASSERT_TRUE(SUCCEEDED(chain.control->Pause()));
    // A separate, smaller pool behind the output makes every sample a copy.
    HRESULT hr = S_OK;
    auto* small = new D_CMemAllocator("small pool", nullptr, &hr);
    small->AddRef();
    ALLOCATOR_PROPERTIES req = {1, 16, 1, 0}, got;
    ASSERT_EQ(S_OK, small->SetProperties(&req, &got));
    ASSERT_EQ(S_OK, small->Commit());
    chain.inPlace->OutputPin()->AdoptAllocator(small);
    small->Release();

    bool done = RunWithTimeout([&] {
        EXPECT_EQ(E_UNEXPECTED, chain.source->pin->Deliver(100, 7));
        EXPECT_EQ(S_OK, chain.source->pin->Deliver(16, 7));
    }, 10000);
    ASSERT_TRUE(done);
    EXPECT_EQ(1, chain.sink->samples.load());
    ASSERT_EQ(16u, chain.sink->lastData.size());
    EXPECT_EQ(8, chain.sink->lastData[15]) << "the copy was transformed, not the source";
}

}  // namespace
