#include "engine/sound/mpeg_info_frame.h"

#include <cstring>

#include "engine/sound/mpeg_audio_header.h"

namespace {

const uint32_t kFramesFlag = 1;
const uint32_t kVbriMarker = 36;   // whatever the version and channel mode
const uint32_t kVbriFrames = 14;   // behind the version, delay, quality and bytes

uint32_t Be32(const uint8_t* b) { return (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3]; }
void PutBe32(uint8_t* b, uint32_t v) {
    b[0] = (uint8_t)(v >> 24), b[1] = (uint8_t)(v >> 16), b[2] = (uint8_t)(v >> 8), b[3] = (uint8_t)v;
}

// The first frame's bytes that are there (where it ends, or the bytes do),
// and where "Xing" would stand; 0 when it is no layer III frame.
uint32_t FrameEnd(const uint8_t* p, size_t size, uint32_t* xing) {
    MpegFrameInfo f;
    if (size < 4 || ParseMpegAudioFrameHeader(p, &f, true) != 0 || f.layer != 2) return 0;
    const uint32_t side = f.mpeg2 ? (f.channels == 1 ? 9 : 17) : (f.channels == 1 ? 17 : 32);
    *xing = 4 + ((p[1] & 1) ? 0 : 2) + side;   // behind the check word, when there is one
    return size < f.frame_length ? (uint32_t)size : f.frame_length;
}

}  // namespace

MpegInfoFrame FindMpegInfoFrame(const uint8_t* p, size_t size) {
    uint32_t xing = 0;
    const uint32_t end = FrameEnd(p, size, &xing);
    MpegInfoFrame info = {};
    if (xing + 8 <= end && (std::memcmp(p + xing, "Xing", 4) == 0 || std::memcmp(p + xing, "Info", 4) == 0)) {
        info.marker = xing;
        if ((Be32(p + xing + 4) & kFramesFlag) && xing + 12 <= end) info.frames = Be32(p + xing + 8);
    } else if (kVbriMarker + kVbriFrames + 4 <= end && std::memcmp(p + kVbriMarker, "VBRI", 4) == 0) {
        info.marker = kVbriMarker, info.vbri = true;
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

MpegInfoFit FitMpegInfoFrameToStream(uint8_t* p, size_t size, uint32_t frames) {
    const MpegInfoFrame info = FindMpegInfoFrame(p, size);
    if (!info.marker) return MPEG_INFO_NONE;
    const uint32_t after = frames ? frames - 1 : 0, m = info.marker;
    if (info.frames && info.frames >= after) return MPEG_INFO_KEPT;
    if (info.vbri) return PutBe32(p + m + kVbriFrames, after), MPEG_INFO_REWRITTEN;
    uint32_t xing = 0;
    const uint32_t flags = Be32(p + m + 4), end = FrameEnd(p, size, &xing);
    // A count added goes first: what follows the flags moves up over the zero
    // bytes that end the frame, lame's tag and all.
    static const uint8_t kZeros[4] = {};
    const bool add = !(flags & kFramesFlag);
    if (m + 12 > end || (add && std::memcmp(p + end - 4, kZeros, 4) != 0)) {
        std::memset(p + m, 0, 4);
        return MPEG_INFO_CLEARED;
    }
    if (add) {
        std::memmove(p + m + 12, p + m + 8, end - (m + 12));
        PutBe32(p + m + 4, flags | kFramesFlag);
    }
    PutBe32(p + m + 8, after);
    return MPEG_INFO_REWRITTEN;
}
