// A scripted DirectInput 7 (or 8) with fake joysticks and effects, and a fake
// winmm joystick, installed through the engine's loaded-by-name entries.
#pragma once
#include <windows.h>
#include <dinput.h>
#include <mmsystem.h>

#include <cstring>
#include <memory>
#include <vector>

// Where a scripted joystick's set-up fails.
enum FakeJoyFail { JOY_OK, JOY_FAIL_CREATE, JOY_FAIL_FORMAT, JOY_FAIL_RANGE, JOY_FAIL_DEADZONE, JOY_FAIL_EVENT,
                   JOY_FAIL_CONSTANT, JOY_POLLED };
enum FakeDeviceKind { FAKE_MOUSE, FAKE_KEYBOARD, FAKE_JOYSTICK };

struct FakeScript {
    int joystick_count = 0;
    struct { int fail; DWORD axis; } joy[24] = {};  // axis: the offset a range or dead-zone failure hits
    int keyboard_event_fails = 0;
    int version8_only = 0;  // version 7 is refused, version 8 is handed out
    unsigned char keys[256] = {};
    unsigned char mouse_buttons[8] = {};
    int winmm_pads = 0;
    UINT winmm_caps = 0;
    JOYINFOEX winmm_pos{};
};
inline FakeScript g_script;

#define FAKE_NOTIMPL(name, ...) STDMETHOD(name)(__VA_ARGS__) override { return E_NOTIMPL; }

template <class I>
struct FakeUnknown : I {
    LONG refs = 1;
    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override { return --refs; }
};

struct FakeEffect final : FakeUnknown<IDirectInputEffect> {
    int starts = 0, stops = 0, set_params = 0;
    LONG magnitude = 0;
    DWORD last_flags = 0;
    STDMETHOD(SetParameters)(LPCDIEFFECT eff, DWORD flags) override {
        set_params++;
        last_flags = flags;
        magnitude = ((const DICONSTANTFORCE*)eff->lpvTypeSpecificParams)->lMagnitude;
        return DI_OK;
    }
    STDMETHOD(Start)(DWORD, DWORD) override { starts++; return DI_OK; }
    STDMETHOD(Stop)() override { stops++; return DI_OK; }
    FAKE_NOTIMPL(Initialize, HINSTANCE, DWORD, REFGUID) FAKE_NOTIMPL(GetEffectGuid, LPGUID) FAKE_NOTIMPL(Download)
    FAKE_NOTIMPL(GetParameters, LPDIEFFECT, DWORD) FAKE_NOTIMPL(GetEffectStatus, LPDWORD) FAKE_NOTIMPL(Unload)
    FAKE_NOTIMPL(Escape, LPDIEFFESCAPE)
};

struct FakeDevice final : FakeUnknown<IDirectInputDevice7A> {
    FakeDeviceKind kind;
    int fail = JOY_OK;
    DWORD fail_axis = 0;
    int acquired = 0, acquires = 0, unacquires = 0;
    int failing_reads = 0, failing_acquires = 0;  // this many more calls fail
    DWORD coop_level = 0, data_size = 0, dead_zone = 0;
    LONG range_min = 0, range_max = 0;
    HANDLE event = nullptr, refused_event = nullptr;
    int refused_event_closed = -1;  // checked at the next device creation
    DIJOYSTATE joy{};
    std::unique_ptr<FakeEffect> sine, constant;

