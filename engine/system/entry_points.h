// Platform entry points loaded by name at engine start (null when missing).
// They are plain pointers so that tests can install scripted stand-ins.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <mmsystem.h>
#include <imm.h>

struct PlatformEntryPoints {
    // ole32.dll
    HRESULT (WINAPI* CoCreateInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
    LPVOID (WINAPI* CoTaskMemAlloc)(SIZE_T);
    void (WINAPI* CoTaskMemFree)(LPVOID);
    HRESULT (WINAPI* CoInitialize)(LPVOID);
    void (WINAPI* CoFreeUnusedLibraries)();
    void (WINAPI* CoUninitialize)();
    // winmm.dll
    DWORD (WINAPI* timeGetTime)();
    MMRESULT (WINAPI* timeSetEvent)(UINT, UINT, LPTIMECALLBACK, DWORD_PTR, UINT);
    MMRESULT (WINAPI* timeKillEvent)(UINT);
    MMRESULT (WINAPI* timeBeginPeriod)(UINT);
    MMRESULT (WINAPI* timeEndPeriod)(UINT);
    MMRESULT (WINAPI* joyGetPosEx)(UINT, LPJOYINFOEX);
    MMRESULT (WINAPI* joyGetDevCapsA)(UINT_PTR, LPJOYCAPSA, UINT);
    MCIERROR (WINAPI* mciSendCommandA)(MCIDEVICEID, UINT, DWORD_PTR, DWORD_PTR);
    // Imm32.dll
    HIMC (WINAPI* ImmGetContext)(HWND);
    BOOL (WINAPI* ImmReleaseContext)(HWND, HIMC);
    BOOL (WINAPI* ImmGetOpenStatus)(HIMC);
    BOOL (WINAPI* ImmSetOpenStatus)(HIMC, BOOL);
    BOOL (WINAPI* ImmNotifyIME)(HIMC, DWORD, DWORD, DWORD);
    DWORD (WINAPI* ImmGetCandidateListA)(HIMC, DWORD, LPCANDIDATELIST, DWORD);
    LONG (WINAPI* ImmGetCompositionStringA)(HIMC, DWORD, LPVOID, DWORD);
    BOOL (WINAPI* ImmSetCompositionStringA)(HIMC, DWORD, LPVOID, DWORD, LPVOID, DWORD);
    // user32.dll
    BOOL (WINAPI* WINNLSEnableIME)(HWND, BOOL);
};

extern PlatformEntryPoints WinApi;

// Loads the libraries and fills WinApi (entries already set by a test are kept).
int LoadPlatformEntryPoints();
// Clears what Load filled, unless a hold is out: then everything stays loaded.
void UnloadPlatformEntryPoints();
// Taken by a thread that may outlive the engine's end (a platform call left
// behind at its time limit), before it starts and released after its last
// platform call: the entries its graph's filters use (COM memory, the
// multimedia timers) stay valid for it whenever it returns.
void HoldPlatformEntryPoints();
void ReleasePlatformEntryPoints();
// Whether such a thread is out now.
bool PlatformEntryPointsHeld();
