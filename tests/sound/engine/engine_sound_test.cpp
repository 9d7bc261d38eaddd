// The engine's own start and end bring sound up and down, unless the no-sound
// setting is on. A program of its own: ending the engine leaves the pump ending.
#include "sound/sound_fixture.h"

#include "engine/system/library.h"
#include "engine/system/log.h"
#include "engine/system/window.h"

using namespace soundtest;

namespace {

TEST(EngineSound, StartAndEndFollowTheNoSoundSetting) {
    ChangeWindowMode(1);
    SetOutputLogFlag(0);
    const int blocks = MemLiveBlockCount();

    SetNotSoundFlag(1);
    ASSERT_EQ(0, InitLibrarySystems());
    EXPECT_FALSE(IsSoundSystemUp());
    ExpectEverySoundCallRefused();
    ASSERT_EQ(0, EndLibrarySystems());
    SetNotSoundFlag(0);

    ASSERT_EQ(0, InitLibrarySystems());
    ASSERT_TRUE(IsSoundSystemUp());
    Bytes wav = PcmWav(1, 8000, 16, Ramp16(1600, 1));
    int h = CreateSoundFromFileImage(wav.data(), (unsigned)wav.size(), 2, -1);
    ASSERT_NE(-1, h);
    // A waiting play pumps the engine's messages until the sound has ended.
    DWORD start = GetTickCount();
    EXPECT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_WAIT, 1));
    EXPECT_GE(GetTickCount() - start, 100u) << "returned before the fifth of a second played";
    EXPECT_EQ(0, IsSoundHandlePlaying(h));
    ASSERT_EQ(0, EndLibrarySystems());
    EXPECT_FALSE(IsSoundSystemUp());
    EXPECT_FALSE(IsSoundLockCreated());
    EXPECT_EQ(blocks, MemLiveBlockCount()) << "blocks left after start, load and end";
}

}  // namespace
