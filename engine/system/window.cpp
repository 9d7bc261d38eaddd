#include "engine/system/window.h"

#include <cstring>

#include "engine/graphics/screen.h"
#include "engine/input/input.h"
#include "engine/input/text_input.h"
#include "engine/sound/midi.h"
#include "engine/sound/soft_sound.h"
#include "engine/movie/movie.h"
#include "engine/sound/sound_stream.h"
#include "engine/system/api_lock.h"
#include "engine/system/entry_points.h"
#include "engine/system/library.h"
#include "engine/system/log.h"
#include "engine/system/str_util.h"

namespace {

const char kClassName[] = "EngineMainWindowClass";

HWND g_window = nullptr;
int g_class_registered = 0;
int g_window_mode = 0;
int g_active = 0;
int g_end_requested = 0;
int g_close_posted = 0;
int g_inside_pump = 0;
int g_client_width = 640;
int g_client_height = 480;

DWORD WindowStyle() {
    return g_window_mode ? (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX) : WS_POPUP;
}

// Outer size of a window whose client area has the screen size.
void OuterSize(int* w, int* h) {
    RECT r = {0, 0, g_client_width, g_client_height};
    AdjustWindowRectEx(&r, WindowStyle(), FALSE, 0);
    *w = r.right - r.left;
    *h = r.bottom - r.top;
}

void SetActive(int active) { g_active = active; }

// One sweep of the queue; WM_QUIT marks the end.
void DrainMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            g_end_requested = 1;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

int MustPauseWhileInactive() { return g_window && !g_active && !GetAlwaysRunFlag() && !g_end_requested; }

}  // namespace

int ChangeWindowMode(int window_mode) {
    g_window_mode = window_mode ? 1 : 0;
    return 0;
}

int IsWindowMode() { return g_window_mode; }

