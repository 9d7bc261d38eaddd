// RIFF WAVE parsing: which files the PCM decoder takes, what format comes out,
// and that lying chunk headers are refused quickly instead of hanging or reading wild.
#include "sound/sound_fixture.h"

using namespace soundtest;

namespace {

class RiffWave : public SoundSystemTest {
protected:
    // Only the plain PCM decoder, so a rejection is its own.
    void SetUp() override {
        SoundSystemTest::SetUp();
        SetSoundDecoderDisableMask(~SOUND_DECODER_RIFF_PCM);
    }
};

TEST_F(RiffWave, PlainPcmComesOutByteForByte) {
    Bytes pcm = Ramp16(1000, 2);
    MemConverter c;
    ASSERT_EQ(0, c.Open(PcmWav(2, 22050, 16, pcm)));
    EXPECT_EQ(SOUND_CONVERT_RIFF_PCM, c.conv.method);
    EXPECT_EQ(pcm.size(), GetConvertedPcmSize(&c.conv));
    WAVEFORMATEX f;
    GetConverterWaveFormat(&c.conv, &f);
    EXPECT_EQ(2, f.nChannels);
    EXPECT_EQ(22050u, f.nSamplesPerSec);
    EXPECT_EQ(16, f.wBitsPerSample);
    EXPECT_EQ(0, f.cbSize);
    EXPECT_EQ(88200u, c.conv.block_size);
    EXPECT_EQ(pcm, c.ReadAll());
}

TEST_F(RiffWave, ChunkOrderRules) {
    Bytes pcm = Ramp16(64, 1);
    Bytes fmt = PcmFormatBody(1, 8000, 16);
    MemConverter c;
    // bext before fmt is stepped over.
    EXPECT_EQ(0, c.Open(RiffWriter().Chunk("bext", Bytes(10, 'b')).Chunk("fmt ", fmt).Chunk("data", pcm).Build()));
    EXPECT_EQ(pcm, c.ReadAll());
    // fact and an odd-sized chunk with its pad byte between fmt and data.
    EXPECT_EQ(0, c.Open(RiffWriter()
                            .Chunk("fmt ", fmt)
                            .Chunk("fact", Bytes(4, 1))
                            .Chunk("odd!", Bytes(5, 2))
                            .Chunk("data", pcm)
                            .Build()));
    EXPECT_EQ(pcm, c.ReadAll());
    // Anything but fmt first is refused, by both RIFF decoders.
    SetSoundDecoderDisableMask(~(SOUND_DECODER_RIFF_PCM | SOUND_DECODER_RIFF_ACM));
    EXPECT_EQ(-1, c.Open(RiffWriter().Chunk("LIST", Bytes(8, 0)).Chunk("fmt ", fmt).Chunk("data", pcm).Build()));
    EXPECT_EQ(-1, c.Open(RiffWriter().Chunk("JUNK", Bytes(8, 0)).Chunk("fmt ", fmt).Chunk("data", pcm).Build()));
    // No data chunk: refused at the end of the stream.
    EXPECT_EQ(-1, c.Open(RiffWriter().Chunk("fmt ", fmt).Chunk("LIST", Bytes(8, 0)).Build()));
    EXPECT_EQ(-1, c.Open(RiffWriter().Chunk("fmt ", fmt).Build()));
    // Not RIFF, not WAVE.
    Bytes bad = PcmWav(1, 8000, 16, pcm);
    bad[8] = 'X';
    EXPECT_EQ(-1, c.Open(bad));
    bad = PcmWav(1, 8000, 16, pcm);
    bad[0] = 'X';
    EXPECT_EQ(-1, c.Open(bad));
    // A failed search leaves the converter unset: terminating it does nothing.
    EXPECT_EQ(-1, TerminateSoundConverter(&c.conv));
}

TEST_F(RiffWave, FormatChunkSizes) {
    Bytes pcm = Ramp16(16, 2);
    MemConverter c;
    // 16 bytes: bits per sample recomputed from the block alignment.
    Bytes fmt16 = FormatBody(1, 2, 8000, 8 /* lie */, 4, 32000);
    ASSERT_EQ(0, c.Open(RiffWriter().Chunk("fmt ", fmt16).Chunk("data", pcm).Build()));
    EXPECT_EQ(16, c.conv.format.wBitsPerSample);
    EXPECT_EQ(0, c.conv.format.cbSize);
    // 14 bytes: no bits field at all.
    Bytes fmt14(fmt16.begin(), fmt16.begin() + 14);
    ASSERT_EQ(0, c.Open(RiffWriter().Chunk("fmt ", fmt14).Chunk("data", pcm).Build()));
    EXPECT_EQ(0, c.conv.format.wBitsPerSample);
    EXPECT_EQ(0, c.conv.format.cbSize);
    // Longer than 18: only the first 18 bytes reach the output format.
    Bytes fmt22 = FormatBody(1, 2, 8000, 16, 4, 32000, true, Bytes{1, 2, 3, 4});
    ASSERT_EQ(0, c.Open(RiffWriter().Chunk("fmt ", fmt22).Chunk("data", pcm).Build()));
    EXPECT_EQ(4, c.conv.format.cbSize);
    EXPECT_EQ(pcm, c.ReadAll());
    // Under 14 bytes the fixed fields are not all there: refused, not read past.
    for (int size : {13, 12, 4, 0}) {
        Bytes shortfmt(fmt16.begin(), fmt16.begin() + size);
        EXPECT_EQ(-1, c.Open(RiffWriter().Chunk("fmt ", shortfmt, false).Chunk("data", pcm).Build())) << size;
    }
    // Not PCM: the plain decoder refuses.
    EXPECT_EQ(-1, c.Open(RiffWriter().Chunk("fmt ", FormatBody(2, 1, 8000, 4, 256, 4096)).Chunk("data", pcm).Build()));
}

TEST_F(RiffWave, ZeroFieldsThatWouldBeDividedByAreRefused) {
    Bytes pcm = Ramp16(16, 1);
    SetSoundDecoderDisableMask(~(SOUND_DECODER_RIFF_PCM | SOUND_DECODER_RIFF_ACM));
    MemConverter c;
    EXPECT_EQ(-1, c.Open(RiffWriter().Chunk("fmt ", FormatBody(1, 0, 8000, 16, 2, 16000)).Chunk("data", pcm).Build()));
    EXPECT_EQ(-1, c.Open(RiffWriter().Chunk("fmt ", FormatBody(1, 1, 0, 16, 2, 16000)).Chunk("data", pcm).Build()));
    EXPECT_EQ(-1, c.Open(RiffWriter().Chunk("fmt ", FormatBody(1, 1, 8000, 16, 0, 16000)).Chunk("data", pcm).Build()));
    EXPECT_EQ(-1, c.Open(RiffWriter().Chunk("fmt ", FormatBody(1, 1, 8000, 16, 2, 0)).Chunk("data", pcm).Build()));
    // Compressed formats too (mu-law through ACM).
    EXPECT_EQ(-1, c.Open(RiffWriter().Chunk("fmt ", FormatBody(7, 0, 8000, 8, 1, 8000, true)).Chunk("data", pcm).Build()));
    EXPECT_EQ(-1, c.Open(RiffWriter().Chunk("fmt ", FormatBody(7, 1, 8000, 8, 0, 8000, true)).Chunk("data", pcm).Build()));
}

TEST_F(RiffWave, LyingChunkSizesEndQuickly) {
    Bytes pcm = Ramp16(16, 1);
    Bytes fmt = PcmFormatBody(1, 8000, 16);
    SetSoundDecoderDisableMask(~(SOUND_DECODER_RIFF_PCM | SOUND_DECODER_RIFF_ACM));
    std::vector<Bytes> cases = {
        // 0xFFFFFFF8 + 8 wraps to the same header in 32 bits.
        RiffWriter().Chunk("fmt ", fmt).ChunkWithSize("LIST", 0xFFFFFFF8u, Bytes()).Chunk("data", pcm).Build(),
        // Negative when taken as signed: would seek backwards.
        RiffWriter().Chunk("fmt ", fmt).ChunkWithSize("LIST", 0x80000000u, Bytes()).Chunk("data", pcm).Build(),
        RiffWriter().Chunk("fmt ", fmt).ChunkWithSize("LIST", 0xFFFFFFEFu, Bytes(4, 0)).Chunk("data", pcm).Build(),
        RiffWriter().ChunkWithSize("bext", 0xFFFFFFF0u, Bytes()).Chunk("fmt ", fmt).Chunk("data", pcm).Build(),
        RiffWriter().ChunkWithSize("fmt ", 0xFFFFFFF0u, fmt).Chunk("data", pcm).Build(),
        // A chunk that reaches just past the end.
        RiffWriter().Chunk("fmt ", fmt).ChunkWithSize("LIST", 100, Bytes(10, 0)).Chunk("data", pcm).Build(),
    };
    for (size_t i = 0; i < cases.size(); i++) {
        int result = 0;
        bool finished = RunWithTimeout(
            [&] {
                MemConverter c;
                result = c.Open(cases[i]);
            },
            10000);
        ASSERT_TRUE(finished) << "case " << i << " hangs";
        EXPECT_EQ(-1, result) << "case " << i;
    }
}

TEST_F(RiffWave, DataLongerThanTheFileIsCutToWhatIsThere) {
    Bytes pcm = Ramp16(50, 1);
    Bytes wav = RiffWriter().Chunk("fmt ", PcmFormatBody(1, 8000, 16)).ChunkWithSize("data", 1000000, pcm).Build();
    MemConverter c;
    ASSERT_EQ(0, c.Open(wav));
    EXPECT_EQ(pcm.size(), GetConvertedPcmSize(&c.conv));
    WAVEFORMATEX f;
    void* out = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(0, ConvertWholeSound(&c.conv, &f, &out, &size));
    ASSERT_EQ(pcm.size(), size);
    EXPECT_EQ(0, std::memcmp(out, pcm.data(), size));
    MemFree(out);
}

TEST_F(RiffWave, BuiltImageOfPcmReadsBack) {
    WAVEFORMATEX f = {1, 1, 8000, 16000, 2, 16, 0};
    Bytes pcm = Ramp16(40, 1);
    void* image = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(0, BuildWaveFileImage(&image, &size, &f, 18, pcm.data(), (uint32_t)pcm.size()));
    EXPECT_EQ(28 + 18 + pcm.size(), size);
    MemConverter c;
    ASSERT_EQ(0, c.Open(Bytes((uint8_t*)image, (uint8_t*)image + size)));
    EXPECT_EQ(pcm, c.ReadAll());
    MemFree(image);
}

}  // namespace
