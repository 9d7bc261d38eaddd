#include "engine/sound/mp3_acm.h"

#include <cstring>

#include "engine/sound/mpeg_audio_start.h"
#include "engine/sound/riff_wave.h"
#include "engine/sound/sound_container.h"
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

bool ReadStreamAt(void* context, uint32_t at, void* dst, uint32_t n) {
    StreamData* s = (StreamData*)context;
    return SeekTo(s, at, 0) && ReadBytes(s, dst, n);
}

// The first frame that the frames after it confirm, read a window at a time:
// any 0xFF 0xFx pair before it parses as some header, and one taken for the
// first frame would set the format. -1 when there is none before the end.
int64_t FindFirstFrame(StreamData* s, uint32_t from, uint32_t end) {
    const uint32_t kWindow = 0x10000;
    const uint32_t kAhead = 0x2000;   // beyond two of the longest frames and a header
    uint8_t* buffer = (uint8_t*)MemAlloc(kWindow + kAhead, "mp3_acm", __LINE__);
    if (!buffer) return -1;
    int64_t found = -1;
    bool zeros = true;   // only zero bytes so far
    for (uint32_t at = from; found < 0 && at < end; at += kWindow) {
        const uint32_t n = end - at < kWindow + kAhead ? end - at : kWindow + kAhead;
        if (!SeekTo(s, at, 0) || !ReadBytes(s, buffer, n)) break;
        const int64_t in = FindConfirmedMpegFrame(buffer, n, kWindow, kAcmMpeg, zeros);
        if (in >= 0) found = at + in;
        for (uint32_t i = 0; zeros && i < n && i < kWindow; i++) zeros = buffer[i] == 0;
    }
    MemFree(buffer);
    return found;
}

}  // namespace

int WalkMpegAudioFrames(StreamData* s, MpegFrameWalk* w) {
    std::memset(w, 0, sizeof(*w));
    if (!SeekTo(s, 0, 2)) return -1;
    const int64_t size64 = s->funcs.Tell(s->handle);
    if (size64 <= 0 || size64 > 0x7FFFFFFF) return -1;
    const uint32_t file_size = (uint32_t)size64;
    // A container's frames stand between its own headers, which the walk would
    // pass over as junk (MP3 in an AVI, a program stream's packs): its parser reads it.
    w->audio_start = LeadingId3v2TagsEnd(file_size, ReadStreamAt, s);
    if (HoldsSoundContainer(file_size, w->audio_start, ReadStreamAt, s)) return -1;
    const MpegAudioTails tails = FindMpegAudioTails(file_size, ReadStreamAt, s);
    w->audio_end = tails.tags_start;
    if (w->audio_start >= tails.audio_end) return -1;
    // A frame that reaches the end of the audio needs no header after it, wherever tags or zero bytes follow.
    const int64_t first = FindFirstFrame(s, w->audio_start, tails.audio_end);
    if (first < 0 || !SeekTo(s, first, 0)) return -1;

    bool found = false;
    uint8_t h[4];
    // Up to the tags: an APE tag's binary items may hold what parses as a header.
    for (;;) {
        if (s->funcs.Tell(s->handle) >= w->audio_end || !ReadBytes(s, &h[0], 1)) break;
        if (h[0] != 0xFF) continue;
        if (!ReadBytes(s, &h[1], 1)) break;
        if ((h[1] & 0xF0) != 0xF0) continue;
        if (!ReadBytes(s, &h[2], 2)) break;
        MpegFrameInfo f;
        if (ParseMpegAudioFrameHeader(h, &f) < 0 || f.frame_length == 0) return -1;
        const int64_t at = s->funcs.Tell(s->handle) - 4;
        if (at < 0) return -1;
        if (!found) w->first_frame = (uint32_t)at;
        found = true;
        w->total_samples += f.samples;
        w->frames++;
        const uint64_t end = (uint64_t)at + f.frame_length;
        if (end < w->audio_end) {
            w->last_end = (uint32_t)end;
            if (!SeekTo(s, f.frame_length - 4, 1)) break;
            continue;
        }
        w->last_end = w->audio_end;
        break;
    }
    // No frame, or none with a byte of data before the audio end.
    if (!found || w->last_end <= w->first_frame) return -1;
    return 0;
}

int OpenMp3AcmSource(SoundConverter* c) {
    std::memset(&c->acm, 0, sizeof(c->acm));
    if (!AcmEntryPointsPresent()) return -1;
    MpegFrameWalk walk;
    if (WalkMpegAudioFrames(&c->source, &walk) != 0) return -1;
    uint8_t h[4];
    MpegFrameInfo f;
    if (!SeekTo(&c->source, walk.first_frame, 0) || !ReadBytes(&c->source, h, 4) ||
        ParseMpegAudioFrameHeader(h, &f) != 0)
        return -1;

    // ACM may report a smaller maximum than this record: never allocate less than it is.
    DWORD size = 0;
    if (AcmApi.acmMetrics) AcmApi.acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size);
    if (size < sizeof(Mp3WaveFormat)) size = sizeof(Mp3WaveFormat);
    Mp3WaveFormat* mp3 = (Mp3WaveFormat*)MemAllocZeroed(size, "mp3_acm", __LINE__);
    if (!mp3) return -1;
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
    std::memset(&c->format, 0, sizeof(c->format));
    c->format.wFormatTag = WAVE_FORMAT_PCM;
    if (!SeekTo(&c->source, walk.first_frame, 0) ||
        AcmApi.acmFormatSuggest(nullptr, &mp3->wfx, &c->format, sizeof(WAVEFORMATEX), ACM_FORMATSUGGESTF_WFORMATTAG) != 0)
        goto reject;
    c->acm.data = (uint8_t*)MemAlloc(c->data_size, "mp3_acm", __LINE__);
    if (!c->acm.data) goto reject;
    c->acm.data_size = c->data_size;
    if (!ReadBytes(&c->source, c->acm.data, c->data_size) || !SeekTo(&c->source, walk.first_frame, 0)) goto reject;
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
