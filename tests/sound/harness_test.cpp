// Every other sound test stands on this: DirectSound starts under Wine and a
// buffer's play cursor moves in real time.
#include "sound/sound_fixture.h"

#include "engine/sound/sound_buffer.h"

using namespace soundtest;

namespace {

class SoundHarness : public SoundSystemTest {};

TEST_F(SoundHarness, LoopingBufferCursorAdvancesInRealTime) {
    ASSERT_TRUE(IsSoundSystemUp());
    WAVEFORMATEX fmt = {};
    fmt.wFormatTag = WAVE_FORMAT_PCM;
    fmt.nChannels = 2;
    fmt.nSamplesPerSec = 44100;
    fmt.wBitsPerSample = 16;
    fmt.nBlockAlign = 4;
    fmt.nAvgBytesPerSec = 176400;
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_STATIC;
    desc.dwBufferBytes = fmt.nAvgBytesPerSec;  // one second, looped
    desc.lpwfxFormat = &fmt;
    SoundBufferRecord rec = {};
    ASSERT_EQ(0, CreateDSoundBuffer(&rec, &desc));
    ASSERT_EQ(0, PlayDSoundBuffer(&rec, 1));

    // Sum the cursor's progress over ~1.5 s of wall time, across ring wraps.
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    int last = GetDSoundBufferPlayCursor(&rec);
    ASSERT_GE(last, 0);
    uint64_t advanced = 0;
    double elapsed = 0;
    while (elapsed < 1.5) {
        Sleep(20);
        int now = GetDSoundBufferPlayCursor(&rec);
        ASSERT_GE(now, 0);
        advanced += (uint32_t)(now - last + (now < last ? (int)desc.dwBufferBytes : 0));
        last = now;
        QueryPerformanceCounter(&t1);
        elapsed = (double)(t1.QuadPart - t0.QuadPart) / freq.QuadPart;
    }
    uint32_t status = 0;
    EXPECT_EQ(0, GetDSoundBufferStatus(&rec, &status));
    EXPECT_TRUE(status & DSBSTATUS_PLAYING);
    StopDSoundBuffer(&rec);
    ReleaseDSoundBuffer(&rec);

    double rate = advanced / elapsed;
    EXPECT_GT(rate, fmt.nAvgBytesPerSec * 0.5) << "play cursor too slow: no real-time audio device";
    EXPECT_LT(rate, fmt.nAvgBytesPerSec * 1.5) << "play cursor too fast";
}

TEST_F(SoundHarness, StartLogsDevicesAndAcmIsThere) {
    // The report of this start was written before the capture; start again to see it.
    ASSERT_EQ(0, TerminateSoundSystem());
    LogCapture log;
    ASSERT_EQ(0, InitializeSoundSystem());
    EXPECT_TRUE(log.Contains("DirectSound の初期化を行います"));
    EXPECT_TRUE(log.Contains("DirectSound デバイスを列挙します"));
    EXPECT_TRUE(log.Contains("モジュール名:"));
    EXPECT_TRUE(log.Contains("DirectSound の初期化は正常に終了しました"));
    EXPECT_NE(nullptr, AcmApi.acmStreamOpen);
    EXPECT_NE(nullptr, AcmApi.acmStreamSize);
    EXPECT_NE(nullptr, GetPrimarySoundBuffer());
}

}  // namespace
