// Files that are not sound but hold what parses as MPEG audio headers (quiet
// PCM, tables where -1 and 0 are common, pictures of few colours), and the
// tails that tools leave after MPEG audio. No test framework, so that the
// native tests and the benchmarks can include it too.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "movie/avi_writer.h"
#include "sound/mpeg_bytes.h"
#include "support/byte_writer.h"

namespace soundtest {

struct NamedFile {
    std::string name;
    Bytes bytes;
};

// Dithered silence: triangular noise of `amplitude` steps either way, as
// `bits`-bit samples (8-bit unsigned, the rest signed); `scale` lifts 16-bit
// noise into wider samples as a converter would.
inline Bytes QuietPcm(int bits, size_t samples, uint32_t seed, int amplitude = 1, int64_t scale = 1) {
    Lcg r = {seed};
    Bytes b;
    for (size_t i = 0; i < samples; i++) {
        const int64_t v = (int64_t)(r.Within(amplitude + 1) - r.Within(amplitude + 1)) * scale;
        PutLe(b, bits == 8 ? v + 128 : v, bits / 8);
    }
    return b;
}

// A WAV of a format tag nothing decodes; with `subformat`, WAVE_FORMAT_EXTENSIBLE around it.
inline Bytes UndecodableWave(uint16_t tag, int bits, int channels, int rate, const Bytes& data,
                             const uint8_t* subformat = nullptr) {
    Bytes extensible;
    if (subformat) {
        Put16(extensible, bits), Put32(extensible, channels == 2 ? 3 : 4);
        extensible.insert(extensible.end(), subformat, subformat + 16);
    }
    const int align = channels * bits / 8;
    Bytes wave;
    avitest::PutId(wave, "WAVE");
    const Bytes fmt = avitest::WaveFormatEx(subformat ? 0xFFFE : tag, channels, rate, rate * align, align, bits, extensible);
    return avitest::Chunk("RIFF", Cat({wave, avitest::Chunk("fmt ", fmt), avitest::Chunk("data", data)}));
}

// A bottom-up BMP of 16- or 32-bit pixels.
inline Bytes Bitmap(int width, int height, int bits, const std::function<uint32_t(int, int)>& pixel) {
    Bytes px;
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) PutLe(px, pixel(x, y), bits / 8);
        while (px.size() % 4) px.push_back(0);
    }
    Bytes b = {'B', 'M'};
    Put32(b, 54 + (uint32_t)px.size()), Put32(b, 0), Put32(b, 54);
    Put32(b, 40), Put32(b, width), Put32(b, height), Put16(b, 1), Put16(b, bits), Put32(b, 0);
    Put32(b, (uint32_t)px.size()), Put32(b, 2835), Put32(b, 2835), Put32(b, 0), Put32(b, 0);
    return Cat({b, px});
}

// 16- or 32-bit integers, each -1 or 0 but for one in `other_every` that is `other`.
inline Bytes IntegerTable(int bits, size_t count, uint32_t seed, int other_every = 0, int64_t other = 0) {
    Lcg r = {seed};
    Bytes b;
    for (size_t i = 0; i < count; i++)
        PutLe(b, other_every && r.Within(other_every) == 0 ? other : r.Within(3) == 0 ? -1 : 0, bits / 8);
    return b;
}

// Records of 32-bit fields: an index, then fields fixed for the file that are
// -1, 0 or small.
inline Bytes Records(int fields, size_t count, uint32_t seed) {
    Lcg r = {seed};
    std::vector<int64_t> fixed(fields);
    for (auto& f : fixed) f = r.Within(3) == 0 ? -1 : r.Within(2) ? 0 : r.Within(1000) - 500;
    Bytes b;
    for (size_t i = 0; i < count; i++) {
        PutLe(b, (int64_t)i, 4);
        for (int64_t f : fixed) PutLe(b, f, 4);
    }
    return b;
}

