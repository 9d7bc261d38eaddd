// WAVs of every format the compression manager decodes, their headers and
// data mutated (chunks put before the format, a tag before the data and zero
// bytes after it, the data before the format, data sizes of 0, 0xFFFFFFFF
// and past the end, RF64 and chunks behind the data among them), each loaded as a normal and as a stream sound: a field the
// platform's codec divides by or allocates from kills the process (under
// Wine, an integer divide by zero in the codec ends it at once), so every case
// is printed before it loads and a death leaves its case as the last line and
// a non-zero exit code. Cases are numbered: --from N repeats one. Not a test:
// it reports the deaths (none expected), the loads refused and the time.
//   bench_acm_wav_mutate_stress [--from N] [--count N] [--seed S] [--acm] [--sweep | --as-is] [--quiet]
//                               [--each] [--save FILE] [FILE...]
// FILEs default to the ACM WAVs the build makes for the sound tests (run from
// build/wine). --acm disables the media filters, which would also be offered
// what the compression manager refuses. --sweep sets one field of the format
// record at a time to each edge value instead, every file in turn (--count
// 4032 covers the default files); --as-is loads the files as they are; --each
// prints every case's samples, for comparing two builds. Where a death ends the run, the next run
// goes on with --from the case after it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "bench/sound_session.h"
#include "engine/graphics/draw_settings.h"
#include "engine/sound/mpeg_audio_header.h"
#include "engine/sound/sound.h"
#include "engine/sound/sound_convert.h"
#include "engine/system/library.h"
#include "engine/system/log.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char* const kDefaultFiles[] = {
    "acmwav_mp3_vbr44s.wav", "acmwav_mp3_vbr22m.wav", "acmwav_mp3_vbr16m.wav", "acmwav_mp3_cbr16m8k.wav",
    "acmwav_mp3_cbr44s.wav", "acmwav_mp3_vbr48s.wav", "acmwav_ima256_44s.wav", "acmwav_ms256_44s.wav",
    "acmwav_ima2048_44s.wav", "acmwav_ms2048_44s.wav", "acmwav_gsm_8m.wav", "acmwav_alaw_22m.wav",
    "acmwav_mulaw_22m.wav", "gsm_2s.wav", "ima_2s.wav", "msadpcm_2s.wav",
};

// One case's own random numbers, the same whatever cases run before it.
struct Rng {
    uint64_t s;
    Rng(uint64_t seed, long n) : s(seed * 0x9E3779B97F4A7C15ull ^ ((uint64_t)n + 1) * 0xBF58476D1CE4E5B9ull) { Next(); }
    uint32_t Next() {
        s ^= s << 13, s ^= s >> 7, s ^= s << 17;
        return (uint32_t)(s >> 16);
    }
    uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
    template <size_t N> uint32_t Of(const uint32_t (&v)[N]) { return v[Below(N)]; }
};

struct Wav {
    Bytes fmt, data, before, after;   // before: chunks between "WAVE" and "fmt "; after: between "fmt " and "data"
    Bytes tail;                       // chunks behind the data
    bool data_first = false;          // the data chunk before the format
    int64_t data_claim = -1;          // the data size written, where it is not the data's
    bool rf64 = false;                // RF64, its data size in ds64
    uint64_t ds64_data = 0;
};

uint32_t Get32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }

bool Split(const Bytes& f, Wav* w) {
    if (f.size() < 12 || std::memcmp(f.data(), "RIFF", 4) || std::memcmp(&f[8], "WAVE", 4)) return false;
    bool fmt = false;
    for (size_t at = 12; at + 8 <= f.size();) {
        const uint32_t size = Get32(&f[at + 4]);
        const size_t body = at + 8, end = body + size > f.size() ? f.size() : body + size;
        if (!std::memcmp(&f[at], "data", 4)) {
            w->data.assign(f.begin() + body, f.begin() + end);
            return fmt;
        }
        if (!std::memcmp(&f[at], "fmt ", 4)) w->fmt.assign(f.begin() + body, f.begin() + end), fmt = true;
        else (fmt ? w->after : w->before).insert((fmt ? w->after : w->before).end(), f.begin() + at, f.begin() + end + (size & 1));
        at = end + (size & 1);
    }
    return false;
}

void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; i++) b.push_back((uint8_t)(v >> (8 * i)));
}

