// Helpers shared by the image tests: owning wrappers, a leak check, raw pixel reads.
#pragma once
#include <cstring>
#include <gtest/gtest.h>
#include "engine/image/memimg.h"
#include "engine/system/memory.h"

// Declared first in a test, so it checks after every wrapper below has released.
struct LiveBlocks {
    int start = MemLiveBlockCount();
    ~LiveBlocks() { EXPECT_EQ(MemLiveBlockCount(), start); }
};

// Release zeroes the header, so a view the test released itself is skipped.
struct Img : MEMIMG {
    Img() : MEMIMG() {}
    Img(const Img&) = delete;
    ~Img() { if (magic == MEMIMG_MAGIC) MemImageRelease(this); }
};

struct Base : BaseImage {
    Base() : BaseImage() {}
    Base(const Base&) = delete;
    ~Base() { BaseImageRelease(this); }
};

inline uint32_t Px(const MEMIMG& m, int x, int y) {
    uint32_t v = 0;
    std::memcpy(&v, MemImagePixelAt(&m, x, y), MemImageBytesPerPixel(&m));
    return v;
}
