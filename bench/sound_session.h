// What the sound benchmarks share: the sound system started as the engine
// starts it, files read whole, and whole decodes from memory.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/file/stream.h"
#include "engine/sound/sound_convert.h"
#include "engine/sound/sound_system.h"
#include "engine/system/entry_points.h"

// The platform entries, COM and sound (ACM's entries come with sound); false,
// with a message, when sound did not start.
inline bool StartBenchSound() {
    LoadPlatformEntryPoints();
    WinApi.CoInitialize(nullptr);
    if (InitializeSoundSystem() == 0) return true;
    std::printf("sound did not start\n");
    return false;
}

inline void EndBenchSound() {
    TerminateSoundSystem();
    WinApi.CoUninitialize();
}

// The file's bytes, or none when it cannot be read.
inline std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct WholeDecode {
    int method;
    WAVEFORMATEX format;
    uint64_t bytes;   // of PCM
};

// Opens the bytes from memory through the decoders that the disable mask
// leaves and hands every PCM block to each(block, n); false when none takes them.
template <class Fn> bool DecodeWhole(const std::vector<uint8_t>& file, WholeDecode* out, Fn each) {
    static uint8_t block[65536];
    StreamData sd = {*GetMemStreamTable(), MemStreamOpen(file.data(), file.size())};
    SoundConverter conv = {};
    const bool opened = SelectSoundDecoder(&sd, &conv) == 0;
    if (opened) {
        out->method = conv.method, out->format = conv.format, out->bytes = 0;
        for (int n; (n = ConvertNextSoundBlock(&conv, block, sizeof block)) > 0; out->bytes += (uint64_t)n)
            each(block, n);
        TerminateSoundConverter(&conv);
    }
    MemStreamClose(sd.handle);
    return opened;
}
