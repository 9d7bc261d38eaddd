#include "engine/sound/riff_wave.h"

#include <cstring>

#include "engine/sound/mpeg_audio_header.h"
#include "engine/sound/sound_intake.h"
#include "engine/sound/sound_system.h"
#include "engine/sound/wave_format.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"

namespace {

const uint32_t kAcmStepBytes = 2048;

struct ChunkHeader {
    char id[4];
    uint32_t size;
};

bool IdIs(const char* id, const char* want) { return std::memcmp(id, want, 4) == 0; }

bool ReadExact(SoundConverter* c, void* dst, uint32_t bytes) {
    if (bytes == 0) return true;
    return c->source.funcs.Read(dst, bytes, 1, c->source.handle) == 1;
}

bool SeekTo(SoundConverter* c, uint64_t pos) { return c->source.funcs.Seek(c->source.handle, (int64_t)pos, 0) == 0; }

uint64_t Tell(SoundConverter* c) {
    int64_t p = c->source.funcs.Tell(c->source.handle);
    return p < 0 ? 0 : (uint64_t)p;
}

bool ReadHeader(SoundConverter* c, uint64_t length, ChunkHeader* h) {
    if (Tell(c) + 8 > length) return false;
    return ReadExact(c, h, 8);
}

// Chunk sizes come from the file: every position is computed in 64 bits and a
// chunk that reaches past the stream rejects the file, so no size can move
// the walk backwards or hold it on one header.
struct RiffWalk {
    uint64_t length;
    uint8_t* fmt;       // zero-padded to at least 18 bytes
    uint32_t fmt_size;
};

// The fixed fields of a format chunk; one shorter leaves some of them unread.
const uint32_t kFmtFixedBytes = 14;

// The stream's length, and the stream behind "RIFF", its size and "WAVE".
bool EnterRiffWave(SoundConverter* c, uint64_t* length) {
    if (c->source.funcs.Seek(c->source.handle, 0, 2) != 0) return false;
    int64_t len = c->source.funcs.Tell(c->source.handle);
    if (len < 0 || !SeekTo(c, 0)) return false;
    *length = (uint64_t)len;
    ChunkHeader h;
    char wave[4];
    // RF64 (ffmpeg -rf64) is a RIFF WAVE with a ds64 chunk before its format and a data
    // size of 0xFFFFFFFF, which the data walk runs to the stream's end.
    return ReadHeader(c, *length, &h) && (IdIs(h.id, "RIFF") || IdIs(h.id, "RF64")) && ReadExact(c, wave, 4) &&
           IdIs(wave, "WAVE");
}

// A chunk id as writers write them: four printable characters.
bool PlausibleId(const char* id) {
    for (int i = 0; i < 4; i++)
        if (id[i] < 0x20 || id[i] > 0x7E) return false;
    return id[0] != ' ';
}

// Moves to the next chunk header behind a body of `size` bytes that ends at
// `end`: past the pad byte of an odd one, as the format has it, unless the
// byte after the body starts the format or data chunk, or alone starts a
// chunk id (writers that leave the pad out: a bext chunk, say).
bool SeekPastBody(SoundConverter* c, uint64_t length, uint64_t end, uint32_t size) {
    if (!(size & 1) || end >= length) return SeekTo(c, end);
    char ids[5];
    bool unpadded = false;
    if (end + 5 <= length && SeekTo(c, end) && ReadExact(c, ids, 5)) {
        const bool wanted = IdIs(ids, "fmt ") || IdIs(ids, "data");
        unpadded = PlausibleId(ids) && (wanted || !PlausibleId(ids + 1));
    }
    return SeekTo(c, unpadded ? end : end + 1);
}

// Steps over a chunk body and its pad byte; false when the body reaches past the stream.
bool SkipBody(SoundConverter* c, uint64_t length, uint32_t size) {
    const uint64_t end = Tell(c) + size;
    return end <= length && SeekPastBody(c, length, end, size);
}

// The format chunk stands wherever writers put it: behind JUNK (room kept
// for an RF64 header), LIST, fact or bext chunks alike.
int WalkToFormat(SoundConverter* c, RiffWalk* w) {
    w->fmt = nullptr;
    w->fmt_size = 0;
    ChunkHeader h;
    if (!EnterRiffWave(c, &w->length)) return -1;
    do {
        if (!ReadHeader(c, w->length, &h)) return -1;
    } while (!IdIs(h.id, "fmt ") && SkipBody(c, w->length, h.size));
    if (!IdIs(h.id, "fmt ")) return -1;
    // Past the stream is a lie.
    const uint64_t body = Tell(c);
    if (h.size < kFmtFixedBytes || body + h.size > w->length) return -1;
    uint32_t alloc = h.size < 18 ? 18 : h.size;
    w->fmt = (uint8_t*)MemAllocZeroed(alloc, "riff_wave", __LINE__);
    if (!w->fmt) return -1;
    if (!ReadExact(c, w->fmt, h.size) || !SeekPastBody(c, w->length, body + h.size, h.size)) {
        MemFree(w->fmt);
        w->fmt = nullptr;
        return -1;
    }
    // Both readers, and so the choice between them, see an extensible record as the format it names.
    w->fmt_size = PlainWaveFormat(w->fmt, h.size);
    // G.711 is a byte a sample a channel whatever a header says of its bits or
    // its block, as ffmpeg reads it: the codec refuses any other count, and the
    // graph's parser waited out its time limit on a block of 32,195.
    WAVEFORMATEX* f = (WAVEFORMATEX*)w->fmt;
    if ((f->wFormatTag == WAVE_FORMAT_ALAW || f->wFormatTag == WAVE_FORMAT_MULAW) && f->nChannels) {
        f->wBitsPerSample = 8;
        f->nBlockAlign = f->nChannels;
    }
    return 0;
}

int WalkToData(SoundConverter* c, RiffWalk* w) {
    ChunkHeader h;
    for (;;) {
        if (!ReadHeader(c, w->length, &h)) return -1;
        if (IdIs(h.id, "data")) break;
        if (!SkipBody(c, w->length, h.size)) return -1;
    }
    uint64_t start = Tell(c);
    if (start >= w->length) return -1;
    uint64_t remain = w->length - start;
    c->data_start = (uint32_t)start;
    c->data_size = (uint64_t)h.size > remain ? (uint32_t)remain : h.size;
    return 0;
}

// Every later division by these fields must be safe. The byte rate is not
// among them: it is worked out from the rest (ImpliedByteRate).
bool FormatFieldsUsable(const WAVEFORMATEX* f) {
    return f->nChannels != 0 && f->nBlockAlign != 0 && f->nSamplesPerSec != 0;
}

bool IsAdpcm(const WAVEFORMATEX* f) {
    return f->wFormatTag == WAVE_FORMAT_ADPCM || f->wFormatTag == WAVE_FORMAT_IMA_ADPCM;
}

// Samples per block of an ADPCM format; 0 when the chunk does not hold it.
uint32_t AdpcmSamplesPerBlock(const WAVEFORMATEX* f, uint32_t fmt_size) {
    if (fmt_size < 20 || f->cbSize < 2) return 0;
    return ((const uint8_t*)f)[18] | ((const uint8_t*)f)[19] << 8;
}

// Samples per channel that the first `bytes` of an ADPCM block hold, as
// ffmpeg counts them: IMA's header holds one, then each 4 bytes per channel
// eight; MS ADPCM's header holds two, then each byte two nibbles.
uint32_t AdpcmSamplesHeld(const WAVEFORMATEX* f, uint32_t bytes) {
    const uint32_t ch = f->nChannels;
    if (f->wFormatTag == WAVE_FORMAT_IMA_ADPCM && f->wBitsPerSample == 4 && bytes >= 4 * ch)
        return 1 + (bytes - 4 * ch) / (4 * ch) * 8;
    if (f->wFormatTag == WAVE_FORMAT_ADPCM && bytes >= 7 * ch) return 2 + (bytes - 7 * ch) * 2 / ch;
    return 0;
}

// A codec that divides by its samples per block must never see 0 there.
bool AdpcmBlockUsable(const WAVEFORMATEX* f, uint32_t fmt_size) {
    return !IsAdpcm(f) || AdpcmSamplesPerBlock(f, fmt_size) != 0;
}

// Whether IMA ADPCM's samples per block are those a whole block holds: the
// platform's codec refuses any other count but writes past its output for
// some large ones (44,165 or 52,653 in 256-byte stereo blocks). The MS codec
// decodes as many of each block as it is told, as it always has.
bool ImaBlockHoldsItsSamples(const WAVEFORMATEX* f, uint32_t fmt_size) {
    return f->wFormatTag != WAVE_FORMAT_IMA_ADPCM ||
           (f->wBitsPerSample == 4 && AdpcmSamplesPerBlock(f, fmt_size) == AdpcmSamplesHeld(f, f->nBlockAlign));
}

// The byte rate the format itself implies (sample formats: rate x block;
// ADPCM: one block per samples-per-block), whatever the header's field says;
// other codecs keep the header's. 0 when it does not fit in 32 bits.
uint32_t ImpliedByteRate(const WAVEFORMATEX* f, uint32_t fmt_size) {
    uint64_t rate = f->nAvgBytesPerSec;
    switch (f->wFormatTag) {
    case WAVE_FORMAT_PCM:
    case WAVE_FORMAT_IEEE_FLOAT:
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW: rate = (uint64_t)f->nSamplesPerSec * f->nBlockAlign; break;
    case WAVE_FORMAT_ADPCM:
    case WAVE_FORMAT_IMA_ADPCM: {
        const uint32_t per_block = AdpcmSamplesPerBlock(f, fmt_size);
        rate = per_block ? (uint64_t)f->nSamplesPerSec * f->nBlockAlign / per_block : 0;
        break;
    }
    default: break;
    }
    return rate > 0xFFFFFFFFu ? 0 : (uint32_t)rate;
}

bool IsMpegInWave(const WAVEFORMATEX* f) {
    return f->wFormatTag == WAVE_FORMAT_MPEGLAYER3 || f->wFormatTag == WAVE_FORMAT_MPEG;
}

// The first stream of MPEG audio in a data chunk, as the rule for raw bytes
// finds it, and what its frames hold.
struct MpegDataFrames {
    uint32_t from, to;          // the stream's bytes in the chunk, its leading tags and tails left out
    uint64_t bytes, samples;
    uint32_t lowest, highest;   // the frames' bit rates, in bytes a second
    uint32_t rate, channels;    // of the first frame
    bool free_format;
    const uint8_t* data;
};

// Counts the frames of one chain; the last may be cut.
void CountChain(void* context, uint32_t from, uint32_t to, uint32_t) {
    MpegDataFrames* m = (MpegDataFrames*)context;
    MpegFrameInfo f;
    for (uint32_t at = from; at < to && to - at >= 4; at += f.frame_length) {
        if (ParseMpegAudioFrameHeader(m->data + at, &f, true) != 0 || f.frame_length == 0) {
            m->free_format = m->free_format || (m->data[at + 2] >> 4) == 0;
            return;
        }
        const uint32_t byte_rate = f.bit_rate * 1000 / 8;
        if (!m->samples) m->rate = f.sample_rate, m->channels = f.channels;
        m->bytes += f.frame_length < to - at ? f.frame_length : to - at;
        m->samples += f.samples;
        if (!m->lowest || byte_rate < m->lowest) m->lowest = byte_rate;
        if (byte_rate > m->highest) m->highest = byte_rate;
    }
}

// The platform's MP3 codec divides by what the header says of the stream (a
// byte rate of a few bytes over data whose frames it cannot size ends the
// process, and the filter graph's parser runs out of memory on such data),
// and decodes every frame it is handed at the rate it was opened for. So the
// data chunk is judged as raw bytes are: MPEG audio when chained frames make
// up at least half of what is not a tag (zero bytes, as a recorder that
// reserved its chunk leaves them, weigh an eighth), and then only the first
// stream, from its first frame to where another rate takes over, behind a tag
// or not. The header keeps its channels where the stream is at its rate; the
// byte rate is settled from the frames after. False when the chunk holds no
// stream a codec here takes (free format is not).
bool SettleMpegInWave(WAVEFORMATEX* src, const uint8_t* data, uint32_t size, MpegDataFrames* m) {
    *m = {};
    m->data = data;
    const SoundIntake intake = DecideSoundIntake(data, size, CountChain, m);
    if (intake.kind != SOUND_INTAKE_RAW_MPEG || !m->samples || m->free_format) return false;
    m->from = intake.start;
    m->to = intake.end;
    if (src->nSamplesPerSec != m->rate) {
        src->nSamplesPerSec = m->rate;
        src->nChannels = (WORD)m->channels;
    }
    return true;
}

// Decoded bytes of `src` compressed bytes by the codec's own count; false when it gives none.
bool AcmDecodedBytes(HACMSTREAM stream, uint32_t src, uint32_t* out) {
    DWORD n = 0;
    if (!AcmApi.acmStreamSize || AcmApi.acmStreamSize(stream, src, &n, ACM_STREAMSIZEF_SOURCE) != 0) return false;
    *out = n;
    return true;
}

// PCM of one compressed block: the codec's count, or the byte rates where it gives none.
uint64_t BlockPcmBytes(SoundConverter* c) {
    const WAVEFORMATEX* src = c->acm.src_format;
    uint32_t counted = 0;
    if (AcmDecodedBytes(c->acm.stream, src->nBlockAlign, &counted)) return counted;
    return ((uint64_t)src->nBlockAlign * c->format.nAvgBytesPerSec + src->nAvgBytesPerSec - 1) / src->nAvgBytesPerSec;
}

// PCM of one compressed block is far beyond any sound's: such a format is refused.
const uint64_t kLargestAcmBlockPcm = 16u << 20;

// A codec handed bytes that decode to more than the block holds may refuse the
// whole step (GSM 6.10 under Wine: the sound ends there) or keep what fits and
// report all of it used, and one handed less than a whole compressed block
// converts nothing: a step is whole compressed blocks whose PCM fits, at least
// one, with the output block grown to hold that one where it does not. At most
// 2048 bytes, or one block where a block is larger. False when even one block
// is out of all measure.
bool SizeRiffAcmSteps(SoundConverter* c) {
    const uint32_t align = c->acm.src_format->nBlockAlign, out_align = c->format.nBlockAlign;
    const uint64_t one = BlockPcmBytes(c);
    if (one > kLargestAcmBlockPcm) return false;
    if (one > c->block_size) c->block_size = (uint32_t)((one + out_align - 1) / out_align * out_align);
    const uint32_t block = c->block_size;
    const uint32_t most = kAcmStepBytes > align ? kAcmStepBytes / align * align : align;
    uint32_t step = most;
    uint32_t decoded = 0;
    if (!AcmDecodedBytes(c->acm.stream, most, &decoded)) {
        // Nothing to ask: a second of the source fills the one-second block,
        // as far as its byte rate tells (ADPCM's is worked out from the format).
        const uint32_t second = c->acm.src_format->nAvgBytesPerSec / align * align;
        if (second < step) step = second < align ? align : second;
    } else if (decoded > block) {
        // The codec's estimate of what fills the block is only a start: its own count decides.
        DWORD fill = 0;
        step = (uint32_t)((uint64_t)most * block / decoded);
        if (AcmApi.acmStreamSize(c->acm.stream, block, &fill, ACM_STREAMSIZEF_DESTINATION) == 0 && fill < most)
            step = fill;
        step = step / align * align;
        if (step < align) step = align;
        while (step > align && AcmDecodedBytes(c->acm.stream, step, &decoded) && decoded > block) step -= align;
    }
    c->acm.step_bytes = step;
    return true;
}

}  // namespace

