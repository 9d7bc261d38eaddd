#include "fake_directinput.h"

#include <cstring>

FakeScript g_script;
FakeRecord g_record;

static GUID JoystickGuid(int i) {
    GUID g = {0x4A4F5900u + (unsigned)i, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    return g;
}

HRESULT FakeEffect::SetParameters(LPCDIEFFECT eff, DWORD flags) {
    set_params++;
    last_param_flags = flags;
    if (eff && eff->lpvTypeSpecificParams && eff->cbTypeSpecificParams == sizeof(DICONSTANTFORCE))
        magnitude = ((const DICONSTANTFORCE*)eff->lpvTypeSpecificParams)->lMagnitude;
    return DI_OK;
}

HRESULT FakeDevice::SetProperty(REFGUID prop, LPCDIPROPHEADER header) {
    if (kind != FAKE_JOYSTICK) return DI_OK;
    DWORD ofs = header->dwObj;
    if (&prop == &DIPROP_RANGE) {
        if ((fail == JOY_FAIL_RANGE_X && ofs == DIJOFS_X) || (fail == JOY_FAIL_RANGE_Y && ofs == DIJOFS_Y) ||
            (fail == JOY_FAIL_RANGE_Z && ofs == DIJOFS_Z))
            return DIERR_OBJECTNOTFOUND;
        range_min = ((const DIPROPRANGE*)header)->lMin;
        range_max = ((const DIPROPRANGE*)header)->lMax;
    } else if (&prop == &DIPROP_DEADZONE) {
        if ((fail == JOY_FAIL_DEADZONE_X && ofs == DIJOFS_X) || (fail == JOY_FAIL_DEADZONE_Y && ofs == DIJOFS_Y) ||
            (fail == JOY_FAIL_DEADZONE_RZ && ofs == DIJOFS_RZ))
            return DIERR_OBJECTNOTFOUND;
        dead_zone = ((const DIPROPDWORD*)header)->dwData;
    }
    return DI_OK;
}

HRESULT FakeDevice::Acquire() {
    acquires++;
    if (failing_acquires > 0) {
        failing_acquires--;
        return DIERR_OTHERAPPHASPRIO;
    }
    acquired = 1;
    return DI_OK;
}

HRESULT FakeDevice::GetDeviceState(DWORD size, LPVOID data) {
    reads++;
    if (failing_reads > 0) {
        failing_reads--;
        return DIERR_INPUTLOST;
    }
    if (size != data_size) return DIERR_INVALIDPARAM;
    if (kind == FAKE_KEYBOARD) memcpy(data, g_script.keys, 256);
    if (kind == FAKE_JOYSTICK) memcpy(data, &joy, sizeof(joy));
    if (kind == FAKE_MOUSE) {
        DIMOUSESTATE2 m = {};
        memcpy(m.rgbButtons, g_script.mouse_buttons, 8);
        memcpy(data, &m, sizeof(m));
    }
    return DI_OK;
}

HRESULT FakeDevice::SetDataFormat(LPCDIDATAFORMAT format) {
    if (fail == JOY_FAIL_FORMAT) return DIERR_INVALIDPARAM;
    data_size = format->dwDataSize;
    return DI_OK;
}

HRESULT FakeDevice::SetEventNotification(HANDLE ev) {
    if (ev && kind == FAKE_KEYBOARD && g_script.keyboard_event_fails) return DIERR_GENERIC;
    if (ev && fail == JOY_FAIL_EVENT) {
        g_record.refused_event = ev;
        return DIERR_GENERIC;
    }
    event = ev;
    return (ev && fail == JOY_POLLED) ? DI_POLLEDDEVICE : DI_OK;
}

HRESULT FakeDevice::SetCooperativeLevel(HWND, DWORD level) {
    coop_level = level;
    coop_history.push_back(level);
    return DI_OK;
}

HRESULT FakeDevice::GetDeviceInfo(LPDIDEVICEINSTANCEA info) {
    if (info->dwSize != sizeof(DIDEVICEINSTANCEA)) return DIERR_INVALIDPARAM;
    wsprintfA(info->tszInstanceName, "Fake pad %d", joy_index + 1);
    wsprintfA(info->tszProductName, "Fake product %d", joy_index + 1);
    return DI_OK;
}

HRESULT FakeDevice::CreateEffect(REFGUID kind, LPCDIEFFECT eff, LPDIRECTINPUTEFFECT* out, LPUNKNOWN) {
    *out = nullptr;
    int sine = kind == GUID_Sine;
    if (!sine && fail == JOY_FAIL_CONSTANT) return DIERR_UNSUPPORTED;
    FakeEffect* e = new FakeEffect;
    e->is_sine = sine;
    if (!sine) e->magnitude = ((const DICONSTANTFORCE*)eff->lpvTypeSpecificParams)->lMagnitude;
    g_record.effects.push_back(e);
    (sine ? this->sine : constant) = e;
    *out = e;
    return DI_OK;
}

static HRESULT CreateFakeDevice(REFGUID guid, void** out) {
    *out = nullptr;
    // Checked before any new handle could take the refused event's value.
    if (g_record.refused_event && g_record.refused_event_closed < 0) {
        DWORD flags;
        g_record.refused_event_closed = GetHandleInformation(g_record.refused_event, &flags) ? 0 : 1;
    }
    FakeDevice* d = nullptr;
    if (guid == GUID_SysMouse) {
        d = g_record.mouse = new FakeDevice(FAKE_MOUSE);
    } else if (guid == GUID_SysKeyboard) {
        d = g_record.keyboard = new FakeDevice(FAKE_KEYBOARD);
    } else {
        for (int i = 0; i < g_script.joystick_count; i++) {
            if (guid != JoystickGuid(i)) continue;
            if (g_script.joy_fail[i] == JOY_FAIL_CREATE) return DIERR_DEVICENOTREG;
            d = new FakeDevice(FAKE_JOYSTICK);
            d->joy_index = i;
            d->fail = g_script.joy_fail[i];
            g_record.joysticks.push_back(d);
        }
    }
    if (!d) return DIERR_DEVICENOTREG;
    g_record.devices.push_back(d);
    *out = d;
    return DI_OK;
}

static HRESULT EnumFakeJoysticks(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID ref, DWORD flags) {
    g_record.enum_type = type;
    g_record.enum_flags = flags;
    for (int i = 0; i < g_script.joystick_count; i++) {
        DIDEVICEINSTANCEA inst;
        memset(&inst, 0, sizeof(inst));
        inst.dwSize = sizeof(inst);
        inst.guidInstance = JoystickGuid(i);
        inst.guidProduct = JoystickGuid(i);
        g_record.enum_calls++;
        if (callback(&inst, ref) == DIENUM_STOP) break;
    }
    return DI_OK;
}

struct FakeDirectInput7 : IDirectInput7A {
    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return ++g_record.object_refs; }
    STDMETHOD_(ULONG, Release)() override { return --g_record.object_refs; }
    STDMETHOD(CreateDevice)(REFGUID, LPDIRECTINPUTDEVICEA*, LPUNKNOWN) override { return E_NOTIMPL; }
    STDMETHOD(EnumDevices)(DWORD type, LPDIENUMDEVICESCALLBACKA cb, LPVOID ref, DWORD flags) override {
        return EnumFakeJoysticks(type, cb, ref, flags);
    }
    STDMETHOD(GetDeviceStatus)(REFGUID) override { return E_NOTIMPL; }
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Initialize)(HINSTANCE, DWORD version) override {
        return (g_script.di7_init_fails || version != 0x0700) ? DIERR_BETADIRECTINPUTVERSION : DI_OK;
    }
    STDMETHOD(FindDevice)(REFGUID, LPCSTR, LPGUID) override { return E_NOTIMPL; }
    STDMETHOD(CreateDeviceEx)(REFGUID guid, REFIID iid, LPVOID* out, LPUNKNOWN) override {
        g_record.used_create_device_ex++;
        if (iid != IID_IDirectInputDevice7A) return E_NOINTERFACE;
        return CreateFakeDevice(guid, out);
    }
};

