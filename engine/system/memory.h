// Tracked allocator: every block carries a 64-byte header so that blocks still
// held at engine end can be dumped to the log.
#pragma once
#include <cstddef>
#include <cstdint>

struct MemBlockHeader {
    char name[16];           // last 15 characters of the allocating source's name
    uint32_t serial;
    int32_t line;
    uint32_t size;
    MemBlockHeader* prev;
    MemBlockHeader* next;
    uint8_t check[28];       // copy of the first bytes above, for the integrity check
};
static_assert(sizeof(void*) != 4 || sizeof(MemBlockHeader) == 64, "header is 64 bytes on i686");

void* MemAlloc(size_t size, const char* name, int line);
void* MemAllocZeroed(size_t size, const char* name, int line);
void* MemRealloc(void* p, size_t size, const char* name, int line);
void MemFree(void* p);
void MemFill(void* dst, int byte, size_t count);
void MemCopy(void* dst, const void* src, size_t count);
void MemMove(void* dst, const void* src, size_t count);

// Live tracked blocks and their total size.
int MemLiveBlockCount();
size_t MemLiveBytes();
// Writes one log line per live block (name, line, serial, size); returns the count.
int MemDumpLiveBlocks();
// 0 when every live header matches its check copy, else -1 (and a log line).
int MemCheckIntegrity();

#define MEMALLOC(size) MemAlloc((size), __FILE__, __LINE__)
#define MEMALLOCZ(size) MemAllocZeroed((size), __FILE__, __LINE__)
