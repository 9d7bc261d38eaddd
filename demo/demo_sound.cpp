// Demo part: synthesises a short WAV, writes it, loads it through the file layer
// as the game does, and plays it on key frames, the second time at a lower volume.
#include <windows.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "demo/demo_parts.h"
#include "engine/sound/sound.h"

static const char* const kWavPath = "demo_sound.wav";
static int g_sound = -1;
static int g_plays = 0;

static void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back((uint8_t)v);
    b.push_back((uint8_t)(v >> 8));
}
static void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// A quarter second of a 660 Hz tone with a short fade, 16-bit mono at 22050 Hz.
static int WriteDemoWav() {
    const int rate = 22050, frames = rate / 4;
    std::vector<uint8_t> w = {'R', 'I', 'F', 'F'};
    Put32(w, 36 + frames * 2);
    w.insert(w.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(w, 16);
    Put16(w, 1);
    Put16(w, 1);
    Put32(w, rate);
    Put32(w, rate * 2);
    Put16(w, 2);
    Put16(w, 16);
    w.insert(w.end(), {'d', 'a', 't', 'a'});
    Put32(w, frames * 2);
    for (int i = 0; i < frames; i++) {
        double fade = std::fmin(1.0, (frames - i) / 2000.0);
        Put16(w, (uint16_t)(int16_t)(9000 * fade * std::sin(2 * 3.14159265358979 * 660 * i / rate)));
    }
    FILE* f = std::fopen(kWavPath, "wb");
    if (!f) return -1;
    size_t n = std::fwrite(w.data(), 1, w.size(), f);
    std::fclose(f);
    return n == w.size() ? 0 : -1;
}

static int SoundStart() {
    if (WriteDemoWav() != 0) {
        DemoReportFailure("sound", "cannot write the demo WAV");
        return 0;
    }
    g_sound = LoadSoundFileEntry(kWavPath, 3, -1);
    if (g_sound == -1) DemoReportFailure("sound", "the demo WAV did not load (is sound up?)");
    return 0;
}

static void SoundFrame(int n) {
    if (g_sound == -1 || n % 30 > 15 || n % 15 != 0) return;
    SetSoundHandleVolume(n % 30 == 0 ? 255 : 128, g_sound);
    if (PlaySoundHandle(g_sound, SOUND_PLAY_BACK, 1) != 0 || IsSoundHandlePlaying(g_sound) != 1) {
        DemoReportFailure("sound", "a play did not start");
        return;
    }
    g_plays++;
    printf("sound: frame %d play %d at volume %d, %d ms long\n", n, g_plays, n % 30 == 0 ? 255 : 128,
           GetSoundHandleLengthMs(g_sound));
    fflush(stdout);
}

static void SoundEnd() {
    if (g_sound != -1) DeleteSoundHandle(g_sound, 0);
    g_sound = -1;
    DeleteFileA(kWavPath);
    printf("sound: %d play(s)\n", g_plays);
    fflush(stdout);
}

static const DemoPart g_sound_part = {"sound", 30, nullptr, SoundStart, SoundFrame, nullptr, SoundEnd};
DEMO_PART(g_sound_part);
