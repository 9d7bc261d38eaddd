// The file layer: loose files opened by path, addressed by slot + 0xF0000000.
#pragma once
#include <cstddef>
#include <cstdint>

typedef uint32_t ArchiveFileHandle;
enum { FILE_STREAM_MAX_OPEN = 512 };

// Returns the handle, or 0 when the file cannot be opened (or 512 are open).
ArchiveFileHandle FileStreamOpen(const char* path, int use_cache, int reserved, int async);
int FileStreamClose(ArchiveFileHandle h);
int64_t FileStreamTell(ArchiveFileHandle h);
int FileStreamSeek(ArchiveFileHandle h, int64_t offset, int origin);
size_t FileStreamRead(void* buffer, size_t elem_size, size_t count, ArchiveFileHandle h);
int FileStreamEof(ArchiveFileHandle h);
int FileStreamIdleCheck(ArchiveFileHandle h);
int FileStreamOpenCount();

// The twelve file operations in their fixed order.
struct FileFunctionTable {
    ArchiveFileHandle (*Open)(const char* path, int use_cache, int reserved, int async);
    int (*Close)(ArchiveFileHandle h);
    int64_t (*Tell)(ArchiveFileHandle h);
    int (*Seek)(ArchiveFileHandle h, int64_t offset, int origin);
    size_t (*Read)(void* buffer, size_t elem_size, size_t count, ArchiveFileHandle h);
    int (*Eof)(ArchiveFileHandle h);
    int (*IdleCheck)(ArchiveFileHandle h);
    int (*SetDir)(const char* path);
    int (*GetDir)(char* buffer, int size);
    int (*FindFirst)(const char* pattern, void* find_data);
    int (*FindNext)(int find_handle, void* find_data);
    int (*FindClose)(int find_handle);
};
extern FileFunctionTable FileFunctions;

// Reads a whole file through the file layer into a tracked block (MemFree it).
// 0, or -1 when the file cannot be opened or read in full.
int LoadFileToMemory(const char* path, void** data, size_t* size);

// Creates a new "tmp" file in the system's temporary folder; writes its path
// (MAX_PATH bytes) and returns the Win32 file handle, or null.
void* CreateTempFile(char* path_out);
