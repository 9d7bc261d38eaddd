#include "engine/movie/filters/graph_call.h"

#include "engine/system/entry_points.h"

static void LetGo(GraphCall* call) {
    if (InterlockedDecrement(&call->refs) == 0) call->finish(call, call->left != 0);
}

// The thread may outlive the engine: it holds the platform entries until its
// last platform call, and lets go of the job (whose finish releases COM
// objects) before it leaves COM, which after the end may be the last apartment.
static DWORD WINAPI GraphCallThread(void* param) {
    GraphCall* call = (GraphCall*)param;
    WinApi.CoInitialize(nullptr);
    call->result = call->run(call);
    LetGo(call);
    WinApi.CoUninitialize();
    ReleasePlatformEntryPoints();
    return 0;
}

HRESULT RunGraphCall(GraphCall* call, DWORD ms) {
    call->refs = 2;
    call->left = 0;
    call->result = E_FAIL;
    HoldPlatformEntryPoints();
    HANDLE thread = CreateThread(nullptr, 0, GraphCallThread, call, 0, nullptr);
    if (!thread) {
        ReleasePlatformEntryPoints();
        call->finish(call, false);
        return E_OUTOFMEMORY;
    }
    const bool done = WaitForSingleObject(thread, ms) == WAIT_OBJECT_0;
    CloseHandle(thread);
    const HRESULT hr = done ? call->result : kGraphCallTimedOut;
    // Marked before we let go, so that a thread still running frees what the call used.
    if (!done) {
        if (call->leave) call->leave(call);
        InterlockedExchange(&call->left, 1);
    }
    LetGo(call);
    return hr;
}
