// MPEG audio byte images for the sound tests and the intake benchmark: made-up
// frames, ID3v2 tags, where a file's frames stand, and the QuickTime atoms
// that lead a movie. No test framework, so
// that benchmarks can include it too.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "engine/sound/mpeg_audio_start.h"
#include "support/byte_writer.h"

namespace soundtest {

// Frames of one header, each filled with zeros up to the length the header gives.
inline Bytes MpegFrames(std::initializer_list<uint8_t> header, size_t length, int count) {
    Bytes b;
    for (int i = 0; i < count; i++) {
        b.insert(b.end(), header);
        b.resize(b.size() + length - 4);
    }
    return b;
}

// An ID3v2 tag of `body` bytes after its header, with a footer when ID3v2.4's flag asks for one.
inline Bytes Id3v2(int major, int flags, uint32_t body) {
    Bytes b = {'I', 'D', '3', (uint8_t)major, 0, (uint8_t)flags, (uint8_t)((body >> 21) & 127),
               (uint8_t)((body >> 14) & 127), (uint8_t)((body >> 7) & 127), (uint8_t)(body & 127)};
    b.resize(b.size() + body, 0x33);
    if (major == 4 && (flags & 0x10))
        b.insert(b.end(), {'3', 'D', 'I', (uint8_t)major, 0, (uint8_t)flags, b[6], b[7], b[8], b[9]});
    return b;
}

// A QuickTime atom: its 32-bit size, its type, its body.
inline Bytes QuickTimeAtom(const char* type, const Bytes& body = {}) {
    const uint32_t n = 8 + (uint32_t)body.size();
    Bytes b = {(uint8_t)(n >> 24), (uint8_t)(n >> 16), (uint8_t)(n >> 8), (uint8_t)n};
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

// Empty free atoms, as tools leave before a movie.
inline Bytes FreeAtoms(int count) {
    Bytes b;
    for (int i = 0; i < count; i++) b = Cat({b, QuickTimeAtom("free")});
    return b;
}

// Header offsets of the frames of a file that starts with one, walked by their spans.
inline std::vector<size_t> MpegFrameStarts(const Bytes& f) {
    std::vector<size_t> at;
    for (size_t p = 0; p + 4 <= f.size();) {
        const uint32_t span = MpegFrameSpan(&f[p], f.size() - p, kGraphMpeg);
        if (!span) break;
        at.push_back(p);
        p += span;
    }
    return at;
}

// Two files of one rate and length (the test tone in mono and in stereo, say)
// cut into frames and taken in turns, `run` frames at a time, each frame from
// where the sound has got to, `frames` in all (starting over at the end);
// their first frames, lame's info frames, and their last, which may be cut, left out.
inline Bytes InterleavedRuns(const Bytes& a, const Bytes& b, size_t run, size_t frames) {
    const std::vector<size_t> fa = MpegFrameStarts(a), fb = MpegFrameStarts(b);
    const size_t each = (fa.size() < fb.size() ? fa.size() : fb.size()) - 1;
    Bytes out;
    for (size_t i = 0; i < frames; i++) {
        const Bytes& f = i / run % 2 ? b : a;
        const std::vector<size_t>& at = i / run % 2 ? fb : fa;
        const size_t k = 1 + i % (each - 1);
        out.insert(out.end(), f.begin() + at[k], f.begin() + at[k + 1]);
    }
    return out;
}

}  // namespace soundtest
