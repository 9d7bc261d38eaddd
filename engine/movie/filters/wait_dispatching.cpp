// Waiting on a handle without stopping the thread's message processing: the
// graph's application thread may be the window's thread.
#include "engine/movie/filters/renderer.h"

static UINT g_unblock_message;
static bool g_unblock_registered;

DWORD WaitDispatchingMessages(HANDLE handle, DWORD timeout, HWND window, UINT message, HANDLE second) {
    HANDLE handles[2] = {handle, second};
    const DWORD count = second ? 2 : 1;
    DWORD result = WaitForMultipleObjects(count, handles, FALSE, 0);
    if (result != WAIT_TIMEOUT) return result;
    DWORD left = timeout, start = GetTickCount();
    HANDLE thread = GetCurrentThread();
    int old_priority = GetThreadPriority(thread);
    bool raised = false;
    const DWORD wake = window ? QS_SENDMESSAGE | QS_POSTMESSAGE : QS_SENDMESSAGE;
    for (;;) {
        DWORD slice = left < 10 ? left : 10;
        result = MsgWaitForMultipleObjects(count, handles, FALSE, slice, wake);
        if (!raised && old_priority < 2) {
            SetThreadPriority(thread, 2);
            raised = true;
        }
        const bool message_woke = result == WAIT_OBJECT_0 + count;
        const bool slice_ended = result == WAIT_TIMEOUT && slice != left;
        if (!message_woke && !slice_ended) break;
        if (window) {
            MSG msg;
            while (PeekMessageA(&msg, window, message, message, PM_REMOVE)) DispatchMessageA(&msg);
        }
        MSG peek;
        PeekMessageA(&peek, nullptr, 0, 0, PM_NOREMOVE);
        if (timeout != 0 && timeout != INFINITE) {
            DWORD now = GetTickCount(), spent = now - start;
            start = now;
            left = spent >= left ? 0 : left - spent;
        }
        result = WaitForMultipleObjects(count, handles, FALSE, 0);
        if (result != WAIT_TIMEOUT || left == 0) break;
    }
    if (raised) SetThreadPriority(thread, old_priority);
    if (HIWORD(GetQueueStatus(QS_POSTMESSAGE)) & QS_POSTMESSAGE) {
        if (!g_unblock_registered) {
            g_unblock_message = RegisterWindowMessageA("AMUnblock");
            g_unblock_registered = true;
        }
        if (!g_unblock_message) {
            PostThreadMessageA(GetCurrentThreadId(), 0, 0, 0);
            return result;
        }
        MSG msg;
        while (PeekMessageA(&msg, (HWND)-1, g_unblock_message, g_unblock_message, PM_REMOVE)) {}
        PostThreadMessageA(GetCurrentThreadId(), g_unblock_message, 0, 0);
    }
    return result;
}
