#include "portable_guard.h"
#include <cstring>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

size_t PageSize() {
#ifdef _WIN32
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    return si.dwPageSize;
#else
    return (size_t)sysconf(_SC_PAGESIZE);
#endif
}

void* MapPages(size_t bytes) {
#ifdef _WIN32
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#else
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
#endif
}

bool ProtectNone(void* p, size_t bytes) {
#ifdef _WIN32
    DWORD old;
    return VirtualProtect(p, bytes, PAGE_NOACCESS, &old) != 0;
#else
    return mprotect(p, bytes, PROT_NONE) == 0;
#endif
}

void UnmapPages(void* p, size_t bytes) {
#ifdef _WIN32
    (void)bytes;
    VirtualFree(p, 0, MEM_RELEASE);
#else
    munmap(p, bytes);
#endif
}

}  // namespace

// Live blocks, so that GuardFree finds the mapping again; tests keep few alive.
struct GuardEntry {
    uint8_t* block;
    void* base;
    size_t total;
};
static GuardEntry g_guards[1024];

// GUARD_AFTER: [pages ... block][no-access page]; GUARD_BEFORE: [no-access page][block ...].
uint8_t* GuardAlloc(size_t size, GuardSide side) {
    size_t page = PageSize();
    size_t data_pages = (size + page - 1) / page;
    if (data_pages == 0) data_pages = 1;
    size_t total = (data_pages + 1) * page;
    GuardEntry* slot = nullptr;
    for (GuardEntry& e : g_guards)
        if (!e.block) { slot = &e; break; }
    if (!slot) return nullptr;
    uint8_t* base = (uint8_t*)MapPages(total);
    if (!base) return nullptr;
    uint8_t* block;
    if (side == GUARD_AFTER) {
        uint8_t* fence = base + data_pages * page;
        if (!ProtectNone(fence, page)) { UnmapPages(base, total); return nullptr; }
        block = fence - size;
    } else {
        if (!ProtectNone(base, page)) { UnmapPages(base, total); return nullptr; }
        block = base + page;
    }
    slot->block = block;
    slot->base = base;
    slot->total = total;
    return block;
}

void GuardFree(uint8_t* block) {
    if (!block) return;
    for (GuardEntry& e : g_guards) {
        if (e.block == block) {
            UnmapPages(e.base, e.total);
            e = GuardEntry{};
            return;
        }
    }
}

void SentinelFill(uint8_t* p, size_t n, uint32_t seed) {
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; i++) {
        x = x * 1103515245u + 12345u;
        p[i] = (uint8_t)(x >> 24);
    }
}

size_t SentinelCheck(const uint8_t* p, size_t n, uint32_t seed) {
    uint32_t x = seed * 2654435761u + 1;
    size_t bad = 0;
    for (size_t i = 0; i < n; i++) {
        x = x * 1103515245u + 12345u;
        if (p[i] != (uint8_t)(x >> 24)) bad++;
    }
    return bad;
}
