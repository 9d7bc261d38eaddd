// Raw MPEG audio files (MP3, with or without tags) through the audio
// compression manager: the frames of the first stream that the intake rule
// takes (sound_intake.h), handed to the platform's codec.
#pragma once
#include "engine/sound/sound_convert.h"

// 0 accepted (method 1, or a PCM image when the channel mode changes within
// the stream), -1 rejected silently.
int OpenMp3AcmSource(SoundConverter* conv);
// The data chunk of a WAV of MPEG audio, `data` (MemAlloc'd; taken over),
// decoded as the same bytes are raw (DecideMpegDataIntake): the same frames,
// channel changes and length, on the whole and the stream path alike.
int OpenMp3AcmData(SoundConverter* conv, uint8_t* data, uint32_t size);
