// Containers known by their structure where writers bend it (a FLAC block of
// the wrong length, chunks before an AVI's headers, cut files).
#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>

#include "engine/sound/sound_container.h"
#include "engine/sound/sound_tags.h"
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

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

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