Bytes Join(const Wav& w) {
    Bytes b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    if (w.rf64) {
        std::memcpy(b.data(), "RF64", 4);
        b.insert(b.end(), {'d', 's', '6', '4', 28, 0, 0, 0});
        for (int i = 0; i < 8; i++) b.push_back(0);
        for (int i = 0; i < 8; i++) b.push_back((uint8_t)(w.ds64_data >> (8 * i)));
        for (int i = 0; i < 12; i++) b.push_back(0);
    }
    Bytes data = {'d', 'a', 't', 'a'};
    Put32(data, w.rf64 ? 0xFFFFFFFFu : w.data_claim >= 0 ? (uint32_t)w.data_claim : (uint32_t)w.data.size());
    data.insert(data.end(), w.data.begin(), w.data.end());
    if ((w.data.size() & 1) && !w.tail.empty()) data.push_back(0);
    if (w.data_first) b.insert(b.end(), data.begin(), data.end());
    b.insert(b.end(), w.before.begin(), w.before.end());
    b.insert(b.end(), {'f', 'm', 't', ' '});
    Put32(b, (uint32_t)w.fmt.size());
    b.insert(b.end(), w.fmt.begin(), w.fmt.end());
    if (w.fmt.size() & 1) b.push_back(0);
    b.insert(b.end(), w.after.begin(), w.after.end());
    if (!w.data_first) b.insert(b.end(), data.begin(), data.end());
    b.insert(b.end(), w.tail.begin(), w.tail.end());
    const uint32_t riff = w.rf64 ? 0xFFFFFFFFu : (uint32_t)b.size() - 8;
    for (int i = 0; i < 4; i++) b[4 + i] = (uint8_t)(riff >> (8 * i));
    return b;
}

// A chunk of `n` random bytes, its pad byte written or left out.
void PutChunk(Bytes& to, const char* id, uint32_t n, bool pad, Rng& r) {
    to.insert(to.end(), id, id + 4);
    Put32(to, n);
    for (uint32_t i = 0; i < n; i++) to.push_back((uint8_t)r.Next());
    if ((n & 1) && pad) to.push_back(0);
}

void Set(Bytes& fmt, size_t at, uint32_t v, int bytes) {
    if (fmt.size() < at + bytes) fmt.resize(at + bytes);
    for (int i = 0; i < bytes; i++) fmt[at + i] = (uint8_t)(v >> (8 * i));
}

// Where MPEG audio frames start in the data, walked by their lengths from the first.
std::vector<size_t> FrameStarts(const Bytes& d) {
    std::vector<size_t> at;
    MpegFrameInfo f;
    for (size_t p = 0; p + 4 <= d.size();) {
        if (ParseMpegAudioFrameHeader(&d[p], &f, true) != 0 || !f.frame_length) {
            if (!at.empty()) break;
            p++;
            continue;
        }
        at.push_back(p);
        p += f.frame_length;
    }
    return at;
}

const uint32_t kTags[] = {1, 2, 6, 7, 0x11, 0x31, 0x50, 0x55};
const uint32_t kRates[] = {0, 1, 2, 1000, 7999, 8000, 11025, 16000, 22050, 24000, 32000, 44100, 48000, 96000,
                           0x7FFFFFFF, 0xFFFFFFFF};
const uint32_t kSmall[] = {0, 1, 2, 3, 4, 7, 8, 9, 16, 255, 256, 0x7FFF, 0x8000, 0xFFFF};

