#include "engine/sound/sound_stream.h"
#include "engine/sound/sound_system.h"
#include "engine/system/library.h"
#include "engine/system/log.h"
#include "engine/system/window.h"

enum { SOUND_THREAD_RUNNING = 0, SOUND_THREAD_STOP_REQUESTED = 1, SOUND_THREAD_STOPPED = 2 };

static HANDLE g_thread = nullptr;
static DWORD g_thread_id = 0;
static volatile LONG g_stop_word = SOUND_THREAD_RUNNING;

static DWORD WINAPI SoundThreadProc(void*) {
    while (g_stop_word != SOUND_THREAD_STOP_REQUESTED) {
        SoundLockEnter();
        if (IsSoundSystemUp()) {
            RefillAllStreamSounds();
            // WIRE(softsound): PumpSoftSoundPlayer for every active player, under the lock
        }
        SoundLockLeave();
        Sleep(30);
    }
    InterlockedExchange(&g_stop_word, SOUND_THREAD_STOPPED);
    return 0;
}

int StartSoundThread() {
    if (g_thread || LogicalProcessorCount <= 1) return 0;
    g_stop_word = SOUND_THREAD_RUNNING;
    g_thread = CreateThread(nullptr, 0, SoundThreadProc, nullptr, CREATE_SUSPENDED, &g_thread_id);
    if (!g_thread) return LogAppend("サウンドスレッドの作成に失敗しました\n");
    SetThreadPriority(g_thread, THREAD_PRIORITY_TIME_CRITICAL);
    ResumeThread(g_thread);
    return 0;
}

int StopSoundThread() {
    if (!g_thread) return 0;
    InterlockedExchange(&g_stop_word, SOUND_THREAD_STOP_REQUESTED);
    ProcessWindowMessages();
    // A thread that ended without answering must not hold the end up either.
    while (g_stop_word == SOUND_THREAD_STOP_REQUESTED && WaitForSingleObject(g_thread, 2) == WAIT_TIMEOUT)
        ProcessWindowMessages();
    // The stop word says the loop is left; only the handle says the thread is gone.
    WaitForSingleObject(g_thread, INFINITE);
    CloseHandle(g_thread);
    g_thread = nullptr;
    g_thread_id = 0;
    return 0;
}

int IsSoundThreadRunning() { return g_thread != nullptr; }