struct FakeDirectInput8 : IDirectInput8A {
    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return ++g_record.object_refs; }
    STDMETHOD_(ULONG, Release)() override { return --g_record.object_refs; }
    STDMETHOD(CreateDevice)(REFGUID guid, LPDIRECTINPUTDEVICE8A* out, LPUNKNOWN) override {
        g_record.used_create_device++;
        return CreateFakeDevice(guid, (void**)out);
    }
    STDMETHOD(EnumDevices)(DWORD type, LPDIENUMDEVICESCALLBACKA cb, LPVOID ref, DWORD flags) override {
        return EnumFakeJoysticks(type, cb, ref, flags);
    }
    STDMETHOD(GetDeviceStatus)(REFGUID) override { return E_NOTIMPL; }
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Initialize)(HINSTANCE, DWORD version) override {
        return version == 0x0800 ? DI_OK : DIERR_BETADIRECTINPUTVERSION;
    }
    STDMETHOD(FindDevice)(REFGUID, LPCSTR, LPGUID) override { return E_NOTIMPL; }
    STDMETHOD(EnumDevicesBySemantics)(LPCSTR, LPDIACTIONFORMATA, LPDIENUMDEVICESBYSEMANTICSCBA, LPVOID, DWORD) override {
        return E_NOTIMPL;
    }
    STDMETHOD(ConfigureDevices)(LPDICONFIGUREDEVICESCALLBACK, LPDICONFIGUREDEVICESPARAMSA, DWORD, LPVOID) override {
        return E_NOTIMPL;
    }
};