RiffWaveLayout CheckRiffWaveLayout(SoundConverter* c, uint16_t* tag) {
    uint64_t length = 0;
    if (!EnterRiffWave(c, &length)) return RIFF_WAVE_NONE;
    bool fmt = false, data = false;
    ChunkHeader h;
    while (!fmt || !data) {
        if (!ReadHeader(c, length, &h)) return RIFF_WAVE_BROKEN;
        if (IdIs(h.id, "fmt ")) {
            if (h.size < kFmtFixedBytes) return RIFF_WAVE_BROKEN;
            fmt = true;
            uint8_t record[40] = {};
            const uint32_t n = h.size < sizeof(record) ? h.size : (uint32_t)sizeof(record);
            const uint64_t body = Tell(c);
            if (tag && (!ReadExact(c, record, n) || !SeekTo(c, body))) return RIFF_WAVE_BROKEN;
            if (tag) *tag = NamedWaveFormatTag(record, n);
        }
        if (IdIs(h.id, "data")) {
            // Nothing to decode: the platform's parsers wait out their time limit on some.
            if (h.size == 0) return RIFF_WAVE_BROKEN;
            data = true;
            // Streaming writers leave the size at 0xFFFFFFFF and cut files run short: like
            // WalkToData, a data chunk with a byte in the stream runs to its end.
            const uint64_t at = Tell(c);
            if (at + h.size > length) return fmt && at < length ? RIFF_WAVE_WHOLE : RIFF_WAVE_BROKEN;
        }
        if (!SkipBody(c, length, h.size)) return RIFF_WAVE_BROKEN;
    }
    return RIFF_WAVE_WHOLE;
}

