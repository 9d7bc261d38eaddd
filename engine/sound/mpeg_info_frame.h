// An encoder's info frame: a first layer III frame that holds no sound but
// tells a parser how long the file it began is (lame's and ffmpeg's "Xing" or
// "Info" behind the side information, Fraunhofer's "VBRI" 32 bytes behind the
// header). The platform's parser plays no further than the frames it gives,
// so files joined end to end stopped after the first: the frame is made to
// give the whole stream's. No Windows header: builds natively.
#pragma once
#include <cstddef>
#include <cstdint>

struct MpegInfoFrame {
    uint32_t marker;   // where "Xing", "Info" or "VBRI" stands from the frame's start; 0: none
    bool vbri;
    uint32_t frames;   // the frames after it; 0: none given (parsers take a count of 0 as none)
};
MpegInfoFrame FindMpegInfoFrame(const uint8_t* p, size_t size);

// The frames chained from `from` to `to` in p, walked by their headers.
uint32_t CountMpegFrames(const uint8_t* p, uint32_t from, uint32_t to);

enum MpegInfoFit {
    MPEG_INFO_NONE,        // no info frame
    MPEG_INFO_KEPT,        // it gives the stream's frames, or more: left as the encoder wrote it
    MPEG_INFO_REWRITTEN,   // it now gives the stream's frames
    MPEG_INFO_CLEARED,     // no room for a count: its marker is cleared and it plays as a silent frame
};
// Makes the info frame at p, the first of `frames` frames, give the frames
// after it where it gives fewer or none. The platform's parser takes the
// length from that count alone (not from the byte count nor the table) and
// trims the encoder's delay and padding by lame's tag behind it, whose check
// word it does not read: only the count is written, and the tag moves along
// where the count is added.
MpegInfoFit FitMpegInfoFrameToStream(uint8_t* p, size_t size, uint32_t frames);
