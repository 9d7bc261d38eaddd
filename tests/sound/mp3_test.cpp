// MP3 through ACM: the frame header against the standard's tables, the frame
// frames gathered from between tags and junk, and lame's files decoded by the platform's codec.
#include "sound/sound_fixture.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <tuple>

#include "engine/sound/mp3_acm.h"
#include "engine/sound/mpeg_audio_header.h"
#include "sound/sound_measure.h"

using namespace soundtest;

namespace {

class Mp3Acm : public SoundSystemTest {};

TEST(Mp3Header, ParsesAgainstTheStandardTables) {
    const struct {
        uint8_t h[4];
        int result, layer, mpeg2, channels, rate, kbps, length, samples;
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
        if (c.result == 0)
            EXPECT_EQ(std::make_tuple(c.layer, c.mpeg2, c.channels, c.rate, c.kbps, c.length, c.samples),
                      std::make_tuple((int)f.layer, (int)f.mpeg2, (int)f.channels, (int)f.sample_rate, (int)f.bit_rate,
                                      (int)f.frame_length, (int)f.samples));
    }
}

// Silent-looking frames: a header, then zeros up to the frame's length (417 and 418 bytes in turn).
Bytes Frames(int count) {
    Bytes b;
    for (int i = 0; i < count; i++) {
        b.insert(b.end(), {0xFF, 0xFB, (uint8_t)(i & 1 ? 0x92 : 0x90), 0x00});
        b.resize(b.size() + (i & 1 ? 418 : 417) - 4);
    }
    return b;
}

// The codec is given the frames of the first stream alone, gathered from between tags and junk.
TEST_F(Mp3Acm, CodecGetsEveryFrameBetweenTagsAndJunk) {
    Bytes id3v1 = {'T', 'A', 'G'};
    id3v1.resize(128, 0x20);
    const Bytes ten = Frames(10);  // 5 x 417 + 5 x 418
    auto spliced = [](Bytes b, size_t at, const Bytes& in) { return b.insert(b.begin() + at, in.begin(), in.end()), b; };
    Bytes free_format = Frames(2), short_file = Frames(1), header_in_v1 = Cat({Bytes(50, 0x11), id3v1}),
          tag_past_end = Cat({Id3v2(3, 0, 1000), ten});
    free_format[417 + 2] = 0x02;
    short_file.resize(100);
    header_in_v1[60] = 0xFF, header_in_v1[61] = 0xFB, header_in_v1[62] = 0x90;
    tag_past_end[6] = 0x7F;  // declares far more than the file holds
    const struct {
        const char* what;
        Bytes file;
        int result;
        uint32_t first, data_size, frames;
    } cases[] = {
        {"ID3v2.3", Cat({Id3v2(3, 0, 300), ten}), 0, 310, 4175, 10},
        {"ID3v2.4 with footer", Cat({Id3v2(4, 0x10, 300), ten}), 0, 320, 4175, 10},
        {"ID3v1 not walked", Cat({ten, id3v1}), 0, 0, 4175, 10},
        // Between frames only once three have confirmed the first.
        // A last frame behind junk is no confirmed frame: the rule passes over it.
        {"junk before and between", Cat({Bytes(33, 0x7F), spliced(Frames(4), 1252, {0, 0xFF, 0x12, 0x34, 0xFF, 0})}),
         0, 33, 1252, 3},
        // A 48 kHz header whose frame ends where the stream starts.
        {"unconfirmed header before", Cat({Bytes{0xFF, 0xFB, 0x94, 0x00}, Bytes(380, 0), ten}), 0, 384, 4175, 10},
        // The cut frame is handed over but decodes to nothing: the length does not count it.
        {"ends inside a frame", Cat({ten, Bytes{0xFF, 0xFB, 0x90, 0x00, 1, 2}}), 0, 0, 4181, 10},
        // The codec is set up for the first stream: the next would play at its rate.
        {"then 48 kHz frames", Cat({ten, MpegFrames({0xFF, 0xFB, 0x94, 0x00}, 384, 10)}), 0, 0, 4175, 10},
        {"one cut frame of 100 bytes: no sound", short_file, -1},
        // A header that does not parse is bytes between chains, not the end of the file.
        {"bad header between frames", spliced(Frames(4), 1252, {0xFF, 0xFB, 0xF0, 0x00}), 0, 0, 1252, 3},
        {"free format", free_format, -1},
        {"no frame", Bytes(5000, 0x42), -1},
        {"tag larger than the file", tag_past_end, -1},
        {"header only inside the ID3v1 tag", header_in_v1, -1},
        {"frames in an AVI", Cat({Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' ', 'L', 'I', 'S', 'T', 4, 0, 0, 0,
                                        'h', 'd', 'r', 'l'},
                                  ten}),
         -1},
        // Four bytes are no container: the frames make this up.
        {"frames behind a RIFF header alone", Cat({Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '}, ten}), 0, 12,
         4175, 10},
    };
    SetSoundDecoderDisableMask(~SOUND_DECODER_MP3_ACM & 31);
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemConverter m;
        int r = -9;
        ASSERT_TRUE(RunWithTimeout([&] { r = m.Open(c.file); }, 10000));
        ASSERT_EQ(c.result, r);
        if (r == 0)
            EXPECT_EQ(std::make_tuple(c.first, c.data_size, c.frames * 1152),
                      std::make_tuple(m.conv.data_start, m.conv.acm.data_size, (uint32_t)m.conv.acm.total_samples));
    }
    SetSoundDecoderDisableMask(0);
}

// ACM may report a smaller largest format than the record is.
MMRESULT WINAPI SmallMetrics(HACMOBJ, UINT, LPVOID out) {
    *(DWORD*)out = 18;
    return 0;
}

TEST_F(Mp3Acm, LameFilesDecodeToTheirToneLengthAndLevel) {
    const struct {
        const char* file;
        int rate, channels, frame;
        double hz;
    } files[] = {{"tone.mp3", 44100, 2, 1152, 1000}, {"tone22m.mp3", 22050, 1, 576, 1000}};
    auto real_metrics = AcmApi.acmMetrics;
    AcmApi.acmMetrics = SmallMetrics;
    for (auto& f : files) {
        SCOPED_TRACE(f.file);
        MemConverter c;
        ASSERT_EQ(0, c.Open(ReadFileBytes(f.file))) << "no such file (scripts/sound-media), or no MP3 codec in ACM";
        ASSERT_EQ(SOUND_CONVERT_ACM, c.conv.method);
        const int align = 2 * f.channels;
        const WAVEFORMATEX want = {WAVE_FORMAT_PCM, (WORD)f.channels, (DWORD)f.rate, (DWORD)(f.rate * align),
                                   (WORD)align, 16, 0};
        EXPECT_EQ(0, std::memcmp(&want, &c.conv.format, 18));
        EXPECT_EQ(f.rate == 44100 ? 16000u : 8000u, c.conv.acm.src_format->nAvgBytesPerSec);
        EXPECT_GE(((MemBlockHeader*)c.conv.acm.src_format - 1)->size, 30u) << "the record's 30 bytes";
        // The walk counts whole frames of two seconds: lame's delay and padding included.
        const uint32_t total = (uint32_t)c.conv.acm.total_samples;
        EXPECT_EQ(0u, total % f.frame);
        EXPECT_EQ(total * align, GetConvertedPcmSize(&c.conv));
        EXPECT_NEAR(f.rate * 2.0, (double)total, 3.0 * f.frame);
        const Bytes pcm = c.ReadAll();
        EXPECT_LE(pcm.size(), total * align);
        EXPECT_GE(pcm.size() + 2 * f.frame * align, total * align);
        auto left = Channel(ToSamples(pcm), f.channels, 0);
        left = std::vector<int16_t>(left.begin() + left.size() / 4, left.end() - left.size() / 4);
        EXPECT_NEAR(f.hz, ZeroCrossingHz(left, f.rate), f.hz * 0.005);
        EXPECT_NEAR(16384 / std::sqrt(2.0), Rms(left), 16384 * 0.05) << "a half-scale sine";
        // Backwards the codec starts over from the first frame; forwards it decodes and drops.
        for (uint32_t sample : {total / 2, 1000u, total / 3 * 2, 0u}) {
            ASSERT_EQ(0, SeekSoundConverter(&c.conv, (int32_t)sample));
            Bytes got(2000);
            ASSERT_EQ(2000, ConvertNextSoundBlock(&c.conv, got.data(), 2000)) << sample;
            EXPECT_TRUE(std::equal(got.begin(), got.end(), pcm.begin() + sample * align)) << sample;
        }
    }
    AcmApi.acmMetrics = real_metrics;
}

}  // namespace

