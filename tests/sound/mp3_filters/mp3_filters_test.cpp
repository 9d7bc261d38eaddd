// MP3 decoded through the media filters with the ACM MP3 decoder disabled.
// A program of its own: its last test ends the engine's pump for good.
#include "sound/sound_fixture.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>

#include "engine/movie/filters/unknown.h"
#include "movie/filters/com_kit.h"
#include "engine/sound/mp3_filters.h"
#include "engine/system/library.h"
#include "engine/system/window.h"

using namespace soundtest;

namespace {

Bytes ReadFile(const char* path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Power of one frequency in the left channel (Goertzel).
double Power(const Bytes& pcm, int rate, double hz) {
    const int16_t* s = (const int16_t*)pcm.data();
    size_t frames = pcm.size() / 4;
    double k = 2 * std::cos(2 * M_PI * hz / rate), a = 0, b = 0;
    for (size_t i = 0; i < frames; ++i) {
        double c = s[2 * i] + k * a - b;
        b = a;
        a = c;
    }
    return a * a + b * b - k * a * b;
}

double Rms(const Bytes& pcm) {
    const int16_t* s = (const int16_t*)pcm.data();
    size_t n = pcm.size() / 2;
    double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += (double)s[i] * s[i];
    return n ? std::sqrt(sum / n) : 0;
}

class Mp3FiltersTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadPlatformEntryPoints();
        WinApi.CoInitialize(nullptr);
        SetSoundDecoderDisableMask(SOUND_DECODER_MP3_ACM);
        blocks_ = MemLiveBlockCount();
    }
    void TearDown() override {
        SetSoundDecoderDisableMask(0);
        EXPECT_EQ(0, D_CBaseObject::LiveObjectCount()) << "filter objects left alive";
        EXPECT_EQ(blocks_, MemLiveBlockCount()) << "tracked blocks left";
        EXPECT_EQ(0, MemCheckIntegrity());
        WinApi.CoUninitialize();
    }
    int blocks_ = 0;
};

TEST_F(Mp3FiltersTest, ToneDecodesWithAndWithoutId3v2) {
    for (const char* name : {"tone.mp3", "tone_id3.mp3"}) {
        SCOPED_TRACE(name);
        Bytes mp3 = ReadFile(name);
        ASSERT_GT(mp3.size(), 10000u) << "test file missing";
        Bytes pcm;
        WAVEFORMATEX fmt = {};
        uint32_t size = 0;
        ASSERT_TRUE(RunWithTimeout(
            [&] {
                WinApi.CoInitialize(nullptr);
                MemConverter mc;
                ASSERT_EQ(0, mc.Open(mp3));
                EXPECT_EQ(SOUND_CONVERT_PCM_IMAGE, mc.conv.method);
                GetConverterWaveFormat(&mc.conv, &fmt);
                size = GetConvertedPcmSize(&mc.conv);
                pcm = mc.ReadAll();
                mc.Close();
                WinApi.CoUninitialize();
            },
            60000));
        EXPECT_EQ(WAVE_FORMAT_PCM, fmt.wFormatTag);
        EXPECT_EQ(2, fmt.nChannels);
        EXPECT_EQ(44100u, fmt.nSamplesPerSec);
        EXPECT_EQ(16, fmt.wBitsPerSample);
        EXPECT_EQ(size, pcm.size()) << "every byte the grabber delivered is handed out";
        // 2 s of audio, give or take the encoder's delay and padding.
        EXPECT_NEAR(88200.0, pcm.size() / 4.0, 3000.0);
        double tone = Power(pcm, 44100, 1000);
        for (double other : {500.0, 1500.0, 2000.0, 3000.0})
            EXPECT_GT(tone, 100 * Power(pcm, 44100, other)) << other << " Hz";
        EXPECT_NEAR(0.5 * 32767 / std::sqrt(2.0), Rms(pcm), 0.15 * 11585);
    }
}

TEST_F(Mp3FiltersTest, GarbageFailsWithALogLine) {
    Bytes junk(40000);
    uint32_t x = 12345;
    for (auto& b : junk) b = (uint8_t)((x = x * 1103515245u + 12345u) >> 24);
    junk[0] = 'X';   // not an ID3 tag nor a RIFF header
    // No frame here has two more after it: the bytes never reach the
    // platform's parser, which finds frame headers in them and completes without a sample.
    LogCapture log;
    int result = 0;
    ASSERT_TRUE(RunWithTimeout(
        [&] {
            WinApi.CoInitialize(nullptr);
            MemConverter mc;
            result = mc.Open(junk);
            WinApi.CoUninitialize();
        },
        60000));
    EXPECT_EQ(-1, result);
    EXPECT_TRUE(log.Contains("MPEGオーディオのフレームが確認できないデータは変換しません"));
}

// Converts on a thread of its own with COM started; the result, with the PCM format and length on success.
int ConvertWithin(const Bytes& file, WAVEFORMATEX* fmt, uint32_t* size) {
    int result = -2;
    EXPECT_TRUE(RunWithTimeout(
        [&] {
            WinApi.CoInitialize(nullptr);
            MemConverter mc;
            result = mc.Open(file);
            if (result == 0) GetConverterWaveFormat(&mc.conv, fmt), *size = GetConvertedPcmSize(&mc.conv);
            mc.Close();
            WinApi.CoUninitialize();
        },
        60000));
    return result;
}

