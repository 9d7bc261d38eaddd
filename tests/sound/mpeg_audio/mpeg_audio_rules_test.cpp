// Where MPEG audio starts, tried natively as well as under Wine: the test tones
// cut at every byte, short audio, layer I frames, and many files that are not
// sound but hold what parses as headers.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "engine/sound/mpeg_audio_start.h"
#include "engine/sound/sound_container.h"
#include "engine/sound/sound_tags.h"
#include "sound/mpeg_bytes.h"
#include "sound/sound_lookalikes.h"

using namespace soundtest;

namespace {

Bytes ReadTone(const char* name) {
    std::ifstream f(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

int64_t Find(const Bytes& b, MpegAccept accept, size_t reach = 0x10000) {
    const uint32_t end = FindMpegAudioTails(b.data(), (uint32_t)b.size()).audio_end;
    return FindConfirmedMpegFrame(b.data(), end, reach, accept);
}

TEST(MpegAudioStart, AHeaderCountsOnlyOnceTheNextTwoConfirmIt) {
    const Bytes mp2 = MpegFrames({0xFF, 0xFD, 0x80, 0x00}, 417, 6);    // 44.1 kHz layer II
    const Bytes mp25 = MpegFrames({0xFF, 0xE3, 0x90, 0x00}, 522, 5);   // MPEG 2.5
    const Bytes free = MpegFrames({0xFF, 0xFB, 0x00, 0x00}, 1000, 3);
    const Bytes long_one(free.begin(), free.begin() + 1000), short_one(free.begin(), free.begin() + 600);
    const Bytes uneven = Cat({long_one, short_one, long_one, short_one, long_one});   // as if sown in noise
    const Bytes fake = {0xFF, 0xFD, 0x84, 0x00};                 // 48 kHz layer II, 384 bytes
    Bytes before(Noise(400, 2));
    std::copy(fake.begin(), fake.end(), before.begin() + 16);   // its frame ends on the real first one
    Bytes one_off = mp2;
    one_off[417 * 2 + 2] = 0x84;                                  // the third header at another rate
    const struct {
        const char* what;
        Bytes bytes;
        int64_t acm, graph, table_rates;
    } cases[] = {
        {"a stream from its start", mp2, 0, 0, 0},
        {"one frame", Bytes(mp2.begin(), mp2.begin() + 417), 0, 0, 0},
        {"two frames, the second cut", Bytes(mp2.begin(), mp2.begin() + 600), 0, 0, 0},
        {"a false header ending on the stream", Cat({before, mp2}), 400, 400, 400},
        {"the third header at another rate", one_off, 417 * 3, 417 * 3, 417 * 3},
        {"MPEG 2.5", mp25, -1, 0, 0},
        {"free format", free, -1, 0, -1},
        {"free format at uneven spacing", uneven, -1, -1, -1},
        {"free-format headers 20 bytes apart", MpegFrames({0xFF, 0xFB, 0x00, 0x00}, 20, 50), -1, -1, -1},
        {"no header", Noise(5000, 3), -1, -1, -1},
        {"zeros, then one frame", Cat({Bytes(50, 0), Bytes(mp2.begin(), mp2.begin() + 417)}), 50, 50, 50},
        {"noise, then two frames", Cat({Noise(3000, 4), Bytes(mp2.begin(), mp2.begin() + 834)}), -1, -1, -1},
        {"one frame, then bytes of no kind", Cat({Bytes(mp2.begin(), mp2.begin() + 417), Noise(500, 5)}), -1, -1, -1},
        {"a frame that holds its header again", MpegFrames({0xFF, 0xFD, 0x80, 0x00}, 209, 12), -1, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.acm, FindConfirmedMpegFrame(c.bytes.data(), c.bytes.size(), c.bytes.size(), kAcmMpeg));
        EXPECT_EQ(c.graph, FindConfirmedMpegFrame(c.bytes.data(), c.bytes.size(), c.bytes.size(), kGraphMpeg));
        EXPECT_EQ(c.table_rates,
                  FindConfirmedMpegFrame(c.bytes.data(), c.bytes.size(), c.bytes.size(), kGraphMpegTableRates));
    }
    EXPECT_EQ(-1, FindConfirmedMpegFrame(Cat({Bytes(100, 0), mp2}).data(), 100 + mp2.size(), 100, kGraphMpeg))
        << "only frames starting within reach";
}

// Cut anywhere, a real stream is found at its next frame, never at a false
// header in what is left of the frame before; and every frame of it, free
// format too, is taken as the start of MPEG audio. Rarely, a sync in a frame's
// data reads as a header of the same stream whose frame ends on the next real
// one (half the frame at half the bit rate): that joins the stream and sets
// its format, and costs one frame of noise.
TEST(MpegAudioStart, EveryCutOfTheTonesStartsAtTheNextFrame) {
    const struct {
        const char* file;
        bool acm;           // the compression manager decodes it
        bool table_rates;   // not free format
    } tones[] = {{"tone.mp3", true, true},
                 {"tone22m.mp3", true, true},
                 {"tone8m.mp3", false, true},
                 {"tone.mp2", true, true},
                 {"tone_free.mp3", false, false}};
    for (const auto& t : tones) {
        SCOPED_TRACE(t.file);
        const Bytes f = ReadTone(t.file);
        ASSERT_GT(f.size(), 2000u) << "no such file (scripts/sound-media)";
        const std::vector<size_t> starts = MpegFrameStarts(f);
        ASSERT_GT(starts.size(), 20u);
        EXPECT_GT(starts.back() + 3000, f.size()) << "the walk stopped at frame " << starts.size();
        for (size_t i = 0; i + 2 < starts.size(); i++)
            ASSERT_TRUE(NextMpegHeaderFollows(&f[starts[i]], f.size() - starts[i], kGraphMpeg)) << "frame " << i;
        if (!t.table_rates) continue;
        size_t next = 0;
        for (size_t cut = 0; cut < starts[starts.size() - 3]; cut++) {
            while (starts[next] < cut) next++;
            const Bytes left(f.begin() + cut, f.end());
            for (MpegAccept accept : {kGraphMpegTableRates, kAcmMpeg}) {
                if (!accept.mpeg25 && !t.acm) continue;
                const int64_t found = Find(left, accept);
                if (found == (int64_t)(starts[next] - cut)) continue;
                ASSERT_GE(found, 0) << "cut at " << cut;
                ASSERT_LT((size_t)found + cut, starts[next]) << "cut at " << cut << ": a real frame passed over";
                const uint8_t* h = &left[(size_t)found];
                EXPECT_EQ(f[starts[0] + 1] & 0xFE, h[1] & 0xFE) << "cut at " << cut << ": another version or layer";
                EXPECT_EQ(f[starts[0] + 2] & 0x0C, h[2] & 0x0C) << "cut at " << cut << ": another sampling frequency";
                ASSERT_EQ(starts[next], cut + found + MpegFrameSpan(h, left.size() - found, accept))
                    << "cut at " << cut << ": a false header that does not join the stream";
            }
        }
    }
}

// Layer I frames, which 16- and 32-bit -1 reads as, count only when their bit
// allocation is allowed and fits the frame.
TEST(MpegAudioStart, LayerIFramesAreJudgedByTheirBitAllocation) {
    // Mono, 128 kbit/s at 44.1 kHz: 136 bytes, 1,088 bits.
    auto mono = [](uint8_t allocations, int subbands) {
        Bytes frame = {0xFF, 0xFF, 0x40, 0xC0};
        for (int sb = 0; sb < 32; sb += 2)
            frame.push_back((uint8_t)((sb < subbands ? allocations & 0xF0 : 0) | (sb + 1 < subbands ? allocations & 0x0F : 0)));
        frame.resize(136, 0x55);
        return Cat({frame, frame, frame, frame});
    };
    EXPECT_EQ(0, Find(mono(0x44, 8), kAcmMpeg)) << "8 subbands of 5 bits: 688 bits";
    EXPECT_EQ(-1, Find(mono(0xEE, 8), kAcmMpeg)) << "8 subbands of 15 bits: 1,648 bits";
    EXPECT_EQ(-1, Find(mono(0x1F, 2), kAcmMpeg)) << "an allocation of 15";
    // Joint stereo from subband 4, 192 kbit/s: 208 bytes, 1,664 bits. Subbands
    // 4-27 at 3 bits fit only when their samples are counted once for both channels.
    Bytes joint = {0xFF, 0xFF, 0x60, 0x40};
    joint.insert(joint.end(), 4, 0x22);              // 4 subbands x 2 channels
    joint.insert(joint.end(), 12, 0x22);             // 24 shared subbands
    joint.insert(joint.end(), 2, 0x00);              // the last 4
    joint.resize(208, 0x55);
    EXPECT_EQ(0, Find(Cat({joint, joint, joint}), kAcmMpeg));
}

// A container is known by its structure, whatever leads it; four bytes of a
// signature are not enough, and raw MPEG audio and data that is not sound are
// no container.
TEST(SoundContainer, KnownByItsStructure) {
    const Bytes movie =
        Cat({QuickTimeAtom("ftyp", Bytes(12, 'q')), QuickTimeAtom("wide"), QuickTimeAtom("mdat", QuietPcm(16, 4000, 3))});
    Bytes large_free = {0, 0, 0, 1, 'f', 'r', 'e', 'e', 0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0, 0};
    Bytes huge_free = large_free;
    std::fill_n(huge_free.begin() + 8, 8, 0xFF);   // a walk that adds it wraps round to the start
    const Bytes table = IntegerTable(16, 1 << 19, 8);
    Bytes ts(188 * 64, 0xFF), m2ts(192 * 64, 0xFF);
    for (int i = 0; i < 64; i++) ts[188 * i] = 0x47, m2ts[192 * i + 4] = 0x47;
    const Bytes two_tags = Cat({Id3v2(3, 0, 30), Id3v2(4, 0x10, 20)});
    const Bytes vob = ReadTone("tone_mp3.vob"), flac = ReadTone("quiet.flac");
    ASSERT_FALSE(vob.empty() || flac.empty());
    const struct {
        const char* what;
        Bytes bytes;
        bool container;
    } cases[] = {
        {"a movie led by ftyp", movie, true},
        {"a movie led by pnot", Cat({QuickTimeAtom("pnot", Bytes(12, 0)), movie}), true},
        {"a movie behind a 64-bit free atom", Cat({large_free, movie}), true},
        {"a movie behind 70 free atoms", Cat({FreeAtoms(70), movie}), true},
        {"a movie behind two ID3v2 tags", Cat({two_tags, QuickTimeAtom("junk", Bytes(8, 0)), movie}), true},
        {"FLAC behind two ID3v2 tags", Cat({two_tags, flac}), true},
        {"a program stream", vob, true},
        {"a transport stream", ts, true},
        {"a transport stream with time stamps", m2ts, true},
        {"atoms that reach no movie", Cat({QuickTimeAtom("pnot", Bytes(12, 0)), QuickTimeAtom("abcd", Bytes(40, 0))}),
         false},
        {"an atom whose 64-bit size runs past the end", Cat({huge_free, movie}), false},
        {"an atom of an unprintable type", Cat({QuickTimeAtom("pn\x01t", Bytes(12, 0)), movie}), false},
        {"fLaC, then a table", Cat({Bytes{'f', 'L', 'a', 'C'}, table}), false},
        {"RIFF of a picture", Cat({Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'}, table}), false},
        {"MPEG audio behind two ID3v2 tags", Cat({two_tags, MpegFrames({0xFF, 0xFB, 0x90, 0x64}, 417, 4)}), false},
        {"noise", Noise(5000, 6), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const uint32_t tags = LeadingId3v2TagsEnd(c.bytes.data(), (uint32_t)c.bytes.size());
        EXPECT_EQ(c.container, ConfirmedSoundContainer(c.bytes.data(), (uint32_t)c.bytes.size(), tags) != nullptr);
    }
    for (const NamedFile& f : ContainerStartsBefore(table))
        EXPECT_EQ(nullptr, ConfirmedSoundContainer(f.bytes.data(), (uint32_t)f.bytes.size(), 0)) << f.name;
    for (const NamedFile& f : LookalikeFiles(1))   // only the WAVs are containers
        EXPECT_EQ(f.bytes[0] == 'R', ConfirmedSoundContainer(f.bytes.data(), (uint32_t)f.bytes.size(), 0) != nullptr)
            << f.name;

    // The platform's parser knows a movie by its first atom: what leads it is offered as free space.
    Bytes led = Cat({two_tags, QuickTimeAtom("junk", Bytes(8, 0)), large_free, movie});
    const uint32_t tags = (uint32_t)two_tags.size();
    MarkAtomsBeforeMovieFree(led.data(), (uint32_t)led.size(), tags);
    EXPECT_TRUE(led == Cat({two_tags, QuickTimeAtom("free", Bytes(8, 0)), large_free, movie}));
    Bytes fl = flac;
    MarkAtomsBeforeMovieFree(fl.data(), (uint32_t)fl.size(), 0);
    EXPECT_TRUE(fl == flac);
}

// Data that is not sound, as the loaders meet it: a few kinds by name, and
// many more made from random parameters.
TEST(MpegAudioStart, DataThatIsNotSoundHoldsNoStart) {
    auto expect_none = [](const std::string& what, const Bytes& b) {
        SCOPED_TRACE(what);
        EXPECT_EQ(-1, Find(b, kAcmMpeg, b.size()));
        EXPECT_EQ(-1, Find(b, kGraphMpegTableRates));
        EXPECT_FALSE(NextMpegHeaderFollows(b.data(), b.size(), kGraphMpeg)) << "as the first offer sees it";
    };
    for (int scale : {1, 16})
        for (const NamedFile& f : LookalikeFiles(scale)) expect_none(f.name, f.bytes);

    Lcg r = {77};
    for (int i = 0; i < 3000; i++) {
        const int kind = i % 4;
        const size_t n = 2048 + r.Within(8192);
        const uint32_t seed = r.Next();
        std::string what = "case " + std::to_string(i) + ": ";
        Bytes b;
        if (kind == 0) {
            const int bits = 16 + 8 * r.Within(3), amplitude = 1 + r.Within(r.Within(2) ? 4 : 1000);
            const int64_t scale = (int64_t)1 << (8 * r.Within(bits / 8 - 1));
            what += "PCM";
            b = QuietPcm(bits, n, seed, amplitude, scale);
        } else if (kind == 1) {
            const int bits = r.Within(2) ? 16 : 32, every = r.Within(8);
            what += "table";
            b = IntegerTable(bits, n, seed, every, (int64_t)(r.Next() % (r.Within(2) ? 0x10000u : 300u)));
        } else if (kind == 2) {
            what += "records";
            b = Records(1 + r.Within(16), n / 8, seed);
        } else {
            const int bits = r.Within(2) ? 16 : 32, w = 8 + r.Within(200), period = 1 + r.Within(40);
            uint32_t colours[2] = {r.Next() << 8 | r.Next(), r.Next() << 8 | r.Next()};
            if (r.Within(2)) colours[r.Within(2)] |= bits == 16 ? 0xFF : 0xFFFF;   // a sync in every pixel
            what += "picture";
            b = Bitmap(w, (int)(n / w / (bits / 8)) + 1, bits,
                       [&](int x, int y) { return colours[((x / period) ^ (y / 3)) & 1]; });
        }
        expect_none(what, b);
        if (::testing::Test::HasFailure()) break;
    }
}

}  // namespace
