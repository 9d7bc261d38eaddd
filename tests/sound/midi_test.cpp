// MIDI handles, the music slot and the MCI notification, with a scripted MCI.
#include "sound/periph_records.h"

#include "engine/sound/sound_capture.h"
#include "engine/system/library.h"
#include "engine/system/window.h"

using namespace soundtest;

namespace {

struct MciCall {
    MCIDEVICEID device;
    UINT message;
    DWORD_PTR flags;
    DWORD_PTR callback;
    DWORD from;
    bool has_parms;
};
std::vector<MciCall> g_mci;

MCIERROR WINAPI ScriptedMci(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR parms) {
    MciCall c = {device, message, flags, 0, 0xFFFFFFFF, parms != 0};
    if (message == MCI_PLAY && parms) {
        c.callback = ((MCI_PLAY_PARMS*)parms)->dwCallback;
        c.from = ((MCI_PLAY_PARMS*)parms)->dwFrom;
    }
    g_mci.push_back(c);
    return 0;
}

class Midi : public SoundSystemTest {
protected:
    void SetUp() override {
        SoundSystemTest::SetUp();
        real_mci_ = WinApi.mciSendCommandA;
        WinApi.mciSendCommandA = ScriptedMci;
        g_mci.clear();
        *GetMidiState() = MidiState{};
        GetMidiState()->mci_device = 7;
    }
    void TearDown() override {
        WinApi.mciSendCommandA = real_mci_;
        *GetMidiState() = MidiState{};
        SoundSystemTest::TearDown();
    }
    decltype(WinApi.mciSendCommandA) real_mci_ = nullptr;
};

TEST_F(Midi, MciNotificationPlaysAgainWhenLoopingElseClosesWhatPlays) {
    const struct {
        int loop, playing;
        UINT message;        // 0: no call
        int playing_after;
    } cases[] = {{1, 0, MCI_PLAY, 1}, {1, 1, MCI_PLAY, 1}, {0, 1, MCI_CLOSE, 0}, {0, 0, 0, 0}};
    for (auto& c : cases) {
        g_mci.clear();
        GetMidiState()->loop = c.loop;
        GetMidiState()->mci_playing = c.playing;
        EXPECT_EQ(0, OnMidiMciNotify());
        EXPECT_EQ(c.playing_after, GetMidiState()->mci_playing) << c.loop << c.playing;
        if (!c.message) {
            EXPECT_TRUE(g_mci.empty());
            continue;
        }
        ASSERT_EQ(1u, g_mci.size());
        EXPECT_EQ(7u, g_mci[0].device);
        EXPECT_EQ(c.message, g_mci[0].message);
        if (c.message == MCI_PLAY) {
            EXPECT_EQ((DWORD_PTR)(MCI_NOTIFY | MCI_FROM), g_mci[0].flags);
            EXPECT_EQ((DWORD_PTR)GetMainWindow(), g_mci[0].callback);
            EXPECT_EQ(0u, g_mci[0].from);
        } else {
            EXPECT_EQ(0u, g_mci[0].flags);
            EXPECT_FALSE(g_mci[0].has_parms);
        }
    }
}

// A buffer that only counts how often its cursor is asked for: one ask per
// pass of the message pump when the pump feeds the players itself.
struct CountingBuffer : IDirectSoundBuffer {
    LONG refs = 1;
    int cursor_asks = 0;
    STDMETHOD(QueryInterface)(REFIID, void** out) override { return *out = nullptr, E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override { return --refs; }
    STDMETHOD(GetCaps)(LPDSBCAPS) override { return E_FAIL; }
    STDMETHOD(GetCurrentPosition)(LPDWORD play, LPDWORD write) override {
        cursor_asks++;
        if (play) *play = 0;
        if (write) *write = 0;
        return S_OK;
    }
    STDMETHOD(GetFormat)(LPWAVEFORMATEX, DWORD, LPDWORD) override { return E_FAIL; }
    STDMETHOD(GetVolume)(LPLONG) override { return E_FAIL; }
    STDMETHOD(GetPan)(LPLONG) override { return E_FAIL; }
    STDMETHOD(GetFrequency)(LPDWORD) override { return E_FAIL; }
    STDMETHOD(GetStatus)(LPDWORD) override { return E_FAIL; }
    STDMETHOD(Initialize)(LPDIRECTSOUND, LPCDSBUFFERDESC) override { return E_FAIL; }
    STDMETHOD(Lock)(DWORD, DWORD, LPVOID*, LPDWORD, LPVOID*, LPDWORD, DWORD) override { return E_FAIL; }
    STDMETHOD(Play)(DWORD, DWORD, DWORD) override { return E_FAIL; }
    STDMETHOD(SetCurrentPosition)(DWORD) override { return E_FAIL; }
    STDMETHOD(SetFormat)(LPCWAVEFORMATEX) override { return E_FAIL; }
    STDMETHOD(SetVolume)(LONG) override { return E_FAIL; }
    STDMETHOD(SetPan)(LONG) override { return E_FAIL; }
    STDMETHOD(SetFrequency)(DWORD) override { return E_FAIL; }
    STDMETHOD(Stop)() override { return E_FAIL; }
    STDMETHOD(Unlock)(LPVOID, DWORD, LPVOID, DWORD) override { return E_FAIL; }
    STDMETHOD(Restore)() override { return E_FAIL; }
};

TEST_F(Midi, StopClosesThePlayingSequencerPumpsFiveTimesAndDropsTheTemporaryFile) {
    SetSoundSoftwareMixingFlag(1);
    SoftSoundRecord* player = nullptr;
    ASSERT_GE(MakeSoftSoundPlayer(PcmFormat(2, 16), 1600, 400, 0, &player), 0);
    ReleaseDSoundBuffer(&player->buffer);
    CountingBuffer counter;
    player->buffer.buffer = &counter;
    player->buffer.used = 1;
    player->write_cursor = 800;  // 800 ahead of cursor 0: nothing due

    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    MidiState* s = GetMidiState();
    ASSERT_NE(0u, GetTempFileNameA(dir, "mid", 0, s->temp_path));
    s->temp_exists = 1;
    s->loop = 1;
    s->mci_playing = 1;
    const int h = MakeMidiRecord(32);
    ASSERT_GE(h, 0);
    EXPECT_EQ(1, GetMidiPlayState(h));

    const int processors = LogicalProcessorCount;
    LogicalProcessorCount = 1;
    EXPECT_EQ(0, StopMidi(h));
    LogicalProcessorCount = processors;

    EXPECT_EQ(5, counter.cursor_asks) << "message pump passes";
    ASSERT_EQ(1u, g_mci.size());
    EXPECT_EQ((UINT)MCI_CLOSE, g_mci[0].message) << "stopping must close, not play again";
    EXPECT_EQ(0, s->loop);
    EXPECT_EQ(0, GetMidiPlayState(h));
    EXPECT_EQ(0, s->temp_exists);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(s->temp_path)) << "temporary MIDI file left";
    EXPECT_EQ(-1, StopMidi(MakeHandle(HANDLE_MIDI, HandleCheckOf(h), MIDI_HANDLE_MAX)));
    EXPECT_EQ(0, DeleteMidiHandle(h));
    EXPECT_EQ(1u, g_mci.size()) << "a stopped MIDI was stopped again on delete";
    EXPECT_EQ(0, DeleteAllSoftSoundPlayers());
    EXPECT_EQ(0, counter.refs) << "the player's buffer was not released";
}

TEST_F(Midi, DeleteFreesDataAndLowersTheHint) {
    HandleTable* t = GetMidiHandleTable();
    EXPECT_EQ(0, DeleteAllMidiHandles());
    int h[3];
    for (int& x : h) ASSERT_GE(x = MakeMidiRecord(100), 0);
    EXPECT_EQ(-1, DeleteMidiHandle(MakeHandle(HANDLE_MIDI, HandleCheckOf(h[0]), MIDI_HANDLE_MAX)));
    EXPECT_EQ(-1, GetMidiPlayState(MakeHandle(HANDLE_SOFTSOUND, HandleCheckOf(h[0]), 0)));
    EXPECT_EQ(0, DeleteMidiHandle(h[2]));
    EXPECT_EQ(2, t->free_hint);
    EXPECT_EQ(0, DeleteAllMidiHandles());
    EXPECT_EQ(0, t->count);
    EXPECT_EQ(0, t->free_hint);
    EXPECT_TRUE(g_mci.empty());
}

TEST_F(Midi, StopAndDeleteMusicTakesTheMusicHandleOfEitherKind) {
    MidiState* s = GetMidiState();
    EXPECT_EQ(0, StopAndDeleteMusic()) << "no music";
    EXPECT_TRUE(g_mci.empty());

    s->music_handle = MakeMidiRecord(64);
    s->music_kind = MUSIC_KIND_MIDI;
    s->mci_playing = 1;
    EXPECT_EQ(0, StopAndDeleteMusic());
    EXPECT_EQ(0, s->music_handle);
    EXPECT_EQ(0, GetMidiHandleTable()->count);
    ASSERT_EQ(1u, g_mci.size());
    EXPECT_EQ((UINT)MCI_CLOSE, g_mci[0].message);

    Bytes wav = PcmWav(1, 8000, 16, Ramp16(8000, 1));
    const int sound = CreateSoundFromFileImage(wav.data(), (unsigned)wav.size(), 1, -1);
    ASSERT_NE(-1, sound);
    ASSERT_EQ(0, PlaySoundHandle(sound, SOUND_PLAY_LOOP, 1));
    s->music_handle = sound;
    s->music_kind = MUSIC_KIND_SOUND;
    EXPECT_EQ(0, StopAndDeleteMusic());
    EXPECT_EQ(0, s->music_handle);
    EXPECT_EQ(-1, IsSoundHandlePlaying(sound)) << "the sound music was not deleted";
}

// The sound end finishes every facility it finds open.
TEST_F(Midi, SoundEndDeletesEverythingLeftOpen) {
    SetSoundSoftwareMixingFlag(1);
    ASSERT_GE(MakeSoftSoundData(64), 0);
    ASSERT_GE(MakeSoftSoundPlayer(PcmFormat(2, 16), 1600, 400, 0), 0);
    ASSERT_GE(MakeMidiRecord(64), 0);
    char dir[MAX_PATH], path[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    ASSERT_NE(0u, GetTempFileNameA(dir, "cap", 0, path));
    SoundCaptureState* cap = GetSoundCaptureState();
    cap->file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, cap->file);
    cap->capturing = 1;
    ASSERT_EQ(0, TerminateSoundSystem());
    EXPECT_EQ(0, GetSoftSoundHandleTable()->count);
    EXPECT_EQ(0, GetMidiHandleTable()->count);
    EXPECT_EQ(0, cap->capturing);
    EXPECT_TRUE(DeleteFileA(path)) << "the capture file was left open";
}

class PeripheryWhileDown : public SoundSystemTest {
    void SetUp() override {
        SoundSystemTest::SetUp();
        ASSERT_EQ(0, TerminateSoundSystem());
    }
};

TEST_F(PeripheryWhileDown, EveryCallAnswersWithoutTheLock) {
    const int soft = MakeHandle(HANDLE_SOFTSOUND, 0, 0), midi = MakeHandle(HANDLE_MIDI, 0, 0);
    const bool done = RunWithTimeout(
        [&] {
            const int results[] = {DeleteSoftSoundHandle(soft, 0), DeleteAllSoftSoundData(),
                                   DeleteAllSoftSoundPlayers(),    PumpAllSoftSoundPlayers(),
                                   PollMidiPlayState(),            GetMidiPlayState(midi),
                                   StopMidi(midi),                 DeleteMidiHandle(midi),
                                   DeleteAllMidiHandles(),         FinishSoundCaptureFile()};
            for (size_t i = 0; i < sizeof results / sizeof *results; i++) EXPECT_EQ(-1, results[i]) << "call " << i;
            EXPECT_EQ(0, StopAndDeleteMusic());
        },
        20000);
    EXPECT_TRUE(done) << "a call blocked on the sound lock while sound was down";
    EXPECT_FALSE(IsSoundLockCreated());
}

}  // namespace
