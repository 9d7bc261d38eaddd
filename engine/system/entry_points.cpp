#include "engine/system/entry_points.h"

#include <cstddef>

PlatformEntryPoints WinApi;

namespace {

struct EntryName {
    int library;       // index into kLibraries
    const char* name;
    size_t offset;     // of the pointer inside PlatformEntryPoints
};

const char* const kLibraries[] = {"ole32.dll", "winmm.dll", "Imm32.dll", "user32.dll"};
HMODULE g_modules[4];
// Which entries this module filled (a test's stand-ins are left alone).
bool g_loaded[32];
volatile LONG g_com_holds = 0;
bool g_com_kept = false;   // the last unload left ole32 and its entries for calls still out
const int kOle32 = 0;

#define ENTRY(lib, fn) {lib, #fn, offsetof(PlatformEntryPoints, fn)}
const EntryName kEntries[] = {
    ENTRY(0, CoCreateInstance), ENTRY(0, CoTaskMemAlloc), ENTRY(0, CoTaskMemFree), ENTRY(0, CoInitialize),
    ENTRY(0, CoFreeUnusedLibraries), ENTRY(0, CoUninitialize),
    ENTRY(1, timeGetTime), ENTRY(1, timeSetEvent), ENTRY(1, timeKillEvent), ENTRY(1, timeBeginPeriod),
    ENTRY(1, timeEndPeriod), ENTRY(1, joyGetPosEx), ENTRY(1, joyGetDevCapsA), ENTRY(1, mciSendCommandA),
    ENTRY(2, ImmGetContext), ENTRY(2, ImmReleaseContext), ENTRY(2, ImmGetOpenStatus), ENTRY(2, ImmSetOpenStatus),
    ENTRY(2, ImmNotifyIME), ENTRY(2, ImmGetCandidateListA), ENTRY(2, ImmGetCompositionStringA),
    ENTRY(2, ImmSetCompositionStringA),
    ENTRY(3, WINNLSEnableIME),
};
#undef ENTRY
static_assert(sizeof kEntries / sizeof kEntries[0] <= sizeof g_loaded / sizeof g_loaded[0], "flag per entry");

FARPROC* Slot(const EntryName& e) { return (FARPROC*)((char*)&WinApi + e.offset); }

}  // namespace

int LoadPlatformEntryPoints() {
    // ole32 may still be loaded, its entries ours, for a call left behind by an earlier start.
    const bool com_kept = g_com_kept;
    g_com_kept = false;
    for (int i = 0; i < 4; i++)
        if (!(com_kept && i == kOle32)) g_modules[i] = LoadLibraryA(kLibraries[i]);
    int i = 0;
    for (const EntryName& e : kEntries) {
        FARPROC* slot = Slot(e);
        if (com_kept && e.library == kOle32 && g_loaded[i]) {
            i++;
            continue;
        }
        g_loaded[i] = false;
        if (!*slot && g_modules[e.library]) {
            *slot = GetProcAddress(g_modules[e.library], e.name);
            g_loaded[i] = *slot != nullptr;
        }
        i++;
    }
    return 0;
}

void UnloadPlatformEntryPoints() {
    // No hold is taken after this check: only a running engine starts such calls.
    const bool keep_com = ComEntryPointsHeld();
    g_com_kept = keep_com;
    int i = 0;
    for (const EntryName& e : kEntries) {
        if (!(keep_com && e.library == kOle32)) {
            if (g_loaded[i]) *Slot(e) = nullptr;
            g_loaded[i] = false;
        }
        i++;
    }
    for (int m = 0; m < 4; m++) {
        if (keep_com && m == kOle32) continue;
        if (g_modules[m]) FreeLibrary(g_modules[m]);
        g_modules[m] = nullptr;
    }
}

void HoldComEntryPoints() { InterlockedIncrement(&g_com_holds); }
void ReleaseComEntryPoints() { InterlockedDecrement(&g_com_holds); }
bool ComEntryPointsHeld() { return InterlockedCompareExchange(&g_com_holds, 0, 0) > 0; }
