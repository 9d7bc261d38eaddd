#include "engine/system/tick.h"

#include <windows.h>
#include <mmsystem.h>

int GetTickMs() { return (int)(timeGetTime() & 0x7FFFFFFF); }

int64_t GetTickUs(int) {
    LARGE_INTEGER freq, count;
    if (!QueryPerformanceFrequency(&freq) || freq.QuadPart <= 0 || !QueryPerformanceCounter(&count))
        return (int64_t)timeGetTime() * 1000;
    // Split so the multiplication cannot overflow for long uptimes.
    int64_t whole = count.QuadPart / freq.QuadPart;
    int64_t part = count.QuadPart % freq.QuadPart;
    return whole * 1000000 + part * 1000000 / freq.QuadPart;
}
