// MPEG audio that does not begin with a frame header: cut mid-frame, with
// bytes before its first frame, behind a tag whose size is short. Both MP3
// paths find the first frame that the frames after it confirm, and no false
// header before it sets the format.
#include "sound/sound_fixture.h"

#include <cmath>
#include <cstring>

#include "engine/sound/mp3_acm.h"
#include "engine/sound/mpeg_audio_start.h"
#include "movie/avi_writer.h"
#include "sound/mpeg_bytes.h"
#include "sound/sound_lookalikes.h"
#include "sound/sound_measure.h"
#include "support/graph_stand_in.h"

using namespace soundtest;

namespace {

struct Encoding {
    const char* file;
    bool acm;       // the compression manager decodes it
    bool damaged;   // found again when its start is damaged
};
// Free format loads from its first header only: its frames carry no length,
// any two of its headers stand some way apart, and the search for a first
// frame passes over it (data that repeats a header at a steady spacing would pass).
const Encoding kEncodings[] = {{"tone.mp3", true, true},
                               {"tone22m.mp3", true, true},
                               {"tone8m.mp3", false, true},
                               {"tone_free.mp3", false, false},
                               {"tone.mp2", true, true}};

struct Damage {
    const char* what;
    Bytes file;
    int frames_left;   // -1: all of them, as the undamaged file decodes
};

// An ID3v2.3 tag whose size field falls `short_by` short of its body: the
// rest of a private frame, with a sync in it, is left before the audio.
Bytes ShortTag(int short_by) {
    Bytes body = {'T', 'I', 'T', '2', 0, 0, 0, 5, 0, 0, 0, 'T', 'o', 'n', 'e'};
    Bytes priv = Noise(200, 9);
    priv[190] = 0xFF, priv[191] = 0xFB, priv[192] = 0x90;
    body.insert(body.end(), {'P', 'R', 'I', 'V', 0, 0, 0, 200, 0, 0});
    body.insert(body.end(), priv.begin(), priv.end());
    const uint32_t said = (uint32_t)body.size() - short_by;
    Bytes tag = {'I', 'D', '3', 3, 0, 0, 0, 0, (uint8_t)(said >> 7), (uint8_t)(said & 127)};
    return Cat({tag, body});
}

std::vector<Damage> Damaged(const Bytes& f) {
    const std::vector<size_t> starts = MpegFrameStarts(f);
    // Past a frame or two, never on a header.
    size_t cut = 700;
    while (std::find(starts.begin(), starts.end(), cut) != starts.end()) cut++;
    const int left = (int)(starts.end() - std::upper_bound(starts.begin(), starts.end(), cut));
    // A header at another sampling frequency whose frame ends where the stream begins.
    Bytes prefix = Noise(600, 7);
    const int rate = (f[2] >> 2) & 3;
    const uint8_t fake[4] = {f[0], f[1], (uint8_t)((f[2] & 0xF3) | ((rate + 1) % 3) << 2), f[3]};
    const uint32_t span = MpegFrameSpan(fake, 4, kGraphMpeg);
    if (span && span < prefix.size()) std::copy(fake, fake + 4, prefix.end() - span);
    return {{"start cut mid-frame", Bytes(f.begin() + cut, f.end()), left},
            {"noise and a false header before the first frame", Cat({prefix, f}), -1},
            {"an ID3v2 tag whose size field is short", Cat({ShortTag(20), f}), -1},
            {"4 KB of quiet PCM before the first frame", Cat({QuietPcm(16, 2000, 17), f}), -1}};
}

class MpegStartLoads : public SoundSystemTest {
protected:
    // Opens the bytes through the decoders that the mask leaves; the PCM, or
    // empty. The method is left as it is when no decoder takes the bytes.
    static Bytes Decode(const Bytes& file, int disable, WAVEFORMATEX* fmt, int* method = nullptr) {
        Bytes pcm;
        EXPECT_TRUE(graphtest::RunComWithTimeout(
            [&] {
                SetSoundDecoderDisableMask(disable);
                MemConverter c;
                if (c.Open(file) != 0) return;
                GetConverterWaveFormat(&c.conv, fmt);
                if (method) *method = c.conv.method;
                pcm = c.ReadAll();
            },
            60000))
            << "the load hung";
        return pcm;
    }
};

TEST_F(MpegStartLoads, OnBothPathsWithTheToneAndWhatIsLeft) {
    for (const Encoding& e : kEncodings) {
        const Bytes whole = ReadFileBytes(e.file);
        ASSERT_GT(whole.size(), 2000u) << e.file << ": no such file (scripts/sound-media)";
        for (int disable : {SOUND_DECODER_MP3_FILTERS, SOUND_DECODER_MP3_ACM}) {
            if (disable == SOUND_DECODER_MP3_FILTERS && !e.acm) continue;
            SCOPED_TRACE(::testing::Message() << e.file << (disable == SOUND_DECODER_MP3_ACM ? ", filters" : ", ACM"));
            WAVEFORMATEX want = {};
            const Bytes reference = Decode(whole, disable, &want);
            ASSERT_FALSE(reference.empty()) << "the undamaged file";
            const int channels = want.nChannels, spf = want.nSamplesPerSec < 32000 ? 576 : 1152;
            const int frames = (int)reference.size() / (2 * channels);
            for (const Damage& d : e.damaged ? Damaged(whole) : std::vector<Damage>()) {
                SCOPED_TRACE(d.what);
                WAVEFORMATEX got = {};
                const Bytes pcm = Decode(d.file, disable, &got);
                if (pcm.empty()) {
                    ADD_FAILURE() << "refused";
                    continue;
                }
                EXPECT_EQ(want.nSamplesPerSec, got.nSamplesPerSec);
                EXPECT_EQ(channels, got.nChannels);
                const int left_frames = (int)pcm.size() / (2 * channels);
                // Cut, the encoder's delay and padding are no longer told (lame's
                // info frame is gone); a lost reservoir may cost a frame.
                if (d.frames_left < 0)
                    EXPECT_EQ(frames, left_frames);
                else
                    EXPECT_NEAR(d.frames_left * spf, left_frames, 1.5 * spf);
                std::vector<int16_t> left = Channel(ToSamples(pcm), channels, 0);
                left = std::vector<int16_t>(left.begin() + left.size() / 4, left.end() - left.size() / 4);
                EXPECT_NEAR(1000, ZeroCrossingHz(left, (int)got.nSamplesPerSec), 5);
                EXPECT_NEAR(16384 / std::sqrt(2.0), Rms(left), 16384 * 0.06) << "a half-scale sine";
            }
        }
    }
}

// Skipping what comes before the first frame must not make the frame walk
// take containers for raw MP3 (it would pass their chunk headers as junk
// between frames): MP3 in a WAV goes on through the RIFF reader's codec, in an
// AVI through the graph's splitter.
TEST_F(MpegStartLoads, Mp3InAWaveAndInAnAviLoadThroughTheirContainers) {
    const Bytes mp3 = ReadFileBytes("tone.mp3");
    ASSERT_GT(mp3.size(), 2000u);
    WAVEFORMATEX raw_fmt = {};
    const Bytes raw = Decode(mp3, SOUND_DECODER_MP3_FILTERS, &raw_fmt);
    const struct { const char* what; Bytes file; int method; } cases[] = {
        {"MP3 in a WAV", avitest::MakeMp3Wave(mp3), SOUND_CONVERT_ACM},
        {"MP3 in an AVI", avitest::MakeMp3Avi(mp3, MpegFrameStarts(mp3)), SOUND_CONVERT_PCM_IMAGE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int method = -1;
        WAVEFORMATEX fmt = {};
        const Bytes pcm = Decode(c.file, 0, &fmt, &method);
        EXPECT_EQ(c.method, method);
        EXPECT_EQ(44100u, fmt.nSamplesPerSec);
        EXPECT_EQ(2, fmt.nChannels);
        if (c.method == SOUND_CONVERT_ACM)
            EXPECT_TRUE(pcm == raw) << "the frames the raw file decodes to";
        else
            EXPECT_NEAR(88200, (double)pcm.size() / 4, 2 * 1152) << "the tone's two seconds";
    }
}

// What neither path decodes stays refused, on the default path and in time.
TEST_F(MpegStartLoads, WhatIsNoMpegAudioStaysRefused) {
    Bytes adts = Noise(30000, 11);
    for (size_t at = 0; at + 7 <= adts.size(); at += 371)   // AAC frames: layer code 0
        adts[at] = 0xFF, adts[at + 1] = 0xF1, adts[at + 2] = 0x50, adts[at + 3] = 0x80;
    Bytes id3_only = {'I', 'D', '3', 3, 0, 0, 0, 0, 8, 0};
    id3_only.resize(1024 + 10, 0);
    const struct { const char* what; Bytes file; } cases[] = {
        {"ADTS AAC", adts}, {"an ID3v2 tag with no audio", id3_only}, {"noise", Noise(200000, 13)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WAVEFORMATEX fmt = {};
        EXPECT_TRUE(Decode(c.file, 0, &fmt).empty()) << fmt.nSamplesPerSec << " Hz";
    }
}

// Not sound, whatever MPEG headers its bytes hold: refused by both MP3 decoders in turn, and
// in the time a refusal takes. Offered such bytes untyped, the platform's
// parser decodes them to minutes of silence or works on them up to the limit.
// The bytes are judged whole: what leads them, past any window, changes nothing.
TEST_F(MpegStartLoads, FilesThatAreNotSoundAreRefusedQuickly) {
    const NamedFile leads[] = {{"", {}}, {"70,000 zero bytes, then ", Bytes(70000, 0)},
                               {"1.1 MB of quiet PCM, then ", QuietPcm(16, 550000, 18)}};
    for (const NamedFile& lead : leads) {
        for (const NamedFile& f : LookalikeFiles(16)) {   // the default order ends with the graph
            SCOPED_TRACE(lead.name + f.name);
            WAVEFORMATEX fmt = {};
            int method = -1;
            const DWORD start = GetTickCount();
            Decode(Cat({lead.bytes, f.bytes}), 0, &fmt, &method);
            EXPECT_EQ(-1, method) << fmt.nSamplesPerSec << " Hz";
            EXPECT_LT(GetTickCount() - start, 3000u) << "generous: tens of milliseconds, where the graph's limit is 10 s";
        }
    }
}

// Quiet sound, whose samples read as MPEG headers, loads from each container
// the platform's parsers decode here, whatever leads it; MP3 in a program
// stream, which they refuse, is not taken for raw MPEG audio.
TEST_F(MpegStartLoads, SoundInContainersLoadsWhateverLeadsIt) {
    const Bytes two_tags = Cat({Id3v2(3, 0, 30), Id3v2(4, 0x10, 20)});
    const Bytes pnot = QuickTimeAtom("pnot", Bytes(12, 0));
    for (const char* name : {"quiet_pcm.mkv", "quiet_pcm.mov", "quiet.flac", "quiet.wv"}) {
        const Bytes file = ReadFileBytes(name);
        ASSERT_GT(file.size(), 10000u) << name << ": no such file (scripts/sound-media)";
        std::vector<NamedFile> cases = {{name, file}, {std::string("two ID3v2 tags, then ") + name, Cat({two_tags, file})}};
        if (std::strstr(name, ".mov")) {
            cases.push_back({"a pnot atom, then a movie", Cat({pnot, file})});
            cases.push_back({"70 free atoms, then a movie", Cat({FreeAtoms(70), file})});
        }
        for (const NamedFile& c : cases) {
            SCOPED_TRACE(c.name);
            WAVEFORMATEX fmt = {};
            const Bytes pcm = Decode(c.bytes, 0, &fmt);
            EXPECT_EQ(44100u, fmt.nSamplesPerSec);
            EXPECT_EQ(2, fmt.nChannels);
            EXPECT_NEAR(88200, (double)pcm.size() / 4, 1152) << "two seconds";
        }
    }
    const Bytes vob = ReadFileBytes("tone_mp3.vob");
    ASSERT_GT(vob.size(), 10000u);
    int method = -1;
    WAVEFORMATEX fmt = {};
    Decode(vob, 0, &fmt, &method);
    EXPECT_EQ(-1, method) << "MP3 in a program stream";
}

// A container is read by its layout: quiet PCM in an AVI, whose samples read
// as MPEG headers, loads.
TEST_F(MpegStartLoads, QuietPcmInAContainerLoads) {
    const Bytes avi = avitest::MakePcmTracksAvi({avitest::SquareTrack(22050, 1, 2, 1, 30)});
    WAVEFORMATEX fmt = {};
    const Bytes pcm = Decode(avi, SOUND_DECODER_MP3_ACM, &fmt);
    EXPECT_EQ(22050u, fmt.nSamplesPerSec);
    EXPECT_EQ(22050u * 2 * 2, pcm.size());
}

// One to three frames followed by a tag or zero bytes load as before on the
// compression manager's path (which holds the first frame back), and from two
// frames on through the graph, whose parser makes nothing of a lone frame.
TEST_F(MpegStartLoads, ShortAudioWithATailLoads) {
    const Bytes tone = ReadFileBytes("tone.mp3");
    ASSERT_GT(tone.size(), 2000u);
    const std::vector<size_t> starts = MpegFrameStarts(tone);
    for (int frames = 1; frames <= 3; frames++) {
        for (const NamedFile& tail : MpegTails()) {
            const Bytes file = Cat({Bytes(tone.begin() + starts[2], tone.begin() + starts[2 + frames]), tail.bytes});
            for (int disable : {SOUND_DECODER_MP3_FILTERS, SOUND_DECODER_MP3_ACM}) {
                if (disable == SOUND_DECODER_MP3_ACM && frames == 1) continue;
                SCOPED_TRACE(::testing::Message() << frames << " frames, then " << tail.name
                                                  << (disable == SOUND_DECODER_MP3_ACM ? ", filters" : ", ACM"));
                WAVEFORMATEX fmt = {};
                int method = -1;
                const Bytes pcm = Decode(file, disable, &fmt, &method);
                ASSERT_NE(-1, method) << "refused";
                EXPECT_EQ(44100u, fmt.nSamplesPerSec);
                EXPECT_EQ(2, fmt.nChannels);
                EXPECT_LE(pcm.size() / 4, frames * 1152u);
                EXPECT_GE(pcm.size() / 4, (frames - 1) * 1152u);
            }
        }
    }
}

}  // namespace
