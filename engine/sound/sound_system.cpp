#include "engine/sound/sound_system.h"

#include <cstring>

#include "engine/sound/direct_music.h"
#include "engine/sound/midi.h"
#include "engine/sound/soft_sound.h"
#include "engine/sound/sound_capture.h"
#include "engine/sound/sound_handle.h"
#include "engine/sound/sound_stream.h"
#include "engine/system/entry_points.h"
#include "engine/system/log.h"

static_assert(sizeof(DSBUFFERDESC) == 36, "DSBUFFERDESC is 36 bytes");
static_assert(sizeof(DSCAPS) == 96, "DSCAPS is 96 bytes");

static const GUID kClsidDirectSound = {0x47D4D946, 0x62E8, 0x11CF, {0x93, 0xBC, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
static const GUID kIidDirectSound = {0x279AFA83, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
// In-process or local server, never remote (CLSCTX_ALL would add the remote server bit).
static const DWORD kDirectSoundContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

AcmEntryPoints AcmApi;

static IDirectSound* g_dsound = nullptr;
static IDirectSoundBuffer* g_primary = nullptr;
static IDirectSoundBuffer* g_silence = nullptr;
// Kept for the process's life: see TerminateSoundSystem.
static IDirectSound* g_kept_dsound = nullptr;
static HMODULE g_acm_module = nullptr;
static CRITICAL_SECTION g_lock;
static int g_lock_created = 0;
static int g_software_location = 0;
static int g_ogg_output_bytes = 2;

int IsSoundSystemUp() { return g_dsound != nullptr; }
IDirectSound* GetDirectSoundObject() { return g_dsound; }
IDirectSoundBuffer* GetPrimarySoundBuffer() { return g_primary; }
void SoundLockEnter() { EnterCriticalSection(&g_lock); }
void SoundLockLeave() { LeaveCriticalSection(&g_lock); }
int SoundLockLeaveAll() {
    int holds = 0;
    while (g_lock.OwningThread == (HANDLE)(ULONG_PTR)GetCurrentThreadId() && g_lock.RecursionCount > 0) {
        LeaveCriticalSection(&g_lock);
        holds++;
    }
    return holds;
}
void SoundLockEnterAgain(int holds) {
    while (holds-- > 0) EnterCriticalSection(&g_lock);
}
int IsSoundLockCreated() { return g_lock_created; }
DWORD GetSoundBufferLocationFlag() { return g_software_location ? DSBCAPS_LOCSOFTWARE : DSBCAPS_STATIC; }
int GetOggVorbisOutputBytes() { return g_ogg_output_bytes; }

static void CreateSoundLock() {
    InitializeCriticalSection(&g_lock);
    g_lock_created = 1;
}

static void DeleteSoundLock() {
    if (!g_lock_created) return;
    DeleteCriticalSection(&g_lock);
    // Cleared so that a stray use of the dead lock shows at once instead of working by luck.
    std::memset(&g_lock, 0, sizeof(g_lock));
    g_lock_created = 0;
}

static void LoadAcm() {
    if (g_acm_module) return;
    g_acm_module = LoadLibraryA("msacm32.dll");
    if (!g_acm_module) return;
    AcmApi.acmFormatSuggest = (decltype(AcmApi.acmFormatSuggest))GetProcAddress(g_acm_module, "acmFormatSuggest");
    AcmApi.acmStreamOpen = (decltype(AcmApi.acmStreamOpen))GetProcAddress(g_acm_module, "acmStreamOpen");
    AcmApi.acmStreamClose = (decltype(AcmApi.acmStreamClose))GetProcAddress(g_acm_module, "acmStreamClose");
    AcmApi.acmMetrics = (decltype(AcmApi.acmMetrics))GetProcAddress(g_acm_module, "acmMetrics");
    AcmApi.acmStreamPrepareHeader =
        (decltype(AcmApi.acmStreamPrepareHeader))GetProcAddress(g_acm_module, "acmStreamPrepareHeader");
    AcmApi.acmStreamConvert = (decltype(AcmApi.acmStreamConvert))GetProcAddress(g_acm_module, "acmStreamConvert");
    AcmApi.acmStreamUnprepareHeader =
        (decltype(AcmApi.acmStreamUnprepareHeader))GetProcAddress(g_acm_module, "acmStreamUnprepareHeader");
    AcmApi.acmStreamSize = (decltype(AcmApi.acmStreamSize))GetProcAddress(g_acm_module, "acmStreamSize");
}

static void UnloadAcm() {
    if (g_acm_module) FreeLibrary(g_acm_module);
    g_acm_module = nullptr;
    std::memset(&AcmApi, 0, sizeof(AcmApi));
}

// Undoes a start that failed part-way: nothing of it may outlive the failure.
static int FailStart() {
    if (g_primary) g_primary->Release();
    g_primary = nullptr;
    if (g_dsound) g_dsound->Release();
    g_dsound = nullptr;
    UnloadAcm();
    DeleteSoundLock();
    return -1;
}

static void SetPrimaryFormat() {
    DSCAPS caps;
    std::memset(&caps, 0, sizeof(caps));
    caps.dwSize = sizeof(caps);
    g_dsound->GetCaps(&caps);
    WAVEFORMATEX fmt;
    std::memset(&fmt, 0, sizeof(fmt));
    fmt.wFormatTag = WAVE_FORMAT_PCM;
    fmt.nChannels = (caps.dwFlags & DSCAPS_PRIMARYSTEREO) ? 2 : 1;
    fmt.wBitsPerSample = (caps.dwFlags & DSCAPS_PRIMARY16BIT) ? 16 : 8;
    fmt.nSamplesPerSec = caps.dwMaxSecondarySampleRate > 44100 ? 44100 : caps.dwMaxSecondarySampleRate;
    fmt.nBlockAlign = (WORD)(fmt.wBitsPerSample / 8 * fmt.nChannels);
    fmt.nAvgBytesPerSec = fmt.nBlockAlign * fmt.nSamplesPerSec;
    fmt.cbSize = 0;
    if (FAILED(g_primary->SetFormat(&fmt)))
        LogAppend("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");
}

static void CreateSilenceBuffer() {
    WAVEFORMATEX fmt;
    std::memset(&fmt, 0, sizeof(fmt));
    fmt.wFormatTag = WAVE_FORMAT_PCM;
    fmt.nChannels = 2;
    fmt.nSamplesPerSec = 44100;
    fmt.wBitsPerSample = 16;
    fmt.nBlockAlign = 4;
    fmt.nAvgBytesPerSec = 176400;
    DSBUFFERDESC desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DSBCAPS_GLOBALFOCUS | GetSoundBufferLocationFlag();
    desc.dwBufferBytes = fmt.nBlockAlign * 100;
    desc.lpwfxFormat = &fmt;
    if (FAILED(g_dsound->CreateSoundBuffer(&desc, &g_silence, nullptr)) || !g_silence) {
        g_silence = nullptr;
        LogAppend("無音バッファの作成に失敗しました");
        return;
    }
    void *p1 = nullptr, *p2 = nullptr;
    DWORD s1 = 0, s2 = 0;
    if (FAILED(g_silence->Lock(0, desc.dwBufferBytes, &p1, &s1, &p2, &s2, 0))) {
        LogAppend("無音バッファのロックに失敗しました");
        g_silence->Release();
        g_silence = nullptr;
        return;
    }
    if (p1) std::memset(p1, 0, s1);
    if (p2) std::memset(p2, 0, s2);
    g_silence->Unlock(p1, s1, p2, s2);
    g_silence->Play(0, 0, DSBPLAY_LOOPING);
}

static BOOL CALLBACK DSoundEnumCallback(GUID*, const char* description, const char* module, void*) {
    LogAppendFormat("モジュール名:%15s  ドライバ記述:%s ", module ? module : "", description ? description : "");
    return TRUE;
}

typedef HRESULT(WINAPI* DirectSoundEnumerateAFn)(LPDSENUMCALLBACKA, LPVOID);

static void LogDeviceReport() {
    LogIndentIn();
    DSCAPS caps;
    std::memset(&caps, 0, sizeof(caps));
    caps.dwSize = sizeof(caps);
    g_dsound->GetCaps(&caps);
    LogAppend("DirectSound デバイスを列挙します\n");
    LogIndentIn();
    HMODULE dll = LoadLibraryA("DSOUND.DLL");
    if (!dll) {
        LogAppend("DSOUND.DLL のロードに失敗しました\n");
        LogIndentOut();
        LogIndentOut();
        return;
    }
    DirectSoundEnumerateAFn enumerate = (DirectSoundEnumerateAFn)GetProcAddress(dll, "DirectSoundEnumerateA");
    if (!enumerate) {
        FreeLibrary(dll);
        LogAppend("DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n");
        LogIndentOut();
        LogIndentOut();
        return;
    }
    enumerate((LPDSENUMCALLBACKA)DSoundEnumCallback, nullptr);
    LogIndentOut();
    auto ok = [&](DWORD bit) { return (caps.dwFlags & bit) ? "OK" : "NO"; };
    LogAppendFormat("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ",
                    (unsigned)caps.dwMaxSecondarySampleRate / 1000.0, (unsigned)caps.dwMinSecondarySampleRate / 1000.0);
    LogAppendFormat("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n", caps.dwTotalHwMemBytes / 1000.0,
                    caps.dwFreeHwMemBytes / 1000.0);
    LogAppend("利用可能サンプリング精度\n");
    LogAppendFormat(" プライマリ １６bit = %s  ８bit = %s ", ok(DSCAPS_PRIMARY16BIT), ok(DSCAPS_PRIMARY8BIT));
    LogAppendFormat(" セカンダリ １６bit = %s  ８bit = %s \n", ok(DSCAPS_SECONDARY16BIT), ok(DSCAPS_SECONDARY8BIT));
    LogAppend("利用可能チャンネル\n");
    LogAppendFormat(" プライマリ MONO = %s  STEREO = %s ", ok(DSCAPS_PRIMARYMONO), ok(DSCAPS_PRIMARYSTEREO));
    LogAppendFormat(" セカンダリ MONO = %s  STEREO = %s \n", ok(DSCAPS_SECONDARYMONO), ok(DSCAPS_SECONDARYSTEREO));
    LogIndentOut();
    FreeLibrary(dll);
}

// Mode 0: DirectSound with its primary buffer.
static int StartDirectSound() {
    LogAppend("DirectSound の初期化を行います\n");
    LogAppend("DirectSound インターフェースの取得を行います....  ");
    IDirectSound* ds = nullptr;
    if (!WinApi.CoCreateInstance ||
        FAILED(WinApi.CoCreateInstance(kClsidDirectSound, nullptr, kDirectSoundContext, kIidDirectSound, (void**)&ds)) || !ds) {
        LogAppend("DirectSoundインターフェースの作成に失敗しました\n");
        return FailStart();
    }
    g_dsound = ds;
    LogAppend("成功\n");
    LogAppend("引き続きインターフェースの初期化処理...  ");
    HRESULT hr = g_dsound->Initialize(nullptr);
    if (FAILED(hr)) {
        LogAppend("初期化に失敗しました\n");
        LogAppendFormat("エラーコード %x", (unsigned)hr);
        return FailStart();
    }
    LogAppend("成功\n");
    if (FAILED(g_dsound->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY))) {
        LogAppend("DirectSoundの協調レベルの設定に失敗しました\n");
        return FailStart();
    }
    DSBUFFERDESC desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER | (g_software_location ? DSBCAPS_LOCSOFTWARE : 0);
    if (FAILED(g_dsound->CreateSoundBuffer(&desc, &g_primary, nullptr)) || !g_primary) {
        g_primary = nullptr;
        LogAppend("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");
        return FailStart();
    }
    SetPrimaryFormat();
    return 0;
}

int InitializeSoundSystem() {
    if (g_dsound) return -1;
    CreateSoundLock();
    LoadAcm();
    // 1: DirectMusic could not be created and the mode is 0 now.
    const int music = GetSoundSystemMode() == 1 ? StartDirectMusic(&g_dsound) : 1;
    if (music == -1) return FailStart();
    if (music == 1 && StartDirectSound() == -1) return -1;
    CreateSilenceBuffer();

    SetCreateSoundDataType(0);
    g_ogg_output_bytes = 2;
    InitStreamPlayList();
    InitSoftSoundPlayerList();

    LogDeviceReport();
    DeleteAllSoundHandles(0);
    DeleteAllSoftSoundData();
    DeleteAllSoftSoundPlayers();
    StartSoundThread();

    LogAppend("DirectSound の初期化は正常に終了しました\n");
    return 0;
}

int TerminateSoundSystem() {
    if (!g_dsound) return -1;
    StopSoundThread();
    FinishSoundCaptureFile();
    DeleteAllSoundHandles(0);
    DeleteAllSoftSoundData();
    DeleteAllSoftSoundPlayers();
    DeleteAllMidiHandles();
    DeleteTemporaryMidiFile();
    DeleteSoundLock();
    EndDirectMusic();
    if (g_primary) {
        g_primary->Stop();
        g_primary->Release();
        g_primary = nullptr;
    }
    if (g_silence) {
        g_silence->Stop();
        g_silence->Release();
        g_silence = nullptr;
    }
    // A render left behind may be making or dropping a DirectSound renderer of
    // its own; the platform frees the device they share under it when the last
    // other reference goes meanwhile. Ours then stays, and the device with it.
    if (PlatformEntryPointsHeld() && !g_kept_dsound) {
        g_kept_dsound = g_dsound;
    } else {
        g_dsound->Release();
    }
    g_dsound = nullptr;
    UnloadAcm();
    LogAppend("DirectSound の終了処理は正常に終了しました\n");
    return 0;
}