// One mutation; what it did goes into `what`.
void Mutate(Wav& w, Rng& r, std::string& what) {
    char note[96];
    Bytes& f = w.fmt;
    const uint32_t word = r.Below(3) ? r.Of(kSmall) : r.Below(0x10000);
    switch (r.Below(19)) {
    case 0: {
        const uint32_t v = r.Below(17);
        Set(f, 8, v, 4), std::snprintf(note, sizeof note, "bytes/s=%u", v);
        break;
    }
    case 1: {
        const uint32_t v = r.Below(2) ? r.Below(200000) : r.Next() << 16 ^ r.Next();
        Set(f, 8, v, 4), std::snprintf(note, sizeof note, "bytes/s=%u", v);
        break;
    }
    case 2: Set(f, 12, word, 2), std::snprintf(note, sizeof note, "align=%u", word); break;
    case 3: Set(f, 18, word, 2), std::snprintf(note, sizeof note, "extra[0..1]=%u", word); break;
    case 4: {
        const uint32_t v = r.Below(4) ? r.Of(kRates) : r.Next();
        Set(f, 4, v, 4), std::snprintf(note, sizeof note, "rate=%u", v);
        break;
    }
    case 5: {
        const uint32_t v = r.Below(2) ? r.Below(9) : word;
        Set(f, 2, v, 2), std::snprintf(note, sizeof note, "channels=%u", v);
        break;
    }
    case 6: Set(f, 16, word, 2), std::snprintf(note, sizeof note, "cbSize=%u", word); break;
    case 7: {
        // The codecs' own fields behind cbSize: MS ADPCM's coefficient count, MP3's block size and frames per block.
        const uint32_t at = 18 + 2 * r.Below(6);
        Set(f, at, word, 2), std::snprintf(note, sizeof note, "extra@%u=%u", at, word);
        break;
    }
    case 8: {
        const uint32_t n = r.Below(3) ? r.Below(40) : r.Below(600);
        const size_t was = f.size();
        f.resize(was < 18 ? 18 : was);
        for (uint32_t i = 0; i < n; i++) f.push_back((uint8_t)r.Next());
        const uint32_t cb = r.Below(2) ? (uint32_t)f.size() - 18 : word;
        Set(f, 16, cb, 2), std::snprintf(note, sizeof note, "fmt+%u random, cbSize=%u", n, cb);
        break;
    }
    case 9: {
        const uint32_t n = 1 + r.Below(4);
        f.resize(f.size() > n + 14 ? f.size() - n : 14), std::snprintf(note, sizeof note, "fmt cut to %zu", f.size());
        break;
    }
    case 10: Set(f, 14, word, 2), std::snprintf(note, sizeof note, "bits=%u", word); break;
    case 11: {
        const uint32_t v = r.Of(kTags);
        Set(f, 0, v, 2), std::snprintf(note, sizeof note, "tag=0x%x", v);
        break;
    }
    case 12: {
        const uint32_t n = r.Below(2) ? 158 : 1 + r.Below(8192);
        w.data.resize(n);
        for (auto& b : w.data) b = (uint8_t)r.Next();
        std::snprintf(note, sizeof note, "data=%u noise", n);
        break;
    }
    case 13: {
        const uint32_t n = 1 + r.Below(64);
        for (uint32_t i = 0; i < n && !w.data.empty(); i++) w.data[r.Below((uint32_t)w.data.size())] = (uint8_t)r.Next();
        std::snprintf(note, sizeof note, "data %u bytes noise", n);
        break;
    }
    case 15: {
        // A chunk before the format, as recorders and ffmpeg's -rf64 leave them; odd ones padded or not.
        static const char* const kIds[] = {"JUNK", "LIST", "bext", "fact", "data"};
        const char* id = kIds[r.Below(5)];
        const uint32_t n = r.Below(3) ? r.Below(64) : r.Below(4096);
        const bool pad = (n & 1) && r.Below(2);
        w.before.insert(w.before.end(), id, id + 4);
        Put32(w.before, n);
        for (uint32_t i = 0; i < n + pad; i++) w.before.push_back(i < n ? (uint8_t)r.Next() : 0);
        std::snprintf(note, sizeof note, "%s of %u%s before fmt", id, n, (n & 1) && !pad ? ", unpadded" : "");
        break;
    }
    case 16: {
        // A tag before the data and zero bytes after part of it, as tools and recorders leave them.
        const uint32_t body = r.Below(2) ? r.Below(300) : r.Below(0x200000);
        const Bytes head = {'I', 'D', '3', 3, 0, 0, (uint8_t)(body >> 21 & 127), (uint8_t)(body >> 14 & 127),
                            (uint8_t)(body >> 7 & 127), (uint8_t)(body & 127)};
        const uint32_t tag = r.Below(2) ? (uint32_t)r.Below(body + 1) : body;   // sizes that lie, or the whole tag
        const size_t zeros = r.Below(2) ? r.Below((uint32_t)w.data.size() + 1) : 0;
        std::fill(w.data.end() - zeros, w.data.end(), 0);
        Bytes lead = head;
        lead.resize(10 + tag, 0x33);
        w.data.insert(w.data.begin(), lead.begin(), lead.end());
        std::snprintf(note, sizeof note, "ID3v2 of %u (%u there) before the data, last %zu zeroed", body, tag, zeros);
        break;
    }
    case 17: {
        // Layouts that the readers and the graph must read alike.
        const uint32_t size = (uint32_t)w.data.size();
        switch (r.Below(4)) {
        case 0: w.data_first = true, std::snprintf(note, sizeof note, "data before fmt"); break;
        case 1: {
            static const uint32_t kClaims[] = {0, 0xFFFFFFFF};
            w.data_claim = r.Below(2) ? r.Of(kClaims) : r.Below(2) ? size + 1 + r.Below(100000) : r.Below(size + 1);
            std::snprintf(note, sizeof note, "data size %lld of %u", (long long)w.data_claim, size);
            break;
        }
        case 2:
            w.rf64 = true, w.ds64_data = r.Below(2) ? size : r.Below(3) ? r.Below(size * 2 + 1) : (uint64_t)r.Next() << 20;
            std::snprintf(note, sizeof note, "RF64, ds64 data %llu of %u", (unsigned long long)w.ds64_data, size);
            break;
        default: w.data_first = false, std::snprintf(note, sizeof note, "layout kept"); break;
        }
        break;
    }
    case 18: {
        // Chunks behind the format or the data, odd ones padded or not.
        static const char* const kIds[] = {"LIST", "JUNK", "fmt ", "data", "bext", "iXML"};
        const char* id = kIds[r.Below(6)];
        const uint32_t n = r.Below(3) ? r.Below(64) : r.Below(9000);
        const bool pad = r.Below(2), behind = r.Below(2);
        PutChunk(behind ? w.tail : w.after, id, n, pad, r);
        std::snprintf(note, sizeof note, "%s of %u%s %s", id, n, (n & 1) && !pad ? ", unpadded" : "",
                      behind ? "behind the data" : "before the data");
        break;
    }
    default: {
        // MPEG frames made free-format or of another rate, from a frame on (the first or a later one).
        const std::vector<size_t> at = FrameStarts(w.data);
        if (at.empty()) {
            w.data.resize(w.data.size() / 2 + 1), std::snprintf(note, sizeof note, "data halved");
            break;
        }
        const size_t from = r.Below(2) ? 0 : r.Below((uint32_t)at.size());
        const bool free_format = r.Below(2);
        const uint32_t rate_index = r.Below(3);
        for (size_t i = from; i < at.size(); i++) {
            uint8_t& b2 = w.data[at[i] + 2];
            b2 = free_format ? (uint8_t)(b2 & 0x0F) : (uint8_t)((b2 & ~0x0C) | rate_index << 2);
        }
        std::snprintf(note, sizeof note, "frames %zu..%zu %s", from, at.size(), free_format ? "free-format" : "rate index");
        if (!free_format) std::snprintf(note + std::strlen(note), sizeof note - std::strlen(note), " %u", rate_index);
        break;
    }
    }
    if (!what.empty()) what += ", ";
    what += note;
}

