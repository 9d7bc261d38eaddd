// Everything that starts the engine lives in this program, so that only one
// engine window exists on the display at a time.
#include <gtest/gtest.h>

#include <windows.h>
#include <cstring>
#include <string>
#include <vector>

#include "engine/input/text_input.h"
#include "engine/system/api_lock.h"
#include "engine/system/entry_points.h"
#include "engine/system/library.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"
#include "engine/system/tick.h"
#include "engine/system/window.h"

namespace {

class Engine : public testing::Test {
protected:
    void SetUp() override {
        ChangeWindowMode(1);
        SetMainWindowText("テスト");
        SetGraphMode(640, 480, 16, 60);
        SetAlwaysRunFlag(0);
        ASSERT_EQ(InitLibrarySystems(), 0);
    }
    void TearDown() override {
        EndLibrarySystems();
        SetAlwaysRunFlag(0);
    }
    void SetActiveBySystem(int active) {
        SendMessageA(GetMainWindow(), WM_ACTIVATE, active ? WA_ACTIVE : WA_INACTIVE, 0);
    }
};

std::string ReadFileText(const char* path) {
    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "";
    std::string s(GetFileSize(f, nullptr), 0);
    DWORD got = 0;
    ReadFile(f, &s[0], (DWORD)s.size(), &got, nullptr);
    CloseHandle(f);
    s.resize(got);
    return s;
}

TEST(EngineLifetime, StartsAndEndsTwiceLeavingNothing) {
    char dir[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, dir);
    int blocks = MemLiveBlockCount();
    SetOutputLogFlag(1);
    ChangeWindowMode(1);
    SetMainWindowText("テスト窓");
    for (int round = 0; round < 2; round++) {
        ASSERT_EQ(InitLibrarySystems(), 0) << round;
        EXPECT_EQ(IsLibraryInitialized(), 1);
        HWND w = GetMainWindow();
        ASSERT_NE(w, nullptr);
        char title[64];
        GetWindowTextA(w, title, sizeof title);
        EXPECT_STREQ(title, "テスト窓");
        int r[4];
        GetClientScreenRect(r, 0);
        EXPECT_EQ(r[2] - r[0], 640);
        EXPECT_EQ(r[3] - r[1], 480);
        EXPECT_EQ(IsWindowMode(), 1);
        EXPECT_EQ(IsWindowActive(), 1);  // shown windows become active without a window manager
        EXPECT_EQ(IsEndRequested(), 0);
        EXPECT_EQ(ProcessWindowMessages(), 0);
        EXPECT_STREQ(GetStartupDirectory(), dir);
        // The engine restores the start-up directory whatever the program did.
        CreateDirectoryA("elsewhere", nullptr);
        SetCurrentDirectoryA("elsewhere");
        ASSERT_EQ(EndLibrarySystems(), 0);
        EXPECT_EQ(GetMainWindow(), nullptr);
        EXPECT_FALSE(IsWindow(w));
        EXPECT_EQ(IsLibraryInitialized(), 0);
        char now[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, now);
        EXPECT_STREQ(now, dir);
        // A text input asked for while the engine is down would outlive the next start's table.
        EXPECT_EQ(CreateTextInput(8, 0, 0, 0), -1);
        EXPECT_EQ(MemLiveBlockCount(), blocks);
    }
    EXPECT_EQ(EndLibrarySystems(), -1);  // not started
    std::string log = ReadFileText("Log.txt");
    EXPECT_NE(log.find("論理プロセッサ数"), std::string::npos) << log;
    EXPECT_NE(log.find("OS: "), std::string::npos);
    // The dump at the end: nothing is held by the engine itself.
    char dump_line[64];
    wsprintfA(dump_line, "確保しているメモリ領域: %d 個", blocks);
    EXPECT_NE(log.find(dump_line), std::string::npos) << log;
    EXPECT_EQ(log.find("\n\n"), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
}

TEST(EngineLifetime, StartUpValues) {
    ASSERT_EQ(InitLibrarySystems(), 0);
    EXPECT_GE(LogicalProcessorCount, 1);
    EXPECT_EQ(OsVersionCode, 0x109);  // Wine reports Windows 7
    UINT acp = GetACP();
    EXPECT_EQ(LibraryCharsetIndex, acp == 932 ? 1 : acp == 949 ? 2 : acp == 950 ? 3 : acp == 936 ? 4 : 0);
    EXPECT_NE(WinApi.CoCreateInstance, nullptr);
    EXPECT_NE(WinApi.timeGetTime, nullptr);
    EXPECT_NE(WinApi.ImmGetContext, nullptr);
    EXPECT_NE(WinApi.mciSendCommandA, nullptr);
    EndLibrarySystems();
    EXPECT_EQ(WinApi.CoCreateInstance, nullptr);
}

MMRESULT WINAPI FakeKill(UINT) { return 77; }

TEST(EngineLifetime, TestStandInsSurviveStartAndEnd) {
    WinApi.timeKillEvent = FakeKill;
    ASSERT_EQ(InitLibrarySystems(), 0);
    EXPECT_EQ(WinApi.timeKillEvent, &FakeKill);
    EndLibrarySystems();
    EXPECT_EQ(WinApi.timeKillEvent, &FakeKill);
    WinApi.timeKillEvent = nullptr;
}

TEST(EngineLifetime, OsVersionTable) {
    EXPECT_EQ(ComputeOsVersionCode(VER_PLATFORM_WIN32_WINDOWS, 4, 10), 2);
    EXPECT_EQ(ComputeOsVersionCode(VER_PLATFORM_WIN32_WINDOWS, 4, 90), 3);
    EXPECT_EQ(ComputeOsVersionCode(VER_PLATFORM_WIN32_NT, 3, 51), 0x104);
    EXPECT_EQ(ComputeOsVersionCode(VER_PLATFORM_WIN32_NT, 4, 0), 0x105);
    EXPECT_EQ(ComputeOsVersionCode(VER_PLATFORM_WIN32_NT, 5, 0), 0x106);
    EXPECT_EQ(ComputeOsVersionCode(VER_PLATFORM_WIN32_NT, 5, 1), 0x107);
    EXPECT_EQ(ComputeOsVersionCode(VER_PLATFORM_WIN32_NT, 6, 0), 0x108);
    EXPECT_EQ(ComputeOsVersionCode(VER_PLATFORM_WIN32_NT, 6, 1), 0x109);
    EXPECT_EQ(ComputeOsVersionCode(VER_PLATFORM_WIN32_NT, 6, 2), 0x10A);
    EXPECT_EQ(ComputeOsVersionCode(VER_PLATFORM_WIN32_NT, 6, 3), 0x10B);
    EXPECT_EQ(ComputeOsVersionCode(VER_PLATFORM_WIN32_NT, 10, 0), 0x10C);
    EXPECT_EQ(ComputeOsVersionCode(VER_PLATFORM_WIN32_NT, 11, 0), 0x10C);
}

// What the timer callback saw from inside the pump.
struct InsidePump {
    int calls = 0;
    int inside = -1;
    int reentry = -1;
    int wait = -1;
    int wait_ms = -1;
} g_inside;

void CALLBACK FromInsideThePump(HWND hwnd, UINT, UINT_PTR id, DWORD) {
    KillTimer(hwnd, id);
    if (g_inside.calls++) return;
    g_inside.inside = IsInsideMessagePump();
    g_inside.reentry = ProcessWindowMessages();
    SendMessageA(hwnd, WM_ACTIVATE, WA_INACTIVE, 0);
    int t0 = GetTickMs();
    g_inside.wait = WaitWhileInactive();
    g_inside.wait_ms = GetTickMs() - t0;
    SendMessageA(hwnd, WM_ACTIVATE, WA_ACTIVE, 0);
}

TEST_F(Engine, ReenteredPumpAndWaitReturnAtOnce) {
    g_inside = InsidePump();
    SetTimer(GetMainWindow(), 1, 1, FromInsideThePump);
    for (int i = 0; i < 200 && !g_inside.calls; i++) {
        ASSERT_EQ(ProcessWindowMessages(), 0);
        Sleep(5);
    }
    ASSERT_EQ(g_inside.calls, 1);
    EXPECT_EQ(g_inside.inside, 1);
    EXPECT_EQ(g_inside.reentry, 0);
    EXPECT_EQ(g_inside.wait, 0);
    EXPECT_LT(g_inside.wait_ms, 1000);
    EXPECT_EQ(IsInsideMessagePump(), 0);
}

struct Reactivate {
    HWND window;
    int delay_ms;
};

DWORD WINAPI ReactivateLater(void* p) {
    Reactivate* r = (Reactivate*)p;
    Sleep(r->delay_ms);
    // A cross-thread send is delivered while the main thread pumps.
    SendMessageA(r->window, WM_ACTIVATE, WA_ACTIVE, 0);
    return 0;
}

TEST_F(Engine, InactiveWindowPausesInsideThePump) {
    SetActiveBySystem(0);
    EXPECT_EQ(IsWindowActive(), 0);
    Reactivate r = {GetMainWindow(), 300};
    HANDLE t = CreateThread(nullptr, 0, ReactivateLater, &r, 0, nullptr);
    int t0 = GetTickMs();
    EXPECT_EQ(ProcessWindowMessages(), 0);
    int waited = GetTickMs() - t0;
    WaitForSingleObject(t, 10000);
    CloseHandle(t);
    EXPECT_GE(waited, 200);
    EXPECT_EQ(IsWindowActive(), 1);

    // WaitWhileInactive outside the pump waits the same way.
    SetActiveBySystem(0);
    t = CreateThread(nullptr, 0, ReactivateLater, &r, 0, nullptr);
    t0 = GetTickMs();
    EXPECT_EQ(WaitWhileInactive(), 0);
    waited = GetTickMs() - t0;
    WaitForSingleObject(t, 10000);
    CloseHandle(t);
    EXPECT_GE(waited, 200);
    EXPECT_EQ(IsWindowActive(), 1);
}

TEST_F(Engine, AlwaysRunKeepsGoingWhileInactive) {
    SetAlwaysRunFlag(1);
    SetActiveBySystem(0);
    int t0 = GetTickMs();
    EXPECT_EQ(ProcessWindowMessages(), 0);
    EXPECT_EQ(WaitWhileInactive(), 0);
    EXPECT_LT(GetTickMs() - t0, 1000);
    SetActiveBySystem(1);
}

TEST_F(Engine, EngineCloseEndsThePump) {
    EXPECT_EQ(IsClosePosted(), 0);
    ASSERT_EQ(PostEngineClose(), 0);
    EXPECT_EQ(IsClosePosted(), 1);
    EXPECT_EQ(ProcessWindowMessages(), -1);
    EXPECT_EQ(IsEndRequested(), 1);
    // Inactive and ending: nothing waits any more.
    SetActiveBySystem(0);
    EXPECT_EQ(WaitWhileInactive(), 0);
    EXPECT_EQ(ProcessWindowMessages(), -1);
}

TEST_F(Engine, ClipboardRoundTripWithBound) {
    const char text[] = "abc日本";  // 3 single bytes, then two double-byte characters
    ASSERT_EQ(SetClipboardText(text), 0);
    int size = GetClipboardText(nullptr, 0);
    EXPECT_EQ(size, (int)sizeof text);
    std::vector<char> all(size);
    EXPECT_EQ(GetClipboardText(all.data(), size), 0);
    EXPECT_STREQ(all.data(), text);
    char small[7];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(GetClipboardText(small, 5), 0);
    EXPECT_STREQ(small, "abc");  // "abc" plus a lead byte would split the character
    EXPECT_EQ(small[5], 'x');
    EXPECT_EQ(GetClipboardText(small, 6), 0);
    EXPECT_EQ(std::string(small), std::string(text, 5));
}

TEST(ApiLock, RecursiveWithOwner) {
    LibraryLockInit();
    EXPECT_EQ(LibraryLockOwner(), -1);
    LibraryLockEnter();
    LibraryLockEnter();
    EXPECT_EQ(LibraryLockOwner(), (int)GetCurrentThreadId());
    LibraryLockLeave();
    EXPECT_EQ(LibraryLockOwner(), (int)GetCurrentThreadId());
    LibraryLockLeave();
    EXPECT_EQ(LibraryLockOwner(), -1);
}

struct Waiter {
    int id;
    std::vector<int>* order;
    volatile LONG* started;
};

DWORD WINAPI TakeTheLock(void* p) {
    Waiter* w = (Waiter*)p;
    InterlockedIncrement(w->started);
    LibraryLockEnter();
    w->order->push_back(w->id);
    LibraryLockLeave();
    return 0;
}

TEST(ApiLock, WaitersAreServedInArrivalOrder) {
    std::vector<int> order;
    volatile LONG started = 0;
    Waiter w[4];
    HANDLE t[4];
    LibraryLockEnter();
    for (int i = 0; i < 4; i++) {
        w[i] = {i, &order, &started};
        t[i] = CreateThread(nullptr, 0, TakeTheLock, &w[i], 0, nullptr);
        while (started <= i) Sleep(1);
        Sleep(100);  // generous: the thread is queued on the lock by now
    }
    LibraryLockLeave();
    WaitForMultipleObjects(4, t, TRUE, 10000);
    for (HANDLE h : t) CloseHandle(h);
    ASSERT_EQ(order.size(), 4u);
    for (int i = 0; i < 4; i++) EXPECT_EQ(order[i], i);
}

TEST(Fatal, LogsAndExitsWithMinusOne) {
    EXPECT_EXIT(
        {
            ChangeWindowMode(1);
            InitLibrarySystems();
            FatalLibraryErrorF("fatal %d", 7);
        },
        testing::ExitedWithCode(-1), "");
}

}  // namespace
