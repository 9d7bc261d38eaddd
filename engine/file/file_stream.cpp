#include "engine/file/file_stream.h"

#include <windows.h>

#include "engine/system/log.h"
#include "engine/system/memory.h"

namespace {

const ArchiveFileHandle kHandleBase = 0xF0000000u;

struct FileSlot {
    HANDLE file;
};

// The sound thread reads through this table too, so every access is locked.
struct FileTable {
    CRITICAL_SECTION lock;
    FileSlot slots[FILE_STREAM_MAX_OPEN];
    int open_count = 0;
    FileTable() {
        InitializeCriticalSection(&lock);
        for (auto& s : slots) s.file = INVALID_HANDLE_VALUE;
    }
};

FileTable& Table() {
    static FileTable* t = new FileTable;
    return *t;
}

// The Win32 handle for a file-layer handle, or INVALID_HANDLE_VALUE.
HANDLE Lookup(ArchiveFileHandle h) {
    if (h < kHandleBase || h - kHandleBase >= FILE_STREAM_MAX_OPEN) return INVALID_HANDLE_VALUE;
    FileTable& t = Table();
    EnterCriticalSection(&t.lock);
    HANDLE f = t.slots[h - kHandleBase].file;
    LeaveCriticalSection(&t.lock);
    return f;
}

int SetDir(const char* path) { return SetCurrentDirectoryA(path) ? 0 : -1; }

int GetDir(char* buffer, int size) {
    DWORD n = GetCurrentDirectoryA(size, buffer);
    return (n == 0 || n >= (DWORD)size) ? -1 : 0;
}

int FindFirst(const char* pattern, void* find_data) {
    HANDLE h = FindFirstFileA(pattern, (WIN32_FIND_DATAA*)find_data);
    return h == INVALID_HANDLE_VALUE ? -1 : (int)(intptr_t)h;
}

int FindNext(int find_handle, void* find_data) {
    return FindNextFileA((HANDLE)(intptr_t)find_handle, (WIN32_FIND_DATAA*)find_data) ? 0 : -1;
}

int FindClose(int find_handle) { return ::FindClose((HANDLE)(intptr_t)find_handle) ? 0 : -1; }

}  // namespace

ArchiveFileHandle FileStreamOpen(const char* path, int, int, int) {
    if (!path) return 0;
    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 0;
    FileTable& t = Table();
    EnterCriticalSection(&t.lock);
    int slot = -1;
    for (int i = 0; i < FILE_STREAM_MAX_OPEN; i++) {
        if (t.slots[i].file == INVALID_HANDLE_VALUE) {
            slot = i;
            break;
        }
    }
    if (slot >= 0) {
        t.slots[slot].file = f;
        t.open_count++;
    }
    LeaveCriticalSection(&t.lock);
    if (slot < 0) {
        CloseHandle(f);
        return 0;
    }
    return kHandleBase + slot;
}

int FileStreamClose(ArchiveFileHandle h) {
    if (h < kHandleBase || h - kHandleBase >= FILE_STREAM_MAX_OPEN) return -1;
    FileTable& t = Table();
    EnterCriticalSection(&t.lock);
    FileSlot& s = t.slots[h - kHandleBase];
    HANDLE f = s.file;
    if (f != INVALID_HANDLE_VALUE) {
        s.file = INVALID_HANDLE_VALUE;
        t.open_count--;
    }
    LeaveCriticalSection(&t.lock);
    if (f == INVALID_HANDLE_VALUE) return -1;
    CloseHandle(f);
    return 0;
}

int64_t FileStreamTell(ArchiveFileHandle h) {
    HANDLE f = Lookup(h);
    if (f == INVALID_HANDLE_VALUE) return -1;
    LARGE_INTEGER zero, pos;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(f, zero, &pos, FILE_CURRENT)) return -1;
    return pos.QuadPart;
}

int FileStreamSeek(ArchiveFileHandle h, int64_t offset, int origin) {
    HANDLE f = Lookup(h);
    if (f == INVALID_HANDLE_VALUE) return -1;
    DWORD method;
    switch (origin) {
    case 0: method = FILE_BEGIN; break;
    case 1: method = FILE_CURRENT; break;
    case 2: method = FILE_END; break;
    default: return -1;
    }
    LARGE_INTEGER dist;
    dist.QuadPart = offset;
    return SetFilePointerEx(f, dist, nullptr, method) ? 0 : -1;
}

size_t FileStreamRead(void* buffer, size_t elem_size, size_t count, ArchiveFileHandle h) {
    HANDLE f = Lookup(h);
    if (f == INVALID_HANDLE_VALUE || elem_size == 0 || count == 0) return 0;
    if (count > 0xFFFFFFFFu / elem_size) count = 0xFFFFFFFFu / elem_size;
    DWORD want = (DWORD)(elem_size * count), got = 0;
    if (!ReadFile(f, buffer, want, &got, nullptr)) return 0;
    return got / elem_size;
}

int FileStreamEof(ArchiveFileHandle h) {
    HANDLE f = Lookup(h);
    if (f == INVALID_HANDLE_VALUE) return -1;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(f, &size)) return -1;
    return FileStreamTell(h) >= size.QuadPart ? 1 : 0;
}

// Reads are synchronous here, so a file is always idle.
int FileStreamIdleCheck(ArchiveFileHandle h) { return Lookup(h) == INVALID_HANDLE_VALUE ? -1 : 1; }

int FileStreamOpenCount() {
    FileTable& t = Table();
    EnterCriticalSection(&t.lock);
    int n = t.open_count;
    LeaveCriticalSection(&t.lock);
    return n;
}

FileFunctionTable FileFunctions = {
    FileStreamOpen, FileStreamClose, FileStreamTell, FileStreamSeek, FileStreamRead, FileStreamEof,
    FileStreamIdleCheck, SetDir, GetDir, FindFirst, FindNext, FindClose,
};

int LoadFileToMemory(const char* path, void** data, size_t* size) {
    *data = nullptr;
    *size = 0;
    ArchiveFileHandle h = FileFunctions.Open(path, 0, 1, 0);
    if (!h) return LogAppendFormat("右記のファイルのオープンに失敗しました：%s", path);
    FileFunctions.Seek(h, 0, 2);
    int64_t len = FileFunctions.Tell(h);
    FileFunctions.Seek(h, 0, 0);
    if (len < 0 || len > 0x7FFFFFFF) {
        FileFunctions.Close(h);
        return -1;
    }
    void* p = MemAlloc(len ? (size_t)len : 1, "file_stream.cpp", __LINE__);
    if (!p) {
        FileFunctions.Close(h);
        return LogAppendFormat("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", path);
    }
    size_t got = len ? FileFunctions.Read(p, 1, (size_t)len, h) : 0;
    FileFunctions.Close(h);
    if (got != (size_t)len) {
        MemFree(p);
        return -1;
    }
    *data = p;
    *size = (size_t)len;
    return 0;
}
