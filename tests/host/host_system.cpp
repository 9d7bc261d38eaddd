// Native stand-ins for the few system-frame services that the image and
// software-renderer code uses, so they build and test without Windows.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include "engine/system/memory.h"
#include "engine/system/log.h"

static std::atomic<int> g_live{0};

void* MemAlloc(size_t size, const char*, int) {
    void* p = std::malloc(size ? size : 1);
    if (p) g_live++;
    return p;
}
void* MemAllocZeroed(size_t size, const char* name, int line) {
    void* p = MemAlloc(size, name, line);
    if (p) std::memset(p, 0, size);
    return p;
}
void* MemRealloc(void* p, size_t size, const char* name, int line) {
    if (!p) return MemAlloc(size, name, line);
    return std::realloc(p, size ? size : 1);
}
void MemFree(void* p) {
    if (!p) return;
    g_live--;
    std::free(p);
}
void MemFill(void* d, int b, size_t n) { std::memset(d, b, n); }
void MemCopy(void* d, const void* s, size_t n) { std::memcpy(d, s, n); }
void MemMove(void* d, const void* s, size_t n) { std::memmove(d, s, n); }
int MemLiveBlockCount() { return g_live; }
size_t MemLiveBytes() { return 0; }
int MemDumpLiveBlocks() { return g_live; }
int MemCheckIntegrity() { return 0; }

static LogCaptureFn g_capture;
static void* g_capture_user;
void SetLogCapture(LogCaptureFn fn, void* user) { g_capture = fn; g_capture_user = user; }
int LogAppend(const char* text) {
    if (g_capture) g_capture(text, g_capture_user);
    return -1;
}
int LogAppendForward(const char* text) { return LogAppend(text); }
int LogAppendFormat(const char* format, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(buf, sizeof buf - 1, format, ap);
    va_end(ap);
    std::strcat(buf, "\n");
    return LogAppend(buf);
}
int LogIndentIn() { return 0; }
int LogIndentOut() { return 0; }
void FatalLibraryError(const char* message) {
    std::fprintf(stderr, "fatal: %s\n", message);
    std::exit(-1);
}
void FatalLibraryErrorF(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    std::vfprintf(stderr, format, ap);
    va_end(ap);
    std::exit(-1);
}
