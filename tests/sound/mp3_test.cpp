// MP3 through ACM: the frame header against the standard's tables, the frame
// walk over tags and junk, and lame's files decoded by the platform's codec.
#include "sound/sound_fixture.h"

#include <algorithm>
#include <cmath>

#include "engine/sound/mp3_acm.h"
#include "sound/sound_measure.h"

using namespace soundtest;

namespace {

class Mp3Acm : public SoundSystemTest {};

TEST(Mp3Header, ParsesAgainstTheStandardTables) {
    const struct {
        uint8_t h[4];
        int result, layer, mpeg2, channels;
        uint32_t rate, kbps, length, samples;
    } cases[] = {
        {{0xFF, 0xFB, 0x90, 0x00}, 0, 2, 0, 2, 44100, 128, 417, 1152},  // MPEG-1 layer III
        {{0xFF, 0xFB, 0x92, 0xC0}, 0, 2, 0, 1, 44100, 128, 418, 1152},  // padded, single channel
        {{0xFF, 0xF3, 0x80, 0x00}, 0, 2, 1, 2, 22050, 64, 208, 576},    // MPEG-2 layer III
        {{0xFF, 0xF3, 0x82, 0xC0}, 0, 2, 1, 1, 22050, 64, 209, 576},
        {{0xFF, 0xFF, 0xC0, 0x00}, 0, 0, 0, 2, 44100, 384, 416, 384},   // MPEG-1 layer I
        {{0xFF, 0xF7, 0x80, 0x00}, 0, 0, 1, 2, 22050, 128, 276, 384},   // MPEG-2 layer I
        {{0xFF, 0xFD, 0xC4, 0x00}, 0, 1, 0, 2, 48000, 256, 768, 1152},  // MPEG-1 layer II
        {{0xFF, 0xF9, 0x90, 0x00}, -1},                                  // layer code 0
        {{0xFF, 0xFB, 0xF0, 0x00}, -1},                                  // bit-rate index 15
        {{0xFF, 0xFB, 0x00, 0x00}, -1},                                  // free format: no length to walk by
        {{0xFF, 0xFB, 0x9C, 0x00}, -1},                                  // sample-rate index 3
        {{0xFE, 0xFB, 0x90, 0x00}, -2},
        {{0xFF, 0xE3, 0x90, 0x00}, -2},                                  // MPEG 2.5
    };
    for (auto& c : cases) {
        MpegFrameInfo f = {};
        SCOPED_TRACE(::testing::Message() << std::hex << (int)c.h[1] << " " << (int)c.h[2] << " " << (int)c.h[3]);
        ASSERT_EQ(c.result, ParseMpegAudioFrameHeader(c.h, &f));
        if (c.result) continue;
        EXPECT_EQ(c.layer, f.layer);
        EXPECT_EQ(c.mpeg2, f.mpeg2);
        EXPECT_EQ(c.channels, f.channels);
        EXPECT_EQ(c.rate, f.sample_rate);
        EXPECT_EQ(c.kbps, f.bit_rate);
        EXPECT_EQ(c.length, f.frame_length);
        EXPECT_EQ(c.samples, f.samples);
    }
}

// Silent-looking frames: a header, then zeros up to the frame's length.
Bytes Frames(int count, bool padded_every_other = true) {
    Bytes b;
    for (int i = 0; i < count; i++) {
        bool pad = padded_every_other && (i & 1);
        b.insert(b.end(), {0xFF, 0xFB, (uint8_t)(pad ? 0x92 : 0x90), 0x00});
        b.resize(b.size() + (pad ? 418 : 417) - 4);
    }
    return b;
}

Bytes Id3v2(int major, int flags, uint32_t size) {
    Bytes b = {'I', 'D', '3', (uint8_t)major, 0, (uint8_t)flags, (uint8_t)((size >> 21) & 127),
               (uint8_t)((size >> 14) & 127), (uint8_t)((size >> 7) & 127), (uint8_t)(size & 127)};
    b.resize(b.size() + size + (major == 4 && (flags & 0x10) ? 10 : 0), 0x33);
    return b;
}

Bytes Id3v1() {
    Bytes b = {'T', 'A', 'G'};
    b.resize(128, 0x20);
    return b;
}

TEST_F(Mp3Acm, WalkFindsEveryFrameBetweenTagsAndJunk) {
    const Bytes ten = Frames(10);  // 5 x 417 + 5 x 418
    Bytes junk_between = Frames(3);
    junk_between.insert(junk_between.begin() + 417, {0x00, 0xFF, 0x12, 0x34, 0xFF, 0x00});
    Bytes bad_between = Frames(3);
    bad_between.insert(bad_between.begin() + 417, {0xFF, 0xFB, 0xF0, 0x00});
    Bytes free_format = Frames(2);
    free_format[417 + 2] = 0x02;
    Bytes short_file = Frames(1);
    short_file.resize(100);
    Bytes header_in_v1 = Cat({Bytes(50, 0x11), Id3v1()});
    header_in_v1[60] = 0xFF, header_in_v1[61] = 0xFB, header_in_v1[62] = 0x90, header_in_v1[63] = 0;
    Bytes tag_past_end = Cat({Id3v2(3, 0, 1000), ten});
    tag_past_end[6] = 0x7F;  // declares far more than the file holds
    const struct {
        const char* what;
        Bytes file;
        int result;
        uint32_t first, last_end, frames;
    } cases[] = {
        {"plain", ten, 0, 0, 4175, 10},
        {"ID3v2.3", Cat({Id3v2(3, 0, 300), ten}), 0, 310, 310 + 4175, 10},
        {"ID3v2.4 with footer", Cat({Id3v2(4, 0x10, 300), ten}), 0, 320, 320 + 4175, 10},
        {"ID3v1 not walked", Cat({ten, Id3v1()}), 0, 0, 4175, 10},
        {"junk before and between", Cat({Bytes(33, 0x7F), junk_between}), 0, 33, 33 + 1258, 3},
        {"ends inside a frame", Cat({ten, Bytes{0xFF, 0xFB, 0x90, 0x00, 1, 2}}), 0, 0, 4181, 11},
        {"128 bytes or fewer", short_file, 0, 0, 100, 1},
        {"bad header between frames", bad_between, -1},
        {"free format", free_format, -1},
        {"no frame", Bytes(5000, 0x42), -1},
        {"tag only", Id3v2(3, 0, 200), -1},
        {"tag larger than the file", tag_past_end, -1},
        {"header only inside the ID3v1 tag", header_in_v1, -1},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        StreamData sd = {*GetMemStreamTable(), MemStreamOpen(c.file.data(), c.file.size())};
        MpegFrameWalk w;
        int r = -9;
        ASSERT_TRUE(RunWithTimeout([&] { r = WalkMpegAudioFrames(&sd, &w); }, 10000));
        MemStreamClose(sd.handle);
        ASSERT_EQ(c.result, r);
        if (r) continue;
        EXPECT_EQ(c.first, w.first_frame);
        EXPECT_EQ(c.last_end, w.last_end);
        EXPECT_EQ(c.frames, w.frames);
        EXPECT_EQ(c.frames * 1152, w.total_samples);
    }
}

DWORD g_reported_size;
MMRESULT WINAPI SmallMetrics(HACMOBJ, UINT, LPVOID out) {
    *(DWORD*)out = g_reported_size;
    return 0;
}

TEST_F(Mp3Acm, LameFilesDecodeToTheirToneLengthAndLevel) {
    const struct {
        const char* file;
        int rate, channels;
        double hz;
    } files[] = {{"tone44s.mp3", 44100, 2, 440}, {"tone22m.mp3", 22050, 1, 1000}};
    for (auto& f : files) {
        SCOPED_TRACE(f.file);
        const Bytes mp3 = ReadFileBytes(f.file);
        ASSERT_FALSE(mp3.empty()) << "made by scripts/sound-media";
        MemConverter c;
        ASSERT_EQ(0, c.Open(mp3)) << "no MP3 codec in ACM";
        ASSERT_EQ(SOUND_CONVERT_ACM, c.conv.method);
        const WAVEFORMATEX want = {WAVE_FORMAT_PCM, (WORD)f.channels, (DWORD)f.rate,
                                   (DWORD)(f.rate * 2 * f.channels), (WORD)(2 * f.channels), 16, 0};
        EXPECT_EQ(0, std::memcmp(&want, &c.conv.format, 18));
        const WAVEFORMATEX* src = c.conv.acm.src_format;
        EXPECT_EQ(WAVE_FORMAT_MPEGLAYER3, src->wFormatTag);
        EXPECT_EQ(f.rate == 44100 ? 16000u : 8000u, src->nAvgBytesPerSec);
        // The walk counts whole frames: the tone, lame's delay and padding included.
        const uint32_t frame_samples = f.rate == 44100 ? 1152 : 576, total = (uint32_t)c.conv.acm.total_samples;
        EXPECT_EQ(0u, total % frame_samples);
        EXPECT_EQ(total * want.nBlockAlign, GetConvertedPcmSize(&c.conv));
        EXPECT_NEAR(f.rate * (f.rate == 44100 ? 2.0 : 1.0), (double)total, 3.0 * frame_samples);

        const Bytes pcm = c.ReadAll();
        EXPECT_LE(pcm.size(), GetConvertedPcmSize(&c.conv));
        EXPECT_GE(pcm.size() + 2 * frame_samples * want.nBlockAlign, GetConvertedPcmSize(&c.conv));
        auto left = Channel(ToSamples(pcm), f.channels, 0);
        auto middle = std::vector<int16_t>(left.begin() + left.size() / 4, left.end() - left.size() / 4);
        EXPECT_NEAR(f.hz, ZeroCrossingHz(middle, f.rate), f.hz * 0.005);
        EXPECT_NEAR(16384 / std::sqrt(2.0), Rms(middle), 16384 * 0.05) << "a half-scale sine";

        // Backwards the codec starts over from the first frame; forwards it decodes and drops.
        for (uint32_t sample : {total / 2, 1000u, total / 3 * 2, 0u}) {
            ASSERT_EQ(0, SeekSoundConverter(&c.conv, (int32_t)sample));
            Bytes got(2000);
            ASSERT_EQ(2000, ConvertNextSoundBlock(&c.conv, got.data(), 2000)) << sample;
            EXPECT_TRUE(std::equal(got.begin(), got.end(), pcm.begin() + sample * want.nBlockAlign)) << sample;
        }
    }

    // ACM may report a smaller largest format than the record is: the record still gets its 30 bytes.
    auto real_metrics = AcmApi.acmMetrics;
    AcmApi.acmMetrics = SmallMetrics;
    for (DWORD reported : {0u, 18u, 29u}) {
        g_reported_size = reported;
        MemConverter c;
        ASSERT_EQ(0, c.Open(ReadFileBytes("tone22m.mp3"))) << reported;
        EXPECT_GE(((MemBlockHeader*)c.conv.acm.src_format - 1)->size, 30u) << reported;
        EXPECT_EQ(12, c.conv.acm.src_format->cbSize);
    }
    AcmApi.acmMetrics = real_metrics;
}

}  // namespace
