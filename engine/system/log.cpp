#include "engine/system/log.h"

#include <windows.h>
#include <cstdio>
#include <cstring>

#include "engine/system/str_util.h"
#include "engine/system/tick.h"

int EndLibrarySystems();
void LibraryLockTerm();

namespace {

struct LogState {
    CRITICAL_SECTION lock;
    HANDLE file = INVALID_HANDLE_VALUE;
    int output_file = 1;
    int indent = 0;
    int at_line_start = 1;
    int clock_base = 0;
    LogCaptureFn capture = nullptr;
    void* capture_user = nullptr;
    LogState() {
        InitializeCriticalSection(&lock);
        clock_base = GetTickMs();
    }
};

LogState& State() {
    static LogState* s = new LogState;  // never destroyed: threads may log during process exit
    return *s;
}

void Emit(LogState& s, const char* piece, size_t len) {
    if (len == 0) return;
    OutputDebugStringA(piece);
    if (s.file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(s.file, piece, (DWORD)len, &written, nullptr);
    }
    if (s.capture) s.capture(piece, s.capture_user);
}

// Writes one piece of text with the line prefixes inserted and "\n" expanded.
void Append(LogState& s, const char* text) {
    char buf[1024];
    size_t n = 0;
    auto flush = [&]() {
        buf[n] = 0;
        Emit(s, buf, n);
        n = 0;
    };
    for (const char* p = text; *p; p++) {
        if (s.at_line_start) {
            if (n + 16 + s.indent >= sizeof buf - 2) flush();
            n += std::snprintf(buf + n, sizeof buf - n, "%d:", (GetTickMs() - s.clock_base) & 0x7FFFFFFF);
            for (int i = 0; i < s.indent && n < sizeof buf - 3; i++) buf[n++] = '\t';
            s.at_line_start = 0;
        }
        if (n >= sizeof buf - 3) flush();
        if (*p == '\n') {
            buf[n++] = '\r';
            buf[n++] = '\n';
            s.at_line_start = 1;
        } else {
            buf[n++] = *p;
        }
    }
    flush();
}

}  // namespace

int LogAppend(const char* text) {
    if (!text) return -1;
    LogState& s = State();
    EnterCriticalSection(&s.lock);
    Append(s, text);
    LeaveCriticalSection(&s.lock);
    return -1;
}

int LogAppendForward(const char* text) { return LogAppend(text); }

int LogAppendFormat(const char* format, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, format);
    int n = FormatStringVa(buf, sizeof buf - 1, format, ap);
    va_end(ap);
    buf[n] = '\n';
    buf[n + 1] = 0;
    return LogAppend(buf);
}

int LogIndentIn() {
    LogState& s = State();
    EnterCriticalSection(&s.lock);
    s.indent++;
    LeaveCriticalSection(&s.lock);
    return 0;
}

int LogIndentOut() {
    LogState& s = State();
    EnterCriticalSection(&s.lock);
    if (s.indent > 0) s.indent--;
    LeaveCriticalSection(&s.lock);
    return 0;
}

int SetOutputLogFlag(int on) {
    State().output_file = on ? 1 : 0;
    return 0;
}

int GetOutputLogFlag() { return State().output_file; }

int LogOpen(const char* directory) {
    LogState& s = State();
    EnterCriticalSection(&s.lock);
    if (s.file != INVALID_HANDLE_VALUE) CloseHandle(s.file);
    s.file = INVALID_HANDLE_VALUE;
    s.indent = 0;
    s.at_line_start = 1;
    int result = 0;
    if (s.output_file) {
        char path[MAX_PATH + 16];
        FormatString(path, sizeof path, "%s\\Log.txt", directory);
        s.file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (s.file == INVALID_HANDLE_VALUE) result = -1;
    }
    LeaveCriticalSection(&s.lock);
    return result;
}

int LogClose() {
    LogState& s = State();
    EnterCriticalSection(&s.lock);
    if (s.file != INVALID_HANDLE_VALUE) CloseHandle(s.file);
    s.file = INVALID_HANDLE_VALUE;
    LeaveCriticalSection(&s.lock);
    return 0;
}

void LogResetClock() {
    LogState& s = State();
    EnterCriticalSection(&s.lock);
    s.clock_base = GetTickMs();
    LeaveCriticalSection(&s.lock);
}

void SetLogCapture(LogCaptureFn fn, void* user) {
    LogState& s = State();
    EnterCriticalSection(&s.lock);
    s.capture = fn;
    s.capture_user = user;
    LeaveCriticalSection(&s.lock);
}

void FatalLibraryError(const char* message) {
    LogAppend(message);
    LogAppend("\n");
    EndLibrarySystems();
    LibraryLockTerm();
    ExitProcess((UINT)-1);
}

void FatalLibraryErrorF(const char* format, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, format);
    FormatStringVa(buf, sizeof buf, format, ap);
    va_end(ap);
    FatalLibraryError(buf);
}