bool RiffMpegHoldsNoFrames(SoundConverter* c) {
    uint16_t tag = 0;
    if (CheckRiffWaveLayout(c, &tag) != RIFF_WAVE_WHOLE || (tag != WAVE_FORMAT_MPEGLAYER3 && tag != WAVE_FORMAT_MPEG))
        return false;
    // Where the reader finds no format or no data, it takes nothing.
    RiffWalk w;
    if (WalkToFormat(c, &w) != 0) return true;
    WAVEFORMATEX fmt;
    std::memcpy(&fmt, w.fmt, sizeof(fmt));   // the record is at least 18 bytes
    MemFree(w.fmt);
    if (!IsMpegInWave(&fmt) || WalkToData(c, &w) != 0) return true;
    uint8_t* data = (uint8_t*)MemAlloc(c->data_size ? c->data_size : 1, "riff_wave", __LINE__);
    if (!data) return false;
    MpegDataFrames m;
    const bool none = ReadExact(c, data, c->data_size) && !SettleMpegInWave(&fmt, data, c->data_size, &m);
    MemFree(data);
    return none;
}

// The record the platform's parser takes for `f` as the reader sees it, in
// `out`; 0 where the file's own will do.
static uint32_t RecordForGraph(const WAVEFORMATEX* f, uint32_t fmt_size, uint8_t out[40]) {
    if (fmt_size < 16 || !f->nChannels) return 0;
    if (f->wFormatTag == WAVE_FORMAT_IEEE_FLOAT && f->nChannels > 2) return ExtensibleWaveFormat((const uint8_t*)f, out);
    if (f->wFormatTag != WAVE_FORMAT_ALAW && f->wFormatTag != WAVE_FORMAT_MULAW) return 0;
    WAVEFORMATEX g711 = *f;
    g711.nAvgBytesPerSec = ImpliedByteRate(f, fmt_size);
    g711.cbSize = 0;
    std::memcpy(out, &g711, 18);
    return 18;
}