namespace {

const int kAcmOnly = ~SOUND_DECODER_MP3_ACM & 31, kFiltersOnly = ~SOUND_DECODER_MP3_FILTERS & 31;

struct Decoded {
    int result = -1, method = -1;
    WAVEFORMATEX format = {};
    std::vector<int16_t> samples;
    std::string log;
    uint32_t frames() const { return format.nChannels ? (uint32_t)samples.size() / format.nChannels : 0; }
};

Decoded Decode(const Bytes& file, int mask) {
    Decoded d;
    SetSoundDecoderDisableMask(mask);
    MemConverter m;
    {
        LogCapture log;
        EXPECT_TRUE(RunWithTimeout(
            [&] {
                WinApi.CoInitialize(nullptr);   // the graph runs on this thread
                d.result = m.Open(file);
            },
            20000));
        d.log = log.Text();
    }
    SetSoundDecoderDisableMask(0);
    if (d.result != 0) return d;
    d.method = m.conv.method;
    d.format = m.conv.format;
    d.samples = ToSamples(m.ReadAll());
    return d;
}

// The pitch of a stretch of the first channel, from `from` to `to` (fractions of the sound).
double PitchOf(const Decoded& d, double from, double to) {
    const std::vector<int16_t> left = Channel(d.samples, d.format.nChannels, 0);
    return ZeroCrossingHz(std::vector<int16_t>(left.begin() + (size_t)(left.size() * from),
                                               left.begin() + (size_t)(left.size() * to)),
                          (int)d.format.nSamplesPerSec);
}

// Below about 12 kbit/s 2048 bytes of frames decode to more than a block
// holds; each step of the codec must be given no more than fits.
TEST_F(Mp3Acm, LowBitRatesDecodeWhole) {
    const struct {
        const char* file;
        uint32_t rate;
    } files[] = {{"low8.mp3", 16000}, {"low_vbr.mp3", 22050}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.file);
        const Decoded d = Decode(ReadFileBytes(f.file), kAcmOnly);
        ASSERT_EQ(0, d.result) << "scripts/sound-media writes it";
        EXPECT_EQ(SOUND_CONVERT_ACM, d.method);
        EXPECT_EQ(f.rate, d.format.nSamplesPerSec);
        // Nine seconds, and no more than the encoder's delay and padding over.
        EXPECT_GE(d.frames(), f.rate * 9);
        EXPECT_LE(d.frames(), f.rate * 9 + 4 * 576);
        EXPECT_NEAR(440, PitchOf(d, 0.8, 0.95), 440 * 0.01) << "the end is there, at its pitch";
    }
}

