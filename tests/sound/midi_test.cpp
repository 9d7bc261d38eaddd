// MIDI handles, the music slot and the MCI notification with a scripted MCI;
// the sound end's sweeps and every call while sound is down.
#include "sound/periph_records.h"

#include "engine/system/window.h"

using namespace soundtest;

namespace {

struct MciCall { UINT message; DWORD_PTR flags, parms, callback, from; };
std::vector<MciCall> g_mci;

MCIERROR WINAPI ScriptedMci(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR parms) {
    EXPECT_EQ(7u, device);
    const MCI_PLAY_PARMS* play = message == MCI_PLAY && parms ? (MCI_PLAY_PARMS*)parms : nullptr;
    g_mci.push_back({message, flags, parms, play ? play->dwCallback : 0, play ? play->dwFrom : 0xFFFF});
    return 0;
}

class Midi : public SoundSystemTest {
    void SetUp() override {
        SoundSystemTest::SetUp();
        real_mci_ = WinApi.mciSendCommandA, WinApi.mciSendCommandA = ScriptedMci;
        g_mci.clear();
        *GetMidiState() = MidiState{7};
    }
    void TearDown() override {
        WinApi.mciSendCommandA = real_mci_, *GetMidiState() = MidiState{};
        SoundSystemTest::TearDown();
    }
    decltype(WinApi.mciSendCommandA) real_mci_ = nullptr;
};

// A notification replays a looping MIDI; stopping closes what plays.
TEST_F(Midi, MusicOfEitherKindIsStoppedAndDeleted) {
    MidiState* s = GetMidiState();
    EXPECT_EQ(0, StopAndDeleteMusic()) << "no music";
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    ASSERT_NE(0u, GetTempFileNameA(dir, "mid", 0, s->temp_path));
    s->temp_exists = s->loop = 1;
    s->music_handle = MakeMidiRecord(64);
    s->music_kind = MUSIC_KIND_MIDI;
    EXPECT_EQ(0, OnMidiMciNotify());
    ASSERT_EQ(1u, g_mci.size());
    EXPECT_TRUE(g_mci[0].message == MCI_PLAY && g_mci[0].flags == (MCI_NOTIFY | MCI_FROM) && g_mci[0].from == 0);
    EXPECT_EQ((DWORD_PTR)GetMainWindow(), g_mci[0].callback);
    EXPECT_EQ(1, GetMidiPlayState(s->music_handle));
    EXPECT_EQ(-1, StopMidi(MakeHandle(HANDLE_MIDI, HandleCheckOf(s->music_handle), MIDI_HANDLE_MAX)));
    EXPECT_EQ(0, StopAndDeleteMusic());
    ASSERT_EQ(2u, g_mci.size()) << "stopped again on delete";
    EXPECT_TRUE(g_mci[1].message == MCI_CLOSE && g_mci[1].flags == 0 && g_mci[1].parms == 0);
    EXPECT_TRUE(s->loop == 0 && s->mci_playing == 0 && s->music_handle == 0);
    EXPECT_EQ(0, GetMidiHandleTable()->count);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(s->temp_path)) << "temporary MIDI file left";
    EXPECT_EQ(0, OnMidiMciNotify());
    EXPECT_EQ(2u, g_mci.size()) << "nothing plays: nothing to close";
    Bytes wav = PcmWav(1, 8000, 16, Ramp16(8000, 1));
    const int sound = CreateSoundFromFileImage(wav.data(), (unsigned)wav.size(), 1, -1);
    ASSERT_EQ(0, PlaySoundHandle(sound, SOUND_PLAY_LOOP, 1));
    s->music_handle = sound;
    s->music_kind = MUSIC_KIND_SOUND;
    EXPECT_EQ(0, StopAndDeleteMusic());
    EXPECT_EQ(-1, IsSoundHandlePlaying(sound)) << "the sound music was not deleted";
}

TEST_F(Midi, SoundEndDeletesEverythingLeftOpen) {
    SetSoundSoftwareMixingFlag(1);
    ASSERT_GE(MakeSoftSoundData(), 0);
    ASSERT_GE(MakeSoftSoundPlayer(PcmFormat(2, 16), 1600, 400, 0), 0);
    ASSERT_GE(MakeMidiRecord(64), 0);
    ASSERT_EQ(0, TerminateSoundSystem());
    EXPECT_EQ(0, GetSoftSoundHandleTable()->count);
    EXPECT_EQ(0, GetMidiHandleTable()->count);
    // Nothing is up now: every call answers -1 at once instead of taking the lock.
    const int soft = MakeHandle(HANDLE_SOFTSOUND, 0, 0), midi = MakeHandle(HANDLE_MIDI, 0, 0);
    const bool done = RunWithTimeout(
        [&] {
            const int results[] = {DeleteSoftSoundHandle(soft, 0), DeleteAllSoftSoundData(), DeleteAllSoftSoundPlayers(),
                                   PumpAllSoftSoundPlayers(), PollMidiPlayState(), GetMidiPlayState(midi),
                                   StopMidi(midi), DeleteMidiHandle(midi), DeleteAllMidiHandles()};
            for (size_t i = 0; i < sizeof results / sizeof *results; i++) EXPECT_EQ(-1, results[i]) << "call " << i;
        },
        20000);
    EXPECT_TRUE(done) << "a call blocked on the sound lock while sound was down";
    EXPECT_FALSE(IsSoundLockCreated());
}

}  // namespace