uint8_t* WaveImageForGraph(SoundConverter* c, const uint8_t* file, uint32_t* size) {
    RiffWalk w;
    if (CheckRiffWaveLayout(c) != RIFF_WAVE_WHOLE || WalkToFormat(c, &w) != 0) return nullptr;
    uint8_t fmt[40];
    const uint32_t fmt_size = RecordForGraph((const WAVEFORMATEX*)w.fmt, w.fmt_size, fmt);
    MemFree(w.fmt);
    void* image = nullptr;
    if (!fmt_size || WalkToData(c, &w) != 0 ||
        BuildWaveFileImage(&image, size, fmt, fmt_size, file + c->data_start, c->data_size) != 0)
        return nullptr;
    return (uint8_t*)image;
}

static void CloseAcmHandles(SoundConverter* c) {
    if (c->acm.stream) AcmApi.acmStreamClose(c->acm.stream, 0);
    if (c->acm.spare) AcmApi.acmStreamClose(c->acm.spare, 0);
    c->acm.stream = nullptr;
    c->acm.spare = nullptr;
}

static HACMSTREAM OpenAcmHandle(SoundConverter* c) {
    HACMSTREAM h = nullptr;
    if (AcmApi.acmStreamOpen(&h, nullptr, c->acm.src_format, &c->format, nullptr, 0, 0,
                             ACM_STREAMOPENF_NONREALTIME) != 0)
        return nullptr;
    return h;
}

