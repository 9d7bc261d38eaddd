// Temporary copies of movie files that could not be deleted when the movie was
// done with them: the platform still had them open, or a render left behind
// at its time limit still has them. Whoever deletes a copy first takes it off
// the list, so that a name the system has since given another program is
// never deleted.
#include <windows.h>

#include <new>

#include "engine/movie/movie_internal.h"
#include "engine/system/log.h"

struct TempCopy {
    TempCopy* next;
    bool listed;
    bool render_has_it;   // the render left behind frees the entry when it returns
    WCHAR path[260];
};

namespace {

// Never destroyed, entries untracked: renders outlive the engine.
struct CopyList {
    CRITICAL_SECTION lock;
    TempCopy* first = nullptr;
    CopyList() { InitializeCriticalSection(&lock); }
};

CopyList& Copies() {
    static CopyList* list = new CopyList;
    return *list;
}

bool DeleteCopyFile(const WCHAR* path) { return DeleteFileW(path) || GetLastError() == ERROR_FILE_NOT_FOUND; }

TempCopy* ListCopy(CopyList& c, const WCHAR* path, bool render_has_it) {
    TempCopy* copy = new (std::nothrow) TempCopy();
    if (!copy) return nullptr;
    lstrcpynW(copy->path, path, 260);
    copy->render_has_it = render_has_it;
    copy->listed = true;
    copy->next = c.first;
    c.first = copy;
    return copy;
}

void Unlist(CopyList& c, TempCopy* copy) {
    for (TempCopy** at = &c.first; *at; at = &(*at)->next) {
        if (*at == copy) {
            *at = copy->next;
            break;
        }
    }
    copy->listed = false;
}

}  // namespace

void DeleteTempCopy(const wchar_t* path) {
    if (DeleteCopyFile(path)) return;
    CopyList& c = Copies();
    EnterCriticalSection(&c.lock);
    ListCopy(c, path, false);
    LeaveCriticalSection(&c.lock);
}

TempCopy* HandTempCopyToRender(const wchar_t* path) {
    CopyList& c = Copies();
    EnterCriticalSection(&c.lock);
    TempCopy* copy = ListCopy(c, path, true);
    LeaveCriticalSection(&c.lock);
    return copy;
}

void DeleteTempCopyOfRender(TempCopy* copy) {
    if (!copy) return;
    CopyList& c = Copies();
    EnterCriticalSection(&c.lock);
    bool done = !copy->listed;   // the end got there first
    if (!done && DeleteCopyFile(copy->path)) {
        Unlist(c, copy);
        done = true;
    }
    if (done) {
        delete copy;
    } else {
        copy->render_has_it = false;   // still open: the end tries again
    }
    LeaveCriticalSection(&c.lock);
}

void DeleteLeftBehindMovieCopies() {
    CopyList& c = Copies();
    EnterCriticalSection(&c.lock);
    for (TempCopy* copy = c.first; copy;) {
        TempCopy* next = copy->next;
        if (DeleteCopyFile(copy->path)) {
            Unlist(c, copy);
            if (!copy->render_has_it) delete copy;
        } else {
            char name[MAX_PATH * 2];
            if (!WideCharToMultiByte(CP_ACP, 0, copy->path, -1, name, sizeof name, nullptr, nullptr)) name[0] = 0;
            LogAppendFormat("一時ファイル %s はまだ開かれているため削除できませんでした", name);
        }
        copy = next;
    }
    LeaveCriticalSection(&c.lock);
}
