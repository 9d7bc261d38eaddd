// RIFF WAVE through the audio compression manager: PCM passes unchanged,
// G.711 matches the reference expansion exactly, ADPCM keeps the signal,
// seeking re-decodes, and misbehaving codecs neither end early nor leave stale handles.
#include "sound/sound_fixture.h"

#include <algorithm>

using namespace soundtest;

namespace {

class AcmConvert : public SoundSystemTest {};

Bytes G711Wav(int tag, const std::vector<int16_t>& s) {
    Bytes coded;
    for (int16_t v : s) coded.push_back(tag == WAVE_FORMAT_MULAW ? LinearToMuLaw(v) : LinearToALaw(v));
    return RiffWriter().Chunk("fmt ", FormatBody(tag, 1, 8000, 8, 1, 8000, true)).Chunk("data", coded).Build();
}

// Encodes 16-bit mono PCM with the platform's codec for tag into a WAV image.
Bytes EncodeWithAcm(int tag, const std::vector<int16_t>& s, int rate) {
    WAVEFORMATEX src = {WAVE_FORMAT_PCM, 1, (DWORD)rate, (DWORD)rate * 2, 2, 16, 0};
    union {
        WAVEFORMATEX f;
        uint8_t raw[512];
    } dst = {};
    dst.f.wFormatTag = (WORD)tag;
    if (AcmApi.acmFormatSuggest(nullptr, &src, &dst.f, sizeof dst.raw, ACM_FORMATSUGGESTF_WFORMATTAG) != 0)
        return Bytes();
    HACMSTREAM h = nullptr;
    if (AcmApi.acmStreamOpen(&h, nullptr, &src, &dst.f, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0)
        return Bytes();
    Bytes in = ToBytes(s);
    Bytes out(in.size() + 65536);
    ACMSTREAMHEADER hdr = {};
    hdr.cbStruct = sizeof hdr;
    hdr.pbSrc = in.data();
    hdr.cbSrcLength = (DWORD)in.size();
    hdr.pbDst = out.data();
    hdr.cbDstLength = (DWORD)out.size();
    AcmApi.acmStreamPrepareHeader(h, &hdr, 0);
    MMRESULT r = AcmApi.acmStreamConvert(h, &hdr, ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END);
    AcmApi.acmStreamUnprepareHeader(h, &hdr, 0);
    AcmApi.acmStreamClose(h, 0);
    if (r != 0) return Bytes();
    out.resize(hdr.cbDstLengthUsed);
    Bytes fmt((uint8_t*)&dst.f, (uint8_t*)&dst.f + 18 + dst.f.cbSize);
    return RiffWriter().Chunk("fmt ", fmt).Chunk("data", out).Build();
}

// MS ADPCM, mono, predictor 0 throughout (Wine's codec decodes it but does not encode).
Bytes EncodeMsAdpcm(const std::vector<int16_t>& s, int rate) {
    static const int kAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};
    static const int kCoef[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
    const int block_align = 512;
    const int per_block = (block_align - 7) * 2 + 2;
    Bytes data;
    for (size_t start = 0; start < s.size(); start += per_block) {
        auto at = [&](size_t i) { return start + i < s.size() ? (int)s[start + i] : 0; };
        int s2 = at(0), s1 = at(1);
        int delta = std::max(16, std::abs(at(2) - s1));
        size_t block_start = data.size();
        data.push_back(0);
        Put16(data, (uint16_t)delta);
        Put16(data, (uint16_t)s1);
        Put16(data, (uint16_t)s2);
        int nibble_hi = -1;
        for (int i = 2; i < per_block; i++) {
            int pred = (s1 * kCoef[0][0] + s2 * kCoef[0][1]) >> 8;
            int n = (int)std::lround((double)(at(i) - pred) / delta);
            n = std::max(-8, std::min(7, n));
            int v = std::max(-32768, std::min(32767, pred + n * delta));
            s2 = s1;
            s1 = v;
            delta = std::max(16, (kAdapt[n & 15] * delta) >> 8);
            if (nibble_hi < 0) {
                nibble_hi = n & 15;
            } else {
                data.push_back((uint8_t)(nibble_hi << 4 | (n & 15)));
                nibble_hi = -1;
            }
        }
        EXPECT_EQ((size_t)block_align, data.size() - block_start);
    }
    Bytes extra;
    Put16(extra, per_block);
    Put16(extra, 7);
    for (auto& c : kCoef) {
        Put16(extra, (uint16_t)c[0]);
        Put16(extra, (uint16_t)c[1]);
    }
    Bytes fmt = FormatBody(WAVE_FORMAT_ADPCM, 1, rate, 4, block_align, rate * block_align / per_block, true, extra);
    return RiffWriter().Chunk("fmt ", fmt).Chunk("data", data).Build();
}

TEST_F(AcmConvert, PcmThroughAcmIsUnchanged) {
    SetSoundDecoderDisableMask(SOUND_DECODER_RIFF_PCM);
    Bytes pcm = Ramp16(22050 + 77, 2);
    MemConverter c;
    ASSERT_EQ(0, c.Open(PcmWav(2, 22050, 16, pcm)));
    ASSERT_EQ(SOUND_CONVERT_ACM, c.conv.method);
    EXPECT_EQ(pcm.size(), GetConvertedPcmSize(&c.conv));
    EXPECT_EQ(pcm, c.ReadAll());
    // Whole, as a load does it.
    WAVEFORMATEX f;
    void* out = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(0, ConvertWholeSound(&c.conv, &f, &out, &size));
    ASSERT_EQ(pcm.size(), size);
    EXPECT_EQ(0, std::memcmp(out, pcm.data(), size));
    MemFree(out);
}

TEST_F(AcmConvert, SeekForwardAndBackThenReadEqualsReadFromTheStart) {
    SetSoundDecoderDisableMask(SOUND_DECODER_RIFF_PCM);
    Bytes pcm = Ramp16(8000 * 3, 1);
    MemConverter c;
    ASSERT_EQ(0, c.Open(PcmWav(1, 8000, 16, pcm)));
    for (int sample : {100, 20000, 50, 16001, 0, 23990, 7}) {
        ASSERT_EQ(0, SeekSoundConverter(&c.conv, sample));
        Bytes out(20);
        ASSERT_EQ(20, ConvertNextSoundBlock(&c.conv, out.data(), 20)) << sample;
        EXPECT_EQ(0, std::memcmp(out.data(), pcm.data() + sample * 2, 20)) << sample;
    }
}

TEST_F(AcmConvert, G711MatchesTheReferenceExpansion) {
    auto sine = Sine16(4000, 8000, 440, 20000);
    sine.push_back(32767);
    sine.push_back(-32768);
    sine.push_back(0);
    for (int tag : {WAVE_FORMAT_MULAW, WAVE_FORMAT_ALAW}) {
        MemConverter c;
        ASSERT_EQ(0, c.Open(G711Wav(tag, sine))) << "no ACM codec for tag " << tag;
        EXPECT_EQ(SOUND_CONVERT_ACM, c.conv.method);
        EXPECT_EQ(16, c.conv.format.wBitsPerSample);
        EXPECT_EQ(sine.size() * 2, GetConvertedPcmSize(&c.conv));
        Bytes out = c.ReadAll();
        ASSERT_EQ(sine.size() * 2, out.size());
        auto got = ToSamples(out.data(), out.size());
        int mismatches = 0;
        for (size_t i = 0; i < sine.size(); i++) {
            uint8_t code = tag == WAVE_FORMAT_MULAW ? LinearToMuLaw(sine[i]) : LinearToALaw(sine[i]);
            int16_t want = tag == WAVE_FORMAT_MULAW ? MuLawToLinear(code) : ALawToLinear(code);
            if (got[i] != want && mismatches++ < 5) ADD_FAILURE() << "tag " << tag << " sample " << i << ": " << got[i] << " != " << want;
        }
        EXPECT_EQ(0, mismatches);
    }
}

TEST_F(AcmConvert, AdpcmKeepsLengthFrequencyAndLevel) {
    const int rate = 22050;
    auto sine = Sine16(rate, rate, 441, 8000);
    for (int tag : {WAVE_FORMAT_IMA_ADPCM, WAVE_FORMAT_ADPCM}) {
        Bytes wav = tag == WAVE_FORMAT_ADPCM ? EncodeMsAdpcm(sine, rate) : EncodeWithAcm(tag, sine, rate);
        ASSERT_FALSE(wav.empty()) << "the platform cannot encode tag " << tag;
        MemConverter c;
        ASSERT_EQ(0, c.Open(wav)) << "tag " << tag;
        EXPECT_EQ(SOUND_CONVERT_ACM, c.conv.method);
        EXPECT_EQ((DWORD)rate, c.conv.format.nSamplesPerSec);
        Bytes out = c.ReadAll();
        auto got = ToSamples(out.data(), out.size());
        // Whole blocks: the length is within one block of the source.
        EXPECT_NEAR((double)sine.size(), (double)got.size(), 2048) << "tag " << tag;
        EXPECT_LE(out.size(), GetConvertedPcmSize(&c.conv));
        EXPECT_NEAR(441.0, ZeroCrossingHz(got, rate), 441 * 0.01) << "tag " << tag;
        double db = 20 * std::log10(Rms(got) / Rms(sine));
        EXPECT_NEAR(0.0, db, 1.0) << "tag " << tag;
    }
}

TEST_F(AcmConvert, FormatExtraSizeIsClampedToTheChunk) {
    auto sine = Sine16(800, 8000, 440, 10000);
    Bytes coded;
    for (int16_t v : sine) coded.push_back(LinearToMuLaw(v));
    // cbSize claims 65535 extra bytes that the 18-byte chunk does not hold.
    Bytes fmt = FormatBody(WAVE_FORMAT_MULAW, 1, 8000, 8, 1, 8000, true);
    fmt[16] = 0xFF;
    fmt[17] = 0xFF;
    MemConverter c;
    ASSERT_EQ(0, c.Open(RiffWriter().Chunk("fmt ", fmt).Chunk("data", coded).Build()));
    ASSERT_EQ(SOUND_CONVERT_ACM, c.conv.method);
    EXPECT_EQ(0, c.conv.acm.src_format->cbSize);
    // 20-byte chunk: at most the 2 bytes it holds.
    Bytes fmt20 = FormatBody(WAVE_FORMAT_MULAW, 1, 8000, 8, 1, 8000, true, Bytes{0, 0});
    fmt20[16] = 100;
    ASSERT_EQ(0, c.Open(RiffWriter().Chunk("fmt ", fmt20).Chunk("data", coded).Build()));
    EXPECT_EQ(2, c.conv.acm.src_format->cbSize);
    // 14-byte chunk of a compressed format: tail zeroed, no extra bytes.
    Bytes fmt14(fmt.begin(), fmt.begin() + 14);
    if (c.Open(RiffWriter().Chunk("fmt ", fmt14).Chunk("data", coded).Build()) == 0) {
        EXPECT_EQ(0, c.conv.acm.src_format->cbSize);
    }
}

MMRESULT(WINAPI* g_real_convert)(HACMSTREAM, LPACMSTREAMHEADER, DWORD);
int g_convert_calls;
// The first step swallows 4 bytes and gives nothing, as a codec filling a frame does.
MMRESULT WINAPI SwallowFirstStep(HACMSTREAM h, LPACMSTREAMHEADER hdr, DWORD flags) {
    if (g_convert_calls++ == 0) {
        hdr->cbSrcLengthUsed = 4;
        hdr->cbDstLengthUsed = 0;
        return 0;
    }
    return g_real_convert(h, hdr, flags);
}

TEST_F(AcmConvert, CodecThatTakesInputWithoutOutputDoesNotEndTheSound) {
    SetSoundDecoderDisableMask(SOUND_DECODER_RIFF_PCM);
    Bytes pcm = Ramp16(5000, 1);
    MemConverter c;
    ASSERT_EQ(0, c.Open(PcmWav(1, 8000, 16, pcm)));
    g_real_convert = AcmApi.acmStreamConvert;
    g_convert_calls = 0;
    AcmApi.acmStreamConvert = SwallowFirstStep;
    Bytes out = c.ReadAll();
    AcmApi.acmStreamConvert = g_real_convert;
    ASSERT_EQ(pcm.size() - 4, out.size());
    EXPECT_EQ(0, std::memcmp(out.data(), pcm.data() + 4, out.size()));
}

MMRESULT WINAPI RefuseOpen(LPHACMSTREAM, HACMDRIVER, LPWAVEFORMATEX, LPWAVEFORMATEX, LPWAVEFILTER, DWORD_PTR,
                           DWORD_PTR, DWORD) {
    return ACMERR_NOTPOSSIBLE;
}

TEST_F(AcmConvert, FailedSpareReopenLeavesNoStaleHandle) {
    SetSoundDecoderDisableMask(SOUND_DECODER_RIFF_PCM);
    Bytes pcm = Ramp16(20000, 1);
    MemConverter c;
    ASSERT_EQ(0, c.Open(PcmWav(1, 8000, 16, pcm)));
    Bytes out(100);
    ASSERT_EQ(0, SeekSoundConverter(&c.conv, 17000));
    auto real_open = AcmApi.acmStreamOpen;
    AcmApi.acmStreamOpen = RefuseOpen;
    // Back to the start: the spare takes over, the new spare cannot be made.
    ASSERT_EQ(0, SeekSoundConverter(&c.conv, 10));
    EXPECT_EQ(nullptr, c.conv.acm.spare);
    ASSERT_EQ(100, ConvertNextSoundBlock(&c.conv, out.data(), 100));
    EXPECT_EQ(0, std::memcmp(out.data(), pcm.data() + 20, 100));
    // With no spare and none to be had, going back ends the sound cleanly.
    ASSERT_EQ(0, SeekSoundConverter(&c.conv, 17000));
    ASSERT_EQ(0, SeekSoundConverter(&c.conv, 0));
    EXPECT_EQ(0, ConvertNextSoundBlock(&c.conv, out.data(), 100));
    AcmApi.acmStreamOpen = real_open;
    c.Close();
    // And it recovers once streams can be opened again.
    ASSERT_EQ(0, c.Open(PcmWav(1, 8000, 16, pcm)));
    EXPECT_EQ(pcm, c.ReadAll());
}

}  // namespace
