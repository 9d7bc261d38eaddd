// Thousands of damaged WAV files through every decoder: each must be refused or
// decoded within bounds, never hang, crash or leak.
#include "sound/sound_fixture.h"

using namespace soundtest;

namespace {

class RiffMutation : public SoundSystemTest {};

struct Rng {
    uint32_t s;
    uint32_t Next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
};

std::vector<Bytes> Seeds() {
    std::vector<Bytes> seeds;
    seeds.push_back(PcmWav(2, 22050, 16, Ramp16(3000, 2)));
    seeds.push_back(PcmWav(1, 8000, 8, Bytes(2001, 0x90)));
    seeds.push_back(RiffWriter()
                        .Chunk("bext", Bytes(12, 'b'))
                        .Chunk("fmt ", FormatBody(1, 1, 11025, 16, 2, 22050, true, Bytes{9, 9}))
                        .Chunk("fact", Bytes(4, 0))
                        .Chunk("LIST", Bytes(7, 'l'))
                        .Chunk("data", Ramp16(1500, 1))
                        .Build());
    for (int tag : {WAVE_FORMAT_MULAW, WAVE_FORMAT_ALAW}) {
        Bytes coded;
        for (int16_t v : Sine16(3000, 8000, 300, 12000))
            coded.push_back(tag == WAVE_FORMAT_MULAW ? LinearToMuLaw(v) : LinearToALaw(v));
        seeds.push_back(RiffWriter().Chunk("fmt ", FormatBody(tag, 1, 8000, 8, 1, 8000, true)).Chunk("data", coded).Build());
    }
    return seeds;
}

void Mutate(Bytes& w, Rng& r) {
    static const uint32_t kSizes[] = {0, 1, 2, 13, 14, 16, 17, 18, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFF8u, 0xFFFFFFFFu,
                                      0xFFFFFFF0u, 0x10000};
    switch (r.Below(5)) {
    case 0:
        for (uint32_t n = 1 + r.Below(8); n; n--) w[r.Below((uint32_t)w.size())] ^= (uint8_t)(1 + r.Below(255));
        break;
    case 1: {  // a size or format field replaced by an awkward value
        static const uint32_t kFields[] = {4, 16, 22, 24, 28, 32, 34, 36, 40};
        uint32_t at = kFields[r.Below(sizeof kFields / sizeof kFields[0])];
        uint32_t v = kSizes[r.Below(sizeof kSizes / sizeof kSizes[0])];
        for (int i = 0; i < 4 && at + i < w.size(); i++) w[at + i] = (uint8_t)(v >> (8 * i));
        break;
    }
    case 2: w.resize(r.Below((uint32_t)w.size() + 1)); break;
    case 3: {  // a 16-bit field zeroed: channels, block alignment, bits, cbSize
        uint32_t at = 20 + 2 * r.Below(9);
        if (at + 1 < w.size()) w[at] = w[at + 1] = 0;
        break;
    }
    default: {  // bytes inserted in the middle
        uint32_t at = r.Below((uint32_t)w.size());
        w.insert(w.begin() + at, 1 + r.Below(9), (uint8_t)r.Next());
        break;
    }
    }
}

TEST_F(RiffMutation, DamagedFilesAreRefusedOrDecodedWithinBounds) {
    // Each case costs a few milliseconds under Wine, mostly in the ACM driver search.
    const int kCases = 2500;
    const std::vector<Bytes> seeds = Seeds();
    int accepted = 0, cases = 0;
    bool finished = RunWithTimeout(
        [&] {
            Rng r{0x2545F491u};
            for (cases = 0; cases < kCases; cases++) {
                Bytes w = seeds[cases % seeds.size()];
                for (uint32_t m = 1 + r.Below(3); m; m--)
                    if (!w.empty()) Mutate(w, r);
                MemConverter c;
                if (c.Open(w) != 0) continue;
                accepted++;
                uint32_t total = GetConvertedPcmSize(&c.conv);
                uint8_t block[4096];
                int n = 0;
                for (int i = 0; i < 64 && (n = ConvertNextSoundBlock(&c.conv, block, sizeof block)) == (int)sizeof block; i++) {
                }
                ASSERT_GE(n, 0);
                SeekSoundConverter(&c.conv, (int32_t)r.Below(total + 100));
                ASSERT_GE(ConvertNextSoundBlock(&c.conv, block, sizeof block), 0);
                SeekSoundConverter(&c.conv, 0);
                if (total < (16u << 20)) {
                    WAVEFORMATEX f;
                    void* pcm = nullptr;
                    uint32_t size = 0;
                    if (ConvertWholeSound(&c.conv, &f, &pcm, &size) == 0) {
                        EXPECT_LE(size, total);
                        MemFree(pcm);
                    }
                }
            }
        },
        240000);
    ASSERT_TRUE(finished) << "stuck at case " << cases;
    EXPECT_EQ(kCases, cases);
    // The mutations must leave a fair share decodable, or the loop tests little.
    EXPECT_GT(accepted, kCases / 10);
}

}  // namespace
