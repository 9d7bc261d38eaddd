#include "engine/sound/mp3_acm.h"

#include <cstring>

#include "engine/sound/mpeg_audio_start.h"
#include "engine/sound/riff_wave.h"
#include "engine/sound/sound_container.h"
#include "engine/sound/sound_intake.h"
#include "engine/sound/sound_system.h"
#include "engine/system/memory.h"

namespace {

// The record ACM reads behind a WAVEFORMATEX for MPEG layer 3.
#pragma pack(push, 1)
struct Mp3WaveFormat {
    WAVEFORMATEX wfx;
    uint16_t wID;
    uint32_t fdwFlags;
    uint16_t nBlockSize;
    uint16_t nFramesPerBlock;
    uint16_t nCodecDelay;
};
#pragma pack(pop)
static_assert(sizeof(Mp3WaveFormat) == 30, "MPEGLAYER3WAVEFORMAT is 30 bytes");

bool ReadBytes(StreamData* s, void* dst, uint32_t n) { return s->funcs.Read(dst, n, 1, s->handle) == 1; }
bool SeekTo(StreamData* s, int64_t pos, int origin) { return s->funcs.Seek(s->handle, pos, origin) == 0; }

// The whole file, for the decision and the walk: a walk read a byte at a time
// through the stream took seconds over megabytes of bytes between frames.
uint8_t* ReadWholeStream(StreamData* s, uint32_t* size) {
    if (!SeekTo(s, 0, 2)) return nullptr;
    const int64_t size64 = s->funcs.Tell(s->handle);
    if (size64 <= 0 || size64 > 0x7FFFFFFF || !SeekTo(s, 0, 0)) return nullptr;
    uint8_t* image = (uint8_t*)MemAlloc((size_t)size64, "mp3_acm", __LINE__);
    if (image && !ReadBytes(s, image, (uint32_t)size64)) {
        MemFree(image);
        return nullptr;
    }
    *size = (uint32_t)size64;
    return image;
}

// The frames from `at` to `end`, resynchronising over bytes between them. A
// header of another stream ends the walk: the codec is set up for the first
// stream's rate and channels, and would play the next at the wrong pitch.
int WalkFrames(const uint8_t* p, uint32_t at, uint32_t end, MpegFrameWalk* w) {
    bool found = false;
    for (; at + 4 <= end; at++) {
        if (p[at] != 0xFF || (p[at + 1] & 0xF0) != 0xF0) continue;
        MpegFrameInfo f;
        if (ParseMpegAudioFrameHeader(p + at, &f) < 0 || f.frame_length == 0) return -1;
        if (found && !SameMpegAudioStream(p + w->first_frame, p + at)) break;
        if (!found) w->first_frame = at;
        found = true;
        w->total_samples += f.samples;
        w->frames++;
        if ((uint64_t)at + f.frame_length >= end) {
            w->last_end = end;
            break;
        }
        w->last_end = at + f.frame_length;
        at = w->last_end - 1;
    }
    // No frame, or none with a byte of data before the audio end.
    return found && w->last_end > w->first_frame ? 0 : -1;
}

// The whole file, walked: null when it is to be rejected, else the image,
// which the caller frees.
uint8_t* ReadAndWalk(StreamData* s, MpegFrameWalk* w) {
    std::memset(w, 0, sizeof(*w));
    uint32_t size = 0;
    uint8_t* image = ReadWholeStream(s, &size);
    if (!image) return nullptr;
    // Containers are their parsers' to read; raw bytes are MPEG audio only when frames make most of them up.
    const SoundIntake intake = DecideSoundIntake(image, size);
    if (intake.kind != SOUND_INTAKE_RAW_MPEG || WalkFrames(image, intake.start, intake.end, w) != 0) {
        MemFree(image);
        return nullptr;
    }
    return image;
}

}  // namespace

int WalkMpegAudioFrames(StreamData* s, MpegFrameWalk* w) {
    uint8_t* image = ReadAndWalk(s, w);
    MemFree(image);
    return image ? 0 : -1;
}

int OpenMp3AcmSource(SoundConverter* c) {
    std::memset(&c->acm, 0, sizeof(c->acm));
    if (!AcmEntryPointsPresent()) return -1;
    MpegFrameWalk walk;
    // The image becomes the codec's data: the frames move to its start, so the file is read once.
    uint8_t* image = ReadAndWalk(&c->source, &walk);
    if (!image) return -1;
    MpegFrameInfo f;
    if (ParseMpegAudioFrameHeader(image + walk.first_frame, &f) != 0) {
        MemFree(image);
        return -1;
    }

    // ACM may report a smaller maximum than this record: never allocate less than it is.
    DWORD size = 0;
    if (AcmApi.acmMetrics) AcmApi.acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size);
    if (size < sizeof(Mp3WaveFormat)) size = sizeof(Mp3WaveFormat);
    Mp3WaveFormat* mp3 = (Mp3WaveFormat*)MemAllocZeroed(size, "mp3_acm", __LINE__);
    if (!mp3) {
        MemFree(image);
        return -1;
    }
    c->acm.src_format = &mp3->wfx;
    mp3->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3->wfx.nChannels = f.channels;
    mp3->wfx.nSamplesPerSec = f.sample_rate;
    mp3->wfx.nAvgBytesPerSec = f.bit_rate * 1000 / 8;
    mp3->wfx.nBlockAlign = 1;
    mp3->wfx.wBitsPerSample = 0;
    mp3->wfx.cbSize = sizeof(Mp3WaveFormat) - sizeof(WAVEFORMATEX);
    mp3->wID = MPEGLAYER3_ID_MPEG;
    mp3->fdwFlags = f.padding;
    mp3->nBlockSize = (uint16_t)f.frame_length;
    mp3->nFramesPerBlock = 1;
    mp3->nCodecDelay = 700;

    c->data_start = walk.first_frame;
    c->data_size = walk.last_end - walk.first_frame;
    std::memmove(image, image + walk.first_frame, c->data_size);
    c->acm.data = image;
    c->acm.data_size = c->data_size;
    std::memset(&c->format, 0, sizeof(c->format));
    c->format.wFormatTag = WAVE_FORMAT_PCM;
    if (!SeekTo(&c->source, walk.first_frame, 0) ||
        AcmApi.acmFormatSuggest(nullptr, &mp3->wfx, &c->format, sizeof(WAVEFORMATEX), ACM_FORMATSUGGESTF_WFORMATTAG) != 0)
        goto reject;
    c->acm.src_pos = 0;
    if (OpenAcmStreams(c) != 0) goto reject;
    c->acm.total_samples = (int32_t)walk.total_samples;
    c->block_size = c->format.nAvgBytesPerSec * 4 / 3;
    c->method = SOUND_CONVERT_ACM;
    return 0;

reject:
    CloseAcmStream(c);
    std::memset(&c->acm, 0, sizeof(c->acm));
    return -1;
}
