// Ogg Vorbis through vorbisfile, read through the converter's own stream.
#pragma once
#include "engine/sound/sound_convert.h"

// 0 accepted (method 2), -1 rejected (nothing left open).
int OpenOggVorbisStream(SoundConverter* conv);
// 1 when the stream carries Vorbis that OpenOggVorbisStream refuses (or no
// memory is left to tell); 0 when it opens, or holds no Vorbis at all (not
// Ogg, or Ogg of another codec).
int OggVorbisRefused(SoundConverter* conv);
uint32_t GetOggVorbisPcmBytes(SoundConverter* conv);
// 0 block ready, -1 end of stream (or a stream too damaged to go on).
int DecodeOggVorbisBlock(SoundConverter* conv);
int SeekOggVorbisStream(SoundConverter* conv, int32_t sample);
int CloseOggVorbisStream(SoundConverter* conv);
