// Extensible WAV format records read as the plain record of the format they
// name, and left as they are where they name none or are cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/sound/wave_format.h"

namespace {

using Bytes = std::vector<uint8_t>;

// WAVE_FORMAT_EXTENSIBLE of 2 channels at 44.1 kHz: cbSize `cb`, sub-format
// GUID {tag-0000-0010-8000-00AA00389B71} with `last` as its final byte, then `codec`.
Bytes Extensible(uint16_t tag, uint16_t cb, const Bytes& codec = {}, uint8_t last = 0x71) {
    Bytes b = {0xFE, 0xFF, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, (uint8_t)cb, (uint8_t)(cb >> 8),
               16, 0, 3, 0, 0, 0, (uint8_t)tag, (uint8_t)(tag >> 8), 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38,
               0x9B, last};
    b.insert(b.end(), codec.begin(), codec.end());
    return b;
}

TEST(WaveFormat, ExtensibleRecordsOfAStandardSubFormatBecomePlain) {
    Bytes cut = Extensible(1, 22);
    cut.pop_back();
    const Bytes plain_tail = {0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0};   // rate to bits, kept
    const struct {
        const char* what;
        Bytes record;
        uint16_t tag;       // named, and the plain record's where it changes
        Bytes extra;        // the plain record's extra bytes (its cbSize)
        bool rewritten;
    } cases[] = {
        {"PCM", Extensible(1, 22), 1, {}, true},
        {"float", Extensible(3, 22), 3, {}, true},
        {"A-law, a cbSize past the chunk", Extensible(6, 30), 6, {}, true},
        {"IMA ADPCM with its samples per block behind", Extensible(0x11, 24, {0xF9, 0x07}), 0x11, {0xF9, 0x07}, true},
        {"unknown GUID", Extensible(1, 22, {}, 0x72), 0xFFFE, {}, false},
        {"cbSize short of the extension", Extensible(1, 21), 0xFFFE, {}, false},
        {"cut inside the GUID", cut, 0xFFFE, {}, false},
        {"sub-format naming the extensible tag", Extensible(0xFFFE, 22), 0xFFFE, {}, false},
        {"plain PCM", Bytes{1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0}, 1, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.tag, NamedWaveFormatTag(c.record.data(), (uint32_t)c.record.size()));
        Bytes r = c.record;
        const uint32_t size = PlainWaveFormat(r.data(), (uint32_t)r.size());
        if (!c.rewritten) {
            EXPECT_EQ(c.record.size(), size);
            EXPECT_EQ(c.record, r);
            continue;
        }
        ASSERT_EQ(18 + c.extra.size(), size);
        EXPECT_EQ(c.tag, r[0] | r[1] << 8);
        EXPECT_EQ(Bytes(r.begin() + 2, r.begin() + 4), Bytes({2, 0}));
        EXPECT_EQ(Bytes(r.begin() + 4, r.begin() + 16), plain_tail);
        EXPECT_EQ(c.extra.size(), (size_t)(r[16] | r[17] << 8));
        EXPECT_EQ(c.extra, Bytes(r.begin() + 18, r.begin() + size));
    }
}

// The extensible record written for a plain one is what the tools write, and
// reads back as the plain record.
TEST(WaveFormat, PlainRecordsWrittenExtensibleReadBack) {
    const Bytes plain = {3, 0, 3, 0, 0x44, 0xAC, 0, 0, 0x30, 0x10, 8, 0, 12, 0, 32, 0, 0, 0};   // 3-channel float
    Bytes ext(40);
    ASSERT_EQ(40u, ExtensibleWaveFormat(plain.data(), ext.data()));
    Bytes want = Extensible(3, 22);
    std::copy(plain.begin() + 2, plain.begin() + 16, want.begin() + 2);
    want[18] = 32, want[20] = 7;   // all 32 bits valid; the first three channels
    EXPECT_EQ(want, ext);
    EXPECT_EQ(3, NamedWaveFormatTag(ext.data(), 40));
    EXPECT_EQ(18u, PlainWaveFormat(ext.data(), 40));
    EXPECT_EQ(plain, Bytes(ext.begin(), ext.begin() + 18));
}

}  // namespace
