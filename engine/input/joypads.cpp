// Joypad enumeration, set-up and release under DirectInput.
#include "engine/input/input_state.h"

#include <cstring>

#include "engine/system/log.h"
#include "engine/system/window.h"

static const DWORD kAxisOffsets[6] = {DIJOFS_X, DIJOFS_Y, DIJOFS_Z, DIJOFS_RX, DIJOFS_RY, DIJOFS_RZ};

// Releases whatever a pad holds and clears its slot. A pad that never got as far
// as acquiring (a failed set-up step) only has its objects released.
static void ClearPad(JoypadRecord* pad, int acquired = 1) {
    if (pad->device && acquired) {
        pad->device->Unacquire();
        pad->device->SetEventNotification(nullptr);
    }
    ReleasePadEffects(pad);
    if (pad->device) pad->device->Release();
    if (pad->event) CloseHandle(pad->event);
    memset(pad, 0, sizeof(*pad));
}

// The header of a property of `size` bytes addressed to one axis.
static void AxisPropertyHeader(DIPROPHEADER* h, DWORD size, DWORD offset) {
    h->dwSize = size;
    h->dwHeaderSize = sizeof(DIPROPHEADER);
    h->dwObj = offset;
    h->dwHow = DIPH_BYOFFSET;
}

static HRESULT SetAxisRange(IDirectInputDevice7A* dev, DWORD offset) {
    DIPROPRANGE range;
    AxisPropertyHeader(&range.diph, sizeof(range), offset);
    range.lMin = -1000;
    range.lMax = 1000;
    return dev->SetProperty(DIPROP_RANGE, &range.diph);
}

static HRESULT SetAxisDeadZone(IDirectInputDevice7A* dev, DWORD offset) {
    DIPROPDWORD zone;
    AxisPropertyHeader(&zone.diph, sizeof(zone), offset);
    zone.dwData = 3500;
    return dev->SetProperty(DIPROP_DEADZONE, &zone.diph);
}

// Applies one axis setting to every axis. Only X and Y must take it: on their
// failure the pad is cleared (and false returned), the others may lack the axis.
static bool SetEveryAxis(JoypadRecord* pad, HRESULT (*set)(IDirectInputDevice7A*, DWORD), const char* x_failed,
                         const char* y_failed) {
    for (int a = 0; a < 6; a++) {
        if (SUCCEEDED(set(pad->device, kAxisOffsets[a])) || a >= 2) continue;
        ClearPad(pad, 0);
        LogAppend(a == 0 ? x_failed : y_failed);
        return false;
    }
    return true;
}

BOOL CALLBACK OnJoypadFound(LPCDIDEVICEINSTANCEA instance, LPVOID) {
    LogAppend("入力装置を見つけました\n");
    if (g_input.pad_count >= MAX_JOYPADS || !instance) return DIENUM_STOP;
    JoypadRecord* pad = &g_input.pads[g_input.pad_count];
    memset(pad, 0, sizeof(*pad));
    HWND hwnd = GetMainWindow();

    IDirectInputDevice7A* dev = nullptr;
    if (FAILED(CreateInputDevice(instance->guidInstance, &dev)) || !dev) {
        LogAppend("入力装置の取得に失敗しました\n");
        return DIENUM_CONTINUE;
    }
    pad->device = dev;

    DIDEVICEINSTANCEA info;
    memset(&info, 0, sizeof(info));
    info.dwSize = sizeof(info);
    dev->GetDeviceInfo(&info);
    lstrcpynA(pad->instance_name, info.tszInstanceName, sizeof(pad->instance_name));
    lstrcpynA(pad->product_name, info.tszProductName, sizeof(pad->product_name));
    LogIndentIn();
    LogAppendFormat("デバイスの登録名:%s", pad->instance_name);
    LogAppendFormat("デバイスの製品登録名:%s", pad->product_name);
    LogIndentOut();

    if (FAILED(dev->SetDataFormat(JoystickDataFormat()))) {
        ClearPad(pad, 0);
        LogAppend("ジョイパッドデバイスではありませんでした、又は設定に失敗しました\n");
        return DIENUM_CONTINUE;
    }
    if (FAILED(dev->SetCooperativeLevel(hwnd, DISCL_EXCLUSIVE | DISCL_FOREGROUND)))
        LogAppend("ジョイパッドデバイスの協調レベルの設定に失敗しました\n");

    if (!SetEveryAxis(pad, SetAxisRange, "ジョイパッドデバイスのＸ軸関係の設定に失敗しました\n",
                      "ジョイパッドデバイスのＹ軸関係の設定に失敗しました\n") ||
        !SetEveryAxis(pad, SetAxisDeadZone, "ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました\n",
                      "ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました\n"))
        return DIENUM_CONTINUE;

    if (g_input.force_feedback_off != 1) CreatePadEffects(pad);
    pad->vibrating = 0;
    pad->power = 10000;
    pad->constant_started = 0;
    pad->sine_started = 0;

    pad->event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HRESULT hr = pad->event ? dev->SetEventNotification(pad->event) : E_FAIL;
    if (hr != DI_OK && hr != DI_POLLEDDEVICE) {
        LogAppend("ジョイパッドイベントのセットアップが失敗しました\n");
        ClearPad(pad, 0);
        return DIENUM_CONTINUE;
    }

    dev->Acquire();
    memset(&pad->state, 0, sizeof(pad->state));
    g_input.pad_count++;
    LogAppend("ジョイパッドの追加は正常に終了しました\n");
    return g_input.pad_count >= MAX_JOYPADS ? DIENUM_STOP : DIENUM_CONTINUE;
}

int SetupJoypads() {
    if (!InputUsesDirectInput()) return -1;
    ReleaseJoypads();
    LogAppend("ジョイパッドの初期化... \n");
    g_input.pad_count = 0;
    // Type 4 is the joystick class under version 7 and the game-controller class under 8.
    if (g_input.version8)
        ((IDirectInput8A*)g_input.directinput)->EnumDevices(4, OnJoypadFound, nullptr, DIEDFL_ATTACHEDONLY);
    else
        ((IDirectInput7A*)g_input.directinput)->EnumDevices(4, OnJoypadFound, nullptr, DIEDFL_ATTACHEDONLY);
    LogAppend("ジョイパッドの初期化は正常に終了しました\n");
    return 0;
}

int ReleaseJoypads() {
    if (!InputUsesDirectInput()) return -1;
    for (int i = 0; i < MAX_JOYPADS; i++) ClearPad(&g_input.pads[i]);
    g_input.pad_count = 0;
    return 0;
}