    explicit FakeDevice(FakeDeviceKind k) : kind(k) {}
    STDMETHOD(SetProperty)(REFGUID prop, LPCDIPROPHEADER h) override {
        bool range = &prop == &DIPROP_RANGE, zone = &prop == &DIPROP_DEADZONE;
        if (((range && fail == JOY_FAIL_RANGE) || (zone && fail == JOY_FAIL_DEADZONE)) && h->dwObj == fail_axis)
            return DIERR_OBJECTNOTFOUND;
        if (range) range_min = ((const DIPROPRANGE*)h)->lMin, range_max = ((const DIPROPRANGE*)h)->lMax;
        if (zone) dead_zone = ((const DIPROPDWORD*)h)->dwData;
        return DI_OK;
    }
    STDMETHOD(Acquire)() override {
        acquires++;
        if (failing_acquires > 0 && failing_acquires--) return DIERR_OTHERAPPHASPRIO;
        acquired = 1;
        return DI_OK;
    }
    STDMETHOD(Unacquire)() override { unacquires++; acquired = 0; return DI_OK; }
    STDMETHOD(GetDeviceState)(DWORD size, LPVOID data) override {
        if (failing_reads > 0 && failing_reads--) return memset(data, 0x7F, size), DIERR_INPUTLOST;  // junk left
        if (size != data_size) return DIERR_INVALIDPARAM;
        memset(data, 0, size);
        if (kind == FAKE_KEYBOARD) memcpy(data, g_script.keys, 256);
        if (kind == FAKE_JOYSTICK) memcpy(data, &joy, sizeof(joy));
        if (kind == FAKE_MOUSE) memcpy(((DIMOUSESTATE2*)data)->rgbButtons, g_script.mouse_buttons, 8);
        return DI_OK;
    }
    STDMETHOD(SetDataFormat)(LPCDIDATAFORMAT format) override {
        data_size = format->dwDataSize;
        return fail == JOY_FAIL_FORMAT ? DIERR_INVALIDPARAM : DI_OK;
    }
    STDMETHOD(SetEventNotification)(HANDLE ev) override {
        if (ev && ((kind == FAKE_KEYBOARD && g_script.keyboard_event_fails) || fail == JOY_FAIL_EVENT)) {
            refused_event = ev;
            return DIERR_GENERIC;
        }
        event = ev;
        return (ev && fail == JOY_POLLED) ? DI_POLLEDDEVICE : DI_OK;
    }
    STDMETHOD(SetCooperativeLevel)(HWND, DWORD level) override { coop_level = level; return DI_OK; }
    STDMETHOD(CreateEffect)(REFGUID guid, LPCDIEFFECT, LPDIRECTINPUTEFFECT* out, LPUNKNOWN) override {
        *out = nullptr;
        bool is_sine = guid == GUID_Sine;
        if (!is_sine && fail == JOY_FAIL_CONSTANT) return DIERR_UNSUPPORTED;
        auto& slot = is_sine ? sine : constant;
        slot.reset(new FakeEffect);
        *out = slot.get();
        return DI_OK;
    }
    // Not used by the engine, or their results are ignored.
    FAKE_NOTIMPL(Poll) FAKE_NOTIMPL(Initialize, HINSTANCE, DWORD, REFGUID) FAKE_NOTIMPL(GetCapabilities, LPDIDEVCAPS)
    FAKE_NOTIMPL(GetProperty, REFGUID, LPDIPROPHEADER) FAKE_NOTIMPL(GetDeviceInfo, LPDIDEVICEINSTANCEA)
    FAKE_NOTIMPL(EnumObjects, LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD) FAKE_NOTIMPL(Escape, LPDIEFFESCAPE)
    FAKE_NOTIMPL(GetDeviceData, DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) FAKE_NOTIMPL(RunControlPanel, HWND, DWORD)
    FAKE_NOTIMPL(GetObjectInfo, LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD) FAKE_NOTIMPL(GetForceFeedbackState, LPDWORD)
    FAKE_NOTIMPL(EnumEffects, LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD) FAKE_NOTIMPL(SendForceFeedbackCommand, DWORD)
    FAKE_NOTIMPL(EnumCreatedEffectObjects, LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD)
    FAKE_NOTIMPL(SendDeviceData, DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD)
    FAKE_NOTIMPL(GetEffectInfo, LPDIEFFECTINFOA, REFGUID)
    FAKE_NOTIMPL(EnumEffectsInFile, LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD)
    FAKE_NOTIMPL(WriteEffectToFile, LPCSTR, DWORD, LPDIFILEEFFECT, DWORD)
};

struct FakeDirectInput;

// What the engine was handed; clearing it frees every fake.
struct FakeRecord {
    std::unique_ptr<FakeDirectInput> directinput;
    std::vector<std::unique_ptr<FakeDevice>> devices;
    FakeDevice* mouse = nullptr;
    FakeDevice* keyboard = nullptr;
    FakeDevice* joysticks[24] = {};  // by script index; null when never created
};
inline FakeRecord g_record;

