// Conversion of a sound file, read through a StreamData, to PCM: decoder choice,
// block-by-block output, seeking by sample, total length, and the loaders'
// helpers (whole stream into memory, PCM wrapped as a RIFF WAVE image).
#pragma once
#include <windows.h>
#include <mmreg.h>
#include <msacm.h>
#include <cstdint>

#include "engine/file/stream.h"

enum SoundConvertMethod {
    SOUND_CONVERT_RIFF_PCM = 0,
    SOUND_CONVERT_ACM = 1,
    SOUND_CONVERT_OGG_VORBIS = 2,
    SOUND_CONVERT_PCM_IMAGE = 3,
};

// Decoder-disable mask bits, in the order the decoders are tried.
enum {
    SOUND_DECODER_RIFF_PCM = 1,
    SOUND_DECODER_RIFF_ACM = 2,
    SOUND_DECODER_OGG_VORBIS = 4,
    SOUND_DECODER_MP3_ACM = 8,
    SOUND_DECODER_MP3_FILTERS = 16,
};

struct SoundConverterAcm {
    WAVEFORMATEX* src_format;  // block of at least 18 bytes
    HACMSTREAM stream;
    HACMSTREAM spare;          // has converted nothing; taken over by a backward seek
    uint8_t* data;             // the whole compressed data
    uint32_t data_size;
    uint32_t src_pos;          // compressed bytes already handed to ACM
    uint32_t step_bytes;       // most compressed bytes one step hands ACM (what they decode to fits
                               // the block); 0: 2048
    int32_t total_samples;     // -1 when unknown (RIFF sources)
};

struct SoundConverterOgg {
    int open;
    void* file;                // the vorbisfile record
    int bytes_per_sample;
};

struct SoundConverterPcmImage {
    uint8_t* pcm;
    uint32_t capacity;
    uint32_t count;
    uint32_t read_pos;
};

struct SoundConverter {
    int setup;
    int end;
    int method;
    StreamData source;         // copy of the caller's stream; never closed here
    uint32_t data_start;
    uint32_t data_size;
    WAVEFORMATEX format;       // output, always PCM
    union {
        SoundConverterAcm acm;
        SoundConverterOgg ogg;
        SoundConverterPcmImage image;
    };
    uint8_t* buffer;
    uint32_t block_size;
    int32_t bytes_left;
    uint32_t buffer_offset;
    uint32_t output_pos;
    int vorbis_selector;
};

// 0 for PCM that DirectSound and the mixer can take (8/16/24/32 bits, block
// align = channels x bits / 8, 100..200000 Hz); else a log line and -1.
int CheckPcmFormat(const WAVEFORMATEX* format);

// Clear conv->setup before. 0 set up, -1 when no decoder accepts the data.
int SelectSoundDecoder(StreamData* source, SoundConverter* conv);
// PCM bytes written (fewer than size only at the end), -1 when not set up.
int ConvertNextSoundBlock(SoundConverter* conv, void* dest, uint32_t size);
// Right after the set-up: decodes the first block, which the next blocks
// asked for then hand out; -1 when it holds no PCM.
int DecodeFirstSoundBlock(SoundConverter* conv);
// Skips a target within 15 bytes of the output position while data remains.
int SeekSoundConverter(SoundConverter* conv, int32_t sample);
// Lands on the sample itself: a pass of a stream source must start at its first byte.
int SeekSoundConverterExactly(SoundConverter* conv, int32_t sample);
uint32_t GetConvertedPcmSize(SoundConverter* conv);
int GetConverterWaveFormat(SoundConverter* conv, WAVEFORMATEX* out);
int TerminateSoundConverter(SoundConverter* conv);
// The whole sound as one tracked block (MemFree it), as long as the decoder
// promises at most; -1 with a log line when a promise yields no PCM.
int ConvertWholeSound(SoundConverter* conv, WAVEFORMATEX* out_format, void** out_pcm, uint32_t* out_size);

// The 28 + format_size bytes of a RIFF WAVE header: fmt chunk, then the data chunk's header.
void PutWaveFileHeader(uint8_t* dst, const void* format, uint32_t format_size, uint32_t data_size);
int BuildWaveFileImage(void** out_image, uint32_t* out_size, const void* format, uint32_t format_size,
                       const void* data, uint32_t data_size);
// The whole stream from its start into one tracked block; the stream stays open.
int LoadStreamToMemory(const StreamData* stream, void** out_data, uint32_t* out_size);
// value x 1000 / rate, truncated.
int MulDiv64(int32_t value, int32_t rate);

// Engine-wide settings read by the converter.
int SetSoundDecoderDisableMask(int mask);
int GetSoundDecoderDisableMask();
int SetMovieAudioFlag(int flag);
int GetMovieAudioFlag();
