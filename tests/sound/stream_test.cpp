// Stream sounds on software buffers, whose cursor only moves when the test
// moves it: what lies under the cursor is "heard", so every refill, loop,
// source change and end is checked byte for byte.
#include "sound/sound_fixture.h"

#include <fstream>

#include "engine/file/file_stream.h"
#include "engine/sound/sound_stream.h"
#include "engine/system/library.h"

using namespace soundtest;

namespace {

const int kRate = 8000;  // mono 16-bit: B = 16000 bytes a second, the ring is 16000 bytes

Bytes Pattern(int frames, int seed) {
    Bytes b;
    for (int i = 0; i < frames; i++) Put16(b, (uint32_t)(i * 7 + seed * 1001 + 1) & 0xFFFF);
    return b;
}

Bytes Repeat(const Bytes& b, int times) {
    Bytes out;
    for (int i = 0; i < times; i++) out.insert(out.end(), b.begin(), b.end());
    return out;
}

// One logical processor: no sound thread, the test refills by hand.
class SoundStreams : public SoundSystemTest {
protected:
    void SetUp() override {
        saved_processors_ = LogicalProcessorCount;
        LogicalProcessorCount = 1;
        SoundSystemTest::SetUp();
        SetSoundSoftwareMixingFlag(1);
    }
    void TearDown() override {
        SoundSystemTest::TearDown();
        LogicalProcessorCount = saved_processors_;
    }
    // A stream sound of the given sources (kind 2 from memory), primed.
    int MakeStream(const std::vector<Bytes>& wavs, const std::vector<int>& loops, int kind = 2) {
        int h = AddSoundData(-1);
        for (size_t i = 0; i < wavs.size(); i++)
            if (SetupStreamSoundFromMemory(wavs[i].data(), (uint32_t)wavs[i].size(), (uint8_t)loops[i], h, kind, -1) != 0)
                return -1;
        PrimeStreamSound(h);
        return h;
    }
    SoundBufferRecord* Ring(int h) { return &StreamRingOwner(GetSoundRecord(h))->buffers[0]; }
    // Plays `bytes` of the ring: the bytes under the cursor are heard, the cursor
    // moves on, and the refill runs as the thread or the pump would run it.
    void Play(int h, uint32_t bytes) {
        SoundBufferRecord* b = Ring(h);
        if (!b->play) return;
        const uint32_t align = b->format.nBlockAlign, size = b->sample_count * align, pos = b->position * align;
        for (uint32_t i = 0; i < bytes; i++) heard.push_back(((uint8_t*)b->memory)[(pos + i) % size]);
        b->position = (int)(((pos + bytes) % size) / align);
        RefillStreamSound(h);
        EXPECT_LE(GetSoundHandlePlayTime(h), GetSoundHandleLengthMs(h));
    }
    // Plays in 1/50 s steps until the sound stops or `limit` bytes were heard.
    void PlayUntilStopped(int h, size_t limit) {
        while (IsSoundHandlePlaying(h) == 1 && heard.size() < limit) Play(h, 320);
    }
    static bool AllBytes(const Bytes& b, size_t from, uint8_t v) {
        for (size_t i = from; i < b.size(); i++)
            if (b[i] != v) return false;
        return true;
    }
    Bytes heard;
    int saved_processors_ = 1;
};

Bytes Wav(const Bytes& pcm) { return PcmWav(1, kRate, 16, pcm); }

// No sample at all; a chunk behind the data keeps the file readable.
Bytes EmptyWav() {
    return RiffWriter().Chunk("fmt ", FormatBody(1, 1, kRate, 16, 2, 2 * kRate)).Chunk("data", {}).Chunk("LIST", Bytes(4)).Build();
}

TEST_F(SoundStreams, SourcesPlayInTurnWithTheirLoopCountsThenStop) {
    const Bytes a = Pattern(10400, 1), b = Pattern(3000, 2), c = Pattern(7000, 3);  // a is 1.3 rings
    const struct {
        const char* what;
        std::vector<Bytes> sources;
        std::vector<int> loops;
        Bytes expect;
        int samples;  // loops not counted
    } cases[] = {
        {"once", {Wav(a)}, {0}, a, 10400},
        {"loop count 2 plays three times", {Wav(a)}, {2}, Repeat(a, 3), 10400},
        {"loop count 200 counts as negative: once", {Wav(a)}, {200}, a, 10400},
        {"three sources", {Wav(a), Wav(b), Wav(c)}, {0, 1, 0}, Cat({a, b, b, c}), 20400},
        {"shorter than the prime", {Wav(b)}, {0}, b, 3000},
        {"empty", {EmptyWav()}, {0}, Bytes(), 0},
    };
    for (auto& t : cases) {
        SCOPED_TRACE(t.what);
        heard.clear();
        int h = MakeStream(t.sources, t.loops);
        ASSERT_NE(-1, h);
        EXPECT_EQ(t.samples, GetSoundHandleSampleCount(h));
        ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
        PlayUntilStopped(h, t.expect.size() + 5 * 16000);
        EXPECT_EQ(0, IsSoundHandlePlaying(h)) << "did not stop by itself";
        ASSERT_GE(heard.size(), t.expect.size());
        EXPECT_TRUE(std::equal(t.expect.begin(), t.expect.end(), heard.begin())) << "first difference at "
            << (std::mismatch(t.expect.begin(), t.expect.end(), heard.begin()).first - t.expect.begin());
        EXPECT_TRUE(AllBytes(heard, t.expect.size(), 0)) << "not silent after the end";
        EXPECT_LT(heard.size(), t.expect.size() + 16000) << "stopped a ring or more after the end";
        EXPECT_EQ(0, DeleteSoundHandle(h));
    }
}

TEST_F(SoundStreams, EndlessSourcesAndLoopingPlaysGoOnWithoutAGap) {
    const Bytes a = Pattern(10400, 1), b = Pattern(3000, 2);
    const struct {
        const char* what;
        std::vector<Bytes> sources;
        std::vector<int> loops;
        int play_type;
        Bytes pass;  // what repeats
    } cases[] = {
        {"loop count 255", {Wav(a)}, {255}, SOUND_PLAY_BACK, a},
        {"looping play", {Wav(a), Wav(b)}, {0, 0}, SOUND_PLAY_LOOP, Cat({a, b})},
        {"looping play of a short sound", {Wav(b)}, {1}, SOUND_PLAY_LOOP, Repeat(b, 2)},
    };
    for (auto& t : cases) {
        SCOPED_TRACE(t.what);
        heard.clear();
        int h = MakeStream(t.sources, t.loops);
        ASSERT_NE(-1, h);
        ASSERT_EQ(0, PlaySoundHandle(h, t.play_type, 1));
        const Bytes expect = Repeat(t.pass, 4);
        int restarts = 0, last_time = 0;
        while (heard.size() < expect.size()) {
            Play(h, 320);
            int now = GetSoundHandlePlayTime(h);
            if (now < last_time) {
                restarts++;
                EXPECT_LT(now, 60) << "play time after the loop-back";
            }
            last_time = now;
        }
        EXPECT_EQ(1, IsSoundHandlePlaying(h));
        EXPECT_TRUE(std::equal(expect.begin(), expect.end(), heard.begin())) << "first difference at "
            << (std::mismatch(expect.begin(), expect.end(), heard.begin()).first - expect.begin());
        if (t.play_type == SOUND_PLAY_LOOP) {
            EXPECT_GE(restarts, 3) << "play time did not restart at the loops";
        }
        EXPECT_EQ(0, StopSoundHandle(h));
        EXPECT_EQ(0, IsSoundHandlePlaying(h));
        EXPECT_EQ(0, DeleteSoundHandle(h));
    }
}

TEST_F(SoundStreams, PlayStopAndResumeRules) {
    const Bytes a = Pattern(24000, 4);  // three seconds
    int h = MakeStream({Wav(a)}, {0});
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
    for (int i = 0; i < 40; i++) Play(h, 320);
    const int time = GetSoundHandlePlayTime(h);
    EXPECT_NEAR(800, time, 25);
    // Already playing: without from-top refused and nothing changes.
    EXPECT_EQ(-1, PlaySoundHandle(h, SOUND_PLAY_BACK, 0));
    EXPECT_EQ(1, IsSoundHandlePlaying(h));
    // Stopped and played again without from-top: it goes on where it was, with no prime in between.
    EXPECT_EQ(0, StopSoundHandle(h));
    Play(h, 320);  // a stopped ring is not heard
    EXPECT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 0));
    for (int i = 0; i < 40; i++) Play(h, 320);
    ASSERT_TRUE(std::equal(heard.begin(), heard.end(), a.begin())) << "resume lost or repeated data at "
        << (std::mismatch(heard.begin(), heard.end(), a.begin()).first - heard.begin()) << " of " << heard.size();
    // From the top: everything heard from here starts at the beginning again.
    const size_t restart = heard.size();
    EXPECT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
    EXPECT_LT(GetSoundHandlePlayTime(h), 25);
    for (int i = 0; i < 60; i++) Play(h, 320);
    EXPECT_TRUE(std::equal(heard.begin() + restart, heard.end(), a.begin()))
        << (std::mismatch(heard.begin() + restart, heard.end(), a.begin()).first - heard.begin() - restart);
    // A finished sound switched to looping starts over from its first byte.
    PlayUntilStopped(h, a.size() * 2);
    EXPECT_EQ(0, IsSoundHandlePlaying(h));
    heard.clear();
    EXPECT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_LOOP, 0));
    for (int i = 0; i < 200; i++) Play(h, 320);
    const Bytes twice = Repeat(a, 2);
    EXPECT_TRUE(std::equal(heard.begin(), heard.end(), twice.begin()));
}

