// Joypads through the scripted DirectInput and the winmm fallback.
#include <cstring>

#include "input_test_util.h"

TEST_F(InputEngine, PadsWhoseSetUpFailsAreSkippedAndReleased) {
    const int script[] = {JOY_OK, JOY_FAIL_CREATE, JOY_FAIL_FORMAT, JOY_FAIL_RANGE_X, JOY_FAIL_RANGE_Y,
                          JOY_FAIL_RANGE_Z, JOY_FAIL_DEADZONE_X, JOY_FAIL_DEADZONE_Y, JOY_FAIL_DEADZONE_RZ,
                          JOY_FAIL_CONSTANT, JOY_POLLED, JOY_FAIL_EVENT};
    g_script.joystick_count = sizeof(script) / sizeof(script[0]);
    memcpy(g_script.joy_fail, script, sizeof(script));
    ASSERT_EQ(RestartWithFakes(), 0);
    EXPECT_EQ(g_record.version, 7);
    EXPECT_GT(g_record.used_create_device_ex, 0);
    EXPECT_EQ(g_record.used_create_device, 0);
    EXPECT_EQ(g_record.enum_type, 4u);
    EXPECT_EQ(g_record.enum_flags, (DWORD)DIEDFL_ATTACHEDONLY);
    EXPECT_EQ(g_record.enum_calls, g_script.joystick_count);

    // Kept: the good one, failures on Z and Rz, no constant force, a polled device.
    ASSERT_EQ(GetJoypadCount(), 5);
    const int kept[] = {0, 5, 8, 9, 10};
    for (int i = 0; i < 5; i++) {
        JoypadRecord* pad = GetJoypadRecord(i);
        FakeDevice* dev = (FakeDevice*)pad->device;
        ASSERT_NE(dev, nullptr);
        EXPECT_EQ(dev->joy_index, kept[i]);
        char name[32];
        wsprintfA(name, "Fake pad %d", kept[i] + 1);
        EXPECT_STREQ(pad->instance_name, name);
        EXPECT_EQ(dev->coop_level, (DWORD)(DISCL_EXCLUSIVE | DISCL_FOREGROUND));
        EXPECT_EQ(dev->data_size, sizeof(DIJOYSTATE));
        EXPECT_EQ(dev->range_min, -1000);
        EXPECT_EQ(dev->range_max, 1000);
        EXPECT_EQ(dev->dead_zone, 3500u);
        EXPECT_TRUE(dev->acquired);
        EXPECT_EQ(dev->event, pad->event);
        EXPECT_EQ(pad->power, 10000);
        EXPECT_EQ(pad->constant_effect != nullptr, kept[i] != 9) << i;
        EXPECT_NE(pad->sine_effect, nullptr);
    }
    // Every skipped device is released; the one refused its event leaks nothing either.
    for (FakeDevice* dev : g_record.joysticks) {
        bool is_kept = false;
        for (int k : kept) is_kept |= dev->joy_index == k;
        if (!is_kept) {
            EXPECT_EQ(dev->refs, 0) << dev->joy_index;
        }
    }
    FakeDevice* refused = g_record.joysticks.back();
    ASSERT_EQ(refused->fail, JOY_FAIL_EVENT);
    ASSERT_NE(refused->sine, nullptr);
    EXPECT_EQ(refused->sine->refs, 0);
    EXPECT_EQ(refused->constant->refs, 0);
    EXPECT_EQ(g_record.refused_event_closed, 1);
    EXPECT_EQ(GetJoypadRecord(5)->device, nullptr);

    EXPECT_EQ(EndInput(), 0);
    EXPECT_EQ(FakeLiveObjects(), 0);
    for (int i = 0; i < MAX_JOYPADS; i++) {
        EXPECT_EQ(GetJoypadRecord(i)->device, nullptr);
        EXPECT_EQ(GetJoypadRecord(i)->constant_effect, nullptr);
        EXPECT_EQ(GetJoypadRecord(i)->event, nullptr);
    }
    EXPECT_EQ(g_input.keyboard, nullptr);
    EXPECT_EQ(g_input.mouse, nullptr);
    EXPECT_EQ(g_input.keyboard_event, nullptr);
    EXPECT_EQ(g_input.directinput, nullptr);
}

