// Engine start/end around each test, the fakes' installation, key injection, pumping.
#pragma once
#include <gtest/gtest.h>

#include <windows.h>

#include "engine/input/input_state.h"
#include "engine/system/entry_points.h"
#include "engine/system/library.h"
#include "engine/system/window.h"
#include "fake_directinput.h"

// Pumps until the condition holds or the time runs out; the condition's last value.
template <class F>
bool PumpUntil(F condition, int limit_ms = 3000) {
    for (DWORD start = GetTickCount();;) {
        Sleep(2);
        ProcessWindowMessages();
        if (condition()) return true;
        if (GetTickCount() - start > (DWORD)limit_ms) return false;
    }
}

inline void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

class InputEngine : public testing::Test {
  protected:
    void SetUp() override {
        g_script = FakeScript();
        ChangeWindowMode(1);
        SetGraphMode(640, 480, 16, 60);
        SetNotSoundFlag(1);
        SetAlwaysRunFlag(0);
        ASSERT_EQ(InitLibrarySystems(), 0);
        saved_ = WinApi;
        SettleFocus();
    }
    void TearDown() override {
        EndInput();
        EXPECT_EQ(FakeLiveObjects(), 0);  // every scripted object went back
        WinApi = saved_;
        EndLibrarySystems();
        SetDirectInputOffFlag(0);
        SetDirectInputKeyboardFlag(0);
        SetNotSoundFlag(0);
        g_record = FakeRecord();
    }
    // Restarts input on the scripted DirectInput and winmm joystick.
    static int RestartWithFakes() {
        EndInput();
        WinApi.CoCreateInstance = FakeCoCreateInstance;
        WinApi.joyGetDevCapsA = FakeJoyGetDevCapsA;
        WinApi.joyGetPosEx = FakeJoyGetPosEx;
        return InitInput();
    }
    // Wine hands focus over through X events that may land after the start: let
    // them arrive (outside the engine's pump, which waits while inactive).
    static void SettleFocus() {
        HWND w = GetMainWindow();
        for (DWORD start = GetTickCount(), quiet = 0; GetTickCount() - start < 2100;) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            if (!quiet && GetForegroundWindow() == w && GetFocus() == w && IsWindowActive()) quiet = GetTickCount();
            if (quiet && GetTickCount() - quiet >= 100) break;
            if (!quiet) SetForegroundWindow(w);
            Sleep(5);
        }
    }
    static void SetActiveBySystem(int active) {
        SendMessageA(GetMainWindow(), WM_ACTIVATE, active ? WA_ACTIVE : WA_INACTIVE, 0);
    }
    PlatformEntryPoints saved_;
};

inline DWORD WINAPI ActivateAfter(LPVOID delay_ms) {
    Sleep((DWORD)(uintptr_t)delay_ms);
    PostMessageA(GetMainWindow(), WM_ACTIVATE, WA_ACTIVE, 0);
    return 0;
}

// A thread that activates the main window after the delay; the caller closes it.
inline HANDLE ActivateLater(int delay_ms) {
    return CreateThread(nullptr, 0, ActivateAfter, (LPVOID)(uintptr_t)delay_ms, 0, nullptr);
}

// Wine under Xvfb maps no scan code to a virtual key, so both are given.
inline void SendKey(BYTE vk, BYTE scan, bool extended, bool up) {
    keybd_event(vk, scan, (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0), 0);
}
