// Conversion to PCM: which RIFF files are taken, byte-exact PCM and seeking
// through both decoders, G.711 and ADPCM through ACM, misbehaving codecs, and
// damaged files that must never hang, crash or leak.
#include "sound/sound_fixture.h"

#include <algorithm>
#include <cmath>

#include "sound/sound_measure.h"

using namespace soundtest;

namespace {

class SoundConvert : public SoundSystemTest {};

TEST_F(SoundConvert, RiffFilesAreTakenOrRefusedQuickly) {
    SetSoundDecoderDisableMask(~(SOUND_DECODER_RIFF_PCM | SOUND_DECODER_RIFF_ACM));
    const Bytes pcm = Ramp16(50, 1), fmt = FormatBody(1, 1, 8000, 16, 2, 16000);
    auto with_fmt = [&](const Bytes& f) { return RiffWriter().Chunk("fmt ", f).Chunk("data", pcm).Build(); };
    auto before = [&](const char* id, const Bytes& body, int64_t size = -1) {
        return RiffWriter().Chunk(id, body, size).Chunk("fmt ", fmt).Chunk("data", pcm).Build();
    };
    auto between = [&](const char* id, const Bytes& body, int64_t size = -1) {
        return RiffWriter().Chunk("fmt ", fmt).Chunk(id, body, size).Chunk("data", pcm).Build();
    };
    Bytes not_wave = with_fmt(fmt), not_riff = not_wave, fmt13 = with_fmt(Bytes(fmt.begin(), fmt.begin() + 13));
    not_wave[8] = not_riff[0] = 'X';
    // Odd chunks as writers leave them: padded, and with the pad byte left out.
    const Bytes fmt19 = FormatBody(1, 1, 8000, 16, 2, 16000, true, Bytes{7});
    const Bytes bext_odd = before("bext", Bytes(603, 'b')), fmt_odd = with_fmt(fmt19);
    auto unpadded = [](Bytes wav, size_t pad) { return wav.erase(wav.begin() + pad), wav; };
    // 100 bytes of data: the size's first byte, 'd', makes "ata" + 'd' a plausible id one byte on.
    const Bytes odd_before_data = between("odd!", Bytes(5, 2));
    Bytes rf64 = RiffWriter().Chunk("ds64", Bytes(28, 0)).Chunk("fmt ", fmt).Chunk("data", pcm, 0xFFFFFFFFu).Build();
    Bytes rifx = with_fmt(fmt);
    std::copy_n("RF64", 4, rf64.begin()), std::copy_n("RIFX", 4, rifx.begin());
    fmt13.erase(fmt13.begin() + 33);  // unpadded, so that data follows where the 13 bytes end
    const struct {
        const char* what;
        Bytes wav;
        bool taken;
    } cases[] = {
        {"plain", with_fmt(fmt), true},
        {"bext before fmt", before("bext", Bytes(10, 'b')), true},
        {"odd chunk between", odd_before_data, true},
        {"odd chunk between, its pad left out", unpadded(odd_before_data, 12 + 24 + 8 + 5), true},
        {"JUNK before fmt", before("JUNK", Bytes(28, 0)), true},
        {"LIST of odd size before fmt", before("LIST", Bytes(7, 'l')), true},
        {"fact before fmt", before("fact", Bytes(4, 0)), true},
        {"bext of odd size before fmt", bext_odd, true},
        {"bext of odd size, its pad left out", unpadded(bext_odd, 12 + 8 + 603), true},
        {"fmt of odd size", fmt_odd, true},
        {"fmt of odd size, its pad left out", unpadded(fmt_odd, 12 + 8 + 19), true},
        {"RF64 (data size 0xFFFFFFFF)", rf64, true},
        {"RIFX (big-endian)", rifx, false},
        {"data longer than the file", RiffWriter().Chunk("fmt ", fmt).Chunk("data", pcm, 1000000).Build(), true},
        {"no data", RiffWriter().Chunk("fmt ", fmt).Chunk("LIST", Bytes(8, 0)).Build(), false},
        {"not WAVE", not_wave, false},
        {"not RIFF", not_riff, false},
        {"fmt 14 bytes (no bits per sample)", with_fmt(Bytes(fmt.begin(), fmt.begin() + 14)), false},
        {"fmt with extra bytes", with_fmt(FormatBody(1, 1, 8000, 16, 2, 16000, true, Bytes{1, 2, 3, 4})), true},
        {"fmt 13 bytes", fmt13, false},
        {"fmt 4 bytes", with_fmt(Bytes(fmt.begin(), fmt.begin() + 4)), false},
        {"fmt empty", with_fmt(Bytes()), false},
        {"0 channels", with_fmt(FormatBody(1, 0, 8000, 16, 2, 16000)), false},
        {"0 rate", with_fmt(FormatBody(1, 1, 0, 16, 2, 16000)), false},
        {"0 block align", with_fmt(FormatBody(1, 1, 8000, 16, 0, 16000)), false},
        {"0 bytes per second: worked out from the rest", with_fmt(FormatBody(1, 1, 8000, 16, 2, 0)), true},
        {"mu-law 0 channels", with_fmt(FormatBody(7, 0, 8000, 8, 1, 8000, true)), false},
        // +8 wraps 0xFFFFFFF8 onto the same header in 32 bits; from 0x80000000 up a signed seek goes back.
        {"size wraps", between("LIST", {}, 0xFFFFFFF8u), false},
        {"size negative", between("LIST", {}, 0x80000000u), false},
        {"size odd huge", between("LIST", Bytes(4), 0xFFFFFFEFu), false},
        {"first chunk huge", before("bext", {}, 0xFFFFFFF0u), false},
        {"fmt huge", RiffWriter().Chunk("fmt ", fmt, 0xFFFFFFF0u).Chunk("data", pcm).Build(), false},
        {"chunk past the end", between("LIST", Bytes(10), 100), false},
    };
    for (auto& c : cases) {
        int result = 0;
        uint32_t size = 0;
        Bytes out;
        auto open = [&] {
            MemConverter m;
            if ((result = m.Open(c.wav)) == 0) size = GetConvertedPcmSize(&m.conv), out = m.ReadAll();
        };
        ASSERT_TRUE(RunWithTimeout(open, 10000)) << c.what << " hangs";
        EXPECT_EQ(c.taken ? 0 : -1, result) << c.what;
        if (!c.taken || result) continue;
        EXPECT_EQ(pcm.size(), size) << c.what;
        EXPECT_EQ(pcm, out) << c.what;
    }
}

TEST_F(SoundConvert, FormatExtraSizeIsHeldToTheChunk) {
    const Bytes coded(800, 0x5A);
    MemConverter c;
    auto open = [&](const Bytes& fmt, const Bytes& data) {
        return c.Open(RiffWriter().Chunk("fmt ", fmt).Chunk("data", data).Build());
    };
    // A 16-byte chunk's bits per sample come from the block alignment.
    ASSERT_EQ(0, open(FormatBody(1, 2, 8000, 8, 4, 32000), Ramp16(16, 2)));
    EXPECT_EQ(16, c.conv.format.wBitsPerSample);
    // cbSize reaches ACM only as far as the chunk holds it.
    Bytes mulaw = FormatBody(WAVE_FORMAT_MULAW, 1, 8000, 8, 1, 8000, true);
    mulaw[16] = mulaw[17] = 0xFF;
    ASSERT_EQ(0, open(mulaw, coded));
    ASSERT_EQ(SOUND_CONVERT_ACM, c.conv.method);
    EXPECT_EQ(0, c.conv.acm.src_format->cbSize);
    Bytes mulaw20 = FormatBody(WAVE_FORMAT_MULAW, 1, 8000, 8, 1, 8000, true, Bytes{0, 0});
    mulaw20[16] = 100;
    ASSERT_EQ(0, open(mulaw20, coded));
    EXPECT_EQ(2, c.conv.acm.src_format->cbSize);
    EXPECT_TRUE(open(Bytes(mulaw.begin(), mulaw.begin() + 14), coded) != 0 || c.conv.acm.src_format->cbSize == 0);
}

TEST_F(SoundConvert, BothDecodersGivePcmByteForByteAndSeekExactly) {
    const int frames = 8000 * 3 + 123;  // several one-second blocks
    const Bytes pcm = Ramp16(frames, 2), wav = PcmWav(2, 8000, 16, pcm);
    const WAVEFORMATEX want = {WAVE_FORMAT_PCM, 2, 8000, 32000, 4, 16, 0};
    for (int mask : {0, (int)SOUND_DECODER_RIFF_PCM}) {
        SCOPED_TRACE(mask ? "through ACM" : "plain PCM");
        SetSoundDecoderDisableMask(mask);
        MemConverter c;
        ASSERT_EQ(0, c.Open(wav));
        EXPECT_EQ(mask ? SOUND_CONVERT_ACM : SOUND_CONVERT_RIFF_PCM, c.conv.method);
        WAVEFORMATEX f;
        GetConverterWaveFormat(&c.conv, &f);
        EXPECT_EQ(0, std::memcmp(&want, &f, sizeof f));
        EXPECT_EQ(pcm.size(), GetConvertedPcmSize(&c.conv));
        EXPECT_EQ(pcm, c.ReadAll());
        uint8_t none[4];
        EXPECT_EQ(0, ConvertNextSoundBlock(&c.conv, none, 4)) << "nothing after the end until a seek";
        for (int sample : {9000, 17, 23999, 0, frames - 30, 5000, 16001}) {
            ASSERT_EQ(0, SeekSoundConverter(&c.conv, sample));
            Bytes out(400);
            int n = ConvertNextSoundBlock(&c.conv, out.data(), 400);
            size_t expect = std::min<size_t>(400, pcm.size() - sample * 4);
            ASSERT_EQ((int)expect, n) << sample;
            EXPECT_EQ(0, std::memcmp(out.data(), pcm.data() + sample * 4, expect)) << sample;
        }
        EXPECT_EQ(0, SeekSoundConverter(&c.conv, frames + 100));
        EXPECT_EQ(0, ConvertNextSoundBlock(&c.conv, none, 4));
        void* whole = nullptr;  // as a load takes it
        uint32_t size = 0;
        ASSERT_EQ(0, ConvertWholeSound(&c.conv, &f, &whole, &size));
        EXPECT_EQ(pcm, Bytes((uint8_t*)whole, (uint8_t*)whole + size));
        MemFree(whole);
    }
    // The loaders' helpers: PCM wrapped as an image reads back; a stream is read from its start.
    void* image = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(0, BuildWaveFileImage(&image, &size, &want, 18, pcm.data(), (uint32_t)pcm.size()));
    MemConverter c;
    ASSERT_EQ(0, c.Open(Bytes((uint8_t*)image, (uint8_t*)image + size)));
    EXPECT_EQ(pcm, c.ReadAll());
    MemFree(image);
    c.sd.funcs.Seek(c.sd.handle, 10, 0);
    ASSERT_EQ(0, LoadStreamToMemory(&c.sd, &image, &size));
    EXPECT_EQ(c.image, Bytes((uint8_t*)image, (uint8_t*)image + size));
    MemFree(image);
}

TEST_F(SoundConvert, NearSeekIsSkippedOnlyWhileDataRemains) {
    const Bytes pcm = Ramp16(100, 2);
    MemConverter c;
    ASSERT_EQ(0, c.Open(PcmWav(2, 8000, 16, pcm)));
    Bytes out(100);
    ASSERT_EQ(100, ConvertNextSoundBlock(&c.conv, out.data(), 100));
    SeekSoundConverter(&c.conv, 22);  // 12 bytes away: the position stays
    EXPECT_EQ(100u, c.conv.output_pos);
    ASSERT_EQ(8, ConvertNextSoundBlock(&c.conv, out.data(), 8));
    EXPECT_EQ(0, std::memcmp(out.data(), pcm.data() + 100, 8));
    // A tiny looping sound played to its end must start over, not go silent.
    const Bytes tiny = Ramp16(3, 1);
    ASSERT_EQ(0, c.Open(PcmWav(1, 8000, 16, tiny)));
    for (int pass = 0; pass < 3; pass++) {
        Bytes got(16);
        ASSERT_EQ(6, ConvertNextSoundBlock(&c.conv, got.data(), 16)) << "pass " << pass;
        EXPECT_EQ(0, std::memcmp(got.data(), tiny.data(), 6));
        SeekSoundConverter(&c.conv, 0);
    }
}

TEST_F(SoundConvert, EmptySuccessfulBlockCountsAsTheEnd) {
    uint8_t pcm[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, b[1];
    SoundConverter conv = {};
    conv.setup = 1;
    conv.method = SOUND_CONVERT_PCM_IMAGE;
    conv.format = {1, 1, 8000, 16000, 2, 16, 0};
    conv.image.pcm = pcm;
    conv.image.count = sizeof pcm;
    conv.block_size = 0;  // every decoder step "succeeds" with nothing
    conv.buffer = b;
    int n = -2;
    ASSERT_TRUE(RunWithTimeout([&] { n = ConvertNextSoundBlock(&conv, b, 1); }, 10000)) << "conversion loop spins";
    EXPECT_EQ(0, n);
    EXPECT_EQ(1, conv.end);
}

// G.711 expansion (ITU-T reference).
int16_t MuLawToLinear(uint8_t code) {
    code = (uint8_t)~code;
    int t = (((code & 0xF) << 3) + 0x84) << ((code & 0x70) >> 4);
    return (int16_t)((code & 0x80) ? (0x84 - t) : (t - 0x84));
}

int16_t ALawToLinear(uint8_t code) {
    code ^= 0x55;
    int t = (code & 0xF) << 4, seg = (code & 0x70) >> 4;
    t = seg == 0 ? t + 8 : seg == 1 ? t + 0x108 : (t + 0x108) << (seg - 1);
    return (int16_t)((code & 0x80) ? t : -t);
}

Bytes EveryG711Code(int repeats) {
    Bytes codes;
    for (int i = 0; i < 256 * repeats; i++) codes.push_back((uint8_t)(i * 37));
    return codes;
}

Bytes G711Wav(int tag, const Bytes& codes, int bits = 8, int align = 1) {
    return RiffWriter().Chunk("fmt ", FormatBody(tag, 1, 8000, bits, align, 8000, true)).Chunk("data", codes).Build();
}

// What a header says of the bits or the block (3 bits, a block of 0 or 2)
// changes nothing: a code is a byte, as ffmpeg reads it.
TEST_F(SoundConvert, G711MatchesTheReferenceForEveryCode) {
    const Bytes codes = EveryG711Code(8);
    for (auto header : {std::make_pair(8, 1), {3, 1}, {8, 0}, {16, 2}})
    for (int tag : {WAVE_FORMAT_MULAW, WAVE_FORMAT_ALAW}) {
        SCOPED_TRACE(::testing::Message() << header.first << " bits, block " << header.second);
        MemConverter c;
        ASSERT_EQ(0, c.Open(G711Wav(tag, codes, header.first, header.second))) << "no ACM codec for tag " << tag;
        EXPECT_EQ(SOUND_CONVERT_ACM, c.conv.method);
        EXPECT_EQ(codes.size() * 2, GetConvertedPcmSize(&c.conv));
        auto got = ToSamples(c.ReadAll());
        ASSERT_EQ(codes.size(), got.size());
        int wrong = 0;
        for (size_t i = 0; i < codes.size(); i++) {
            int16_t want = tag == WAVE_FORMAT_MULAW ? MuLawToLinear(codes[i]) : ALawToLinear(codes[i]);
            if (got[i] != want && wrong++ < 5) ADD_FAILURE() << "tag " << tag << " code " << (int)codes[i];
        }
    }
}

Bytes ImaAdpcmThroughAcm(const std::vector<int16_t>& s, int rate) {
    WAVEFORMATEX src = {WAVE_FORMAT_PCM, 1, (DWORD)rate, (DWORD)rate * 2, 2, 16, 0};
    union {
        WAVEFORMATEX f;
        uint8_t raw[512];
    } dst = {};
    dst.f.wFormatTag = WAVE_FORMAT_IMA_ADPCM;
    HACMSTREAM h = nullptr;
    if (AcmApi.acmFormatSuggest(nullptr, &src, &dst.f, sizeof dst.raw, ACM_FORMATSUGGESTF_WFORMATTAG) != 0 ||
        AcmApi.acmStreamOpen(&h, nullptr, &src, &dst.f, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0)
        return Bytes();
    Bytes in((uint8_t*)s.data(), (uint8_t*)(s.data() + s.size())), out(in.size() + 65536);
    ACMSTREAMHEADER hdr = {sizeof hdr};
    hdr.pbSrc = in.data(), hdr.cbSrcLength = (DWORD)in.size();
    hdr.pbDst = out.data(), hdr.cbDstLength = (DWORD)out.size();
    AcmApi.acmStreamPrepareHeader(h, &hdr, 0);
    MMRESULT r = AcmApi.acmStreamConvert(h, &hdr, ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END);
    AcmApi.acmStreamUnprepareHeader(h, &hdr, 0);
    AcmApi.acmStreamClose(h, 0);
    if (r != 0) return Bytes();
    out.resize(hdr.cbDstLengthUsed);
    Bytes fmt((uint8_t*)&dst.f, (uint8_t*)&dst.f + 18 + dst.f.cbSize);
    return RiffWriter().Chunk("fmt ", fmt).Chunk("data", out).Build();
}

// MS ADPCM with predictor 0 (the previous sample) throughout: Wine decodes it but does not encode.
Bytes MsAdpcm(const std::vector<int16_t>& s, int rate) {
    static const int kAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};
    static const int kCoef[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
    const int align = 512, per_block = (align - 7) * 2 + 2;
    Bytes data, extra;
    for (size_t start = 0; start < s.size(); start += per_block) {
        auto at = [&](size_t i) { return start + i < s.size() ? (int)s[start + i] : 0; };
        int prev = at(1), delta = std::max(16, std::abs(at(2) - prev));
        data.push_back(0);
        Put16(data, delta), Put16(data, prev), Put16(data, at(0));
        for (int i = 2; i < per_block; i++) {
            int n = std::max(-8, std::min(7, (int)std::lround((double)(at(i) - prev) / delta)));
            prev = std::max(-32768, std::min(32767, prev + n * delta));
            delta = std::max(16, (kAdapt[n & 15] * delta) >> 8);
            if (i & 1) data.back() |= n & 15;
            else data.push_back((uint8_t)((n & 15) << 4));
        }
    }
    Put16(extra, per_block), Put16(extra, 7);
    for (auto& c : kCoef) Put16(extra, c[0]), Put16(extra, c[1]);
    Bytes fmt = FormatBody(WAVE_FORMAT_ADPCM, 1, rate, 4, align, rate * align / per_block, true, extra);
    return RiffWriter().Chunk("fmt ", fmt).Chunk("data", data).Build();
}

const double kOmega441 = 2 * 3.14159265358979 * 441;

TEST_F(SoundConvert, AdpcmKeepsLengthFrequencyAndLevel) {
    const int rate = 22050;
    std::vector<int16_t> sine(rate / 2);
    for (size_t i = 0; i < sine.size(); i++) sine[i] = (int16_t)std::lround(8000 * std::sin(kOmega441 * i / rate));
    for (int tag : {WAVE_FORMAT_IMA_ADPCM, WAVE_FORMAT_ADPCM}) {
        SCOPED_TRACE(tag);
        Bytes wav = tag == WAVE_FORMAT_ADPCM ? MsAdpcm(sine, rate) : ImaAdpcmThroughAcm(sine, rate);
        ASSERT_FALSE(wav.empty()) << "the platform cannot encode";
        MemConverter c;
        ASSERT_EQ(0, c.Open(wav));
        EXPECT_EQ(SOUND_CONVERT_ACM, c.conv.method);
        EXPECT_EQ((DWORD)rate, c.conv.format.nSamplesPerSec);
        Bytes out = c.ReadAll();
        auto got = ToSamples(out);
        EXPECT_NEAR((double)sine.size(), (double)got.size(), 2048) << "more than a block apart";
        EXPECT_LE(out.size(), GetConvertedPcmSize(&c.conv));
        EXPECT_NEAR(441.0, ZeroCrossingHz(got, rate), 441 * 0.01);
        EXPECT_NEAR(0.0, 20 * std::log10(Rms(got) / Rms(sine)), 1.0) << "level in dB";
        // The header's byte rate is worked out again from the block: a lie changes nothing.
        for (uint32_t avg : {0u, 1u, 400u}) {
            SCOPED_TRACE(avg);
            Bytes lying = wav;
            for (int i = 0; i < 4; i++) lying[28 + i] = (uint8_t)(avg >> (8 * i));
            MemConverter l;
            ASSERT_EQ(0, l.Open(lying));
            EXPECT_EQ((DWORD)rate * 2, l.conv.format.nAvgBytesPerSec);
            EXPECT_EQ(GetConvertedPcmSize(&c.conv), GetConvertedPcmSize(&l.conv));
            EXPECT_TRUE(l.ReadAll() == out);
        }
    }
}

// Formats that crash DirectSound's mixer or the platform's codecs are refused
// before any buffer or ACM stream exists, by every route a load can take.
TEST_F(SoundConvert, UnplayableFormatsAreRefusedBeforeTheyReachThePlatform) {
    std::vector<int16_t> sine(4000);
    for (size_t i = 0; i < sine.size(); i++) sine[i] = (int16_t)(i * 97);
    Bytes ms_adpcm = MsAdpcm(sine, 8000), ima_adpcm = ImaAdpcmThroughAcm(sine, 8000);
    ASSERT_FALSE(ima_adpcm.empty());
    for (Bytes* w : {&ms_adpcm, &ima_adpcm}) (*w)[38] = (*w)[39] = 0;  // samples per block
    auto pcm = [](int channels, int rate, int bits, int align, bool with_cb = true) {
        const Bytes fmt = FormatBody(1, channels, rate, bits, align, rate * align, with_cb);
        return RiffWriter().Chunk("fmt ", fmt).Chunk("data", Bytes(64, 0x20)).Build();
    };
    const struct {
        const char* what;
        Bytes wav;
        bool taken;
    } cases[] = {
        {"64 bits from a 16-byte chunk's block align", pcm(1, 8000, 16, 8, false), false},
        {"16777216 Hz", pcm(1, 16777216, 16, 2, false), false},
        {"99 Hz", pcm(1, 99, 16, 2), false},
        {"200001 Hz", pcm(1, 200001, 16, 2), false},
        {"12 bits", pcm(1, 8000, 12, 2), false},
        {"block align not channels x bytes", pcm(2, 8000, 16, 2), false},
        {"MS ADPCM, 0 samples per block", ms_adpcm, false},
        {"IMA ADPCM, 0 samples per block", ima_adpcm, false},
        {"100 Hz", pcm(1, 100, 16, 2), true},
        {"200000 Hz", pcm(2, 200000, 16, 4), true},
        {"24 bits", pcm(2, 8000, 24, 6), true},
        {"32 bits", pcm(1, 8000, 32, 4), true},
    };
    for (auto& c : cases) {
        // The platform's filters would decode any RIFF file themselves: the ACM row keeps them out.
        for (int mask : {0, SOUND_DECODER_RIFF_PCM | SOUND_DECODER_MP3_FILTERS}) {
            SCOPED_TRACE(::testing::Message() << c.what << (mask ? " through ACM" : ""));
            SetSoundDecoderDisableMask(mask);
            LogCapture log;
            MemConverter m;
            const int r = m.Open(c.wav);
            if (c.taken && !mask) EXPECT_EQ(0, r);
            if (c.taken) continue;
            EXPECT_EQ(-1, r);
            EXPECT_TRUE(log.Contains("再生できないPCMフォーマットです") ||
                        log.Contains("ADPCMの１ブロック当たりのサンプル数が０です"));
            for (int type : {0, 2}) {
                SetCreateSoundDataType(type);
                EXPECT_EQ(-1, CreateSoundFromFileImage(c.wav.data(), (unsigned)c.wav.size(), 1, -1)) << type;
            }
        }
    }
    SetCreateSoundDataType(0);
    EXPECT_EQ(0, GetSoundHandleTable()->count);
}

MMRESULT(WINAPI* g_real_convert)(HACMSTREAM, LPACMSTREAMHEADER, DWORD);
int g_convert_calls;
// Swallows 4 bytes and gives nothing on the first step, as a codec filling a frame does.
MMRESULT WINAPI SwallowFirstStep(HACMSTREAM h, LPACMSTREAMHEADER hdr, DWORD flags) {
    if (g_convert_calls++ > 0) return g_real_convert(h, hdr, flags);
    hdr->cbSrcLengthUsed = 4;
    hdr->cbDstLengthUsed = 0;
    return 0;
}

MMRESULT WINAPI RefuseOpen(LPHACMSTREAM, HACMDRIVER, LPWAVEFORMATEX, LPWAVEFORMATEX, LPWAVEFILTER, DWORD_PTR,
                           DWORD_PTR, DWORD) {
    return ACMERR_NOTPOSSIBLE;
}

TEST_F(SoundConvert, MisbehavingCodecsNeitherEndEarlyNorLeaveStaleStreams) {
    SetSoundDecoderDisableMask(SOUND_DECODER_RIFF_PCM);
    const Bytes pcm = Ramp16(20000, 1);
    MemConverter c;
    ASSERT_EQ(0, c.Open(PcmWav(1, 8000, 16, pcm)));
    g_real_convert = AcmApi.acmStreamConvert;
    g_convert_calls = 0;
    AcmApi.acmStreamConvert = SwallowFirstStep;
    Bytes out = c.ReadAll();
    AcmApi.acmStreamConvert = g_real_convert;
    ASSERT_EQ(pcm.size() - 4, out.size()) << "input taken without output ended the sound";
    EXPECT_TRUE(std::equal(out.begin(), out.end(), pcm.begin() + 4));

    // Back to the start the spare takes over; its replacement cannot be opened.
    ASSERT_EQ(0, c.Open(PcmWav(1, 8000, 16, pcm)));
    ASSERT_EQ(0, SeekSoundConverter(&c.conv, 17000));
    auto real_open = AcmApi.acmStreamOpen;
    AcmApi.acmStreamOpen = RefuseOpen;
    ASSERT_EQ(0, SeekSoundConverter(&c.conv, 10));
    EXPECT_EQ(nullptr, c.conv.acm.spare);
    out.resize(100);
    ASSERT_EQ(100, ConvertNextSoundBlock(&c.conv, out.data(), 100));
    EXPECT_EQ(0, std::memcmp(out.data(), pcm.data() + 20, 100));
    // With no spare and none to be had, going back ends the sound cleanly.
    ASSERT_EQ(0, SeekSoundConverter(&c.conv, 17000));
    ASSERT_EQ(0, SeekSoundConverter(&c.conv, 0));
    EXPECT_EQ(0, ConvertNextSoundBlock(&c.conv, out.data(), 100));
    AcmApi.acmStreamOpen = real_open;
}

struct Rng {
    uint32_t s;
    uint32_t Below(uint32_t n) {
        s ^= s << 13, s ^= s >> 17, s ^= s << 5;
        return n ? s % n : s;
    }
};

void Mutate(Bytes& w, Rng& r) {
    static const uint32_t kSizes[] = {0, 1, 2, 13, 14, 16, 17, 18, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFF8u, 0xFFFFFFFFu,
                                      0xFFFFFFF0u, 0x10000};
    static const uint32_t kFields[] = {4, 16, 22, 24, 28, 32, 34, 36, 40};
    uint32_t at = r.Below((uint32_t)w.size());
    switch (r.Below(4)) {
    case 0:
        for (uint32_t n = 1 + r.Below(8); n; n--) w[r.Below((uint32_t)w.size())] ^= (uint8_t)(1 + r.Below(255));
        break;
    case 1: {  // a size or format field given an awkward value (0 included)
        uint32_t field = kFields[r.Below(9)], v = kSizes[r.Below(14)];
        for (uint32_t i = 0; i < 4 && field + i < w.size(); i++) w[field + i] = (uint8_t)(v >> (8 * i));
        break;
    }
    case 2: w.resize(at); break;
    default: w.insert(w.begin() + at, 1 + r.Below(9), (uint8_t)r.Below(0)); break;
    }
}

TEST_F(SoundConvert, DamagedFilesAreRefusedOrDecodedWithinBounds) {
    const Bytes seeds[] = {
        PcmWav(2, 22050, 16, Ramp16(300, 2)),
        PcmWav(1, 8000, 8, Bytes(201, 0x90)),
        RiffWriter()
            .Chunk("bext", Bytes(12, 'b'))
            .Chunk("fmt ", FormatBody(1, 1, 11025, 16, 2, 22050, true, Bytes{9, 9}))
            .Chunk("LIST", Bytes(7, 'l'))
            .Chunk("data", Ramp16(150, 1))
            .Build(),
        G711Wav(WAVE_FORMAT_MULAW, EveryG711Code(1)),
        G711Wav(WAVE_FORMAT_ALAW, EveryG711Code(1)),
        MsAdpcm(std::vector<int16_t>(2000, 1000), 8000),
        ImaAdpcmThroughAcm(std::vector<int16_t>(2000, 1000), 8000),
    };
    // An ACM driver search costs ~30 ms under Wine: thousands of cases go through
    // the plain PCM decoder only, a hundred through every decoder.
    const struct {
        int mask, seeds, cases;
    } runs[] = {{~SOUND_DECODER_RIFF_PCM, 3, 3000}, {0, 7, 210}};
    Rng r{0x2545F491u};
    for (auto& run : runs) {
        SetSoundDecoderDisableMask(run.mask);
        int accepted = 0, cases = 0;
        bool finished = RunWithTimeout(
            [&] {
                for (cases = 0; cases < run.cases; cases++) {
                    Bytes w = seeds[cases % run.seeds];
                    for (uint32_t m = 1 + r.Below(3); m && !w.empty(); m--) Mutate(w, r);
                    MemConverter c;
                    if (c.Open(w) != 0) continue;
                    accepted++;
                    uint32_t total = GetConvertedPcmSize(&c.conv);
                    EXPECT_LE(c.ReadAll().size(), total);
                    uint8_t block[4096];
                    SeekSoundConverter(&c.conv, (int32_t)r.Below(total + 100));
                    ASSERT_GE(ConvertNextSoundBlock(&c.conv, block, sizeof block), 0);
                    SeekSoundConverter(&c.conv, 0);
                    WAVEFORMATEX f;
                    void* pcm = nullptr;
                    uint32_t size = 0;
                    if (total < (16u << 20) && ConvertWholeSound(&c.conv, &f, &pcm, &size) == 0) {
                        EXPECT_LE(size, total);
                        MemFree(pcm);
                    }
                }
            },
            60000);
        ASSERT_TRUE(finished) << "mask " << run.mask << " stuck at case " << cases;
        EXPECT_GT(accepted, run.cases / 10) << "too few decodable mutants to test much";
    }
}

}  // namespace
