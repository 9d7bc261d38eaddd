#include "engine/system/library.h"

#include <windows.h>
#include <cstring>

#include "engine/graphics/graphics_system.h"
#include "engine/input/input.h"
#include "engine/input/text_input.h"
#include "engine/movie/movie.h"
#include "engine/movie/theora_decoder.h"
#include "engine/sound/midi.h"
#include "engine/sound/sound.h"
#include "engine/sound/sound_system.h"
#include "engine/system/api_lock.h"
#include "engine/system/entry_points.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"
#include "engine/system/str_util.h"
#include "engine/system/window.h"

int OsVersionCode = 0;
int LogicalProcessorCount = 1;
int LibraryCharsetIndex = 0;
int LibraryCodePage = 0;

namespace {

int g_initialized = 0;
int g_com_initialized = 0;
char g_title[256] = "";
char g_startup_dir[MAX_PATH] = "";
int g_width = 640, g_height = 480, g_bits = 16, g_refresh = 60;
int g_no_sound = 0;
int g_always_run = 0;

const char* OsName(int code) {
    switch (code) {
    case 2: return "Windows 98";
    case 3: return "Windows Me";
    case 0x104: return "Windows NT 3.51";
    case 0x105: return "Windows NT 4.0";
    case 0x106: return "Windows 2000";
    case 0x107: return "Windows XP";
    case 0x108: return "Windows Vista";
    case 0x109: return "Windows 7";
    case 0x10A: return "Windows 8";
    case 0x10B: return "Windows 8.1";
    case 0x10C: return "Windows 10";
    }
    return "Windows";
}

void RecordVersion() {
    OSVERSIONINFOA vi;
    std::memset(&vi, 0, sizeof vi);
    vi.dwOSVersionInfoSize = sizeof vi;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&vi);
#pragma GCC diagnostic pop
    OsVersionCode = ComputeOsVersionCode((int)vi.dwPlatformId, (int)vi.dwMajorVersion, (int)vi.dwMinorVersion);
    LogAppendFormat("OS: %s ( %d.%d build %d ) %s", OsName(OsVersionCode), (int)vi.dwMajorVersion,
                    (int)vi.dwMinorVersion, (int)(vi.dwBuildNumber & 0xFFFF), vi.szCSDVersion);
}

void RecordSystemInfo() {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    LogicalProcessorCount = si.dwNumberOfProcessors > 0 ? (int)si.dwNumberOfProcessors : 1;
    LogAppendFormat("論理プロセッサ数: %d", LogicalProcessorCount);
    MEMORYSTATUSEX ms;
    ms.dwLength = sizeof ms;
    if (GlobalMemoryStatusEx(&ms)) {
        LogAppendFormat("物理メモリ: 全体 %u MB, 空き %u MB", (unsigned)(ms.ullTotalPhys >> 20),
                        (unsigned)(ms.ullAvailPhys >> 20));
    }
    HDC dc = GetDC(nullptr);
    if (dc) {
        LogAppendFormat("デスクトップ: %d x %d %d bit", GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES),
                        GetDeviceCaps(dc, BITSPIXEL));
        ReleaseDC(nullptr, dc);
    }
}

// Character set of the string helpers and the fonts, from the system code pages.
void RecordCharset() {
    switch (GetACP()) {
    case 932: LibraryCharsetIndex = 1; break;
    case 949: LibraryCharsetIndex = 2; break;
    case 950: LibraryCharsetIndex = 3; break;
    case 936: LibraryCharsetIndex = 4; break;
    default: LibraryCharsetIndex = 0; break;
    }
    UINT oem = GetOEMCP();
    LibraryCodePage = (oem == 932 || oem == 936 || oem == 949 || oem == 950) ? (int)oem : 0;
    LogAppendFormat("コードページ: ANSI %u, OEM %u", GetACP(), oem);
}

}  // namespace

int ComputeOsVersionCode(int platform_id, int major, int minor) {
    if (platform_id == VER_PLATFORM_WIN32_WINDOWS) {
        if (minor >= 90) return 3;
        if (minor >= 10) return 2;
        return 1;
    }
    if (major >= 10) return 0x10C;
    if (major == 6) return 0x108 + minor;
    if (major == 5) return minor == 0 ? 0x106 : 0x107;
    if (major == 4) return 0x105;
    return 0x104;
}

