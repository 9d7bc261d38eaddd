// Input start and end, the keyboard refresh and re-acquisition on activation.
#include "engine/input/input_state.h"

#include <cstring>
#include <mmsystem.h>

#include "engine/system/api_lock.h"
#include "engine/system/entry_points.h"
#include "engine/system/library.h"
#include "engine/system/log.h"
#include "engine/system/window.h"

InputState g_input;

enum { OS_VERSION_VISTA = 0x108 };

int SetDirectInputOffFlag(int flag) { g_input.directinput_off = flag ? 1 : 0; return 0; }
int GetDirectInputOffFlag() { return g_input.directinput_off; }
int SetForceFeedbackOffFlag(int flag) { g_input.force_feedback_off = flag ? 1 : 0; return 0; }
int SetDirectInputKeyboardFlag(int flag) { g_input.directinput_keyboard = flag ? 1 : 0; return 0; }

int IsInputStarted() {
    if (g_input.directinput == nullptr) return 0;
    return g_input.directinput == INPUT_FALLBACK ? 2 : 1;
}

int GetJoypadCount() { return g_input.pad_count; }

int GetKeyToPadMap(int pad_index, int map_out[32][4]) {
    if (pad_index < 0 || pad_index >= MAX_JOYPADS) return -1;
    memcpy(map_out, g_input.KeyToPadMap[pad_index], sizeof(g_input.KeyToPadMap[0]));
    return 0;
}

JoypadRecord* GetJoypadRecord(int pad_index) {
    if (pad_index < 0 || pad_index >= MAX_JOYPADS) return nullptr;
    return &g_input.pads[pad_index];
}

int KeyboardUsesDirectInput() {
    return g_input.directinput_off != 1 && g_input.keyboard != nullptr &&
           (g_input.directinput_keyboard || OsVersionCode < OS_VERSION_VISTA);
}

HRESULT CreateInputDevice(REFGUID guid, IDirectInputDevice7A** out) {
    *out = nullptr;
    if (g_input.version8)
        return ((IDirectInput8A*)g_input.directinput)->CreateDevice(guid, (IDirectInputDevice8A**)out, nullptr);
    return ((IDirectInput7A*)g_input.directinput)->CreateDeviceEx(guid, IID_IDirectInputDevice7A, (void**)out, nullptr);
}

// Releases every device, event and the DirectInput object, nulling each, so
// that a half-made start or a fatal error leaves input cleanly not started.
static void ReleaseInputObjects() {
    if (InputUsesDirectInput()) ReleaseJoypads();
    if (g_input.keyboard) {
        g_input.keyboard->Unacquire();
        g_input.keyboard->Release();
        g_input.keyboard = nullptr;
    }
    if (g_input.keyboard_event) {
        CloseHandle(g_input.keyboard_event);
        g_input.keyboard_event = nullptr;
    }
    if (g_input.mouse) {
        g_input.mouse->Unacquire();
        g_input.mouse->Release();
        g_input.mouse = nullptr;
    }
    if (InputUsesDirectInput()) ((IUnknown*)g_input.directinput)->Release();
    g_input.directinput = nullptr;
    g_input.pad_count = 0;
}

[[noreturn]] static void FatalInputError(const char* message) {
    ReleaseInputObjects();
    g_input.starting = 0;
    FatalLibraryError(message);
}

static HRESULT CreateComObject(REFCLSID clsid, REFIID iid, void** out) {
    *out = nullptr;
    if (!WinApi.CoCreateInstance) return E_NOINTERFACE;
    return WinApi.CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out);
}

// DirectInput 7, else 8. 0 with the object set, -1 when neither could be had.
static int CreateDirectInput() {
    HINSTANCE module = GetModuleHandleA(nullptr);
    LogAppend("DirectInput関係初期化処理\n");
    LogAppend("DirectInput7 の取得中... ");
    void* obj = nullptr;
    HRESULT hr = CreateComObject(CLSID_DirectInput, IID_IDirectInput7A, &obj);
    if (SUCCEEDED(hr) && obj) {
        LogAppend("成功\n");
        LogAppend("引き続き初期化処理... ");
        if (FAILED(((IDirectInput7A*)obj)->Initialize(module, 0x0700))) {
            LogAppend("初期化に失敗。");
            ((IUnknown*)obj)->Release();
            obj = nullptr;
        }
    } else {
        LogAppend("取得に失敗。\n");
        LogAppendFormat("エラーコード 0x%x", (unsigned)hr);
        obj = nullptr;
    }
    if (obj) {
        g_input.directinput = obj;
        g_input.version8 = 0;
        return 0;
    }

    LogAppend("DirectInput8 の取得を試みます...");
    hr = CreateComObject(CLSID_DirectInput8, IID_IDirectInput8A, &obj);
    if (SUCCEEDED(hr) && obj) {
        LogAppend("成功\n");
        LogAppend("引き続き初期化処理... ");
        if (FAILED(((IDirectInput8A*)obj)->Initialize(module, 0x0800))) {
            LogAppend("初期化に失敗。");
            ((IUnknown*)obj)->Release();
            obj = nullptr;
        }
    } else {
        LogAppend("取得に失敗。");
        obj = nullptr;
    }
    if (!obj) return -1;
    g_input.directinput = obj;
    g_input.version8 = 1;
    return 0;
}