// The sweep: each field of the record in turn, set to each edge value alone.
const struct {
    const char* name;
    uint32_t at;
    int bytes;
} kFields[] = {{"channels", 2, 2}, {"rate", 4, 4},       {"bytes/s", 8, 4},     {"align", 12, 2},
               {"bits", 14, 2},    {"cbSize", 16, 2},    {"extra@18", 18, 2},   {"extra@20", 20, 2},
               {"extra@22", 22, 2}, {"extra@24", 24, 2}, {"extra@26", 26, 2},  {"extra@28", 28, 2}};
const uint32_t kEdges[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 12, 16, 17, 255, 256, 1000, 0x7FFF, 0x8000, 0xFFFF,
                           0x10000, 0x7FFFFFFF, 0xFFFFFFFF};
const long kSweepCases = (long)(sizeof kFields / sizeof kFields[0]) * (sizeof kEdges / sizeof kEdges[0]);

void Sweep(Wav& w, long n, std::string& what) {
    const auto& field = kFields[n % (sizeof kFields / sizeof kFields[0])];
    const uint32_t v = kEdges[n / (sizeof kFields / sizeof kFields[0]) % (sizeof kEdges / sizeof kEdges[0])];
    if (field.bytes == 2 && v > 0xFFFF) {
        what = "unchanged";
        return;
    }
    Set(w.fmt, field.at, v, field.bytes);
    char note[48];
    std::snprintf(note, sizeof note, "%s=%u", field.name, v);
    what = note;
}

}  // namespace

