// A time limit for test calls that could hang.
#pragma once
#include <windows.h>

#include <functional>

inline DWORD WINAPI RunTimeLimitedThunk(void* p) {
    (*(std::function<void()>*)p)();
    return 0;
}

// False when fn has not finished within ms; the thread is then abandoned so
// that a hang fails the test instead of stopping the run.
inline bool RunWithTimeout(const std::function<void()>& fn, DWORD ms) {
    auto* copy = new std::function<void()>(fn);  // leaked on purpose if abandoned
    HANDLE t = CreateThread(nullptr, 0, RunTimeLimitedThunk, copy, 0, nullptr);
    if (!t) return false;
    DWORD r = WaitForSingleObject(t, ms);
    CloseHandle(t);
    if (r != WAIT_OBJECT_0) return false;
    delete copy;
    return true;
}
