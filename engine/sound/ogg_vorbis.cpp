#include "engine/sound/ogg_vorbis.h"

#include <cstring>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include "engine/sound/sound_system.h"
#include "engine/system/memory.h"

// vorbisfile reports a hole once per lost stretch of pages; a stream made
// only of holes must still end.
static const int kHoleRetries = 64;

static size_t OggReadCallback(void* ptr, size_t size, size_t nmemb, void* source) {
    StreamData* s = (StreamData*)source;
    if (!s) return (size_t)-1;
    return s->funcs.Read(ptr, size, nmemb, s->handle);
}

static int OggSeekCallback(void* source, ogg_int64_t offset, int whence) {
    StreamData* s = (StreamData*)source;
    if (!s) return -1;
    return s->funcs.Seek(s->handle, offset, whence);
}

static int ReturnZero(void*) { return 0; }

static long OggTellCallback(void* source) {
    StreamData* s = (StreamData*)source;
    if (!s) return -1;
    return (long)s->funcs.Tell(s->handle);
}

static OggVorbis_File* FileOf(SoundConverter* c) { return (OggVorbis_File*)c->ogg.file; }

// For 3 to 8 channels, the Vorbis channel that goes to each wave channel. Vorbis
// fixes its order per channel count (front left, centre, front right, rears or
// sides, LFE last); a wave file without a channel mask plays front left, front
// right, centre, LFE, back left, back right, back centre, side left, side right,
// taking the first speakers of that list that its layout has.
static const uint8_t kWaveFromVorbis[9][8] = {
    {}, {}, {},
    {0, 2, 1},                 // L C R             -> L R C
    {0, 1, 2, 3},              // FL FR RL RR       -> the same
    {0, 2, 1, 3, 4},           // FL C FR RL RR     -> FL FR C RL RR
    {0, 2, 1, 5, 3, 4},        // FL C FR RL RR LFE -> FL FR C LFE RL RR
    {0, 2, 1, 6, 5, 3, 4},     // FL C FR SL SR RC LFE -> FL FR C LFE RC SL SR
    {0, 2, 1, 7, 5, 6, 3, 4},  // FL C FR SL SR RL RR LFE -> FL FR C LFE RL RR SL SR
};

// Puts each frame of interleaved samples into wave channel order.
static void ReorderVorbisChannels(uint8_t* pcm, uint32_t bytes, int channels, int word) {
    if (channels < 3 || channels > 8) return;
    const uint8_t* map = kWaveFromVorbis[channels];
    const uint32_t frame = (uint32_t)(channels * word);
    uint8_t in[8 * 2];
    for (uint32_t at = 0; at + frame <= bytes; at += frame) {
        std::memcpy(in, pcm + at, frame);
        for (int ch = 0; ch < channels; ch++) std::memcpy(pcm + at + ch * word, in + map[ch] * word, (size_t)word);
    }
}

static const ov_callbacks kCallbacks = {OggReadCallback, OggSeekCallback, ReturnZero, OggTellCallback};

// The stream info of an open file when the converter can use it, else null.
static vorbis_info* UsableInfo(OggVorbis_File* vf) {
    // A length vorbisfile cannot tell would turn into a huge unsigned size.
    vorbis_info* info = ov_info(vf, -1);
    return info && info->channels > 0 && info->rate > 0 && ov_pcm_total(vf, -1) >= 0 ? info : nullptr;
}

int OpenOggVorbisStream(SoundConverter* c) {
    c->ogg.open = 0;
    c->ogg.file = nullptr;
    OggVorbis_File* vf = (OggVorbis_File*)MemAllocZeroed(sizeof(OggVorbis_File), "ogg_vorbis", __LINE__);
    if (!vf) return -1;
    if (ov_open_callbacks(&c->source, vf, nullptr, 0, kCallbacks) != 0) {
        MemFree(vf);
        return -1;
    }
    c->ogg.file = vf;
    c->ogg.open = 1;
    vorbis_info* info = UsableInfo(vf);
    if (!info) {
        CloseOggVorbisStream(c);
        return -1;
    }
    const int bytes = GetOggVorbisOutputBytes();
    c->ogg.bytes_per_sample = bytes;
    std::memset(&c->format, 0, sizeof(c->format));
    c->format.wFormatTag = WAVE_FORMAT_PCM;
    c->format.nChannels = (WORD)info->channels;
    c->format.nSamplesPerSec = (DWORD)info->rate;
    c->format.nBlockAlign = (WORD)(info->channels * bytes);
    c->format.nAvgBytesPerSec = c->format.nBlockAlign * c->format.nSamplesPerSec;
    c->format.wBitsPerSample = (WORD)(bytes * 8);
    c->block_size = 4096;
    c->data_size = GetOggVorbisPcmBytes(c);
    c->method = SOUND_CONVERT_OGG_VORBIS;
    return 0;
}

int OggVorbisRefused(SoundConverter* c) {
    // vorbisfile reads on from where the stream stands.
    if (c->source.funcs.Seek(c->source.handle, 0, 0) != 0) return 1;
    OggVorbis_File* vf = (OggVorbis_File*)MemAllocZeroed(sizeof(OggVorbis_File), "ogg_vorbis", __LINE__);
    if (!vf) return 1;
    const int opened = ov_open_callbacks(&c->source, vf, nullptr, 0, kCallbacks);
    int refused = opened != 0 && opened != OV_ENOTVORBIS;
    if (opened == 0) {
        refused = !UsableInfo(vf);
        ov_clear(vf);
    }
    MemFree(vf);
    return refused;
}

uint32_t GetOggVorbisPcmBytes(SoundConverter* c) {
    if (!c->ogg.open) return 0;
    const uint32_t total = (uint32_t)ov_pcm_total(FileOf(c), -1);
    return (uint32_t)c->format.nChannels * (uint32_t)c->ogg.bytes_per_sample * total;
}

int DecodeOggVorbisBlock(SoundConverter* c) {
    if (!c->ogg.open) return -1;
    const int word = c->ogg.bytes_per_sample;
    int section = 0;
    for (int holes = 0;; holes++) {
        long n = ov_read(FileOf(c), (char*)c->buffer, (int)c->block_size, 0, word, word == 1 ? 0 : 1, &section);
        if (n > 0) {
            ReorderVorbisChannels(c->buffer, (uint32_t)n, c->format.nChannels, word);
            c->bytes_left = (int32_t)n;
            return 0;
        }
        // Never a negative count: a hole is skipped, anything else ends the stream.
        if (n != OV_HOLE || holes >= kHoleRetries) return -1;
    }
}

int SeekOggVorbisStream(SoundConverter* c, int32_t sample) {
    if (c->ogg.open) {
        // Past the end vorbisfile refuses the seek and stays put; the end itself is a valid place.
        ogg_int64_t target = sample < 0 ? 0 : sample;
        const ogg_int64_t total = ov_pcm_total(FileOf(c), -1);
        if (target > total) target = total;
        ov_pcm_seek(FileOf(c), target);
    }
    c->bytes_left = 0;
    c->buffer_offset = 0;
    c->output_pos = (uint32_t)c->format.nBlockAlign * (uint32_t)sample;
    return 0;
}

int CloseOggVorbisStream(SoundConverter* c) {
    if (c->ogg.open == 1) {
        ov_clear(FileOf(c));
        c->ogg.open = 0;
    }
    MemFree(c->ogg.file);
    c->ogg.file = nullptr;
    return 0;
}