int OpenAcmStreams(SoundConverter* c) {
    c->acm.stream = OpenAcmHandle(c);
    if (c->acm.stream) c->acm.spare = OpenAcmHandle(c);
    if (c->acm.spare) return 0;
    CloseAcmHandles(c);
    return -1;
}

int AcmEntryPointsPresent() {
    return AcmApi.acmFormatSuggest && AcmApi.acmStreamOpen && AcmApi.acmStreamClose && AcmApi.acmStreamConvert &&
           AcmApi.acmStreamPrepareHeader && AcmApi.acmStreamUnprepareHeader;
}

int OpenRiffPcmSource(SoundConverter* c) {
    RiffWalk w;
    if (WalkToFormat(c, &w) != 0) return -1;
    const WAVEFORMATEX* f = (const WAVEFORMATEX*)w.fmt;
    if (f->wFormatTag != WAVE_FORMAT_PCM || !FormatFieldsUsable(f)) {
        MemFree(w.fmt);
        return -1;
    }
    std::memset(&c->format, 0, sizeof(c->format));
    std::memcpy(&c->format, w.fmt, w.fmt_size < 18 ? w.fmt_size : 18);
    if (w.fmt_size == 16) {
        c->format.cbSize = 0;
        c->format.wBitsPerSample = (WORD)(c->format.nBlockAlign / c->format.nChannels * 8);
    }
    MemFree(w.fmt);
    if (WalkToData(c, &w) != 0) return -1;
    c->format.nAvgBytesPerSec = ImpliedByteRate(&c->format, 18);
    c->block_size = c->format.nAvgBytesPerSec;
    c->method = SOUND_CONVERT_RIFF_PCM;
    return 0;
}

