// MPEG audio frame headers (ISO/IEC 11172-3, 13818-3 and MPEG 2.5). No
// Windows header, so the rules built on it also build natively.
#pragma once
#include <cstdint>

struct MpegFrameInfo {
    uint8_t layer;            // 0 layer I, 1 layer II, 2 layer III
    uint8_t mpeg2;            // 1 for the lower sampling frequencies
    uint8_t bitrate_index;    // 1-14
    uint8_t rate_index;       // 0-2
    uint8_t padding;
    uint8_t channels;
    uint32_t sample_rate;     // Hz
    uint32_t bit_rate;        // kbit/s
    uint32_t frame_length;    // bytes, header included
    uint32_t samples;         // per frame
};

// 0 parsed, -1 a reserved or unusable field, -2 no sync. MPEG 2.5 (mpeg2 set,
// the sampling frequencies halved again) is parsed only when asked for.
int ParseMpegAudioFrameHeader(const uint8_t header[4], MpegFrameInfo* out, bool mpeg25 = false);
