// The tags that tools leave: tails after the audio in any order, and ID3v2
// tags before audio and between chains whose sizes writers get wrong.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "engine/sound/sound_intake.h"
#include "engine/sound/sound_tags.h"
#include "sound/mpeg_bytes.h"
#include "sound/sound_lookalikes.h"

using namespace soundtest;

namespace {

Bytes ReadMedia(const char* name) {
    std::ifstream f(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

Bytes Be(uint32_t v, int bytes) {
    Bytes b;
    for (int i = bytes - 1; i >= 0; i--) b.push_back((uint8_t)(v >> (8 * i)));
    return b;
}

Bytes Syncsafe(uint32_t v) {
    return {(uint8_t)(v >> 21 & 127), (uint8_t)(v >> 14 & 127), (uint8_t)(v >> 7 & 127), (uint8_t)(v & 127)};
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// An ID3v2 header whose size field holds `size_field` as it stands, then the body.
Bytes Id3Tag(int major, int flags, const Bytes& size_field, const Bytes& body) {
    return Cat({{'I', 'D', '3', (uint8_t)major, 0, (uint8_t)flags}, size_field, body});
}

// A frame of ID3v2.3 or .4 (a 4-byte size as given), or of v2.2 (a 3-byte id and size).
Bytes Id3Frame(const char* id, const Bytes& size_field, const Bytes& body) {
    return Cat({Text(id), size_field, size_field.size() == 4 ? Bytes{0, 0} : Bytes{}, body});
}

// What tools leave after the last frame: the finder takes the audio as ending before it.
TEST(SoundTags, TailsAreFoundInAnyOrderAndNotTakenFromAudio) {
    Bytes audio = MpegFrames({0xFF, 0xFB, 0x90, 0x64}, 417, 3);
    audio.back() = 0x55;
    const size_t a = audio.size();
    Bytes ape_v1 = ApeTag();
    ape_v1.erase(ape_v1.begin(), ape_v1.begin() + 32);   // no header, as APEv1 writes it
    uint8_t* footer = &ape_v1[ape_v1.size() - 32];
    footer[8] = 0xE8, footer[9] = 0x03, footer[23] = 0;   // version 1000, no header flag
    const std::string v1 = "LYRICSBEGIN[00:00]Tone\r\nLYRICSEND";
    Bytes headless = Lyrics3Tag();
    headless[0] = 'X';
    const Bytes ape_id3 = Cat({ApeTag(), Id3v1Tag()});
    Bytes id3v2_sync = Id3v2(3, 0, 40);
    id3v2_sync[20] = 0xFF, id3v2_sync[21] = 0xFB;   // a sync in a text frame
    const struct {
        const char* what;
        Bytes tail;
        size_t tags_start, audio_end;
    } cases[] = {
        {"nothing", {}, a, a},
        {"an APEv1 tag", ape_v1, a, a},
        {"a Lyrics3 v1 tag", Bytes(v1.begin(), v1.end()), a, a},
        {"a Lyrics3 v2 tag and ID3v1", Cat({Lyrics3Tag(), Id3v1Tag()}), a, a},
        {"APE and ID3v1, zeros, APE and ID3v1", Cat({ape_id3, Bytes(7, 0), ape_id3}), a, a},
        {"zeros, then ID3v1", Cat({Bytes(5000, 0), Id3v1Tag()}), a + 5000, a + 3},
        {"zeros only", Bytes(5000, 0), a + 5000, a + 3},
        {"a Lyrics3 v2 tag whose start is missing", headless, a + headless.size(), a + headless.size()},
        {"an ID3v2.4 tag with a footer", Id3v2(4, 0x10, 300), a, a},
        // Without a footer an ID3v2 tag is the walk's to find, forward from the frames.
        {"an ID3v2 tag, then ID3v1", Cat({id3v2_sync, Id3v1Tag()}), a + id3v2_sync.size(), a + id3v2_sync.size()},
        {"APE, then an ID3v2.4 tag", Cat({ApeTag(), Id3v2(4, 0, 3000)}), a + 3010 + ApeTag().size(),
         a + 3010 + ApeTag().size()},
        {"an ID3v2 tag whose size falls short of the end", Cat({Id3v2(3, 0, 40), Bytes(1, 7)}), a + 51, a + 51},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes file = Cat({audio, c.tail});
        const MpegAudioTails ends = FindMpegAudioTails(file.data(), (uint32_t)file.size());
        EXPECT_EQ(c.tags_start, ends.tags_start);
        EXPECT_EQ(c.audio_end, ends.audio_end);
    }
    EXPECT_EQ(3u, FindMpegAudioTails(Bytes(10000, 0).data(), 10000).audio_end);
}


// A writer's bug puts a plain integer in a tag's syncsafe size field; the
// plain reading counts where it lands on audio or another tag, the syncsafe
// one where it lands itself or the plain one lands on nothing.
TEST(LeadingId3v2Tags, ASizeWrittenPlainIsReadPlainWhereItLands) {
    const Bytes mp3 = ReadMedia("tone.mp3"), tagged = ReadMedia("tone_id3.mp3");
    ASSERT_TRUE(mp3.size() > 2000u && tagged.size() > 2000u) << "scripts/sound-media writes them";
    const uint32_t lame_tag = 10 + (tagged[6] << 21 | tagged[7] << 14 | tagged[8] << 7 | tagged[9]);
    const Bytes cut_tag = Id3v2(3, 0, 5000);
    const Bytes high_byte = Be(0x49408, 4);   // 00 04 94 08: no syncsafe reading at all
    const Bytes low_bytes = Be(0x1000, 4);    // 00 00 10 00: a syncsafe reading of 2,048
    const Bytes second = Id3v2(4, 0, 100);
    // 00 01 21 00: syncsafe 20,608, plain 73,984, 128 frames of 417 bytes further on.
    const Bytes both_land = {0, 1, 33, 0};
    const Bytes frames = MpegFrames({0xFF, 0xFB, 0x90, 0x00}, 417, 200);
    const struct {
        const char* what;
        Bytes bytes;
        uint32_t end;
    } cases[] = {
        {"a byte of 0x80 or more, before MP3", Cat({Id3Tag(3, 0, high_byte, Bytes(0x49408, 0x33)), mp3}), 10 + 0x49408},
        {"bytes below 0x80, before MP3", Cat({Id3Tag(3, 0, low_bytes, Bytes(0x1000, 0x33)), mp3}), 10 + 0x1000},
        {"a plain size before another tag",
         Cat({Id3Tag(3, 0, high_byte, Bytes(0x49408, 0x33)), second, mp3}), 10 + 0x49408 + (uint32_t)second.size()},
        {"both readings land on frames", Cat({Id3Tag(3, 0, both_land, Bytes(20608, 0x33)), frames}), 10 + 20608},
        {"lame's, whose plain reading lands on nothing", tagged, lame_tag},
        {"one that runs past the end", Bytes(cut_tag.begin(), cut_tag.begin() + 1000), 1000},
        {"a plain reading that lands on nothing", Cat({Id3Tag(3, 0, high_byte, Bytes(0x49408 - 1000, 0x33)), mp3}), 0},
        {"a plain reading past the end", Cat({Id3Tag(3, 0, {0xFF, 0xFF, 0xFF, 0xFF}, Bytes(100, 0x33)), mp3}), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.end, LeadingId3v2TagsEnd(c.bytes.data(), (uint32_t)c.bytes.size())) << c.what;
}

// A tag whose size counts only its first frames ends where its frames end, so
// that a cover the size leaves out does not count against the audio; one whose
// frames end within its size, or run into other bytes, ends where it says.
TEST(LeadingId3v2Tags, OneThatFallsShortOfItsFramesEndsWhereTheyEnd) {
    const Bytes mp3 = ReadMedia("tone.mp3");
    ASSERT_GT(mp3.size(), 2000u) << "scripts/sound-media writes it";
    const Bytes cover = Noise(300000, 9);
    // 294,656 bytes: 00 04 7F 00 plain, a syncsafe 81,792 inside the picture.
    const Bytes cover_mixed = Noise(294656, 10);
    const Bytes title = Cat({{3}, Text("Test tone")});
    auto tag = [](int major, int flags, const Bytes& counted, const Bytes& left_out) {
        return Cat({Id3Tag(major, flags, Syncsafe((uint32_t)counted.size()), counted), left_out});
    };
    const Bytes extended = Cat({Be(6, 4), Bytes(6, 0)});   // v2.3: its size leaves itself out
    const Bytes v23 = tag(3, 0, Id3Frame("TIT2", Be(10, 4), title), Id3Frame("APIC", Be(300000, 4), cover));
    const Bytes padded = tag(3, 0, Cat({Id3Frame("TIT2", Be(10, 4), title), Bytes(500, 0)}), {});
    const Bytes unpadded = tag(3, 0, Id3Frame("TIT2", Be(10, 4), title), {});
    Bytes many;   // more frames than a tag between chains is walked for
    for (int i = 0; i < 100; i++) many = Cat({many, Id3Frame("TXXX", Be(10, 4), title)});
    // A frame whose size, added in 32 bits, comes round to itself.
    const Bytes wrapping = tag(3, 0, Id3Frame("TIT2", Be(0xFFFFFFF6, 4), title), {});
    const struct {
        const char* what;
        Bytes tag;
        Bytes after;
    } cases[] = {
        {"v2.3", v23, mp3},
        {"v2.4", tag(4, 0, Id3Frame("TIT2", Syncsafe(10), title), Id3Frame("APIC", Syncsafe(300000), cover)), mp3},
        {"v2.4 with plain frame sizes",
         tag(4, 0, Id3Frame("TIT2", Be(10, 4), title), Id3Frame("APIC", Be(294656, 4), cover_mixed)), mp3},
        {"v2.3 with syncsafe frame sizes",
         tag(3, 0, Id3Frame("TIT2", Be(10, 4), title), Id3Frame("APIC", Syncsafe(294656), cover_mixed)), mp3},
        {"v2.2", tag(2, 0, Id3Frame("TT2", Be(10, 3), title), Id3Frame("PIC", Be(300000, 3), cover)), mp3},
        {"v2.3 with an extended header",
         tag(3, 0x40, Cat({extended, Id3Frame("TIT2", Be(10, 4), title)}), Id3Frame("APIC", Be(300000, 4), cover)),
         mp3},
        {"v2.3, zeros before the MP3", v23, Cat({Bytes(2000, 0), mp3})},
        {"100 frames before the cover", tag(3, 0, many, Id3Frame("APIC", Be(300000, 4), cover)), mp3},
        {"padded, before noise", padded, Cat({Noise(3000, 4), mp3})},
        {"unpadded, before noise", unpadded, Cat({Noise(3000, 5), mp3})},
        {"unpadded, before a WAV", unpadded, UndecodableWave(0x1234, 16, 1, 8000, QuietPcm(16, 4000, 3))},
        {"a frame size that wraps round", wrapping, Noise(100, 6)},
    };
    for (const auto& c : cases) {
        const Bytes file = Cat({c.tag, c.after});
        EXPECT_EQ(c.tag.size(), LeadingId3v2TagsEnd(file.data(), (uint32_t)file.size())) << c.what;
    }
    const Bytes file = Cat({v23, mp3});
    EXPECT_EQ(SOUND_INTAKE_RAW_MPEG, DecideSoundIntake(file.data(), (uint32_t)file.size()).kind)
        << "the cover counted against the audio";
}

// A tag between chains is checked as a leading one is: its end must land on a
// frame of the stream, another tag or the end, else a plain size or its
// frames' end may; else it ends at the next chain where that stands a few
// bytes from its end or behind zeros, else its bytes weigh as other data.
TEST(TagsBetweenChains, AreCheckedAsLeadingOnesAre) {
    const Bytes mp3 = ReadMedia("tone.mp3");
    ASSERT_GT(mp3.size(), 2000u) << "scripts/sound-media writes it";
    const std::vector<size_t> at = MpegFrameStarts(mp3);
    const Bytes three(mp3.begin() + at[5], mp3.begin() + at[8]);
    const Bytes title = Id3Frame("TIT2", Be(10, 4), Cat({{3}, Text("Test tone")}));
    const Bytes frames = Cat({title, Id3Frame("APIC", Be(300000, 4), Noise(300000, 11))});
    const Bytes covered = Cat({Id3Tag(3, 0, Syncsafe((uint32_t)frames.size()), frames), mp3});
    Bytes ape_1gb = ApeTag();
    ape_1gb[12] = 0, ape_1gb[13] = 0, ape_1gb[14] = 0, ape_1gb[15] = 0x40;
    const Bytes cut_tag = Id3v2(3, 0, 1 << 20);
    const size_t both = 2 * mp3.size();
    const Bytes padded = Cat({frames, Bytes(1024, 0)}), opaque = Noise(300000, 16);
    auto off = [](const Bytes& body, int by) { return Id3Tag(3, 0, Syncsafe((uint32_t)(body.size() + by)), body); };
    const struct {
        const char* what;
        Bytes bytes;
        int64_t frame_bytes;   // -1: refused
    } cases[] = {
        {"an ID3v2 size of 256 MB", Cat({mp3, Id3Tag(3, 0, Syncsafe((1 << 28) - 1), title), mp3}), (int64_t)both},
        {"an APEv2 size of 1 GB", Cat({mp3, ape_1gb, mp3}), (int64_t)both},
        {"a size 4 KB too long", Cat({mp3, Id3Tag(3, 0, Syncsafe((uint32_t)title.size() + 4096), title), mp3}), (int64_t)both},
        {"covers joined, the second size plain", Cat({covered, Id3Tag(3, 0, Be((uint32_t)frames.size(), 4), frames), mp3}),
         (int64_t)both},
        {"covers joined, the second size without its cover",
         Cat({covered, Id3Tag(3, 0, Syncsafe((uint32_t)title.size()), frames), mp3}), (int64_t)both},
        {"a tag cut by the file's end", Cat({mp3, Bytes(cut_tag.begin(), cut_tag.begin() + 500000)}), (int64_t)mp3.size()},
        {"a tag header whose size lands in noise", Cat({three, Id3v2(3, 0, 10000), Noise(1000, 12)}), -1},
        // A size a few bytes off, or zeros after the tag: it ends where the next file's frames begin.
        {"a size 10 bytes short, in its padding", Cat({mp3, off(padded, -10), mp3}), (int64_t)both},
        {"a size 4 bytes long, into the next frame", Cat({mp3, off(padded, 4), mp3}), (int64_t)both},
        {"32 zero bytes after the tag", Cat({mp3, off(padded, 0), Bytes(32, 0), mp3}), (int64_t)both},
        {"a size 300 bytes long, zeros after its frames", Cat({mp3, off(padded, 300), mp3}), (int64_t)both},
        {"a size 16 bytes long, no frames", Cat({mp3, off(opaque, 16), mp3}), (int64_t)both},
        {"a size 16 bytes short, no frames", Cat({mp3, off(opaque, -16), mp3}), (int64_t)both},
        {"32 zero bytes after a tag of no frames", Cat({mp3, off(opaque, 0), Bytes(32, 0), mp3}), (int64_t)both},
        {"a size 17 bytes long, no frames", Cat({mp3, off(opaque, 17), mp3}), -1},
        {"32 bytes of noise after the tag", Cat({mp3, off(padded, 0), Noise(32, 14), mp3}), -1},
        {"a size 40 bytes short, before noise", Cat({mp3, off(frames, -40), Noise(100, 15), mp3}), -1},
    };
    for (const auto& c : cases) {
        const SoundIntake in = DecideSoundIntake(c.bytes.data(), (uint32_t)c.bytes.size());
        EXPECT_EQ(c.frame_bytes, in.kind == SOUND_INTAKE_RAW_MPEG ? (int64_t)in.frame_bytes : -1)
            << c.what << ": " << in.frame_bytes << " of " << in.weighed_bytes;
    }
}

// Joins whose second file eyeD3, mid3v2 or kid3-cli tagged with a cover larger
// than the audio, the size then 4 or 10 bytes off or zeros after the tag
// (scripts/sound-media): every byte that is not the tag is a frame.
TEST(TagsBetweenChains, TaggedJoinsWithSizesOffAreTags) {
    std::ifstream list("tagged.txt");
    std::string name;
    int64_t ffmpeg_frames;
    int files = 0;
    for (; list >> name >> ffmpeg_frames; files++) {
        const Bytes b = ReadMedia(name.c_str());
        const SoundIntake in = DecideSoundIntake(b.data(), (uint32_t)b.size());
        EXPECT_EQ(SOUND_INTAKE_RAW_MPEG, in.kind) << name << ": " << DescribeSoundIntake(in);
        EXPECT_EQ(in.weighed_bytes, in.frame_bytes) << name;
    }
    EXPECT_EQ(15, files) << "scripts/sound-media writes tagged.txt";
}

}  // namespace
