#include "engine/sound/sound_capture.h"

#include <cstdint>

#include "engine/sound/sound_convert.h"
#include "engine/system/log.h"

static SoundCaptureState g_capture = {0, INVALID_HANDLE_VALUE, 0};

SoundCaptureState* GetSoundCaptureState() { return &g_capture; }

int FinishSoundCaptureFile() {
    if (!g_capture.capturing) return -1;
    const uint32_t data_bytes = 4u * (uint32_t)g_capture.samples;
    const WAVEFORMATEX format = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    uint8_t header[28 + sizeof(format)];
    PutWaveFileHeader(header, &format, sizeof(format), data_bytes);

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
