// A scripted DirectInput (versions 7 and 8) with fake joysticks and effects, and
// a fake winmm joystick, installed through the engine's loaded-by-name entries.
#pragma once
#include <windows.h>
#include <dinput.h>
#include <mmsystem.h>

#include <vector>

// Where a scripted joystick's set-up fails.
enum FakeJoyFail {
    JOY_OK, JOY_FAIL_CREATE, JOY_FAIL_FORMAT, JOY_FAIL_RANGE_X, JOY_FAIL_RANGE_Y, JOY_FAIL_RANGE_Z,
    JOY_FAIL_DEADZONE_X, JOY_FAIL_DEADZONE_Y, JOY_FAIL_DEADZONE_RZ, JOY_FAIL_EVENT, JOY_FAIL_CONSTANT,
    JOY_POLLED,  // SetEventNotification answers DI_POLLEDDEVICE
};

enum FakeDeviceKind { FAKE_MOUSE, FAKE_KEYBOARD, FAKE_JOYSTICK };

struct FakeEffect final : IDirectInputEffect {
    LONG refs = 1;
    int is_sine = 0;
    int starts = 0, stops = 0, set_params = 0;
    LONG magnitude = 0;          // of the last SetParameters or the creation
    DWORD last_param_flags = 0;

    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override { return --refs; }
    STDMETHOD(Initialize)(HINSTANCE, DWORD, REFGUID) override { return DI_OK; }
    STDMETHOD(GetEffectGuid)(LPGUID) override { return E_NOTIMPL; }
    STDMETHOD(GetParameters)(LPDIEFFECT, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(SetParameters)(LPCDIEFFECT eff, DWORD flags) override;
    STDMETHOD(Start)(DWORD, DWORD) override { starts++; return DI_OK; }
    STDMETHOD(Stop)() override { stops++; return DI_OK; }
    STDMETHOD(GetEffectStatus)(LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(Download)() override { return DI_OK; }
    STDMETHOD(Unload)() override { return DI_OK; }
    STDMETHOD(Escape)(LPDIEFFESCAPE) override { return E_NOTIMPL; }
};

struct FakeDevice final : IDirectInputDevice8A {
    LONG refs = 1;
    FakeDeviceKind kind;
    int joy_index = -1;
    int fail = JOY_OK;
    int acquired = 0, acquires = 0, unacquires = 0, polls = 0, reads = 0;
    DWORD coop_level = 0;
    std::vector<DWORD> coop_history;
    HANDLE event = nullptr;
    DWORD data_size = 0;          // of the data format set
    LONG range_min = 0, range_max = 0;
    DWORD dead_zone = 0;
    int failing_reads = 0;        // GetDeviceState fails this many times more
    int failing_acquires = 0;
    DIJOYSTATE joy{};
    FakeEffect* sine = nullptr;
    FakeEffect* constant = nullptr;

    explicit FakeDevice(FakeDeviceKind k) : kind(k) {}
    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override { return --refs; }
    STDMETHOD(GetCapabilities)(LPDIDEVCAPS) override { return E_NOTIMPL; }
    STDMETHOD(EnumObjects)(LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetProperty)(REFGUID, LPDIPROPHEADER) override { return E_NOTIMPL; }
    STDMETHOD(SetProperty)(REFGUID prop, LPCDIPROPHEADER header) override;
    STDMETHOD(Acquire)() override;
    STDMETHOD(Unacquire)() override { unacquires++; acquired = 0; return DI_OK; }
    STDMETHOD(GetDeviceState)(DWORD size, LPVOID data) override;
    STDMETHOD(GetDeviceData)(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(SetDataFormat)(LPCDIDATAFORMAT format) override;
    STDMETHOD(SetEventNotification)(HANDLE ev) override;
    STDMETHOD(SetCooperativeLevel)(HWND, DWORD level) override;
    STDMETHOD(GetObjectInfo)(LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetDeviceInfo)(LPDIDEVICEINSTANCEA info) override;
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Initialize)(HINSTANCE, DWORD, REFGUID) override { return DI_OK; }
    STDMETHOD(CreateEffect)(REFGUID kind, LPCDIEFFECT eff, LPDIRECTINPUTEFFECT* out, LPUNKNOWN) override;
    STDMETHOD(EnumEffects)(LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetEffectInfo)(LPDIEFFECTINFOA, REFGUID) override { return E_NOTIMPL; }
    STDMETHOD(GetForceFeedbackState)(LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(SendForceFeedbackCommand)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumCreatedEffectObjects)(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Escape)(LPDIEFFESCAPE) override { return E_NOTIMPL; }
    STDMETHOD(Poll)() override { polls++; return DI_NOEFFECT; }
    STDMETHOD(SendDeviceData)(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumEffectsInFile)(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(WriteEffectToFile)(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(BuildActionMap)(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(SetActionMap)(LPDIACTIONFORMATA, LPCSTR, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetImageInfo)(LPDIDEVICEIMAGEINFOHEADERA) override { return E_NOTIMPL; }
};

struct FakeScript {
    int di7_create_fails = 0;
    int di7_init_fails = 0;
    int di8_create_fails = 0;
    int joystick_count = 0;
    int joy_fail[24] = {};
    int keyboard_event_fails = 0;
    unsigned char keys[256] = {};
    unsigned char mouse_buttons[8] = {};
    // Fake winmm: pads that answer, their capability bits and positions.
    int winmm_pads = 0;
    UINT winmm_caps = 0;
    JOYINFOEX winmm_pos{};
};

// Results seen by the tests.
struct FakeRecord {
    int version = 0;               // 7 or 8 of the object handed out
    int object_refs = 0;           // of the DirectInput object
    int used_create_device_ex = 0, used_create_device = 0;
    int enum_calls = 0;            // callbacks made
    DWORD enum_type = 0, enum_flags = 0;
    int joy_get_pos_calls = 0;
    UINT last_pos_index = 0;
    std::vector<FakeDevice*> devices;
    std::vector<FakeEffect*> effects;
    FakeDevice* mouse = nullptr;
    FakeDevice* keyboard = nullptr;
    std::vector<FakeDevice*> joysticks;   // those created, in order
    HANDLE refused_event = nullptr;       // handed to a joystick whose event set-up failed
    int refused_event_closed = -1;        // checked at the next device creation: 1 closed
};

extern FakeScript g_script;
extern FakeRecord g_record;

// Clears script and record (frees the fakes of the last run).
void FakeReset();
// Objects handed out and not released down to zero references.
int FakeLiveObjects();

HRESULT WINAPI FakeCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out);
MMRESULT WINAPI FakeJoyGetDevCapsA(UINT_PTR index, LPJOYCAPSA caps, UINT size);
MMRESULT WINAPI FakeJoyGetPosEx(UINT index, LPJOYINFOEX info);
