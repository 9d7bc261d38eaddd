// Pad vibration through the scripted effects.
#include <climits>

#include "input_test_util.h"

namespace {

class Vibration : public InputEngine {
  protected:
    void SetUp() override {
        InputEngine::SetUp();
        g_script.joystick_count = 2;
        g_script.joy_fail[1] = JOY_FAIL_CONSTANT;  // pad 2 cannot vibrate
        ASSERT_EQ(RestartWithFakes(), 0);
        ASSERT_EQ(GetJoypadCount(), 2);
        pad = GetJoypadRecord(0);
        constant = g_record.joysticks[0]->constant;
        sine = g_record.joysticks[0]->sine;
        ASSERT_NE(constant, nullptr);
        ASSERT_NE(sine, nullptr);
    }
    JoypadRecord* pad = nullptr;
    FakeEffect* constant = nullptr;
    FakeEffect* sine = nullptr;
};

DWORD WINAPI ActivateLater(LPVOID hwnd) {
    Sleep(3000);
    PostMessageA((HWND)hwnd, WM_ACTIVATE, WA_ACTIVE, 0);
    return 0;
}

}  // namespace

TEST_F(Vibration, MagnitudesAndTheSineAboveHalfStrength) {
    EXPECT_EQ(StartPadVibration(1, 300, -1), 0);
    EXPECT_EQ(constant->magnitude, 3000);
    EXPECT_EQ(constant->last_param_flags, (DWORD)(DIEP_TYPESPECIFICPARAMS | DIEP_START));
    EXPECT_EQ(constant->starts, 1);
    EXPECT_EQ(sine->starts, 0);

    EXPECT_EQ(StartPadVibration(0x1001, 501, -1), 0);  // the keyboard bit is ignored
    EXPECT_EQ(constant->magnitude, 5010);
    EXPECT_EQ(constant->last_param_flags, (DWORD)DIEP_TYPESPECIFICPARAMS);  // running: no restart
    EXPECT_EQ(constant->starts, 1);
    EXPECT_EQ(sine->starts, 1);

    EXPECT_EQ(StartPadVibration(1, 500, -1), 0);
    EXPECT_EQ(constant->magnitude, 5000);
    EXPECT_EQ(sine->stops, 1);
    EXPECT_EQ(pad->sine_started, 0);

    // The same request again only restarts the timing.
    int params = constant->set_params;
    pad->elapsed = 77;
    EXPECT_EQ(StartPadVibration(1, 500, 250), 0);
    EXPECT_EQ(constant->set_params, params);
    EXPECT_EQ(pad->elapsed, 0);
    EXPECT_EQ(pad->time_limit, 250);

    EXPECT_EQ(StopPadVibration(1), 0);
    EXPECT_EQ(pad->vibrating, 0);
    EXPECT_EQ(pad->power, 10000);
    EXPECT_EQ(constant->stops, 1);
    // -1 keeps the stored power, full strength after a stop.
    EXPECT_EQ(StartPadVibration(1, -1, -1), 0);
    EXPECT_EQ(constant->magnitude, 10000);
    EXPECT_EQ(sine->starts, 2);
}

TEST_F(Vibration, PowerIsClampedBeforeScaling) {
    const struct { int power, magnitude; } cases[] = {
        {2000, 10000}, {-2000, -10000}, {INT_MAX, 10000}, {INT_MIN, -10000}, {429496730, 10000}, {1000, 10000}, {1, 10},
    };
    for (const auto& c : cases) {
        StartPadVibration(1, c.power, -1);
        EXPECT_EQ(constant->magnitude, c.magnitude) << c.power;
        EXPECT_EQ(pad->power, c.magnitude) << c.power;
    }
}

TEST_F(Vibration, PadsWithoutForceFeedbackAndBadPadsChangeNothing) {
    EXPECT_EQ(StartPadVibration(2, 800, 100), 0);
    EXPECT_EQ(GetJoypadRecord(1)->vibrating, 0);
    EXPECT_EQ(StartPadVibration(3, 800, 100), 0);
    EXPECT_EQ(StartPadVibration(0, 800, 100), 0);
    EXPECT_EQ(StopPadVibration(1), 0);  // not vibrating: nothing to stop
    EXPECT_EQ(constant->set_params + constant->starts + constant->stops, 0);

    SetForceFeedbackOffFlag(1);
    size_t effects = g_record.effects.size();
    EndInput();
    ASSERT_EQ(InitInput(), 0);
    EXPECT_EQ(g_record.effects.size(), effects);
    EXPECT_EQ(StartPadVibration(1, 800, 100), 0);
    EXPECT_EQ(GetJoypadRecord(0)->vibrating, 0);
}

TEST_F(Vibration, TheLengthRunsOutInThePump) {
    ASSERT_EQ(StartPadVibration(1, 400, 40), 0);
    DWORD start = GetTickCount();
    EXPECT_TRUE(PumpUntil([this] { return pad->vibrating == 0; }));
    EXPECT_GE(GetTickCount() - start, 30u);
    EXPECT_EQ(constant->stops, 1);
    EXPECT_EQ(pad->power, 10000);
    EXPECT_EQ(pad->constant_started, 0);
}

TEST_F(Vibration, DeactivationStopsEffectsAndReactivationRestartsThem) {
    ASSERT_EQ(StartPadVibration(1, 800, 5000), 0);
    ASSERT_EQ(constant->starts, 1);
    ASSERT_EQ(sine->starts, 1);
    SetActiveBySystem(0);
    EXPECT_EQ(constant->stops, 1);
    EXPECT_EQ(sine->stops, 1);
    EXPECT_EQ(pad->vibrating, 1);
    EXPECT_EQ(pad->constant_started + pad->sine_started, 0);
    SetActiveBySystem(1);
    EXPECT_EQ(constant->starts, 2);
    EXPECT_EQ(sine->starts, 2);

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
    HANDLE t = CreateThread(nullptr, 0, ActivateLater, GetMainWindow(), 0, nullptr);
    DWORD start = GetTickCount();
    UpdatePadVibration();
    DWORD took = GetTickCount() - start;
    EXPECT_LT(took, 1500u);
    EXPECT_EQ(pad->vibrating, 0);
    EXPECT_EQ(pad->power, 10000);
    EXPECT_EQ(IsWindowActive(), 0);
    WaitForSingleObject(t, 10000);
    CloseHandle(t);
    PumpFor(20);
    SetActiveBySystem(1);
}