TEST_F(InputEngine, EnumerationStopsAtSixteenPads) {
    g_script.joystick_count = 20;
    ASSERT_EQ(RestartWithFakes(), 0);
    EXPECT_EQ(GetJoypadCount(), 16);
    EXPECT_EQ(g_record.enum_calls, 16);
    EXPECT_EQ(g_record.joysticks.size(), 16u);
    EXPECT_EQ(GetPadState(17), 0);
    EndInput();
    EXPECT_EQ(FakeLiveObjects(), 0);
}

TEST_F(InputEngine, VersionEightWhenVersionSevenFails) {
    g_script.di7_init_fails = 1;
    g_script.joystick_count = 1;
    ASSERT_EQ(RestartWithFakes(), 0);
    EXPECT_EQ(g_record.version, 8);
    EXPECT_EQ(g_record.used_create_device_ex, 0);
    EXPECT_GT(g_record.used_create_device, 0);
    EXPECT_EQ(g_input.version8, 1);
    EXPECT_EQ(GetJoypadCount(), 1);
    EXPECT_EQ(g_record.object_refs, 1);  // the refused version-7 object went back
    EndInput();
    EXPECT_EQ(FakeLiveObjects(), 0);
}

TEST_F(InputEngine, ActivationSwitchesPadLevelsAndReacquiresTheKeyboard) {
    g_script.joystick_count = 2;
    ASSERT_EQ(RestartWithFakes(), 0);
    FakeDevice* pad = g_record.joysticks[0];
    int kb_unacquires = g_record.keyboard->unacquires, kb_acquires = g_record.keyboard->acquires;
    int mouse_acquires = g_record.mouse->acquires;
    SetActiveBySystem(0);
    for (FakeDevice* dev : g_record.joysticks) {
        EXPECT_EQ(dev->coop_level, (DWORD)(DISCL_NONEXCLUSIVE | DISCL_BACKGROUND));
        EXPECT_EQ(dev->unacquires, 1);
        EXPECT_TRUE(dev->acquired);
    }
    EXPECT_EQ(g_record.keyboard->unacquires, kb_unacquires + 1);
    EXPECT_EQ(g_record.keyboard->acquires, kb_acquires + 1);
    // Wine may refuse the keyboard meanwhile: the next read acquires it again.
    g_record.keyboard->failing_acquires = 1;
    SetActiveBySystem(1);
    EXPECT_EQ(pad->coop_level, (DWORD)(DISCL_EXCLUSIVE | DISCL_FOREGROUND));
    EXPECT_EQ(pad->unacquires, 2);
    EXPECT_EQ(g_record.mouse->acquires, mouse_acquires);
    EXPECT_EQ(g_record.mouse->coop_history.size(), 1u);

    SetDirectInputKeyboardFlag(1);
    g_script.keys[0x2C] = 0x80;
    g_record.keyboard->failing_reads = 1;
    EXPECT_TRUE(PumpUntil([] { return CheckKeyDown(0x2C) == 1; }));
}

