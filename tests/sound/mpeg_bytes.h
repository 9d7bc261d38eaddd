// MPEG audio byte images for the sound tests and the intake benchmark: made-up
// frames, ID3v2 tags, where a file's frames stand, and the QuickTime atoms
// that lead a movie. No test framework, so
// that benchmarks can include it too.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "engine/sound/mpeg_audio_header.h"
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

// Of each layer III frame of a file that starts with one, whether the bit
// reservoir it draws on (main_data_begin, from its side information) reaches
// back past the start of its run of `run` frames: those bytes belong to
// whatever frame stood before the run, and no decoder can give the frame's
// samples back. A frame is the header, the check word, the side information
// and its share of main data; only the last counts towards the reservoir.
inline std::vector<bool> ReservoirOutsideRun(const Bytes& f, size_t run) {
    std::vector<bool> outside;
    uint32_t held = 0;   // main data of the run's frames so far
    for (size_t at : MpegFrameStarts(f)) {
        MpegFrameInfo h;
        if (ParseMpegAudioFrameHeader(&f[at], &h, true) != 0 || h.layer != 2) break;
        const uint32_t side = h.mpeg2 ? (h.channels == 1 ? 9 : 17) : (h.channels == 1 ? 17 : 32);
        const size_t info = at + 4 + ((f[at + 1] & 1) ? 0 : 2);
        if (info + side > f.size() || h.frame_length < info - at + side) break;
        const uint32_t begin = h.mpeg2 ? f[info] : (uint32_t)(f[info] << 1 | f[info + 1] >> 7);
        if (outside.size() % run == 0) held = 0;
        outside.push_back(begin > held);
        held += h.frame_length - (uint32_t)(info - at) - side;
    }
    return outside;
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
