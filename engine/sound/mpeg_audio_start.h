// Where MPEG audio starts in bytes that may not begin with it (a recording
// begun mid-frame, a cutting tool's leftovers, a tag whose size is short), and
// the chains of frames that follow from there; the tags and padding that tools
// leave around them are sound_tags.h's. Any 0xFF 0xFx pair parses as some
// header, so a header counts only once the headers after it confirm it. No
// Windows header: the rules build natively.
#pragma once
#include <cstddef>
#include <cstdint>

// The headers a reader takes besides MPEG-1 and -2 at a table bit rate.
struct MpegAccept {
    bool mpeg25;
    bool free_format;
};
// The compression manager's decoder; the platform's parser; and the parser
// for bytes it refused as they were, where free format is passed over: its
// "frames" are any span between two headers, and data that repeats a header
// at a steady spacing (quiet PCM, tables of -1 and 0) would pass.
constexpr MpegAccept kAcmMpeg = {false, false};
constexpr MpegAccept kGraphMpeg = {true, true};
constexpr MpegAccept kGraphMpegTableRates = {true, false};

// The longest free-format frame looked through for the next header (decoders
// take up to 640 kbit/s, 2,881 bytes at 32 kHz).
const uint32_t kFreeFormatReach = 4096;

// Where the frame whose header is at p ends, from p: its length (which may run
// past `size`), or in free format the distance to the next header of the
// stream or to a confirmed one of another stream, or to the end of the bytes
// when they end within reach. 0 when p holds
// no header, or no frame: a free-format one with no next header within reach
// or with one nearer than the shortest frame of any table bit rate, a frame
// that holds its own header again, a layer I frame whose bit allocation is
// forbidden or asks for more bits than the frame has.
uint32_t MpegFrameSpan(const uint8_t* p, size_t size, MpegAccept accept);

// Whether a header of the same stream follows where the frame at p ends; in
// free format, also a third where the second ends (±1 for the padding byte),
// unless the second frame runs to the end.
bool NextMpegHeaderFollows(const uint8_t* p, size_t size, MpegAccept accept);

// Offset of the first confirmed frame that starts within the first `reach`
// bytes, or -1. A header is confirmed when the next two are of the same
// version, layer, sampling frequency and channel count, each where the frame
// before it ends; a frame that reaches the end of the bytes, or a tag, needs no
// more, so that audio of one or two frames is found (`size` is best the end of the audio, before its
// tails). Such short audio counts only where nothing but zero bytes stand
// before it, here and, when `zeros_before` is set, before p (in noise, a
// header or two near the end would), and where no confirmed frame follows.
int64_t FindConfirmedMpegFrame(const uint8_t* p, size_t size, size_t reach, MpegAccept accept,
                               bool zeros_before = true);

// The bytes that the frames chained from the frame at p make up: each header
// of p's stream stands where the frame before it ends, and the last frame may
// run to the end of the bytes. The channel mode may change on the way: a
// stream is its version, layer and rate. 0 when p holds no frame.
size_t MpegChainBytes(const uint8_t* p, size_t size, MpegAccept accept);

// Whether the headers at a and b are of one stream: version, layer and
// sampling frequency, and both free format or neither.
bool SameMpegStream(const uint8_t* a, const uint8_t* b);
