// Every other sound test stands on this: DirectSound starts under Wine and a
// buffer's play cursor moves in real time.
#include "sound/sound_fixture.h"

#include "engine/sound/sound_buffer.h"

using namespace soundtest;

namespace {

class SoundHarness : public SoundSystemTest {};

TEST_F(SoundHarness, LoopingBufferCursorAdvancesInRealTime) {
    ASSERT_TRUE(IsSoundSystemUp());
    double rate = MeasureCursorBytesPerSecond(176400);
    EXPECT_GT(rate, 176400 * 0.5) << "play cursor too slow: no real-time audio device";
    EXPECT_LT(rate, 176400 * 1.5) << "play cursor too fast";
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
