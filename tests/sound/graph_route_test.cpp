// Which files the last decoder hands to the platform's filter graph, and how
// it labels them: well-formed WAVs (with our readers off) and Ogg of other
// codecs load there, and only MPEG audio is offered as MPEG audio.
#include "sound/sound_fixture.h"

#include <ogg/ogg.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/movie/filters/unknown.h"
#include "sound/sound_lookalikes.h"
#include "support/graph_stand_in.h"
#include "support/theora_writer.h"

using namespace soundtest;

namespace {

const int kRenderSlot = 12;
const int kRate = 44100;

double Signal(int i) { return 0.6 * std::sin(i * 0.013) + 0.3 * std::sin(i * 0.0371); }

// KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT differ only in their first field.
Bytes ExtensibleTail(int bits, int channels, bool is_float) {
    Bytes b;
    Put16(b, bits), Put32(b, channels == 1 ? 4 : (1u << channels) - 1), Put32(b, is_float ? 3 : 1);
    Put16(b, 0), Put16(b, 0x10);
    b.insert(b.end(), {0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
    return b;
}

struct WaveCase {
    std::string what;
    Bytes file;
    int bits, channels;
    bool is_float;
};

// One second of Signal in each channel, as tag 1, 3 or the extensible tag.
WaveCase Wave(const char* what, int tag, int bits, int channels, bool is_float) {
    Bytes pcm;
    for (int i = 0; i < kRate * channels; i++) {
        if (is_float) {
            const float f = (float)Signal(i);
            uint32_t u;
            std::memcpy(&u, &f, 4);
            Put32(pcm, u);
        } else {
            const int64_t q = std::llround(Signal(i) * (double)(1ll << (bits - 1)));
            for (int k = 0; k < bits / 8; k++) pcm.push_back((uint8_t)(q >> (8 * k)));
        }
    }
    const int align = channels * bits / 8;
    const Bytes tail = tag == 0xFFFE ? ExtensibleTail(bits, channels, is_float) : Bytes();
    RiffWriter w;
    if (tag == 1) w.Chunk("JUNK", Bytes(28, 0));   // room left for a 64-bit header
    w.Chunk("fmt ", FormatBody(tag, channels, kRate, bits, align, align * kRate, tag != 1, tail)).Chunk("data", pcm);
    return {what, w.Build(), bits, channels, is_float};
}

class GraphRoute : public SoundSystemTest {
protected:
    void TearDown() override {
        SoundSystemTest::TearDown();
        EXPECT_EQ(0, D_CBaseObject::LiveObjectCount()) << "filter objects left alive";
    }
    int LoadWithin(const std::function<int()>& load) {
        int h = -2;
        EXPECT_TRUE(graphtest::RunComWithTimeout([&] { h = load(); }, 30000)) << "the load hung";
        return h;
    }
};

// The first `bytes` of a loaded sound's buffer.
Bytes SoundBytes(SoundHandleRecord* rec, uint32_t bytes) {
    void *p1 = nullptr, *p2 = nullptr;
    uint32_t s1 = 0, s2 = 0;
    if (LockDSoundBuffer(&rec->buffers[0], 0, bytes, &p1, &s1, &p2, &s2) != 0) return Bytes();
    const Bytes got((const uint8_t*)p1, (const uint8_t*)p1 + s1);
    UnlockDSoundBuffer(&rec->buffers[0], p1, s1, p2, s2);
    return got;
}

// Integer samples come back at their own width, bit for bit; float ones as
// 16-bit, within the conversion's rounding and dither.
void ExpectSamplesMatch(const WaveCase& c, int h) {
    SoundHandleRecord* rec = GetSoundRecord(h);
    ASSERT_NE(nullptr, rec);
    const WAVEFORMATEX& f = rec->format;
    ASSERT_EQ(c.channels, f.nChannels);
    ASSERT_EQ((DWORD)kRate, f.nSamplesPerSec);
    ASSERT_EQ(c.is_float ? 16 : c.bits, f.wBitsPerSample);
    const uint32_t bytes = (uint32_t)kRate * f.nBlockAlign;
    const Bytes got = SoundBytes(rec, bytes);
    ASSERT_EQ(bytes, got.size()) << "the whole second";
    const Bytes& file = c.file;
    if (!c.is_float) {
        EXPECT_TRUE(std::equal(got.begin(), got.end(), file.end() - bytes));
        return;
    }
    double worst = 0;
    for (uint32_t i = 0; i < bytes / 2; i++) {
        const int16_t v = (int16_t)(got[2 * i] | got[2 * i + 1] << 8);
        worst = std::max(worst, std::fabs(v - (double)(float)Signal((int)i) * 32768));
    }
    EXPECT_LE(worst, 1.5) << "LSB";
}

// With our WAV readers off: the graph hands back files of three channels or
// more as extensible PCM.
TEST_F(GraphRoute, WellFormedWavesLoadThroughTheGraphWithTheirSamples) {
    SetSoundDecoderDisableMask(SOUND_DECODER_RIFF_PCM | SOUND_DECODER_RIFF_ACM);
    const WaveCase cases[] = {
        Wave("24-bit extensible PCM", 0xFFFE, 24, 2, false), Wave("32-bit extensible PCM", 0xFFFE, 32, 2, false),
        Wave("6-channel extensible PCM", 0xFFFE, 16, 6, false),
        Wave("mono extensible float", 0xFFFE, 32, 1, true),  Wave("stereo extensible float", 0xFFFE, 32, 2, true),
        Wave("tag-3 float", 3, 32, 2, true),                 Wave("16-bit PCM, JUNK chunk first", 1, 16, 2, false),
        // The parser renders these only under the extensible header that names them.
        Wave("3-channel tag-3 float", 3, 32, 3, true),      Wave("6-channel tag-3 float", 3, 32, 6, true),
    };
    for (const WaveCase& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteBytesToFile("route.wav", c.file));
        LogCapture log;
        for (int from_file : {1, 0}) {
            SCOPED_TRACE(from_file ? "from a file" : "from memory");
            const int h = LoadWithin([&] {
                return from_file ? LoadSoundFile("route.wav", 1, -1)
                                 : CreateSoundFromFileImage(c.file.data(), (unsigned)c.file.size(), 1, -1);
            });
            ASSERT_GE(h, 0);
            ExpectSamplesMatch(c, h);
            EXPECT_EQ(0, DeleteSoundHandle(h));
        }
        EXPECT_FALSE(log.Contains("Ogg や RIFF WAVE のファイルは MP3 として変換しません"));
    }
}

// A streaming writer that cannot seek back leaves the RIFF and data sizes at
// 0xFFFFFFFF; a file cut short holds less than its data size says. The reader
// takes the data up to the stream's end, and so does the graph.
// A-law and mu-law at rates the compression manager's codec lacks go to the
// graph under a header that names them rightly, a byte a sample a channel:
// its parser waited out its time limit on a block of 32,195. They decode as
// the same codes do through the codec at 8 kHz.
TEST_F(GraphRoute, G711TheCodecRefusesLoadsThroughTheGraphByteForSample) {
    Bytes codes(24000);
    for (size_t i = 0; i < codes.size(); i++) codes[i] = (uint8_t)(i * 7);
    auto g711 = [&](int tag, int rate, int bits, int align, int avg) {
        return RiffWriter().Chunk("fmt ", FormatBody(tag, 1, rate, bits, align, avg, true)).Chunk("data", codes).Build();
    };
    auto load = [&](const Bytes& wav) {
        return LoadWithin([&] { return CreateSoundFromFileImage(wav.data(), (unsigned)wav.size(), 1, -1); });
    };
    const struct {
        const char* what;
        int tag, rate, bits, align, avg;
    } cases[] = {
        {"A-law at 24 kHz, a block of 32,195", 6, 24000, 8, 32195, 7},
        {"mu-law at 96 kHz, 16 bits", 7, 96000, 16, 1, 96000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int want = load(g711(c.tag, 8000, 8, 1, 8000));
        ASSERT_GE(want, 0);
        const int h = load(g711(c.tag, c.rate, c.bits, c.align, c.avg));
        ASSERT_GE(h, 0);
        EXPECT_EQ((DWORD)c.rate, GetSoundRecord(h)->format.nSamplesPerSec);
        EXPECT_EQ((int)codes.size(), GetSoundHandleSampleCount(h));
        EXPECT_EQ(SoundBytes(GetSoundRecord(want), 2 * 24000), SoundBytes(GetSoundRecord(h), 2 * 24000));
        EXPECT_EQ(0, DeleteSoundHandle(want));
        EXPECT_EQ(0, DeleteSoundHandle(h));
    }
}

TEST_F(GraphRoute, WavesWithDataRunningPastTheEndLoadWhatTheyHold) {
    const WaveCase whole = Wave("24-bit extensible PCM", 0xFFFE, 24, 2, false);
    const size_t data = whole.file.size() - kRate * 6;   // behind the data chunk's header
    Bytes streamed = whole.file;
    for (size_t at : {(size_t)4, data - 4}) std::fill_n(streamed.begin() + at, 4, 0xFF);
    const Bytes cut(whole.file.begin(), whole.file.begin() + data + kRate / 2 * 6);
    const struct { const char* what; const Bytes& file; int frames; } cases[] = {
        {"sizes left at 0xFFFFFFFF", streamed, kRate}, {"cut at half a second", cut, kRate / 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LogCapture log;
        const int h = LoadWithin([&] { return CreateSoundFromFileImage(c.file.data(), (unsigned)c.file.size(), 1, -1); });
        ASSERT_GE(h, 0);
        EXPECT_FALSE(log.Contains("Ogg や RIFF WAVE のファイルは MP3 として変換しません"));
        EXPECT_EQ(c.frames, GetSoundHandleSampleCount(h));
        const Bytes got = SoundBytes(GetSoundRecord(h), (uint32_t)c.frames * 6);
        EXPECT_TRUE(got.size() == (size_t)c.frames * 6 && std::equal(got.begin(), got.end(), c.file.begin() + data));
        EXPECT_EQ(0, DeleteSoundHandle(h));
    }
}

// Bits written most significant first, with the two checksums a FLAC frame carries.
struct BitWriter {
    Bytes bytes;
    int used = 8;
    void Put(uint64_t value, int bits) {
        while (bits--) {
            if (used == 8) bytes.push_back(0), used = 0;
            bytes.back() |= (uint8_t)(((value >> bits) & 1) << (7 - used++));
        }
    }
};
uint32_t FlacCrc(const Bytes& b, uint32_t poly, int width) {
    uint32_t crc = 0;
    const uint32_t top = 1u << (width - 1), mask = (1u << width) - 1;
    for (uint8_t byte : b) {
        crc ^= (uint32_t)byte << (width - 8);
        for (int i = 0; i < 8; i++) crc = (crc & top ? (crc << 1) ^ poly : crc << 1) & mask;
    }
    return crc;
}

// Ogg FLAC of stereo 16-bit samples at 44.1 kHz in blocks of 4096 frames, stored verbatim.
Bytes OggFlac(const std::vector<int16_t>& samples) {
    const int block = 4096;
    const uint64_t frames = samples.size() / 2;
    BitWriter info;
    info.Put(0x7F, 8), info.Put(0x464C4143, 32), info.Put(0x0100, 16), info.Put(1, 16), info.Put(0x664C6143, 32);
    info.Put(34, 32);   // STREAMINFO, not the last block
    info.Put(block, 16), info.Put(block, 16), info.Put(0, 48), info.Put(kRate, 20), info.Put(1, 3), info.Put(15, 5);
    info.Put(frames, 36), info.Put(0, 64), info.Put(0, 64);
    const Bytes comment = {0x84, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0};   // last block: no vendor, no comments
    std::vector<Bytes> packets = {info.bytes, comment};
    for (uint64_t at = 0, n = 0; at < frames; at += block, n++) {
        BitWriter f;
        f.Put(0xFFF8, 16), f.Put(0xC9, 8), f.Put(0x18, 8), f.Put(n, 8);
        f.Put(FlacCrc(f.bytes, 0x07, 8), 8);
        for (int ch = 0; ch < 2; ch++) {
            f.Put(0x02, 8);   // verbatim
            for (uint64_t i = at; i < at + block; i++) f.Put((uint16_t)samples[2 * i + ch], 16);
        }
        f.Put(FlacCrc(f.bytes, 0x8005, 16), 16);
        packets.push_back(f.bytes);
    }
    ogg_stream_state os;
    ogg_stream_init(&os, 77);
    Bytes out;
    for (size_t i = 0; i < packets.size(); i++) {
        ogg_packet op = {};
        op.packet = packets[i].data();
        op.bytes = (long)packets[i].size();
        op.b_o_s = i == 0;
        op.e_o_s = i + 1 == packets.size();
        op.granulepos = i < 2 ? 0 : (ogg_int64_t)((i - 1) * block);
        op.packetno = (ogg_int64_t)i;
        ogg_stream_packetin(&os, &op);
        ogg_page og;
        while (ogg_stream_flush(&os, &og)) {
            out.insert(out.end(), og.header, og.header + og.header_len);
            out.insert(out.end(), og.body, og.body + og.body_len);
        }
    }
    ogg_stream_clear(&os);
    return out;
}

TEST_F(GraphRoute, OggFlacLoadsExactly) {
    std::vector<int16_t> samples(4 * 4096 * 2);
    for (size_t i = 0; i < samples.size(); i++) samples[i] = (int16_t)std::lround(Signal((int)i) * 32767);
    const Bytes file = OggFlac(samples);
    const int h = LoadWithin([&] { return CreateSoundFromFileImage(file.data(), (unsigned)file.size(), 1, -1); });
    ASSERT_GE(h, 0);
    SoundHandleRecord* rec = GetSoundRecord(h);
    EXPECT_EQ(2, rec->format.nChannels);
    EXPECT_EQ(16, rec->format.wBitsPerSample);
    const uint32_t bytes = (uint32_t)samples.size() * 2;
    const Bytes got = SoundBytes(rec, bytes);
    EXPECT_TRUE(got.size() == bytes && std::memcmp(got.data(), samples.data(), bytes) == 0);
    EXPECT_EQ(0, DeleteSoundHandle(h));
}

// Containers as writers bend them load as they do written plainly: a FLAC
// whose last metadata block says less than it holds, AVIs with chunks before
// their headers.
TEST_F(GraphRoute, ContainersAsWritersBendThemLoadWhole) {
    const Bytes flac = ReadFileBytes("quiet.flac"), mp3 = ReadFileBytes("tone.mp3");
    ASSERT_TRUE(FlacFramesStart(flac) && !mp3.empty()) << "scripts/sound-media writes them";
    const Bytes mp3_avi = avitest::MakeMp3Avi(mp3, MpegFrameStarts(mp3));
    const Bytes pcm_avi = avitest::MakePcmTracksAvi({avitest::SquareTrack(22050, 1, 2, 0x2000, 30)});
    const Bytes lead = Cat({avitest::Chunk("JUNK", Bytes(5, 0)), avitest::List("INFO", avitest::Chunk("ISFT", {'w', 0}))});
    const struct {
        const char* what;
        Bytes plain, bent;
    } cases[] = {
        {"FLAC", flac, FlacWithShortLastBlock(flac, FlacFramesStart(flac))},
        {"MP3 in an AVI", mp3_avi, AviWithChunksFirst(mp3_avi, lead)},
        {"PCM in an AVI", pcm_avi, AviWithChunksFirst(pcm_avi, lead)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        uint32_t size[2] = {};
        for (int bent = 0; bent < 2; bent++) {
            const Bytes& file = bent ? c.bent : c.plain;
            const int h = LoadWithin([&] { return CreateSoundFromFileImage(file.data(), (unsigned)file.size(), 1, -1); });
            ASSERT_GE(h, 0) << (bent ? "bent" : "as written");
            size[bent] = (uint32_t)GetSoundRecord(h)->pcm_size;
            EXPECT_EQ(0, DeleteSoundHandle(h));
        }
        EXPECT_GT(size[0], 0u);
        EXPECT_EQ(size[0], size[1]);
    }
}

std::vector<GUID> g_offered;   // by each Render, in turn
HRESULT STDMETHODCALLTYPE RecordOfferedType(IGraphBuilder*, IPin* pin) {
    g_offered.push_back(GUID{0xFFFFFFFF});
    IEnumMediaTypes* types = nullptr;
    AM_MEDIA_TYPE* mt = nullptr;
    if (SUCCEEDED(pin->EnumMediaTypes(&types))) {
        if (types->Next(1, &mt, nullptr) == S_OK) {
            g_offered.back() = mt->subtype;
            if (mt->pbFormat) CoTaskMemFree(mt->pbFormat);
            CoTaskMemFree(mt);
        }
        types->Release();
    }
    return E_FAIL;
}

// A container is offered untyped, once, and the graph tells it by its bytes;
// bytes in no container are offered labelled as MPEG audio from their first
// confirmed frame when frames make up most of them, or not at all.
TEST_F(GraphRoute, OnlyMpegAudioIsOfferedToTheGraphAsMpegAudio) {
    SetSoundDecoderDisableMask(SOUND_DECODER_MP3_ACM);
    const Bytes mp2 = MpegFrames({0xFF, 0xFD, 0x80, 0x00}, 417, 4);    // MPEG-1 layer II, 128 kbit/s
    const Bytes mp25 = MpegFrames({0xFF, 0xE3, 0x90, 0x00}, 522, 4);   // MPEG 2.5 layer III, 80 kbit/s, 11025 Hz
    const Bytes free = MpegFrames({0xFF, 0xFB, 0x00, 0x00}, 2000, 4);  // MPEG-1 layer III in free format
    Bytes lone = Noise(4000, 3);   // one good header, noise where the next should be
    lone[0] = 0xFF, lone[1] = 0xFB, lone[2] = 0x90, lone[3] = 0x00, lone[417] = 0x12;
    Bytes tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 2, 0};   // 256 bytes of tag
    tagged.resize(266, 0x20);
    tagged.insert(tagged.end(), mp2.begin(), mp2.end());
    Bytes short_tag = tagged;
    short_tag[8] = 1, short_tag[9] = 100;   // 28 bytes of the tag left before the audio
    Bytes two_tags = Cat({Bytes(tagged.begin(), tagged.begin() + 266), short_tag});
    const Bytes cut = ReadFileBytes("tone.mp3");
    const GUID none = GUID_NULL, mpeg = MEDIASUBTYPE_MPEG1Audio;
    const struct { const char* what; Bytes file; std::vector<GUID> offered; } cases[] = {
        {"lame MP3", cut, {mpeg}}, {"MP2", mp2, {mpeg}},
        {"MP2 behind an ID3v2 tag", tagged, {mpeg}},      {"MPEG 2.5", mp25, {mpeg}},
        {"free format", free, {mpeg}},
        {"Ogg FLAC", OggFlac(std::vector<int16_t>(2 * 4096)), {none}},
        {"MP3 in a program stream", ReadFileBytes("tone_mp3.vob"), {none}},
        {"MP2 behind a pack start code alone", Cat({{0, 0, 1, 0xBA}, mp2}), {mpeg}},
        {"one header, then noise", lone, {}},
        {"noise", Noise(4000, 5), {}},
        {"lame MP3 cut mid-frame", Bytes(cut.begin() + 700, cut.end()), {mpeg}},
        {"MP2 behind a tag whose size is short", short_tag, {mpeg}},
        {"MP2 behind two tags, the second short", two_tags, {mpeg}},
        {"1 KB of noise, then MP2", Cat({Noise(1000, 7), mp2}), {mpeg}},
        {"1 MB of noise, then MP2", Cat({Noise(1 << 20, 7), mp2}), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_GT(c.file.size(), 20u);
        g_offered.clear();
        LogCapture log;
        int h = 0;
        {
            graphtest::StandIn record(kRenderSlot, (void*)RecordOfferedType);
            h = LoadWithin([&] { return CreateSoundFromFileImage(c.file.data(), (unsigned)c.file.size(), 1, -1); });
        }
        EXPECT_EQ(-1, h);
        ASSERT_EQ(c.offered.size(), g_offered.size()) << "graphs built";
        for (size_t i = 0; i < c.offered.size(); i++) EXPECT_TRUE(IsEqualGUID(c.offered[i], g_offered[i])) << i;
    }
}

}  // namespace
