#include "engine/sound/mpeg_audio_header.h"

namespace {

// kbit/s by bit-rate index 1-14 (ISO/IEC 11172-3, 13818-3).
const uint16_t kBitRates[5][14] = {
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG-1 layer I
    {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG-1 layer II
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG-1 layer III
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG-2 layer I
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2 layers II, III
};
const uint32_t kSampleRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

}  // namespace

int ParseMpegAudioFrameHeader(const uint8_t b[4], MpegFrameInfo* out, bool mpeg25) {
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0 || (!mpeg25 && (b[1] & 0x10) == 0)) return -2;
    const int version = (b[1] >> 3) & 3;   // 0 MPEG 2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1
    if (version == 1) return -1;
    const int mpeg2 = version == 3 ? 0 : 1;
    const int layer_code = (b[1] >> 1) & 3;
    const int bitrate_index = b[2] >> 4;
    const int rate_index = (b[2] >> 2) & 3;
    // Index 0 (free format) has no length to walk by: 1-byte steps, seeks backwards.
    if (layer_code == 0 || bitrate_index == 0 || bitrate_index == 15 || rate_index == 3) return -1;
    MpegFrameInfo f;
    f.layer = (uint8_t)(3 - layer_code);
    f.mpeg2 = (uint8_t)mpeg2;
    f.bitrate_index = (uint8_t)bitrate_index;
    f.rate_index = (uint8_t)rate_index;
    f.padding = (b[2] >> 1) & 1;
    f.channels = (b[3] >> 6) == 3 ? 1 : 2;
    f.sample_rate = kSampleRates[version == 0 ? 2 : mpeg2][rate_index];
    const int row = mpeg2 ? (f.layer == 0 ? 3 : 4) : f.layer;
    f.bit_rate = kBitRates[row][bitrate_index - 1];
    if (f.layer == 0) {
        f.frame_length = (12000 * f.bit_rate / f.sample_rate + f.padding) * 4;
        f.samples = 384;
    } else if (mpeg2 && f.layer == 2) {
        f.frame_length = 72000 * f.bit_rate / f.sample_rate + f.padding;
        f.samples = 576;
    } else {
        f.frame_length = 144000 * f.bit_rate / f.sample_rate + f.padding;
        f.samples = 1152;
    }
    *out = f;
    return 0;
}
