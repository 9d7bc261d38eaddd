#include "engine/file/file_stream.h"

#include <windows.h>

void* CreateTempFile(char* path_out) {
    char dir[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, dir);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    if (!GetTempFileNameA(dir, "tmp", 0, path_out)) return nullptr;
    HANDLE f = CreateFileA(path_out, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        DeleteFileA(path_out);
        return nullptr;
    }
    return f;
}
