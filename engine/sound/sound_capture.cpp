#include "engine/sound/sound_capture.h"

#include <cstdint>
#include <cstring>

#include "engine/system/log.h"

static SoundCaptureState g_capture = {0, INVALID_HANDLE_VALUE, 0};

SoundCaptureState* GetSoundCaptureState() { return &g_capture; }

static uint8_t* Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = (uint8_t)(v >> (8 * i));
    return p + 4;
}
static uint8_t* Put16(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    return p + 2;
}
static uint8_t* PutId(uint8_t* p, const char* id) {
    std::memcpy(p, id, 4);
    return p + 4;
}

int FinishSoundCaptureFile() {
    if (!g_capture.capturing) return -1;
    const uint32_t data_bytes = 4u * (uint32_t)g_capture.samples;
    uint8_t header[46];
    uint8_t* p = PutId(header, "RIFF");
    p = Put32(p, 38 + data_bytes);
    p = PutId(p, "WAVE");
    p = PutId(p, "fmt ");
    p = Put32(p, 18);
    p = Put16(p, WAVE_FORMAT_PCM);
    p = Put16(p, 2);
    p = Put32(p, 44100);
    p = Put32(p, 176400);
    p = Put16(p, 4);
    p = Put16(p, 16);
    p = Put16(p, 0);
    p = PutId(p, "data");
    Put32(p, data_bytes);

    DWORD written = 0;
    const bool ok = SetFilePointer(g_capture.file, 0, nullptr, FILE_BEGIN) == 0 &&
                    WriteFile(g_capture.file, header, sizeof(header), &written, nullptr) && written == sizeof(header);
    // The file is closed either way: a failed header must not keep it open.
    CloseHandle(g_capture.file);
    g_capture.file = INVALID_HANDLE_VALUE;
    g_capture.capturing = 0;
    if (!ok) return LogAppend("キャプチャファイルのヘッダの書き込みに失敗しました\n");
    return 0;
}
