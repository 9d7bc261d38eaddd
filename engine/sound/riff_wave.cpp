#include "engine/sound/riff_wave.h"

#include <cstring>

#include "engine/sound/mp3_acm.h"
#include "engine/sound/sound_system.h"
#include "engine/sound/wave_format.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"

namespace {

const uint32_t kAcmStepBytes = 2048;

enum RiffWaveLayout { RIFF_WAVE_NONE, RIFF_WAVE_WHOLE, RIFF_WAVE_BROKEN };

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

// The fixed fields of a format chunk; one shorter leaves some of them unread.
const uint32_t kFmtFixedBytes = 14;

uint32_t Le32(const uint8_t* b) { return b[0] | b[1] << 8 | b[2] << 16 | (uint32_t)b[3] << 24; }

// The stream's length, and the stream behind "RIFF", its size and "WAVE".
// RF64 (ffmpeg -rf64, broadcast recorders) is a RIFF WAVE whose sizes that
// overflow 32 bits stand in a ds64 chunk before its format.
bool EnterRiffWave(SoundConverter* c, uint64_t* length, bool* rf64) {
    if (c->source.funcs.Seek(c->source.handle, 0, 2) != 0) return false;
    int64_t len = c->source.funcs.Tell(c->source.handle);
    if (len < 0 || !SeekTo(c, 0)) return false;
    *length = (uint64_t)len;
    ChunkHeader h;
    char wave[4];
    if (!ReadHeader(c, *length, &h) || !(IdIs(h.id, "RIFF") || IdIs(h.id, "RF64")) || !ReadExact(c, wave, 4))
        return false;
    *rf64 = IdIs(h.id, "RF64");
    return IdIs(wave, "WAVE");
}

// A chunk id as writers write them: four printable characters.
bool PlausibleId(const char* id) {
    for (int i = 0; i < 4; i++)
        if (id[i] < 0x20 || id[i] > 0x7E) return false;
    return id[0] != ' ';
}

// A header at `at` that could begin a chunk: a plausible id, and a body that
// lies in the stream (a data chunk's may run past it, as cut files' do).
// `named` tells whether it is the format or the data chunk.
bool ChunkHeaderAt(SoundConverter* c, uint64_t length, uint64_t at, bool* named = nullptr) {
    ChunkHeader h;
    if (at + 8 > length || !SeekTo(c, at) || !ReadExact(c, &h, 8) || !PlausibleId(h.id)) return false;
    const bool wanted = IdIs(h.id, "fmt ") || IdIs(h.id, "data");
    if (named) *named = wanted;
    return IdIs(h.id, "data") || at + 8 + h.size <= length;
}

// Where the next chunk header stands behind a body that ends at `end`: past
// the pad byte of an odd one, as the format has it, unless the bytes show a
// writer that left it out (a bext chunk, a 17-byte format): the header at
// `end` is the format or data chunk, or is a chunk that fits where the one a
// byte on is not. A pad byte of 0 is always one.
uint64_t NextChunkAt(SoundConverter* c, uint64_t length, uint64_t end, uint64_t size) {
    if (!(size & 1) || end >= length) return end;
    char ids[5];
    if (end + 5 > length || !SeekTo(c, end) || !ReadExact(c, ids, 5) || !PlausibleId(ids)) return end + 1;
    bool named_here = false, named_on = false;
    const bool here = ChunkHeaderAt(c, length, end, &named_here), on = ChunkHeaderAt(c, length, end + 1, &named_on);
    if (named_here || named_on) return named_here ? end : end + 1;
    if (here != on) return here ? end : end + 1;
    return PlausibleId(ids + 1) ? end + 1 : end;
}

// Whether chunks, not sound, stand at the data's start: a data size of 0
// (Pro Tools writes one, with its chunks right behind) then means the chunk
// is empty. Two headers that chain, or one that reaches the stream's end.
bool ChunksStandAt(SoundConverter* c, uint64_t length, uint64_t at) {
    ChunkHeader h;
    for (int i = 0; i < 2; i++) {
        if (!ChunkHeaderAt(c, length, at) || !SeekTo(c, at) || !ReadExact(c, &h, 8)) return false;
        if (IdIs(h.id, "data")) return true;
        at = NextChunkAt(c, length, at + 8 + h.size, h.size);
        if (at + 8 > length) return true;
    }
    return true;
}

// A RIFF WAVE's chunks as every consumer reads them: the readers, the graph's
// pre-checks and the image the graph is handed. Chunk sizes come from the
// file: every position is computed in 64 bits and a chunk before the data
// that reaches past the stream breaks the file, so no size can move the walk
// backwards or hold it on one header.
struct RiffWalk {
    uint64_t length;
    uint64_t fmt_at;
    uint32_t fmt_size;
    uint32_t data_at, data_size;
    uint8_t* fmt;       // the record as the readers see it, zero-padded to at least 18 bytes
    uint32_t record_size;
    const char* broken;   // why the layout is broken, for the log
};

// The first "fmt " and the first "data" behind it, or else the first before
// it (ffmpeg reads a data chunk before the format too, and the last of two). A data size of 0 or 0xFFFFFFFF (writers
// that cannot seek back to fill it in), or one past the stream (a cut file),
// runs to the stream's end, unless chunks stand at its start: then the chunk
// is empty. RF64's data size is ds64's. A WAV with nothing to decode is broken.
RiffWaveLayout WalkChunks(SoundConverter* c, RiffWalk* w) {
    *w = {};
    bool rf64 = false;
    if (!EnterRiffWave(c, &w->length, &rf64)) return RIFF_WAVE_NONE;
    const uint64_t length = w->length;
    // A data chunk before the format stands only until one follows it.
    bool fmt = false, data = false, data_first = false;
    uint64_t ds64_data = UINT64_MAX;
    for (uint64_t at = 12; !fmt || !data || data_first;) {
        ChunkHeader h;
        if (at + 8 > length || !SeekTo(c, at) || !ReadExact(c, &h, 8)) {
            if (fmt && data) break;
            w->broken = fmt ? "ＷＡＶＥファイルにdataチャンクがありません" : "ＷＡＶＥファイルにfmtチャンクがありません";
            return RIFF_WAVE_BROKEN;
        }
        const uint64_t body = at + 8;
        uint64_t size = h.size;
        uint8_t ds64[16];
        if (rf64 && !data && IdIs(h.id, "ds64") && h.size >= 16 && body + 16 <= length && ReadExact(c, ds64, 16))
            ds64_data = Le32(ds64 + 8) | (uint64_t)Le32(ds64 + 12) << 32;
        if (IdIs(h.id, "fmt ") && !fmt) {
            if (h.size < kFmtFixedBytes || body + h.size > length) {
                w->broken = "ＷＡＶＥファイルのfmtチャンクが壊れています";
                return RIFF_WAVE_BROKEN;
            }
            fmt = true;
            w->fmt_at = body;
            w->fmt_size = h.size;
        } else if (IdIs(h.id, "data") && (!data || fmt)) {
            data = true;
            data_first = !fmt;
            if (body >= 0xFFFFFFFFu) return RIFF_WAVE_BROKEN;   // beyond what a converter addresses
            w->data_at = (uint32_t)body;
            if (rf64 && h.size == 0xFFFFFFFFu && ds64_data != UINT64_MAX) size = ds64_data;
            if (size == 0 || size == 0xFFFFFFFFu || body + size > length) {
                // Nothing after the data can be told from it: the walk ends here.
                w->broken = !fmt ? "ＷＡＶＥファイルのfmtチャンクがdataチャンクの後ろに見つかりません"
                          : body >= length || ChunksStandAt(c, length, body) ? "ＷＡＶＥファイルのdataチャンクが空です"
                                                                              : nullptr;
                if (w->broken) return RIFF_WAVE_BROKEN;
                const uint64_t rest = length - body;
                w->data_size = rest > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)rest;
                break;
            }
            w->data_size = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)size;
        }
        if (body + size > length) {
            if (fmt && data) break;
            w->broken = "ＷＡＶＥファイルのチャンクがファイルの終わりを越えています";
            return RIFF_WAVE_BROKEN;
        }
        at = NextChunkAt(c, length, body + size, size);
    }
    return RIFF_WAVE_WHOLE;
}

