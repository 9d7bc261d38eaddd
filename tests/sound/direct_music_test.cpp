// The DirectMusic start (mode 1) under Wine, its fall-back to DirectSound, and
// MIDI segments polled and stopped through the performance.
#include "sound/periph_records.h"

#include "engine/sound/direct_music.h"

using namespace soundtest;

namespace {

const GUID kClsidLoader = {0xD2AC2892, 0xB39B, 0x11D1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD}};
const GUID kClsidPerformance = {0xD2AC2881, 0xB39B, 0x11D1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD}};
const GUID kClsidSegment = {0xD2AC2882, 0xB39B, 0x11D1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD}};
const GUID kIidSegment8 = {0xC6784488, 0x41A3, 0x418F, {0xAA, 0x15, 0xB3, 0x50, 0x93, 0xBA, 0x42, 0xD4}};

// One track: a quarter-note middle C.
Bytes TinyMidiFile() {
    auto be32 = [](Bytes& b, uint32_t v) { b.insert(b.end(), {(uint8_t)(v >> 24), (uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v}); };
    const Bytes track = {0x00, 0x90, 0x3C, 0x40, 0x60, 0x80, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00};
    Bytes b = {'M', 'T', 'h', 'd'};
    be32(b, 6);
    b.insert(b.end(), {0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k'});
    be32(b, (uint32_t)track.size());
    b.insert(b.end(), track.begin(), track.end());
    return b;
}

decltype(WinApi.CoCreateInstance) g_real_create;
const GUID* g_refused;
HRESULT WINAPI RefuseOne(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
    if (IsEqualGUID(clsid, *g_refused)) return *out = nullptr, REGDB_E_CLASSNOTREG;
    return g_real_create(clsid, outer, context, iid, out);
}

class DirectMusicMode : public SoundSystemTest {
protected:
    void SetUp() override {
        SoundSystemTest::SetUp();
        ASSERT_EQ(0, TerminateSoundSystem());
        SetSoundSystemMode(1);
    }
    void TearDown() override {
        WinApi.CoCreateInstance = g_real_create ? g_real_create : WinApi.CoCreateInstance;
        g_real_create = nullptr;
        if (IsSoundSystemUp()) {
            EXPECT_EQ(0, TerminateSoundSystem());
        }
        EXPECT_EQ(nullptr, GetDirectMusicPerformance()) << "the performance outlived the sound end";
        EXPECT_EQ(nullptr, GetDirectMusicLoader());
        SetSoundSystemMode(0);
        SoundSystemTest::TearDown();
    }
    void Refuse(const GUID& clsid) {
        g_real_create = WinApi.CoCreateInstance;
        g_refused = &clsid;
        WinApi.CoCreateInstance = RefuseOne;
    }
};

TEST_F(DirectMusicMode, StartsListsPortsAndPollsSegments) {
    LogCapture log;
    ASSERT_EQ(0, InitializeSoundSystem());
    for (const char* line : {"DirectSound8 の初期化を行います", "Device0:", "DirectSound の初期化は正常に終了しました"})
        EXPECT_TRUE(log.Contains(line)) << line;
    EXPECT_TRUE(log.Contains("出力ポート") || log.Contains("入力ポート"));
    EXPECT_FALSE(log.Contains("DirectSound インターフェースの取得")) << "the DirectSound start ran as well";
    ASSERT_TRUE(IsSoundSystemUp());
    ASSERT_NE(nullptr, GetDirectMusicPerformance());
    EXPECT_EQ(1, GetSoundSystemMode());

    Bytes mid = TinyMidiFile();
    DMUS_OBJECTDESC desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_MEMORY;
    desc.guidClass = kClsidSegment;
    desc.pbMemData = mid.data();
    desc.llMemLength = (LONGLONG)mid.size();
    IDirectMusicSegment8* segments[2] = {};
    for (auto& s : segments)
        ASSERT_TRUE(SUCCEEDED(GetDirectMusicLoader()->GetObject(&desc, kIidSegment8, (void**)&s)) && s)
            << "the loader made no segment of a MIDI file";
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
    EXPECT_EQ(0, GetMidiPlayState(never_seen));
    EXPECT_EQ(0, MidiRecordOf(never_seen)->seen_playing);
    EXPECT_EQ(0, DeleteMidiHandle(never_seen));
    // The other is left for the sound end, which unloads it while the performance still exists.
}

TEST_F(DirectMusicMode, MissingLoaderFallsBackToDirectSound) {
    Refuse(kClsidLoader);
    LogCapture log;
    ASSERT_EQ(0, InitializeSoundSystem());
    EXPECT_TRUE(log.Contains("前バージョンでの初期化処理に移ります"));
    EXPECT_TRUE(log.Contains("DirectSound インターフェースの取得を行います"));
    EXPECT_EQ(0, GetSoundSystemMode());
    EXPECT_NE(nullptr, GetPrimarySoundBuffer());
    EXPECT_EQ(nullptr, GetDirectMusicPerformance());
}

TEST_F(DirectMusicMode, MissingPerformanceFailsTheStartLeavingNothing) {
    Refuse(kClsidPerformance);
    LogCapture log;
    EXPECT_EQ(-1, InitializeSoundSystem());
    EXPECT_TRUE(log.Contains("DirectMusicPerformance オブジェクトの作成に失敗しました"));
    EXPECT_FALSE(IsSoundSystemUp());
    EXPECT_FALSE(IsSoundLockCreated());
    EXPECT_EQ(nullptr, GetDirectMusicLoader());
    EXPECT_EQ(1, GetSoundSystemMode());
}

}  // namespace
