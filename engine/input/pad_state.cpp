// Pad reads and the queries the game makes every frame.
#include "engine/input/input_state.h"

#include <cstring>
#include <mmsystem.h>

#include "engine/system/entry_points.h"
#include "engine/system/library.h"
#include "engine/system/window.h"

static int ReadFallbackPad(JoypadRecord* pad, int index) {
    DWORD now = timeGetTime();
    if (now == pad->last_refresh) return 0;
    pad->last_refresh = now;
    JOYINFOEX info;
    memset(&info, 0, sizeof(info));
    info.dwSize = sizeof(info);
    info.dwFlags = JOY_RETURNALL;
    if (!WinApi.joyGetPosEx || WinApi.joyGetPosEx(index, &info) != JOYERR_NOERROR) {
        memset(&pad->state, 0, sizeof(pad->state));
        return 0;
    }
    pad->state.lX = MapFallbackAxis(info.dwXpos);
    pad->state.lY = MapFallbackAxis(info.dwYpos);
    pad->state.lZ = pad->z_and_r ? MapFallbackAxis(info.dwZpos) : 0;
    pad->state.lRz = pad->z_and_r ? MapFallbackAxis(info.dwRpos) : 0;
    for (int n = 0; n < 24; n++) pad->state.rgbButtons[n] = (info.dwButtons >> n) & 1 ? 0x80 : 0;
    return 0;
}

// -1 when the pump reports the end or input was ended during it.
static int PumpDuringPadRead(JoypadRecord* pad) {
    if (ProcessWindowMessages() != 0) return -1;
    if (!InputUsesDirectInput() || !pad->device) return -1;
    return 0;
}

int UpdatePadState(int pad_index) {
    if (pad_index < 0 || pad_index >= MAX_JOYPADS) return -1;
    JoypadRecord* pad = &g_input.pads[pad_index];
    if (g_input.directinput == INPUT_FALLBACK) return ReadFallbackPad(pad, pad_index);
    if (!pad->device) return 0;

    DWORD now = timeGetTime();
    if (now == pad->last_refresh && (!pad->event || WaitForSingleObject(pad->event, 0) != WAIT_OBJECT_0))
        return 0;
    pad->last_refresh = now;
    DIJOYSTATE state;
    pad->device->Poll();
    HRESULT hr = pad->device->GetDeviceState(sizeof(state), &state);
    if (FAILED(hr)) {
        if (PumpDuringPadRead(pad) != 0) return -1;
        if (SUCCEEDED(pad->device->Acquire())) {
            if (PumpDuringPadRead(pad) != 0) return -1;
            hr = pad->device->GetDeviceState(sizeof(state), &state);
        }
    }
    if (SUCCEEDED(hr)) pad->state = state;  // a failed read keeps the last state
    if (pad->event && WaitForSingleObject(pad->event, 0) == WAIT_OBJECT_0) ResetEvent(pad->event);
    return 0;
}

PadState GetPadState(int input_type) {
    if (input_type < 0) return 0;
    int result;
    if (BeginInputQuery(&result)) return 0;  // a fresh start has nothing to report yet
    int keyboard = (input_type & INPUT_TYPE_KEYBOARD) != 0;
    int p = (input_type & ~INPUT_TYPE_KEYBOARD) - 1;
    if ((p < -1 || p >= g_input.pad_count) && g_input.pad_count != 0 && !keyboard) return 0;
    if (keyboard && p >= MAX_JOYPADS) return 0;  // no key map beyond the last pad

    const DIJOYSTATE* joy = nullptr;
    if (p >= 0 && p < g_input.pad_count) {
        UpdatePadState(p);
        joy = &g_input.pads[p].state;
    }
    if (!keyboard) return ComposePadState(joy, nullptr, nullptr);
    UpdateKeyboardState();
    return ComposePadState(joy, g_input.key_state, g_input.KeyToPadMap[p < 0 ? 0 : p]);
}

int CheckKeyDown(int key_code) {
    if (key_code < 0 || key_code > 255) return 0;
    int result;
    if (BeginInputQuery(&result)) return 0;
    if (g_input.directinput == nullptr) return 0;  // the engine is closing
    UpdateKeyboardState();
    return (g_input.key_state[key_code] & 0x80) ? 1 : 0;
}

int GetAllKeyStates(unsigned char* out) {
    if (!out) return -1;
    int result;
    if (BeginInputQuery(&result)) {
        memset(out, 0, 256);
        return result;
    }
    UpdateKeyboardState();
    for (int k = 0; k < 256; k++) out[k] = (g_input.key_state[k] & 0x80) ? 1 : 0;
    return 0;
}

int GetMouseButtons() {
    if (InputUsesDirectInput() && g_input.mouse &&
        (g_input.directinput_keyboard || OsVersionCode < 0x108)) {
        DIMOUSESTATE2 state;
        if (FAILED(g_input.mouse->GetDeviceState(sizeof(state), &state))) {
            if (FAILED(g_input.mouse->Acquire()) || FAILED(g_input.mouse->GetDeviceState(sizeof(state), &state)))
                return 0;
        }
        int bits = 0;
        for (int k = 0; k < 8; k++)
            if (state.rgbButtons[k] & 0x80) bits |= 1 << k;
        return bits;
    }
    UpdateKeyboardState();
    if (g_input.fallback_mouse_valid)
        return g_input.fallback_mouse[0] | (g_input.fallback_mouse[1] << 1) | (g_input.fallback_mouse[2] << 2);
    unsigned char vk[256];
    if (!GetKeyboardState(vk)) return 0;
    return ((vk[VK_LBUTTON] & 0x80) ? 1 : 0) | ((vk[VK_RBUTTON] & 0x80) ? 2 : 0) | ((vk[VK_MBUTTON] & 0x80) ? 4 : 0);
}

int CheckAnyInput(int flags) {
    int result;
    if (BeginInputQuery(&result)) return 0;  // -1 would read as a press
    if (flags & 1) {
        UpdateKeyboardState();
        int key = ScanAnyKey(g_input.key_state, g_input.f10_hook);
        if (key != 0) return key;
        for (int n = 1; n <= g_input.pad_count; n++)
            if (GetPadState(n) != 0) return -1;
    }
    if (flags & 4) {
        int x = 0, y = 0, rect[4] = {0, 0, 0, 0};
        GetMousePosition(&x, &y);
        GetClientScreenRect(rect, 0);
        if (x >= 0 && y >= 0 && IsWindowActive() && x <= rect[2] - rect[0] && y <= rect[3] - rect[1] &&
            GetMouseButtons() != 0)
            return -1;
    }
    return 0;
}
