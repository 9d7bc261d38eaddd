// The DirectMusic start (mode 1) under Wine, its fall-back to DirectSound, and
// MIDI segments polled and stopped through the performance.
#include "sound/periph_records.h"

#include "engine/sound/direct_music.h"

using namespace soundtest;

namespace {

const GUID kClsidLoader = {0xD2AC2892, 0xB39B, 0x11D1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD}};
const GUID kClsidSegment = {0xD2AC2882, 0xB39B, 0x11D1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD}};
const GUID kIidSegment8 = {0xC6784488, 0x41A3, 0x418F, {0xAA, 0x15, 0xB3, 0x50, 0x93, 0xBA, 0x42, 0xD4}};

decltype(WinApi.CoCreateInstance) g_real_create;
HRESULT WINAPI RefuseLoader(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
    if (IsEqualGUID(clsid, kClsidLoader)) return *out = nullptr, REGDB_E_CLASSNOTREG;
    return g_real_create(clsid, outer, context, iid, out);
}

// Sound restarted in mode 1 by each test.
class DirectMusicMode : public SoundSystemTest {
    void SetUp() override {
        SoundSystemTest::SetUp();
        ASSERT_EQ(0, TerminateSoundSystem());
        SetSoundSystemMode(1);
    }
    void TearDown() override {
        if (IsSoundSystemUp()) {
            EXPECT_EQ(0, TerminateSoundSystem());
        }
        EXPECT_TRUE(!GetDirectMusicPerformance() && !GetDirectMusicLoader()) << "DirectMusic outlived the sound end";
        SetSoundSystemMode(0);
        SoundSystemTest::TearDown();
    }
};

TEST_F(DirectMusicMode, StartsListsPortsAndPollsSegments) {
    LogCapture log;
    ASSERT_EQ(0, InitializeSoundSystem());
    for (const char* line : {"DirectSound8 の初期化を行います", "ポート  Device0:", "DirectSound の初期化は正常に終了しました"})
        EXPECT_TRUE(log.Contains(line)) << line;
    EXPECT_FALSE(log.Contains("DirectSound インターフェースの取得")) << "the DirectSound start ran as well";
    ASSERT_TRUE(IsSoundSystemUp() && GetDirectMusicPerformance() && GetSoundSystemMode() == 1);

    IDirectMusicSegment8* segments[2] = {};
    for (auto& seg : segments)
        ASSERT_TRUE(SUCCEEDED(WinApi.CoCreateInstance(kClsidSegment, nullptr, CLSCTX_INPROC_SERVER, kIidSegment8,
                                                      (void**)&seg)) && seg);
    // Wine's performance never reports a segment playing.
    const int never_seen = MakeMidiRecord(0, segments[0]);
    const int seen = MakeMidiRecord(0, segments[1]);
    MidiRecordOf(never_seen)->playing = 1;
    MidiRecordOf(seen)->playing = 1;
    MidiRecordOf(seen)->seen_playing = 1;
    EXPECT_EQ(0, PollMidiPlayState());
    EXPECT_EQ(1, GetMidiPlayState(never_seen)) << "a segment never seen playing counted as ended";
    EXPECT_EQ(0, GetMidiPlayState(seen)) << "a segment seen playing and now silent still counts as playing";

    EXPECT_EQ(0, StopMidi(never_seen));
    EXPECT_TRUE(GetMidiPlayState(never_seen) == 0 && MidiRecordOf(never_seen)->seen_playing == 0);
    EXPECT_EQ(0, DeleteMidiHandle(never_seen));
    // The other is left for the sound end, which unloads it while the performance still exists.
}

TEST_F(DirectMusicMode, MissingLoaderFallsBackToDirectSound) {
    g_real_create = WinApi.CoCreateInstance;
    WinApi.CoCreateInstance = RefuseLoader;
    LogCapture log;
    EXPECT_EQ(0, InitializeSoundSystem());
    WinApi.CoCreateInstance = g_real_create;
    EXPECT_TRUE(log.Contains("前バージョンでの初期化処理に移ります"));
    EXPECT_TRUE(GetSoundSystemMode() == 0 && GetPrimarySoundBuffer() && !GetDirectMusicPerformance());
}

}  // namespace