int main(int argc, char** argv) {
    long from = 0, count = 4000;
    uint64_t seed = 1;
    bool acm = false, quiet = false, sweep = false, as_is = false, each = false;
    const char* save = nullptr;   // where each case's bytes are written before it loads
    std::vector<std::string> names;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--from") && i + 1 < argc) from = std::atol(argv[++i]);
        else if (!std::strcmp(argv[i], "--count") && i + 1 < argc) count = std::atol(argv[++i]);
        else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc) seed = std::strtoull(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--acm")) acm = true;
        else if (!std::strcmp(argv[i], "--quiet")) quiet = true;
        else if (!std::strcmp(argv[i], "--each")) each = true;
        else if (!std::strcmp(argv[i], "--sweep")) sweep = true;
        else if (!std::strcmp(argv[i], "--as-is")) as_is = true;
        else if (!std::strcmp(argv[i], "--save") && i + 1 < argc) save = argv[++i];
        else names.push_back(argv[i]);
    }
    if (names.empty())
        for (const char* n : kDefaultFiles) names.push_back(std::string("testrun/test_sound/") + n);
    std::vector<Wav> wavs;
    for (const auto& n : names) {
        Wav w;
        if (!Split(ReadWholeFile(n), &w)) {
            std::printf("cannot read a WAV from %s (build the tests first)\n", n.c_str());
            return 1;
        }
        wavs.push_back(w);
    }
    SetOutputLogFlag(0);
    SetGraphMode(640, 480, 16, 60);
    ChangeWindowMode(1);
    if (InitLibrarySystems() == -1) {
        std::printf("the engine did not start\n");
        return 1;
    }
    if (acm) SetSoundDecoderDisableMask(GetSoundDecoderDisableMask() | SOUND_DECODER_MP3_FILTERS);
    std::printf("%ld cases from %ld (seed %llu) over %zu files, %s\n", count, from, (unsigned long long)seed,
                names.size(), acm ? "media filters disabled" : "default decoders");
    std::fflush(stdout);
    long loaded[2] = {}, refused[2] = {}, slow = 0, slowest_case = -1, differ = 0;
    double slowest = 0;
    const double start = SecondsNow();
    for (long n = from; n < from + count; n++) {
        Rng r(seed, n);
        const size_t which = sweep ? (size_t)(n / kSweepCases % (long)wavs.size()) : (size_t)n % wavs.size();
        Wav w = wavs[which];
        std::string what;
        if (as_is) what = "as it is";
        else if (sweep) Sweep(w, n % kSweepCases, what);
        else
            for (uint32_t k = 1 + (r.Below(3) ? 0 : r.Below(3)); k > 0; k--) Mutate(w, r, what);
        const Bytes image = Join(w);
        // Printed first, so that a death leaves its case behind.
        if (!quiet) std::printf("case %ld %s: %s\n", n, names[which].c_str(), what.c_str());
        if (save) {
            FILE* f = std::fopen(save, "wb");
            if (f) std::fwrite(image.data(), 1, image.size(), f), std::fclose(f);
        }
        std::fflush(stdout);
        const double case_start = SecondsNow();
        int samples[2] = {-1, -1};
        for (int stream = 0; stream < 2; stream++) {
            SetCreateSoundDataType(stream ? 2 : 0);
            const int h = CreateSoundFromFileImage(image.data(), (unsigned)image.size(), 1, -1);
            if (h == -1) {
                refused[stream]++;
                continue;
            }
            loaded[stream]++;
            samples[stream] = GetSoundHandleSampleCount(h);
            DeleteSoundHandle(h);
        }
        // A normal sound and a stream of one file are the same sound.
        if (samples[0] != samples[1] || each)
            std::printf("  case %ld: %d samples as a normal sound, %d as a stream (-1: refused)\n", n, samples[0],
                        samples[1]);
        differ += samples[0] != samples[1];
        const double took = SecondsNow() - case_start;
        if (took > slowest) slowest = took, slowest_case = n;
        if (took > 2) std::printf("  case %ld took %.1f s\n", n, took), slow++;
        if ((n - from + 1) % 500 == 0) {
            std::printf("  %ld cases: normal %ld loaded, %ld refused; stream %ld loaded, %ld refused\n", n - from + 1,
                        loaded[0], refused[0], loaded[1], refused[1]);
            std::fflush(stdout);
        }
    }
    std::printf("%ld cases in %.1f s, 0 deaths: normal %ld loaded, %ld refused; stream %ld loaded, %ld refused\n", count,
                SecondsNow() - start, loaded[0], refused[0], loaded[1], refused[1]);
    std::printf("%ld cases over 2 s; the slowest, case %ld, %.2f s; %ld cases a normal sound and a stream differ\n",
                slow, slowest_case, slowest, differ);
    std::fflush(stdout);
    EndLibrarySystems();
    return 0;
}