// Holds a record's cbSize (at least 18 bytes in memory) to the extra bytes its
// `size` holds: ACM and the platform's parser read that many behind it.
// Returns the bytes that make the record up, 16 for one shorter than 18.
uint32_t HoldExtraBytes(uint8_t* record, uint32_t size) {
    WAVEFORMATEX* f = (WAVEFORMATEX*)record;
    const uint32_t held = size > 18 ? size - 18 : 0;
    if (f->cbSize > held) f->cbSize = (WORD)held;
    return size < 18 ? 16 : 18 + f->cbSize;
}

// The format record as both readers see it: an extensible record as the
// format it names, G.711 as a byte a sample a channel whatever a header says
// of its bits or block (as ffmpeg reads it: the codec refuses any other
// count, and the graph's parser waited out its time limit on a block of
// 32,195), and a 16-byte PCM record's bits as its block tells them.
int ReadFormat(SoundConverter* c, RiffWalk* w) {
    const uint32_t alloc = w->fmt_size < 18 ? 18 : w->fmt_size;
    w->fmt = (uint8_t*)MemAllocZeroed(alloc, "riff_wave", __LINE__);
    if (!w->fmt) return -1;
    if (!SeekTo(c, w->fmt_at) || !ReadExact(c, w->fmt, w->fmt_size)) {
        MemFree(w->fmt);
        w->fmt = nullptr;
        return -1;
    }
    w->record_size = PlainWaveFormat(w->fmt, w->fmt_size);
    WAVEFORMATEX* f = (WAVEFORMATEX*)w->fmt;
    if ((f->wFormatTag == WAVE_FORMAT_ALAW || f->wFormatTag == WAVE_FORMAT_MULAW) && f->nChannels) {
        f->wBitsPerSample = 8;
        f->nBlockAlign = f->nChannels;
    }
    if (f->wFormatTag == WAVE_FORMAT_PCM && w->record_size == 16 && f->nChannels) {
        f->wBitsPerSample = (WORD)(f->nBlockAlign / f->nChannels * 8);
        f->cbSize = 0;
    }
    return 0;
}

