// RIFF WAVE decoders of the converter: PCM read straight from the stream
// (method 0) and any format the audio compression manager turns into PCM
// (method 1), with their block, seek and release operations.
#pragma once
#include "engine/sound/sound_convert.h"

enum RiffWaveLayout { RIFF_WAVE_NONE, RIFF_WAVE_WHOLE, RIFF_WAVE_BROKEN };
// Whether the stream is a RIFF WAVE, and if so whether its "fmt " and "data"
// chunks are there, wherever they stand, and lie whole inside the stream (a
// "data" chunk may run short of its size, as the reader allows, but an empty
// one leaves nothing to decode). Decides nothing about the format itself,
// but gives its tag (an extensible record's named one) where `tag` is given.
// Leaves the stream anywhere.
RiffWaveLayout CheckRiffWaveLayout(SoundConverter* conv, uint16_t* tag = nullptr);
// Whether the stream is a WAV of MPEG audio whose data the ACM reader finds
// no stream in (judged as raw bytes are), or does not reach: nothing there is
// sound, and the platform's parser runs out of memory on some. Leaves the
// stream anywhere.
bool RiffMpegHoldsNoFrames(SoundConverter* conv);
// The platform's parser renders float of three channels or more only under
// an extensible header: with the plain one (tag 3, as scipy writes it) it
// fails, now and then only at its time limit. It waits out its limit on
// A-law and mu-law whose block is not a byte a channel (a block of 32,195,
// say). Such a WAV, and any A-law or mu-law, comes back as a new image
// (MemAlloc'd) under the header that names it rightly, its data taken from
// `file`, the stream's whole bytes; any other, null.
uint8_t* WaveImageForGraph(SoundConverter* conv, const uint8_t* file, uint32_t* size);
// 0 accepted, -1 rejected (nothing left allocated or open).
int OpenRiffPcmSource(SoundConverter* conv);
int OpenRiffAcmSource(SoundConverter* conv);
// 0 block ready, -1 end of data.
int ReadPcmBlock(SoundConverter* conv);
int SeekPcmSource(SoundConverter* conv, int32_t sample);
int ConvertAcmBlock(SoundConverter* conv);
int SeekAcmSource(SoundConverter* conv, int32_t sample);
int CloseAcmStream(SoundConverter* conv);
// Total PCM bytes of an ACM source.
uint32_t GetAcmPcmSize(SoundConverter* conv);
// The main and the spare ACM stream from acm.src_format to format; -1 leaves neither open.
int OpenAcmStreams(SoundConverter* conv);
// 1 when every ACM entry the converter calls was found.
int AcmEntryPointsPresent();
