// The first file's info frame made to give the frames of files joined end to
// end, lame's tag kept behind the count: the graph's parser trims by it.
#include <gtest/gtest.h>

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

TEST(MpegInfoFrame, GivesTheWholeStreamsFrames) {
    const Bytes tone = Read("tone.mp3"), vbri = Read("joined_vbri.mp3");
    ASSERT_FALSE(tone.empty() || vbri.empty()) << "scripts/sound-media writes the tones";
    Bytes full = WithXingFields(tone, 14);   // no zero bytes at its end to move the fields over
    full[416] = 1;
    const struct {
        const char* what;
        Bytes file;
        MpegInfoFit fit;
        size_t tag;   // where lame's tag stands after, 0: none
    } cases[] = {
        {"alone", tone, MPEG_INFO_KEPT, 156},
        {"alone, without counts", WithXingFields(tone, 12), MPEG_INFO_REWRITTEN, 152},
        {"two", Cat({tone, tone}), MPEG_INFO_REWRITTEN, 156},
        {"two, without a byte count", Cat({WithXingFields(tone, 13), tone}), MPEG_INFO_REWRITTEN, 152},
        {"three, without a frame count", Cat({WithXingFields(tone, 14), tone, tone}), MPEG_INFO_REWRITTEN, 156},
        {"VBRI first", vbri, MPEG_INFO_REWRITTEN, 0},
        {"a frame full to its end", Cat({full, tone}), MPEG_INFO_CLEARED, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b = c.file;
        const uint32_t frames = (uint32_t)MpegFrameStarts(b).size();
        ASSERT_EQ(c.fit, FitMpegInfoFrameToStream(b.data(), b.size(), frames));
        const MpegInfoFrame info = FindMpegInfoFrame(b.data(), b.size());
        EXPECT_EQ(c.fit == MPEG_INFO_CLEARED ? 0u : frames - 1, info.frames);
        EXPECT_EQ(c.fit == MPEG_INFO_CLEARED ? 0u : 36u, info.marker);
        EXPECT_TRUE(!c.tag || std::equal(&tone[156], &tone[192], &b[c.tag]));
        EXPECT_TRUE(std::equal(b.begin() + 417, b.end(), c.file.begin() + 417));
    }
    // Cut anywhere in the frame, nothing is read or written past the bytes (the sanitisers watch).
    for (const Bytes& f : {tone, WithXingFields(tone, 12)})
        for (size_t n = 0; n < 417; n++) {
            Bytes cut(f.begin(), f.begin() + n);
            FitMpegInfoFrameToStream(cut.data(), cut.size(), 1000);
        }
}

}  // namespace
