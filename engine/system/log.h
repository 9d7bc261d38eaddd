// The engine log: "Log.txt" in the start-up directory, each line prefixed with
// the milliseconds since start and one tab per indent level.
#pragma once
#include <cstdarg>

// Every append returns -1 so a failing function can `return LogAppend(...)`.
int LogAppend(const char* text);
int LogAppendForward(const char* text);
int LogAppendFormat(const char* format, ...);
int LogIndentIn();
int LogIndentOut();

// Before engine start: write the log file or not (the debugger output always gets it).
int SetOutputLogFlag(int on);
int GetOutputLogFlag();
// Opens (recreates) the log file in the given directory; called by engine start.
int LogOpen(const char* directory);
int LogClose();
// Milliseconds counted from this point on (engine start).
void LogResetClock();

// Test hook: every finished piece of text (after CR/LF expansion, with the prefix)
// is also passed here. Null removes it.
typedef void (*LogCaptureFn)(const char* text, void* user);
void SetLogCapture(LogCaptureFn fn, void* user);

[[noreturn]] void FatalLibraryError(const char* message);
[[noreturn]] void FatalLibraryErrorF(const char* format, ...);
