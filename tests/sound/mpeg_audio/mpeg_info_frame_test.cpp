// The first file's info frame made to tell the frames and bytes of files
// joined end to end and of cut downloads, lame's tag kept behind the fields:
// the graph's parser trims by it.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "engine/sound/mpeg_info_frame.h"
#include "sound/mpeg_bytes.h"

using namespace soundtest;

namespace {

Bytes Read(const char* name) {
    std::ifstream f(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// lame's Xing frame of 417 bytes (all four fields, then its tag) with only
// the fields `flags` names (1 frames, 2 bytes, 4 table, 8 quality).
Bytes WithXingFields(const Bytes& mp3, uint8_t flags) {
    const size_t at[4] = {44, 48, 52, 152}, bytes[4] = {4, 4, 100, 4};
    Bytes b(mp3.begin(), mp3.begin() + 40);
    b.insert(b.end(), {0, 0, 0, flags});
    for (int i = 0; i < 4; i++)
        if (flags & (1 << i)) b.insert(b.end(), &mp3[at[i]], &mp3[at[i]] + bytes[i]);
    b.insert(b.end(), &mp3[156], &mp3[192]);
    b.resize(417, 0);
    return Cat({b, Bytes(mp3.begin() + 417, mp3.end())});
}

// lame's frame with a check word in front of "Xing" (as lame -p does not put it).
Bytes XingBehindCheckWord(const Bytes& mp3) {
    Bytes b = mp3;
    b[1] &= 0xFE;
    b.insert(b.begin() + 4, {0x12, 0x34});
    b.erase(b.begin() + 415, b.begin() + 417);
    return b;
}

TEST(MpegInfoFrame, TellsTheStreamsFramesAndBytes) {
    const Bytes tone = Read("tone.mp3"), vbri = Read("joined_vbri.mp3"), crc = Read("joined_crc1.mp3");
    const Bytes cut = Read("cut_lame_10th.mp3"), cut_vbri = Read("cut_vbri_third.mp3");
    ASSERT_FALSE(tone.empty() || vbri.empty() || crc.empty() || cut.empty() || cut_vbri.empty())
        << "scripts/sound-media writes the tones";
    Bytes full = WithXingFields(tone, 12);   // no zero bytes at its end to move the fields over
    full[416] = 1;
    const struct {
        const char* what;
        Bytes file;
        MpegInfoFit fit;
        uint32_t marker;
    } cases[] = {
        {"lame alone", tone, MPEG_INFO_KEPT, 36},
        {"lame -p alone", crc, MPEG_INFO_KEPT, 36},
        {"lame -p, two", Cat({crc, crc}), MPEG_INFO_REWRITTEN, 36},
        {"behind a check word, two", Cat({XingBehindCheckWord(tone), tone}), MPEG_INFO_REWRITTEN, 38},
        {"alone, without counts", WithXingFields(tone, 12), MPEG_INFO_REWRITTEN, 36},
        {"two, without a byte count", Cat({WithXingFields(tone, 13), tone}), MPEG_INFO_REWRITTEN, 36},
        {"three, without a frame count", Cat({WithXingFields(tone, 14), tone, tone}), MPEG_INFO_REWRITTEN, 36},
        {"cut at a tenth", cut, MPEG_INFO_REWRITTEN, 36},
        {"VBRI first of two", vbri, MPEG_INFO_REWRITTEN, 36},
        {"VBRI cut at a third", cut_vbri, MPEG_INFO_REWRITTEN, 36},
        {"no room for a byte count", Cat({full, tone}), MPEG_INFO_CLEARED, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b = c.file;
        const uint32_t frames = (uint32_t)MpegFrameStarts(b).size();
        ASSERT_EQ(c.fit, FitMpegInfoFrameToStream(b.data(), b.size(), frames, (uint32_t)b.size()));
        const MpegInfoFrame info = FindMpegInfoFrame(b.data(), b.size());
        EXPECT_EQ(c.marker, info.marker);
        EXPECT_TRUE(c.fit != MPEG_INFO_KEPT || b == c.file);
        if (c.marker) {
            EXPECT_EQ(frames - 1, info.frames);
            EXPECT_EQ(b.size(), info.bytes);
        }
        // lame's tag behind the frames, bytes, table and quality.
        EXPECT_TRUE(!c.marker || info.vbri || std::memcmp(&b[c.marker + 120], "LAME", 4) == 0);
        EXPECT_TRUE(std::equal(b.begin() + 417, b.end(), c.file.begin() + 417));
    }
    // Cut anywhere in the frame, nothing is read or written past the bytes (the sanitisers watch).
    for (const Bytes& f : {tone, WithXingFields(tone, 12), XingBehindCheckWord(tone)})
        for (size_t n = 0; n < 417; n++) {
            Bytes cut(f.begin(), f.begin() + n);
            FitMpegInfoFrameToStream(cut.data(), cut.size(), 1000, 100000);
        }
}

}  // namespace
