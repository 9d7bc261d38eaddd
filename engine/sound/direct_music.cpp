#include "engine/sound/direct_music.h"

#include <cstring>

#include "engine/system/entry_points.h"
#include "engine/system/log.h"

static_assert(sizeof(DMUS_PORTCAPS) == 308, "DMUS_PORTCAPS is 308 bytes");
static_assert(sizeof(DMUS_AUDIOPARAMS) == 40, "DMUS_AUDIOPARAMS is 40 bytes");

static const GUID kClsidLoader = {0xD2AC2892, 0xB39B, 0x11D1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD}};
static const GUID kIidLoader8 = {0x19E7C08C, 0x0A44, 0x4E6A, {0xA1, 0x16, 0x59, 0x5A, 0x7C, 0xD5, 0xDE, 0x8C}};
static const GUID kClsidPerformance = {0xD2AC2881, 0xB39B, 0x11D1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD}};
static const GUID kIidPerformance8 = {0x679C4137, 0xC62E, 0x4147, {0xB2, 0xB4, 0x9D, 0x56, 0x9A, 0xCB, 0x25, 0x4C}};
static const GUID kClsidDirectMusic = {0x636B9F10, 0x0C7D, 0x11D1, {0x95, 0xB2, 0x00, 0x20, 0xAF, 0xDC, 0x74, 0x21}};
static const GUID kIidDirectMusic = {0x6536115A, 0x7B2D, 0x11D2, {0xBA, 0x18, 0x00, 0x00, 0xF8, 0x75, 0xAC, 0x12}};
static const GUID kIidDirectMusic8 = {0x2D3629F7, 0x813D, 0x4939, {0x85, 0x08, 0xF0, 0x5C, 0x6B, 0x75, 0xFD, 0x97}};
static const GUID kGuidPerfMasterVolume = {0xD2AC28B1, 0xB39B, 0x11D1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD}};
// Ports are listed until the device says there are no more; this bounds a device that never does.
static const DWORD kMaxPorts = 256;

static int g_mode = 0;
static IDirectMusicLoader8* g_loader = nullptr;
static IDirectMusicPerformance8* g_performance = nullptr;
static IDirectMusic* g_music = nullptr;
static int g_audio_up = 0;
static int g_master_volume = 0;

int GetSoundSystemMode() { return g_mode; }
void SetSoundSystemMode(int mode) { g_mode = mode == 1 ? 1 : 0; }
IDirectMusicPerformance8* GetDirectMusicPerformance() { return g_performance; }
IDirectMusicLoader8* GetDirectMusicLoader() { return g_loader; }
int GetDirectMusicMasterVolume() { return g_master_volume; }

static HRESULT Create(const GUID& clsid, DWORD context, const GUID& iid, void** out) {
    *out = nullptr;
    if (!WinApi.CoCreateInstance) return E_FAIL;
    HRESULT hr = WinApi.CoCreateInstance(clsid, nullptr, context, iid, out);
    return SUCCEEDED(hr) && !*out ? E_FAIL : hr;
}

static int FailDirectMusic(const char* message) {
    LogAppend(message);
    EndDirectMusic();
    return -1;
}

static void LogPorts(IDirectMusic8* music) {
    for (DWORD i = 0; i < kMaxPorts; i++) {
        DMUS_PORTCAPS caps;
        std::memset(&caps, 0, sizeof(caps));
        caps.dwSize = sizeof(caps);
        if (music->EnumPort(i, &caps) != S_OK) break;
        char name[DMUS_MAX_DESCRIPTION * 2 + 1];
        caps.wszDescription[DMUS_MAX_DESCRIPTION - 1] = 0;
        if (!WideCharToMultiByte(CP_ACP, 0, caps.wszDescription, -1, name, sizeof(name), nullptr, nullptr)) name[0] = 0;
        LogAppendFormat("%s  Device%d:%s ", caps.dwClass == DMUS_PC_OUTPUTCLASS ? "出力ポート" : "入力ポート", (int)i,
                        name);
    }
}

int StartDirectMusic(IDirectSound** dsound) {
    LogAppend("DirectSound8 の初期化を行います\n");
    const DWORD inproc = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
    if (FAILED(Create(kClsidLoader, inproc, kIidLoader8, (void**)&g_loader))) {
        LogAppend("DirectMusicLoader8 オブジェクトの作成に失敗しました\n");
        LogAppend("前バージョンでの初期化処理に移ります\n");
        g_mode = 0;
        return 1;
    }
    if (FAILED(Create(kClsidPerformance, inproc, kIidPerformance8, (void**)&g_performance)))
        return FailDirectMusic("DirectMusicPerformance オブジェクトの作成に失敗しました\n");
    IDirectMusic* music = nullptr;
    if (FAILED(Create(kClsidDirectMusic, CLSCTX_INPROC_SERVER, kIidDirectMusic, (void**)&music)))
        return FailDirectMusic("DirectMusic オブジェクトの取得に失敗しました\n");
    IDirectMusic8* music8 = nullptr;
    if (FAILED(music->QueryInterface(kIidDirectMusic8, (void**)&music8)) || !music8) {
        music->Release();
        return FailDirectMusic("DirectMusic8 オブジェクトの取得に失敗しました\n");
    }
    LogPorts(music8);
    music8->Release();
    music->Release();

    DMUS_AUDIOPARAMS params;
    std::memset(&params, 0, sizeof(params));
    params.dwSize = sizeof(params);
    params.fInitNow = TRUE;
    params.dwValidData = DMUS_AUDIOPARAMS_FEATURES | DMUS_AUDIOPARAMS_SAMPLERATE;
    params.dwFeatures = DMUS_AUDIOF_ALL;
    params.dwSampleRate = 44100;
    if (FAILED(g_performance->InitAudio(&g_music, dsound, nullptr, DMUS_APATH_SHARED_STEREOPLUSREVERB, 64,
                                        DMUS_AUDIOF_ALL, &params)))
        return FailDirectMusic("DirectMusicPerformanceオブジェクトの初期化に失敗しました\n");
    g_audio_up = 1;
    g_performance->GetGlobalParam(kGuidPerfMasterVolume, &g_master_volume, sizeof(g_master_volume));
    return 0;
}

void EndDirectMusic() {
    if (g_performance) {
        if (g_audio_up) {
            g_performance->Stop(nullptr, nullptr, 0, 0);
            g_performance->CloseDown();
        }
        g_performance->Release();
    }
    if (g_loader) g_loader->Release();
    if (g_music) g_music->Release();
    g_performance = nullptr;
    g_loader = nullptr;
    g_music = nullptr;
    g_audio_up = 0;
}
