#include "engine/sound/sound_convert.h"

#include <cstring>

#include "engine/sound/mp3_acm.h"
#include "engine/sound/mp3_filters.h"
#include "engine/sound/ogg_vorbis.h"
#include "engine/sound/riff_wave.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"

static int g_decoder_disable_mask = 0;
static int g_movie_audio_flag = 0;

int SetSoundDecoderDisableMask(int mask) {
    g_decoder_disable_mask = mask;
    return 0;
}
int GetSoundDecoderDisableMask() { return g_decoder_disable_mask; }
int SetMovieAudioFlag(int flag) {
    g_movie_audio_flag = flag;
    return 0;
}
int GetMovieAudioFlag() { return g_movie_audio_flag; }


int CheckPcmFormat(const WAVEFORMATEX* f) {
    const unsigned bits = f->wBitsPerSample;
    if (f->wFormatTag != WAVE_FORMAT_PCM || f->nChannels == 0 ||
        (bits != 8 && bits != 16 && bits != 24 && bits != 32) || f->nBlockAlign != f->nChannels * bits / 8 ||
        f->nSamplesPerSec < 100 || f->nSamplesPerSec > 200000)
        return LogAppendFormat("再生できないPCMフォーマットです(チャンネル数:%u ビット数:%u ブロック:%u 周波数:%lu)\n",
                               (unsigned)f->nChannels, bits, (unsigned)f->nBlockAlign,
                               (unsigned long)f->nSamplesPerSec);
    return 0;
}

static void RewindSource(SoundConverter* c) { c->source.funcs.Seek(c->source.handle, 0, 0); }

static void ReleaseDecoder(SoundConverter* c) {
    switch (c->method) {
    case SOUND_CONVERT_ACM: CloseAcmStream(c); break;
    case SOUND_CONVERT_OGG_VORBIS: CloseOggVorbisStream(c); break;
    case SOUND_CONVERT_PCM_IMAGE:
        MemFree(c->image.pcm);
        c->image.pcm = nullptr;
        break;
    default: break;
    }
}

int SelectSoundDecoder(StreamData* source, SoundConverter* conv) {
    conv->vorbis_selector = g_movie_audio_flag;
    conv->source = *source;
    conv->buffer = nullptr;
    RewindSource(conv);

    const int mask = g_decoder_disable_mask;
    int ok = -1;
    if (!(mask & SOUND_DECODER_RIFF_PCM)) {
        ok = OpenRiffPcmSource(conv);
        if (ok != 0) RewindSource(conv);
    }
    if (ok != 0 && !(mask & SOUND_DECODER_RIFF_ACM)) {
        ok = OpenRiffAcmSource(conv);
        if (ok != 0) RewindSource(conv);
    }
    if (ok != 0 && !(mask & SOUND_DECODER_OGG_VORBIS)) {
        ok = OpenOggVorbisStream(conv);
        if (ok != 0) RewindSource(conv);
    }
    if (ok != 0 && !(mask & SOUND_DECODER_MP3_ACM)) ok = OpenMp3AcmSource(conv);
    if (ok != 0 && !(mask & SOUND_DECODER_MP3_FILTERS)) ok = ConvertMp3ToPcm(conv);
    if (ok != 0) return -1;
    // Every decoder's output passes here: DirectSound and the mixer are never handed a format they crash on.
    if (CheckPcmFormat(&conv->format) != 0) {
        ReleaseDecoder(conv);
        conv->setup = 0;
        return -1;
    }
    // Rings, refills and durations are sized by the byte rate: it comes from the
    // format, never from a file's header, which may say anything.
    conv->format.nAvgBytesPerSec = conv->format.nSamplesPerSec * conv->format.nBlockAlign;

    conv->end = 0;
    conv->buffer = (uint8_t*)MemAlloc(conv->block_size ? conv->block_size : 1, "sound_convert", __LINE__);
    if (!conv->buffer) {
        ReleaseDecoder(conv);
        conv->setup = 0;
        return -1;
    }
    conv->bytes_left = 0;
    conv->buffer_offset = 0;
    conv->output_pos = 0;
    conv->setup = 1;
    return 0;
}

