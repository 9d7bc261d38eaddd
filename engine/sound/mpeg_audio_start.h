// Where MPEG audio starts in bytes that may not begin with it: a recording
// begun mid-frame, a cutting tool's leftovers, a tag whose size is short. Any
// 0xFF 0xFx pair parses as some header, so a header counts only once the
// headers after it confirm it.
#pragma once
#include <cstddef>
#include <cstdint>

// The longest free-format frame looked through for the next header (decoders
// take up to 640 kbit/s, 2,881 bytes at 32 kHz).
const uint32_t kFreeFormatReach = 4096;

// Where the frame whose header is at p ends, from p: its length (which may run
// past `size`), or in free format the distance to the next header of the
// stream, or to the end of the bytes when they end within reach; 0 when p holds
// no header, or a free-format one with no next header within reach. `wide`
// also takes MPEG 2.5 and free format, which the compression manager never decodes.
uint32_t MpegFrameSpan(const uint8_t* p, size_t size, bool wide);

// Whether a header of the same stream follows where the frame at p ends.
bool NextMpegHeaderFollows(const uint8_t* p, size_t size, bool wide);

// Offset of the first confirmed frame that starts within the first `reach`
// bytes, or -1. A header is confirmed when the next two are of the same
// version, layer and sampling frequency, each where the frame before it ends;
// a frame that reaches the end of the bytes needs no more, so that audio of one
// or two frames is found. Such short audio counts only where nothing but zero
// bytes stand before it, here and, when `zeros_before` is set, before p: in
// noise, a header or two near the end would.
int64_t FindConfirmedMpegFrame(const uint8_t* p, size_t size, size_t reach, bool wide, bool zeros_before = true);
