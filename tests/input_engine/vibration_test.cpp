// Pad vibration through the scripted effects.
#include <climits>

#include "input_test_util.h"

class Vibration : public InputEngine {
  protected:
    void SetUp() override {
        InputEngine::SetUp();
        g_script.joystick_count = 2;
        g_script.joy[1].fail = JOY_FAIL_CONSTANT;  // pad 2 cannot vibrate
        ASSERT_EQ(RestartWithFakes(), 0);
        ASSERT_EQ(GetJoypadCount(), 2);
        pad = GetJoypadRecord(0);
        constant = g_record.joysticks[0]->constant.get();
        sine = g_record.joysticks[0]->sine.get();
    }
    JoypadRecord* pad = nullptr;
    FakeEffect* constant = nullptr;
    FakeEffect* sine = nullptr;
};

TEST_F(Vibration, MagnitudesAndTheSineAboveHalfStrength) {
    EXPECT_EQ(StartPadVibration(2, 800, 100), 0);  // no constant force: nothing happens
    EXPECT_EQ(GetJoypadRecord(1)->vibrating, 0);
    EXPECT_EQ(StopPadVibration(1), 0);  // not vibrating: nothing to stop

    EXPECT_EQ(StartPadVibration(1, 300, -1), 0);
    EXPECT_EQ(constant->magnitude, 3000);
    EXPECT_EQ(constant->last_flags, (DWORD)(DIEP_TYPESPECIFICPARAMS | DIEP_START));
    EXPECT_TRUE(constant->starts == 1 && sine->starts == 0);
    EXPECT_EQ(StartPadVibration(0x1001, 501, -1), 0);  // the keyboard bit is ignored
    EXPECT_EQ(constant->magnitude, 5010);
    EXPECT_EQ(constant->last_flags, (DWORD)DIEP_TYPESPECIFICPARAMS);  // running: no restart
    EXPECT_TRUE(constant->starts == 1 && sine->starts == 1);
    EXPECT_EQ(StartPadVibration(1, 500, -1), 0);
    EXPECT_EQ(constant->magnitude, 5000);
    EXPECT_EQ(sine->stops, 1);

    // The same request again only restarts the timing.
    int params = constant->set_params;
    pad->elapsed = 77;
    EXPECT_EQ(StartPadVibration(1, 500, 250), 0);
    EXPECT_EQ(constant->set_params, params);
    EXPECT_TRUE(pad->elapsed == 0 && pad->time_limit == 250);

    EXPECT_EQ(StopPadVibration(1), 0);
    EXPECT_TRUE(pad->vibrating == 0 && constant->stops == 1);
    EXPECT_EQ(StartPadVibration(1, -1, -1), 0);  // the stored power: full after a stop
    EXPECT_EQ(constant->magnitude, 10000);
    EXPECT_EQ(sine->starts, 2);
}

TEST_F(Vibration, PowerIsClampedBeforeScaling) {
    const struct { int power, magnitude; } cases[] = {
        {2000, 10000}, {-2000, -10000}, {INT_MAX, 10000}, {INT_MIN, -10000}, {429496730, 10000}, {1, 10},
    };
    for (const auto& c : cases) {
        StartPadVibration(1, c.power, -1);
        EXPECT_EQ(constant->magnitude, c.magnitude) << c.power;
    }
}

TEST_F(Vibration, TheLengthRunsOutInThePump) {
    ASSERT_EQ(StartPadVibration(1, 400, 40), 0);
    DWORD start = GetTickCount();
    EXPECT_TRUE(PumpUntil([this] { return pad->vibrating == 0; }));
    EXPECT_GE(GetTickCount() - start, 30u);
    EXPECT_EQ(constant->stops, 1);
    EXPECT_EQ(pad->power, 10000);
}

TEST_F(Vibration, DeactivationStopsEffectsAndReactivationRestartsThem) {
    ASSERT_EQ(StartPadVibration(1, 800, 5000), 0);
    SetActiveBySystem(0);
    EXPECT_TRUE(constant->stops == 1 && sine->stops == 1);
    EXPECT_EQ(pad->vibrating, 1);
    SetActiveBySystem(1);
    EXPECT_TRUE(constant->starts == 2 && sine->starts == 2);

    // The length keeps counting while inactive.
    ASSERT_EQ(StartPadVibration(1, 300, 100), 0);
    SetActiveBySystem(0);
    Sleep(150);
    SetActiveBySystem(1);
    UpdatePadVibration();
    EXPECT_EQ(pad->vibrating, 0);
}

TEST_F(Vibration, AWrapOfTheMillisecondClockCountsNothing) {
    ASSERT_EQ(StartPadVibration(1, 400, 1000), 0);
    pad->last_tick = 0x7FFFFFF0;  // later than any reading after the wrap
    pad->elapsed = 10;
    UpdatePadVibration();
    EXPECT_EQ(pad->elapsed, 10);
    EXPECT_NE(pad->last_tick, 0x7FFFFFF0u);
    EXPECT_EQ(pad->vibrating, 1);
}

TEST_F(Vibration, ExpiryWhileInactiveStopsWithoutWaitingForTheWindow) {
    ASSERT_EQ(StartPadVibration(1, 400, 20), 0);
    SetActiveBySystem(0);
    Sleep(40);
    // Should the stop wait for an active window, this thread would bring it back after 3 s.
    HANDLE t = ActivateLater(3000);
    DWORD start = GetTickCount();
    UpdatePadVibration();
    EXPECT_LT(GetTickCount() - start, 1500u);
    EXPECT_TRUE(pad->vibrating == 0 && IsWindowActive() == 0);
    WaitForSingleObject(t, 10000);
    CloseHandle(t);
    PumpFor(20);
}
