// One reading of a WAV's chunks on every path: the layouts writers leave
// around a payload of each codec give the plain file's samples, or a quick
// refusal that leaves nothing behind; and MPEG audio in a WAV is its bytes
// decoded as they are when raw.
#include "sound/sound_fixture.h"

#include <cmath>
#include <functional>
#include <string>

#include "engine/movie/filters/unknown.h"

using namespace soundtest;

namespace {

const int kFiltersAlone = SOUND_DECODER_RIFF_PCM | SOUND_DECODER_RIFF_ACM | SOUND_DECODER_OGG_VORBIS | SOUND_DECODER_MP3_ACM;
const struct Path {
    const char* what;
    int mask;
    bool stream;   // read block by block through the converter, as a stream refills
} kPaths[] = {{"default", 0, false},
              {"compression manager alone", SOUND_DECODER_MP3_FILTERS, false},
              {"filters alone", kFiltersAlone, false},
              {"stream", 0, true}};

// What a path made of a file: its format, announced length and PCM, or nothing.
struct Decoded {
    bool loaded = false;
    WAVEFORMATEX format = {};
    uint32_t announced = 0;
    Bytes pcm;
    DWORD ms = 0;
};

// On the test's own thread, whose COM apartment lives through the test; the
// graph's own time limits bound each load.
Decoded Decode(const Bytes& file, const Path& path) {
    Decoded d;
    SetSoundDecoderDisableMask(path.mask);
    const DWORD start = GetTickCount();
    if (path.stream) {
        MemConverter m;
        if (m.Open(file) == 0) {
            d.loaded = true;
            d.format = m.conv.format;
            d.announced = GetConvertedPcmSize(&m.conv);
            d.pcm = m.ReadAll();
        }
    } else if (const int h = CreateSoundFromFileImage(file.data(), (unsigned)file.size(), 1, -1); h != -1) {
        const SoundHandleRecord* r = GetSoundRecord(h);
        d.loaded = true;
        d.format = r->format;
        d.announced = (uint32_t)r->pcm_size;
        d.pcm.assign((const uint8_t*)r->pcm, (const uint8_t*)r->pcm + r->pcm_size);
        EXPECT_EQ(0, DeleteSoundHandle(h));
    }
    d.ms = GetTickCount() - start;
    EXPECT_LT(d.ms, 20000u) << "far past the graph's limits";
    SetSoundDecoderDisableMask(0);
    return d;
}

// Chunks as writers leave them: padded or not, sizes that lie, RIFF or RF64.
struct Chunks {
    Bytes body;
    Chunks& Add(const char* id, const Bytes& data, int64_t claim = -1, bool pad = true) {
        body.insert(body.end(), id, id + 4);
        Put32(body, claim < 0 ? (uint32_t)data.size() : (uint32_t)claim);
        body.insert(body.end(), data.begin(), data.end());
        if ((data.size() & 1) && pad) body.push_back(0);
        return *this;
    }
    Bytes Build(const char* form = "RIFF") const {
        Bytes out(form, form + 4);
        Put32(out, std::string(form) == "RF64" ? 0xFFFFFFFFu : (uint32_t)body.size() + 4);
        out.insert(out.end(), {'W', 'A', 'V', 'E'});
        return Cat({out, body});
    }
};

struct Payload {
    std::string what;
    Bytes fmt, data;
};

// The format and data bodies of a plain file that the tools wrote.
Payload FromFile(const char* what, const char* name) {
    const Bytes f = ReadFileBytes(name);
    Payload p = {what, {}, {}};
    for (size_t at = 12; at + 8 <= f.size();) {
        const uint32_t size = f[at + 4] | f[at + 5] << 8 | f[at + 6] << 16 | (uint32_t)f[at + 7] << 24;
        const size_t end = std::min(f.size(), at + 8 + (size_t)size);
        if (!std::memcmp(&f[at], "fmt ", 4)) p.fmt.assign(f.begin() + at + 8, f.begin() + end);
        if (!std::memcmp(&f[at], "data", 4)) p.data.assign(f.begin() + at + 8, f.begin() + end);
        at = end + (size & 1);
    }
    return p;
}

// A fifth of a second of two tones, starting from silence, as integer or float samples.
Payload Tone(const char* what, int bits, bool is_float, int channels) {
    const int rate = 22050, frames = rate / 5;
    Bytes data;
    for (int i = 0; i < frames * channels; i++) {
        const double v = 0.5 * std::sin(i / channels * 0.07) + 0.2 * std::sin(i * 0.013);
        if (is_float && bits == 32) {
            const float f = (float)v;
            uint32_t u;
            std::memcpy(&u, &f, 4);
            Put32(data, u);
        } else if (is_float) {
            uint64_t u;
            std::memcpy(&u, &v, 8);
            PutLe(data, (int64_t)u, 8);
        } else if (bits == 8) {
            data.push_back((uint8_t)(128 + std::lround(v * 127)));
        } else {
            PutLe(data, std::llround(v * (double)((1ll << (bits - 1)) - 1)), bits / 8);
        }
    }
    const int align = channels * bits / 8;
    return {what, FormatBody(is_float ? 3 : 1, channels, rate, bits, align, align * rate), data};
}

// A twin of odd size of the record: one byte behind it that no field claims.
Bytes OddRecord(const Bytes& fmt) { return Cat({fmt, Bytes{0}}); }

Bytes Ds64(uint64_t data) {
    Bytes b;
    PutLe(b, 0, 8), PutLe(b, (int64_t)data, 8), PutLe(b, 0, 8), Put32(b, 0);
    return b;
}

struct Layout {
    const char* what;
    std::function<Bytes(const Payload&)> build;
    bool loads;   // else refused on every path, at once
};

const Bytes kOther = FormatBody(1, 1, 11025, 8, 1, 11025);   // a format that is not the payload's

const Layout kLayouts[] = {
    {"JUNK before fmt", [](const Payload& p) { return Chunks().Add("JUNK", Bytes(28, 0)).Add("fmt ", p.fmt).Add("data", p.data).Build(); }, true},
    {"odd LIST before fmt", [](const Payload& p) { return Chunks().Add("LIST", Bytes(7, 'l')).Add("fmt ", p.fmt).Add("data", p.data).Build(); }, true},
    {"odd LIST before fmt, no pad", [](const Payload& p) { return Chunks().Add("LIST", Bytes(7, 'l'), -1, false).Add("fmt ", p.fmt).Add("data", p.data).Build(); }, true},
    // The header a byte on, "UNKB", is text too: only its size tells.
    {"odd LIST, no pad, before JUNK of 66", [](const Payload& p) { return Chunks().Add("LIST", Bytes(65, 'l'), -1, false).Add("JUNK", Bytes(66, 1)).Add("fmt ", p.fmt).Add("data", p.data).Build(); }, true},
    {"odd bext between", [](const Payload& p) { return Chunks().Add("fmt ", p.fmt).Add("bext", Bytes(603, 'b')).Add("data", p.data).Build(); }, true},
    {"odd bext between, no pad", [](const Payload& p) { return Chunks().Add("fmt ", p.fmt).Add("bext", Bytes(603, 'b'), -1, false).Add("data", p.data).Build(); }, true},
    {"odd fmt, no pad", [](const Payload& p) { return Chunks().Add("fmt ", OddRecord(p.fmt), -1, false).Add("data", p.data).Build(); }, true},
    {"data before fmt", [](const Payload& p) { return Chunks().Add("data", p.data).Add("fmt ", p.fmt).Build(); }, true},
    // ffmpeg takes the data behind the format, the last of two.
    {"a stray data chunk before fmt", [](const Payload& p) { return Chunks().Add("data", Noise(45, 3)).Add("fmt ", p.fmt).Add("data", p.data).Build(); }, true},
    {"two fmt, the first first", [](const Payload& p) { return Chunks().Add("fmt ", p.fmt).Add("fmt ", kOther).Add("data", p.data).Build(); }, true},
    {"second fmt behind the data", [](const Payload& p) { return Chunks().Add("fmt ", p.fmt).Add("data", p.data).Add("fmt ", kOther).Build(); }, true},
    {"8 KB LIST after data", [](const Payload& p) { return Chunks().Add("fmt ", p.fmt).Add("data", p.data).Add("LIST", Bytes(8192, 'i')).Build(); }, true},
    {"data size 0 (a pipe)", [](const Payload& p) { return Chunks().Add("fmt ", p.fmt).Add("data", p.data, 0, false).Build(); }, true},
    {"data size 0xFFFFFFFF", [](const Payload& p) { return Chunks().Add("fmt ", p.fmt).Add("data", p.data, 0xFFFFFFFFu, false).Build(); }, true},
    {"data size past the end", [](const Payload& p) { return Chunks().Add("fmt ", p.fmt).Add("data", p.data, p.data.size() + 100000, false).Build(); }, true},
    {"RF64, LIST after data", [](const Payload& p) { return Chunks().Add("ds64", Ds64(p.data.size())).Add("fmt ", p.fmt).Add("data", p.data, 0xFFFFFFFFu).Add("LIST", Bytes(8192, 'i')).Build("RF64"); }, true},
    {"RF64", [](const Payload& p) { return Chunks().Add("JUNK", Bytes(28, 0)).Add("fmt ", p.fmt).Add("data", p.data, 0xFFFFFFFFu).Build("RF64"); }, true},
    {"100,000 odd chunks before fmt, no pads", [](const Payload& p) {
        Chunks c;
        for (int i = 0; i < 100000; i++) c.Add("JUNK", Bytes(1, 'j'), -1, false);
        return c.Add("fmt ", p.fmt).Add("data", p.data).Build();
    }, true},
    // Pro Tools leaves a data size of 0 with its chunks right behind: nothing there is sound.
    {"empty data, chunks behind", [](const Payload& p) { return Chunks().Add("fmt ", p.fmt).Add("data", {}).Add("LIST", Bytes(200, 'i')).Add("JUNK", Bytes(p.data.size(), 0)).Build(); }, false},
    {"endless data before fmt", [](const Payload& p) { return Chunks().Add("data", p.data, 0xFFFFFFFFu).Add("fmt ", p.fmt).Build(); }, false},
    {"chunk past the end before data", [](const Payload& p) { return Chunks().Add("fmt ", p.fmt).Add("LIST", Bytes(10), 1000000).Add("data", p.data).Build(); }, false},
};

class WaveLayouts : public SoundSystemTest {};

TEST_F(WaveLayouts, EveryLayoutGivesThePlainFilesSamplesOrARefusal) {
    std::vector<Payload> payloads = {
        Tone("PCM 8", 8, false, 1),      Tone("PCM 16", 16, false, 2),   Tone("PCM 24", 24, false, 2),
        Tone("PCM 32", 32, false, 1),    Tone("float 32", 32, true, 2),  Tone("float 64", 64, true, 1),
        FromFile("IMA ADPCM", "acmwav_ima256_44s.wav"), FromFile("MS ADPCM", "acmwav_ms256_44s.wav"),
        FromFile("GSM 6.10", "acmwav_gsm_8m.wav"),      FromFile("A-law", "acmwav_alaw_22m.wav"),
        FromFile("mu-law", "acmwav_mulaw_22m.wav"),     FromFile("MP3", "acmwav_mp3_cbr44s.wav"),
    };
    const Bytes mp2 = ReadFileBytes("tone.mp2");
    payloads.push_back({"MP2", FormatBody(0x50, 2, 44100, 0, 1, 24000, true, Bytes(22, 0)), mp2});
    for (const Payload& p : payloads) {
        ASSERT_TRUE(p.fmt.size() >= 16 && !p.data.empty()) << p.what;
        const Bytes plain = Chunks().Add("fmt ", p.fmt).Add("data", p.data).Build();
        const bool mpeg = p.what.rfind("MP", 0) == 0;
        for (const Path& path : kPaths) {
            // The platform's graph decodes no ADPCM or GSM, the compression manager no float.
            const Decoded want = Decode(plain, path);
            if (!path.mask) {
                EXPECT_TRUE(want.loaded) << p.what << ", " << path.what << ": the plain file";
            }
            for (const Layout& layout : kLayouts) {
                SCOPED_TRACE(::testing::Message() << p.what << ", " << layout.what << ", " << path.what);
                const int blocks = MemLiveBlockCount();
                LogCapture log;
                const Decoded got = Decode(layout.build(p), path);
                EXPECT_EQ(blocks, MemLiveBlockCount());
                // MPEG audio a broken WAV holds is read by its frames, as raw bytes are.
                if (!layout.loads && !mpeg) {
                    EXPECT_FALSE(got.loaded) << "a broken layout loaded";
                }
                if (!got.loaded) {
                    EXPECT_FALSE(layout.loads && want.loaded) << "refused: " << log.Text();
                    EXPECT_LT(got.ms, 1000u) << "a refusal at once";
                    EXPECT_FALSE(log.Text().empty()) << "a refusal says why";
                    continue;
                }
                ASSERT_TRUE(want.loaded) << "loaded what the plain file does not give";
                EXPECT_LT(got.ms, want.ms + 2000) << "generous: the walk is linear in the chunks";
                EXPECT_EQ(0, std::memcmp(&want.format, &got.format, sizeof want.format));
                EXPECT_EQ(want.announced, got.announced);
                EXPECT_TRUE(want.pcm == got.pcm) << want.pcm.size() << " bytes of the plain file's samples, "
                                                 << got.pcm.size() << " read";
            }
        }
    }
    EXPECT_EQ(0, D_CBaseObject::LiveObjectCount());
}

// An MP3 format record: what it says of the stream is not read.
const Bytes kMp3Format = FormatBody(0x55, 2, 44100, 0, 1, 16000, true, Bytes{1, 0, 2, 0, 0, 0, 0x1A, 1, 1, 0, 0x71, 5});

Bytes InsertAtFrame(const Bytes& mp3, size_t frame, const Bytes& what) {
    const size_t at = MpegFrameStarts(mp3).at(frame);
    return Cat({Bytes(mp3.begin(), mp3.begin() + at), what, Bytes(mp3.begin() + at, mp3.end())});
}

// Each byte sequence wrapped as a WAV's data chunk decodes as its raw twin:
// the same frames, channel changes and first stream, as a normal sound, as a
// stream and through the compression manager alone, each as long as it says;
// the platform's parsers within a frame of it. A RIFF header in front of the
// frames is other bytes.
TEST_F(WaveLayouts, MpegAudioInAWavDecodesAsItsRawBytes) {
    const Bytes tone = ReadFileBytes("tone.mp3"), mono = ReadFileBytes("tone_mono.mp3");
    Bytes pcm_header = PcmWav(2, 44100, 16, Bytes(tone.size(), 0));   // a header left in front
    pcm_header.resize(44);
    const struct {
        const char* what;
        Bytes data, raw;   // raw empty: the data itself
        Bytes fmt;         // empty: kMp3Format
    } cases[] = {
        {"lame's tone", tone, {}},
        {"behind an ID3v2 tag", ReadFileBytes("tone_id3.mp3"), {}},
        {"MPEG-2 mono", ReadFileBytes("tone22m.mp3"), {}},
        {"layer II", ReadFileBytes("tone.mp2"), {}},
        {"mono then stereo", Cat({mono, tone}), {}},
        {"stereo then mono", Cat({tone, mono}), {}},
        {"2,000 zero bytes between frames", InsertAtFrame(tone, 40, Bytes(2000, 0)), {}},
        {"3,000 other bytes between frames", InsertAtFrame(tone, 40, Noise(3000, 5)), {}},
        {"a 48 kHz stream behind", Cat({tone, ReadFileBytes("tone48.mp3")}), {}},
        {"files joined", ReadFileBytes("joined_lame2.mp3"), {}},
        {"cut inside its last frame", Bytes(tone.begin(), tone.end() - 200), {}},
        {"a PCM header in front", Cat({pcm_header, tone}), tone},
        {"a whole MPEG WAV", Chunks().Add("fmt ", kMp3Format).Add("data", tone).Build(), tone},
        {"under a header of no channels, rate or block", tone, {}, FormatBody(0x55, 0, 0, 0, 0, 0, true, Bytes(12))},
    };
    for (const auto& c : cases) {
        ASSERT_GT(c.data.size(), 1000u) << c.what;
        const Bytes wav = Chunks().Add("fmt ", c.fmt.empty() ? kMp3Format : c.fmt).Add("data", c.data).Build();
        const Bytes& raw = c.raw.empty() ? c.data : c.raw;
        for (const Path& path : kPaths) {
            SCOPED_TRACE(::testing::Message() << c.what << ", " << path.what);
            const int blocks = MemLiveBlockCount();
            const Decoded want = Decode(raw, path), got = Decode(wav, path);
            EXPECT_EQ(blocks, MemLiveBlockCount());
            if (!want.loaded || !got.loaded) {
                ADD_FAILURE() << "the raw bytes " << (want.loaded ? "load" : "are refused") << ", the WAV "
                              << (got.loaded ? "loads" : "is refused");
                continue;
            }
            // The platform's graph plays a channel change at either count, as it likes, load by load.
            if (path.mask == kFiltersAlone) {
                EXPECT_EQ(want.format.nSamplesPerSec, got.format.nSamplesPerSec);
                EXPECT_NEAR((double)want.pcm.size() / want.format.nBlockAlign, (double)got.pcm.size() / got.format.nBlockAlign,
                            1152.0);
                continue;
            }
            EXPECT_EQ(0, std::memcmp(&want.format, &got.format, sizeof want.format));
            EXPECT_EQ(want.announced, got.announced);
            EXPECT_TRUE(want.pcm == got.pcm) << want.pcm.size() << " bytes raw, " << got.pcm.size() << " in the WAV";
            EXPECT_EQ(got.announced, got.pcm.size()) << "a stream announces what it then plays";
        }
    }
    EXPECT_EQ(0, D_CBaseObject::LiveObjectCount());
}

}  // namespace
