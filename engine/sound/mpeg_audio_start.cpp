#include "engine/sound/mpeg_audio_start.h"

#include <cstring>

#include "engine/sound/mp3_acm.h"

namespace {

// A header of free format (bit-rate index 0), whose frames carry no length.
bool IsFreeFormatHeader(const uint8_t* b) {
    const uint8_t with_rate[4] = {b[0], b[1], (uint8_t)(b[2] | 0x10), b[3]};
    MpegFrameInfo info;
    return (b[2] >> 4) == 0 && ParseMpegAudioFrameHeader(with_rate, &info, true) == 0;
}

bool IsHeader(const uint8_t* b, bool wide) {
    MpegFrameInfo info;
    return ParseMpegAudioFrameHeader(b, &info, wide) == 0 || (wide && IsFreeFormatHeader(b));
}

// Same version, layer and sampling frequency, and both free format or neither.
bool SameMpegStream(const uint8_t* a, const uint8_t* b) {
    return (b[1] & 0xFE) == (a[1] & 0xFE) && (b[2] & 0x0C) == (a[2] & 0x0C) && ((a[2] >> 4) == 0) == ((b[2] >> 4) == 0);
}

}  // namespace

uint32_t MpegFrameSpan(const uint8_t* p, size_t size, bool wide) {
    if (size < 4) return 0;
    if (wide && IsFreeFormatHeader(p)) {
        size_t at = 4;
        for (; at + 4 <= size && at <= kFreeFormatReach; at++)
            if (IsFreeFormatHeader(p + at) && SameMpegStream(p, p + at)) return (uint32_t)at;
        // Searched up to the end: the frame runs to it.
        return at + 4 > size ? (uint32_t)size : 0;
    }
    MpegFrameInfo f;
    return ParseMpegAudioFrameHeader(p, &f, wide) == 0 ? f.frame_length : 0;
}

bool NextMpegHeaderFollows(const uint8_t* p, size_t size, bool wide) {
    const uint32_t span = MpegFrameSpan(p, size, wide);
    return span && span + 4 <= size && IsHeader(p + span, wide) && SameMpegStream(p, p + span);
}

namespace {

// A frame that reaches the end before two headers confirm it counts when short_ok is set.
bool IsConfirmedMpegFrame(const uint8_t* p, size_t size, bool wide, bool short_ok) {
    size_t at = 0;
    uint32_t last_span = 0;
    for (int next = 0; next < 2; next++) {
        const uint32_t span = MpegFrameSpan(p + at, size - at, wide);
        if (span == 0) return false;   // no header
        if (at + span + 4 > size) return short_ok;   // the frame reaches the end
        if (!IsHeader(p + at + span, wide) || !SameMpegStream(p, p + at + span)) return false;
        // Free-format frames keep one length but for the padding byte; noise
        // with syncs sown in it has a header of the stream somewhere within reach.
        if (last_span && (span > last_span + 1 || span + 1 < last_span)) return false;
        last_span = (p[2] >> 4) == 0 ? span : 0;
        at += span;
    }
    return true;
}

}  // namespace

int64_t FindConfirmedMpegFrame(const uint8_t* p, size_t size, size_t reach, bool wide, bool zeros_before) {
    const uint8_t* const end = p + (reach < size ? reach : size);
    const uint8_t* nonzero = p;   // the first byte that is not zero, up to end
    if (zeros_before)
        while (nonzero < end && *nonzero == 0) nonzero++;
    for (const uint8_t* q = p; q < end; q++) {
        q = (const uint8_t*)std::memchr(q, 0xFF, (size_t)(end - q));
        if (!q) break;
        if (IsConfirmedMpegFrame(q, size - (size_t)(q - p), wide, zeros_before && q <= nonzero)) return q - p;
    }
    return -1;
}