// A change of channel mode within one rate and layer is one stream: the
// compression manager and the default order decode it whole, in stereo, at
// the right pitch; the graph may stop at the change, but never plays a part wrong.
TEST_F(Mp3Acm, ChannelModeChangesDecodeWholeInStereo) {
    const Bytes mono = ReadFileBytes("tone_mono.mp3"), stereo = ReadFileBytes("tone.mp3"),
                dual = ReadFileBytes("tone_dual.mp3");
    ASSERT_FALSE(mono.empty() || stereo.empty() || dual.empty());
    const uint32_t one = Decode(stereo, kAcmOnly).frames();
    const struct {
        const char* what;
        Bytes file;
        uint32_t parts;
    } cases[] = {
        {"mono, then stereo", Cat({mono, stereo}), 2},
        {"stereo, then mono", Cat({stereo, mono}), 2},
        {"mono, dual channel, mono", Cat({mono, dual, mono}), 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (int mask : {kAcmOnly, 0}) {
            const Decoded d = Decode(c.file, mask);
            ASSERT_EQ(0, d.result) << mask;
            EXPECT_EQ(2, d.format.nChannels);
            EXPECT_EQ(44100u, d.format.nSamplesPerSec);
            EXPECT_NEAR((double)one * c.parts, d.frames(), 2 * 1152.0);
            for (uint32_t i = 0; i < c.parts; i++)
                EXPECT_NEAR(1000, PitchOf(d, (i + 0.2) / c.parts, (i + 0.8) / c.parts), 10) << "part " << i;
        }
        // Each part the graph plays, it plays at its pitch, to its end or to the change.
        const Decoded graph = Decode(c.file, kFiltersOnly);
        if (graph.result == 0) {
            EXPECT_LE(graph.frames(), one * c.parts + 2 * 1152);
            const uint32_t played = (graph.frames() + one / 2) / one;
            for (uint32_t i = 0; i < played; i++)
                EXPECT_NEAR(1000, PitchOf(graph, (i + 0.2) / played, (i + 0.8) / played), 10) << "part " << i;
        }
    }
}

int g_acm_opens = 0;
decltype(AcmApi.acmStreamOpen) g_real_acm_open;
MMRESULT WINAPI CountedAcmOpen(LPHACMSTREAM h, HACMDRIVER d, LPWAVEFORMATEX src, LPWAVEFORMATEX dst, LPWAVEFILTER f,
                               DWORD_PTR cb, DWORD_PTR inst, DWORD flags) {
    g_acm_opens++;
    return g_real_acm_open(h, d, src, dst, f, cb, inst, flags);
}

// Mono and stereo frames in runs of three, cut from lame's files: one
// converter per channel count at most (one per run cost 25 ms a change), the
// length ffmpeg gives (a frame's samples each), and no frame of silence where
// the count changes (a converter new to a run had neither the bit reservoir
// nor the synthesis of the frames before).
TEST_F(Mp3Acm, ChannelRunsKeepTheCodecState) {
    const int frames = 72;
    const Bytes file = InterleavedRuns(ReadFileBytes("tone_mono.mp3"), ReadFileBytes("tone.mp3"), 3, frames);
    g_real_acm_open = AcmApi.acmStreamOpen;
    AcmApi.acmStreamOpen = CountedAcmOpen;
    const Decoded d = Decode(file, kAcmOnly);
    AcmApi.acmStreamOpen = g_real_acm_open;
    ASSERT_EQ(0, d.result);
    EXPECT_LE(g_acm_opens, 2);
    EXPECT_NEAR(frames * 1152.0, d.frames(), 2 * 1152.0);
    // Past lame's delay and padding every frame whose bits and reservoir lie
    // in its own run sounds: a codec opened afresh for a run would lose what
    // the frames before it left. A frame whose reservoir reaches back past
    // the start of its run draws on the other file's bytes: ffmpeg makes a
    // wrong sound of it, libmpg123 since its fix for CVE-2024-10573 drops it
    // to silence; nothing can decode it, so it may be quiet.
    const std::vector<bool> outside = ReservoirOutsideRun(file, 3);
    ASSERT_EQ((size_t)frames, outside.size());
    const std::vector<int16_t> left = Channel(d.samples, 2, 0);
    int heard = 0;
    for (size_t at = 2 * 1152; at + 3 * 1152 <= left.size(); at += 1152) {
        if (at / 1152 >= outside.size() || outside[at / 1152]) continue;
        heard++;
        EXPECT_GT(Rms(std::vector<int16_t>(left.begin() + at, left.begin() + at + 1152)), 300) << "frame " << at / 1152;
    }
    EXPECT_GT(heard, frames / 3) << "frames whose reservoir lies in their run";
}

// What lies between frames is passed over, as the rule passes over it: a stray
// header does not end the sound, tags of files joined end to end are not data.
TEST_F(Mp3Acm, StrayHeadersAndTagsBetweenFramesAreNotTheEnd) {
    const Bytes tone = ReadFileBytes("tone.mp3");
    ASSERT_FALSE(tone.empty());
    const std::vector<size_t> starts = MpegFrameStarts(tone);
    const size_t middle = starts[starts.size() / 2];
    const Bytes stray = Cat({Bytes(10, 1), {0xFF, 0xF3, 0x44, 0xC4}, Bytes(10, 2)});
    const Bytes covered = Cat({Id3v2(3, 0, 300000), tone, Bytes{'T', 'A', 'G'}, Bytes(125, ' ')});
    const struct {
        const char* what;
        Bytes file;
        uint32_t parts;
    } cases[] = {
        {"a stray header between two frames",
         Cat({Bytes(tone.begin(), tone.begin() + middle), stray, Bytes(tone.begin() + middle, tone.end())}), 1},
        {"two files with covers, joined", Cat({covered, covered}), 2},
    };
    // The compression manager decodes every frame; the graph's parser trims
    // the encoder's delay and padding by lame's info frame, and plays joined
    // files whole when that frame gives the whole stream's frames.
    const uint32_t one = Decode(tone, kAcmOnly).frames(), trimmed = Decode(tone, kFiltersOnly).frames();
    for (int mask : {kAcmOnly, 0, kFiltersOnly})
        for (const auto& c : cases) {
            SCOPED_TRACE(c.what);
            const Decoded d = Decode(c.file, mask);
            ASSERT_EQ(0, d.result) << mask << d.log;
            EXPECT_NEAR(mask == kFiltersOnly ? trimmed + one * (c.parts - 1) : one * c.parts, d.frames(), 2 * 1152.0) << mask;
        }
}

// Joins whose second file's tag has its size a few bytes off or zeros after it
// (tagged.txt, scripts/sound-media: a cover larger than the audio) load whole
// on every path, within 6,000 frames of ffmpeg's decode.
TEST_F(Mp3Acm, JoinsWhoseTagSizeIsOffLoadWhole) {
    std::ifstream list("tagged.txt");
    std::string name;
    double ffmpeg_frames;
    int files = 0;
    for (; list >> name >> ffmpeg_frames; files++)
        for (int mask : {0, kAcmOnly, kFiltersOnly}) {
            const Decoded d = Decode(ReadFileBytes(name.c_str()), mask);
            ASSERT_EQ(0, d.result) << name << ", " << mask << d.log;
            EXPECT_NEAR(ffmpeg_frames, d.frames(), 6000.0) << name << ", " << mask;
        }
    EXPECT_EQ(15, files) << "scripts/sound-media writes tagged.txt";
}

}  // namespace
