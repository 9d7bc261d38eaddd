// What the sound decoders make of MPEG audio as tools and accidents leave it,
// and of files that are not sound but hold what parses as MPEG headers, for
// comparing one build's intake with another's: each file through the default
// decoder order, the compression manager only and the media filters only, with
// the result, method, format, frames, a checksum of the PCM and the time. The
// files are the build's test tones, variants made from them here, and
// look-alikes, alone and behind leading data; more may be named on the command
// line (scripts/intake-corpus makes about 350 as common tools write them). Not
// a test: figures only.
//   bench_sound_intake [FILE...]      (from build/wine)
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "bench/sound_session.h"
#include "movie/avi_writer.h"
#include "sound/mpeg_bytes.h"
#include "sound/sound_lookalikes.h"

namespace {

using namespace soundtest;
using avitest::Chunk;
using avitest::PutId;

// A chunk whose size field says `size`, whatever it holds.
Bytes ChunkClaiming(const char* id, const Bytes& body, uint32_t size) {
    Bytes b = Chunk(id, body);
    b[4] = (uint8_t)size, b[5] = (uint8_t)(size >> 8), b[6] = (uint8_t)(size >> 16), b[7] = (uint8_t)(size >> 24);
    return b;
}

// A second of a 16-bit stereo tone, as RF64 and as a piped WAV whose sizes are unknown.
Bytes Pcm() {
    Bytes pcm;
    for (int i = 0; i < 44100 * 2; i++) Put16(pcm, (uint16_t)(int16_t)(8000 * ((i / 2 / 20) % 2 ? 1 : -1)));
    return pcm;
}
Bytes Rf64(const Bytes& pcm) {
    Bytes ds64, wave;
    Put32(ds64, (uint32_t)pcm.size() + 72), Put32(ds64, 0), Put32(ds64, (uint32_t)pcm.size()), Put32(ds64, 0);
    Put32(ds64, 44100), Put32(ds64, 0), Put32(ds64, 0);
    PutId(wave, "WAVE");
    const Bytes body = Cat({wave, Chunk("ds64", ds64), Chunk("fmt ", avitest::WaveFormatEx(1, 2, 44100, 176400, 4, 16)),
                            ChunkClaiming("data", pcm, 0xFFFFFFFF)});
    Bytes b;
    PutId(b, "RF64"), Put32(b, 0xFFFFFFFF);
    return Cat({b, body});
}
Bytes PipedWave(const Bytes& pcm) {
    Bytes wave;
    PutId(wave, "WAVE");
    Bytes fmt = Chunk("fmt ", avitest::WaveFormatEx(1, 2, 44100, 176400, 4, 16));
    fmt.resize(fmt.size() - 2), fmt[4] = 16;   // a plain 16-byte format
    Bytes b;
    PutId(b, "RIFF"), Put32(b, 0xFFFFFFFF);
    return Cat({b, wave, fmt, ChunkClaiming("data", pcm, 0xFFFFFFFF)});
}

uint32_t Crc(const uint8_t* p, size_t n, uint32_t crc) {
    for (size_t i = 0; i < n; i++) {
        crc ^= p[i];
        for (int k = 0; k < 8; k++) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}

void Load(const char* name, const Bytes& file) {
    static const struct { const char* path; int mask; } kPaths[] = {
        {"default", 0}, {"ACM", SOUND_DECODER_MP3_FILTERS}, {"filters", SOUND_DECODER_MP3_ACM}};
    for (const auto& path : kPaths) {
        SetSoundDecoderDisableMask(path.mask);
        std::printf("%-44s %-8s ", name, path.path);
        const double start = SecondsNow();
        WholeDecode d;
        uint32_t crc = 0xFFFFFFFF;
        if (!DecodeWhole(file, &d, [&](const uint8_t* block, int n) { crc = Crc(block, (size_t)n, crc); })) {
            std::printf("-1%46s %7.1f ms\n", "", (SecondsNow() - start) * 1000);
        } else {
            const WAVEFORMATEX& f = d.format;
            std::printf(" 0 method %d %6lu Hz %d ch %8llu frames crc %08x %7.1f ms\n", d.method,
                        (unsigned long)f.nSamplesPerSec, f.nChannels,
                        (unsigned long long)(f.nBlockAlign ? d.bytes / f.nBlockAlign : 0), crc,
                        (SecondsNow() - start) * 1000);
        }
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = "testrun/test_sound/";
    const Bytes mp3 = ReadWholeFile(dir + "tone.mp3"), mp2 = ReadWholeFile(dir + "tone.mp2"), m2 = ReadWholeFile(dir + "tone22m.mp3");
    if (mp3.empty() || mp2.empty() || m2.empty()) {
        std::printf("cannot read the test tones in %s (build the tests first)\n", dir.c_str());
        return 1;
    }
    if (!StartBenchSound()) return 1;
    for (const char* tone : {"tone.mp3", "tone22m.mp3", "tone8m.mp3", "tone_free.mp3", "tone.mp2", "tone_id3.mp3"})
        Load(tone, ReadWholeFile(dir + tone));
    for (int i = 1; i < argc; i++) Load(argv[i], ReadWholeFile(argv[i]));
    Bytes id3v1 = {'T', 'A', 'G'};
    id3v1.resize(128, ' ');
    Bytes damaged = mp3;
    for (size_t i = 0; i < 200; i++) damaged[damaged.size() / 2 + i] ^= (uint8_t)(0x5A + i);
    const std::vector<size_t> m2_frames = MpegFrameStarts(m2);
    Bytes short_tag = Cat({Id3v2(3, 0, 300), mp3});
    short_tag[9] -= 20;
    const struct { const char* name; Bytes file; } variants[] = {
        {"zeros before", Cat({Bytes(1000, 0), mp3})},
        {"two ID3v2 tags", Cat({Id3v2(3, 0, 200), ReadWholeFile(dir + "tone_id3.mp3")})},
        {"ID3v2.4 tag with a footer", Cat({Id3v2(4, 0x10, 300), mp3})},
        {"ID3v1 tag", Cat({mp3, id3v1})},
        {"cut end", Bytes(mp3.begin(), mp3.end() - 200)},
        {"damaged middle", damaged},
        {"MPEG-2, one frame", Bytes(m2.begin() + m2_frames[0], m2.begin() + m2_frames[1])},
        {"MPEG-2, two frames", Bytes(m2.begin() + m2_frames[0], m2.begin() + m2_frames[2])},
        {"MP3 in a WAV", avitest::MakeMp3Wave(mp3)},
        {"MP3 in an AVI", avitest::MakeMp3Avi(mp3, MpegFrameStarts(mp3))},
        {"RF64", Rf64(Pcm())},
        {"piped WAV (sizes 0xFFFFFFFF)", PipedWave(Pcm())},
        {"MP3 cut mid-frame", Bytes(mp3.begin() + 700, mp3.end())},
        {"MP2 cut mid-frame", Bytes(mp2.begin() + 700, mp2.end())},
        {"MP3 behind noise", Cat({Noise(500, 3), mp3})},
        {"MP3 behind a tag 20 bytes short", short_tag},
        {"ID3v2 tag, no audio", Id3v2(3, 0, 2000)},
        {"noise, 50 MB", Noise(50 << 20, 5)},
    };
    for (const auto& v : variants) Load(v.name, v.file);
    // Short audio with the tails tools leave: one to three frames of the tone.
    const std::vector<size_t> frames = MpegFrameStarts(mp3);
    for (int n = 1; n <= 3; n++)
        for (const NamedFile& tail : MpegTails()) {
            const std::string name = std::to_string(n) + " frame(s), then " + tail.name;
            Load(name.c_str(), Cat({Bytes(mp3.begin() + frames[2], mp3.begin() + frames[2 + n]), tail.bytes}));
        }
    // Not sound, at the sizes a game holds them, and behind leading data past any window.
    Load("1 MB of 16-bit dithered silence", QuietPcm(16, 1 << 19, 21));
    const Bytes zeros(72000, 0), records = Records(5, 3000, 22);
    Load("72,000 zeros, then 1 MB of 16-bit dithered silence", Cat({zeros, QuietPcm(16, 1 << 19, 23)}));
    Load("72,000 zeros, then a 32-bit table of -1 and 0", Cat({zeros, IntegerTable(32, 1 << 18, 24)}));
    Load("72,000 zeros, then 1 MB of the 32-bit value 65535", Cat({zeros, IntegerTable(32, 1 << 18, 0, 1, 65535)}));
    Load("72 KB of records, then 100 KB of 65535", Cat({records, IntegerTable(32, 25600, 0, 1, 65535)}));
    Load("5 MB of quiet PCM, then a table of 65535", Cat({QuietPcm(16, 5 << 19, 25), IntegerTable(32, 25600, 0, 1, 65535)}));
    Load("100 KB of quiet PCM, then the MP3", Cat({QuietPcm(16, 50000, 26), mp3}));
    // Frames that make up little of the bytes, structures that hold for a few bytes, and a change of stream.
    const std::vector<size_t> tone_frames = MpegFrameStarts(mp3);
    const Bytes few(mp3.begin() + tone_frames[5], mp3.begin() + tone_frames[13]);
    Load("the MP3, then 3 MB of 0xFF", Cat({mp3, Bytes(3 << 20, 0xFF)}));
    Load("the MP3, then 3 MB of picture rows", Cat({mp3, Bitmap(1024, 768, 32, [](int x, int y) {
                                                         return ((x / 7) ^ (y / 3)) & 1 ? 0xFFFFFFFFu : 0xFF000000u;
                                                     })}));
    Load("8 frames inside 1 MB of noise", Cat({Noise(500000, 28), few, Noise(500000, 29)}));
    Load("8 frames inside 1 MB of a table", Cat({IntegerTable(32, 125000, 30), few, IntegerTable(32, 125000, 31)}));
    for (const NamedFile& f : ContainerStartsBefore(IntegerTable(16, 1 << 19, 27)))
        Load((f.name + " (1 MB of a table)").c_str(), f.bytes);
    Load("MP3 at 44.1 kHz, then at 48 kHz", Cat({mp3, ReadWholeFile(dir + "tone48.mp3")}));
    Load("70 free atoms, then a PCM MOV", Cat({FreeAtoms(70), ReadWholeFile(dir + "quiet_pcm.mov")}));
    // One stream through its changes: low bit rates, channel modes, bytes and tags between frames.
    for (const char* low : {"low8.mp3", "low_vbr.mp3"}) Load(low, ReadWholeFile(dir + low));
    const Bytes mono = ReadWholeFile(dir + "tone_mono.mp3"), dual = ReadWholeFile(dir + "tone_dual.mp3");
    Load("mono MP3, then stereo", Cat({mono, mp3}));
    Load("stereo MP3, then mono", Cat({mp3, mono}));
    Load("mono, dual channel, mono", Cat({mono, dual, mono}));
    // Three minutes that change channel mode every three frames, beside the same frames in stereo alone.
    const size_t three_minutes = 180 * 44100 / 1152;
    Load("3 min, mono and stereo in runs of 3 frames", InterleavedRuns(mono, mp3, 3, three_minutes));
    Load("3 min, its stereo frames alone", InterleavedRuns(mp3, mp3, 3, three_minutes));
    const size_t middle = tone_frames[tone_frames.size() / 2];
    Load("a stray header between two frames", Cat({Bytes(mp3.begin(), mp3.begin() + middle), Bytes(10, 1),
                                                   {0xFF, 0xF3, 0x44, 0xC4}, Bytes(10, 2),
                                                   Bytes(mp3.begin() + middle, mp3.end())}));
    const Bytes covered = Cat({Id3v2(3, 0, 300000), mp3, id3v1});
    Load("two MP3s with 300 KB covers, joined", Cat({covered, covered}));
    for (int mb : {1, 2, 5}) {
        Bytes tails = mp3;
        while (tails.size() < ((size_t)mb << 20)) tails.insert(tails.end(), id3v1.begin(), id3v1.end()), tails.push_back(0);
        Load(("the MP3, then ID3v1 and a zero byte to " + std::to_string(mb) + " MB").c_str(), tails);
    }
    // Tags between chains whose sizes are wrong, and a hostile chain of ID3v2
    // frames with a tag header in each, which every tag look would walk anew
    // (refused: the frames make up a quarter of it, so its time is the rule's).
    Bytes title = {'T', 'I', 'T', '2', 0, 0, 0, 10, 0, 0, 3};
    title.resize(20, 'a');
    Load("the MP3, a 256 MB ID3v2 size, the MP3", Cat({mp3, {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}, title, mp3}));
    Load("the MP3, an ID3v2 size 4 KB too long, the MP3", Cat({mp3, {'I', 'D', '3', 3, 0, 0, 0, 0, 0x20, 0x14}, title, mp3}));
    Bytes plain = covered;
    plain[6] = 0, plain[7] = 0x04, plain[8] = 0x93, plain[9] = 0xE0;   // 300,000 as a plain integer
    Load("two MP3s with covers, the second size plain", Cat({covered, plain}));
    Load("the MP3's info frame alone", Bytes(mp3.begin(), mp3.begin() + tone_frames[1]));
    Load("free-format layer II", MpegFrames({0xFF, 0xFD, 0x04, 0xC4}, 300, 200));
    const Bytes three = MpegFrames({0xFF, 0xF3, 0x18, 0xC4}, 36, 3);   // MPEG-2 at 8 kbit/s
    const Bytes unit = Cat({{'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F, 'T', 'I', 'T', '2', 0, 0, 1, 162, 0, 0},
                            Bytes(300, 0x55), three});   // the frame runs to the next one: 300 + 108 + 10 bytes
    Bytes hostile = three;
    while (hostile.size() < (8u << 20)) hostile.insert(hostile.end(), unit.begin(), unit.end());
    Load("8 MB of tag headers whose frames chain through it", hostile);
    // The same with a zero byte before each chain: each header's frames are walked once more, for where they end.
    Bytes zeroed = unit;
    zeroed[20 + 299] = 0;
    Bytes hostile_zeros = three;
    while (hostile_zeros.size() < (8u << 20)) hostile_zeros.insert(hostile_zeros.end(), zeroed.begin(), zeroed.end());
    Load("8 MB of tag headers, a zero byte before each chain", hostile_zeros);
    for (const NamedFile& f : LookalikeFiles(64)) Load(f.name.c_str(), f.bytes);
    // Which track of two the graph gives, load after load.
    const Bytes two = avitest::MakePcmTracksAvi({avitest::SquareTrack(44100, 2, 2, 0x3000, 30),
                                                 avitest::SquareTrack(22050, 1, 2, 0x1000, 30)});
    for (int i = 0; i < 5; i++) Load("AVI: 44.1 kHz stereo, then 22.05 kHz mono", two);
    EndBenchSound();
    return 0;
}