int IsLibraryInitialized() { return g_initialized; }

int SetMainWindowText(const char* title) {
    if (!title) return -1;
    size_t len = std::strlen(title);
    if (len >= sizeof g_title) len = sizeof g_title - 1;
    std::memcpy(g_title, title, len);
    g_title[len] = 0;
    if (GetMainWindow()) SetWindowTextA(GetMainWindow(), g_title);
    return 0;
}

const char* GetMainWindowText() { return g_title; }

int SetGraphMode(int width, int height, int bits, int refresh) {
    if (width <= 0 || height <= 0) return -1;
    g_width = width;
    g_height = height;
    g_bits = bits;
    g_refresh = refresh;
    SetMainWindowClientSize(width, height);
    return 0;
}

int GetGraphModeSettings(int* width, int* height, int* bits, int* refresh) {
    if (width) *width = g_width;
    if (height) *height = g_height;
    if (bits) *bits = g_bits;
    if (refresh) *refresh = g_refresh;
    return 0;
}

int SetNotSoundFlag(int flag) {
    g_no_sound = flag ? 1 : 0;
    return 0;
}
int GetNotSoundFlag() { return g_no_sound; }

int SetAlwaysRunFlag(int flag) {
    g_always_run = flag ? 1 : 0;
    return 0;
}
int GetAlwaysRunFlag() { return g_always_run; }

const char* GetStartupDirectory() { return g_startup_dir; }

int InitLibrarySystems() {
    LibraryLockInit();
    LibraryLockEnter();
    if (g_initialized) {
        LibraryLockLeave();
        return 0;
    }
    LoadPlatformEntryPoints();
    DWORD n = GetCurrentDirectoryA(sizeof g_startup_dir, g_startup_dir);
    if (n == 0 || n >= sizeof g_startup_dir) g_startup_dir[0] = 0;
    LogOpen(g_startup_dir);
    LogResetClock();
    LogAppend("ライブラリの初期化を開始します\n");
    LogIndentIn();
    RecordVersion();
    RecordSystemInfo();
    RecordCharset();
    LogAppendFormat("起動ディレクトリ: %s", g_startup_dir);
    LogIndentOut();

    // From here on a failure goes through the full end, which copes with any stage.
    g_initialized = 1;
    if (WinApi.CoInitialize && SUCCEEDED(WinApi.CoInitialize(nullptr))) g_com_initialized = 1;
    SetMainWindowClientSize(g_width, g_height);
    if (SetUpMainWindow() == -1) {
        EndLibrarySystems();
        LibraryLockLeave();
        return -1;
    }
    if (InitInput() == -1) { EndLibrarySystems(); LibraryLockLeave(); return -1; }
    if (!GetNotSoundFlag()) InitializeSoundSystem();
    if (InitGraphics() == -1) { EndLibrarySystems(); LibraryLockLeave(); return -1; }
    InitTextInput();
    InitYuvTables();
    LogAppend("ライブラリの初期化が完了しました\n");
    LibraryLockLeave();
    return 0;
}

int EndLibrarySystems() {
    LibraryLockEnter();
    if (!g_initialized) {
        LibraryLockLeave();
        return -1;
    }
    LogAppend("ライブラリの終了処理を開始します\n");
    StopAndDeleteMusic();
    DeleteAllSoundHandles(0);
    EndGraphics();
    EndInput();
    TerminateSoundSystem();
    if (g_com_initialized && WinApi.CoUninitialize) WinApi.CoUninitialize();
    g_com_initialized = 0;
    DestroyMainWindow();
    if (g_startup_dir[0]) SetCurrentDirectoryA(g_startup_dir);
    DeleteLeftBehindMovieCopies();
    MemDumpLiveBlocks();
    LogAppend("ライブラリの終了処理が完了しました\n");
    LogClose();
    UnloadPlatformEntryPoints();
    g_initialized = 0;
    LibraryLockLeave();
    return 0;
}
