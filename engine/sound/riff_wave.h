// RIFF WAVE decoders of the converter: PCM read straight from the stream
// (method 0) and any format the audio compression manager turns into PCM
// (method 1), with their block, seek and release operations.
#pragma once
#include "engine/sound/sound_convert.h"

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
