// Raw MPEG audio files (MP3, with or without ID3 tags) through the audio
// compression manager: the frame header parse, the walk over every frame, and
// the decoder that sets a converter up as an ACM source.
#pragma once
#include <cstdint>

#include "engine/sound/sound_convert.h"

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

struct MpegFrameWalk {
    uint32_t audio_start;     // behind an ID3v2 tag
    uint32_t audio_end;       // before an ID3v1 tag
    uint32_t first_frame;
    uint32_t last_end;        // end of the last frame, at most the audio end
    uint32_t total_samples;
    uint32_t frames;
};

// Walks every frame from the first that the headers after it confirm (see
// mpeg_audio_start.h); 0 with at least one whole range of frame data, -1 when
// the file is to be rejected. Leaves the stream anywhere.
int WalkMpegAudioFrames(StreamData* stream, MpegFrameWalk* out);

// 0 accepted (method 1), -1 rejected silently.
int OpenMp3AcmSource(SoundConverter* conv);
