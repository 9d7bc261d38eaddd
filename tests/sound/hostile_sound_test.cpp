// Broken sound files that the engine's own decoders refuse never reach the
// platform's filter graph; a Render or a Stop that never returns is left behind
// at the time limit; no load holds the sound lock while it decodes.
#include "sound/sound_fixture.h"

#include <algorithm>

#include <ogg/ogg.h>

#include "engine/movie/filters/unknown.h"
#include "engine/sound/mp3_filters.h"
#include "engine/sound/sound_buffer.h"
#include "engine/sound/sound_stream.h"
#include "engine/system/library.h"
#include "sound/vorbis_encode.h"
#include "support/graph_stand_in.h"
#include "support/theora_writer.h"

using namespace soundtest;

namespace {

const int kRenderSlot = 12;
const int kStopSlot = 9, kMediaControlEntries = 16;

HANDLE g_release;
HRESULT STDMETHODCALLTYPE RenderUntilReleased(IGraphBuilder*, IPin*) {
    WaitForSingleObject(g_release, INFINITE);
    return E_FAIL;
}
HRESULT STDMETHODCALLTYPE StopWhenReleased(IMediaControl* self) {
    WaitForSingleObject(g_release, INFINITE);
    return ((HRESULT(STDMETHODCALLTYPE*)(IMediaControl*))graphtest::g_stand_in.original)(self);
}
// Longer than the one-second ring: a refill held up that long lets the cursor replay stale data.
const DWORD kSlowRenderMs = 1500;
HRESULT STDMETHODCALLTYPE SlowRender(IGraphBuilder*, IPin*) {
    Sleep(kSlowRenderMs);
    return E_FAIL;
}

// Bytes of no kind behind the start of a Matroska file: a container goes to the
// platform's parsers as it is, where the stand-ins hold it.
Bytes Junk(size_t n) {
    Bytes junk(n);
    uint32_t x = 777;
    for (auto& b : junk) b = (uint8_t)((x = x * 1103515245u + 12345u) >> 24);
    graphtest::PutMatroskaStart(junk.data());
    return junk;
}

// A stereo Ogg Vorbis file whose identification header says 255 channels.
Bytes Vorbis255() {
    Bytes ogg = EncodeVorbis(std::vector<int16_t>(8000, 100), 2, 8000);
    if (ogg.size() < 64) return Bytes();
    ogg_page page;
    page.header = ogg.data();
    page.header_len = 27 + ogg[26];
    page.body = ogg.data() + page.header_len;
    page.body_len = 0;
    for (int i = 0; i < ogg[26]; i++) page.body_len += ogg[27 + i];
    page.body[11] = 255;   // after "\x01vorbis" and the version
    ogg_page_checksum_set(&page);
    return ogg;
}

// An A-law or mu-law header cut at the data chunk: before it (38 bytes), in its
// size (44) or right after it (46).
Bytes CutLawWav(int tag, size_t size) {
    Bytes wav = RiffWriter().Chunk("fmt ", FormatBody(tag, 1, 8000, 8, 1, 8000, true)).Build();
    wav.insert(wav.end(), {'d', 'a', 't', 'a', 0xE8, 0x03, 0, 0});
    wav.resize(size, 0xD5);
    return wav;
}

// A 24-bit extensible header cut inside its 40-byte format chunk.
Bytes CutExtensibleWav() {
    Bytes tail = {24, 0, 4, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    Bytes wav = RiffWriter().Chunk("fmt ", FormatBody(0xFFFE, 1, 8000, 24, 3, 24000, true, tail)).Build();
    wav.resize(40);
    return wav;
}

class HostileSoundFiles : public SoundSystemTest {
protected:
    void TearDown() override {
        SetMp3GraphTimeLimit(10000);
        SoundSystemTest::TearDown();
        LogicalProcessorCount = saved_;
        EXPECT_EQ(0, D_CBaseObject::LiveObjectCount()) << "filter objects left alive";
    }
    int saved_ = LogicalProcessorCount;
};

TEST_F(HostileSoundFiles, FilesOurDecodersRefuseNeverReachTheGraph) {
    const struct { const char* what; Bytes file; } cases[] = {
        {"Ogg Vorbis, 255 channels", Vorbis255()},
        {"A-law, 38 bytes", CutLawWav(6, 38)}, {"A-law, 44 bytes", CutLawWav(6, 44)},
        {"A-law, 46 bytes", CutLawWav(6, 46)}, {"mu-law, 38 bytes", CutLawWav(7, 38)},
        {"mu-law, 44 bytes", CutLawWav(7, 44)}, {"mu-law, 46 bytes", CutLawWav(7, 46)},
        {"extensible, cut inside fmt ", CutExtensibleWav()},
        {"no fmt chunk", RiffWriter().Chunk("JUNK", Bytes(28, 0)).Chunk("data", Ramp16(100, 1)).Build()},
        // Nothing to decode: the graph waited out its limit on these.
        {"A-law, empty data chunk", RiffWriter().Chunk("fmt ", FormatBody(6, 1, 8000, 8, 1, 8000, true)).Chunk("data", {}).Build()},
        {"MP3 tag, empty data chunk", RiffWriter().Chunk("fmt ", FormatBody(0x55, 2, 44100, 0, 1, 16000, true, Bytes(12))).Chunk("data", {}).Build()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.file.empty());
        const int blocks = MemLiveBlockCount();
        LogCapture log;
        int handle = 0;
        ASSERT_TRUE(graphtest::RunComWithTimeout(
            [&] { handle = CreateSoundFromFileImage(c.file.data(), (unsigned)c.file.size(), 1, -1); }, 20000));
        EXPECT_EQ(-1, handle);
        EXPECT_TRUE(log.Contains("Ogg や RIFF WAVE のファイルは MP3 として変換しません"));
        EXPECT_EQ(0, D_CBaseObject::LiveObjectCount());
        EXPECT_EQ(blocks, MemLiveBlockCount());
    }
    const Bytes good = PcmWav(1, 8000, 16, Ramp16(800, 1));
    const int h = CreateSoundFromFileImage(good.data(), (unsigned)good.size(), 1, -1);
    EXPECT_GE(h, 0) << "a good file after the broken ones";
    EXPECT_EQ(0, DeleteSoundHandle(h));
}

// The parser never returns from Render: the conversion fails at the limit and
// leaves the graph behind, which lets go of everything once Render returns.
TEST_F(HostileSoundFiles, ARenderThatNeverReturnsIsLeftBehindAtTheLimit) {
    const int blocks = MemLiveBlockCount();
    g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetMp3GraphTimeLimit(300);
    const Bytes junk = Junk(3000);
    LogCapture log;
    int handle = 0;
    const DWORD start = GetTickCount();
    {
        graphtest::StandIn never(kRenderSlot, (void*)RenderUntilReleased);
        ASSERT_TRUE(graphtest::RunComWithTimeout(
            [&] { handle = CreateSoundFromFileImage(junk.data(), (unsigned)junk.size(), 1, -1); }, 20000));
    }
    EXPECT_LT(GetTickCount() - start, 6000u) << "generous: the limit and the grace for failing reads";
    EXPECT_EQ(-1, handle);
    EXPECT_TRUE(log.Contains("グラフの構築が制限時間内に終わりませんでした"));
    const Bytes good = PcmWav(1, 8000, 16, Ramp16(800, 1));
    const int h = CreateSoundFromFileImage(good.data(), (unsigned)good.size(), 1, -1);
    EXPECT_GE(h, 0) << "the engine goes on";
    EXPECT_EQ(0, DeleteSoundHandle(h));
    EXPECT_GT(D_CBaseObject::LiveObjectCount(), 0) << "the graph left behind holds the reader";
    SetEvent(g_release);
    EXPECT_TRUE(graphtest::WaitForNoLiveObjects(10000)) << "freed once Render returned";
    EXPECT_EQ(blocks, MemLiveBlockCount());
    CloseHandle(g_release);
}

// A good MP3 whose graph never stops: the load fails at the limit and leaves
// the graph behind, which lets go of everything once Stop returns.
TEST_F(HostileSoundFiles, AStopThatNeverReturnsIsLeftBehindAtTheLimit) {
    SetSoundDecoderDisableMask(SOUND_DECODER_MP3_ACM);
    const int warm = LoadSoundFile("half.mp3", 1, -1);   // the platform's first graph is slow to build
    ASSERT_GE(warm, 0);
    EXPECT_EQ(0, DeleteSoundHandle(warm));
    const int blocks = MemLiveBlockCount();
    g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetMp3GraphTimeLimit(1000);
    LogCapture log;
    int handle = 0;
    const DWORD start = GetTickCount();
    {
        graphtest::StandIn never(kStopSlot, (void*)StopWhenReleased, &IID_IMediaControl, kMediaControlEntries);
        ASSERT_TRUE(graphtest::RunComWithTimeout([&] { handle = LoadSoundFile("half.mp3", 1, -1); }, 20000));
    }
    EXPECT_LT(GetTickCount() - start, 8000u) << "generous: the build, the run and the stop's limit";
    EXPECT_EQ(-1, handle);
    EXPECT_TRUE(log.Contains("グラフの停止が制限時間内に終わりませんでした"));
    EXPECT_GT(D_CBaseObject::LiveObjectCount(), 0) << "the graph left behind holds the reader";
    const int h = LoadSoundFile("half.mp3", 1, -1);
    EXPECT_GE(h, 0) << "the engine goes on";
    EXPECT_EQ(0, DeleteSoundHandle(h));
    SetEvent(g_release);
    EXPECT_TRUE(graphtest::WaitForNoLiveObjects(10000)) << "freed once Stop returned";
    EXPECT_EQ(blocks, MemLiveBlockCount());
    CloseHandle(g_release);
}

// Mono 16-bit samples whose value tells their place in the 4-second source.
const int kRate = 8000, kFrames = 4 * kRate;
int FrameOfValue(int16_t v) { return (int)(((uint16_t)v * 28087u) % 65536u) % kFrames; }  // 7 x 28087 = 1 mod 65536

// A looping stream plays on through a load that spends 1.5 s in the graph, as
// a normal sound and as a stream: the sound thread refills it meanwhile, so the
// sample under the cursor is the one its play time says.
TEST_F(HostileSoundFiles, AStreamPlaysOnThroughASlowLoad) {
    ASSERT_EQ(0, TerminateSoundSystem());
    LogicalProcessorCount = 4;   // with the sound thread
    ASSERT_EQ(0, InitializeSoundSystem());
    Bytes pcm;
    for (int i = 0; i < kFrames; i++) Put16(pcm, (uint32_t)(i * 7) & 0xFFFF);
    const Bytes wav = PcmWav(1, kRate, 16, pcm);
    ASSERT_TRUE(WriteBytesToFile("slow.bin", Junk(3000)));
    for (int type : {0, 2}) {
        SCOPED_TRACE(type ? "loaded as a stream" : "loaded as a normal sound");
        SetCreateSoundDataType(2);
        const int h = CreateSoundFromFileImage(wav.data(), (unsigned)wav.size(), 1, -1);
        ASSERT_GE(h, 0);
        ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_LOOP, 1));
        SetCreateSoundDataType(type);
        const DWORD start = GetTickCount();
        {
            graphtest::StandIn slow(kRenderSlot, (void*)SlowRender);
            EXPECT_EQ(-1, LoadSoundFile("slow.bin", 1, -1));
        }
        SetCreateSoundDataType(0);
        const DWORD elapsed = GetTickCount() - start;
        ASSERT_GE(elapsed, kSlowRenderMs);
        const int expect_ms = (int)(elapsed % 4000);
        const int played_ms = GetSoundHandlePlayTime(h);
        const int apart = std::abs(played_ms - expect_ms);
        EXPECT_LT(std::min(apart, 4000 - apart), 300) << "play time " << played_ms << " after " << elapsed << " ms";
        // The sample under the cursor is the one the play time names.
        SoundBufferRecord* ring = &StreamRingOwner(GetSoundRecord(h))->buffers[0];
        const int cursor = GetDSoundBufferPlayCursor(ring) & ~1;
        const int now_ms = GetSoundHandlePlayTime(h);
        void *p1 = nullptr, *p2 = nullptr;
        uint32_t s1 = 0, s2 = 0;
        ASSERT_EQ(0, LockDSoundBuffer(ring, (uint32_t)cursor, 2, &p1, &s1, &p2, &s2));
        const int16_t heard = *(const int16_t*)p1;
        UnlockDSoundBuffer(ring, p1, s1, p2, s2);
        const int at = FrameOfValue(heard), want = now_ms * kRate / 1000;
        const int off = std::abs(at - want);
        EXPECT_LT(std::min(off, kFrames - off), kRate / 5) << "frame " << at << " under the cursor, play time names " << want;
        EXPECT_EQ(0, DeleteSoundHandle(h));
    }
}

}  // namespace
