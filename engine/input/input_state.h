// The input subsystem's global block, shared by the files of engine/input only.
#pragma once
#include <windows.h>
#include <dinput.h>

#include "engine/input/input.h"

enum { MAX_JOYPADS = 16 };

// The DirectInput object pointer while running in the fallback mode.
#define INPUT_FALLBACK ((void*)(intptr_t)-1)

struct JoypadRecord {
    IDirectInputDevice7A* device;       // the version-8 device shares the slots used here
    IDirectInputEffect* constant_effect;
    IDirectInputEffect* sine_effect;
    HANDLE event;
    DIJOYSTATE state;
    int z_and_r;                        // fallback: device has both Z and R axes
    DWORD last_refresh;
    int vibrating;
    int power;                          // -10000..10000
    int time_limit;                     // ms; negative = until stopped
    int elapsed;
    DWORD last_tick;                    // GetTickMs at the last vibration count
    int constant_started;
    int sine_started;
    char instance_name[260];
    char product_name[260];
};

struct InputState {
    int directinput_off;
    int force_feedback_off;
    int directinput_keyboard;
    int version8;
    void* directinput;                  // null, INPUT_FALLBACK, IDirectInput7A* or IDirectInput8A*
    IDirectInputDevice7A* mouse;
    IDirectInputDevice7A* keyboard;
    HANDLE keyboard_event;
    DWORD last_keyboard_refresh;
    unsigned char key_state[256];
    int keymap_defaults_done;
    int KeyToPadMap[MAX_JOYPADS][32][4];
    int fallback_mouse_valid;
    unsigned char fallback_mouse[3];    // left, right, middle
    int pad_count;
    JoypadRecord pads[MAX_JOYPADS];
    int f10_hook;
    int syskey_hook;
    int starting;
    unsigned char keyboard_refreshing;
};

extern InputState g_input;

inline int InputUsesDirectInput() {
    return g_input.directinput != nullptr && g_input.directinput != INPUT_FALLBACK;
}

// Creates a device through CreateDeviceEx (version 7) or CreateDevice (version 8).
HRESULT CreateInputDevice(REFGUID guid, IDirectInputDevice7A** out);
// The enumeration callback of SetupJoypads: one call per attached joystick.
BOOL CALLBACK OnJoypadFound(LPCDIDEVICEINSTANCEA instance, LPVOID context);
// The keyboard device is read on Windows before Vista, or when asked for.
int KeyboardUsesDirectInput();
// Writes the default key map (pad 1 arrows, numeric pad and letters).
void WriteDefaultKeyMap(int map[MAX_JOYPADS][32][4]);
// Common start of every query: waits while inactive and starts input when it is
// not started. Returns 1 when the query must return *result at once.
int BeginInputQuery(int* result);
// Stops a pad's vibration without waiting for the window (the pump's expiry path).
void StopPadVibrationNow(int pad_index);
// Builds the effects of a newly found pad (vibration.cpp).
void CreatePadEffects(JoypadRecord* pad);
// Stops and releases a pad's effects.
void ReleasePadEffects(JoypadRecord* pad);

// Data formats equal to the standard keyboard, mouse (8 buttons) and joystick ones.
const DIDATAFORMAT* KeyboardDataFormat();
const DIDATAFORMAT* Mouse2DataFormat();
const DIDATAFORMAT* JoystickDataFormat();

// A record for tests and diagnostics; null out of range.
JoypadRecord* GetJoypadRecord(int pad_index);
