// Finishing a capture file: its RIFF header, and the file closed even when the
// header cannot be written.
#include "sound/periph_records.h"

#include "engine/sound/sound_capture.h"

using namespace soundtest;

namespace {

class Capture : public SoundSystemTest {
protected:
    void SetUp() override {
        SoundSystemTest::SetUp();
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        ASSERT_NE(0u, GetTempFileNameA(dir, "cap", 0, path_));
    }
    void TearDown() override {
        DeleteFileA(path_);
        SoundSystemTest::TearDown();
    }
    void Open(DWORD access, int samples) {
        SoundCaptureState* s = GetSoundCaptureState();
        s->file = CreateFileA(path_, access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, s->file);
        s->capturing = 1;
        s->samples = samples;
    }
    Bytes ReadFile() {
        Bytes b;
        FILE* f = std::fopen(path_, "rb");
        if (!f) return b;
        int c;
        while ((c = std::fgetc(f)) != EOF) b.push_back((uint8_t)c);
        std::fclose(f);
        return b;
    }
    char path_[MAX_PATH] = {};
};

TEST_F(Capture, HeaderDescribesTheSamplesAndOnlyTheHeaderIsWritten) {
    for (int n : {0, 1, 1000}) {
        Bytes body(46 + 4 * n, 0xAB);
        FILE* f = std::fopen(path_, "wb");
        std::fwrite(body.data(), 1, body.size(), f);
        std::fclose(f);
        Open(GENERIC_READ | GENERIC_WRITE, n);
        ASSERT_EQ(0, FinishSoundCaptureFile());
        Bytes expect = {'R', 'I', 'F', 'F'};
        Put32(expect, 38 + 4 * n);
        expect.insert(expect.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
        Put32(expect, 18);
        Bytes fmt = FormatBody(1, 2, 44100, 16, 4, 176400, true);
        expect.insert(expect.end(), fmt.begin(), fmt.end());
        expect.insert(expect.end(), {'d', 'a', 't', 'a'});
        Put32(expect, 4 * n);
        expect.resize(body.size(), 0xAB);
        EXPECT_EQ(expect, ReadFile()) << n << " samples";
        EXPECT_EQ(0, GetSoundCaptureState()->capturing);
        EXPECT_EQ(-1, FinishSoundCaptureFile()) << "finished twice";
    }
}

TEST_F(Capture, UnwritableHeaderStillClosesTheFileAndFails) {
    Open(GENERIC_READ, 10);
    LogCapture log;
    EXPECT_EQ(-1, FinishSoundCaptureFile());
    EXPECT_EQ(0, GetSoundCaptureState()->capturing);
    EXPECT_EQ(INVALID_HANDLE_VALUE, GetSoundCaptureState()->file);
    EXPECT_TRUE(log.Contains("キャプチャファイル"));
    EXPECT_TRUE(DeleteFileA(path_)) << "the capture file is still open";
}

}  // namespace
