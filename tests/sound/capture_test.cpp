// Finishing a capture file: the file is closed even when its header cannot be
// written, and the sound end writes the RIFF header for what was captured.
#include "sound/periph_records.h"

#include "engine/sound/sound_capture.h"

using namespace soundtest;

namespace {

TEST_F(SoundSystemTest, CaptureFinishWritesOnlyTheHeaderAndAlwaysCloses) {
    char dir[MAX_PATH], path[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    ASSERT_NE(0u, GetTempFileNameA(dir, "cap", 0, path));
    const int n = 1000;
    std::FILE* f = std::fopen(path, "wb");
    for (int i = 0; i < 46 + 4 * n; i++) std::fputc(0xAB, f);
    std::fclose(f);
    SoundCaptureState* s = GetSoundCaptureState();
    for (DWORD access : {(DWORD)GENERIC_READ, (DWORD)(GENERIC_READ | GENERIC_WRITE)}) {
        s->file = CreateFileA(path, access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, s->file);
        s->capturing = 1;
        s->samples = n;
        if (access & GENERIC_WRITE) break;
        LogCapture log;
        EXPECT_EQ(-1, FinishSoundCaptureFile()) << "the header could not be written";
        EXPECT_TRUE(log.Contains("キャプチャファイルのヘッダの書き込みに失敗しました"));
        EXPECT_TRUE(s->capturing == 0 && s->file == INVALID_HANDLE_VALUE);
    }
    ASSERT_EQ(0, TerminateSoundSystem());
    EXPECT_EQ(-1, FinishSoundCaptureFile()) << "finished twice";
    // The file as the capture left it, with only the header written over it.
    const Bytes fmt = FormatBody(WAVE_FORMAT_PCM, 2, 44100, 16, 4, 176400, true);
    const Bytes expect = RiffWriter().Chunk("fmt ", fmt).Chunk("data", Bytes(4 * n, 0xAB)).Build();
    Bytes got(expect.size() + 1);
    f = std::fopen(path, "rb");
    got.resize(std::fread(got.data(), 1, got.size(), f));
    std::fclose(f);
    EXPECT_EQ(expect, got);
    EXPECT_TRUE(DeleteFileA(path)) << "the capture file is still open";
}

}  // namespace
