// WAV writer: PCM through it into a memory stream gives a RIFF WAVE image.
#include "movie/filters/filter_test.h"

#include <cstring>

#include "engine/movie/filters/wav_dest.h"

using namespace filtertest;

namespace {

uint32_t Le32(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }

TEST_F(FilterTest, WavWriterProducesARiffImage) {
    HRESULT hr = E_FAIL;
    D_CWavDestFilter* wav = CreateWavDestFilter(nullptr, &hr);
    ASSERT_EQ(S_OK, hr);
    auto* source = new TestSource;
    auto* sink = new TestSink;
    for (IBaseFilter* f : {wav->FilterInterface(), source->FilterInterface(), sink->FilterInterface()}) f->AddRef();
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &sink->stream));

    WAVEFORMATEX fmt = {WAVE_FORMAT_PCM, 2, 8000, 32000, 4, 16, 0};
    TestType pcm(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 16);
    std::memcpy(pcm.pbFormat, &fmt, 16);
    TestType wave(MEDIATYPE_Stream, MEDIASUBTYPE_WAVE), video(MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 8);
    source->offered = {&video, &pcm};
    EXPECT_NE(S_OK, source->pin->Connect(wav->PinAt(0), &video)) << "only WAVEFORMATEX audio goes in";
    ASSERT_EQ(S_OK, source->pin->Connect(wav->PinAt(0), &pcm));
    ASSERT_EQ(S_OK, wav->PinAt(1)->Connect(sink->pin, nullptr));
    EXPECT_TRUE(sink->pin->CurrentMediaType().majortype == MEDIATYPE_Stream);

    for (int run = 0; run < 2; ++run) {   // a second run restarts the count and rewrites the header
        ASSERT_EQ(S_OK, sink->Pause());
        ASSERT_EQ(S_OK, wav->Pause());
        ASSERT_EQ(S_OK, source->Pause());
        ASSERT_TRUE(RunWithin(10000, [&] {
            EXPECT_EQ(S_OK, source->pin->Deliver(1000, 0x11));
            EXPECT_EQ(S_OK, source->pin->Deliver(1000, 0x22));
        }));
        EXPECT_EQ(2044u, wav->BytesWritten() + 44);
        source->Stop();
        ASSERT_EQ(S_OK, wav->Stop());
        sink->Stop();
    }

    HGLOBAL mem = nullptr;
    ASSERT_EQ(S_OK, GetHGlobalFromStream(sink->stream, &mem));
    ASSERT_GE(GlobalSize(mem), 2044u);
    const BYTE* img = (const BYTE*)GlobalLock(mem);
    EXPECT_EQ(0, std::memcmp(img, "RIFF", 4));
    EXPECT_EQ(2036u, Le32(img + 4));
    EXPECT_EQ(0, std::memcmp(img + 8, "WAVEfmt ", 8));
    EXPECT_EQ(16u, Le32(img + 16));
    EXPECT_EQ(0, std::memcmp(img + 20, &fmt, 16));
    EXPECT_EQ(0, std::memcmp(img + 36, "data", 4));
    EXPECT_EQ(2000u, Le32(img + 40));
    EXPECT_EQ(0x11, img[44]);
    EXPECT_EQ(0x11, img[1043]);
    EXPECT_EQ(0x22, img[1044]) << "each sample lands at its byte position";
    EXPECT_EQ(0x22, img[2043]);
    GlobalUnlock(mem);

    source->pin->Disconnect();
    wav->PinAt(0)->Disconnect();
    wav->PinAt(1)->Disconnect();
    sink->pin->Disconnect();
    sink->stream->Release();
    sink->stream = nullptr;
    for (IBaseFilter* f : {wav->FilterInterface(), source->FilterInterface(), sink->FilterInterface()}) f->Release();
}

}  // namespace
