#include "engine/system/api_lock.h"

#include <windows.h>

namespace {

// A ticket lock: each waiter takes the next ticket and runs when it is served,
// so threads get the lock in the order they asked for it.
struct LibraryLock {
    CRITICAL_SECTION cs;
    CONDITION_VARIABLE turn;
    unsigned next_ticket = 0;
    unsigned serving = 0;
    int owner = -1;
    int depth = 0;
    LibraryLock() {
        InitializeCriticalSection(&cs);
        InitializeConditionVariable(&turn);
    }
};

LibraryLock& Lock() {
    static LibraryLock* l = new LibraryLock;
    return *l;
}

}  // namespace

int LibraryLockInit() {
    Lock();
    return 0;
}

void LibraryLockTerm() {}

void LibraryLockEnter() {
    LibraryLock& l = Lock();
    int me = (int)GetCurrentThreadId();
    EnterCriticalSection(&l.cs);
    if (l.owner == me) {
        l.depth++;
    } else {
        unsigned ticket = l.next_ticket++;
        while (l.serving != ticket) SleepConditionVariableCS(&l.turn, &l.cs, INFINITE);
        l.owner = me;
        l.depth = 1;
    }
    LeaveCriticalSection(&l.cs);
}

void LibraryLockLeave() {
    LibraryLock& l = Lock();
    EnterCriticalSection(&l.cs);
    if (l.owner == (int)GetCurrentThreadId() && --l.depth == 0) {
        l.owner = -1;
        l.serving++;
        WakeAllConditionVariable(&l.turn);
    }
    LeaveCriticalSection(&l.cs);
}

int LibraryLockOwner() {
    LibraryLock& l = Lock();
    EnterCriticalSection(&l.cs);
    int owner = l.owner;
    LeaveCriticalSection(&l.cs);
    return owner;
}
