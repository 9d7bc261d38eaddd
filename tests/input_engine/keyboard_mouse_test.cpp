// The keyboard and mouse as Wine delivers them: window-system key state refreshed by the pump.
#include "input_test_util.h"

namespace {

struct KeyPress {
    WORD vk, scan;
    bool extended;
    KeyPress(WORD v, WORD s, bool e) : vk(v), scan(s), extended(e) { SendKey(vk, scan, extended, false); }
    ~KeyPress() {
        SendKey(vk, scan, extended, true);
        PumpFor(30);
    }
};

bool WaitKey(int code, int down) {
    return PumpUntil([&] { return CheckKeyDown(code) == down; });
}

}  // namespace

TEST_F(InputEngine, InjectedKeysReachKeyStatesAndPadOne) {
    ASSERT_EQ(OsVersionCode >= 0x108, true);
    {
        KeyPress z('Z', 0x2C, false);
        ASSERT_TRUE(WaitKey(0x2C, 1));
        EXPECT_EQ(GetPadState(0x1001), 0x10);
        EXPECT_EQ(CheckAnyInput(7), 0x2C);
        EXPECT_EQ(CheckAnyInput(2), 0);
        unsigned char keys[256];
        ASSERT_EQ(GetAllKeyStates(keys), 0);
        EXPECT_EQ(keys[0x2C], 1);
        EXPECT_EQ(keys[0x2D], 0);
    }
    EXPECT_TRUE(WaitKey(0x2C, 0));
    EXPECT_EQ(GetPadState(0x1001), 0);
}

TEST_F(InputEngine, ArrowMergesOnlyThroughPadOnesMap) {
    KeyPress up(VK_UP, 0x48, true);  // extended: the Up arrow, not numeric-pad 8
    ASSERT_TRUE(WaitKey(0xC8, 1));
    EXPECT_EQ(CheckKeyDown(0x48), 0);
    EXPECT_EQ(GetPadState(0x1001), 0x8);
    EXPECT_EQ(GetPadState(0x1000), 0x8);
    EXPECT_EQ(GetPadState(0x1002), 0);
    EXPECT_EQ(GetPadState(1), 0);  // no pad attached
}

TEST_F(InputEngine, MainEnterAlsoReadsAsNumpadEnterAndEscapeIsTheLowestCode) {
    {
        KeyPress enter(VK_RETURN, 0x1C, false);
        ASSERT_TRUE(WaitKey(0x1C, 1));
        EXPECT_EQ(CheckKeyDown(156), 1);
    }
    KeyPress shift(VK_LSHIFT, 0x2A, false);
    KeyPress esc(VK_ESCAPE, 0x01, false);
    ASSERT_TRUE(WaitKey(0x01, 1));
    EXPECT_EQ(CheckKeyDown(0x2A), 1);
    EXPECT_EQ(CheckAnyInput(7), 0x01);
    EXPECT_EQ(GetPadState(0x1001), 0x1000);
}

TEST_F(InputEngine, KeyStateChangesOnlyInsideThePump) {
    PumpFor(20);
    ASSERT_EQ(CheckKeyDown(0x2D), 0);
    SendKey('X', 0x2D, false, false);
    Sleep(50);
    // The game's own query between two pump passes sees the last pass's state.
    EXPECT_EQ(CheckKeyDown(0x2D), 0);
    EXPECT_EQ(UpdateKeyboardState(), 0);
    EXPECT_TRUE(WaitKey(0x2D, 1));
    SendKey('X', 0x2D, false, true);
    EXPECT_TRUE(WaitKey(0x2D, 0));
}

TEST_F(InputEngine, MouseButtonCountsInsideTheClientAreaAndOnItsEdgeOnly) {
    int r[4];
    GetClientScreenRect(r, 0);
    int w = r[2] - r[0], h = r[3] - r[1];
    SetCursorPos(r[0] + w / 2, r[1] + h / 2);
    PumpFor(30);
    ASSERT_EQ(IsWindowActive(), 1);
    EXPECT_EQ(CheckAnyInput(4), 0);
    SendMouseButton(MOUSEEVENTF_LEFTDOWN);
    EXPECT_TRUE(PumpUntil([] { return CheckAnyInput(4) == -1; }));
    EXPECT_EQ(GetMouseButtons() & 1, 1);
    EXPECT_EQ(CheckAnyInput(1), 0);  // keys and pads only
    // Right and bottom edges count (the comparison is inclusive).
    SetCursorPos(r[0] + w, r[1] + h);
    PumpFor(30);
    int x, y;
    GetMousePosition(&x, &y);
    ASSERT_EQ(x, w);
    ASSERT_EQ(y, h);
    EXPECT_EQ(CheckAnyInput(4), -1);
    // Outside the client area the held button no longer counts.
    SetCursorPos(r[0] + w + 1, r[1] + 10);
    PumpFor(30);
    EXPECT_EQ(CheckAnyInput(4), 0);
    SetCursorPos(r[0] + 10, r[1] - 1);
    PumpFor(30);
    EXPECT_EQ(CheckAnyInput(4), 0);
    SetCursorPos(r[0] + w / 2, r[1] + h / 2);
    SendMouseButton(MOUSEEVENTF_LEFTUP);
    EXPECT_TRUE(PumpUntil([] { return GetMouseButtons() == 0; }));
    EXPECT_EQ(CheckAnyInput(4), 0);
}

namespace {
DWORD WINAPI ActivateLater(LPVOID hwnd) {
    Sleep(300);
    PostMessageA((HWND)hwnd, WM_ACTIVATE, WA_ACTIVE, 0);
    return 0;
}
}  // namespace

TEST_F(InputEngine, QueryWhileInactiveReturnsOnceTheWindowIsActiveAgain) {
    SetActiveBySystem(0);
    ASSERT_EQ(IsWindowActive(), 0);
    HANDLE t = CreateThread(nullptr, 0, ActivateLater, GetMainWindow(), 0, nullptr);
    DWORD start = GetTickCount();
    EXPECT_EQ(GetPadState(0x1001), 0);
    DWORD took = GetTickCount() - start;
    EXPECT_EQ(IsWindowActive(), 1);
    EXPECT_GE(took, 200u);
    EXPECT_LT(took, 10000u);
    WaitForSingleObject(t, 5000);
    CloseHandle(t);
}