int WalkToFormat(SoundConverter* c, RiffWalk* w) {
    if (WalkChunks(c, w) != RIFF_WAVE_WHOLE) return -1;
    return ReadFormat(c, w);
}

// The data as the walk found it, the stream left at its start.
int WalkToData(SoundConverter* c, RiffWalk* w) {
    c->data_start = w->data_at;
    c->data_size = w->data_size;
    return SeekTo(c, w->data_at) ? 0 : -1;
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

// The record the platform's parser is handed for the file's `fmt` as the
// readers see it, `seen`, in `out` (at least 40 bytes): the readers' own,
// but for an extensible record of the file, which goes as the file has it
// (its channel mask), G.711, always as the plain record, and plain float of
// three channels or more, which the parser renders only under the extensible
// record that names it (it failed on the plain one, now and then only at its
// time limit).
static uint32_t RecordForGraph(const uint8_t* fmt, uint32_t fmt_size, const RiffWalk& seen, uint8_t* out) {
    const WAVEFORMATEX* f = (const WAVEFORMATEX*)seen.fmt;
    const bool extensible = (fmt[0] | fmt[1] << 8) != f->wFormatTag;
    if (!extensible && f->wFormatTag == WAVE_FORMAT_IEEE_FLOAT && f->nChannels > 2) return ExtensibleWaveFormat(seen.fmt, out);
    // G.711 goes as the plain record the readers see, whatever the file's: the
    // parser waited out its limit on some blocks.
    if (f->wFormatTag == WAVE_FORMAT_ALAW || f->wFormatTag == WAVE_FORMAT_MULAW) {
        WAVEFORMATEX g711 = *f;
        g711.nAvgBytesPerSec = ImpliedByteRate(f, seen.record_size);
        g711.cbSize = 0;
        std::memcpy(out, &g711, 18);
        return 18;
    }
    const uint32_t size = extensible ? fmt_size : seen.record_size;
    std::memcpy(out, extensible ? fmt : seen.fmt, size < 18 ? 18 : size);
    return HoldExtraBytes(out, size);
}

WaveForGraph PrepareWaveForGraph(SoundConverter* c, const uint8_t* file, uint32_t file_size) {
    WaveForGraph out = {WAVE_GRAPH_NOT_WAVE, nullptr, 0, 0};
    RiffWalk w;
    const RiffWaveLayout layout = WalkChunks(c, &w);
    if (layout == RIFF_WAVE_NONE) return out;
    out.kind = WAVE_GRAPH_REFUSED;
    if (layout != RIFF_WAVE_WHOLE || w.length != file_size || (uint64_t)w.data_at + w.data_size > file_size ||
        ReadFormat(c, &w) != 0)
        return out;
    const uint8_t* data = file + w.data_at;
    if (IsMpegInWave((const WAVEFORMATEX*)w.fmt)) {
        // Decoded as the same bytes are raw: the codec's and the graph's MPEG audio are the frames alone.
        out.kind = WAVE_GRAPH_MPEG_DATA;
        out.data_at = w.data_at;
        out.size = w.data_size;
    } else {
        uint8_t* record = (uint8_t*)MemAlloc(w.fmt_size < 40 ? 40 : w.fmt_size, "riff_wave", __LINE__);
        void* image = nullptr;
        if (record && BuildWaveFileImage(&image, &out.size, record,
                                         RecordForGraph(file + w.fmt_at, w.fmt_size, w, record), data, w.data_size) == 0) {
            out.kind = WAVE_GRAPH_IMAGE;
            out.image = (uint8_t*)image;
        }
        MemFree(record);
    }
    MemFree(w.fmt);
    return out;
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
    std::memcpy(&c->format, w.fmt, w.record_size < 18 ? w.record_size : 18);
    MemFree(w.fmt);
    if (WalkToData(c, &w) != 0) return -1;
    c->format.nAvgBytesPerSec = ImpliedByteRate(&c->format, 18);
    c->block_size = c->format.nAvgBytesPerSec;
    c->method = SOUND_CONVERT_RIFF_PCM;
    return 0;
}

// MPEG audio in a WAV is decoded as the same bytes are raw (mp3_acm.h): no
// field of the header reaches the codec, whose record comes from the frames.
static int OpenRiffMpegSource(SoundConverter* c) {
    uint8_t* data = (uint8_t*)MemAlloc(c->data_size, "riff_wave", __LINE__);
    if (!data || !ReadExact(c, data, c->data_size)) {
        MemFree(data);
        return -1;
    }
    if (OpenMp3AcmData(c, data, c->data_size) == 0) return 0;
    return LogAppend("ＷＡＶＥ内のＭＰＥＧオーディオのフレームが見つかりません\n");
}

int OpenRiffAcmSource(SoundConverter* c) {
    std::memset(&c->acm, 0, sizeof(c->acm));
    if (!AcmEntryPointsPresent()) return -1;
    RiffWalk w;
    if (WalkChunks(c, &w) != RIFF_WAVE_WHOLE) {
        if (w.broken) LogAppendFormat("%s\n", w.broken);
        return -1;
    }
    if (ReadFormat(c, &w) != 0) return -1;
    WAVEFORMATEX* src = (WAVEFORMATEX*)w.fmt;
    c->acm.src_format = src;
    HoldExtraBytes(w.fmt, w.record_size);

    if (WalkToData(c, &w) != 0) goto reject;
    if (IsMpegInWave(src)) {
        MemFree(src);
        c->acm.src_format = nullptr;
        return OpenRiffMpegSource(c);
    }
    if (!FormatFieldsUsable(src)) goto reject;
    // Formats that crash the platform's codecs are refused before ACM sees them.
    if (!AdpcmBlockUsable(src, w.record_size)) {
        LogAppend("ADPCMの１ブロック当たりのサンプル数が０です\n");
        goto reject;
    }
    if (!ImaBlockHoldsItsSamples(src, w.record_size)) {
        LogAppend("ADPCMの１ブロック当たりのサンプル数がブロックの大きさと合いません\n");
        goto reject;
    }
    c->acm.data = (uint8_t*)MemAlloc(c->data_size, "riff_wave", __LINE__);
    if (!c->acm.data) goto reject;
    c->acm.data_size = c->data_size;
    if (!ReadExact(c, c->acm.data, c->data_size) || !SeekTo(c, c->data_start)) goto reject;
    c->acm.src_pos = 0;

    // Codecs check the byte rate against the rest of the format, and count their output by it.
    src->nAvgBytesPerSec = ImpliedByteRate(src, w.record_size);
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
    c->acm.total_samples = -1;
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