static int CopyPcmImageBlock(SoundConverter* c) {
    SoundConverterPcmImage* im = &c->image;
    if (im->read_pos >= im->count) return -1;
    uint32_t n = im->count - im->read_pos;
    if (n > c->block_size) n = c->block_size;
    std::memcpy(c->buffer, im->pcm + im->read_pos, n);
    c->bytes_left = (int32_t)n;
    im->read_pos += n;
    return 0;
}

static int FillBlock(SoundConverter* c) {
    switch (c->method) {
    case SOUND_CONVERT_RIFF_PCM: return ReadPcmBlock(c);
    case SOUND_CONVERT_ACM: return ConvertAcmBlock(c);
    case SOUND_CONVERT_OGG_VORBIS: return DecodeOggVorbisBlock(c);
    case SOUND_CONVERT_PCM_IMAGE: return CopyPcmImageBlock(c);
    default: return -1;
    }
}

int ConvertNextSoundBlock(SoundConverter* conv, void* dest, uint32_t size) {
    if (!conv->setup) return -1;
    if (conv->end || size == 0) return 0;
    uint8_t* out = (uint8_t*)dest;
    uint32_t done = 0;
    while (done < size) {
        if (conv->bytes_left <= 0) {
            conv->buffer_offset = 0;
            conv->bytes_left = 0;
            // A block that "succeeds" with nothing in it would never advance: it is the end too.
            if (FillBlock(conv) != 0 || conv->bytes_left <= 0) {
                conv->bytes_left = 0;
                conv->end = 1;
                return (int)done;
            }
        }
        uint32_t n = size - done;
        if (n > (uint32_t)conv->bytes_left) n = (uint32_t)conv->bytes_left;
        std::memcpy(out + done, conv->buffer + conv->buffer_offset, n);
        done += n;
        conv->bytes_left -= (int32_t)n;
        conv->buffer_offset += n;
        conv->output_pos += n;
    }
    return (int)size;
}

static int SeekWithin(SoundConverter* conv, int32_t sample, int64_t slack);

// Every decode from the start really seeks there, whatever the output position
// says: vorbisfile reads nothing of a movie's Vorbis track straight after
// opening it, but does after a seek.
static void RewindToFirstSample(SoundConverter* conv) {
    SeekWithin(conv, 0, 0);
    conv->buffer_offset = 0;
    conv->bytes_left = 0;
}

int DecodeFirstSoundBlock(SoundConverter* conv) {
    if (!conv->setup) return -1;
    if (conv->bytes_left >= (int32_t)conv->format.nBlockAlign) return 0;
    RewindToFirstSample(conv);
    if (FillBlock(conv) != 0 || conv->bytes_left < (int32_t)conv->format.nBlockAlign) {
        conv->bytes_left = 0;
        conv->end = 1;
        return -1;
    }
    return 0;
}

// Seeks, unless the target lies less than `slack` bytes from the output position while data remains.
static int SeekWithin(SoundConverter* conv, int32_t sample, int64_t slack) {
    uint32_t target = (uint32_t)sample * conv->format.nBlockAlign;
    int64_t diff = (int64_t)target - (int64_t)conv->output_pos;
    if (!conv->end && diff > -slack && diff < slack) return 0;
    switch (conv->method) {
    case SOUND_CONVERT_RIFF_PCM: SeekPcmSource(conv, sample); break;
    case SOUND_CONVERT_ACM: SeekAcmSource(conv, sample); break;
    case SOUND_CONVERT_OGG_VORBIS: SeekOggVorbisStream(conv, sample); break;
    case SOUND_CONVERT_PCM_IMAGE:
        conv->image.read_pos = target;
        conv->output_pos = target;
        conv->bytes_left = 0;
        conv->buffer_offset = 0;
        break;
    default: break;
    }
    conv->end = 0;
    return 0;
}

int SeekSoundConverter(SoundConverter* conv, int32_t sample) {
    // A near target is skipped only while data remains: after the end, even a
    // short way back must really seek, or a tiny looping sound stays silent.
    return SeekWithin(conv, sample, 16);
}

int SeekSoundConverterExactly(SoundConverter* conv, int32_t sample) { return SeekWithin(conv, sample, 1); }

uint32_t GetConvertedPcmSize(SoundConverter* conv) {
    switch (conv->method) {
    case SOUND_CONVERT_RIFF_PCM: return conv->data_size;
    case SOUND_CONVERT_ACM: return GetAcmPcmSize(conv);
    case SOUND_CONVERT_OGG_VORBIS: return GetOggVorbisPcmBytes(conv);
    case SOUND_CONVERT_PCM_IMAGE: return conv->image.count;
    default: return 0;
    }
}

