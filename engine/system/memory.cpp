#include "engine/system/memory.h"

#include <windows.h>
#include <cstring>

#include "engine/system/log.h"

namespace {

// Created on first use: other modules' static constructors may allocate before main.
struct MemState {
    CRITICAL_SECTION lock;
    MemBlockHeader* first = nullptr;
    int live_count = 0;
    size_t live_bytes = 0;
    uint32_t next_serial = 0;
    MemState() { InitializeCriticalSection(&lock); }
};

MemState& State() {
    static MemState* s = new MemState;  // never destroyed: frees may come during process exit
    return *s;
}

const size_t kCheckedBytes = sizeof(((MemBlockHeader*)nullptr)->check);

void FillHeader(MemBlockHeader* h, size_t size, const char* name, int line, uint32_t serial) {
    std::memset(h->name, 0, sizeof h->name);
    if (name) {
        size_t len = std::strlen(name);
        const char* tail = len > 15 ? name + len - 15 : name;
        std::memcpy(h->name, tail, std::strlen(tail));
    }
    h->serial = serial;
    h->line = line;
    h->size = (uint32_t)size;
    std::memcpy(h->check, h, kCheckedBytes);
}

void Link(MemState& s, MemBlockHeader* h) {
    h->prev = nullptr;
    h->next = s.first;
    if (s.first) s.first->prev = h;
    s.first = h;
    s.live_count++;
    s.live_bytes += h->size;
}

void Unlink(MemState& s, MemBlockHeader* h) {
    if (h->prev) h->prev->next = h->next; else s.first = h->next;
    if (h->next) h->next->prev = h->prev;
    s.live_count--;
    s.live_bytes -= h->size;
}

MemBlockHeader* HeaderOf(void* p) { return (MemBlockHeader*)p - 1; }

}  // namespace

void* MemAlloc(size_t size, const char* name, int line) {
    if (size > 0x7FFFFFFF - sizeof(MemBlockHeader)) return nullptr;
    MemBlockHeader* h = (MemBlockHeader*)HeapAlloc(GetProcessHeap(), 0, size + sizeof(MemBlockHeader));
    if (!h) return nullptr;
    MemState& s = State();
    EnterCriticalSection(&s.lock);
    FillHeader(h, size, name, line, s.next_serial++);
    Link(s, h);
    LeaveCriticalSection(&s.lock);
    return h + 1;
}

void* MemAllocZeroed(size_t size, const char* name, int line) {
    void* p = MemAlloc(size, name, line);
    if (p) std::memset(p, 0, size);
    return p;
}

void* MemRealloc(void* p, size_t size, const char* name, int line) {
    if (!p) return MemAlloc(size, name, line);
    if (size > 0x7FFFFFFF - sizeof(MemBlockHeader)) return nullptr;
    MemState& s = State();
    EnterCriticalSection(&s.lock);
    MemBlockHeader* old = HeaderOf(p);
    // Unlinked while the heap may move it, so the neighbours never point at a stale block.
    Unlink(s, old);
    MemBlockHeader* h = (MemBlockHeader*)HeapReAlloc(GetProcessHeap(), 0, old, size + sizeof(MemBlockHeader));
    if (!h) {
        Link(s, old);
        LeaveCriticalSection(&s.lock);
        return nullptr;
    }
    FillHeader(h, size, name, line, h->serial);
    Link(s, h);
    LeaveCriticalSection(&s.lock);
    return h + 1;
}

void MemFree(void* p) {
    if (!p) return;
    MemState& s = State();
    MemBlockHeader* h = HeaderOf(p);
    EnterCriticalSection(&s.lock);
    Unlink(s, h);
    LeaveCriticalSection(&s.lock);
    HeapFree(GetProcessHeap(), 0, h);
}

void MemFill(void* dst, int byte, size_t count) { std::memset(dst, byte, count); }
void MemCopy(void* dst, const void* src, size_t count) { std::memcpy(dst, src, count); }
void MemMove(void* dst, const void* src, size_t count) { std::memmove(dst, src, count); }

int MemLiveBlockCount() {
    MemState& s = State();
    EnterCriticalSection(&s.lock);
    int n = s.live_count;
    LeaveCriticalSection(&s.lock);
    return n;
}

size_t MemLiveBytes() {
    MemState& s = State();
    EnterCriticalSection(&s.lock);
    size_t n = s.live_bytes;
    LeaveCriticalSection(&s.lock);
    return n;
}

int MemDumpLiveBlocks() {
    MemState& s = State();
    EnterCriticalSection(&s.lock);
    LogAppendFormat("確保しているメモリ領域: %d 個, %u バイト", s.live_count, (unsigned)s.live_bytes);
    int n = 0;
    for (MemBlockHeader* h = s.first; h; h = h->next, n++) {
        char name[16];
        std::memcpy(name, h->name, 16);
        name[15] = 0;
        LogAppendFormat("\t%15s(%5d) serial:%u size:%u", name, h->line, h->serial, h->size);
    }
    LeaveCriticalSection(&s.lock);
    return n;
}

int MemCheckIntegrity() {
    MemState& s = State();
    int result = 0;
    EnterCriticalSection(&s.lock);
    for (MemBlockHeader* h = s.first; h; h = h->next) {
        if (std::memcmp(h->check, h, kCheckedBytes) != 0) {
            LogAppendFormat("メモリ領域の管理情報が壊れています serial:%u", h->serial);
            result = -1;
            break;
        }
    }
    LeaveCriticalSection(&s.lock);
    return result;
}
