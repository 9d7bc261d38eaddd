// Start, end and lazy restart, DirectInput 8 when 7 fails, a start that fails half-way,
// and out-of-range queries.
#include <algorithm>
#include <cstring>

#include "input_test_util.h"

TEST_F(InputEngine, RestartsLazilyKeepingSettingsAndMapUntilTheEnginesClose) {
    ASSERT_EQ(IsInputStarted(), 1);  // Wine's DirectInput 7
    EXPECT_EQ(InitInput(), 0);
    EXPECT_EQ(IsInputStarted(), 1);
    g_input.KeyToPadMap[0][20][0] = 0x30;
    SetDirectInputOffFlag(1);
    EXPECT_EQ(EndInput(), 0);
    EXPECT_EQ(IsInputStarted(), 0);
    EXPECT_EQ(CheckKeyDown(0x2C), 0);  // starts input again, in the mode the setting asks for
    EXPECT_EQ(IsInputStarted(), 2);
    EXPECT_EQ(g_input.KeyToPadMap[0][20][0], 0x30);
    EXPECT_EQ(g_input.KeyToPadMap[0][3][1], 0xC8);
    g_input.KeyToPadMap[0][20][0] = -1;  // the map outlives this test too

    EndInput();
    ASSERT_EQ(PostEngineClose(), 0);
    EXPECT_EQ(CheckKeyDown(0x01), 0);
    EXPECT_EQ(GetPadState(0x1001), 0);
    EXPECT_EQ(CheckAnyInput(7), 0);
    EXPECT_EQ(IsInputStarted(), 0);
}

TEST_F(InputEngine, FailedStartReleasesEverythingAndQueriesReadNoPress) {
    g_script.joystick_count = 2;
    g_script.keyboard_event_fails = 1;
    memset(g_script.keys, 0x80, sizeof(g_script.keys));
    SetDirectInputKeyboardFlag(1);
    EXPECT_EQ(RestartWithFakes(), -1);
    EXPECT_EQ(IsInputStarted(), 0);
    EXPECT_EQ(GetJoypadCount(), 0);
    EXPECT_EQ(FakeLiveObjects(), 0);

    // Each query's lazy start fails the same way: its -1 must not read as a press.
    EXPECT_EQ(GetPadState(0x1001), 0);
    EXPECT_EQ(CheckKeyDown(0x1C), 0);
    EXPECT_EQ(CheckAnyInput(7), 0);
    unsigned char keys[256];
    memset(keys, 0xAA, sizeof(keys));
    EXPECT_EQ(GetAllKeyStates(keys), -1);
    EXPECT_EQ(std::count(keys, keys + 256, 0), 256);
    EXPECT_EQ(IsInputStarted(), 0);
    EXPECT_EQ(FakeLiveObjects(), 0);
}

TEST_F(InputEngine, OutOfRangeKeyCodesPadsAndInputTypesAnswerZero) {
    SetDirectInputKeyboardFlag(1);
    memset(g_script.keys, 0x80, sizeof(g_script.keys));
    g_script.keys[0] = 0;  // belongs to no key
    ASSERT_EQ(RestartWithFakes(), 0);
    Sleep(5);  // the first read must fall in a later millisecond than the start
    EXPECT_EQ(CheckKeyDown(0xC8), 1);
    EXPECT_EQ(GetPadState(0x1000), 0x3FFF);  // pad 1's map with every key down
    for (int code : {256, -1, 0x7FFFFFFF}) EXPECT_EQ(CheckKeyDown(code), 0) << code;
    for (int type : {0x1000 | 17, 0x1000 | 0xFFF, -1, (int)0x80001001, 0x1000 | 16})
        EXPECT_EQ(GetPadState(type), 0) << type;
    EXPECT_EQ(StartPadVibration(-5, 100, 10), 0);
    EXPECT_EQ(StopPadVibration(-5), 0);
}

TEST_F(InputEngine, DirectInput8WhenVersion7CannotBeHad) {
    g_script.version8_only = 1;
    g_script.joystick_count = 1;
    ASSERT_EQ(RestartWithFakes(), 0);
    EXPECT_EQ(IsInputStarted(), 1);
    EXPECT_EQ(g_input.version8, 1);
    // Every device through the version-8 CreateDevice (the fake refuses CreateDeviceEx).
    EXPECT_TRUE(g_record.mouse && g_record.keyboard && g_record.keyboard->acquired);
    EXPECT_EQ(GetJoypadCount(), 1);
}
