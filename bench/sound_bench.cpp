// Sound: decode speed (times real time) of MP3 through ACM and of Ogg Vorbis
// through vorbisfile, and the cost of one refill sweep over 16 playing stream
// sounds (PCM and Vorbis sources). Run under Wine from a folder holding
// tone.mp3 (scripts/sound-media DIR makes it), or give its path.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/sound/sound.h"
#include "engine/sound/sound_buffer.h"
#include "engine/sound/sound_convert.h"
#include "engine/sound/sound_handle.h"
#include "engine/sound/sound_stream.h"
#include "engine/sound/sound_system.h"
#include "engine/system/entry_points.h"
#include "bench/bench_timing.h"
#include "bench/sound_session.h"
#include "tests/sound/vorbis_encode.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// Seconds of sound per second: the median of samples that each decode the
// whole file over and over for 50 ms.
double DecodeSpeed(const Bytes& file) {
    StreamData sd = {*GetMemStreamTable(), MemStreamOpen(file.data(), file.size())};
    SoundConverter conv;
    conv.setup = 0;
    if (SelectSoundDecoder(&sd, &conv) != 0) {
        MemStreamClose(sd.handle);
        return 0;
    }
    static uint8_t block[65536];
    const double speed = MedianSample([&] {
        double sound_seconds = 0;
        const double start = SecondsNow();
        do {
            SeekSoundConverter(&conv, 0);
            uint64_t bytes = 0;
            for (int n; (n = ConvertNextSoundBlock(&conv, block, sizeof block)) > 0;) bytes += (uint64_t)n;
            sound_seconds += (double)bytes / conv.format.nAvgBytesPerSec;
        } while (SecondsNow() - start < 0.05);
        return sound_seconds / (SecondsNow() - start);
    });
    TerminateSoundConverter(&conv);
    MemStreamClose(sd.handle);
    return speed;
}

Bytes Wav(const std::vector<int16_t>& s, int channels, int rate) {
    Bytes b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0};
    auto put = [&](uint32_t v, int n) {
        for (int i = 0; i < n; i++) b.push_back((uint8_t)(v >> (8 * i)));
    };
    put((uint32_t)channels, 2), put((uint32_t)rate, 4), put((uint32_t)(rate * channels * 2), 4);
    put((uint32_t)(channels * 2), 2), put(16, 2);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put((uint32_t)(s.size() * 2), 4);
    b.insert(b.end(), (const uint8_t*)s.data(), (const uint8_t*)(s.data() + s.size()));
    return b;
}

// 16 stream sounds on software buffers; every sweep moves each cursor by 30 ms
// as the real mixer would, then refills all of them. The median sweep's
// microseconds.
double RefillSweepMicroseconds(const Bytes& file) {
    SetSoundSoftwareMixingFlag(1);
    SetCreateSoundDataType(2);
    std::vector<int> handles;
    for (int i = 0; i < 16; i++) {
        int h = CreateSoundFromFileImage(file.data(), (unsigned)file.size(), 1, -1);
        if (h == -1) break;
        PlaySoundHandle(h, SOUND_PLAY_LOOP, 1);
        handles.push_back(h);
    }
    SetCreateSoundDataType(0);
    double total = 0;
    std::vector<double> sweeps;
    while ((total < 0.25 || (int)sweeps.size() < kBenchSamples) && !handles.empty()) {
        for (int h : handles) {
            SoundBufferRecord* b = &GetSoundRecord(h)->buffers[0];
            b->position = (b->position + b->format.nSamplesPerSec * 30 / 1000) % b->sample_count;
        }
        const double start = SecondsNow();
        RefillAllStreamSounds();
        sweeps.push_back(SecondsNow() - start);
        total += sweeps.back();
    }
    const bool all = handles.size() == 16;
    for (int h : handles) DeleteSoundHandle(h);
    SetSoundSoftwareMixingFlag(0);
    return all ? MedianOf(sweeps) * 1e6 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (!StartBenchSound()) return 1;
    const Bytes mp3 = ReadWholeFile(argc > 1 ? argv[1] : "tone.mp3");
    std::vector<int16_t> tone(44100 * 2 * 4);
    for (size_t i = 0; i < tone.size(); i++) tone[i] = (int16_t)(8000 * std::sin(i / 2 * 0.0627));
    const Bytes ogg = soundtest::EncodeVorbis(tone, 2, 44100), wav = Wav(tone, 2, 44100);

    std::printf("decode speed, times real time (44.1 kHz stereo):\n");
    if (mp3.empty())
        std::printf("  MP3 through ACM   (no tone.mp3: run scripts/sound-media DIR)\n");
    else
        std::printf("  MP3 through ACM   %8.1f x\n", DecodeSpeed(mp3));
    std::printf("  Ogg Vorbis        %8.1f x\n", DecodeSpeed(ogg));
    std::printf("refill sweep over 16 playing streams, 30 ms of cursor each:\n");
    std::printf("  PCM sources       %8.1f us\n", RefillSweepMicroseconds(wav));
    std::printf("  Vorbis sources    %8.1f us\n", RefillSweepMicroseconds(ogg));
    if (!mp3.empty()) std::printf("  MP3 sources       %8.1f us\n", RefillSweepMicroseconds(mp3));
    EndBenchSound();
    return 0;
}
