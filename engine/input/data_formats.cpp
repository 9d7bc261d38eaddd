// The standard keyboard, mouse and joystick data formats. The build links no
// DirectInput import library, so the tables are made here on first use.
#include "engine/input/input_state.h"

static DIOBJECTDATAFORMAT g_keyboard_objects[256];
static DIOBJECTDATAFORMAT g_mouse_objects[11];
static DIOBJECTDATAFORMAT g_joystick_objects[44];
static DIDATAFORMAT g_keyboard_format, g_mouse_format, g_joystick_format;

static void SetObject(DIOBJECTDATAFORMAT* o, const GUID* guid, DWORD offset, DWORD type, DWORD flags) {
    o->pguid = guid;
    o->dwOfs = offset;
    o->dwType = type;
    o->dwFlags = flags;
}

static void SetFormat(DIDATAFORMAT* f, DWORD flags, DWORD data_size, DIOBJECTDATAFORMAT* objects, DWORD count) {
    f->dwSize = sizeof(DIDATAFORMAT);
    f->dwObjSize = sizeof(DIOBJECTDATAFORMAT);
    f->dwFlags = flags;
    f->dwDataSize = data_size;
    f->dwNumObjs = count;
    f->rgodf = objects;
}

const DIDATAFORMAT* KeyboardDataFormat() {
    if (g_keyboard_format.dwSize == 0) {
        for (int i = 0; i < 256; i++)
            SetObject(&g_keyboard_objects[i], &GUID_Key, i,
                      DIDFT_OPTIONAL | DIDFT_BUTTON | DIDFT_MAKEINSTANCE(i), 0);
        SetFormat(&g_keyboard_format, DIDF_RELAXIS, 256, g_keyboard_objects, 256);
    }
    return &g_keyboard_format;
}

const DIDATAFORMAT* Mouse2DataFormat() {
    if (g_mouse_format.dwSize == 0) {
        SetObject(&g_mouse_objects[0], &GUID_XAxis, 0, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0);
        SetObject(&g_mouse_objects[1], &GUID_YAxis, 4, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0);
        SetObject(&g_mouse_objects[2], &GUID_ZAxis, 8, DIDFT_OPTIONAL | DIDFT_AXIS | DIDFT_ANYINSTANCE, 0);
        for (int i = 0; i < 8; i++)
            SetObject(&g_mouse_objects[3 + i], nullptr, 12 + i,
                      (i < 2 ? 0 : DIDFT_OPTIONAL) | DIDFT_BUTTON | DIDFT_ANYINSTANCE, 0);
        SetFormat(&g_mouse_format, DIDF_RELAXIS, sizeof(DIMOUSESTATE2), g_mouse_objects, 11);
    }
    return &g_mouse_format;
}

const DIDATAFORMAT* JoystickDataFormat() {
    if (g_joystick_format.dwSize == 0) {
        static const GUID* const axes[8] = {&GUID_XAxis, &GUID_YAxis, &GUID_ZAxis, &GUID_RxAxis,
                                            &GUID_RyAxis, &GUID_RzAxis, &GUID_Slider, &GUID_Slider};
        int n = 0;
        for (int i = 0; i < 8; i++)
            SetObject(&g_joystick_objects[n++], axes[i], i * 4,
                      DIDFT_OPTIONAL | DIDFT_AXIS | DIDFT_ANYINSTANCE, DIDOI_ASPECTPOSITION);
        for (int i = 0; i < 4; i++)
            SetObject(&g_joystick_objects[n++], &GUID_POV, 32 + i * 4,
                      DIDFT_OPTIONAL | DIDFT_POV | DIDFT_ANYINSTANCE, 0);
        for (int i = 0; i < 32; i++)
            SetObject(&g_joystick_objects[n++], nullptr, 48 + i,
                      DIDFT_OPTIONAL | DIDFT_BUTTON | DIDFT_ANYINSTANCE, 0);
        SetFormat(&g_joystick_format, DIDF_ABSAXIS, sizeof(DIJOYSTATE), g_joystick_objects, 44);
    }
    return &g_joystick_format;
}
