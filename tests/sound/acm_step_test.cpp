// GSM 6.10 and ADPCM WAVs as sox writes them, decoded through ACM one step at
// a time: whole, as normal sounds and as streams, however much PCM a step of
// compressed bytes turns into.
#include "sound/sound_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "engine/sound/sound_stream.h"
#include "engine/system/library.h"
#include "sound/mpeg_bytes.h"
#include "sound/sound_measure.h"
#include "support/theora_writer.h"

using namespace soundtest;

namespace {

// 1 kHz at half scale, 8 kHz mono (scripts/sound-media).
const int kRate = 8000;
const struct CodedTone {
    const char* file;
    int seconds;
    int block_samples;  // of the codec
} kTones[] = {
    {"gsm_2s.wav", 2, 320},     {"gsm_9s.wav", 9, 320},     {"ima_2s.wav", 2, 505},
    {"ima_9s.wav", 9, 505},     {"msadpcm_2s.wav", 2, 500}, {"msadpcm_9s.wav", 9, 500},
};

// One past the last sample of the tone (the codecs' noise stays far below it).
long ToneEnd(const std::vector<int16_t>& s) {
    long end = (long)s.size();
    while (end > 0 && std::abs(s[end - 1]) < 2000) end--;
    return end;
}

// 20 ms stretches that hold no tone, from the first codec block to the last.
int Gaps(const std::vector<int16_t>& s, const CodedTone& t) {
    int gaps = 0;
    const long last = (long)t.seconds * kRate - t.block_samples;
    for (long at = t.block_samples; at + 160 <= std::min(last, (long)s.size()); at += 160)
        if (Rms(std::vector<int16_t>(s.begin() + at, s.begin() + at + 160)) < 4000) gaps++;
    return gaps;
}

void ExpectWholeTone(const std::vector<int16_t>& s, const CodedTone& t) {
    EXPECT_NEAR(t.seconds * kRate, ToneEnd(s), t.block_samples) << "samples of tone";
    EXPECT_EQ(0, Gaps(s, t));
}

struct FfmpegWav;

// One logical processor: no sound thread, the test plays and refills a stream by hand.
class AcmSteps : public SoundSystemTest {
protected:
    void SetUp() override {
        LogicalProcessorCount = 1;
        SoundSystemTest::SetUp();
    }
    void TearDown() override {
        SoundSystemTest::TearDown();
        LogicalProcessorCount = saved_;
    }
    // What a stream sound on a software ring plays until it stops by itself, or `limit` bytes.
    Bytes PlayStream(int h, size_t limit) {
        Bytes heard;
        if (PlaySoundHandle(h, SOUND_PLAY_BACK, 1) != 0) return heard;
        SoundBufferRecord* b = &StreamRingOwner(GetSoundRecord(h))->buffers[0];
        const uint32_t align = b->format.nBlockAlign, step = 160 * align;
        while (IsSoundHandlePlaying(h) == 1 && heard.size() < limit) {
            const uint32_t size = b->sample_count * align, pos = b->position * align;
            for (uint32_t i = 0; i < step; i++) heard.push_back(((uint8_t*)b->memory)[(pos + i) % size]);
            b->position = (int)(((pos + step) % size) / align);
            RefillStreamSound(h);
        }
        return heard;
    }
    // The PCM a normal sound's DirectSound buffer holds.
    static Bytes NormalPcm(int h) {
        SoundHandleRecord* s = GetSoundRecord(h);
        void *p1 = nullptr, *p2 = nullptr;
        uint32_t n1 = 0, n2 = 0;
        if (LockDSoundBuffer(&s->buffers[0], 0, (uint32_t)s->pcm_size, &p1, &n1, &p2, &n2) != 0) return Bytes();
        Bytes pcm((uint8_t*)p1, (uint8_t*)p1 + n1);
        UnlockDSoundBuffer(&s->buffers[0], p1, n1, p2, n2);
        return pcm;
    }
    void ExpectFfmpegsDecode(const std::string& path, const FfmpegWav& t);
    int saved_ = LogicalProcessorCount;
};

TEST_F(AcmSteps, CompressedWavsLoadWholeAsNormalAndStreamSounds) {
    for (auto& t : kTones) {
        Bytes normal;
        ASSERT_TRUE(RunWithTimeout(
            [&] {
                SCOPED_TRACE(t.file);
                SetSoundSoftwareMixingFlag(0);
                SetCreateSoundDataType(0);
                const int h = LoadSoundFile(t.file, 1, -1);
                ASSERT_NE(-1, h);
                SoundHandleRecord* s = GetSoundRecord(h);
                EXPECT_EQ(SOUND_KIND_NORMAL, s->kind) << "turned into a stream sound";
                if (s->kind == SOUND_KIND_NORMAL) {
                    EXPECT_EQ((DWORD)kRate, s->format.nSamplesPerSec);
                    EXPECT_EQ(1, s->format.nChannels);
                    EXPECT_NEAR(t.seconds * kRate, s->pcm_size / 2, t.block_samples) << "samples decoded";
                    normal = NormalPcm(h);
                    ExpectWholeTone(ToSamples(normal), t);
                }
                EXPECT_EQ(0, DeleteSoundHandle(h));

                SetSoundSoftwareMixingFlag(1);
                SetCreateSoundDataType(2);
                const int st = LoadSoundFile(t.file, 1, -1);
                ASSERT_NE(-1, st);
                EXPECT_EQ(SOUND_KIND_STREAM, GetSoundRecord(st)->kind);
                const Bytes heard = PlayStream(st, (t.seconds + 3) * kRate * 2);
                EXPECT_EQ(0, IsSoundHandlePlaying(st)) << "did not stop by itself";
                ExpectWholeTone(ToSamples(heard), t);
                EXPECT_TRUE(heard.size() >= normal.size() && std::equal(normal.begin(), normal.end(), heard.begin()))
                    << "the stream plays other PCM than the normal sound holds";
                EXPECT_EQ(0, DeleteSoundHandle(st));
            },
            60000))
            << t.file << ": load or play hangs";
    }
}

// WAVs as ffmpeg writes them (scripts/sound-media), each beside ffmpeg's
// decode: MP3 in WAV whose header gives no byte rate (VBR) or one (CBR),
// blocks larger than a step, or whose PCM exceeds the one-second block, and
// ADPCM whose last block is cut (a fraction of it decodes).
struct FfmpegWav {
    const char* name;  // acmwav_NAME.wav and .s16
    int channels, rate;
    int slack;         // frames the length may differ from ffmpeg's: two MP3 frames
    int bits = 16;     // of the PCM loaded
};
const FfmpegWav kFfmpegWavs[] = {
    {"mp3_vbr44s", 2, 44100, 2304}, {"mp3_vbr44m", 1, 44100, 2304}, {"mp3_vbr22m", 1, 22050, 1152},
    {"mp3_vbr48s", 2, 48000, 2304}, {"mp3_vbr16m", 1, 16000, 1152}, {"mp3_vbr16mixed", 1, 16000, 1152},
    {"mp3_cbr16m8k", 1, 16000, 1152}, {"mp3_cbr44s", 2, 44100, 2304}, {"ima256_44s", 2, 44100, 0},
    {"ima2048_44s", 2, 44100, 0},
    {"ima4096_44s", 2, 44100, 0},   {"ima8192_44s", 2, 44100, 0},   {"ms256_44s", 2, 44100, 0},
    {"ms2048_44s", 2, 44100, 0},    {"ms4096_44s", 2, 44100, 0},    {"ms8192_44s", 2, 44100, 0},
    {"ima8192_8m", 1, 8000, 0},     {"ms8192_8m", 1, 8000, 0},      {"gsm_8m", 1, 8000, 0},
    {"alaw_22m", 1, 22050, 0},      {"mulaw_22m", 1, 22050, 0},
    {"cut_ima8192", 2, 44100, 0},   {"cut_ms8192", 2, 44100, 0},    {"cut_ima256", 2, 44100, 0},
    {"cut_ms256", 2, 44100, 0},
};

// RMS of the difference between the samples both hold, as a share of `want`'s RMS.
double Difference(const std::vector<int16_t>& got, const std::vector<int16_t>& want) {
    const size_t n = std::min(got.size(), want.size());
    std::vector<int16_t> d(n);
    for (size_t i = 0; i < n; i++) d[i] = (int16_t)std::max(-32768, std::min(32767, got[i] - want[i]));
    return Rms(d) / std::max(1.0, Rms(std::vector<int16_t>(want.begin(), want.begin() + n)));
}

// PCM of 8 to 32 bits as ffmpeg makes 16-bit samples of it: the top 16 bits.
std::vector<int16_t> As16Bit(const Bytes& pcm, int bits) {
    if (bits == 16) return ToSamples(pcm);
    std::vector<int16_t> s;
    for (size_t i = 0; i + bits / 8 <= pcm.size(); i += bits / 8)
        s.push_back(bits == 8 ? (int16_t)((pcm[i] - 128) * 256) : (int16_t)(pcm[i + bits / 8 - 2] | pcm[i + bits / 8 - 1] << 8));
    return s;
}

// Loads `path` as a normal sound and as a stream, and holds both to ffmpeg's decode of `t`.
void AcmSteps::ExpectFfmpegsDecode(const std::string& path, const FfmpegWav& t) {
    const auto want = ToSamples(ReadFileBytes((std::string("acmwav_") + t.name + ".s16").c_str()));
    ASSERT_FALSE(want.empty()) << t.name;
    const long want_frames = (long)want.size() / t.channels;
    ASSERT_TRUE(RunWithTimeout(
        [&] {
            SetSoundSoftwareMixingFlag(0);
            SetCreateSoundDataType(0);
            LogCapture log;
            const int h = LoadSoundFile(path.c_str(), 1, -1);
            ASSERT_NE(-1, h);
            EXPECT_FALSE(log.Contains("示された長さより短い")) << "decoded less than promised";
            SoundHandleRecord* s = GetSoundRecord(h);
            ASSERT_EQ(SOUND_KIND_NORMAL, s->kind) << "turned into a stream sound";
            EXPECT_EQ((DWORD)t.rate, s->format.nSamplesPerSec);
            ASSERT_EQ(t.channels, s->format.nChannels);
            ASSERT_EQ(t.bits, s->format.wBitsPerSample);
            const Bytes normal = NormalPcm(h);
            const auto got = As16Bit(normal, t.bits);
            EXPECT_NEAR(want_frames, (long)got.size() / t.channels, t.slack) << "frames";
            // The codecs round differently from ffmpeg's (IMA ADPCM's by up to 0.2 %).
            EXPECT_LT(Difference(got, want), 0.01) << "not ffmpeg's sound";
            EXPECT_GT(Rms(got), 0.5 * Rms(want)) << "quieter than ffmpeg's";
            EXPECT_EQ(0, DeleteSoundHandle(h));

            SetSoundSoftwareMixingFlag(1);
            SetCreateSoundDataType(2);
            const int st = LoadSoundFile(path.c_str(), 1, -1);
            ASSERT_NE(-1, st);
            EXPECT_EQ((int)(got.size() / t.channels), GetSoundHandleSampleCount(st)) << "the stream's length";
            const Bytes heard = PlayStream(st, normal.size() + (size_t)t.rate * t.channels * 6 * t.bits / 16);
            EXPECT_EQ(0, IsSoundHandlePlaying(st)) << "did not stop by itself";
            EXPECT_TRUE(!normal.empty() && heard.size() >= normal.size() &&
                        std::equal(normal.begin(), normal.end(), heard.begin()))
                << "the stream plays other PCM than the normal sound holds";
            EXPECT_EQ(0, DeleteSoundHandle(st));
        },
        60000))
        << path << ": load or play hangs";
}

TEST_F(AcmSteps, FfmpegWavsLoadAtItsLengthWithItsSound) {
    // Through the compression manager alone: the platform's filter graph would take some of them.
    SetSoundDecoderDisableMask(SOUND_DECODER_MP3_FILTERS);
    for (auto& t : kFfmpegWavs) {
        SCOPED_TRACE(t.name);
        ExpectFfmpegsDecode(std::string("acmwav_") + t.name + ".wav", t);
    }
}

// `wav` (its format chunk first) with its format record in the extensible
// form: the tag in a standard sub-format GUID, the codec's extra bytes behind.
Bytes Extensible(const Bytes& wav) {
    const uint32_t size = wav[16] | wav[17] << 8;
    const Bytes plain(wav.begin() + 20, wav.begin() + 20 + size);
    const int extra = size > 18 ? plain[16] | plain[17] << 8 : 0;
    Bytes ext;
    Put16(ext, 0xFFFE), ext.insert(ext.end(), plain.begin() + 2, plain.begin() + 16);
    Put16(ext, 22 + extra), Put16(ext, plain[14] | plain[15] << 8), Put32(ext, 0);
    ext.insert(ext.end(), {plain[0], plain[1], 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
    ext.insert(ext.end(), plain.begin() + 18, plain.begin() + 18 + extra);
    Bytes out(wav.begin(), wav.begin() + 16);
    Put32(out, (uint32_t)ext.size());
    out.insert(out.end(), ext.begin(), ext.end());
    out.insert(out.end(), wav.begin() + 20 + size, wav.end());
    const uint32_t riff = (uint32_t)out.size() - 8;
    for (int i = 0; i < 4; i++) out[4 + i] = (uint8_t)(riff >> (8 * i));
    return out;
}

// Extensible headers of a standard sub-format read as the format they name:
// PCM by the PCM reader, codecs by the compression manager, with the
// platform's filter graph and without it. As the tools write them, and
// ffmpeg's codec WAVs rewritten so (ffmpeg's decode of either is the same).
TEST_F(AcmSteps, ExtensibleWavsLoadAsTheFormatTheyName) {
    const FfmpegWav written[] = {
        {"ext_s24_44s", 2, 44100, 0, 24}, {"ext_s16_44x6", 6, 44100, 0}, {"ext_u8_96s", 2, 96000, 0, 8},
        {"ext_ima_96m", 1, 96000, 0},     {"ext_ms_96m", 1, 96000, 0},
    };
    const FfmpegWav rewritten[] = {
        {"alaw_22m", 1, 22050, 0}, {"mulaw_22m", 1, 22050, 0},   {"gsm_8m", 1, 8000, 0},
        {"ima2048_44s", 2, 44100, 0}, {"ms2048_44s", 2, 44100, 0}, {"mp3_cbr44s", 2, 44100, 2304},
    };
    for (int mask : {0, (int)SOUND_DECODER_MP3_FILTERS}) {
        SCOPED_TRACE(mask ? "without the graph" : "every decoder");
        SetSoundDecoderDisableMask(mask);
        for (auto& t : written) {
            SCOPED_TRACE(t.name);
            ExpectFfmpegsDecode(std::string("acmwav_") + t.name + ".wav", t);
        }
        for (auto& t : rewritten) {
            SCOPED_TRACE(std::string("rewritten ") + t.name);
            ASSERT_TRUE(WriteBytesToFile("extensible.wav", Extensible(ReadFileBytes((std::string("acmwav_") + t.name + ".wav").c_str()))));
            ExpectFfmpegsDecode("extensible.wav", t);
        }
    }
}

MMRESULT(WINAPI* g_real_size)(HACMSTREAM, DWORD, LPDWORD, DWORD);
// Promises a second more PCM for `g_whole` bytes than the codec's own count.
uint32_t g_whole = 0;
MMRESULT WINAPI WholeOverpromised(HACMSTREAM h, DWORD in, LPDWORD out, DWORD flags) {
    if ((flags & ACM_STREAMSIZEF_QUERYMASK) != ACM_STREAMSIZEF_SOURCE || in != g_whole) return g_real_size(h, in, out, flags);
    if (g_real_size(h, in, out, flags) != 0) *out = 0;
    *out += 44100 * 4;
    return 0;
}

// Where the data chunk's body starts (ffmpeg writes it last).
size_t DataBody(const Bytes& wav) {
    const uint8_t id[] = {'d', 'a', 't', 'a'};
    return std::search(wav.begin(), wav.end(), id, id + 4) - wav.begin() + 8;
}

// `wav` with its data chunk cut to `keep` bytes.
Bytes DataCut(Bytes wav, uint32_t keep) {
    const size_t at = DataBody(wav);
    if (at + keep > wav.size()) return Bytes();
    wav.resize(at + keep);
    for (int i = 0; i < 4; i++) wav[at - 4 + i] = (uint8_t)(keep >> (8 * i));
    return wav;
}

// A decode that yields nothing is refused with a log line, as a normal sound
// (not tried again as a stream where the codec promised PCM) and as a stream,
// whatever the codec promised; one that yields less than the codec promised
// keeps what it decoded and says so.
TEST_F(AcmSteps, NothingDecodedIsRefusedAndLessIsSaid) {
    const Bytes ima = ReadFileBytes("acmwav_ima2048_44s.wav"), want = ReadFileBytes("acmwav_ima2048_44s.s16");
    ASSERT_FALSE(ima.empty() || want.empty());
    const Bytes cut = DataCut(ima, 6);  // less than a block's header: nothing to decode
    g_real_size = AcmApi.acmStreamSize;
    AcmApi.acmStreamSize = WholeOverpromised;
    for (bool promised : {false, true})
        for (int type : {0, 2}) {
            SCOPED_TRACE(::testing::Message() << (promised ? "a second promised" : "nothing promised") << ", type " << type);
            g_whole = promised ? 0 : 1;   // the codec is asked about the whole blocks before a cut one: none
            LogCapture log;
            SetCreateSoundDataType(type);
            int h = 0;
            ASSERT_TRUE(RunWithTimeout([&] { h = CreateSoundFromFileImage(cut.data(), (unsigned)cut.size(), 1, -1); }, 20000));
            EXPECT_EQ(-1, h) << "a sound of nothing";
            EXPECT_TRUE(log.Contains("ＰＣＭが得られませんでした")) << log.Text();
            if (promised && type == 0) {
                EXPECT_FALSE(log.Contains("ストリーム")) << log.Text();
            }
        }
    SetCreateSoundDataType(0);
    LogCapture log;
    g_whole = (uint32_t)(ima.size() - DataBody(ima));
    const int h = CreateSoundFromFileImage(ima.data(), (unsigned)ima.size(), 1, -1);
    AcmApi.acmStreamSize = g_real_size;
    ASSERT_NE(-1, h);
    EXPECT_EQ(SOUND_KIND_NORMAL, GetSoundRecord(h)->kind);
    EXPECT_EQ(want.size(), (size_t)GetSoundRecord(h)->pcm_size);
    EXPECT_TRUE(log.Contains("示された長さより短い")) << log.Text();
    EXPECT_EQ(0, DeleteSoundHandle(h));
}

// `wav` (as ffmpeg writes it) with `n` bytes of its format record at `at` set to v.
Bytes WithField(Bytes wav, size_t at, uint32_t v, int n) {
    const uint8_t id[] = {'f', 'm', 't', ' '};
    const size_t fmt = std::search(wav.begin(), wav.end(), id, id + 4) - wav.begin() + 8;
    for (int i = 0; i < n; i++) wav[fmt + at + i] = (uint8_t)(v >> (8 * i));
    return wav;
}

// `wav` with `data` as its data chunk.
Bytes WithData(const Bytes& wav, const Bytes& data) {
    Bytes b = DataCut(wav, 0);
    b.insert(b.end(), data.begin(), data.end());
    for (int i = 0; i < 4; i++) b[DataBody(b) - 4 + i] = (uint8_t)(data.size() >> (8 * i));
    return b;
}

Bytes DataOf(const Bytes& wav) { return Bytes(wav.begin() + DataBody(wav), wav.end()); }

// Headers that made the platform's codecs end the process. MP3 in WAV with a
// byte rate of a few bytes over data whose frames the header does not name
// (a divide by zero): refused with a log line where the data holds no frames
// the codec can size, read at their own rate where it does. IMA ADPCM whose
// samples per block are far more than its blocks hold (a write past the
// codec's output): refused. MS ADPCM told of fewer decodes that many a block,
// as before. With the filter graph on as well: the platform's parser ends the
// process on an MPEG layer II WAV over ADPCM data, which is never offered it.
TEST_F(AcmSteps, HeadersThatKilledTheCodecAreRefusedOrReadByTheirFrames) {
    const Bytes cbr = ReadFileBytes("acmwav_mp3_cbr44s.wav"), ima = ReadFileBytes("acmwav_ima256_44s.wav");
    const Bytes ms = ReadFileBytes("acmwav_ms256_44s.wav"), cut_ima = ReadFileBytes("acmwav_cut_ima8192.wav");
    const long want = (long)ReadFileBytes("acmwav_mp3_cbr44s.s16").size() / 4;
    ASSERT_TRUE(!cbr.empty() && !ima.empty() && !ms.empty() && !cut_ima.empty() && want > 0);
    Bytes free_format = DataOf(cbr);
    const std::vector<size_t> frames = MpegFrameStarts(free_format);
    ASSERT_GT(frames.size(), 50u);
    for (size_t at : frames) free_format[at + 2] &= 0x0F;
    // A stray 44.1 kHz header that runs past the end is no cut last frame.
    free_format.insert(free_format.end(), {0xFF, 0xFB, 0x90, 0x64});
    const char* const kNoFrames = "ＭＰＥＧオーディオのフレームが見つかりません";
    const Bytes layer2 = WithField(cut_ima, 0, 0x50, 2);
    struct Case {
        std::string what;
        Bytes wav;
        const char* refusal;   // the log line, or null where it loads at 44.1 kHz
        long frames = 0;       // of a load: about as many
    };
    std::vector<Case> cases = {
        {"IMA ADPCM, 44165 samples a block", WithField(ima, 18, 44165, 2), "サンプル数がブロックの大きさと合いません"},
        {"IMA ADPCM, 52653 samples a block", WithField(ima, 18, 52653, 2), "サンプル数がブロックの大きさと合いません"},
        {"MS ADPCM, 200 of 244 samples a block", WithField(ms, 18, 200, 2), nullptr, 181 * 200},
        {"IMA ADPCM data under an MPEG layer II tag", layer2, kNoFrames}};
    for (uint32_t byte_rate = 1; byte_rate <= 16; byte_rate++) {
        const std::string rate = ", byte rate " + std::to_string(byte_rate);
        const Bytes header = WithField(cbr, 8, byte_rate, 4);
        cases.push_back({"158 bytes of noise" + rate, WithData(header, Noise(158, 7)), kNoFrames});
        cases.push_back({"free-format frames" + rate, WithData(header, free_format), kNoFrames});
        cases.push_back({"44.1 kHz frames under a 48 kHz header" + rate, WithField(header, 4, 48000, 4), nullptr, want});
    }
    for (int mask : {(int)SOUND_DECODER_MP3_FILTERS, 0})
    for (auto& c : cases)
        for (int type : {0, 2}) {
            SCOPED_TRACE(::testing::Message() << c.what << ", type " << type << ", decoders off " << mask);
            SetSoundDecoderDisableMask(mask);
            SetCreateSoundDataType(type);
            LogCapture log;
            int h = -1;
            ASSERT_TRUE(RunWithTimeout([&] { h = CreateSoundFromFileImage(c.wav.data(), (unsigned)c.wav.size(), 1, -1); }, 20000));
            if (c.refusal) {
                EXPECT_EQ(-1, h);
                EXPECT_TRUE(log.Contains(c.refusal)) << log.Text();
                continue;
            }
            ASSERT_NE(-1, h);
            EXPECT_EQ(44100u, GetSoundRecord(h)->format.nSamplesPerSec);
            // A stream's length is the codec's count, which takes MS ADPCM's blocks as whole.
            if (type == 0 || c.frames == want) {
                EXPECT_NEAR(c.frames, GetSoundHandleSampleCount(h), 2304);
            }
            EXPECT_EQ(0, DeleteSoundHandle(h));
        }
    // Every decoder in turn, as a file's load meets them; also under a format
    // chunk of odd size, which the graph's parser died on.
    SetSoundDecoderDisableMask(0);
    Bytes odd = WithField(WithField(cut_ima, 0, 0x55, 2), 4, 11025, 4);
    const size_t fmt = 20, fmt_size = odd[16];
    odd.erase(odd.begin() + fmt + 17, odd.begin() + fmt + fmt_size);
    odd.insert(odd.begin() + fmt + 17, 0);   // the pad byte
    odd[16] = 17;
    for (int i = 0; i < 4; i++) odd[4 + i] = (uint8_t)((odd.size() - 8) >> (8 * i));
    for (const Bytes* wav : {&layer2, (const Bytes*)&odd}) {
        MemConverter m;
        EXPECT_EQ(-1, m.Open(*wav));
    }
}

// A data chunk is judged as raw bytes are, and its first stream played: a
// normal sound and a stream both end where the rate changes, right behind the
// stream or behind the next file's tag (the stream played the rest at 44.1
// kHz, the normal sound all of it at 48); zero bytes after the frames (a
// recorder that reserved its chunk) weigh an eighth, and a whole MP3 led by
// its tag and cover loads.
TEST_F(AcmSteps, MpegInWavePlaysItsFirstStreamAsRawBytesWould) {
    SetSoundDecoderDisableMask(SOUND_DECODER_MP3_FILTERS);
    const Bytes cbr = ReadFileBytes("acmwav_mp3_cbr44s.wav"), vbr48 = ReadFileBytes("acmwav_mp3_vbr48s.wav");
    const long want = (long)ReadFileBytes("acmwav_mp3_cbr44s.s16").size() / 4;
    const Bytes tone = ReadFileBytes("tone.mp3");
    ASSERT_TRUE(!cbr.empty() && !vbr48.empty() && !tone.empty() && want > 0);
    Bytes zeroed = DataOf(cbr);
    const size_t kept = zeroed.size() * 2 / 5;
    long kept_frames = 0;
    for (size_t at : MpegFrameStarts(zeroed)) kept_frames += at + 417 <= kept ? 1152 : 0;
    std::fill(zeroed.begin() + kept, zeroed.end(), 0);
    const struct {
        const char* what;
        Bytes data;
        long frames;
    } cases[] = {
        {"48 kHz right behind", Cat({DataOf(cbr), DataOf(vbr48)}), want},
        {"48 kHz behind its tag", Cat({DataOf(cbr), Id3v2(3, 0, 300), DataOf(vbr48)}), want},
        {"the last 60 % zeroed", zeroed, kept_frames},
        {"a whole MP3 with a 100 KB tag", Cat({Id3v2(3, 0, 100000), tone}), want},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes wav = WithData(cbr, c.data);
        ASSERT_TRUE(RunWithTimeout(
            [&] {
                SetSoundSoftwareMixingFlag(0);
                SetCreateSoundDataType(0);
                const int h = CreateSoundFromFileImage(wav.data(), (unsigned)wav.size(), 1, -1);
                ASSERT_NE(-1, h);
                EXPECT_EQ(44100u, GetSoundRecord(h)->format.nSamplesPerSec);
                const long normal = GetSoundRecord(h)->pcm_size / 4;
                EXPECT_NEAR(c.frames, normal, 2304) << "frames of the normal sound";
                EXPECT_EQ(0, DeleteSoundHandle(h));

                SetSoundSoftwareMixingFlag(1);
                SetCreateSoundDataType(2);
                const int st = CreateSoundFromFileImage(wav.data(), (unsigned)wav.size(), 1, -1);
                ASSERT_NE(-1, st);
                EXPECT_EQ(normal, GetSoundHandleSampleCount(st));
                const long heard = (long)PlayStream(st, (size_t)(want + 44100 * 6) * 4).size() / 4;
                EXPECT_EQ(0, IsSoundHandlePlaying(st)) << "did not stop by itself";
                EXPECT_NEAR(normal, heard, 160) << "frames the stream played";
                EXPECT_EQ(0, DeleteSoundHandle(st));
            },
            60000));
    }
}

MMRESULT WINAPI SizeRefused(HACMSTREAM, DWORD, LPDWORD, DWORD) { return ACMERR_NOTPOSSIBLE; }
// Recommends five GSM blocks more than fill the destination, as an estimate may.
MMRESULT WINAPI SourceOverestimated(HACMSTREAM h, DWORD in, LPDWORD out, DWORD flags) {
    MMRESULT r = g_real_size(h, in, out, flags);
    if (r == 0 && (flags & ACM_STREAMSIZEF_QUERYMASK) == ACM_STREAMSIZEF_DESTINATION) *out += 5 * 65;
    return r;
}

// Without the codec's own counts, or with a wrong estimate, each step still
// decodes no more than the block holds.
TEST_F(AcmSteps, GsmDecodesWholeWhateverTheCodecSaysOfSizes) {
    const Bytes wav = ReadFileBytes("gsm_9s.wav");
    ASSERT_FALSE(wav.empty());
    g_real_size = AcmApi.acmStreamSize;
    const struct {
        const char* what;
        decltype(g_real_size) size;
    } cases[] = {{"no acmStreamSize", nullptr}, {"acmStreamSize fails", SizeRefused},
                 {"source for a destination overestimated", SourceOverestimated}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        int opened = -1;
        Bytes pcm;
        ASSERT_TRUE(RunWithTimeout(
            [&] {
                MemConverter m;
                AcmApi.acmStreamSize = c.size;
                opened = m.Open(wav);
                AcmApi.acmStreamSize = g_real_size;
                if (opened == 0) pcm = m.ReadAll();
            },
            20000));
        AcmApi.acmStreamSize = g_real_size;
        ASSERT_EQ(0, opened);
        ExpectWholeTone(ToSamples(pcm), kTones[1]);
    }
}

}  // namespace