TEST_F(SoundStreams, EightBitSilenceAndAFreshRingAreAtTheMidpoint) {
    const Bytes pcm8(2000, 0x10);
    int h = MakeStream({PcmWav(1, kRate, 8, pcm8)}, {0});
    ASSERT_NE(-1, h);
    SoundBufferRecord* ring = Ring(h);
    ASSERT_EQ(8000, ring->sample_count);
    // The prime wrote the sound and an eighth of a second of silence; the rest was never written.
    EXPECT_TRUE(AllBytes(Bytes((uint8_t*)ring->memory + 2000, (uint8_t*)ring->memory + 8000), 0, 0x80));
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
    PlayUntilStopped(h, 40000);
    EXPECT_EQ(0, IsSoundHandlePlaying(h));
    EXPECT_TRUE(std::equal(pcm8.begin(), pcm8.end(), heard.begin()));
    EXPECT_TRUE(AllBytes(heard, pcm8.size(), 0x80)) << "8-bit silence must be 0x80";
}

TEST_F(SoundStreams, SourcesAreCheckedAndFailuresLeaveTheSoundPlayable) {
    LogCapture log;
    const Bytes a = Pattern(4000, 5), b = Pattern(2000, 6);
    const Bytes wa = Wav(a), wb = Wav(b), other = PcmWav(2, kRate, 16, Pattern(2000, 7));
    int h = AddSoundData(-1);
    auto add = [&](const Bytes& w, int kind) {
        return SetupStreamSoundFromMemory(w.data(), (uint32_t)w.size(), 0, h, kind, -1);
    };
    ASSERT_EQ(0, add(wa, 2));
    EXPECT_EQ(-1, add(other, 2));
    EXPECT_TRUE(log.Contains("フォーマットの違う音声データは同時に使うことは出来ません"));
    EXPECT_EQ(-1, add(wb, 1));
    EXPECT_EQ(-1, add(wb, 7));
    EXPECT_TRUE(log.Contains("ＷＡＶファイルのストリームイメージのセットアップに失敗しました"));
    EXPECT_EQ(-1, add(Bytes(100, 0x55), 2));
    EXPECT_TRUE(log.Contains("音声データのオープンに失敗しました"));
    ASSERT_EQ(0, add(wb, 0));  // decoded whole when added
    std::ofstream("stream_source.wav", std::ios::binary).write((const char*)wa.data(), wa.size());
    const int files = FileStreamOpenCount();
    ASSERT_EQ(0, SetupStreamSoundFromFile("stream_source.wav", 0, h, 3, -1));
    EXPECT_EQ(files + 1, FileStreamOpenCount()) << "kind 3 reads its file while playing";
    EXPECT_EQ(-1, add(wb, 2));
    EXPECT_TRUE(log.Contains("ストリーム風サウンドの制御データ領域がいっぱいです"));
    EXPECT_EQ(-1, SetupStreamSoundFromFile("no_such_file.wav", 0, h, 3, -1));
    EXPECT_TRUE(log.Contains("右記のＷＡＶファイルのロードに失敗しました：no_such_file.wav"));
    EXPECT_EQ(4000 + 2000 + 4000, GetSoundHandleSampleCount(h));

    PrimeStreamSound(h);
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
    // Nothing may be added to a sound that plays, nor to a normal sound.
    int normal = CreateSoundFromFileImage(wb.data(), (unsigned)wb.size(), 1, -1);
    log.Clear();
    EXPECT_EQ(-1, add(wb, 2));
    EXPECT_TRUE(log.Contains("既に再生中のストリームサウンドデータにデータを追加しようとしました"));
    EXPECT_EQ(-1, SetupStreamSoundFromMemory(wb.data(), (uint32_t)wb.size(), 0, normal, 2, -1));
    EXPECT_TRUE(log.Contains("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound"));
    PlayUntilStopped(h, 100000);
    const Bytes expect = Cat({a, b, a});
    EXPECT_TRUE(std::equal(expect.begin(), expect.end(), heard.begin()));
    EXPECT_EQ(0, DeleteSoundHandle(h));
    EXPECT_EQ(files, FileStreamOpenCount()) << "the file of a kind 3 source closes with its sound";
    std::remove("stream_source.wav");
}

