// The keyboard and mouse as Wine delivers them: window-system key state refreshed by the pump.
#include "input_test_util.h"

static bool WaitKey(int code, int down) {
    return PumpUntil([&] { return CheckKeyDown(code) == down; });
}

TEST_F(InputEngine, InjectedKeysReachKeyStatesAndPadOneThroughThePump) {
    ASSERT_GE(OsVersionCode, 0x108);  // the window-system keyboard
    // other: a second code and whether it reads down with the first.
    const struct { BYTE vk, scan; bool extended; int code, other, other_down, pad; } cases[] = {
        {'Z', 0x2C, false, 0x2C, 0x2D, 0, 0x10},
        {VK_UP, 0x48, true, 0xC8, 0x48, 0, 0x8},        // the arrow, not numeric-pad 8
        {VK_RETURN, 0x1C, false, 0x1C, 0x9C, 1, 0},     // the main Enter also reads as the numeric-pad one
        {VK_ESCAPE, 0x01, false, 0x01, 0x02, 0, 0x1000},
    };
    for (const auto& c : cases) {
        SendKey(c.vk, c.scan, c.extended, false);
        Sleep(50);
        EXPECT_EQ(CheckKeyDown(c.code), 0) << c.code;  // only the pump refreshes
        ASSERT_TRUE(WaitKey(c.code, 1)) << c.code;
        EXPECT_EQ(CheckKeyDown(c.other), c.other_down) << c.code;
        EXPECT_EQ(GetPadState(0x1001), c.pad) << c.code;
        EXPECT_EQ(GetPadState(0x1000), c.pad) << c.code;
        EXPECT_EQ(GetPadState(0x1002), 0) << c.code;
        EXPECT_EQ(CheckAnyInput(1), c.code);
        unsigned char keys[256];
        ASSERT_EQ(GetAllKeyStates(keys), 0);
        EXPECT_EQ(keys[c.code], 1);
        SendKey(c.vk, c.scan, c.extended, true);
        EXPECT_TRUE(WaitKey(c.code, 0)) << c.code;
    }
    EXPECT_EQ(GetPadState(0x1001), 0);
}

TEST_F(InputEngine, MouseButtonCountsInsideTheClientAreaAndOnItsEdgeOnly) {
    int r[4];
    GetClientScreenRect(r, 0);
    int w = r[2] - r[0], h = r[3] - r[1];
    SetCursorPos(r[0] + w / 2, r[1] + h / 2);
    PumpFor(30);
    ASSERT_EQ(IsWindowActive(), 1);
    EXPECT_EQ(CheckAnyInput(4), 0);
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    EXPECT_TRUE(PumpUntil([] { return CheckAnyInput(4) == -1; }));
    EXPECT_EQ(GetMouseButtons(), 1);
    EXPECT_EQ(CheckAnyInput(1), 0);  // keys and pads only
    const struct { int x, y, counts; } spots[] = {{w, h, -1}, {w + 1, 10, 0}, {10, -1, 0}};
    for (const auto& s : spots) {
        SetCursorPos(r[0] + s.x, r[1] + s.y);
        PumpFor(30);
        int x, y;
        GetMousePosition(&x, &y);
        ASSERT_TRUE(x == s.x && y == s.y) << x << "," << y;
        EXPECT_EQ(CheckAnyInput(4), s.counts) << x << "," << y;
    }
    SetCursorPos(r[0] + w / 2, r[1] + h / 2);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    EXPECT_TRUE(PumpUntil([] { return GetMouseButtons() == 0; }));
    EXPECT_EQ(CheckAnyInput(4), 0);
}

TEST_F(InputEngine, QueryWhileInactiveReturnsOnceTheWindowIsActiveAgain) {
    SetActiveBySystem(0);
    ASSERT_EQ(IsWindowActive(), 0);
    HANDLE t = ActivateLater(300);
    DWORD start = GetTickCount();
    EXPECT_EQ(GetPadState(0x1001), 0);
    DWORD took = GetTickCount() - start;
    EXPECT_EQ(IsWindowActive(), 1);
    EXPECT_GE(took, 200u);
    EXPECT_LT(took, 10000u);
    WaitForSingleObject(t, 5000);
    CloseHandle(t);
}
