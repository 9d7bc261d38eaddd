// Ogg Vorbis through vorbisfile: files from libvorbisenc decode to their exact
// length and seek to the sample; other files are refused; damaged pages end
// or skip, never hang and never turn into a negative byte count.
#include "sound/sound_fixture.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>

#include "engine/sound/ogg_vorbis.h"
#include "sound/sound_measure.h"
#include "sound/vorbis_encode.h"

using namespace soundtest;

namespace {

class OggVorbis : public SoundSystemTest {};

std::vector<int16_t> Tone(int frames, int channels, int rate, double hz) {
    std::vector<int16_t> s;
    for (int i = 0; i < frames * channels; i++)
        s.push_back((int16_t)std::lround(12000 * std::sin(6.283185307 * hz * (i % channels + 1) * (i / channels) / rate)));
    return s;
}

TEST_F(OggVorbis, DecodesToTheExactLengthAndSeeksToTheSample) {
    for (int channels : {2, 1}) {
        const int rate = channels == 2 ? 44100 : 22050, frames = channels == 2 ? 44100 * 3 / 2 + 77 : 10000;
        const WORD align = (WORD)(2 * channels);
        SCOPED_TRACE(channels);
        MemConverter m;
        ASSERT_EQ(0, m.Open(EncodeVorbis(Tone(frames, channels, rate, 441), channels, rate)));
        ASSERT_EQ(SOUND_CONVERT_OGG_VORBIS, m.conv.method);
        const WAVEFORMATEX want = {WAVE_FORMAT_PCM, (WORD)channels, (DWORD)rate, (DWORD)rate * align, align, 16, 0};
        EXPECT_EQ(0, std::memcmp(&want, &m.conv.format, 18));
        EXPECT_EQ((uint32_t)frames * align, GetConvertedPcmSize(&m.conv));
        const Bytes pcm = m.ReadAll();
        ASSERT_EQ((size_t)frames * align, pcm.size());
        EXPECT_NEAR(441.0, ZeroCrossingHz(Channel(ToSamples(pcm), channels, 0), rate), 2.0);
        // Past the end is the end, not wherever vorbisfile last stood.
        for (int sample : {frames / 2, 5, frames - 100, 0, 4097, frames / 3, frames + 500}) {
            ASSERT_EQ(0, SeekSoundConverter(&m.conv, sample));
            Bytes got(300);
            const int want_bytes = std::max(0, std::min(300, (frames - sample) * align));
            ASSERT_EQ(want_bytes, ConvertNextSoundBlock(&m.conv, got.data(), 300)) << sample;
            EXPECT_EQ(0, std::memcmp(got.data(), pcm.data() + std::min(sample, frames) * align, want_bytes)) << sample;
        }
    }
}

// Each Vorbis channel carries its own tone and must come out on the wave
// channel of the same speaker. Wave channels without a mask follow one speaker
// order, taking the speakers the layout has.
TEST_F(OggVorbis, SurroundChannelsLandOnTheirSpeakers) {
    const std::vector<std::string> wave_order = {"FL", "FR", "C", "LFE", "RL", "RR", "RC", "SL", "SR"};
    const std::vector<std::vector<std::string>> vorbis_layouts = {
        {"FL", "C", "FR"},
        {"FL", "FR", "RL", "RR"},
        {"FL", "C", "FR", "RL", "RR"},
        {"FL", "C", "FR", "RL", "RR", "LFE"},
        {"FL", "C", "FR", "SL", "SR", "RC", "LFE"},
        {"FL", "C", "FR", "SL", "SR", "RL", "RR", "LFE"},
    };
    const int rate = 22050, frames = rate / 2, base_hz = 300;  // Vorbis channel i: (i + 1) x 300 Hz
    for (auto& layout : vorbis_layouts) {
        const int channels = (int)layout.size();
        SCOPED_TRACE(channels);
        std::vector<std::string> want = layout;
        std::sort(want.begin(), want.end(), [&](const std::string& a, const std::string& b) {
            return std::find(wave_order.begin(), wave_order.end(), a) < std::find(wave_order.begin(), wave_order.end(), b);
        });
        MemConverter m;
        ASSERT_EQ(0, m.Open(EncodeVorbis(Tone(frames, channels, rate, base_hz), channels, rate)));
        const std::vector<int16_t> pcm = ToSamples(m.ReadAll());
        ASSERT_EQ((size_t)frames * channels, pcm.size());
        for (int ch = 0; ch < channels; ch++) {
            const int from = (int)(std::find(layout.begin(), layout.end(), want[ch]) - layout.begin());
            EXPECT_NEAR(base_hz * (from + 1.0), ZeroCrossingHz(Channel(pcm, channels, ch), rate), 5.0)
                << "wave channel " << ch << " should be " << want[ch];
        }
    }
}

// Short movies as ffmpeg writes them (ogv.txt, scripts/sound-media: its length
// of each) give their whole Vorbis track to a whole decode, whichever decoders
// are on: vorbisfile reads nothing of such a track until it has seeked.
TEST_F(OggVorbis, ShortMoviesDecodeTheirSoundWhole) {
    std::ifstream list("ogv.txt");
    std::string name;
    long expect = 0, files = 0;
    for (; list >> name >> expect; files++) {
        for (int mask : {0, (int)SOUND_DECODER_MP3_FILTERS, (int)SOUND_DECODER_MP3_ACM}) {
            SCOPED_TRACE(name + " mask " + std::to_string(mask));
            SetSoundDecoderDisableMask(mask);
            MemConverter m;
            ASSERT_EQ(0, m.Open(ReadFileBytes(name.c_str())));
            WAVEFORMATEX fmt = {};
            void* pcm = nullptr;
            uint32_t size = 0;
            ASSERT_EQ(0, ConvertWholeSound(&m.conv, &fmt, &pcm, &size));
            EXPECT_NEAR(expect, (long)(size / fmt.nBlockAlign), 256) << "ffmpeg gives 128 frames fewer of these";
            const std::vector<int16_t> samples((int16_t*)pcm, (int16_t*)pcm + size / 2);
            EXPECT_GT(Rms(samples), 1000.0) << "silence";
            MemFree(pcm);
        }
    }
    EXPECT_EQ(3, files) << "scripts/sound-media writes ogv.txt";
}

TEST_F(OggVorbis, OtherFilesAreRefusedAndLeaveNothingOpen) {
    SetSoundDecoderDisableMask(~SOUND_DECODER_OGG_VORBIS);
    MemConverter m;
    EXPECT_EQ(-1, m.Open(PcmWav(1, 8000, 16, Ramp16(5000, 1))));
    SoundConverter c = {};
    c.source = m.sd;
    EXPECT_EQ(-1, OpenOggVorbisStream(&c));
    EXPECT_EQ(0, c.ogg.open);
    EXPECT_EQ(0, CloseOggVorbisStream(&c));
    // A stream that cannot seek has no length vorbisfile can tell: refused, not a huge size.
    const Bytes ogg = EncodeVorbis(Tone(3000, 1, 8000, 300), 1, 8000);
    c.source = {*GetMemStreamTable(), MemStreamOpen(ogg.data(), ogg.size())};
    c.source.funcs.Seek = [](uintptr_t, int64_t, int) { return -1; };
    EXPECT_EQ(-1, OpenOggVorbisStream(&c));
    EXPECT_EQ(0, c.ogg.open);
    EXPECT_EQ(nullptr, c.ogg.file);
    MemStreamClose(c.source.handle);
}

TEST_F(OggVorbis, DamagedPagesSkipOrEndButNeverHang) {
    const int frames = 22050 * 2;
    const Bytes ogg = EncodeVorbis(Tone(frames, 1, 22050, 500), 1, 22050);
    std::vector<Bytes> pages;  // each page as its bytes
    for (size_t at = 0, len = 0; at + 27 <= ogg.size(); at += len) {
        len = 27 + ogg[at + 26];
        for (int i = 0; i < ogg[at + 26]; i++) len += ogg[at + 27 + i];
        pages.emplace_back(ogg.begin() + at, ogg.begin() + at + len);
    }
    ASSERT_GT(pages.size(), 8u);
    // A lost page in the middle is a hole: decoding goes on behind it.
    Bytes holed;
    for (size_t i = 0; i < pages.size(); i++)
        if (i != pages.size() / 2) holed.insert(holed.end(), pages[i].begin(), pages[i].end());
    MemConverter m;
    ASSERT_EQ(0, m.Open(holed));
    const size_t got = m.ReadAll().size();
    EXPECT_LT(got, (size_t)frames * 2);
    EXPECT_GT(got, (size_t)frames * 2 * 6 / 10) << "decoding stopped at the hole";

    uint32_t seed = 0x9E3779B9u;
    auto next = [&](uint32_t n) { return seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5, seed % n; };
    int opened = 0, cases = 0;
    const bool finished = RunWithTimeout(
        [&] {
            for (cases = 0; cases < 150; cases++) {
                // Bytes flipped, the file cut short, or a page moved elsewhere.
                Bytes w = ogg;
                if (cases % 3 == 0) {
                    for (int i = 0; i < 1 + (int)next(20); i++) w[next((uint32_t)w.size())] ^= (uint8_t)(1 + next(255));
                } else if (cases % 3 == 1) {
                    w.resize(next((uint32_t)w.size()));
                } else {
                    const Bytes& p = pages[next((uint32_t)pages.size())];
                    w.insert(w.begin() + next((uint32_t)w.size()), p.begin(), p.end());
                }
                MemConverter c;
                if (c.Open(w) != 0) continue;
                opened++;
                uint8_t block[4096];
                for (int n = 0, reads = 0; (n = ConvertNextSoundBlock(&c.conv, block, sizeof block)) > 0; reads++) {
                    ASSERT_LT(reads, 1000) << "case " << cases << " decodes without end";
                    ASSERT_GE(c.conv.bytes_left, 0);
                }
                SeekSoundConverter(&c.conv, (int32_t)next(frames * 2));
                ASSERT_GE(ConvertNextSoundBlock(&c.conv, block, sizeof block), 0);
            }
        },
        60000);
    ASSERT_TRUE(finished) << "stuck at case " << cases;
    EXPECT_GT(opened, 20);
}

}  // namespace
