#include "engine/sound/mp3_acm.h"

#include <cstring>

#include "engine/sound/mpeg_audio_header.h"
#include "engine/sound/riff_wave.h"
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

const uint32_t kAcmStepBytes = 2048;

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

// The frames of the first stream, gathered back to back: the codec is given
// neither the tags nor the bytes between chains that the intake rule passed over.
struct Mp3Frames {
    const uint8_t* image;
    uint32_t image_size;
    uint32_t first;          // where the first frame stands in the file
    uint8_t* data;
    uint32_t size;
    uint64_t total_samples;
    uint32_t shortest;       // the shortest frame, which decodes to the most PCM per byte
    uint32_t frame_samples;
    bool mono, stereo;       // the channel counts met: the mode may change within the stream
    bool bad;                // a header that the codec's parse refuses (MPEG 2.5), or no memory
};

void GatherChain(void* context, uint32_t from, uint32_t to, uint32_t limit) {
    Mp3Frames* m = (Mp3Frames*)context;
    if (!m->data && !m->bad) {   // every chain lies between the first and the end of the file
        m->first = from;
        m->data = (uint8_t*)MemAlloc(m->image_size - from, "mp3_acm", __LINE__);
        m->bad = !m->data;
    }
    uint32_t at = from;
    while (!m->bad && at < to) {
        MpegFrameInfo f;
        if (ParseMpegAudioFrameHeader(m->image + at, &f) != 0 || f.frame_length == 0) {
            m->bad = true;
            break;
        }
        if (!m->shortest || f.frame_length < m->shortest) m->shortest = f.frame_length;
        m->frame_samples = f.samples;
        m->total_samples += f.samples;
        (f.channels == 1 ? m->mono : m->stereo) = true;
        at = limit - at > f.frame_length ? at + f.frame_length : limit;   // the last frame may be cut
    }
    if (m->bad) return;
    std::memcpy(m->data + m->size, m->image + from, at - from);
    m->size += at - from;
}

// The frames of the raw MPEG audio that the intake rule takes (see
// sound_intake.h), gathered as it decides: its first stream, every chain of
// it; false when the file is to be rejected. Frees the image.
bool GatherFrames(uint8_t* image, uint32_t size, Mp3Frames* m) {
    std::memset(m, 0, sizeof(*m));
    m->image = image;
    m->image_size = size;
    const bool raw = DecideSoundIntake(image, size, GatherChain, m).kind == SOUND_INTAKE_RAW_MPEG;
    MemFree(image);
    // PCM of more than 2 GB is no sound to hold: its length would not even count.
    if (raw && m->data && !m->bad && m->size > 0 && m->total_samples * 4 <= 0x7FFFFFFF) return true;
    MemFree(m->data);
    m->data = nullptr;
    return false;
}

// The record handed to ACM for frames whose first header is `f`, with `channels`.
void FillMp3Format(Mp3WaveFormat* mp3, const MpegFrameInfo& f, int channels) {
    std::memset(mp3, 0, sizeof(*mp3));
    mp3->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3->wfx.nChannels = (WORD)channels;
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
}

// The compressed bytes one step may hand the codec: 2048, unless the shortest
// frames of so many would decode to more than the block holds (below about
// 12 kbit/s), which the codec drops. Whole frames counted from the shortest,
// two spare for frames that a step's bytes only begin.
uint32_t Mp3StepBytes(const Mp3Frames& m, uint32_t block_samples) {
    const uint32_t frames = block_samples / m.frame_samples;
    const uint32_t fit = frames > 3 ? (frames - 2) * m.shortest : m.shortest;
    return fit < kAcmStepBytes ? fit : kAcmStepBytes;
}

