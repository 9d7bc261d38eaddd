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
    // MPEG 2.5 is taken from a WAV's data, which declares MPEG audio: raw
    // bytes are taken by the 12 sync bits of MPEG-1 and -2 alone (README).
    bool mpeg25;
    bool bad;                // a header that does not parse, or no memory
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
        if (ParseMpegAudioFrameHeader(m->image + at, &f, m->mpeg25) != 0 || f.frame_length == 0) {
            m->bad = true;
            break;
        }
        if (!m->shortest || f.frame_length < m->shortest) m->shortest = f.frame_length;
        m->frame_samples = f.samples;
        // A cut last frame gives the codec nothing: a stream announces what it then plays.
        if (f.frame_length <= limit - at) m->total_samples += f.samples;
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
bool GatherFrames(uint8_t* image, uint32_t size, bool wave_data, Mp3Frames* m) {
    std::memset(m, 0, sizeof(*m));
    m->image = image;
    m->image_size = size;
    m->mpeg25 = wave_data;
    const SoundIntake intake =
        wave_data ? DecideMpegDataIntake(image, size, GatherChain, m) : DecideSoundIntake(image, size, GatherChain, m);
    const bool raw = intake.kind == SOUND_INTAKE_RAW_MPEG;
    MemFree(image);
    // PCM of more than 2 GB is no sound to hold: its length would not even count.
    if (raw && m->data && !m->bad && m->total_samples > 0 && m->total_samples * 4 <= 0x7FFFFFFF) return true;
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

// A converter for frames whose first header is `f`, to 16-bit PCM of their channel count; null when none opens.
HACMSTREAM OpenRunStream(Mp3WaveFormat* mp3, const MpegFrameInfo& f) {
    FillMp3Format(mp3, f, f.channels);
    WAVEFORMATEX pcm = {};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    HACMSTREAM h = nullptr;
    if (AcmApi.acmFormatSuggest(nullptr, &mp3->wfx, &pcm, sizeof(pcm), ACM_FORMATSUGGESTF_WFORMATTAG) != 0 ||
        pcm.wBitsPerSample != 16 || pcm.nChannels != f.channels ||
        AcmApi.acmStreamOpen(&h, nullptr, &mp3->wfx, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0)
        return nullptr;
    return h;
}

// The `size` bytes of frames at `run` through the converter: the PCM bytes it
// gave, of which those that fit in `room` are written at `out`.
uint32_t DecodeRun(SoundConverter* part, const uint8_t* run, uint32_t size, uint8_t* out, uint32_t room) {
    part->acm.data = (uint8_t*)run;
    part->acm.data_size = size;
    part->acm.src_pos = 0;
    uint32_t given = 0;
    while (ConvertAcmBlock(part) == 0) {
        const uint32_t n = (uint32_t)part->bytes_left;
        if (given < room) std::memcpy(out + given, part->buffer, n < room - given ? n : room - given);
        given += n;
    }
    part->acm.data = nullptr;
    return given;
}

// `samples` mono samples at `pcm` onto both channels, in place, from the last back.
void SpreadMono(uint8_t* pcm, uint32_t samples) {
    for (uint32_t i = samples; i-- > 0;) {
        uint8_t s[2];
        std::memcpy(s, pcm + 2 * i, 2);
        std::memcpy(pcm + 4 * i, s, 2);
        std::memcpy(pcm + 4 * i + 2, s, 2);
    }
}

// A stream whose channel mode changes plays at one channel count, two, mono
// runs on both channels; decoded whole here, into a PCM image. One converter
// takes every run, each step handing it frames of one count, so that the bit
// reservoir and the synthesis carry over the change (one opened per run cost
// 25 ms and began the run with a frame of silence, then a click). Wine's codec
// gives each frame at its own count; a run given at the count the converter
// was opened for is read so. A run given at neither is no decode to trust: it
// goes again through a converter opened for it, which takes the runs after.
int DecodeMixedChannels(SoundConverter* c, const Mp3Frames& m, Mp3WaveFormat* mp3) {
    const uint32_t capacity = (uint32_t)m.total_samples * 4, rate = mp3->wfx.nSamplesPerSec;
    uint32_t count = 0;
    uint8_t* pcm = (uint8_t*)MemAlloc(capacity ? capacity : 1, "mp3_acm", __LINE__);
    SoundConverter part = {};
    part.block_size = rate * 4 * 4 / 3;
    part.acm.step_bytes = Mp3StepBytes(m, part.block_size / 4);
    part.buffer = (uint8_t*)MemAlloc(part.block_size, "mp3_acm", __LINE__);
    int opened = 0;   // the channel count the converter was opened for
    for (uint32_t run = 0; pcm && part.buffer && run < m.size;) {
        MpegFrameInfo f, g;
        if (m.size - run < 4 || ParseMpegAudioFrameHeader(m.data + run, &f, m.mpeg25) != 0) break;
        uint32_t run_end = run, samples = 0;
        while (run_end < m.size && m.size - run_end >= 4 && ParseMpegAudioFrameHeader(m.data + run_end, &g, m.mpeg25) == 0 &&
               g.channels == f.channels) {
            if (g.frame_length <= m.size - run_end) samples += g.samples;   // a cut last frame gives nothing
            run_end = g.frame_length < m.size - run_end ? run_end + g.frame_length : m.size;
        }
        int channels = 0;
        uint32_t given = 0;
        for (bool fresh = false; !channels;) {
            if (!part.acm.stream) {
                part.acm.stream = OpenRunStream(mp3, f);
                opened = f.channels;
                fresh = true;
                if (!part.acm.stream) break;
            }
            given = DecodeRun(&part, m.data + run, run_end - run, pcm + count, capacity - count);
            channels = given == samples * 2 * f.channels ? f.channels : given == samples * 2 * opened ? opened
                     : fresh ? f.channels : 0;
            if (!channels) {
                AcmApi.acmStreamClose(part.acm.stream, 0);
                part.acm.stream = nullptr;
            }
        }
        if (!channels) break;
        uint32_t got = given / (2 * channels);
        if (got > (capacity - count) / 4) got = (capacity - count) / 4;
        if (channels == 1) SpreadMono(pcm + count, got);
        count += got * 4;
        run = run_end;
    }
    if (part.acm.stream) AcmApi.acmStreamClose(part.acm.stream, 0);
    MemFree(part.buffer);
    if (!pcm || count == 0) {
        MemFree(pcm);
        return -1;
    }
    std::memset(&c->image, 0, sizeof(c->image));
    c->image.pcm = pcm;
    c->image.capacity = capacity;
    c->image.count = count;
    c->format = {WAVE_FORMAT_PCM, 2, rate, rate * 4, 4, 16, 0};
    c->block_size = c->format.nAvgBytesPerSec;
    c->method = SOUND_CONVERT_PCM_IMAGE;
    return 0;
}

// The frames that `image` (taken over) holds through the codec.
int OpenGatheredFrames(SoundConverter* c, uint8_t* image, uint32_t size, bool wave_data) {
    std::memset(&c->acm, 0, sizeof(c->acm));
    Mp3Frames m;
    if (!AcmEntryPointsPresent()) {
        MemFree(image);
        return -1;
    }
    if (!image || !GatherFrames(image, size, wave_data, &m)) return -1;
    MpegFrameInfo f;
    ParseMpegAudioFrameHeader(m.data, &f, m.mpeg25);

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
    if (!wave_data) {
        c->data_start = m.first;
        c->data_size = m.size;   // the frames alone, moved together
    }
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

}  // namespace

int OpenMp3AcmSource(SoundConverter* c) {
    uint32_t size = 0;
    uint8_t* image = ReadWholeStream(&c->source, &size);
    return OpenGatheredFrames(c, image, size, false);
}

int OpenMp3AcmData(SoundConverter* c, uint8_t* data, uint32_t size) { return OpenGatheredFrames(c, data, size, true); }