static FakeDirectInput7 g_di7;
static FakeDirectInput8 g_di8;

HRESULT WINAPI FakeCoCreateInstance(REFCLSID clsid, LPUNKNOWN, DWORD context, REFIID iid, LPVOID* out) {
    *out = nullptr;
    if (context != CLSCTX_INPROC_SERVER) return E_INVALIDARG;
    if (clsid == CLSID_DirectInput && iid == IID_IDirectInput7A) {
        if (g_script.di7_create_fails) return REGDB_E_CLASSNOTREG;
        g_record.version = 7;
        g_record.object_refs++;
        *out = static_cast<IDirectInput7A*>(&g_di7);
        return S_OK;
    }
    if (clsid == CLSID_DirectInput8 && iid == IID_IDirectInput8A) {
        if (g_script.di8_create_fails) return REGDB_E_CLASSNOTREG;
        g_record.version = 8;
        g_record.object_refs++;
        *out = static_cast<IDirectInput8A*>(&g_di8);
        return S_OK;
    }
    return REGDB_E_CLASSNOTREG;
}

MMRESULT WINAPI FakeJoyGetDevCapsA(UINT_PTR index, LPJOYCAPSA caps, UINT size) {
    if (index >= (UINT_PTR)g_script.winmm_pads || size != sizeof(JOYCAPSA)) return JOYERR_PARMS;
    caps->wCaps = g_script.winmm_caps;
    return JOYERR_NOERROR;
}

MMRESULT WINAPI FakeJoyGetPosEx(UINT index, LPJOYINFOEX info) {
    g_record.joy_get_pos_calls++;
    g_record.last_pos_index = index;
    if (index >= (UINT)g_script.winmm_pads || info->dwSize != sizeof(JOYINFOEX) || info->dwFlags != JOY_RETURNALL)
        return JOYERR_UNPLUGGED;
    DWORD size = info->dwSize, flags = info->dwFlags;
    *info = g_script.winmm_pos;
    info->dwSize = size;
    info->dwFlags = flags;
    return JOYERR_NOERROR;
}

void FakeReset() {
    for (FakeDevice* d : g_record.devices) delete d;
    for (FakeEffect* e : g_record.effects) delete e;
    g_record = FakeRecord();
    g_script = FakeScript();
}

int FakeLiveObjects() {
    int live = g_record.object_refs > 0;
    for (FakeDevice* d : g_record.devices) live += d->refs > 0;
    for (FakeEffect* e : g_record.effects) live += e->refs > 0;
    return live;
}
