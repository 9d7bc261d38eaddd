// Containers known by their structure where writers bend it (a FLAC block of
// the wrong length, chunks before an AVI's headers, cut files), and where the
// ID3v2 tags before audio end when writers get their sizes wrong.
#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>

#include "engine/sound/sound_container.h"
#include "engine/sound/sound_intake.h"
#include "movie/avi_writer.h"
#include "sound/mpeg_bytes.h"
#include "sound/sound_lookalikes.h"

using namespace soundtest;

namespace {

Bytes ReadMedia(const char* name) {
    std::ifstream f(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

const char* Container(const Bytes& b) {
    return ConfirmedSoundContainer(b.data(), (uint32_t)b.size(), LeadingId3v2TagsEnd(b.data(), (uint32_t)b.size()));
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

TEST(SoundContainer, FlacIsKnownByItsStreamDescription) {
    const Bytes flac = ReadMedia("quiet.flac");
    ASSERT_GT(flac.size(), 1000u) << "scripts/sound-media writes it";
    const size_t frames = FlacFramesStart(flac);
    ASSERT_TRUE(frames && frames + 2 <= flac.size() && flac[frames] == 0xFF && (flac[frames + 1] & 0xFE) == 0xF8);
    ASSERT_EQ(0x04, flac[42] & 0x7F) << "the comment block follows the stream description";
    const Bytes comment_short = FlacWithShortLastBlock(flac, frames);
    const size_t comment_bytes = (size_t)flac[43] << 16 | flac[44] << 8 | flac[45];
    Bytes padding_past_end = flac;   // the padding block after the comments
    padding_past_end[46 + comment_bytes + 1] = 0x7F;

    auto patched = [&](std::initializer_list<std::pair<size_t, uint8_t>> bytes) {
        Bytes b = flac;
        for (auto& at : bytes) b[at.first] = at.second;
        return b;
    };
    const uint8_t channels_and_bits = flac[20] & 0x0F;   // rate's last four bits are flac[20]'s high ones
    const struct {
        const char* what;
        Bytes bytes;
        bool flac;
    } cases[] = {
        {"as written", flac, true},
        {"a last block that falls short of the first frame", comment_short, true},
        {"a later block that runs past the end", padding_past_end, true},
        {"blocks of 15 samples", patched({{8, 0}, {9, 15}}), false},
        {"largest frame below the smallest", patched({{12, 0x7F}}), false},
        {"a rate of 0", patched({{18, 0}, {19, 0}, {20, channels_and_bits}}), false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.flac, Container(c.bytes) != nullptr) << c.what;
}

TEST(SoundContainer, AviIsKnownByChunksThatChainToItsHeaders) {
    const Bytes mp3 = ReadMedia("tone.mp3");
    ASSERT_GT(mp3.size(), 2000u) << "scripts/sound-media writes it";
    const Bytes mp3_avi = avitest::MakeMp3Avi(mp3, MpegFrameStarts(mp3));
    const Bytes pcm_avi = avitest::MakePcmTracksAvi({avitest::SquareTrack(22050, 1, 2, 0x2000, 30)});
    const Bytes junk = avitest::Chunk("JUNK", Bytes(5, 0));   // odd: padded
    const Bytes info = avitest::List("INFO", avitest::Chunk("ISFT", Text("writer 1.0")));
    for (const Bytes* avi : {&mp3_avi, &pcm_avi}) {
        SCOPED_TRACE(avi == &mp3_avi ? "MP3" : "PCM");
        const struct {
            const char* what;
            Bytes bytes;
        } known[] = {{"as written", *avi},
                     {"JUNK first", AviWithChunksFirst(*avi, junk)},
                     {"INFO first", AviWithChunksFirst(*avi, info)},
                     {"JUNK and INFO first", AviWithChunksFirst(*avi, Cat({junk, info}))}};
        for (const auto& k : known)
            for (int percent : {100, 90, 50, 10}) {
                const Bytes cut(k.bytes.begin(), k.bytes.begin() + k.bytes.size() * percent / 100);
                EXPECT_STREQ("AVI", Container(cut)) << k.what << ", " << percent << " %";
            }

        Bytes no_headers = *avi;
        no_headers[23] = 'X';   // "hdrX"
        const struct {
            const char* what;
            Bytes bytes;
        } refused[] = {
            {"no header list", no_headers},
            {"cut within its header list", Bytes(avi->begin(), avi->begin() + 12 + 12 + 20)},
            {"a chunk of an unprintable id first", AviWithChunksFirst(*avi, avitest::Chunk("JU\x01K", Bytes(4, 0)))},
            {"JUNK of an odd size unpadded", AviWithChunksFirst(*avi, Bytes(junk.begin(), junk.end() - 1))},
        };
        for (const auto& r : refused) EXPECT_EQ(nullptr, Container(r.bytes)) << r.what;
    }
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

// A WavPack file of one block ends on the file's end, another block or a tail tag.
TEST(SoundContainer, WavPackBlockMayEndOnATailTag) {
    Bytes block = {'w', 'v', 'p', 'k'};
    Put32(block, 1000 - 8), Put16(block, 0x410);
    block.resize(1000, 0x5A);
    const struct {
        const char* what;
        Bytes bytes;
        bool container;
    } cases[] = {
        {"one block", block, true},
        {"one block, then APEv2", Cat({block, ApeTag()}), true},
        {"one block, then ID3v1", Cat({block, Id3v1Tag()}), true},
        {"one block, then noise", Cat({block, Noise(500, 13)}), false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.container, Container(c.bytes) != nullptr) << c.what;
}

}  // namespace
