// Uncompressed RGB24 AVI files written by the tests: bottom-up rows of B, G, R
// bytes padded to 4, one '00db' chunk per frame and an index.
#pragma once
#include <cstdint>
#include <functional>

#include "sound/sound_fixture.h"

namespace avitest {

using soundtest::Bytes;
using soundtest::Cat;
using soundtest::Put16;
using soundtest::Put32;

inline void PutId(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }

inline Bytes Chunk(const char* id, const Bytes& body) {
    Bytes b;
    PutId(b, id);
    Put32(b, (uint32_t)body.size());
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() & 1) b.push_back(0);
    return b;
}

inline Bytes List(const char* type, const Bytes& body) {
    Bytes inner;
    PutId(inner, type);
    inner.insert(inner.end(), body.begin(), body.end());
    return Chunk("LIST", inner);
}

// pixel(frame, x, y) gives 0xRRGGBB with y = 0 the top row.
inline Bytes MakeRgbAvi(int width, int height, int frames, int fps,
                        const std::function<uint32_t(int, int, int)>& pixel) {
    const uint32_t pitch = ((uint32_t)width * 3 + 3) & ~3u, frame_bytes = pitch * height;
    Bytes avih;
    Put32(avih, 1000000 / fps), Put32(avih, frame_bytes * fps), Put32(avih, 0), Put32(avih, 0x10);  // AVIF_HASINDEX
    Put32(avih, frames), Put32(avih, 0), Put32(avih, 1), Put32(avih, frame_bytes);
    Put32(avih, width), Put32(avih, height);
    for (int i = 0; i < 4; i++) Put32(avih, 0);
    Bytes strh;
    PutId(strh, "vids"), PutId(strh, "DIB ");
    Put32(strh, 0), Put16(strh, 0), Put16(strh, 0), Put32(strh, 0);
    Put32(strh, 1), Put32(strh, fps), Put32(strh, 0), Put32(strh, frames);  // scale, rate, start, length
    Put32(strh, frame_bytes), Put32(strh, 0xFFFFFFFF), Put32(strh, 0);
    Put16(strh, 0), Put16(strh, 0), Put16(strh, width), Put16(strh, height);
    Bytes strf;
    Put32(strf, 40), Put32(strf, width), Put32(strf, height), Put16(strf, 1), Put16(strf, 24);
    Put32(strf, 0), Put32(strf, frame_bytes);
    for (int i = 0; i < 4; i++) Put32(strf, 0);
    const Bytes hdrl = Cat({Chunk("avih", avih), List("strl", Cat({Chunk("strh", strh), Chunk("strf", strf)}))});

    Bytes movi, idx;
    for (int n = 0; n < frames; n++) {
        Bytes data(frame_bytes, 0);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) {
                uint32_t c = pixel(n, x, y);
                uint8_t* p = &data[(size_t)(height - 1 - y) * pitch + x * 3];
                p[0] = (uint8_t)c, p[1] = (uint8_t)(c >> 8), p[2] = (uint8_t)(c >> 16);
            }
        PutId(idx, "00db"), Put32(idx, 0x10), Put32(idx, (uint32_t)movi.size() + 4), Put32(idx, frame_bytes);
        Bytes c = Chunk("00db", data);
        movi.insert(movi.end(), c.begin(), c.end());
    }
    Bytes form;
    PutId(form, "AVI ");
    return Chunk("RIFF", Cat({form, List("hdrl", hdrl), List("movi", movi), Chunk("idx1", idx)}));
}

}  // namespace avitest