int SetMainWindowClientSize(int width, int height) {
    if (width <= 0 || height <= 0) return -1;
    g_client_width = width;
    g_client_height = height;
    if (g_window) {
        int w, h;
        OuterSize(&w, &h);
        SetWindowPos(g_window, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return 0;
}

int SetUpMainWindow() {
    if (g_window) return 0;
    HINSTANCE inst = GetModuleHandleA(nullptr);
    if (!g_class_registered) {
        WNDCLASSEXA wc;
        std::memset(&wc, 0, sizeof wc);
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = MainWindowProc;
        wc.hInstance = inst;
        wc.hIcon = LoadIconA(nullptr, (LPCSTR)IDI_APPLICATION);
        wc.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
        wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
        wc.lpszClassName = kClassName;
        if (!RegisterClassExA(&wc)) return LogAppend("ウインドウクラスの登録に失敗しました\n");
        g_class_registered = 1;
    }
    g_end_requested = 0;
    g_close_posted = 0;
    g_active = 0;
    int w, h;
    OuterSize(&w, &h);
    int x = 0, y = 0;
    if (g_window_mode) {
        x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
        if (x < 0) x = 0;
        if (y < 0) y = 0;
    }
    g_window = CreateWindowExA(0, kClassName, GetMainWindowText(), WindowStyle(), x, y, w, h, nullptr, nullptr,
                               inst, nullptr);
    if (!g_window) return LogAppend("ウインドウの作成に失敗しました\n");
    if (!IsImeEnabled() && WinApi.WINNLSEnableIME) WinApi.WINNLSEnableIME(g_window, 0);
    ShowWindow(g_window, SW_SHOW);
    UpdateWindow(g_window);
    SetForegroundWindow(g_window);
    SetActiveWindow(g_window);
    if (GetActiveWindow() == g_window) SetActive(1);
    DrainMessages();
    LogAppend("ウインドウを作成しました\n");
    return 0;
}

int DestroyMainWindow() {
    DeleteAllTextInputs();
    if (g_window) {
        HWND w = g_window;
        g_window = nullptr;
        if (IsWindow(w)) DestroyWindow(w);
        // Leave nothing of this window in the queue for a later start.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_QUIT) DispatchMessageA(&msg);
        }
    }
    if (g_class_registered) {
        UnregisterClassA(kClassName, GetModuleHandleA(nullptr));
        g_class_registered = 0;
    }
    g_active = 0;
    return 0;
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
    case WM_ACTIVATE:
        SetActive(LOWORD(wparam) != WA_INACTIVE);
        ReacquireInputDevices();
        ApplyPadEffects();
        if (LOWORD(wparam) != WA_INACTIVE) OnMainWindowActivated();
        break;
    case WM_ACTIVATEAPP:
        if (wparam == 0) {
            SetActive(0);
            ReacquireInputDevices();
            ApplyPadEffects();
            SystemPauseAllMovies();
        } else {
            ResumeSystemPausedMovies();
        }
        break;
    case 0x46F:
    case 0x470:
        if (msg == 0x46F) wparam == 1 ? SetF10HookFlag() : ClearF10HookFlag();
        else wparam == 1 ? SetSysKeyHookFlag() : ClearSysKeyHookFlag();
        return 0;
    case WM_CHAR:
        PushWindowChar((unsigned char)wparam);
        break;
    case WM_KEYDOWN:
        PushEditKey((int)wparam);
        break;
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_ENDCOMPOSITION:
    case WM_IME_COMPOSITION:
    case WM_IME_SETCONTEXT:
    case WM_IME_NOTIFY:
        return HandleImeMessage(hwnd, msg, wparam, lparam);
    case MM_MCINOTIFY:
        OnMidiMciNotify();
        break;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        (void)dc;
        PaintWindowFromScreen(hwnd, dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_CLOSE:
        // The window stays until the engine ends: graphics still needs it then.
        g_end_requested = 1;
        return 0;
    case WM_DESTROY:
        g_end_requested = 1;
        if (hwnd == g_window) g_window = nullptr;
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

HWND GetMainWindow() { return g_window; }
int IsWindowActive() { return g_active; }
int IsEndRequested() { return g_end_requested; }
int IsClosePosted() { return g_close_posted; }
int IsInsideMessagePump() { return g_inside_pump; }

int PostEngineClose() {
    if (!g_window) return -1;
    g_close_posted = 1;
    PostMessageA(g_window, WM_CLOSE, 0, 0);
    return 0;
}

int WaitWhileInactive() {
    // The pump's own calls would otherwise spin here: a re-entered pump returns at once.
    if (g_inside_pump) return 0;
    while (MustPauseWhileInactive()) {
        if (ProcessWindowMessages() == -1) return -1;
    }
    return 0;
}

int ProcessWindowMessages() {
    if (g_inside_pump) return 0;
    g_inside_pump = 1;
    LibraryLockEnter();
    DrainMessages();
    PollMidiPlayState();
    if (LogicalProcessorCount <= 1) {
        RefillAllStreamSounds();
        PumpAllSoftSoundPlayers();
    }
    // The game stays paused in here while another window is active.
    while (MustPauseWhileInactive()) {
        Sleep(16);
        DrainMessages();
        if (LogicalProcessorCount <= 1) {
            RefillAllStreamSounds();
            PumpAllSoftSoundPlayers();
        }
        RedrawOverlayMovies();
    }
    UpdateKeyboardState();
    UpdatePadVibration();
    ProcessActiveTextInput();
    int result = g_end_requested ? -1 : 0;
    LibraryLockLeave();
    g_inside_pump = 0;
    return result;
}

int GetMousePosition(int* x, int* y) {
    POINT p = {0, 0};
    GetCursorPos(&p);
    if (g_window) ScreenToClient(g_window, &p);
    // The window is never scaled here, so the client pixels are the screen's.
    if (x) *x = p.x;
    if (y) *y = p.y;
    return 0;
}

int GetClientScreenRect(int rect[4], int) {
    RECT r = {0, 0, 0, 0};
    if (g_window) {
        GetClientRect(g_window, &r);
        POINT tl = {r.left, r.top}, br = {r.right, r.bottom};
        ClientToScreen(g_window, &tl);
        ClientToScreen(g_window, &br);
        r = {tl.x, tl.y, br.x, br.y};
    }
    rect[0] = r.left;
    rect[1] = r.top;
    rect[2] = r.right;
    rect[3] = r.bottom;
    return 0;
}

int GetClipboardText(char* dst, int dst_size) {
    if (!OpenClipboard(g_window)) return -1;
    int result = -1;
    HANDLE data = GetClipboardData(CF_TEXT);
    const char* text = data ? (const char*)GlobalLock(data) : nullptr;
    if (text) {
        size_t len = strnlen(text, GlobalSize(data));
        if (!dst) {
            result = (int)len + 1;
        } else if (dst_size > 0) {
            // The block need not hold a terminator: every read stays inside it.
            len = MultiByteCopyLength(text, GlobalSize(data), dst_size, LibraryCharsetIndex);
            std::memcpy(dst, text, len);
            dst[len] = 0;
            result = 0;
        }
        GlobalUnlock(data);
    }
    CloseClipboard();
    return result;
}

int SetClipboardText(const char* text) {
    if (!text) return -1;
    size_t len = std::strlen(text);
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, len + 1);
    if (!mem) return -1;
    char* p = (char*)GlobalLock(mem);
    std::memcpy(p, text, len + 1);
    GlobalUnlock(mem);
    if (!OpenClipboard(g_window)) {
        GlobalFree(mem);
        return -1;
    }
    EmptyClipboard();
    if (!SetClipboardData(CF_TEXT, mem)) {
        CloseClipboard();
        GlobalFree(mem);
        return -1;
    }
    CloseClipboard();
    return 0;
}