int OpenRiffAcmSource(SoundConverter* c) {
    std::memset(&c->acm, 0, sizeof(c->acm));
    if (!AcmEntryPointsPresent()) return -1;
    RiffWalk w;
    if (WalkToFormat(c, &w) != 0) return -1;
    WAVEFORMATEX* src = (WAVEFORMATEX*)w.fmt;
    c->acm.src_format = src;
    MpegDataFrames mpeg = {};
    if (src->wFormatTag == WAVE_FORMAT_PCM && w.fmt_size == 16 && src->nChannels) {
        src->wBitsPerSample = (WORD)(src->nBlockAlign / src->nChannels * 8);
        src->cbSize = 0;
    }
    // ACM reads cbSize extra bytes behind the record: never more than the chunk holds.
    uint32_t extra = w.fmt_size > 18 ? w.fmt_size - 18 : 0;
    if (src->cbSize > extra) src->cbSize = (WORD)extra;

    if (!FormatFieldsUsable(src) || WalkToData(c, &w) != 0) goto reject;
    if (c->data_size == 0) {
        LogAppend("ＷＡＶＥファイルのdataチャンクが空です\n");
        goto reject;
    }
    // Formats that crash the platform's codecs are refused before ACM sees them.
    if (!AdpcmBlockUsable(src, w.fmt_size)) {
        LogAppend("ADPCMの１ブロック当たりのサンプル数が０です\n");
        goto reject;
    }
    if (!ImaBlockHoldsItsSamples(src, w.fmt_size)) {
        LogAppend("ADPCMの１ブロック当たりのサンプル数がブロックの大きさと合いません\n");
        goto reject;
    }
    c->acm.data = (uint8_t*)MemAlloc(c->data_size ? c->data_size : 1, "riff_wave", __LINE__);
    if (!c->acm.data) goto reject;
    c->acm.data_size = c->data_size;
    if (!ReadExact(c, c->acm.data, c->data_size) || !SeekTo(c, c->data_start)) goto reject;
    c->acm.src_pos = 0;
    if (IsMpegInWave(src)) {
        if (!SettleMpegInWave(src, c->acm.data, c->acm.data_size, &mpeg)) {
            LogAppend("ＷＡＶＥ内のＭＰＥＧオーディオのフレームが見つかりません\n");
            goto reject;
        }
        std::memmove(c->acm.data, c->acm.data + mpeg.from, mpeg.to - mpeg.from);
        c->acm.data_size = mpeg.to - mpeg.from;
    }

    // Codecs check the byte rate against the rest of the format, and count
    // their output by it: MPEG audio's comes from its frames where the header
    // gives one they do not have (VBR writers leave 0).
    src->nAvgBytesPerSec = ImpliedByteRate(src, w.fmt_size);
    if (mpeg.samples && (src->nAvgBytesPerSec < mpeg.lowest || src->nAvgBytesPerSec > mpeg.highest))
        src->nAvgBytesPerSec = (uint32_t)(mpeg.bytes * src->nSamplesPerSec / mpeg.samples);
    if (src->nAvgBytesPerSec == 0) goto reject;
    if (src->wFormatTag == WAVE_FORMAT_PCM && CheckPcmFormat(src) != 0) goto reject;
    std::memset(&c->format, 0, sizeof(c->format));
    c->format.wFormatTag = WAVE_FORMAT_PCM;
    if (AcmApi.acmFormatSuggest(nullptr, src, &c->format, sizeof(WAVEFORMATEX), ACM_FORMATSUGGESTF_WFORMATTAG) != 0)
        goto reject;
    if (c->format.wFormatTag != WAVE_FORMAT_PCM || !FormatFieldsUsable(&c->format)) goto reject;

    if (OpenAcmStreams(c) != 0) goto reject;

    c->block_size = c->format.nAvgBytesPerSec;
    if (!SizeRiffAcmSteps(c)) goto reject;
    // MPEG audio is as long as its frames: the codec counts in whole 1152-sample blocks of the average rate.
    c->acm.total_samples = mpeg.samples && mpeg.samples * c->format.nBlockAlign <= 0x7FFFFFFF ? (int32_t)mpeg.samples : -1;
    c->method = SOUND_CONVERT_ACM;
    return 0;

reject:
    CloseAcmHandles(c);
    MemFree(c->acm.src_format);
    MemFree(c->acm.data);
    std::memset(&c->acm, 0, sizeof(c->acm));
    return -1;
}

