#include "engine/sound/mpeg_audio_start.h"

#include <cstring>

#include "engine/sound/mpeg_audio_header.h"
#include "engine/sound/sound_tags.h"

namespace {

// A header of free format (bit-rate index 0), whose frames carry no length.
bool IsFreeFormatHeader(const uint8_t* b, bool mpeg25) {
    const uint8_t with_rate[4] = {b[0], b[1], (uint8_t)(b[2] | 0x10), b[3]};
    MpegFrameInfo info;
    return (b[2] >> 4) == 0 && ParseMpegAudioFrameHeader(with_rate, &info, mpeg25) == 0;
}

bool IsHeader(const uint8_t* b, MpegAccept accept) {
    MpegFrameInfo info;
    return ParseMpegAudioFrameHeader(b, &info, accept.mpeg25) == 0 ||
           (accept.free_format && IsFreeFormatHeader(b, accept.mpeg25));
}

// The shortest frame of the header's version, layer and sampling frequency:
// that of the lowest table bit rate, unpadded.
uint32_t ShortestFrame(const uint8_t* b) {
    const uint8_t lowest[4] = {b[0], b[1], (uint8_t)((b[2] & 0x0C) | 0x10), b[3]};
    MpegFrameInfo info;
    return ParseMpegAudioFrameHeader(lowest, &info, true) == 0 ? info.frame_length : 0;
}

// Whether a layer I frame of `length` bytes could hold what its bit
// allocation asks for. -1 in 16- and 32-bit data reads as a layer I header,
// and such data is full of 0xFF bytes: an allocation of 15 is forbidden, and
// others soon ask for more bits than the frame has. Only the bytes there are
// looked at; a frame not wholly there is judged by its allocations so far.
bool LayerIAllocationFits(const uint8_t* p, size_t size, uint32_t length) {
    const int channels = (p[3] >> 6) == 3 ? 1 : 2;
    const int bound = (p[3] >> 6) == 1 ? 4 * (((p[3] >> 4) & 3) + 1) : 32;   // joint stereo shares the rest
    size_t bit = (p[1] & 1) ? 32 : 48;   // behind the header and its check word
    uint32_t needed = (uint32_t)bit;
    for (int sb = 0; sb < 32; sb++) {
        const bool shared = sb >= bound;   // one allocation and one set of samples, a scale factor each
        for (int ch = 0; ch < (shared ? 1 : channels); ch++, bit += 4) {
            if (bit / 8 >= size) return true;
            const int allocation = (p[bit / 8] >> (4 - bit % 8)) & 15;
            if (allocation == 15) return false;
            needed += 4;
            if (allocation) needed += 6 * (shared ? channels : 1) + 12 * (allocation + 1);
        }
    }
    return needed <= length * 8;
}

// Whether the frame holds its own header again: a picture of one colour, a
// table of one record or a run of pixels repeats it, coded audio does not.
bool HoldsItsHeader(const uint8_t* p, size_t size, uint32_t length) {
    const uint8_t* const end = p + (length < size ? length : size) - 3;
    for (const uint8_t* q = p + 1; q < end; q++) {
        q = (const uint8_t*)std::memchr(q, 0xFF, (size_t)(end - q));
        if (!q) return false;
        if (std::memcmp(q, p, 4) == 0) return true;
    }
    return false;
}

bool SameChannelCount(const uint8_t* a, const uint8_t* b) { return ((a[3] >> 6) == 3) == ((b[3] >> 6) == 3); }

// Whether a header of p's stream stands `at` bytes on, within the bytes. A
// frame is confirmed only by headers of its own channel count too: look-alikes
// in data vary there as elsewhere. A stream that has begun may change it.
bool StreamHeaderAt(const uint8_t* p, size_t size, size_t at, MpegAccept accept, bool same_channels = true) {
    return at + 4 <= size && IsHeader(p + at, accept) && SameMpegStream(p, p + at) &&
           (!same_channels || SameChannelCount(p, p + at));
}

// Free-format frames looked at in a frame's data for another stream: a sync in
// coded audio often reads as a table-rate header, which costs one look, and
// seldom as a free-format one, which costs a search.
const int kOtherFreeFormatLooks = 2;

uint32_t FreeFormatSpan(const uint8_t* p, size_t size, MpegAccept accept, bool others);

// Whether a frame of another stream than p's stands at q and a header of its
// stream where it ends; without looking further for others.
bool OtherStreamAt(const uint8_t* p, const uint8_t* q, size_t size, MpegAccept accept, int* free_looks) {
    if (size < 4 || !IsHeader(q, accept) || SameMpegStream(p, q)) return false;
    MpegFrameInfo f;
    uint32_t span = 0;
    if ((q[2] >> 4) != 0)
        span = ParseMpegAudioFrameHeader(q, &f, accept.mpeg25) == 0 ? f.frame_length : 0;
    else if ((*free_looks)++ < kOtherFreeFormatLooks)
        span = FreeFormatSpan(q, size, accept, false);
    return span && StreamHeaderAt(q, size, span, accept);
}

// Where the next header of the stream stands, as far from the one after it
// but for the padding byte: a sync in a frame's data is passed over. Data
// that repeats a header every few bytes is no stream: no bit rate makes
// frames shorter than the table's shortest. With `others`, a frame also ends
// where a confirmed stream of another kind begins, here or after the next.
uint32_t FreeFormatSpan(const uint8_t* p, size_t size, MpegAccept accept, bool others) {
    const size_t end = size < kFreeFormatReach + 4 ? size : kFreeFormatReach + 4;
    int free_looks = others ? 0 : kOtherFreeFormatLooks;
    for (size_t at = ShortestFrame(p); at + 4 <= end; at++) {
        if (!StreamHeaderAt(p, size, at, accept)) {
            if (others && OtherStreamAt(p, p + at, size - at, accept, &free_looks)) return (uint32_t)at;
            continue;
        }
        if (2 * at + 1 + 4 > size) return (uint32_t)at;   // the bytes end before the one after
        for (size_t next = 2 * at - 1; next <= 2 * at + 1; next++)
            if (StreamHeaderAt(p, size, next, accept) ||
                (others && OtherStreamAt(p, p + next, size - next, accept, &free_looks)))
                return (uint32_t)at;
    }
    return size <= end && size >= ShortestFrame(p) ? (uint32_t)size : 0;   // runs to the end, or none within reach
}

uint32_t SpanOfHeader(const uint8_t* p, size_t size, MpegAccept accept) {
    if (accept.free_format && IsFreeFormatHeader(p, accept.mpeg25)) return FreeFormatSpan(p, size, accept, true);
    MpegFrameInfo f;
    return ParseMpegAudioFrameHeader(p, &f, accept.mpeg25) == 0 ? f.frame_length : 0;
}

}  // namespace

