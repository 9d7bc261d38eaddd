// Shared helpers of the sound tests: a small RIFF writer, synthesised signals,
// G.711 reference encoders, log capture and a sound system started for a test.
#pragma once
#include <windows.h>
#include <mmreg.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/sound/sound.h"
#include "engine/sound/sound_convert.h"
#include "engine/sound/sound_handle.h"
#include "engine/sound/sound_system.h"
#include "engine/system/memory.h"

namespace soundtest {

typedef std::vector<uint8_t> Bytes;

inline void Put16(Bytes& b, uint32_t v) {
    b.push_back((uint8_t)v);
    b.push_back((uint8_t)(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// Chunks appended in order; sizes are written as given (so tests can lie).
class RiffWriter {
public:
    RiffWriter& Chunk(const char* id, const Bytes& body, bool pad = true) {
        return ChunkWithSize(id, (uint32_t)body.size(), body, pad);
    }
    RiffWriter& ChunkWithSize(const char* id, uint32_t declared, const Bytes& body, bool pad = true) {
        body_.insert(body_.end(), id, id + 4);
        Put32(body_, declared);
        body_.insert(body_.end(), body.begin(), body.end());
        if (pad && (body.size() & 1)) body_.push_back(0);
        return *this;
    }
    RiffWriter& Raw(const Bytes& raw) {
        body_.insert(body_.end(), raw.begin(), raw.end());
        return *this;
    }
    Bytes Build() const {
        Bytes out = {'R', 'I', 'F', 'F'};
        Put32(out, (uint32_t)(body_.size() + 4));
        out.insert(out.end(), {'W', 'A', 'V', 'E'});
        out.insert(out.end(), body_.begin(), body_.end());
        return out;
    }

private:
    Bytes body_;
};

// The format chunk body: 16 bytes, or 18 + extra when extra is given.
inline Bytes FormatBody(int tag, int channels, int rate, int bits, int block_align, int avg, bool with_cb = false,
                        const Bytes& extra = Bytes()) {
    Bytes b;
    Put16(b, tag);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, avg);
    Put16(b, block_align);
    Put16(b, bits);
    if (with_cb || !extra.empty()) {
        Put16(b, (uint32_t)extra.size());
        b.insert(b.end(), extra.begin(), extra.end());
    }
    return b;
}

inline Bytes PcmFormatBody(int channels, int rate, int bits) {
    int align = channels * bits / 8;
    return FormatBody(1, channels, rate, bits, align, align * rate);
}

inline Bytes PcmWav(int channels, int rate, int bits, const Bytes& pcm) {
    return RiffWriter().Chunk("fmt ", PcmFormatBody(channels, rate, bits)).Chunk("data", pcm).Build();
}

// 16-bit samples whose bytes differ from each other: any misplaced byte shows.
inline Bytes Ramp16(int frames, int channels) {
    Bytes b;
    for (int i = 0; i < frames * channels; i++) Put16(b, (uint32_t)(i * 7 + 3) & 0xFFFF);
    return b;
}

inline std::vector<int16_t> Sine16(int frames, int rate, double hz, double amplitude) {
    std::vector<int16_t> s(frames);
    for (int i = 0; i < frames; i++) s[i] = (int16_t)std::lround(amplitude * std::sin(2 * 3.14159265358979323846 * hz * i / rate));
    return s;
}

inline Bytes ToBytes(const std::vector<int16_t>& s) {
    Bytes b;
    for (int16_t v : s) Put16(b, (uint16_t)v);
    return b;
}

inline std::vector<int16_t> ToSamples(const uint8_t* p, size_t bytes) {
    std::vector<int16_t> s(bytes / 2);
    for (size_t i = 0; i < s.size(); i++) s[i] = (int16_t)(p[2 * i] | (p[2 * i + 1] << 8));
    return s;
}

// G.711 reference (ITU-T G.711 segment encoding).
uint8_t LinearToMuLaw(int16_t sample);
int16_t MuLawToLinear(uint8_t code);
uint8_t LinearToALaw(int16_t sample);
int16_t ALawToLinear(uint8_t code);

// Frequency from rising zero crossings, RMS of a signal.
double ZeroCrossingHz(const std::vector<int16_t>& s, int rate);
double Rms(const std::vector<int16_t>& s);

// Collects every finished log piece while alive.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    bool Contains(const char* text) const { return text_.find(text) != std::string::npos; }
    void Clear() { text_.clear(); }
    const std::string& Text() const { return text_; }

private:
    static void Collect(const char* text, void* user);
    std::string text_;
};

inline DWORD WINAPI RunThunk(void* p) {
    (*(std::function<void()>*)p)();
    return 0;
}

// Runs fn on a worker thread; false when it has not finished within ms (the
// thread is then abandoned so that the test can fail instead of hanging).
inline bool RunWithTimeout(const std::function<void()>& fn, DWORD ms) {
    // Kept alive on purpose when the thread is abandoned.
    auto* copy = new std::function<void()>(fn);
    HANDLE t = CreateThread(nullptr, 0, RunThunk, copy, 0, nullptr);
    if (!t) return false;
    DWORD r = WaitForSingleObject(t, ms);
    CloseHandle(t);
    if (r != WAIT_OBJECT_0) return false;
    delete copy;
    return true;
}

// Every public sound entry must answer -1 at once while sound is down, without
// touching the sound lock (which does not exist then).
inline void ExpectEverySoundCallRefused() {
    Bytes wav = PcmWav(1, 8000, 16, Ramp16(100, 1));
    WAVEFORMATEX f = {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    int h = MakeHandle(HANDLE_SOUND, 0, 0);
    bool done = RunWithTimeout(
        [&] {
            EXPECT_EQ(-1, LoadSoundFileEntry("x.wav", 1, -1));
            EXPECT_EQ(-1, LoadSoundFile("x.wav", 1, -1));
            EXPECT_EQ(-1, CreateSoundFromFileImage(wav.data(), (unsigned)wav.size(), 1, -1));
            EXPECT_EQ(-1, AddSoundData(-1));
            EXPECT_EQ(-1, CreateSoundBuffers(-1, &f, 1600, 0, 1, h));
            EXPECT_EQ(-1, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
            EXPECT_EQ(-1, StopSoundHandle(h));
            EXPECT_EQ(-1, IsSoundHandlePlaying(h));
            EXPECT_EQ(-1, SetSoundHandleVolume(255, h));
            EXPECT_EQ(-1, GetSoundHandlePlayTime(h));
            EXPECT_EQ(-1, GetSoundHandleSampleCount(h));
            EXPECT_EQ(-1, GetSoundHandleLengthMs(h));
            EXPECT_EQ(-1, DeleteSoundHandle(h));
            EXPECT_EQ(-1, DeleteAllSoundHandles());
            EXPECT_EQ(-1, TerminateSoundSystem());
        },
        20000);
    EXPECT_TRUE(done) << "a call blocked on the sound lock while sound was down";
    EXPECT_FALSE(IsSoundLockCreated());
}

// Converter over its own copy of a memory image; the stream is closed by Close.
struct MemConverter {
    Bytes image;
    StreamData sd{};
    SoundConverter conv{};
    int Open(const Bytes& image);
    void Close();
    ~MemConverter() { Close(); }
    Bytes ReadAll();
};

// Bytes per second that a looping 16-bit stereo DirectSound buffer's play cursor
// moves, measured over 1.5 s of wall time (0 when no buffer can be made).
double MeasureCursorBytesPerSecond(uint32_t bytes_per_second);

// A sound system started (COM and the entry points too) for the test body; the
// first start also checks that play cursors move in real time.
class SoundSystemTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    int live_blocks_before_ = 0;
};

}  // namespace soundtest
