// An encoder's info frame: a first layer III frame that holds no sound but
// tells a parser how long the file it began is (lame's and ffmpeg's "Xing" or
// "Info" behind the side information, Fraunhofer's "VBRI" 32 bytes behind the
// header). The platform's parser plays by its frame and byte counts, so files
// joined end to end stopped after the first and cut downloads short: the
// frame is made to tell the stream's. No Windows header: builds natively.
#pragma once
#include <cstddef>
#include <cstdint>

struct MpegInfoFrame {
    uint32_t marker;   // where "Xing", "Info" or "VBRI" stands from the frame's start; 0: none
    bool vbri;
    uint32_t frames;   // the frames after it; 0: none given (parsers take a count of 0 as none)
    uint32_t bytes;    // the stream's bytes from the frame on; 0: none given
};
// Xing and Info are looked for behind the side information, and in a frame
// with a check word 2 bytes further on as well.
MpegInfoFrame FindMpegInfoFrame(const uint8_t* p, size_t size);

// The frames chained from `from` to `to` in p, walked by their headers.
uint32_t CountMpegFrames(const uint8_t* p, uint32_t from, uint32_t to);

enum MpegInfoFit {
    MPEG_INFO_NONE,        // no info frame
    MPEG_INFO_KEPT,        // it tells the stream's frames and bytes: left as the encoder wrote it
    MPEG_INFO_REWRITTEN,   // it now tells them
    MPEG_INFO_CLEARED,     // no room for the counts: its marker is cleared and it plays as a silent frame
};
// Makes the info frame at p, the first of `frames` frames that span `bytes`,
// tell the frames after it and the bytes where either is missing or differs.
// The platform's parser reads both: it plays a cut download whose frame
// still promises the whole file up to 17 frames short (VBRI: refused, or
// hundreds of frames short), one whose frame count alone is put right a few
// frames in all, and files joined end to end no further than the first;
// a byte count larger than the bytes ends a whole file early. The table
// need not match. It trims the encoder's delay and padding by lame's tag
// behind the fields, whose check word it does not read: a missing count goes
// in its place and the table and the tag move along over the frame's last
// zero bytes.
MpegInfoFit FitMpegInfoFrameToStream(uint8_t* p, size_t size, uint32_t frames, uint32_t bytes);
