// Stream interface through which the image, sound and movie loaders read.
#pragma once
#include <cstddef>
#include <cstdint>

struct StreamFunctions {
    int64_t (*Tell)(uintptr_t handle);
    int (*Seek)(uintptr_t handle, int64_t offset, int origin);  // 0 start, 1 current, 2 end; 0 or -1
    size_t (*Read)(void* buffer, size_t elem_size, size_t count, uintptr_t handle);  // whole elements read
    int (*Eof)(uintptr_t handle);     // non-zero at the end
    int (*IsIdle)(uintptr_t handle);  // 1 when no asynchronous work is pending
    int (*Close)(uintptr_t handle);
};

struct StreamData {
    StreamFunctions funcs;
    uintptr_t handle;
};

const StreamFunctions* GetFileStreamTable();
const StreamFunctions* GetMemStreamTable();

// Read stream over a caller-owned memory block; the handle, or 0 when out of memory.
uintptr_t MemStreamOpen(const void* data, size_t size);
int MemStreamClose(uintptr_t handle);

// Opens a file stream into sd; 0, or -1 when the file cannot be opened.
int StreamOpenFile(StreamData* sd, const char* path);
int StreamOpenMemory(StreamData* sd, const void* data, size_t size);
