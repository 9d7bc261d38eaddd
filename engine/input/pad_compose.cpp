// Pure pieces of the pad and key queries: axis mapping, pad bits, any-key scan.
#include "engine/input/input_state.h"

int MapFallbackAxis(uint32_t raw) {
    if (raw >= 65535) return 1000;  // the formula stops at 999; the full deflection is 1000
    int v = (int)raw;
    if (v < 16384) return (v - 16384) * 1000 / 16384;
    if (v <= 49152) return 0;
    return (v - 49152) * 1000 / 16384;
}

PadState ComposePadState(const DIJOYSTATE* joy, const unsigned char* key_state, const int (*map)[4]) {
    uint32_t r = 0;
    if (joy) {
        // The device applies the dead zone, so any non-zero value is a press.
        if (joy->lX < 0) r |= 0x2;
        if (joy->lX > 0) r |= 0x4;
        if (joy->lY < 0) r |= 0x8;
        if (joy->lY > 0) r |= 0x1;
        for (int n = 0; n < 24; n++)
            if (joy->rgbButtons[n] & 0x80) r |= 0x10u << n;
    }
    if (key_state && map) {
        for (int b = 0; b < 32; b++)
            for (int k = 0; k < 4; k++) {
                int code = map[b][k];
                if (code >= 0 && code < 256 && (key_state[code] & 0x80)) {
                    r |= 1u << b;
                    break;
                }
            }
    }
    return (PadState)r;
}

int ScanAnyKey(const unsigned char key_state[256], int f10_hook) {
    for (int k = 0; k < 256; k++) {
        if (k == 0x94 || k == 0x3A || k == 0x70) continue;  // Kanji, Caps Lock, Kana stay latched
        if (key_state[k] & 0x80) return k;
    }
    return f10_hook ? 0x44 : 0;
}
