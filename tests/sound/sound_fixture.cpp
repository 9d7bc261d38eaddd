#include "sound/sound_fixture.h"

#include <algorithm>

#include "engine/sound/sound.h"
#include "engine/sound/sound_buffer.h"
#include "engine/system/entry_points.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"

namespace soundtest {

namespace {

const int kMuSegEnd[8] = {0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};
const int kASegEnd[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};

int Segment(int v, const int* table) {
    for (int i = 0; i < 8; i++)
        if (v <= table[i]) return i;
    return 8;
}

}  // namespace

uint8_t LinearToMuLaw(int16_t sample) {
    int v = sample >> 2;
    int mask = 0xFF;
    if (v < 0) {
        v = -v;
        mask = 0x7F;
    }
    if (v > 8159) v = 8159;
    v += 0x84 >> 2;
    int seg = Segment(v, kMuSegEnd);
    if (seg >= 8) return (uint8_t)(0x7F ^ mask);
    return (uint8_t)(((seg << 4) | ((v >> (seg + 1)) & 0xF)) ^ mask);
}

int16_t MuLawToLinear(uint8_t code) {
    code = (uint8_t)~code;
    int t = ((code & 0xF) << 3) + 0x84;
    t <<= (code & 0x70) >> 4;
    return (int16_t)((code & 0x80) ? (0x84 - t) : (t - 0x84));
}

uint8_t LinearToALaw(int16_t sample) {
    int v = sample >> 3;
    int mask;
    if (v >= 0) {
        mask = 0xD5;
    } else {
        mask = 0x55;
        v = -v - 1;
    }
    int seg = Segment(v, kASegEnd);
    if (seg >= 8) return (uint8_t)(0x7F ^ mask);
    int a = seg << 4;
    a |= seg < 2 ? (v >> 1) & 0xF : (v >> seg) & 0xF;
    return (uint8_t)(a ^ mask);
}

int16_t ALawToLinear(uint8_t code) {
    code ^= 0x55;
    int t = (code & 0xF) << 4;
    int seg = (code & 0x70) >> 4;
    if (seg == 0)
        t += 8;
    else if (seg == 1)
        t += 0x108;
    else
        t = (t + 0x108) << (seg - 1);
    return (int16_t)((code & 0x80) ? t : -t);
}

double ZeroCrossingHz(const std::vector<int16_t>& s, int rate) {
    // Rising crossings with hysteresis, so that coding noise around zero adds none.
    int peak = 0;
    for (int16_t v : s) peak = std::max(peak, std::abs((int)v));
    const int band = peak / 10;
    int first = -1, last = -1, count = 0;
    bool below = false;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] < -band) below = true;
        if (below && s[i] > band) {
            below = false;
            if (first < 0) first = (int)i;
            last = (int)i;
            count++;
        }
    }
    if (count < 2) return 0;
    return (double)(count - 1) * rate / (last - first);
}

double Rms(const std::vector<int16_t>& s) {
    if (s.empty()) return 0;
    double sum = 0;
    for (int16_t v : s) sum += (double)v * v;
    return std::sqrt(sum / s.size());
}

LogCapture::LogCapture() { SetLogCapture(&LogCapture::Collect, this); }
LogCapture::~LogCapture() { SetLogCapture(nullptr, nullptr); }
void LogCapture::Collect(const char* text, void* user) { ((LogCapture*)user)->text_ += text; }

int MemConverter::Open(const Bytes& bytes) {
    Close();
    image = bytes;
    sd.funcs = *GetMemStreamTable();
    sd.handle = MemStreamOpen(image.data(), image.size());
    conv.setup = 0;
    return SelectSoundDecoder(&sd, &conv);
}

void MemConverter::Close() {
    if (conv.setup) TerminateSoundConverter(&conv);
    if (sd.handle) MemStreamClose(sd.handle);
    sd.handle = 0;
}

Bytes MemConverter::ReadAll() {
    Bytes out;
    uint8_t block[4096];
    for (;;) {
        int n = ConvertNextSoundBlock(&conv, block, sizeof block);
        if (n <= 0) break;
        out.insert(out.end(), block, block + n);
        if (n < (int)sizeof block) break;
    }
    return out;
}

double MeasureCursorBytesPerSecond(uint32_t bytes_per_second) {
    WAVEFORMATEX fmt = {};
    fmt.wFormatTag = WAVE_FORMAT_PCM;
    fmt.nChannels = 2;
    fmt.nSamplesPerSec = 44100;
    fmt.wBitsPerSample = 16;
    fmt.nBlockAlign = 4;
    fmt.nAvgBytesPerSec = bytes_per_second;
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_STATIC;
    desc.dwBufferBytes = fmt.nAvgBytesPerSec;  // one second, looped
    desc.lpwfxFormat = &fmt;
    SoundBufferRecord rec = {};
    if (CreateDSoundBuffer(&rec, &desc) != 0) return 0;
    PlayDSoundBuffer(&rec, 1);

    // Sum the cursor's progress over ~1.5 s of wall time, across ring wraps.
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    int last = GetDSoundBufferPlayCursor(&rec);
    uint64_t advanced = 0;
    double elapsed = 0;
    while (elapsed < 1.5) {
        Sleep(20);
        int now = GetDSoundBufferPlayCursor(&rec);
        if (now < 0) break;
        advanced += (uint32_t)(now - last + (now < last ? (int)desc.dwBufferBytes : 0));
        last = now;
        QueryPerformanceCounter(&t1);
        elapsed = (double)(t1.QuadPart - t0.QuadPart) / freq.QuadPart;
    }
    StopDSoundBuffer(&rec);
    ReleaseDSoundBuffer(&rec);
    return elapsed > 0 ? advanced / elapsed : 0;
}

void SoundSystemTest::SetUp() {
    LoadPlatformEntryPoints();
    ASSERT_TRUE(WinApi.CoInitialize != nullptr);
    WinApi.CoInitialize(nullptr);
    live_blocks_before_ = MemLiveBlockCount();
    ASSERT_EQ(0, InitializeSoundSystem()) << "the sound system must start under Wine";
    // Checked once per program: without a real-time device nothing below means much.
    static double rate = MeasureCursorBytesPerSecond(176400);
    ASSERT_GT(rate, 176400 * 0.5) << "DirectSound play cursors do not advance in real time under this Wine session";
}

void SoundSystemTest::TearDown() {
    if (IsSoundSystemUp()) {
        EXPECT_EQ(0, TerminateSoundSystem());
    }
    SetSoundSoftwareMixingFlag(0);
    SetSoundDecoderDisableMask(0);
    SetCreateSoundDataType(0);
    EXPECT_EQ(live_blocks_before_, MemLiveBlockCount()) << "tracked blocks left after the sound system ended";
    WinApi.CoUninitialize();
}

}  // namespace soundtest
