// Engine start/end around each test, key and mouse injection, and the fakes' installation.
#pragma once
#include <gtest/gtest.h>

#include <windows.h>

#include "engine/input/input_state.h"
#include "engine/system/entry_points.h"
#include "engine/system/library.h"
#include "engine/system/window.h"
#include "fake_directinput.h"

class InputEngine : public testing::Test {
  protected:
    void SetUp() override {
        FakeReset();
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
        WinApi.CoCreateInstance = saved_.CoCreateInstance;
        WinApi.joyGetDevCapsA = saved_.joyGetDevCapsA;
        WinApi.joyGetPosEx = saved_.joyGetPosEx;
        EndLibrarySystems();
        SetDirectInputOffFlag(0);
        SetDirectInputKeyboardFlag(0);
        SetForceFeedbackOffFlag(0);
        SetNotSoundFlag(0);
        FakeReset();
    }
    // Restarts input on the scripted DirectInput and winmm joystick.
    int RestartWithFakes() {
        EndInput();
        WinApi.CoCreateInstance = FakeCoCreateInstance;
        WinApi.joyGetDevCapsA = FakeJoyGetDevCapsA;
        WinApi.joyGetPosEx = FakeJoyGetPosEx;
        return InitInput();
    }
    // Wine hands focus over through X events that may arrive after the start:
    // let them land so that injected keys reach this window.
    static void SettleFocus() {
        HWND w = GetMainWindow();
        DWORD start = GetTickCount();
        while (GetTickCount() - start < 2000) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            if (GetForegroundWindow() == w && GetFocus() == w && IsWindowActive()) break;
            SetForegroundWindow(w);
            Sleep(10);
        }
        DWORD quiet = GetTickCount();
        while (GetTickCount() - quiet < 100) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            Sleep(5);
        }
    }
    void SetActiveBySystem(int active) {
        SendMessageA(GetMainWindow(), WM_ACTIVATE, active ? WA_ACTIVE : WA_INACTIVE, 0);
    }
    PlatformEntryPoints saved_;
};

// Wine under Xvfb maps no scan code to a virtual key, so both are given.
inline void SendKey(WORD vk, WORD scan, bool extended, bool up) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = scan;
    in.ki.dwFlags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0);
    SendInput(1, &in, sizeof(in));
}

// Presses or releases a mouse button where the cursor is.
inline void SendMouseButton(DWORD button_flag) {
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = button_flag;
    SendInput(1, &in, sizeof(in));
}

// Pumps until the condition holds or the time runs out; the condition's last value.
template <class F>
bool PumpUntil(F condition, int limit_ms = 3000) {
    DWORD start = GetTickCount();
    for (;;) {
        Sleep(2);
        ProcessWindowMessages();
        if (condition()) return true;
        if (GetTickCount() - start > (DWORD)limit_ms) return false;
    }
}

inline void PumpFor(int ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < (DWORD)ms) {
        Sleep(2);
        ProcessWindowMessages();
    }
}