// Bytes in which an MPEG parser finds false frames: headers sown into noise.
Bytes SownWithSyncs(Bytes b, size_t first, size_t step) {
    for (size_t i = first; i + 1 < b.size(); i += step) b[i] = 0xFF, b[i + 1] = 0xFB;
    return b;
}

// Formats the platform has no decoder for: offered as MPEG audio they used to
// "decode" to a little noise; told by their bytes they are refused.
TEST_F(Mp3FiltersTest, WhatThePlatformCannotDecodeFailsInsteadOfPlayingNoise) {
    Bytes noise(40000);
    uint32_t x = 99;
    for (auto& b : noise) b = (uint8_t)((x = x * 1103515245u + 12345u) >> 24);
    noise[0] = 'X';
    // AC-3 sync frames of 512 bytes (48 kHz, 128 kbit/s).
    Bytes ac3 = SownWithSyncs(noise, 40, 97);
    for (size_t at = 0; at + 6 <= ac3.size(); at += 512)
        ac3[at] = 0x0B, ac3[at + 1] = 0x77, ac3[at + 4] = 0x10, ac3[at + 5] = 0x40;
    // An MPEG-4 file type box, then media data without a movie box.
    Bytes mp4 = {0, 0, 0, 0x18, 'f', 't', 'y', 'p', 'M', '4', 'A', ' ', 0, 0, 0, 0, 'M', '4', 'A', ' ', 'm', 'p', '4', '2',
                 0, 0, 0x9C, 0x48, 'm', 'd', 'a', 't'};
    mp4.insert(mp4.end(), noise.begin(), noise.end());
    const struct { const char* what; Bytes file; } cases[] = {
        {"AC-3", ac3}, {"MPEG-4", SownWithSyncs(mp4, 140, 173)}, {"noise", SownWithSyncs(noise, 100, 173)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WAVEFORMATEX fmt = {};
        uint32_t size = 0;
        EXPECT_EQ(-1, ConvertWithin(c.file, &fmt, &size)) << size << " bytes at " << fmt.nSamplesPerSec << " Hz";
    }
}

// Silent layer II frames: zero bit allocation in every subband.
TEST_F(Mp3FiltersTest, Mp2DecodesInFull) {
    Bytes mp2;
    for (int i = 0; i < 40; i++) {
        mp2.insert(mp2.end(), {0xFF, 0xFD, 0x80, 0x00});   // MPEG-1 layer II, 128 kbit/s, 44.1 kHz, 417 bytes
        mp2.resize(mp2.size() + 413);
    }
    WAVEFORMATEX fmt = {};
    uint32_t size = 0;
    ASSERT_EQ(0, ConvertWithin(mp2, &fmt, &size));
    EXPECT_EQ(44100u, fmt.nSamplesPerSec);
    EXPECT_EQ(2, fmt.nChannels);
    EXPECT_NEAR(40 * 1152, (double)size / fmt.nBlockAlign, 1152) << "every frame, give or take the decoder's delay";
}

TEST(Mp3Filters, ConnectedFormatIsCheckedBeforeUse) {
    const char* stream = "サポート外のストリームフォーマットです。";
    const char* audio = "サポート外のオーディオフォーマットです。";
    struct Case {
        GUID formatType;
        WAVEFORMATEX wf;
        ULONG bytes;
        const char* expect;
    } cases[] = {
        {FORMAT_WaveFormatEx, {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0}, 18, nullptr},
        {FORMAT_WaveFormatEx, {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0}, 16, nullptr},
        {FORMAT_VideoInfo, {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0}, 18, stream},
        {FORMAT_WaveFormatEx, {WAVE_FORMAT_PCM, 0, 44100, 0, 4, 16, 0}, 18, audio},   // channels 0 would divide
        {FORMAT_WaveFormatEx, {WAVE_FORMAT_PCM, 2, 44100, 0, 0, 16, 0}, 18, audio},
        {FORMAT_WaveFormatEx, {WAVE_FORMAT_PCM, 2, 0, 0, 4, 16, 0}, 18, audio},
        {FORMAT_WaveFormatEx, {0x55, 2, 44100, 16000, 1, 0, 0}, 18, audio},
        {FORMAT_WaveFormatEx, {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0}, 12, audio},   // too short a block
    };
    for (size_t i = 0; i < sizeof cases / sizeof *cases; ++i) {
        AM_MEDIA_TYPE mt = {};
        mt.formattype = cases[i].formatType;
        mt.cbFormat = cases[i].bytes;
        mt.pbFormat = (BYTE*)&cases[i].wf;
        const char* got = DescribeUnusablePcmFormat(mt);
        EXPECT_STREQ(cases[i].expect ? cases[i].expect : "(usable)", got ? got : "(usable)") << "case " << i;
    }
}

// A graph whose wait never reports anything; its queue holds at most one event.
class QueuedEvents : public IMediaEvent {
public:
    LONG queued = 0;   // 0: nothing queued
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override { return *out = nullptr, E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetEventHandle(OAEVENT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEvent(LONG* code, LONG_PTR* p1, LONG_PTR* p2, LONG) override {
        if (!queued) return E_ABORT;
        *code = queued;
        *p1 = *p2 = 0;
        queued = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE WaitForCompletion(LONG ms, LONG*) override {
        Sleep(ms);
        return E_ABORT;
    }
    HRESULT STDMETHODCALLTYPE CancelDefaultHandling(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RestoreDefaultHandling(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FreeEventParams(LONG, LONG_PTR, LONG_PTR) override { return S_OK; }
};

TEST_F(Mp3FiltersTest, WaitSeesQueuedAbortsAndStalls) {
    const char* error = "MP3変換の途中でエラーが発生しました";
    struct Case {
        LONG queued;
        const char* expect;
    } cases[] = {{EC_COMPLETE, nullptr}, {EC_ERRORABORT, error}, {EC_USERABORT, error}, {0, error}};
    uint8_t pcm[4];
    SoundConverterPcmImage image = {};
    image.pcm = pcm;
    for (const Case& c : cases) {
        QueuedEvents events;
        events.queued = c.queued;
        const char* got = "(not returned)";
        ASSERT_TRUE(RunWithTimeout([&] { got = WaitForMp3Graph(&events, &image, 300); }, 10000)) << c.queued;
        EXPECT_STREQ(c.expect ? c.expect : "(complete)", got ? got : "(complete)") << c.queued;
    }
}

decltype(WinApi.CoCreateInstance) g_realCreate;

// The filter graph becomes the test kit's, which takes no filter: the conversion fails after making the grabber.
HRESULT WINAPI CreateRefusingGraph(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
    static filtertest::FakeGraph graph;
    if (!IsEqualCLSID(clsid, CLSID_FilterGraph)) return g_realCreate(clsid, outer, context, iid, out);
    return graph.QueryInterface(iid, out);
}

TEST_F(Mp3FiltersTest, AGraphRefusingTheGrabberLeavesNothingAlive) {
    Bytes mp3 = ReadFile("tone.mp3");
    ASSERT_FALSE(mp3.empty());
    LogCapture log;
    int result = 0;
    g_realCreate = WinApi.CoCreateInstance;
    WinApi.CoCreateInstance = CreateRefusingGraph;
    ASSERT_TRUE(RunWithTimeout(
        [&] {
            WinApi.CoInitialize(nullptr);
            MemConverter mc;
            result = mc.Open(mp3);
            WinApi.CoUninitialize();
        },
        60000));
    WinApi.CoCreateInstance = g_realCreate;
    EXPECT_EQ(-1, result);
    EXPECT_TRUE(log.Contains("サンプルグラバフィルタのグラフへの追加に失敗しました"));
    // The fixture checks that the grabber went with the control reference.
}

// Files joined end to end and cut downloads play whole, each within two frames
// of ffmpeg's decode: the platform's parser plays by the frames and bytes the
// first file's info frame says. joined.txt (scripts/sound-media) lists VBR
// from lame and from ffmpeg, two and three files, a first file with
// Fraunhofer's info frame, lame -p's check words, ffmpeg's CBR, and cuts of
// lame's VBR and of the VBRI file.
TEST_F(Mp3FiltersTest, JoinedFilesPlayWhole) {
    std::ifstream list("joined.txt");
    std::string name;
    int64_t expect = 0, files = 0;
    SetSoundDecoderDisableMask(~SOUND_DECODER_MP3_FILTERS & 31);
    for (; list >> name >> expect; files++) {
        SCOPED_TRACE(name);
        WAVEFORMATEX fmt = {};
        uint32_t size = 0;
        ASSERT_EQ(0, ConvertWithin(ReadFileBytes(name.c_str()), &fmt, &size));
        EXPECT_NEAR((double)expect, (double)size / fmt.nBlockAlign, 2 * 1152.0);
    }
    EXPECT_EQ(14, files) << "scripts/sound-media writes joined.txt";
}

// Last: the end requested while the graph runs gives -1, and no streaming
// thread writes into the freed PCM afterwards.
TEST_F(Mp3FiltersTest, EndRequestedDuringTheWait) {
    ChangeWindowMode(1);
    SetOutputLogFlag(0);
    ASSERT_EQ(0, InitLibrarySystems());
    blocks_ = MemLiveBlockCount();
    Bytes mp3 = ReadFile("tone.mp3");
    ASSERT_FALSE(mp3.empty());
    LogCapture log;
    ASSERT_EQ(0, PostEngineClose());
    MemConverter mc;
    EXPECT_EQ(-1, mc.Open(mp3));
    EXPECT_TRUE(log.Contains("MP3変換の途中でソフトが終了しました"));
    Sleep(300);   // a stray callback would write into freed memory now
    EXPECT_EQ(0, MemCheckIntegrity());
    mc.Close();
    EXPECT_EQ(blocks_, MemLiveBlockCount());
    EndLibrarySystems();
    blocks_ = MemLiveBlockCount();
}

}  // namespace
