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
volatile LONG g_holds = 0;
bool g_kept = false;   // the last unload left everything loaded for calls still out

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
    // Still loaded, the entries ours, for a call left behind by an earlier start.
    const bool kept = g_kept;
    g_kept = false;
    if (!kept)
        for (int i = 0; i < 4; i++) g_modules[i] = LoadLibraryA(kLibraries[i]);
    int i = 0;
    for (const EntryName& e : kEntries) {
        FARPROC* slot = Slot(e);
        if (kept && g_loaded[i]) {
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
    g_kept = PlatformEntryPointsHeld();
    if (g_kept) return;
    int i = 0;
    for (const EntryName& e : kEntries) {
        if (g_loaded[i]) *Slot(e) = nullptr;
        g_loaded[i++] = false;
    }
    for (HMODULE& m : g_modules) {
        if (m) FreeLibrary(m);
        m = nullptr;
    }
}

void HoldPlatformEntryPoints() { InterlockedIncrement(&g_holds); }
void ReleasePlatformEntryPoints() { InterlockedDecrement(&g_holds); }
bool PlatformEntryPointsHeld() { return InterlockedCompareExchange(&g_holds, 0, 0) > 0; }