TEST_F(InputEngine, PadStateFromTheDeviceMergedWithTheDirectInputKeyboard) {
    g_script.joystick_count = 1;
    SetDirectInputKeyboardFlag(1);
    ASSERT_EQ(RestartWithFakes(), 0);
    FakeDevice* dev = g_record.joysticks[0];
    dev->joy.lX = -600;
    dev->joy.lY = 1000;
    dev->joy.rgbButtons[0] = 0x80;
    dev->joy.rgbButtons[23] = 0x80;
    Sleep(3);
    EXPECT_EQ((uint32_t)GetPadState(1), 0x2u | 0x1 | 0x10 | 0x08000000);
    EXPECT_GT(dev->polls, 0);
    EXPECT_EQ(CheckAnyInput(1), -1);
    EXPECT_EQ(GetPadState(2), 0);

    g_script.keys[0xC8] = 0x80;
    SetEvent(g_input.keyboard_event);  // a signalled event forces a fresh read
    EXPECT_EQ((uint32_t)GetPadState(0x1001), 0x2u | 0x1 | 0x8 | 0x10 | 0x08000000);
    EXPECT_EQ(GetPadState(0x1002), 0);
    EXPECT_EQ(CheckAnyInput(1), 0xC8);

    // A read that fails twice keeps the last state; one that recovers takes the new one.
    dev->joy.lX = 0;
    dev->failing_reads = 2;
    SetEvent(dev->event);
    EXPECT_EQ(GetPadState(1) & 0x6, 0x2);
    EXPECT_EQ(dev->acquires, 2);
    dev->failing_reads = 1;
    SetEvent(dev->event);
    EXPECT_EQ(GetPadState(1) & 0x6, 0);
    EXPECT_EQ(WaitForSingleObject(dev->event, 0), (DWORD)WAIT_TIMEOUT);
}

TEST_F(InputEngine, FallbackPadsThroughWinmm) {
    SetDirectInputOffFlag(1);
    g_script.winmm_pads = 1;
    g_script.winmm_caps = JOYCAPS_HASZ | JOYCAPS_HASR;
    g_script.winmm_pos.dwXpos = 0;
    g_script.winmm_pos.dwYpos = 65535;
    g_script.winmm_pos.dwZpos = 32767;
    g_script.winmm_pos.dwRpos = 65535;
    g_script.winmm_pos.dwButtons = 1 | (1u << 23) | (1u << 24);
    ASSERT_EQ(RestartWithFakes(), 0);
    EXPECT_EQ(IsInputStarted(), 2);
    EXPECT_EQ(g_record.version, 0);
    EXPECT_EQ(GetJoypadCount(), 16);
    EXPECT_EQ((uint32_t)GetPadState(1), 0x2u | 0x1 | 0x10 | 0x08000000);
    JoypadRecord* pad = GetJoypadRecord(0);
    EXPECT_EQ(pad->state.lX, -1000);
    EXPECT_EQ(pad->state.lY, 1000);
    EXPECT_EQ(pad->state.lZ, 0);
    EXPECT_EQ(pad->state.lRz, 1000);
    // Pad 2 is asked although only one answered at start.
    EXPECT_EQ(GetPadState(2), 0);
    EXPECT_EQ(g_record.last_pos_index, 1u);
    EXPECT_EQ(StartPadVibration(1, 1000, 100), 0);
    EXPECT_EQ(pad->vibrating, 0);

    // Without both Z and R the extra axes stay 0.
    EndInput();
    g_script.winmm_caps = JOYCAPS_HASZ;
    ASSERT_EQ(InitInput(), 0);
    Sleep(2);
    GetPadState(1);
    EXPECT_EQ(GetJoypadRecord(0)->state.lRz, 0);
    EXPECT_EQ(GetJoypadRecord(0)->state.lY, 1000);
    // A pad that stops answering reads as nothing.
    g_script.winmm_pads = 0;
    Sleep(2);
    EXPECT_EQ(GetPadState(1), 0);
}

TEST_F(InputEngine, MouseButtonsFromTheDirectInputMouse) {
    SetDirectInputKeyboardFlag(1);
    ASSERT_EQ(RestartWithFakes(), 0);
    EXPECT_EQ(g_record.mouse->data_size, sizeof(DIMOUSESTATE2));
    EXPECT_EQ(g_record.mouse->coop_level, (DWORD)(DISCL_NONEXCLUSIVE | DISCL_BACKGROUND));
    g_script.mouse_buttons[1] = 0x80;
    g_script.mouse_buttons[7] = 0x80;
    EXPECT_EQ(GetMouseButtons(), 0x82);
    g_record.mouse->failing_reads = 1;  // lost: acquired again and read once more
    EXPECT_EQ(GetMouseButtons(), 0x82);
    g_record.mouse->failing_reads = 2;
    EXPECT_EQ(GetMouseButtons(), 0);
}