int ReadPcmBlock(SoundConverter* c) {
    uint64_t pos = Tell(c);
    if (pos < c->data_start || pos - c->data_start >= c->data_size) return -1;
    uint32_t done = (uint32_t)(pos - c->data_start);
    uint32_t n = c->data_size - done;
    if (n > c->block_size) n = c->block_size;
    if (!ReadExact(c, c->buffer, n)) return -1;
    c->bytes_left = (int32_t)n;
    return 0;
}

int SeekPcmSource(SoundConverter* c, int32_t sample) {
    uint64_t offset = (uint64_t)(sample < 0 ? 0 : (uint32_t)sample) * c->format.nBlockAlign;
    // A target past the data stops at its end, so that the next block reports the end.
    uint64_t target = (uint64_t)c->data_start + (offset > c->data_size ? c->data_size : offset);
    SeekTo(c, target);
    c->output_pos = (uint32_t)offset;
    c->bytes_left = 0;
    c->buffer_offset = 0;
    return 0;
}

// One conversion of `bytes` at `src` into the block; false when the codec refuses it.
static bool ConvertAcmBytes(SoundConverter* c, uint8_t* src, uint32_t bytes, uint32_t* used, uint32_t* made) {
    ACMSTREAMHEADER hdr;
    std::memset(&hdr, 0, sizeof(hdr));
    hdr.cbStruct = sizeof(hdr);
    hdr.pbSrc = src;
    hdr.cbSrcLength = bytes;
    hdr.pbDst = c->buffer;
    hdr.cbDstLength = c->block_size;
    if (AcmApi.acmStreamPrepareHeader(c->acm.stream, &hdr, 0) != 0) return false;
    if (AcmApi.acmStreamConvert(c->acm.stream, &hdr, ACM_STREAMCONVERTF_BLOCKALIGN) != 0) {
        hdr.cbSrcLengthUsed = 0;
        hdr.cbDstLengthUsed = 0;
    }
    AcmApi.acmStreamUnprepareHeader(c->acm.stream, &hdr, 0);
    *used = hdr.cbSrcLengthUsed > bytes ? bytes : hdr.cbSrcLengthUsed;
    *made = hdr.cbDstLengthUsed > c->block_size ? c->block_size : hdr.cbDstLengthUsed;
    return true;
}

// The ADPCM codecs convert whole blocks alone (a short one gives nothing, or
// an error), and decode a block's samples from its bytes up to them: a cut
// last block is handed over padded with zeros, and only the samples its
// bytes hold are kept.
static int ConvertCutAdpcmBlock(SoundConverter* c) {
    SoundConverterAcm* a = &c->acm;
    const uint32_t held = a->data_size - a->src_pos, align = a->src_format->nBlockAlign;
    const uint32_t keep = AdpcmSamplesHeld(a->src_format, held) * c->format.nBlockAlign;
    uint8_t* block = keep ? (uint8_t*)MemAllocZeroed(align, "riff_wave", __LINE__) : nullptr;
    uint32_t used = 0, made = 0;
    if (block) {
        std::memcpy(block, a->data + a->src_pos, held);
        if (!ConvertAcmBytes(c, block, align, &used, &made)) made = 0;
        MemFree(block);
    }
    a->src_pos = a->data_size;
    c->bytes_left = (int32_t)(made < keep ? made : keep);
    return c->bytes_left ? 0 : -1;
}

