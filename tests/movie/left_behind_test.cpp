// Platform calls left behind at their time limit that return after the
// engine's end: they must find the COM entries they use still there, let go
// of every filter object, and leave no temporary copy of ours on disk. A crash
// ends the process, so the runs past the end each get a process of their own.
#include "movie_test_util.h"

#include <algorithm>
#include <string>

#include "avi_writer.h"
#include "engine/movie/filters/unknown.h"
#include "engine/movie/movie.h"
#include "engine/movie/movie_internal.h"
#include "engine/sound/mp3_filters.h"
#include "engine/system/library.h"
#include "graphics/graphics_test_util.h"
#include "support/graph_stand_in.h"

#include <dshow.h>

namespace {

const int kRenderSlot = 12, kRenderFileSlot = 13, kAddSourceFilterSlot = 14;

uint32_t Grey(int, int, int) { return 0x808080; }

HANDLE g_release;
HANDLE g_call_thread;    // the thread of the call the stand-in is in
std::wstring g_copy;     // the temporary copy the stand-in was given
bool g_hold_copy_open;   // the stand-in keeps the copy open, as the platform's source does
bool g_still_open_after_return;   // ... and past its return, until the test closes g_open_copy
HANDLE g_open_copy = INVALID_HANDLE_VALUE;

void NoteCallThread() {
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_call_thread, SYNCHRONIZE, FALSE, 0);
}

HRESULT STDMETHODCALLTYPE RenderFileUntilReleased(IGraphBuilder*, LPCWSTR, LPCWSTR) {
    NoteCallThread();
    WaitForSingleObject(g_release, INFINITE);
    return E_FAIL;
}

HRESULT STDMETHODCALLTYPE RenderUntilReleased(IGraphBuilder*, IPin*) {
    NoteCallThread();
    WaitForSingleObject(g_release, INFINITE);
    return E_FAIL;
}

// The file where it lies cannot be opened; its temporary copy is rendered until released.
HRESULT STDMETHODCALLTYPE CopyRenderedUntilReleased(IGraphBuilder*, LPCWSTR file, LPCWSTR) {
    const WCHAR* name = wcsrchr(file, L'\\');
    if (_wcsnicmp(name ? name + 1 : file, L"tmp", 3) != 0) return VFW_E_NOT_FOUND;
    g_copy = file;
    HANDLE open = g_hold_copy_open ? CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
                                   : INVALID_HANDLE_VALUE;
    WaitForSingleObject(g_release, INFINITE);
    if (g_still_open_after_return) {
        g_open_copy = open;
    } else if (open != INVALID_HANDLE_VALUE) {
        CloseHandle(open);
    }
    return E_FAIL;
}

