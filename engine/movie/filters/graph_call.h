// A call into the platform's filter graph on a thread of its own, with a time
// limit: the platform's parsers never return on some broken files, and such a
// call is left behind on its thread instead of hanging the program.
#pragma once
#include <windows.h>

// Embedded first in the caller's job (allocated untracked: a call left behind
// outlives every engine check). The call's thread and the caller each hold it;
// whoever lets go last calls finish, which frees the job and, when the call was
// left behind, whatever the call still used.
struct GraphCall {
    HRESULT (*run)(GraphCall* call);             // on the call's thread, COM initialised there
    void (*finish)(GraphCall* call, bool left);  // left: the caller gave up waiting
    void (*leave)(GraphCall* call);              // optional: on the caller's thread as it gives up
    volatile LONG refs;
    volatile LONG left;
    HRESULT result;
};

const HRESULT kGraphCallTimedOut = HRESULT_FROM_WIN32(ERROR_TIMEOUT);

// Runs the call and waits up to ms for it: its result, or kGraphCallTimedOut
// with the call left to its thread. The job is the call's from here on.
HRESULT RunGraphCall(GraphCall* call, DWORD ms);
