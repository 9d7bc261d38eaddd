// Block output, seeking and the end flag of the converter, on PCM sources.
#include "sound/sound_fixture.h"

using namespace soundtest;

namespace {

class SoundConvert : public SoundSystemTest {};

TEST_F(SoundConvert, ShortReadAtTheEndThenNothingUntilASeek) {
    Bytes pcm = Ramp16(300, 2);
    MemConverter c;
    ASSERT_EQ(0, c.Open(PcmWav(2, 8000, 16, pcm)));
    Bytes out(2000);
    EXPECT_EQ(1000, ConvertNextSoundBlock(&c.conv, out.data(), 1000));
    EXPECT_EQ(200, ConvertNextSoundBlock(&c.conv, out.data() + 1000, 1000));
    EXPECT_EQ(1, c.conv.end);
    EXPECT_EQ(0, ConvertNextSoundBlock(&c.conv, out.data(), 1000));
    EXPECT_EQ(0, std::memcmp(out.data(), pcm.data(), pcm.size()));
    EXPECT_EQ(0, SeekSoundConverter(&c.conv, 0));
    EXPECT_EQ(0, c.conv.end);
    EXPECT_EQ(1200, ConvertNextSoundBlock(&c.conv, out.data(), 1200));
    EXPECT_EQ(0, std::memcmp(out.data(), pcm.data(), pcm.size()));
}

TEST_F(SoundConvert, SeekThenReadEqualsReadFromTheStart) {
    // Several blocks long (block = one second = 32000 bytes).
    Bytes pcm = Ramp16(8000 * 3 + 123, 2);
    MemConverter c;
    ASSERT_EQ(0, c.Open(PcmWav(2, 8000, 16, pcm)));
    for (int sample : {9000, 17, 23999, 0, 8000 * 3 + 100, 5000}) {
        ASSERT_EQ(0, SeekSoundConverter(&c.conv, sample));
        Bytes out(400);
        int n = ConvertNextSoundBlock(&c.conv, out.data(), 400);
        size_t expect = std::min<size_t>(400, pcm.size() - sample * 4);
        ASSERT_EQ((int)expect, n) << sample;
        EXPECT_EQ(0, std::memcmp(out.data(), pcm.data() + sample * 4, expect)) << sample;
    }
    // Past the end: not refused, the next block is the end.
    EXPECT_EQ(0, SeekSoundConverter(&c.conv, 100000));
    uint8_t b[4];
    EXPECT_EQ(0, ConvertNextSoundBlock(&c.conv, b, 4));
}

TEST_F(SoundConvert, NearSeekIsSkippedOnlyWhileDataRemains) {
    Bytes pcm = Ramp16(100, 2);
    MemConverter c;
    ASSERT_EQ(0, c.Open(PcmWav(2, 8000, 16, pcm)));
    Bytes out(100);
    ASSERT_EQ(100, ConvertNextSoundBlock(&c.conv, out.data(), 100));
    // 3 samples of 4 bytes away: under 16 bytes, so the position stays.
    SeekSoundConverter(&c.conv, 22);
    EXPECT_EQ(100u, c.conv.output_pos);
    ASSERT_EQ(8, ConvertNextSoundBlock(&c.conv, out.data(), 8));
    EXPECT_EQ(0, std::memcmp(out.data(), pcm.data() + 100, 8));

    // A tiny sound played to its end must start over on a seek to 0.
    Bytes tiny = Ramp16(3, 1);  // 6 bytes
    ASSERT_EQ(0, c.Open(PcmWav(1, 8000, 16, tiny)));
    for (int pass = 0; pass < 3; pass++) {
        Bytes got(16);
        ASSERT_EQ(6, ConvertNextSoundBlock(&c.conv, got.data(), 16)) << "pass " << pass;
        EXPECT_EQ(0, std::memcmp(got.data(), tiny.data(), 6));
        EXPECT_EQ(1, c.conv.end);
        SeekSoundConverter(&c.conv, 0);
    }
}

TEST_F(SoundConvert, EmptySuccessfulBlockCountsAsTheEnd) {
    // A decoder that answers "ready" with nothing in the block.
    uint8_t pcm[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    SoundConverter conv = {};
    conv.setup = 1;
    conv.method = SOUND_CONVERT_PCM_IMAGE;
    conv.format = {1, 1, 8000, 16000, 2, 16, 0};
    conv.image.pcm = pcm;
    conv.image.count = sizeof pcm;
    conv.block_size = 0;
    uint8_t b[1];
    conv.buffer = b;
    int n = -2;
    ASSERT_TRUE(RunWithTimeout([&] { n = ConvertNextSoundBlock(&conv, b, 1); }, 10000)) << "conversion loop spins";
    EXPECT_EQ(0, n);
    EXPECT_EQ(1, conv.end);
}

TEST_F(SoundConvert, DecoderChoiceFollowsTheDisableMask) {
    Bytes wav = PcmWav(1, 8000, 16, Ramp16(10, 1));
    MemConverter c;
    SetSoundDecoderDisableMask(-1);
    EXPECT_EQ(-1, c.Open(wav));
    EXPECT_EQ(-1, TerminateSoundConverter(&c.conv));
    SetSoundDecoderDisableMask((int)0xFFFFFFFB);  // Ogg Vorbis only
    EXPECT_EQ(-1, c.Open(wav));
    SetSoundDecoderDisableMask(0);
    EXPECT_EQ(-1, c.Open(Bytes(64, 0x55)));
    EXPECT_EQ(0, c.Open(wav));
    EXPECT_EQ(SOUND_CONVERT_RIFF_PCM, c.conv.method);
    c.Close();
    EXPECT_EQ(-1, ConvertNextSoundBlock(&c.conv, nullptr, 1));
}

TEST_F(SoundConvert, StreamToMemoryReadsFromTheStart) {
    Bytes data = Ramp16(777, 1);
    StreamData sd;
    ASSERT_EQ(0, StreamOpenMemory(&sd, data.data(), data.size()));
    sd.funcs.Seek(sd.handle, 10, 0);
    void* out = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(0, LoadStreamToMemory(&sd, &out, &size));
    ASSERT_EQ(data.size(), size);
    EXPECT_EQ(0, std::memcmp(out, data.data(), size));
    MemFree(out);
    sd.funcs.Close(sd.handle);
}

}  // namespace
