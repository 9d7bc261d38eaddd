// What the engine takes as sound, over the test tones as tools and accidents
// leave them and over data that holds a few chained look-alike frames.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>

#include "engine/sound/sound_intake.h"
#include "sound/mpeg_bytes.h"
#include "sound/sound_lookalikes.h"

using namespace soundtest;

namespace {

Bytes Read(const char* name) {
    std::ifstream f(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

SoundIntake Decide(const Bytes& b) { return DecideSoundIntake(b.data(), (uint32_t)b.size()); }

// Raw bytes are MPEG audio only when frames make up most of them: a lead or
// bytes after the audio load while they are smaller than it, and a few KB of
// frames that chain inside other data are no sound file, wherever they stand.
TEST(SoundIntake, FramesMustMakeUpMostOfTheBytes) {
    const Bytes mp3 = Read("tone.mp3"), mp2 = Read("tone.mp2");
    ASSERT_FALSE(mp3.empty() || mp2.empty()) << "scripts/sound-media writes the tones";
    const std::vector<size_t> frames = MpegFrameStarts(mp3);
    const Bytes few(mp3.begin() + frames[5], mp3.begin() + frames[13]);   // 8 frames, 3.3 KB
    const struct {
        const char* what;
        Bytes bytes;
        int64_t start;   // -1: refused
    } cases[] = {
        {"MP3", mp3, 0},
        {"cut mid-frame", Bytes(mp3.begin() + 700, mp3.end()), (int64_t)(frames[2] - 700)},
        {"behind 1.5 KB of noise", Cat({Noise(1500, 1), mp3}), 1500},
        {"a few frames behind 1.5 KB of noise", Cat({Noise(1500, 2), few}), 1500},
        {"a few frames behind 8 KB of zeros", Cat({Bytes(8000, 0), few}), 8000},
        {"followed by 3 KB of noise", Cat({mp3, Noise(3000, 3)}), 0},
        {"MP2 behind 1 KB of quiet PCM", Cat({QuietPcm(16, 512, 4), mp2}), 1024},
        {"behind more quiet PCM than it holds", Cat({QuietPcm(16, mp3.size(), 5), mp3}), -1},
        {"followed by 3 MB of 0xFF", Cat({mp3, Bytes(3 << 20, 0xFF)}), -1},
        {"a few frames inside 1 MB of noise", Cat({Noise(500000, 6), few, Noise(500000, 7)}), -1},
        {"a few frames inside 1 MB of a table", Cat({IntegerTable(32, 125000, 8), few, IntegerTable(32, 125000, 9)}), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto began = std::chrono::steady_clock::now();
        const SoundIntake in = Decide(c.bytes);
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));   // generous: sanitised builds
        EXPECT_EQ(c.start, in.kind == SOUND_INTAKE_RAW_MPEG ? (int64_t)in.start : -1)
            << in.frame_bytes << " of " << in.weighed_bytes << ": " << DescribeSoundIntake(in);
    }
}

// The chains both decoders decode, each to where its last frame may run.
std::vector<std::pair<uint32_t, uint32_t>> Chains(const Bytes& b) {
    std::vector<std::pair<uint32_t, uint32_t>> chains;
    DecideSoundIntake(b.data(), (uint32_t)b.size(), [](void* out, uint32_t from, uint32_t, uint32_t limit) {
        ((std::vector<std::pair<uint32_t, uint32_t>>*)out)->push_back({from, limit});
    }, &chains);
    return chains;
}

// A stream is its version, layer and rate: frames of another end the audio that
// is decoded, though they count as sound; a change of channel mode, a damaged
// stretch or a stray header between frames do not.
TEST(SoundIntake, OneStreamIsItsVersionLayerAndRate) {
    const Bytes a = MpegFrames({0xFF, 0xFB, 0x90, 0x44}, 417, 20);   // 44.1 kHz stereo
    const Bytes b = MpegFrames({0xFF, 0xFB, 0x94, 0x44}, 384, 20);   // 48 kHz
    const Bytes mono = MpegFrames({0xFF, 0xFB, 0x90, 0xC4}, 417, 20);
    const Bytes one_mono = MpegFrames({0xFF, 0xFB, 0x90, 0xC4}, 417, 1);
    Bytes damaged = Cat({a, a});
    for (int i = 0; i < 60; i++) damaged[417 * 10 + i] = (uint8_t)(0x30 + i);
    const Bytes stray = Cat({Bytes(10, 1), {0xFF, 0xF3, 0x44, 0xC4}, Bytes(10, 2)});   // a 24 kHz header
    const uint32_t n = (uint32_t)a.size();
    using Spans = std::vector<std::pair<uint32_t, uint32_t>>;
    const struct {
        const char* what;
        Bytes bytes;
        uint32_t end;
        Spans chains;
    } cases[] = {
        {"44.1 then 48 kHz", Cat({a, b}), n, {{0, n}}},
        {"stereo then mono", Cat({a, mono}), 2 * n, {{0, 2 * n}}},
        {"mono then stereo", Cat({mono, a}), 2 * n, {{0, 2 * n}}},
        {"one mono frame between stereo", Cat({a, one_mono, a}), 2 * n + 417, {{0, 2 * n + 417}}},
        {"a damaged frame", damaged, 2 * n, {{0, 417 * 10}, {417 * 11, 2 * n}}},
        {"a stray header between frames", Cat({a, stray, a}), 2 * n + 24, {{0, n}, {n + 24, 2 * n + 24}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const SoundIntake in = Decide(c.bytes);
        ASSERT_EQ(SOUND_INTAKE_RAW_MPEG, in.kind) << DescribeSoundIntake(in);
        EXPECT_EQ(0u, in.start);
        EXPECT_EQ(c.end, in.end);
        EXPECT_EQ(c.end != c.bytes.size(), in.another_stream);
        EXPECT_EQ(c.chains, Chains(c.bytes));
    }
}

// Tags between frames, as files joined end to end hold them, are passed over
// by their sizes and weigh nothing, whatever they hold; a tie loads.
TEST(SoundIntake, TagsBetweenFramesAreNotData) {
    const Bytes mp3 = Read("tone.mp3");
    ASSERT_FALSE(mp3.empty());
    const std::vector<size_t> frames = MpegFrameStarts(mp3);
    const Bytes three(mp3.begin() + frames[5], mp3.begin() + frames[8]), one(mp3.begin() + frames[5], mp3.begin() + frames[6]);
    const Bytes covered = Cat({Id3v2(3, 0, 300000), mp3, Id3v1Tag()});
    const Bytes click = Cat({Id3v2(3, 0, 200), three, ApeTag(), Lyrics3Tag(), Id3v1Tag()});
    const Bytes blip = Cat({Id3v2(4, 0x10, 100), one, Id3v1Tag()});
    Bytes id3v1_and_zero;
    for (int i = 0; i < 40000; i++) {
        const Bytes tag = Id3v1Tag();
        id3v1_and_zero.insert(id3v1_and_zero.end(), tag.begin(), tag.end());
        id3v1_and_zero.push_back(0);
    }
    const struct {
        const char* what;
        Bytes bytes;
        size_t frame_bytes;
    } cases[] = {
        {"two files with a 300 KB cover, joined", Cat({covered, covered}), 2 * mp3.size()},
        {"three of them", Cat({covered, covered, covered}), 3 * mp3.size()},
        {"joined clicks of three frames", Cat({click, click, click, click}), 4 * three.size()},
        {"joined blips of one frame", Cat({blip, blip, blip}), 3 * one.size()},
        {"a click, then an ID3v2 tag of 2 MB", Cat({three, Id3v2(3, 0, 2 << 20)}), three.size()},
        {"ID3v1 and a zero byte after it, 40,000 times", Cat({mp3, id3v1_and_zero}), mp3.size()},
        {"as many other bytes as frames", Cat({three, Bytes(three.size(), 0x55)}), three.size()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto began = std::chrono::steady_clock::now();
        const SoundIntake in = Decide(c.bytes);
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));   // generous: sanitised builds
        ASSERT_EQ(SOUND_INTAKE_RAW_MPEG, in.kind) << in.frame_bytes << " of " << in.weighed_bytes;
        EXPECT_EQ(c.frame_bytes, in.frame_bytes);
        EXPECT_EQ(c.frame_bytes, in.stream_bytes);
        EXPECT_FALSE(in.another_stream);
    }
}

// The first stream must hold sound a decoder here gives: free-format layer I
// and II give none, and one frame alone that is an encoder's info frame or cut
// is silence. A free-format stream ends where a confirmed one of another rate
// begins, though its frames find no header of their own there.
TEST(SoundIntake, TheFirstStreamHoldsSound) {
    const Bytes mp3 = Read("tone.mp3"), crc = Read("joined_crc1.mp3");
    ASSERT_FALSE(mp3.empty() || crc.empty());
    const std::vector<size_t> at = MpegFrameStarts(mp3);
    const Bytes info(mp3.begin(), mp3.begin() + at[1]), one(mp3.begin() + at[5], mp3.begin() + at[6]);
    const Bytes crc_info(crc.begin(), crc.begin() + MpegFrameStarts(crc)[1]);
    const Bytes cut(one.begin(), one.begin() + 300);
    const Bytes free32 = MpegFrames({0xFF, 0xFB, 0x08, 0xC4}, 288, 3), free44 = MpegFrames({0xFF, 0xFB, 0x00, 0xC4}, 209, 5);
    const struct {
        const char* what;
        Bytes bytes;
        SoundIntakeReason reason;
        uint32_t end;
    } cases[] = {
        {"free-format layer I", MpegFrames({0xFF, 0xFF, 0x04, 0xC4}, 300, 20), SOUND_INTAKE_FREE_FORMAT_LAYER_I_II, 0},
        {"free-format layer II", MpegFrames({0xFF, 0xFD, 0x04, 0xC4}, 300, 20), SOUND_INTAKE_FREE_FORMAT_LAYER_I_II, 0},
        {"free-format layer III", MpegFrames({0xFF, 0xFB, 0x04, 0xC4}, 300, 20), SOUND_INTAKE_FRAMES_MAKE_IT_UP, 6000},
        {"free format at 32 kHz, then at 44.1", Cat({free32, free44}), SOUND_INTAKE_FRAMES_MAKE_IT_UP, 864},
        {"an info frame alone", info, SOUND_INTAKE_NO_SOUND_FRAME, 0},
        {"lame -p's info frame alone", crc_info, SOUND_INTAKE_NO_SOUND_FRAME, 0},
        {"a cut frame, then ID3v1", Cat({cut, Id3v1Tag()}), SOUND_INTAKE_NO_SOUND_FRAME, 0},
        {"ID3v2, then a cut frame", Cat({Id3v2(3, 0, 20), cut}), SOUND_INTAKE_NO_SOUND_FRAME, 0},
        {"one frame, then ID3v1", Cat({one, Id3v1Tag()}), SOUND_INTAKE_FRAMES_MAKE_IT_UP, (uint32_t)one.size()},
        {"an info frame and a frame", Cat({info, one}), SOUND_INTAKE_FRAMES_MAKE_IT_UP, (uint32_t)(info.size() + one.size())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const SoundIntake in = Decide(c.bytes);
        EXPECT_EQ(c.reason, in.reason) << DescribeSoundIntake(in);
        if (in.kind == SOUND_INTAKE_RAW_MPEG) EXPECT_EQ(c.end, in.end);
    }
}

// A chain of atoms is a movie's: behind any number of atoms it is a container,
// and without one it is refused, never read as raw MPEG audio from its data.
TEST(SoundIntake, AtomsAreNeverRawAudio) {
    const Bytes mp3 = Read("tone.mp3"), lead = FreeAtoms(70);
    const SoundIntake movie = Decide(Cat({lead, QuickTimeAtom("ftyp", Bytes(12, 'q')), QuickTimeAtom("mdat", mp3)}));
    EXPECT_EQ(SOUND_INTAKE_CONTAINER, movie.kind);
    EXPECT_EQ(0u, movie.start);
    const SoundIntake leftovers = Decide(Cat({lead, QuickTimeAtom("skip", mp3)}));
    EXPECT_EQ(SOUND_INTAKE_REFUSED, leftovers.kind);
    EXPECT_EQ(SOUND_INTAKE_ATOMS_WITHOUT_MOVIE, leftovers.reason);
}

}  // namespace
