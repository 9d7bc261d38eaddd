#include "engine/system/ring_buffer.h"

#include <cstring>

#include "engine/system/memory.h"

void RingBufferInit(RingBuffer* ring) {
    ring->data = nullptr;
    ring->capacity = 0;
    ring->start = 0;
    ring->size = 0;
}

// Copies len bytes starting at ring offset `from` (wrapping) into dst.
static void CopyOut(const RingBuffer* ring, int from, void* dst, int len) {
    int first = ring->capacity - from;
    if (first > len) first = len;
    std::memcpy(dst, ring->data + from, first);
    std::memcpy((unsigned char*)dst + first, ring->data, len - first);
}

int RingBufferWrite(RingBuffer* ring, const void* src, int size) {
    if (size < 0) return -1;
    if (size == 0) return 0;
    if (ring->size + size > ring->capacity) {
        int cap = ring->capacity ? ring->capacity : 256;
        while (cap < ring->size + size) {
            if (cap > 0x3FFFFFFF) return -1;
            cap *= 2;
        }
        unsigned char* data = (unsigned char*)MemAlloc(cap, "ring_buffer.cpp", __LINE__);
        if (!data) return -1;
        // Unwrap the held bytes to the front of the new storage.
        if (ring->size) CopyOut(ring, ring->start, data, ring->size);
        MemFree(ring->data);
        ring->data = data;
        ring->capacity = cap;
        ring->start = 0;
    }
    int end = (ring->start + ring->size) % ring->capacity;
    int first = ring->capacity - end;
    if (first > size) first = size;
    std::memcpy(ring->data + end, src, first);
    std::memcpy(ring->data, (const unsigned char*)src + first, size - first);
    ring->size += size;
    return 0;
}

int RingBufferRead(RingBuffer* ring, void* dst, int size, int peek) {
    if (size < 0 || size > ring->size) return -1;
    if (size == 0) return 0;
    if (dst) CopyOut(ring, ring->start, dst, size);
    if (!peek) {
        ring->start = (ring->start + size) % ring->capacity;
        ring->size -= size;
        if (ring->size == 0) ring->start = 0;
    }
    return 0;
}

int RingBufferSize(const RingBuffer* ring) { return ring->size; }

void RingBufferFree(RingBuffer* ring) {
    MemFree(ring->data);
    RingBufferInit(ring);
}