TEST_F(SoundStreams, RefillNeverSpinsOnSourcesThatGiveNothing) {
    const Bytes tiny = Pattern(10, 8);
    const struct {
        Bytes pcm;
        int loops, play_type;
    } cases[] = {{tiny, 255, SOUND_PLAY_BACK}, {Bytes(), 255, SOUND_PLAY_BACK}, {Bytes(), 0, SOUND_PLAY_LOOP},
                 {tiny, 0, SOUND_PLAY_LOOP}};
    for (auto& t : cases) {
        int h = MakeStream({t.pcm.empty() ? EmptyWav() : Wav(t.pcm)}, {t.loops});
        ASSERT_NE(-1, h);
        ASSERT_TRUE(RunWithTimeout(
            [&] {
                PlaySoundHandle(h, t.play_type, 1);
                for (int i = 0; i < 200; i++) Play(h, 320);
            },
            20000))
            << "refill spins, loops " << t.loops;
        EXPECT_EQ(1, IsSoundHandlePlaying(h)) << "an endless sound ended";
        DeleteSoundHandle(h);
    }
}

TEST_F(SoundStreams, SharedRingIsTakenOverAndFreedWithItsLastUser) {
    const Bytes a = Pattern(8000, 9), b = Pattern(6000, 10), wa = Wav(a), wb = Wav(b);
    int owner = MakeStream({wa}, {0});
    int sharer = AddSoundData(-1);
    ASSERT_EQ(0, SetupStreamSoundFromMemory(wb.data(), (uint32_t)wb.size(), 0, sharer, 2, owner));
    EXPECT_EQ(owner, GetSoundRecord(sharer)->partner);
    EXPECT_FALSE(GetSoundRecord(sharer)->buffers[0].used) << "a sharer makes no ring of its own";
    EXPECT_EQ(1, GetSoundRecord(owner)->share_count);
    ASSERT_EQ(0, PlaySoundHandle(owner, SOUND_PLAY_BACK, 1));
    for (int i = 0; i < 10; i++) Play(owner, 320);
    // The sharer takes the ring: the owner stops and the sharer's sound is heard from its start.
    heard.clear();
    ASSERT_EQ(0, PlaySoundHandle(sharer, SOUND_PLAY_BACK, 1));
    EXPECT_EQ(0, IsSoundHandlePlaying(owner));
    EXPECT_EQ(1, IsSoundHandlePlaying(sharer));
    PlayUntilStopped(sharer, 60000);
    EXPECT_TRUE(std::equal(b.begin(), b.end(), heard.begin()));
    // The owner goes while shared: its handle stays until the sharer goes too.
    EXPECT_EQ(0, DeleteSoundHandle(owner));
    ASSERT_NE(nullptr, GetSoundRecord(owner));
    EXPECT_EQ(1, GetSoundRecord(owner)->delete_pending);
    EXPECT_EQ(0, DeleteSoundHandle(sharer));
    EXPECT_EQ(nullptr, GetSoundRecord(owner));
    EXPECT_EQ(0, GetSoundHandleTable()->count);
}

}  // namespace
