// Start and end of the sound system: twice in a row, refused when repeated,
// undone completely when it fails, and every call refused while it is down.
#include "sound/sound_fixture.h"

#include "engine/sound/sound.h"
#include "engine/sound/sound_handle.h"
#include "engine/system/entry_points.h"
#include "engine/system/log.h"

using namespace soundtest;

namespace {

class SoundSystem : public ::testing::Test {
protected:
    void SetUp() override {
        LoadPlatformEntryPoints();
        WinApi.CoInitialize(nullptr);
        blocks_ = MemLiveBlockCount();
    }
    void TearDown() override {
        EXPECT_FALSE(IsSoundSystemUp());
        EXPECT_EQ(blocks_, MemLiveBlockCount());
        WinApi.CoUninitialize();
    }
    int blocks_ = 0;
};

TEST_F(SoundSystem, DownBeforeStartAndAfterEnd) {
    ExpectEverySoundCallRefused();
    ASSERT_EQ(0, InitializeSoundSystem());
    ASSERT_EQ(0, TerminateSoundSystem());
    ExpectEverySoundCallRefused();
}

TEST_F(SoundSystem, StartEndTwiceAndSecondStartRefused) {
    for (int round = 0; round < 2; round++) {
        ASSERT_EQ(0, InitializeSoundSystem()) << round;
        IDirectSound* ds = GetDirectSoundObject();
        EXPECT_EQ(-1, InitializeSoundSystem());
        EXPECT_EQ(ds, GetDirectSoundObject()) << "a refused start changes nothing";
        EXPECT_TRUE(IsSoundLockCreated());
        EXPECT_EQ(0, GetCreateSoundDataType());
        // Sounds left at the end are deleted by it.
        int h = CreateSoundFromFileImage(PcmWav(1, 8000, 16, Ramp16(800, 1)).data(), 0, 1, -1);
        EXPECT_EQ(-1, h);
        Bytes wav = PcmWav(1, 8000, 16, Ramp16(800, 1));
        ASSERT_NE(-1, CreateSoundFromFileImage(wav.data(), (unsigned)wav.size(), 3, -1));
        ASSERT_NE(-1, CreateSoundFromFileImage(wav.data(), (unsigned)wav.size(), 1, -1));
        EXPECT_EQ(2, GetSoundHandleTable()->count);
        ASSERT_EQ(0, TerminateSoundSystem());
        EXPECT_EQ(0, GetSoundHandleTable()->count);
        EXPECT_EQ(-1, TerminateSoundSystem());
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
    {
        LogCapture log;
        WinApi.CoCreateInstance = RefuseCreate;
        EXPECT_EQ(-1, InitializeSoundSystem());
        EXPECT_TRUE(log.Contains("DirectSoundインターフェースの作成に失敗しました"));
        EXPECT_FALSE(IsSoundSystemUp());
        EXPECT_FALSE(IsSoundLockCreated()) << "the lock outlived a failed start";
        // msacm32 itself stays mapped (the platform holds it too); its entries must be gone.
        EXPECT_EQ(nullptr, AcmApi.acmStreamOpen) << "msacm32 stayed loaded";
    }
    {
        FailingDirectSound fake;
        g_fake = &fake;
        LogCapture log;
        WinApi.CoCreateInstance = CreateFailingDirectSound;
        EXPECT_EQ(-1, InitializeSoundSystem());
        EXPECT_TRUE(log.Contains("初期化に失敗しました"));
        EXPECT_EQ(0, fake.refs) << "the object of a failed start must be released";
        EXPECT_FALSE(IsSoundLockCreated());
        EXPECT_EQ(nullptr, AcmApi.acmFormatSuggest);
    }
    WinApi.CoCreateInstance = real;
    ExpectEverySoundCallRefused();
    // And a later start works.
    ASSERT_EQ(0, InitializeSoundSystem());
    ASSERT_EQ(0, TerminateSoundSystem());
}

}  // namespace
