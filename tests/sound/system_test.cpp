// The harness check, then start and end of the sound system: repeated, refused
// when doubled, undone completely when it fails.
#include "sound/sound_fixture.h"

using namespace soundtest;

namespace {

class SoundHarness : public SoundSystemTest {};

TEST_F(SoundHarness, CursorAdvancesInRealTimeAndStartListsDevices) {
    EXPECT_GT(HarnessCursorRate(), kHarnessRate * 0.5) << "play cursor too slow: no real-time audio device";
    EXPECT_LT(HarnessCursorRate(), kHarnessRate * 1.5) << "play cursor too fast";
    // The report of the fixture's start was written before this capture: start again.
    ASSERT_EQ(0, TerminateSoundSystem());
    LogCapture log;
    ASSERT_EQ(0, InitializeSoundSystem());
    for (const char* line : {"DirectSound の初期化を行います", "DirectSound デバイスを列挙します", "モジュール名:",
                             "DirectSound の初期化は正常に終了しました"})
        EXPECT_TRUE(log.Contains(line)) << line;
}

// These start from a system the fixture brought up and then ended.
class SoundSystem : public SoundSystemTest {
    void SetUp() override {
        SoundSystemTest::SetUp();
        ASSERT_EQ(0, TerminateSoundSystem());
    }
};

decltype(WinApi.CoCreateInstance) g_real_create;
DWORD g_create_context;
HRESULT WINAPI RecordContext(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
    g_create_context = context;
    return g_real_create(clsid, outer, context, iid, out);
}

TEST_F(SoundSystem, StartAndEndTwiceRefusingEveryCallWhileDown) {
    ExpectEverySoundCallRefused();
    Bytes wav = PcmWav(1, 8000, 16, Ramp16(800, 1));
    for (int round = 0; round < 2; round++) {
        g_real_create = WinApi.CoCreateInstance;
        WinApi.CoCreateInstance = RecordContext;
        g_create_context = 0;
        const int started = InitializeSoundSystem();
        WinApi.CoCreateInstance = g_real_create;
        ASSERT_EQ(0, started) << round;
        EXPECT_EQ(7u, g_create_context) << "DirectSound asked for in a context other than in-process or local";
        IDirectSound* ds = GetDirectSoundObject();
        EXPECT_EQ(-1, InitializeSoundSystem());
        EXPECT_EQ(ds, GetDirectSoundObject()) << "a refused start changed something";
        EXPECT_NE(nullptr, AcmApi.acmStreamOpen);
        // Sounds left at the end are deleted by it.
        ASSERT_NE(-1, CreateSoundFromFileImage(wav.data(), (unsigned)wav.size(), 3, -1));
        ASSERT_NE(-1, CreateSoundFromFileImage(wav.data(), (unsigned)wav.size(), 1, -1));
        ASSERT_EQ(0, TerminateSoundSystem());
        EXPECT_EQ(0, GetSoundHandleTable()->count);
        ExpectEverySoundCallRefused();
    }
}

HRESULT WINAPI RefuseCreate(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* out) {
    *out = nullptr;
    return REGDB_E_CLASSNOTREG;
}

// A DirectSound object whose Initialize fails; counts its references.
struct FailingDirectSound : IDirectSound {
    LONG refs = 1;
    STDMETHOD(QueryInterface)(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override { return --refs; }
    STDMETHOD(CreateSoundBuffer)(LPCDSBUFFERDESC, LPLPDIRECTSOUNDBUFFER, IUnknown*) override { return E_FAIL; }
    STDMETHOD(GetCaps)(LPDSCAPS) override { return E_FAIL; }
    STDMETHOD(DuplicateSoundBuffer)(LPDIRECTSOUNDBUFFER, LPLPDIRECTSOUNDBUFFER) override { return E_FAIL; }
    STDMETHOD(SetCooperativeLevel)(HWND, DWORD) override { return E_FAIL; }
    STDMETHOD(Compact)() override { return E_FAIL; }
    STDMETHOD(GetSpeakerConfig)(LPDWORD) override { return E_FAIL; }
    STDMETHOD(SetSpeakerConfig)(DWORD) override { return E_FAIL; }
    STDMETHOD(Initialize)(LPCGUID) override { return DSERR_NODRIVER; }
};
FailingDirectSound* g_fake;
HRESULT WINAPI CreateFailingDirectSound(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* out) {
    *out = g_fake;
    return S_OK;
}

TEST_F(SoundSystem, FailedStartUndoesEverything) {
    auto real = WinApi.CoCreateInstance;
    FailingDirectSound fake;
    g_fake = &fake;
    const struct {
        decltype(WinApi.CoCreateInstance) create;
        const char* log_line;
    } cases[] = {{RefuseCreate, "DirectSoundインターフェースの作成に失敗しました"},
                 {CreateFailingDirectSound, "初期化に失敗しました"}};
    for (auto& c : cases) {
        LogCapture log;
        WinApi.CoCreateInstance = c.create;
        EXPECT_EQ(-1, InitializeSoundSystem());
        EXPECT_TRUE(log.Contains(c.log_line)) << c.log_line;
        EXPECT_FALSE(IsSoundSystemUp());
        EXPECT_FALSE(IsSoundLockCreated()) << "the lock outlived a failed start";
        // msacm32 stays mapped (the platform holds it too); its entries must be gone.
        EXPECT_EQ(nullptr, AcmApi.acmStreamOpen) << "msacm32 stayed loaded";
    }
    WinApi.CoCreateInstance = real;
    EXPECT_EQ(0, fake.refs) << "the object of a failed start was not released";
    ExpectEverySoundCallRefused();
    ASSERT_EQ(0, InitializeSoundSystem());
    ASSERT_EQ(0, TerminateSoundSystem());
}

}  // namespace
