// Stream sounds on real DirectSound buffers: refilled by the sound thread, or
// by the message pump on one processor, they play on and stop by themselves.
#include "sound/sound_fixture.h"

#include <algorithm>

#include "engine/sound/sound_stream.h"
#include "engine/system/library.h"
#include "engine/system/window.h"

using namespace soundtest;

namespace {

class StreamRealTime : public SoundSystemTest {
protected:
    void TearDown() override {
        SoundSystemTest::TearDown();
        LogicalProcessorCount = saved_;
    }
    // Restarts sound as a machine with this many processors would start it.
    void RestartWith(int processors) {
        ASSERT_EQ(0, TerminateSoundSystem());
        EXPECT_FALSE(IsSoundThreadRunning()) << "the thread outlived the sound system";
        LogicalProcessorCount = processors;
        ASSERT_EQ(0, InitializeSoundSystem());
    }
    // Waits while the sound plays, pumping messages as the frame loop would; the latest play time seen.
    int WaitWhilePlaying(int h, DWORD limit) {
        const DWORD start = GetTickCount();
        int latest = 0;
        while (IsSoundHandlePlaying(h) == 1 && GetTickCount() - start < limit) {
            ProcessWindowMessages();
            Sleep(10);
            latest = std::max(latest, GetSoundHandlePlayTime(h));
            EXPECT_LE(latest, GetSoundHandleLengthMs(h));
        }
        return latest;
    }
    int saved_ = LogicalProcessorCount;
};

TEST_F(StreamRealTime, ThreadOrPumpKeepsTheStreamGoingUntilItStops) {
    const Bytes tone = PcmWav(2, 22050, 16, Ramp16(22050 * 3 / 2, 2));  // longer than the one-second ring
    for (int processors : {4, 1}) {
        SCOPED_TRACE(processors);
        RestartWith(processors);
        EXPECT_EQ(processors > 1, IsSoundThreadRunning() != 0);
        SetCreateSoundDataType(2);
        int h = CreateSoundFromFileImage(tone.data(), (unsigned)tone.size(), 1, -1);
        ASSERT_NE(-1, h);
        EXPECT_EQ(1500, GetSoundHandleLengthMs(h));
        ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
        const int latest = WaitWhilePlaying(h, 6000);
        EXPECT_EQ(0, IsSoundHandlePlaying(h)) << "did not stop by itself";
        EXPECT_GE(latest, 1200) << "stopped early, or the play time does not follow the cursor";
        EXPECT_EQ(0, DeleteSoundHandle(h));
        SetCreateSoundDataType(0);
    }
}

TEST_F(StreamRealTime, EmptySoundFallsBackToAStreamThatStops) {
    // DirectSound makes no buffer of 0 bytes: the load becomes a stream sound with nothing in it.
    const Bytes empty =
        RiffWriter().Chunk("fmt ", FormatBody(1, 1, 8000, 16, 2, 16000)).Chunk("data", {}).Chunk("LIST", Bytes(4)).Build();
    int h = CreateSoundFromFileImage(empty.data(), (unsigned)empty.size(), 1, -1);
    ASSERT_NE(-1, h);
    EXPECT_EQ(SOUND_KIND_STREAM, GetSoundRecord(h)->kind);
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
    WaitWhilePlaying(h, 3000);
    EXPECT_EQ(0, IsSoundHandlePlaying(h)) << "an empty stream plays forever";
    // A waiting play of a stream returns once it has ended.
    bool returned = RunWithTimeout([&] { PlaySoundHandle(h, SOUND_PLAY_WAIT, 1); }, 5000);
    EXPECT_TRUE(returned);
}

}  // namespace