struct FakeDirectInput final : FakeUnknown<IDirectInput7A> {
    STDMETHOD(EnumDevices)(DWORD, LPDIENUMDEVICESCALLBACKA callback, LPVOID ref, DWORD) override {
        for (int i = 0; i < g_script.joystick_count; i++) {
            DIDEVICEINSTANCEA inst = {};
            inst.dwSize = sizeof(inst);
            inst.guidInstance = GUID{(DWORD)i, 0x4A4F, 0, {}};  // the script index, marked
            if (callback(&inst, ref) == DIENUM_STOP) break;
        }
        return DI_OK;
    }
    // Slot 3 of both versions; the version-8 device uses the same slots as a version-7 one.
    STDMETHOD(CreateDevice)(REFGUID guid, LPDIRECTINPUTDEVICEA* out, LPUNKNOWN) override {
        if (!g_script.version8_only) return *out = nullptr, E_NOTIMPL;
        return Create(guid, (LPVOID*)out);
    }
    // Slot 9 exists only in version 7 (version 8 has EnumDevicesBySemantics there).
    STDMETHOD(CreateDeviceEx)(REFGUID guid, REFIID iid, LPVOID* out, LPUNKNOWN) override {
        *out = nullptr;
        if (iid != IID_IDirectInputDevice7A) return E_NOINTERFACE;
        if (g_script.version8_only) return E_NOTIMPL;
        return Create(guid, out);
    }
    HRESULT Create(REFGUID guid, LPVOID* out) {
        *out = nullptr;
        // Before any new handle could take a refused event's value.
        for (auto& d : g_record.devices) {
            DWORD flags;
            if (d->refused_event && d->refused_event_closed < 0)
                d->refused_event_closed = GetHandleInformation(d->refused_event, &flags) ? 0 : 1;
        }
        DWORD joy = guid.Data1;
        bool joy_ok = guid.Data2 == 0x4A4F && joy < (DWORD)g_script.joystick_count;
        FakeDevice* d;
        if (guid == GUID_SysMouse) d = g_record.mouse = new FakeDevice(FAKE_MOUSE);
        else if (guid == GUID_SysKeyboard) d = g_record.keyboard = new FakeDevice(FAKE_KEYBOARD);
        else if (joy_ok && g_script.joy[joy].fail != JOY_FAIL_CREATE) {
            d = g_record.joysticks[joy] = new FakeDevice(FAKE_JOYSTICK);
            d->fail = g_script.joy[joy].fail;
            d->fail_axis = g_script.joy[joy].axis;
        } else {
            return DIERR_DEVICENOTREG;
        }
        g_record.devices.emplace_back(d);
        *out = d;
        return DI_OK;
    }
    STDMETHOD(Initialize)(HINSTANCE, DWORD version) override {
        return version == (g_script.version8_only ? 0x0800u : 0x0700u) ? DI_OK : DIERR_BETADIRECTINPUTVERSION;
    }
    FAKE_NOTIMPL(GetDeviceStatus, REFGUID)
    FAKE_NOTIMPL(RunControlPanel, HWND, DWORD) FAKE_NOTIMPL(FindDevice, REFGUID, LPCSTR, LPGUID)
};

// One version exists here: 7, or 8 alone when the script asks for it.
inline HRESULT WINAPI FakeCoCreateInstance(REFCLSID clsid, LPUNKNOWN, DWORD, REFIID iid, LPVOID* out) {
    *out = nullptr;
    bool v8 = g_script.version8_only;
    if (clsid != (v8 ? CLSID_DirectInput8 : CLSID_DirectInput) || iid != (v8 ? IID_IDirectInput8A : IID_IDirectInput7A))
        return REGDB_E_CLASSNOTREG;
    g_record.directinput.reset(new FakeDirectInput);
    *out = static_cast<IDirectInput7A*>(g_record.directinput.get());
    return S_OK;
}

inline MMRESULT WINAPI FakeJoyGetDevCapsA(UINT_PTR index, LPJOYCAPSA caps, UINT) {
    if (index >= (UINT_PTR)g_script.winmm_pads) return JOYERR_PARMS;
    caps->wCaps = g_script.winmm_caps;
    return JOYERR_NOERROR;
}

inline MMRESULT WINAPI FakeJoyGetPosEx(UINT index, LPJOYINFOEX info) {
    if (index >= (UINT)g_script.winmm_pads || info->dwFlags != JOY_RETURNALL) return JOYERR_UNPLUGGED;
    *info = g_script.winmm_pos;
    return JOYERR_NOERROR;
}

// Objects handed out and not released down to zero references.
inline int FakeLiveObjects() {
    int live = g_record.directinput && g_record.directinput->refs > 0;
    for (auto& d : g_record.devices)
        live += (d->refs > 0) + (d->sine && d->sine->refs > 0) + (d->constant && d->constant->refs > 0);
    return live;
}