// A stream whose channel mode changes plays at one channel count, two: the
// codec decodes each frame at its own count, so each run of one count goes
// through a converter of its own, stepped as the single-count path steps, and
// mono runs are spread over both channels. Decoded whole here, into a PCM image.
int DecodeMixedChannels(SoundConverter* c, const Mp3Frames& m, Mp3WaveFormat* mp3) {
    const uint32_t capacity = (uint32_t)m.total_samples * 4;
    uint32_t count = 0;
    uint8_t* pcm = (uint8_t*)MemAlloc(capacity ? capacity : 1, "mp3_acm", __LINE__);
    for (uint32_t run = 0; pcm && run < m.size;) {
        MpegFrameInfo f, g;
        if (m.size - run < 4 || ParseMpegAudioFrameHeader(m.data + run, &f) != 0) break;
        uint32_t run_end = run;
        while (run_end < m.size && m.size - run_end >= 4 && ParseMpegAudioFrameHeader(m.data + run_end, &g) == 0 &&
               g.channels == f.channels)
            run_end = g.frame_length < m.size - run_end ? run_end + g.frame_length : m.size;   // the last may be cut
        FillMp3Format(mp3, f, f.channels);
        SoundConverter part = {};
        part.acm.src_format = &mp3->wfx;
        part.acm.data = m.data + run;
        part.acm.data_size = run_end - run;
        part.format.wFormatTag = WAVE_FORMAT_PCM;
        if (AcmApi.acmFormatSuggest(nullptr, &mp3->wfx, &part.format, sizeof(WAVEFORMATEX),
                                    ACM_FORMATSUGGESTF_WFORMATTAG) != 0 ||
            part.format.wBitsPerSample != 16 || part.format.nChannels != f.channels || OpenAcmStreams(&part) != 0)
            break;
        part.block_size = part.format.nAvgBytesPerSec * 4 / 3;
        part.acm.step_bytes = Mp3StepBytes(m, part.block_size / part.format.nBlockAlign);
        part.buffer = (uint8_t*)MemAlloc(part.block_size, "mp3_acm", __LINE__);
        while (part.buffer && ConvertAcmBlock(&part) == 0)
            for (uint32_t i = 0; i < (uint32_t)part.bytes_left / part.format.nBlockAlign && count + 4 <= capacity;
                 i++, count += 4) {
                const uint8_t* s = part.buffer + i * part.format.nBlockAlign;
                std::memcpy(pcm + count, s, 2);
                std::memcpy(pcm + count + 2, f.channels == 1 ? s : s + 2, 2);
            }
        MemFree(part.buffer);
        part.acm.src_format = nullptr;   // the record and the frames are the caller's
        part.acm.data = nullptr;
        CloseAcmStream(&part);
        run = run_end;
    }
    if (!pcm || count == 0) {
        MemFree(pcm);
        return -1;
    }
    std::memset(&c->image, 0, sizeof(c->image));
    c->image.pcm = pcm;
    c->image.capacity = capacity;
    c->image.count = count;
    c->format = {WAVE_FORMAT_PCM, 2, mp3->wfx.nSamplesPerSec, mp3->wfx.nSamplesPerSec * 4, 4, 16, 0};
    c->block_size = c->format.nAvgBytesPerSec;
    c->method = SOUND_CONVERT_PCM_IMAGE;
    return 0;
}

}  // namespace

int OpenMp3AcmSource(SoundConverter* c) {
    std::memset(&c->acm, 0, sizeof(c->acm));
    if (!AcmEntryPointsPresent()) return -1;
    uint32_t size = 0;
    uint8_t* image = ReadWholeStream(&c->source, &size);
    Mp3Frames m;
    if (!image || !GatherFrames(image, size, &m)) return -1;
    MpegFrameInfo f;
    ParseMpegAudioFrameHeader(m.data, &f);

    // ACM may report a smaller maximum than this record: never allocate less than it is.
    DWORD record = 0;
    if (AcmApi.acmMetrics) AcmApi.acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &record);
    if (record < sizeof(Mp3WaveFormat)) record = sizeof(Mp3WaveFormat);
    Mp3WaveFormat* mp3 = (Mp3WaveFormat*)MemAllocZeroed(record, "mp3_acm", __LINE__);
    if (!mp3) {
        MemFree(m.data);
        return -1;
    }
    FillMp3Format(mp3, f, f.channels);
    c->data_start = m.first;
    c->data_size = m.size;   // the frames alone, moved together
    if (m.mono && m.stereo) {
        const int r = DecodeMixedChannels(c, m, mp3);
        MemFree(mp3);
        MemFree(m.data);
        if (r != 0) std::memset(&c->image, 0, sizeof(c->image));
        return r;
    }
    c->acm.src_format = &mp3->wfx;
    c->acm.data = m.data;
    c->acm.data_size = m.size;
    std::memset(&c->format, 0, sizeof(c->format));
    c->format.wFormatTag = WAVE_FORMAT_PCM;
    if (AcmApi.acmFormatSuggest(nullptr, &mp3->wfx, &c->format, sizeof(WAVEFORMATEX), ACM_FORMATSUGGESTF_WFORMATTAG) != 0 ||
        c->format.nBlockAlign == 0)
        goto reject;
    c->acm.src_pos = 0;
    if (OpenAcmStreams(c) != 0) goto reject;
    c->acm.total_samples = (int32_t)m.total_samples;
    c->block_size = c->format.nAvgBytesPerSec * 4 / 3;
    c->acm.step_bytes = Mp3StepBytes(m, c->block_size / c->format.nBlockAlign);
    c->method = SOUND_CONVERT_ACM;
    return 0;

reject:
    CloseAcmStream(c);
    std::memset(&c->acm, 0, sizeof(c->acm));
    return -1;
}
