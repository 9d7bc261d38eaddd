// Start, end, lazy restart and the settings that survive a restart.
#include <cstring>

#include "input_test_util.h"

TEST_F(InputEngine, EngineStartStartsInputAndASecondInitChangesNothing) {
    ASSERT_EQ(IsInputStarted(), 1);  // Wine's DirectInput 7
    int map_before[32][4];
    ASSERT_EQ(GetKeyToPadMap(0, map_before), 0);
    EXPECT_EQ(map_before[3][1], 0xC8);
    int pads = GetJoypadCount();
    EXPECT_EQ(InitInput(), 0);
    EXPECT_EQ(IsInputStarted(), 1);
    EXPECT_EQ(GetJoypadCount(), pads);
}

TEST_F(InputEngine, QueryAfterEndStartsInputAgainAndAnswersZero) {
    ASSERT_EQ(EndInput(), 0);
    EXPECT_EQ(IsInputStarted(), 0);
    EXPECT_EQ(EndInput(), 0);
    EXPECT_EQ(CheckKeyDown(0x2C), 0);
    EXPECT_EQ(IsInputStarted(), 1);
    ASSERT_EQ(EndInput(), 0);
    unsigned char keys[256];
    memset(keys, 0xAA, sizeof(keys));
    EXPECT_EQ(GetAllKeyStates(keys), 0);
    for (int k = 0; k < 256; k++) ASSERT_EQ(keys[k], 0) << k;
    EXPECT_EQ(IsInputStarted(), 1);
}

TEST_F(InputEngine, AfterTheEnginesOwnCloseQueriesDoNotRestart) {
    ASSERT_EQ(EndInput(), 0);
    ASSERT_EQ(PostEngineClose(), 0);
    EXPECT_EQ(CheckKeyDown(0x01), 0);
    EXPECT_EQ(GetPadState(0x1001), 0);
    EXPECT_EQ(CheckAnyInput(7), 0);
    unsigned char keys[256];
    EXPECT_EQ(GetAllKeyStates(keys), 0);
    EXPECT_EQ(IsInputStarted(), 0);
}

TEST_F(InputEngine, SettingsAndKeyMapSurviveEndAndInit) {
    int map_before[32][4], map_after[32][4];
    GetKeyToPadMap(0, map_before);
    SetDirectInputOffFlag(1);
    EndInput();
    ASSERT_EQ(InitInput(), 0);
    EXPECT_EQ(IsInputStarted(), 2);
    EXPECT_EQ(GetJoypadCount(), 16);  // the fallback asks every pad on every read
    GetKeyToPadMap(0, map_after);
    EXPECT_EQ(memcmp(map_before, map_after, sizeof(map_before)), 0);
    EndInput();
    EXPECT_EQ(GetDirectInputOffFlag(), 1);
    SetDirectInputOffFlag(0);
    ASSERT_EQ(InitInput(), 0);
    EXPECT_EQ(IsInputStarted(), 1);
    GetKeyToPadMap(1, map_after);
    EXPECT_EQ(map_after[0][0], -1);
    EXPECT_EQ(map_after[0][2], 0);
}

TEST_F(InputEngine, BothDirectInputVersionsMissingSelectsTheFallbackForGood) {
    g_script.di7_create_fails = 1;
    g_script.di8_create_fails = 1;
    ASSERT_EQ(RestartWithFakes(), 0);
    EXPECT_EQ(IsInputStarted(), 2);
    EXPECT_EQ(GetDirectInputOffFlag(), 1);
    EXPECT_EQ(FakeLiveObjects(), 0);
    EndInput();
    g_script.di7_create_fails = 0;  // not asked again
    ASSERT_EQ(InitInput(), 0);
    EXPECT_EQ(IsInputStarted(), 2);
    EXPECT_EQ(g_record.version, 0);
}

TEST_F(InputEngine, FailedKeyboardEventLeavesInputNotStartedAndQueriesAnswerNothing) {
    g_script.joystick_count = 2;
    g_script.keyboard_event_fails = 1;
    memset(g_script.keys, 0x80, sizeof(g_script.keys));  // would read as everything down
    SetDirectInputKeyboardFlag(1);
    EXPECT_EQ(RestartWithFakes(), -1);
    EXPECT_EQ(IsInputStarted(), 0);
    EXPECT_EQ(FakeLiveObjects(), 0);  // devices, effects and the object all released
    EXPECT_EQ(GetJoypadCount(), 0);

    // Each lazy start fails the same way; the answers must not read as presses.
    EXPECT_EQ(GetPadState(0x1001), 0);
    EXPECT_EQ(CheckKeyDown(0x1C), 0);
    EXPECT_EQ(CheckAnyInput(7), 0);
    unsigned char keys[256];
    memset(keys, 0xAA, sizeof(keys));
    EXPECT_EQ(GetAllKeyStates(keys), -1);
    for (int k = 0; k < 256; k++) ASSERT_EQ(keys[k], 0) << k;
    EXPECT_EQ(StartPadVibration(1, 500, 100), -1);
    EXPECT_EQ(IsInputStarted(), 0);
    EXPECT_EQ(FakeLiveObjects(), 0);
}

TEST_F(InputEngine, OutOfRangeKeyCodesAndInputTypesAnswerZero) {
    SetDirectInputKeyboardFlag(1);
    memset(g_script.keys, 0x80, sizeof(g_script.keys));
    g_script.keys[0] = 0;  // belongs to no key
    ASSERT_EQ(RestartWithFakes(), 0);
    Sleep(5);  // the first read must fall in a later millisecond than the start
    EXPECT_EQ(CheckKeyDown(0xC8), 1);
    EXPECT_EQ(CheckKeyDown(256), 0);
    EXPECT_EQ(CheckKeyDown(-1), 0);
    EXPECT_EQ(CheckKeyDown(0x7FFFFFFF), 0);
    EXPECT_EQ(GetPadState(0x1000 | 17), 0);
    EXPECT_EQ(GetPadState(0x1000 | 0xFFF), 0);
    EXPECT_EQ(GetPadState(-1), 0);
    EXPECT_EQ(GetPadState((int)0x80001001), 0);
    EXPECT_EQ(GetPadState(0x1000 | 16), 0);  // pad 16's map is empty, but in range
    EXPECT_EQ(GetPadState(0x1000), 0x3FFF);
    EXPECT_EQ(StartPadVibration(-5, 100, 10), 0);
    EXPECT_EQ(StopPadVibration(-5), 0);
}

TEST_F(InputEngine, HookFlagsFollowThePrivateMessages) {
    SetDirectInputKeyboardFlag(1);
    ASSERT_EQ(RestartWithFakes(), 0);
    EXPECT_EQ(CheckAnyInput(1), 0);
    SendMessageA(GetMainWindow(), 0x46F, 1, 0);
    EXPECT_EQ(CheckAnyInput(1), 0x44);
    SendMessageA(GetMainWindow(), 0x46F, 2, 0);
    EXPECT_EQ(CheckAnyInput(1), 0);
    SendMessageA(GetMainWindow(), 0x470, 1, 0);
    EXPECT_EQ(g_input.syskey_hook, 1);
    SendMessageA(GetMainWindow(), 0x470, 0, 0);
    EXPECT_EQ(g_input.syskey_hook, 0);
}