static void SetUpMouse() {
    HWND hwnd = GetMainWindow();
    LogAppend("マウスデバイスの初期化... ");
    if (FAILED(CreateInputDevice(GUID_SysMouse, &g_input.mouse)) || !g_input.mouse)
        FatalInputError("マウスデバイスの取得に失敗しました");
    if (FAILED(g_input.mouse->SetDataFormat(Mouse2DataFormat())))
        FatalInputError("マウスデバイスのデータ形式の設定に失敗しました");
    if (FAILED(g_input.mouse->SetCooperativeLevel(hwnd, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND)))
        FatalInputError("マウスデバイスの協調レベルの設定に失敗しました");
    LogAppend("初期化成功\n");
    g_input.last_keyboard_refresh = timeGetTime();
}

// 0, or -1 when the keyboard's notification event cannot be set up.
static int SetUpKeyboard() {
    HWND hwnd = GetMainWindow();
    LogAppend("キーボードデバイスの初期化... ");
    if (FAILED(CreateInputDevice(GUID_SysKeyboard, &g_input.keyboard)) || !g_input.keyboard)
        FatalInputError("キーボードデバイスの取得に失敗しました");
    if (FAILED(g_input.keyboard->SetDataFormat(KeyboardDataFormat())))
        FatalInputError("キーボードデバイスのデータ形式の設定に失敗しました");
    if (FAILED(g_input.keyboard->SetCooperativeLevel(hwnd, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND)))
        FatalInputError("キーボードデバイスの協調レベルの設定に失敗しました");

    DIPROPDWORD buffer;
    buffer.diph.dwSize = sizeof(DIPROPDWORD);
    buffer.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    buffer.diph.dwObj = 0;
    buffer.diph.dwHow = DIPH_DEVICE;
    buffer.dwData = 100;
    if (FAILED(g_input.keyboard->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph)))
        LogAppend("キーボードのプロパティ設定に失敗しました\n");

    g_input.keyboard_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HRESULT hr = g_input.keyboard_event ? g_input.keyboard->SetEventNotification(g_input.keyboard_event)
                                        : E_FAIL;
    if (hr != DI_OK && hr != DI_POLLEDDEVICE) {
        LogAppend("キーボードイベントのセットアップが失敗しました\n");
        return -1;
    }
    if (FAILED(g_input.keyboard->Acquire()) && FAILED(g_input.keyboard->Acquire()))
        FatalInputError("キーボードデバイスの取得に失敗しました");
    LogAppend("初期化成功\n");
    g_input.last_keyboard_refresh = timeGetTime();
    LogAppend("DirectInput 関連の初期化は正常に終了しました\n");
    return 0;
}

static void StartFallbackMode() {
    int found = 0;
    for (int i = 0; i < MAX_JOYPADS; i++) {
        JOYCAPSA caps;
        memset(&caps, 0, sizeof(caps));
        // Any non-zero result (Wine answers JOYERR_PARMS at once) means no pad.
        if (!WinApi.joyGetDevCapsA || WinApi.joyGetDevCapsA(i, &caps, sizeof(caps)) != JOYERR_NOERROR) break;
        g_input.pads[i].z_and_r = (caps.wCaps & (JOYCAPS_HASZ | JOYCAPS_HASR)) == (JOYCAPS_HASZ | JOYCAPS_HASR);
        found++;
    }
    g_input.pad_count = found;
    LogAppendFormat("パッドの数は %d 個です", found);
    g_input.directinput = INPUT_FALLBACK;
    LogAppend("入力関連の初期化をしました\n");
    // Every pad is asked on every read, so one plugged in later is seen.
    g_input.pad_count = MAX_JOYPADS;
}

int InitInput() {
    if (g_input.directinput != nullptr || g_input.starting) return 0;

    // Only the settings and the key map outlive a restart.
    static int saved_map[MAX_JOYPADS][32][4];
    int directinput_off = g_input.directinput_off;
    int force_feedback_off = g_input.force_feedback_off;
    int directinput_keyboard = g_input.directinput_keyboard;
    int defaults_done = g_input.keymap_defaults_done;
    memcpy(saved_map, g_input.KeyToPadMap, sizeof(saved_map));
    memset(&g_input, 0, sizeof(g_input));
    g_input.directinput_off = directinput_off;
    g_input.force_feedback_off = force_feedback_off;
    g_input.directinput_keyboard = directinput_keyboard;
    g_input.keymap_defaults_done = defaults_done;
    memcpy(g_input.KeyToPadMap, saved_map, sizeof(saved_map));
    g_input.starting = 1;

    if (g_input.directinput_off != 1 && CreateDirectInput() != 0) {
        LogAppend("DirectInput を使用しません。\n");
        ReleaseInputObjects();
        g_input.directinput_off = 1;
    }
    if (g_input.directinput_off != 1) {
        LogAppend("初期化成功\n");
        BringWindowToTop(GetMainWindow());
        ProcessWindowMessages();
        SetupJoypads();
        SetUpMouse();
        if (SetUpKeyboard() != 0) {
            ReleaseInputObjects();
            g_input.starting = 0;
            return -1;
        }
    } else {
        StartFallbackMode();
    }

    if (!g_input.keymap_defaults_done) {
        WriteDefaultKeyMap(g_input.KeyToPadMap);
        g_input.keymap_defaults_done = 1;
    }
    g_input.starting = 0;
    return 0;
}

