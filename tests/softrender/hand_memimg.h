// Test images described by hand over memory the test owns, so that guard pages
// and sentinel rings can sit right around the pixels.
#pragma once
#include <cstdint>
#include <cstring>
#include "engine/image/memimg.h"

// Zeroes the three parts, then describes a bw x bh body at `body` and a view of
// all of it; callers narrow the view and fill in the rest.
inline void DescribeMemImg(MEMIMG& img, MemImgShared& rec, PixelFormat& fmt, uint8_t* body, int bpp, int pitch,
                           int color_type, int bw, int bh) {
    std::memset(&img, 0, sizeof img);
    std::memset(&rec, 0, sizeof rec);
    std::memset(&fmt, 0, sizeof fmt);
    fmt.bytes_per_pixel = (uint16_t)bpp;
    fmt.bits_per_pixel = (uint16_t)(bpp * 8);
    rec.ref_count = 1;
    rec.pitch = pitch;
    rec.format = &fmt;
    rec.color_type = color_type;
    rec.width = bw;
    rec.height = bh;
    rec.pixels = body;
    img.magic = MEMIMG_MAGIC;
    img.width = bw;
    img.height = bh;
    img.pixels = body;
    img.shared = &rec;
}
