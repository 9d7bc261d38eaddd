#include "engine/sound/mpeg_info_frame.h"

#include <cstring>

#include "engine/sound/mpeg_audio_header.h"

namespace {

const uint32_t kFramesFlag = 1, kBytesFlag = 2;
const uint32_t kVbriMarker = 36;   // whatever the version and channel mode
const uint32_t kVbriBytes = 10;    // behind the version, delay and quality
const uint32_t kVbriFrames = 14;

uint32_t Be32(const uint8_t* b) { return (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3]; }
void PutBe32(uint8_t* b, uint32_t v) {
    b[0] = (uint8_t)(v >> 24), b[1] = (uint8_t)(v >> 16), b[2] = (uint8_t)(v >> 8), b[3] = (uint8_t)v;
}

// The first frame's bytes that are there (where it ends, or the bytes do),
// and where "Xing" stands behind the side information; 0 when it is no layer
// III frame. Behind a check word it may stand 2 bytes further on, but lame
// leaves no room for the word and writes it at the same place either way.
uint32_t FrameEnd(const uint8_t* p, size_t size, uint32_t* xing, bool* crc) {
    MpegFrameInfo f;
    if (size < 4 || ParseMpegAudioFrameHeader(p, &f, true) != 0 || f.layer != 2) return 0;
    *xing = 4 + (f.mpeg2 ? (f.channels == 1 ? 9 : 17) : (f.channels == 1 ? 17 : 32));
    *crc = !(p[1] & 1);
    return size < f.frame_length ? (uint32_t)size : f.frame_length;
}

bool XingAt(const uint8_t* p, uint32_t at, uint32_t end) {
    return at + 8 <= end && (std::memcmp(p + at, "Xing", 4) == 0 || std::memcmp(p + at, "Info", 4) == 0);
}

}  // namespace

MpegInfoFrame FindMpegInfoFrame(const uint8_t* p, size_t size) {
    uint32_t xing = 0;
    bool crc = false;
    const uint32_t end = FrameEnd(p, size, &xing, &crc);
    MpegInfoFrame info = {};
    if (!XingAt(p, xing, end) && crc) xing += 2;
    if (XingAt(p, xing, end)) {
        info.marker = xing;
        const uint32_t flags = Be32(p + xing + 4);
        uint32_t field = xing + 8;
        if ((flags & kFramesFlag) && field + 4 <= end) info.frames = Be32(p + field), field += 4;
        if ((flags & kBytesFlag) && field + 4 <= end) info.bytes = Be32(p + field);
    } else if (kVbriMarker + kVbriFrames + 4 <= end && std::memcmp(p + kVbriMarker, "VBRI", 4) == 0) {
        info.marker = kVbriMarker, info.vbri = true;
        info.bytes = Be32(p + kVbriMarker + kVbriBytes);
        info.frames = Be32(p + kVbriMarker + kVbriFrames);
    }
    return info;
}

uint32_t CountMpegFrames(const uint8_t* p, uint32_t from, uint32_t to) {
    uint32_t count = 0;
    MpegFrameInfo f;
    for (uint32_t at = from; at + 4 <= to && ParseMpegAudioFrameHeader(p + at, &f, true) == 0; at += f.frame_length)
        count++;
    return count;
}

MpegInfoFit FitMpegInfoFrameToStream(uint8_t* p, size_t size, uint32_t frames, uint32_t bytes) {
    const MpegInfoFrame info = FindMpegInfoFrame(p, size);
    if (!info.marker) return MPEG_INFO_NONE;
    const uint32_t after = frames ? frames - 1 : 0, m = info.marker;
    if (info.frames == after && info.bytes == bytes) return MPEG_INFO_KEPT;
    if (info.vbri) {
        PutBe32(p + m + kVbriBytes, bytes), PutBe32(p + m + kVbriFrames, after);
        return MPEG_INFO_REWRITTEN;
    }
    uint32_t xing = 0;
    bool crc = false;
    const uint32_t flags = Be32(p + m + 4), end = FrameEnd(p, size, &xing, &crc);
    // A missing field goes in its place: what follows it moves up over the
    // zero bytes that end the frame, lame's tag and all.
    static const uint8_t kZeros[8] = {};
    const uint32_t add = (flags & kFramesFlag ? 0 : 4) + (flags & kBytesFlag ? 0 : 4);
    if (m + 16 > end || std::memcmp(p + end - add, kZeros, add) != 0) {
        std::memset(p + m, 0, 4);
        return MPEG_INFO_CLEARED;
    }
    if (add) std::memmove(p + m + 16, p + m + 16 - add, end - (m + 16));
    PutBe32(p + m + 4, flags | kFramesFlag | kBytesFlag);
    PutBe32(p + m + 8, after), PutBe32(p + m + 12, bytes);
    return MPEG_INFO_REWRITTEN;
}