int ConvertAcmBlock(SoundConverter* c) {
    SoundConverterAcm* a = &c->acm;
    if (!a->stream || a->src_pos >= a->data_size) {
        a->src_pos = a->data_size;
        return -1;
    }
    // A codec may take input and give nothing yet (it is filling a frame): keep
    // feeding it; only a step that takes nothing, or the end of input, ends the sound.
    for (;;) {
        const uint32_t remain = a->data_size - a->src_pos;
        // MP3's runs come without a format record.
        const WAVEFORMATEX* src = a->src_format;
        if (src && IsAdpcm(src) && remain < src->nBlockAlign) return ConvertCutAdpcmBlock(c);
        const uint32_t step = a->step_bytes ? a->step_bytes : kAcmStepBytes;
        uint32_t used = 0, made = 0;
        if (!ConvertAcmBytes(c, a->data + a->src_pos, remain < step ? remain : step, &used, &made)) return -1;
        a->src_pos += used;
        c->bytes_left = (int32_t)made;
        if (made != 0) return 0;
        if (used == 0 || a->src_pos >= a->data_size) {
            c->bytes_left = 0;
            a->src_pos = a->data_size;
            return -1;
        }
    }
}

int SeekAcmSource(SoundConverter* c, int32_t sample) {
    SoundConverterAcm* a = &c->acm;
    uint32_t target = (uint32_t)(sample < 0 ? 0 : sample) * c->format.nBlockAlign;
    if (c->output_pos <= target && target <= c->output_pos + (uint32_t)c->bytes_left) {
        uint32_t d = target - c->output_pos;
        c->buffer_offset += d;
        c->bytes_left -= (int32_t)d;
        c->output_pos = target;
        return 0;
    }
    if (target < c->output_pos) {
        // The spare has converted nothing: it starts over from the first byte.
        HACMSTREAM fresh = a->spare ? a->spare : OpenAcmHandle(c);
        a->spare = nullptr;
        if (a->stream) AcmApi.acmStreamClose(a->stream, 0);
        a->stream = fresh;
        a->spare = OpenAcmHandle(c);  // null when it cannot be reopened, never stale
        a->src_pos = 0;
        c->output_pos = 0;
        c->bytes_left = 0;
        c->buffer_offset = 0;
        if (!a->stream) {
            a->src_pos = a->data_size;
            return 0;
        }
    }
    while (c->output_pos + (uint32_t)c->bytes_left < target) {
        c->output_pos += (uint32_t)c->bytes_left;
        c->bytes_left = 0;
        c->buffer_offset = 0;
        if (ConvertAcmBlock(c) != 0) {
            c->bytes_left = 0;
            return 0;
        }
    }
    uint32_t d = target - c->output_pos;
    c->bytes_left -= (int32_t)d;
    c->buffer_offset += d;
    c->output_pos = target;
    return 0;
}

uint32_t GetAcmPcmSize(SoundConverter* c) {
    if (c->acm.total_samples != -1) return (uint32_t)c->format.nBlockAlign * (uint32_t)c->acm.total_samples;
    // The codec counts a cut last ADPCM block whole: whole blocks are its count, the cut one its samples.
    const WAVEFORMATEX* src = c->acm.src_format;
    const uint32_t cut = src && IsAdpcm(src) ? c->acm.data_size % src->nBlockAlign : 0;
    DWORD out = 0;
    if (!c->acm.stream || !AcmApi.acmStreamSize ||
        AcmApi.acmStreamSize(c->acm.stream, c->acm.data_size - cut, &out, ACM_STREAMSIZEF_SOURCE) != 0) {
        if (c->acm.data_size > cut) return 0;
        out = 0;
    }
    return out + (cut ? AdpcmSamplesHeld(src, cut) * c->format.nBlockAlign : 0);
}

int CloseAcmStream(SoundConverter* c) {
    MemFree(c->acm.src_format);
    c->acm.src_format = nullptr;
    CloseAcmHandles(c);
    MemFree(c->acm.data);
    c->acm.data = nullptr;
    c->acm.data_size = 0;
    return 0;
}
