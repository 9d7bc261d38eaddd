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
    int saved_ = LogicalProcessorCount;
};

// Sound restarted as a machine with 4 or 1 processors starts it. An empty WAV
// is refused, not played as a stream of nothing; a waiting play of the tone
// returns once it has played to its end.
TEST_F(StreamRealTime, ThreadOrPumpKeepsTheStreamGoingUntilItStops) {
    const Bytes tone = PcmWav(2, 22050, 16, Ramp16(22050 * 3 / 2, 2));  // longer than the one-second ring
    const Bytes empty =
        RiffWriter().Chunk("fmt ", FormatBody(1, 1, 8000, 16, 2, 16000)).Chunk("data", {}).Chunk("LIST", Bytes(4)).Build();
    for (int processors : {4, 1}) {
        ASSERT_EQ(0, TerminateSoundSystem());
        EXPECT_FALSE(IsSoundThreadRunning()) << "the thread outlived the sound system";
        LogicalProcessorCount = processors;
        ASSERT_EQ(0, InitializeSoundSystem());
        EXPECT_EQ(processors > 1, IsSoundThreadRunning() != 0);
        for (const Bytes* wav : {&tone, &empty}) {
            SCOPED_TRACE(::testing::Message() << processors << " processors, " << (wav == &tone ? "tone" : "empty"));
            SetCreateSoundDataType(wav == &tone ? 2 : 0);
            int h = CreateSoundFromFileImage(wav->data(), (unsigned)wav->size(), 1, -1);
            if (wav == &empty) {
                EXPECT_EQ(-1, h);
                continue;
            }
            ASSERT_NE(-1, h);
            EXPECT_EQ(SOUND_KIND_STREAM, GetSoundRecord(h)->kind);
            const int length = GetSoundHandleLengthMs(h);
            EXPECT_EQ(1500, length);
            ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
            // Pumped as the frame loop would pump; the play time follows the cursor up to the length.
            int latest = 0;
            for (const DWORD start = GetTickCount(); IsSoundHandlePlaying(h) == 1 && GetTickCount() - start < 6000;) {
                ProcessWindowMessages();
                Sleep(10);
                latest = std::max(latest, GetSoundHandlePlayTime(h));
            }
            EXPECT_EQ(0, IsSoundHandlePlaying(h)) << "did not stop by itself";
            EXPECT_LE(latest, length);
            EXPECT_GE(latest, length * 8 / 10) << "stopped early, or the time does not follow";
            // A waiting play returns once the stream has ended.
            EXPECT_TRUE(RunWithTimeout([&] { PlaySoundHandle(h, SOUND_PLAY_WAIT, 1); }, 5000));
            EXPECT_EQ(0, DeleteSoundHandle(h));
        }
    }
}

}  // namespace
