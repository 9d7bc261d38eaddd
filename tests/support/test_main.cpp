// Shared main of every Wine test program.
#include <windows.h>
#include <cstdio>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

// Wine ends a crashed program with status 0 once the error box is off, which
// would read as a pass: say what happened and fail with status 3 instead.
static LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    const testing::TestInfo* t = testing::UnitTest::GetInstance()->current_test_info();
    std::fprintf(stderr, "CRASH 0x%08lX at %p in %s.%s\n", info->ExceptionRecord->ExceptionCode,
                 info->ExceptionRecord->ExceptionAddress, t ? t->test_suite_name() : "?", t ? t->name() : "?");
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(int argc, char** argv) {
    // A crash must end the program, never wait on an error box under Xvfb.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(ReportCrash);
    testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
