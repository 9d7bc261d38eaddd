// Growable byte ring.
#pragma once
#include <cstddef>

struct RingBuffer {
    unsigned char* data;
    int capacity;
    int start;     // read position
    int size;      // bytes held
};

void RingBufferInit(RingBuffer* ring);
// Appends size bytes, growing the storage as needed; 0, or -1 when memory runs out.
int RingBufferWrite(RingBuffer* ring, const void* src, int size);
// Copies size bytes out with wrap-around; peek 0 removes them. -1 when fewer are held.
int RingBufferRead(RingBuffer* ring, void* dst, int size, int peek);
int RingBufferSize(const RingBuffer* ring);
void RingBufferFree(RingBuffer* ring);
