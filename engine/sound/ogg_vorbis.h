// Ogg Vorbis through vorbisfile, read through the converter's own stream.
#pragma once
#include "engine/sound/sound_convert.h"

// 0 accepted (method 2), -1 rejected (nothing left open).
int OpenOggVorbisStream(SoundConverter* conv);
uint32_t GetOggVorbisPcmBytes(SoundConverter* conv);
// 0 block ready, -1 end of stream (or a stream too damaged to go on).
int DecodeOggVorbisBlock(SoundConverter* conv);
int SeekOggVorbisStream(SoundConverter* conv, int32_t sample);
int CloseOggVorbisStream(SoundConverter* conv);
