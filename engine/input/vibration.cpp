// Pad vibration through a constant-force effect, with a sine added for strong requests.
#include "engine/input/input_state.h"

#include <cstring>

#include "engine/system/log.h"
#include "engine/system/tick.h"
#include "engine/system/window.h"

static void FillEffect(DIEFFECT* eff, DWORD flags, DWORD* axes, LONG* directions) {
    memset(eff, 0, sizeof(*eff));
    eff->dwSize = sizeof(DIEFFECT);
    eff->dwFlags = flags;
    eff->dwDuration = INFINITE;
    eff->dwSamplePeriod = 0;
    eff->dwGain = DI_FFNOMINALMAX;
    eff->dwTriggerButton = DIEB_NOTRIGGER;
    eff->dwTriggerRepeatInterval = 0;
    eff->cAxes = 2;
    eff->rgdwAxes = axes;
    eff->rglDirection = directions;
    eff->dwStartDelay = 0;
}

void CreatePadEffects(JoypadRecord* pad) {
    DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
    LONG directions[2] = {0, 0};
    DIEFFECT eff;

    DIENVELOPE envelope;
    envelope.dwSize = sizeof(DIENVELOPE);
    envelope.dwAttackLevel = 0;
    envelope.dwAttackTime = 500000;
    envelope.dwFadeLevel = 0;
    envelope.dwFadeTime = 1000000;
    DIPERIODIC periodic;
    periodic.dwMagnitude = DI_FFNOMINALMAX;
    periodic.lOffset = 0;
    periodic.dwPhase = 0;
    periodic.dwPeriod = 1500000;
    FillEffect(&eff, DIEFF_POLAR | DIEFF_OBJECTOFFSETS, axes, directions);
    eff.lpEnvelope = &envelope;
    eff.cbTypeSpecificParams = sizeof(DIPERIODIC);
    eff.lpvTypeSpecificParams = &periodic;
    if (FAILED(pad->device->CreateEffect(GUID_Sine, &eff, &pad->sine_effect, nullptr))) pad->sine_effect = nullptr;

    DICONSTANTFORCE constant;
    constant.lMagnitude = DI_FFNOMINALMAX;
    FillEffect(&eff, DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS, axes, directions);
    eff.cbTypeSpecificParams = sizeof(DICONSTANTFORCE);
    eff.lpvTypeSpecificParams = &constant;
    if (FAILED(pad->device->CreateEffect(GUID_ConstantForce, &eff, &pad->constant_effect, nullptr))) {
        pad->constant_effect = nullptr;
        LogAppend("周期的エフェクトの作成に失敗しました。\n");
    }
}

void ReleasePadEffects(JoypadRecord* pad) {
    if (pad->constant_effect) {
        pad->constant_effect->Stop();
        pad->constant_effect->Release();
        pad->constant_effect = nullptr;
    }
    if (pad->sine_effect) {
        pad->sine_effect->Stop();
        pad->sine_effect->Release();
        pad->sine_effect = nullptr;
    }
    pad->constant_started = 0;
    pad->sine_started = 0;
}

// The pad for an input type, or null when it cannot vibrate.
static JoypadRecord* VibratingPad(int input_type) {
    int p = (input_type & ~INPUT_TYPE_KEYBOARD) - 1;
    if (p < 0 || p >= g_input.pad_count) return nullptr;
    JoypadRecord* pad = &g_input.pads[p];
    if (!pad->device || !pad->constant_effect) return nullptr;
    return pad;
}

int StartPadVibration(int input_type, int power, int length_ms) {
    if (input_type < 0) return 0;
    int result;
    if (BeginInputQuery(&result)) return result;
    JoypadRecord* pad = VibratingPad(input_type);
    if (!pad) return 0;

    int magnitude = pad->power;
    if (power != -1) {
        // Clamp before scaling so a huge power cannot overflow.
        if (power > 1000) power = 1000;
        if (power < -1000) power = -1000;
        magnitude = power * 10;
    }
    pad->last_tick = (DWORD)GetTickMs();
    pad->time_limit = length_ms;
    pad->elapsed = 0;
    if (pad->vibrating && pad->power == magnitude) return 0;

    DICONSTANTFORCE constant;
    constant.lMagnitude = magnitude;
    DIEFFECT eff;
    memset(&eff, 0, sizeof(eff));
    eff.dwSize = sizeof(DIEFFECT);
    eff.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
    eff.cbTypeSpecificParams = sizeof(DICONSTANTFORCE);
    eff.lpvTypeSpecificParams = &constant;
    pad->constant_effect->SetParameters(
        &eff, pad->constant_started ? DIEP_TYPESPECIFICPARAMS : (DIEP_TYPESPECIFICPARAMS | DIEP_START));

    pad->vibrating = 1;
    pad->power = magnitude;
    ApplyPadEffects();
    return 0;
}

void StopPadVibrationNow(int pad_index) {
    JoypadRecord* pad = VibratingPad(pad_index + 1);
    if (!pad || !pad->vibrating) return;
    pad->vibrating = 0;
    pad->power = DI_FFNOMINALMAX;
    ApplyPadEffects();
}

int StopPadVibration(int input_type) {
    if (input_type < 0) return 0;
    int result;
    if (BeginInputQuery(&result)) return result;
    int p = (input_type & ~INPUT_TYPE_KEYBOARD) - 1;
    if (p >= 0) StopPadVibrationNow(p);
    return 0;
}

int UpdatePadVibration() {
    if (!InputUsesDirectInput()) return 0;
    DWORD now = (DWORD)GetTickMs();
    for (int i = 0; i < g_input.pad_count; i++) {
        JoypadRecord* pad = &g_input.pads[i];
        if (!pad->vibrating || !pad->device || pad->time_limit < 0 || pad->last_tick == now) continue;
        if (now < pad->last_tick) pad->last_tick = now;  // the 31-bit clock wrapped: count nothing
        pad->elapsed += (int)(now - pad->last_tick);
        pad->last_tick = now;
        // Runs inside the pump: stop without the query's wait for an active window.
        if (pad->elapsed >= pad->time_limit) StopPadVibrationNow(i);
    }
    ApplyPadEffects();
    return 0;
}

int ApplyPadEffects() {
    if (!InputUsesDirectInput()) return 0;
    int active = IsWindowActive() == 1;
    for (int i = 0; i < g_input.pad_count; i++) {
        JoypadRecord* pad = &g_input.pads[i];
        if (!pad->device) continue;
        if (!active) {
            if (pad->constant_effect && pad->constant_started) pad->constant_effect->Stop();
            if (pad->sine_effect && pad->sine_started) pad->sine_effect->Stop();
            pad->constant_started = 0;
            pad->sine_started = 0;
            continue;
        }
        if (pad->constant_effect && pad->constant_started != pad->vibrating) {
            if (pad->vibrating) pad->constant_effect->Start(1, 0);
            else pad->constant_effect->Stop();
            pad->constant_started = pad->vibrating;
        }
        int sine_wanted = pad->vibrating && pad->power > 5000 ? 1 : 0;
        if (pad->sine_effect && pad->sine_started != sine_wanted) {
            if (sine_wanted) pad->sine_effect->Start(1, 0);
            else pad->sine_effect->Stop();
            pad->sine_started = sine_wanted;
        }
    }
    return 0;
}
