// Joypads through the scripted DirectInput and the winmm fallback.
#include "input_test_util.h"

TEST_F(InputEngine, PadsWhoseSetUpFailsAreSkippedAndEndReleasesEverything) {
    // Only X and Y must take a range and a dead zone; effects are optional.
    const struct { int fail; DWORD axis; bool kept; } script[] = {
        {JOY_OK, 0, true}, {JOY_FAIL_CREATE, 0, false}, {JOY_FAIL_FORMAT, 0, false},
        {JOY_FAIL_RANGE, DIJOFS_X, false}, {JOY_FAIL_RANGE, DIJOFS_Y, false}, {JOY_FAIL_RANGE, DIJOFS_Z, true},
        {JOY_FAIL_DEADZONE, DIJOFS_X, false}, {JOY_FAIL_DEADZONE, DIJOFS_Y, false},
        {JOY_FAIL_DEADZONE, DIJOFS_RZ, true}, {JOY_FAIL_CONSTANT, 0, true}, {JOY_POLLED, 0, true},
        {JOY_FAIL_EVENT, 0, false},
    };
    const int n = sizeof(script) / sizeof(script[0]);
    g_script.joystick_count = n;
    for (int i = 0; i < n; i++) g_script.joy[i] = {script[i].fail, script[i].axis};
    ASSERT_EQ(RestartWithFakes(), 0);

    int slot = 0;
    for (int i = 0; i < n; i++) {
        FakeDevice* dev = g_record.joysticks[i];
        if (!script[i].kept) {
            EXPECT_TRUE(!dev || dev->refs == 0) << i;
            continue;
        }
        JoypadRecord* pad = GetJoypadRecord(slot++);
        ASSERT_EQ((void*)pad->device, (void*)dev) << i;
        EXPECT_TRUE(dev->acquired && dev->event == pad->event) << i;
        EXPECT_TRUE(dev->range_min == -1000 && dev->range_max == 1000 && dev->dead_zone == 3500) << i;
        EXPECT_EQ(pad->constant_effect != nullptr, script[i].fail != JOY_FAIL_CONSTANT) << i;
    }
    EXPECT_EQ(GetJoypadCount(), slot);
    // The pad refused its event leaves nothing behind, its slot included.
    FakeDevice* refused = g_record.joysticks[n - 1];
    EXPECT_EQ(refused->sine->refs + refused->constant->refs, 0);
    EXPECT_EQ(refused->refused_event_closed, 1);
    EXPECT_EQ(GetJoypadRecord(slot)->device, nullptr);

    HANDLE events[] = {GetJoypadRecord(0)->event, g_input.keyboard_event};
    EXPECT_EQ(EndInput(), 0);
    EXPECT_EQ(FakeLiveObjects(), 0);
    DWORD flags;
    for (HANDLE ev : events) EXPECT_FALSE(GetHandleInformation(ev, &flags));
    for (const JoypadRecord& pad : g_input.pads)
        EXPECT_TRUE(!pad.device && !pad.constant_effect && !pad.sine_effect && !pad.event);
    EXPECT_TRUE(!g_input.keyboard && !g_input.mouse && !g_input.keyboard_event && !g_input.directinput);
}

TEST_F(InputEngine, EnumerationStopsAtSixteenPads) {
    g_script.joystick_count = 20;
    ASSERT_EQ(RestartWithFakes(), 0);
    EXPECT_EQ(GetJoypadCount(), 16);
    EXPECT_NE(g_record.joysticks[15], nullptr);
    EXPECT_EQ(g_record.joysticks[16], nullptr);
    EXPECT_EQ(GetPadState(17), 0);
}

TEST_F(InputEngine, ActivationSwitchesPadLevelsAndReacquiresTheKeyboard) {
    g_script.joystick_count = 2;
    SetDirectInputKeyboardFlag(1);
    ASSERT_EQ(RestartWithFakes(), 0);
    FakeDevice* kb = g_record.keyboard;
    int kb_acquires = kb->acquires;
    SetActiveBySystem(0);
    for (int i = 0; i < 2; i++) {
        FakeDevice* pad = g_record.joysticks[i];
        EXPECT_EQ(pad->coop_level, (DWORD)(DISCL_NONEXCLUSIVE | DISCL_BACKGROUND));
        EXPECT_TRUE(pad->unacquires == 1 && pad->acquired) << i;
    }
    EXPECT_EQ(kb->acquires, kb_acquires + 1);
    kb->failing_acquires = 1;  // as Wine may refuse it: the next read acquires it again
    SetActiveBySystem(1);
    EXPECT_EQ(g_record.joysticks[0]->coop_level, (DWORD)(DISCL_EXCLUSIVE | DISCL_FOREGROUND));
    g_script.keys[0x2C] = 0x80;
    kb->failing_reads = 1;
    EXPECT_TRUE(PumpUntil([] { return CheckKeyDown(0x2C) == 1; }));
}

TEST_F(InputEngine, PadStateFromTheDeviceMergesTheDirectInputKeyboard) {
    g_script.joystick_count = 1;
    SetDirectInputKeyboardFlag(1);
    ASSERT_EQ(RestartWithFakes(), 0);
    FakeDevice* dev = g_record.joysticks[0];
    dev->joy.lX = -600;
    dev->joy.lY = 1000;
    dev->joy.rgbButtons[23] = 0x80;
    Sleep(3);
    EXPECT_EQ((uint32_t)GetPadState(1), 0x2u | 0x1 | 0x08000000);
    EXPECT_EQ(CheckAnyInput(1), -1);
    g_script.keys[0xC8] = 0x80;
    SetEvent(g_input.keyboard_event);  // a signalled event forces a fresh read
    EXPECT_EQ((uint32_t)GetPadState(0x1001), 0x2u | 0x1 | 0x8 | 0x08000000);

    // A read that fails twice keeps the last state; one that recovers takes the new one.
    dev->joy.lX = 0;
    dev->failing_reads = 2;
    SetEvent(dev->event);
    EXPECT_EQ(GetPadState(1) & 0x6, 0x2);
    dev->failing_reads = 1;
    SetEvent(dev->event);
    EXPECT_EQ(GetPadState(1) & 0x6, 0);
    // A lost mouse is acquired and read again; a second failure reads as no button.
    g_script.mouse_buttons[1] = g_script.mouse_buttons[7] = 0x80;
    g_record.mouse->failing_reads = 1;
    EXPECT_EQ(GetMouseButtons(), 0x82);
    g_record.mouse->failing_reads = 2;
    EXPECT_EQ(GetMouseButtons(), 0);
}

TEST_F(InputEngine, FallbackPadsThroughWinmm) {
    SetDirectInputOffFlag(1);
    g_script.winmm_pads = 1;
    g_script.winmm_caps = JOYCAPS_HASZ | JOYCAPS_HASR;
    g_script.winmm_pos.dwYpos = 65535;  // X stays 0: full left
    g_script.winmm_pos.dwRpos = 65535;
    g_script.winmm_pos.dwButtons = 1 | (1u << 23) | (1u << 24);
    ASSERT_EQ(RestartWithFakes(), 0);
    ASSERT_EQ(IsInputStarted(), 2);
    EXPECT_EQ((uint32_t)GetPadState(1), 0x2u | 0x1 | 0x10 | 0x08000000);
    EXPECT_EQ(GetJoypadRecord(0)->state.lRz, 1000);
    g_script.winmm_pads = 2;  // plugged in later: seen
    EXPECT_NE(GetPadState(2), 0);
    g_script.winmm_pads = 0;  // unplugged: reads as nothing
    Sleep(2);
    EXPECT_EQ(GetPadState(1), 0);
}