// The platform's own probe, held at its start until released: the rest of it runs when the test says.
HRESULT STDMETHODCALLTYPE AddSourceWhenReleased(IGraphBuilder* graph, LPCWSTR file, LPCWSTR name, IBaseFilter** out) {
    NoteCallThread();
    WaitForSingleObject(g_release, INFINITE);
    typedef HRESULT(STDMETHODCALLTYPE * AddSourceFn)(IGraphBuilder*, LPCWSTR, LPCWSTR, IBaseFilter**);
    return ((AddSourceFn)graphtest::g_stand_in.original)(graph, file, name, out);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool StartEngine() {
    ChangeWindowMode(1);
    SetAlwaysRunFlag(1);
    if (InitLibrarySystems() != 0) return false;
    // The first graph of a process starts the platform's parsers, which takes longer than the short limits.
    if (!WriteBytesToFile("clip.avi", avitest::MakeRgbAvi(32, 24, 2, 10, Grey))) return false;
    const int movie = OpenMovie("clip.avi", nullptr, nullptr, 0);
    return movie >= 0 && CloseMovie(movie) == 0;
}

// Opens the AVI with the stand-in in one graph method, which holds the call
// until g_release is set: the open fails at a 300 ms limit and leaves it behind.
bool OpenLeftBehind(int slot, void* stand_in) {
    g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetMovieRenderTimeLimit(300);
    graphtest::StandIn late(slot, stand_in);
    return OpenMovie("clip.avi", nullptr, nullptr, 0) == -1;
}

// Whether the call's thread has run to its end within ms: a child that exits
// before then would not see a crash in what the thread does last.
bool WaitForCallThread(DWORD ms) { return g_call_thread && WaitForSingleObject(g_call_thread, ms) == WAIT_OBJECT_0; }

// The engine ends while the call is out; the exit code of the child: 0 when
// the call returned afterwards and let go of every filter object.
int ReleaseAfterTheEnd() {
    EndLibrarySystems();
    if (WaitForCallThread(0)) return 15;   // the call is still out
    SetEvent(g_release);
    return graphtest::WaitForNoLiveObjects(10000) && WaitForCallThread(10000) ? 0 : 3;
}

int MovieRenderReturnsAfterTheEnd() {
    if (!StartEngine()) return 2;
    if (!OpenLeftBehind(kRenderFileSlot, (void*)RenderFileUntilReleased)) return 4;
    if (D_CBaseObject::LiveObjectCount() == 0) return 5;   // the graph left behind holds our renderer
    return ReleaseAfterTheEnd();
}

int Mp3RenderReturnsAfterTheEnd() {
    if (!StartEngine()) return 2;
    g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetMp3GraphTimeLimit(300);
    std::vector<uint8_t> junk(3000);
    for (size_t i = 0; i < junk.size(); i++) junk[i] = (uint8_t)(i * 7 + (i >> 5));
    graphtest::PutMatroskaStart(junk.data());   // a container goes to the platform's parsers
    {
        graphtest::StandIn late(kRenderSlot, (void*)RenderUntilReleased);
        if (CreateSoundFromFileImage(junk.data(), (unsigned)junk.size(), 1, -1) != -1) return 4;
    }
    if (D_CBaseObject::LiveObjectCount() == 0) return 5;   // the graph left behind holds our reader
    return ReleaseAfterTheEnd();
}

// Returning while a later start runs; that start's end then clears the entries as usual.
int MovieRenderReturnsAfterANewStart() {
    if (!StartEngine()) return 2;
    if (!OpenLeftBehind(kRenderFileSlot, (void*)RenderFileUntilReleased)) return 4;
    EndLibrarySystems();
    if (!StartEngine()) return 12;
    SetEvent(g_release);
    if (!graphtest::WaitForNoLiveObjects(10000) || !WaitForCallThread(10000)) return 3;
    SetMovieRenderTimeLimit(10000);
    const int movie = OpenMovie("clip.avi", nullptr, nullptr, 0);
    if (movie < 0 || CloseMovie(movie) != 0) return 13;
    EndLibrarySystems();
    return WinApi.CoCreateInstance == nullptr ? 0 : 14;
}

// The platform's own probe of a good file, left behind at the limit, reads the
// file's types and frees them after the end (held at its start, so that it does).
int ProbeReturnsAfterTheEnd() {
    if (!StartEngine()) return 2;
    if (!OpenLeftBehind(kAddSourceFilterSlot, (void*)AddSourceWhenReleased)) return 4;
    return ReleaseAfterTheEnd();
}

TEST(CallsLeftBehind, ReturnAfterTheEndWithoutACrash) {
    EXPECT_EXIT(_exit(MovieRenderReturnsAfterTheEnd()), testing::ExitedWithCode(0), "") << "movie render";
    EXPECT_EXIT(_exit(Mp3RenderReturnsAfterTheEnd()), testing::ExitedWithCode(0), "") << "MP3 render";
    EXPECT_EXIT(_exit(ProbeReturnsAfterTheEnd()), testing::ExitedWithCode(0), "") << "file probe";
    EXPECT_EXIT(_exit(MovieRenderReturnsAfterANewStart()), testing::ExitedWithCode(0), "") << "after a new start";
}

// A render of a temporary copy left behind; the engine ends (end_first) or
// goes on. The copy is gone once both the render and the end are through.
int OpenCopyLeftBehind() {
    if (!StartEngine()) return 2;
    g_copy.clear();
    if (!OpenLeftBehind(kRenderFileSlot, (void*)CopyRenderedUntilReleased)) return 4;
    return !g_copy.empty() && Exists(g_copy) ? 0 : 6;
}

int CopyReturningBeforeTheEnd() {
    g_hold_copy_open = true;
    if (int bad = OpenCopyLeftBehind()) return bad;
    SetEvent(g_release);
    if (!graphtest::WaitForNoLiveObjects(10000)) return 3;
    for (const DWORD at = GetTickCount(); Exists(g_copy) && GetTickCount() - at < 5000;) Sleep(10);
    if (Exists(g_copy)) return 7;
    EndLibrarySystems();
    return 0;
}

// Not held open, the copy goes at the end; a file of that name made afterwards
// is another program's, which the render must not delete when it returns.
int CopyStuckAtTheEnd() {
    g_hold_copy_open = false;
    if (int bad = OpenCopyLeftBehind()) return bad;
    EndLibrarySystems();
    if (Exists(g_copy)) return 7;
    HANDLE other = CreateFileW(g_copy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (other == INVALID_HANDLE_VALUE) return 8;
    CloseHandle(other);
    SetEvent(g_release);
    if (!graphtest::WaitForNoLiveObjects(10000)) return 3;
    Sleep(200);
    const bool kept = Exists(g_copy);
    DeleteFileW(g_copy.c_str());
    return kept ? 0 : 9;
}

// Held open at the end, the copy is named in the log, then goes when the render returns.
int CopyHeldOpenAtTheEnd() {
    g_hold_copy_open = true;
    if (int bad = OpenCopyLeftBehind()) return bad;
    bool named = false;
    {
        LogCapture log;
        EndLibrarySystems();
        char name[MAX_PATH * 2];
        WideCharToMultiByte(CP_ACP, 0, g_copy.c_str(), -1, name, sizeof name, nullptr, nullptr);
        named = log.Contains(name) && log.Contains("削除できませんでした");
    }
    if (!named) return 10;
    if (!Exists(g_copy)) return 11;
    SetEvent(g_release);
    if (!graphtest::WaitForNoLiveObjects(10000)) return 3;
    for (const DWORD at = GetTickCount(); Exists(g_copy) && GetTickCount() - at < 5000;) Sleep(10);
    return Exists(g_copy) ? 7 : 0;
}

// Still open when its render returns, the copy is tried again at the end.
int CopyStillOpenWhenItsRenderReturns() {
    g_hold_copy_open = g_still_open_after_return = true;
    if (int bad = OpenCopyLeftBehind()) return bad;
    SetEvent(g_release);
    if (!graphtest::WaitForNoLiveObjects(10000)) return 3;
    for (const DWORD at = GetTickCount(); g_open_copy == INVALID_HANDLE_VALUE && GetTickCount() - at < 5000;) Sleep(10);
    if (g_open_copy == INVALID_HANDLE_VALUE) return 12;
    Sleep(200);   // the render's own delete has failed by now
    if (!Exists(g_copy)) return 13;
    CloseHandle(g_open_copy);
    EndLibrarySystems();
    return Exists(g_copy) ? 7 : 0;
}

TEST(CallsLeftBehind, LeaveNoTemporaryCopyOfOurs) {
    EXPECT_EXIT(_exit(CopyReturningBeforeTheEnd()), testing::ExitedWithCode(0), "") << "returning before the end";
    EXPECT_EXIT(_exit(CopyStuckAtTheEnd()), testing::ExitedWithCode(0), "") << "stuck at the end";
    EXPECT_EXIT(_exit(CopyHeldOpenAtTheEnd()), testing::ExitedWithCode(0), "") << "held open at the end";
    EXPECT_EXIT(_exit(CopyStillOpenWhenItsRenderReturns()), testing::ExitedWithCode(0), "") << "open past its render";
}

}  // namespace