int EndInput() {
    if (g_input.directinput == nullptr) return 0;
    if (g_input.directinput == INPUT_FALLBACK) {
        LogAppend("入力関連の終了処理... 完了\n");
        g_input.directinput = nullptr;
        g_input.pad_count = 0;
        return 0;
    }
    LogAppend("DirectInput 関連の終了処理... 完了\n");
    ReleaseInputObjects();
    return 0;
}

int ReacquireInputDevices() {
    if (!InputUsesDirectInput()) return 0;
    HWND hwnd = GetMainWindow();
    DWORD level = IsWindowActive() == 1 ? (DISCL_EXCLUSIVE | DISCL_FOREGROUND) : (DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
    for (int i = 0; i < g_input.pad_count; i++) {
        IDirectInputDevice7A* dev = g_input.pads[i].device;
        if (!dev) continue;
        dev->Unacquire();
        dev->SetCooperativeLevel(hwnd, level);
        dev->Acquire();
    }
    // Windows keeps a background keyboard acquired, Wine drops it on focus loss:
    // acquiring again covers both (a refused acquire is retried on the next read).
    if (g_input.keyboard) {
        g_input.keyboard->Unacquire();
        g_input.keyboard->Acquire();
    }
    return 0;
}

static int RefreshKeyboardFromDevice() {
    DWORD now = timeGetTime();
    HANDLE ev = g_input.keyboard_event;
    if (now == g_input.last_keyboard_refresh && (!ev || WaitForSingleObject(ev, 0) != WAIT_OBJECT_0))
        return 0;
    if (ProcessWindowMessages() != 0) return 0;
    if (!InputUsesDirectInput() || !g_input.keyboard) return 0;
    unsigned char keys[256];
    if (FAILED(g_input.keyboard->GetDeviceState(sizeof(keys), keys))) {
        if (FAILED(g_input.keyboard->Acquire()) || FAILED(g_input.keyboard->GetDeviceState(sizeof(keys), keys)))
            return 0;
    }
    memcpy(g_input.key_state, keys, sizeof(keys));
    g_input.last_keyboard_refresh = now;
    ev = g_input.keyboard_event;
    if (ev && WaitForSingleObject(ev, 0) == WAIT_OBJECT_0) ResetEvent(ev);
    // The right Shift comes from the window system's state.
    unsigned char vk[256];
    if (GetKeyboardState(vk)) g_input.key_state[DIK_RSHIFT] = vk[VK_RSHIFT];
    return 1;
}

static int RefreshKeyboardFromWindowSystem() {
    // The window system's key state belongs to the thread that pumps messages.
    if (LibraryLockOwner() != (int)GetCurrentThreadId()) return 0;
    DWORD now = timeGetTime();
    if (now == g_input.last_keyboard_refresh) return 0;
    g_input.last_keyboard_refresh = now;
    if (ProcessWindowMessages() != 0) return 0;
    unsigned char vk[256];
    if (!GetKeyboardState(vk)) return 0;
    RebuildKeyStateFromVk(vk, g_input.key_state);
    g_input.fallback_mouse[0] = (vk[VK_LBUTTON] & 0x80) >> 7;
    g_input.fallback_mouse[1] = (vk[VK_RBUTTON] & 0x80) >> 7;
    g_input.fallback_mouse[2] = (vk[VK_MBUTTON] & 0x80) >> 7;
    g_input.fallback_mouse_valid = 1;
    return 1;
}

int UpdateKeyboardState() {
    if (g_input.keyboard_refreshing) return 0;
    g_input.keyboard_refreshing = 1;
    int refreshed = KeyboardUsesDirectInput() ? RefreshKeyboardFromDevice() : RefreshKeyboardFromWindowSystem();
    g_input.keyboard_refreshing = 0;
    return refreshed;
}

int BeginInputQuery(int* result) {
    WaitWhileInactive();
    if (g_input.directinput != nullptr) return 0;
    // After the engine's own close, go on with what is left instead of starting again.
    if (IsClosePosted()) return 0;
    *result = InitInput();
    return 1;
}

int SetF10HookFlag() { g_input.f10_hook = 1; return 0; }
int ClearF10HookFlag() { g_input.f10_hook = 0; return 0; }
int SetSysKeyHookFlag() { g_input.syskey_hook = 1; return 0; }
int ClearSysKeyHookFlag() { g_input.syskey_hook = 0; return 0; }
