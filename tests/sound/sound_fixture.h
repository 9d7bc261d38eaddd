// Shared by the sound tests: a RIFF writer, log capture, a time limit, and a
// sound system started for each test.
#pragma once
#include <windows.h>
#include <mmreg.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "engine/sound/sound.h"
#include "engine/sound/sound_buffer.h"
#include "engine/sound/sound_convert.h"
#include "engine/sound/sound_handle.h"
#include "engine/sound/sound_system.h"
#include "engine/system/entry_points.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"
#include "movie/avi_writer.h"
#include "sound/mpeg_bytes.h"
#include "support/byte_writer.h"
#include "support/time_limit.h"

namespace soundtest {

inline Bytes ReadFileBytes(const char* name) {
    std::ifstream f(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Chunks in order; a declared size other than -1 lies about the body.
struct RiffWriter {
    Bytes body;
    RiffWriter& Chunk(const char* id, const Bytes& data, int64_t declared = -1) {
        body.insert(body.end(), id, id + 4);
        Put32(body, declared < 0 ? (uint32_t)data.size() : (uint32_t)declared);
        body.insert(body.end(), data.begin(), data.end());
        if (data.size() & 1) body.push_back(0);
        return *this;
    }
    Bytes Build() const {
        Bytes out = {'R', 'I', 'F', 'F'};
        Put32(out, (uint32_t)body.size() + 4);
        out.insert(out.end(), {'W', 'A', 'V', 'E'});
        out.insert(out.end(), body.begin(), body.end());
        return out;
    }
};

// 16 bytes, or 18 + extra with a cbSize field.
inline Bytes FormatBody(int tag, int channels, int rate, int bits, int align, int avg, bool with_cb = false,
                        const Bytes& extra = Bytes()) {
    Bytes b = avitest::WaveFormatEx((uint16_t)tag, channels, rate, avg, align, bits, extra);
    if (!with_cb && extra.empty()) b.resize(16);
    return b;
}

inline Bytes PcmWav(int channels, int rate, int bits, const Bytes& pcm) {
    const int align = channels * bits / 8;
    return RiffWriter().Chunk("fmt ", FormatBody(1, channels, rate, bits, align, align * rate)).Chunk("data", pcm).Build();
}

// 16-bit samples whose bytes all differ from their neighbours: any misplaced byte shows.
inline Bytes Ramp16(int frames, int channels) {
    Bytes b;
    for (int i = 0; i < frames * channels; i++) Put16(b, (uint32_t)(i * 7 + 3) & 0xFFFF);
    return b;
}

class LogCapture {
public:
    LogCapture() { SetLogCapture(&Collect, this); }
    ~LogCapture() { SetLogCapture(nullptr, nullptr); }
    bool Contains(const char* text) const { return text_.find(text) != std::string::npos; }
    void Clear() { text_.clear(); }
    const std::string& Text() const { return text_; }

private:
    static void Collect(const char* text, void* user) { ((LogCapture*)user)->text_ += text; }
    std::string text_;
};

using ::RunWithTimeout;

// While sound is down the lock does not exist: a call that takes it first blocks or crashes.
inline void ExpectEverySoundCallRefused() {
    Bytes wav = PcmWav(1, 8000, 16, Ramp16(100, 1));
    WAVEFORMATEX f = {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    int h = MakeHandle(HANDLE_SOUND, 0, 0);
    bool done = RunWithTimeout(
        [&] {
            int results[] = {
                LoadSoundFileEntry("x.wav", 1, -1), LoadSoundFile("x.wav", 1, -1),
                CreateSoundFromFileImage(wav.data(), (unsigned)wav.size(), 1, -1), AddSoundData(-1),
                CreateSoundBuffers(-1, &f, 1600, 0, 1, h), PlaySoundHandle(h, SOUND_PLAY_BACK, 1),
                StopSoundHandle(h), IsSoundHandlePlaying(h), SetSoundHandleVolume(255, h),
                GetSoundHandlePlayTime(h), GetSoundHandleSampleCount(h), GetSoundHandleLengthMs(h),
                DeleteSoundHandle(h), DeleteAllSoundHandles(), TerminateSoundSystem(),
            };
            for (size_t i = 0; i < sizeof results / sizeof *results; i++) EXPECT_EQ(-1, results[i]) << "call " << i;
        },
        20000);
    EXPECT_TRUE(done) << "a call blocked on the sound lock while sound was down";
    EXPECT_FALSE(IsSoundLockCreated());
}

// A converter over its own copy of a memory image.
struct MemConverter {
    Bytes image;
    StreamData sd{};
    SoundConverter conv{};
    int Open(const Bytes& bytes) {
        Close();
        image = bytes;
        sd.funcs = *GetMemStreamTable();
        sd.handle = MemStreamOpen(image.data(), image.size());
        return SelectSoundDecoder(&sd, &conv);
    }
    void Close() {
        if (conv.setup) TerminateSoundConverter(&conv);
        if (sd.handle) MemStreamClose(sd.handle);
        sd.handle = 0, conv.setup = 0;
    }
    ~MemConverter() { Close(); }
    Bytes ReadAll() {
        Bytes out;
        uint8_t block[4096];
        int n = sizeof block;
        while (n == (int)sizeof block && (n = ConvertNextSoundBlock(&conv, block, sizeof block)) > 0)
            out.insert(out.end(), block, block + n);
        return out;
    }
};

// Bytes per second that a looping one-second DirectSound buffer's play cursor
// moves over about half a second (0 when no buffer can be made).
inline double MeasureCursorBytesPerSecond(uint32_t rate) {
    WAVEFORMATEX fmt = {WAVE_FORMAT_PCM, 2, rate / 4, rate, 4, 16, 0};
    DSBUFFERDESC desc = {sizeof desc, DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_STATIC, rate, 0, &fmt};
    SoundBufferRecord rec = {};
    if (CreateDSoundBuffer(&rec, &desc) != 0) return 0;
    PlayDSoundBuffer(&rec, 1);
    const DWORD start = GetTickCount();
    int last = GetDSoundBufferPlayCursor(&rec), now = 0;
    uint64_t advanced = 0;
    while (GetTickCount() - start < 600 && (now = GetDSoundBufferPlayCursor(&rec)) >= 0) {
        advanced += (uint32_t)(now - last + (now < last ? (int)rate : 0));  // across ring wraps
        last = now;
        Sleep(20);
    }
    const DWORD elapsed = GetTickCount() - start;
    ReleaseDSoundBuffer(&rec);
    return elapsed ? advanced * 1000.0 / elapsed : 0;
}

const uint32_t kHarnessRate = 176400;

// The sound system up for the test body; settings restored and no tracked block left after it.
class SoundSystemTest : public ::testing::Test {
protected:
    static double HarnessCursorRate() {
        static double rate = MeasureCursorBytesPerSecond(kHarnessRate);
        return rate;
    }
    void SetUp() override {
        LoadPlatformEntryPoints();
        ASSERT_TRUE(WinApi.CoInitialize != nullptr);
        WinApi.CoInitialize(nullptr);
        blocks_ = MemLiveBlockCount();
        ASSERT_EQ(0, InitializeSoundSystem()) << "the sound system must start under Wine";
        // Without a real-time device nothing else here means much: fail every test loudly.
        ASSERT_GT(HarnessCursorRate(), kHarnessRate * 0.5) << "DirectSound play cursors do not advance in real time";
    }
    void TearDown() override {
        if (IsSoundSystemUp()) {
            EXPECT_EQ(0, TerminateSoundSystem());
        }
        SetSoundSoftwareMixingFlag(0);
        SetSoundDecoderDisableMask(0);
        SetCreateSoundDataType(0);
        EXPECT_EQ(blocks_, MemLiveBlockCount()) << "tracked blocks left after the sound system ended";
        WinApi.CoUninitialize();
    }
    int blocks_ = 0;
};

}  // namespace soundtest
