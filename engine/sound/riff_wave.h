// RIFF WAVE decoders of the converter: PCM read straight from the stream
// (method 0) and any format the audio compression manager turns into PCM
// (method 1), with their block, seek and release operations.
#pragma once
#include "engine/sound/sound_convert.h"

// What the platform's filter graph is handed of a file, so that its parser
// never reads a WAV otherwise than the readers: the chunks both readers
// take, as one walk finds them, in the plainest layout.
enum WaveForGraphKind {
    WAVE_GRAPH_NOT_WAVE,    // no RIFF WAVE: the file goes as it is
    WAVE_GRAPH_REFUSED,     // a WAV with no format or no data to decode, or whose chunks run past the file
    WAVE_GRAPH_IMAGE,       // a new WAV: the format record and the data chunk alone
    WAVE_GRAPH_MPEG_DATA,   // MPEG audio: the data chunk's bytes of the file, judged as raw bytes are
};
struct WaveForGraph {
    WaveForGraphKind kind;
    uint8_t* image;     // the new WAV, MemAlloc'd
    uint32_t size;      // of the image, or of the MPEG data
    uint32_t data_at;   // where the MPEG data stands in the file
};
// `file` holds the stream's whole `file_size` bytes. Leaves the stream anywhere.
WaveForGraph PrepareWaveForGraph(SoundConverter* conv, const uint8_t* file, uint32_t file_size);
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