// Every kind of non-sound file the sound loaders must refuse, at a size that
// shows the pattern (`scale` 1: a few KB; larger for the benchmark).
inline std::vector<NamedFile> LookalikeFiles(int scale = 1) {
    static const uint8_t kUnknownSub[16] = {0x46, 0x53, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    const size_t n = 4096 * (size_t)scale;
    Bytes pattern = {1, 2, 3, 4};
    for (size_t i = 0; i < n / 4; i++) pattern.insert(pattern.end(), {0xFF, 0xFF, 0, 0});
    auto two = [](uint32_t a, uint32_t b) {
        return [a, b](int x, int y) { return ((x / 5) ^ (y / 3)) & 1 ? a : b; };
    };
    auto one = [](uint32_t a) { return [a](int, int) { return a; }; };
    std::vector<NamedFile> files = {
        {"4 bytes, then FF FF 00 00 over and over", pattern},
        {"16-bit dithered silence", QuietPcm(16, n, 1)},
        {"16-bit silence, dither of 8 steps", QuietPcm(16, n, 2, 8)},
        {"8-bit dithered silence", QuietPcm(8, n, 3, 2)},
        {"24-bit dithered silence", QuietPcm(24, n, 4, 1)},
        {"24-bit silence, 16-bit dither", QuietPcm(24, n, 5, 1, 256)},
        {"32-bit dithered silence", QuietPcm(32, n, 6, 1)},
        {"32-bit silence, 16-bit dither", QuietPcm(32, n, 7, 1, 65536)},
        {"32-bit silence, 24-bit dither", QuietPcm(32, n, 8, 100, 256)},
        {"WAV of tag 0x5346, 16-bit dithered silence", UndecodableWave(0x5346, 16, 2, 44100, QuietPcm(16, n, 9))},
        {"WAV of tag 0x5346, 24-bit dithered silence", UndecodableWave(0x5346, 24, 2, 48000, QuietPcm(24, n, 10, 1, 256))},
        {"EXTENSIBLE WAV of an unknown sub-format, 32-bit silence",
         UndecodableWave(0, 32, 2, 48000, QuietPcm(32, n, 11, 100, 256), kUnknownSub)},
        {"table of the 32-bit value 65535", IntegerTable(32, n / 4, 0, 1, 65535)},
        {"16-bit table of -1 and 0", IntegerTable(16, n / 2, 12)},
        {"32-bit table of -1 and 0", IntegerTable(32, n / 4, 13)},
        {"16-bit tile map of -1, 0 and 0x90", IntegerTable(16, n / 2, 14, 4, 0x90)},
        {"32-bit records of an index and fixed fields", Records(5, n / 24, 15)},
        {"32-bit BMP of one colour (FF FF 00 00)", Bitmap(32, (int)n / 128, 32, one(0x0000FFFF))},
        {"32-bit BMP of one colour (FF FF 80 FF)", Bitmap(32, (int)n / 128, 32, one(0xFF80FFFF))},
        {"32-bit BMP of one colour (FF FB 90 64)", Bitmap(32, (int)n / 128, 32, one(0x6490FBFF))},
        {"32-bit BMP of two colours", Bitmap(32, (int)n / 128, 32, two(0xFF80FFFF, 0xFF000000))},
        {"16-bit BMP of one colour (FF FF)", Bitmap(32, (int)n / 64, 16, one(0xFFFF))},
        {"16-bit BMP of two colours", Bitmap(32, (int)n / 64, 16, two(0xFFFF, 0x0000))},
    };
    return files;
}

// What tools leave after the last frame of MPEG audio.
inline Bytes Id3v1Tag() {
    Bytes b = {'T', 'A', 'G'};
    b.resize(128, ' ');
    return b;
}
inline Bytes ApeTag() {
    const Bytes item = Cat({{5, 0, 0, 0, 0, 0, 0, 0}, {'T', 'i', 't', 'l', 'e', 0}, {'T', 'o', 'n', 'e', 's'}});
    auto part = [&](uint32_t flags) {
        Bytes b = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X'};
        Put32(b, 2000), Put32(b, (uint32_t)item.size() + 32), Put32(b, 1), Put32(b, flags), Put32(b, 0), Put32(b, 0);
        return b;
    };
    return Cat({part(0xA0000000), item, part(0x80000000)});
}
inline Bytes Lyrics3Tag() {
    const std::string fields = "LYRICSBEGININD00002" "10" "LYR00011[00:00]Tone";
    char size[7];
    std::snprintf(size, sizeof size, "%06u", (unsigned)fields.size());
    const std::string all = fields + size + "LYRICS200";
    return Bytes(all.begin(), all.end());
}
inline std::vector<NamedFile> MpegTails() {
    return {{"an APEv2 tag", ApeTag()},
            {"a Lyrics3 tag and ID3v1", Cat({Lyrics3Tag(), Id3v1Tag()})},
            {"an ID3v1 tag", Id3v1Tag()},
            {"1,000 zero bytes", Bytes(1000, 0)},
            {"zeros, an APEv2 tag and ID3v1", Cat({Bytes(300, 0), ApeTag(), Id3v1Tag()})},
            {"an ID3v2.4 tag with a footer", Id3v2(4, 0x10, 300)},
            {"an ID3v2 tag, then ID3v1", Cat({Id3v2(3, 0, 300), Id3v1Tag()})}};
}

// Containers as writers bend them. A FLAC whose last metadata block (the
// comments, after the 42 bytes of the stream description) says 48 bytes but
// runs on to byte 221, where the frames begin; `frames` is where they begin
// in the FLAC as written.
inline Bytes FlacWithShortLastBlock(const Bytes& flac, size_t frames) {
    const size_t comments = (size_t)flac[43] << 16 | flac[44] << 8 | flac[45];
    Bytes b = Cat({Bytes(flac.begin(), flac.begin() + 42), {0x84, 0, 0, 48},
                   Bytes(flac.begin() + 46, flac.begin() + 46 + comments)});
    b.resize(221, 0);
    b.insert(b.end(), flac.begin() + frames, flac.end());
    return b;
}
// Where a FLAC's frames begin, past its metadata blocks (0 when they run past its end).
inline size_t FlacFramesStart(const Bytes& flac) {
    size_t at = 4;
    for (bool last = false; !last; at += 4 + ((size_t)flac[at + 1] << 16 | flac[at + 2] << 8 | flac[at + 3])) {
        if (at + 4 >= flac.size()) return 0;
        last = flac[at] & 0x80;
    }
    return at;
}
// An AVI with `lead` (JUNK, INFO) before its header list, its form size kept right.
inline Bytes AviWithChunksFirst(const Bytes& avi, const Bytes& lead) {
    Bytes b = Cat({Bytes(avi.begin(), avi.begin() + 12), lead, Bytes(avi.begin() + 12, avi.end())});
    const uint32_t form = (uint32_t)b.size() - 8;
    for (int i = 0; i < 4; i++) b[4 + i] = (uint8_t)(form >> (8 * i));
    return b;
}

// `data` behind a container's first bytes but not its structure: three
// transport-stream sync bytes a 192-byte packet apart, and an MPEG-2 pack header.
inline std::vector<NamedFile> ContainerStartsBefore(const Bytes& data) {
    Bytes syncs = data;
    for (int i = 0; i < 3 && 4 + 192 * i < (int)syncs.size(); i++) syncs[4 + 192 * i] = 0x47;
    const Bytes pack = {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8};
    return {{"3 transport sync bytes, then the data", syncs}, {"a pack header, then the data", Cat({pack, data})}};
}

}  // namespace soundtest