uint32_t MpegFrameSpan(const uint8_t* p, size_t size, MpegAccept accept) {
    if (size < 4) return 0;
    const uint32_t span = SpanOfHeader(p, size, accept);
    if (span == 0 || HoldsItsHeader(p, size, span)) return 0;
    return ((p[1] >> 1) & 3) == 3 && !LayerIAllocationFits(p, size, span) ? 0 : span;
}

namespace {

// A frame that reaches the end before two headers confirm it counts when short_ok is set.
bool IsConfirmedMpegFrame(const uint8_t* p, size_t size, MpegAccept accept, bool short_ok) {
    size_t at = 0;
    uint32_t last_span = 0;
    for (int next = 0; next < 2; next++) {
        const uint32_t span = MpegFrameSpan(p + at, size - at, accept);
        if (span == 0) return false;   // no header
        // The frame reaches the end, or a tag: files joined end to end hold tags between frames.
        if (at + span + 4 > size || MpegTagStartsAt(p + at + span, size - at - span)) return short_ok;
        if (!StreamHeaderAt(p, size, at + span, accept)) return false;
        // Free-format frames keep one length but for the padding byte; noise
        // with syncs sown in it has a header of the stream somewhere within reach.
        if (last_span && (span > last_span + 1 || span + 1 < last_span)) return false;
        last_span = (p[2] >> 4) == 0 ? span : 0;
        at += span;
    }
    return true;
}

}  // namespace

bool NextMpegHeaderFollows(const uint8_t* p, size_t size, MpegAccept accept) {
    const uint32_t span = MpegFrameSpan(p, size, accept);
    if (!span || !StreamHeaderAt(p, size, span, accept)) return false;
    // Any two headers of free format stand some way apart; a third as far on shows a stream.
    return (p[2] >> 4) != 0 || IsConfirmedMpegFrame(p, size, accept, true);
}

int64_t FindConfirmedMpegFrame(const uint8_t* p, size_t size, size_t reach, MpegAccept accept, bool zeros_before) {
    const uint8_t* const end = p + (reach < size ? reach : size);
    const uint8_t* nonzero = p;   // the first byte that is not zero, up to end
    if (zeros_before)
        while (nonzero < end && *nonzero == 0) nonzero++;
    for (const uint8_t* q = p; q < end; q++) {
        q = (const uint8_t*)std::memchr(q, 0xFF, (size_t)(end - q));
        if (!q) break;
        if (IsConfirmedMpegFrame(q, size - (size_t)(q - p), accept, false)) return q - p;
    }
    // Short audio only where no stream follows: a false header whose frame
    // would run over the rest of a cut recording must not hide its frames.
    if (zeros_before && nonzero < end && IsConfirmedMpegFrame(nonzero, size - (size_t)(nonzero - p), accept, true))
        return nonzero - p;
    return -1;
}

size_t MpegChainBytes(const uint8_t* p, size_t size, MpegAccept accept) {
    size_t at = 0;
    while (at < size) {
        const uint32_t span = MpegFrameSpan(p + at, size - at, accept);
        if (span == 0) break;
        if (span >= size - at) return size;   // the last frame, perhaps cut
        at += span;
        if (!StreamHeaderAt(p, size, at, accept, false)) break;
    }
    return at;
}

bool SameMpegStream(const uint8_t* a, const uint8_t* b) {
    return (b[1] & 0xFE) == (a[1] & 0xFE) && (b[2] & 0x0C) == (a[2] & 0x0C) && ((a[2] >> 4) == 0) == ((b[2] >> 4) == 0);
}