int GetConverterWaveFormat(SoundConverter* conv, WAVEFORMATEX* out) {
    *out = conv->format;
    return 0;
}

int TerminateSoundConverter(SoundConverter* conv) {
    if (!conv->setup) return -1;
    MemFree(conv->buffer);
    conv->buffer = nullptr;
    ReleaseDecoder(conv);
    conv->setup = 0;
    return 0;
}

int ConvertWholeSound(SoundConverter* conv, WAVEFORMATEX* out_format, void** out_pcm, uint32_t* out_size) {
    if (!conv->setup) return -1;
    uint32_t size = GetConvertedPcmSize(conv);
    void* block = MemAlloc(size ? size : 1, "sound_convert", __LINE__);
    if (!block) return LogAppend("音声データを格納するメモリ領域の確保に失敗しました\n");
    RewindToFirstSample(conv);
    uint32_t got;
    if (conv->method == SOUND_CONVERT_RIFF_PCM) {
        SeekPcmSource(conv, 0);
        if (size && conv->source.funcs.Read(block, size, 1, conv->source.handle) != 1) {
            MemFree(block);
            return -1;
        }
        got = size;
    } else {
        int n = ConvertNextSoundBlock(conv, block, size);
        got = n < 0 ? 0 : (uint32_t)n;
    }
    // Nothing decoded of what was promised is no sound: never a silent one. Where
    // nothing was promised (a codec that cannot count) the caller plays a stream,
    // which decodes as it goes and refuses a first block of nothing.
    if (size && got < conv->format.nBlockAlign) {
        MemFree(block);
        return LogAppend("音声データをデコードしましたが、ＰＣＭが得られませんでした\n");
    }
    if (got < size)
        LogAppendFormat("音声データのデコード結果が示された長さより短いため、得られた %lu バイトだけを使います(示された長さ:%lu バイト)",
                        (unsigned long)got, (unsigned long)size);
    *out_format = conv->format;
    *out_pcm = block;
    *out_size = got;
    return 0;
}

static void PutU32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

void PutWaveFileHeader(uint8_t* p, const void* format, uint32_t format_size, uint32_t data_size) {
    std::memcpy(p, "RIFF", 4);
    PutU32(p + 4, 20 + format_size + data_size);
    std::memcpy(p + 8, "WAVE", 4);
    std::memcpy(p + 12, "fmt ", 4);
    PutU32(p + 16, format_size);
    if (format_size) std::memcpy(p + 20, format, format_size);
    std::memcpy(p + 20 + format_size, "data", 4);
    PutU32(p + 24 + format_size, data_size);
}

int BuildWaveFileImage(void** out_image, uint32_t* out_size, const void* format, uint32_t format_size,
                       const void* data, uint32_t data_size) {
    uint32_t total = 28 + format_size + data_size;
    uint8_t* p = (uint8_t*)MemAlloc(total, "sound_convert", __LINE__);
    if (!p) return LogAppend("仮WAVEファイルイメージ用のメモリ確保に失敗しました\n");
    PutWaveFileHeader(p, format, format_size, data_size);
    if (data_size) std::memcpy(p + 28 + format_size, data, data_size);
    *out_image = p;
    *out_size = total;
    return 0;
}

int LoadStreamToMemory(const StreamData* stream, void** out_data, uint32_t* out_size) {
    const StreamFunctions& f = stream->funcs;
    if (f.Seek(stream->handle, 0, 2) != 0) return -1;
    int64_t size = f.Tell(stream->handle);
    if (size < 0 || size > 0x7FFFFFFF || f.Seek(stream->handle, 0, 0) != 0) return -1;
    void* p = MemAlloc(size ? (size_t)size : 1, "sound_convert", __LINE__);
    if (!p) return LogAppendFormat("ストリームの読み込みに必要なメモリの確保に失敗しました");
    if (size && f.Read(p, (size_t)size, 1, stream->handle) != 1) {
        MemFree(p);
        return -1;
    }
    *out_data = p;
    *out_size = (uint32_t)size;
    return 0;
}

int MulDiv64(int32_t value, int32_t rate) {
    if (rate == 0) return 0;
    return (int)((int64_t)value * 1000 / rate);
}
