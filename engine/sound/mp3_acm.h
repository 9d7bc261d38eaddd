// Raw MPEG audio files (MP3, with or without tags) through the audio
// compression manager: the walk over every frame, and the decoder that sets a
// converter up as an ACM source.
#pragma once
#include <cstdint>

#include "engine/sound/mpeg_audio_header.h"
#include "engine/sound/sound_convert.h"

struct MpegFrameWalk {
    uint32_t first_frame;
    uint32_t last_end;        // end of the last frame, at most the audio end
    uint32_t total_samples;
    uint32_t frames;
};

// Walks the frames of raw MPEG audio that the intake rule takes (see
// sound_intake.h), from its first frame to the end of its first stream; 0
// with at least one whole range of frame data, -1 when the file is to be
// rejected. Reads the whole file; leaves the stream anywhere.
int WalkMpegAudioFrames(StreamData* stream, MpegFrameWalk* out);

// 0 accepted (method 1), -1 rejected silently.
int OpenMp3AcmSource(SoundConverter* conv);
