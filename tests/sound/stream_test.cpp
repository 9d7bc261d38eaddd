// Stream sounds on software buffers, whose cursor only moves when the test
// moves it: what lies under the cursor is "heard", so every refill, loop,
// source change and end is checked byte for byte.
#include "sound/sound_fixture.h"

#include <algorithm>

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
    while (times-- > 0) out.insert(out.end(), b.begin(), b.end());
    return out;
}
Bytes Wav(const Bytes& pcm) { return PcmWav(1, kRate, 16, pcm); }
// No sample at all; a chunk behind the data keeps the file readable.
Bytes EmptyWav() {
    return RiffWriter().Chunk("fmt ", FormatBody(1, 1, kRate, 16, 2, 2 * kRate)).Chunk("data", {}).Chunk("LIST", Bytes(4)).Build();
}
// Where `got` from `at` first differs from `want`; -1 when it holds all of it there.
long Diff(const Bytes& got, size_t at, const Bytes& want) {
    if (got.size() < at + want.size()) return (long)got.size();
    auto m = std::mismatch(want.begin(), want.end(), got.begin() + at);
    return m.first == want.end() ? -1 : (long)(m.first - want.begin());
}

// One logical processor: no sound thread, the test refills by hand.
class SoundStreams : public SoundSystemTest {
protected:
    void SetUp() override {
        LogicalProcessorCount = 1;
        SoundSystemTest::SetUp();
        SetSoundSoftwareMixingFlag(1);
    }
    void TearDown() override {
        SoundSystemTest::TearDown();
        LogicalProcessorCount = saved_;
    }
    // A primed stream sound of the given sources (of the kind, from memory); -1 when one is refused.
    int MakeStream(const std::vector<Bytes>& wavs, const std::vector<int>& loops, int kind = 2) {
        int h = AddSoundData(-1);
        for (size_t i = 0; i < wavs.size(); i++)
            if (SetupStreamSoundFromMemory(wavs[i].data(), (uint32_t)wavs[i].size(), (uint8_t)loops[i], h, kind,
                                           -1) != 0)
                return -1;
        PrimeStreamSound(h);
        return h;
    }
    SoundBufferRecord* Ring(int h) { return &StreamRingOwner(GetSoundRecord(h))->buffers[0]; }
    // The bytes under the cursor are heard, the cursor moves on, and the refill
    // runs as the thread or the pump would run it.
    void Play(int h, uint32_t bytes) {
        SoundBufferRecord* b = Ring(h);
        if (!b->play) return;
        const uint32_t align = b->format.nBlockAlign, size = b->sample_count * align, pos = b->position * align;
        for (uint32_t i = 0; i < bytes; i++) heard.push_back(((uint8_t*)b->memory)[(pos + i) % size]);
        b->position = (int)(((pos + bytes) % size) / align);
        RefillStreamSound(h);
        EXPECT_LE(GetSoundHandlePlayTime(h), GetSoundHandleLengthMs(h));
    }
    void PlayUntilStopped(int h, size_t limit) { while (IsSoundHandlePlaying(h) == 1 && heard.size() < limit) Play(h, 320); }
    // A one-shot that stopped by itself within a ring of its end, `expect` and then only silence heard.
    void ExpectEnded(int h, const Bytes& expect, uint8_t silence = 0) {
        EXPECT_EQ(0, IsSoundHandlePlaying(h)) << "did not stop by itself";
        EXPECT_EQ(-1, Diff(heard, 0, expect));
        EXPECT_LT(heard.size(), expect.size() + 16000) << "stopped a ring or more after the end";
        if (heard.size() >= expect.size())
            EXPECT_EQ(-1, Diff(heard, expect.size(), Bytes(heard.size() - expect.size(), silence)));
    }
    // Refills every 30 ms, the first of them a whole chunk late when asked, until the sound stops or `limit` is heard.
    void PlayWithRefills(int h, size_t limit, bool late) {
        for (int i = 0; IsSoundHandlePlaying(h) == 1 && heard.size() < limit; i++) Play(h, late && i == 0 ? 480 + 2000 : 480);
    }
    Bytes heard;
    int saved_ = LogicalProcessorCount;
};

TEST_F(SoundStreams, SourcesPlayInTurnWithTheirLoopCountsThenStop) {
    const Bytes a = Pattern(10400, 1), b = Pattern(3000, 2), c = Pattern(7000, 3), pcm8(2000, 0x10);  // a: 1.3 rings
    const struct {
        const char* what;
        std::vector<Bytes> sources;
        std::vector<int> loops;
        Bytes expect;
        int samples;  // loops not counted
        uint8_t silence;
    } cases[] = {
        {"loop count 2 plays three times", {Wav(a)}, {2}, Repeat(a, 3), 10400, 0},
        {"loop count 200 counts as negative: once", {Wav(a)}, {200}, a, 10400, 0},
        {"three sources", {Wav(a), Wav(b), Wav(c)}, {0, 1, 0}, Cat({a, b, b, c}), 20400, 0},
        {"8-bit, shorter than the prime: silence is the midpoint", {PcmWav(1, kRate, 8, pcm8)}, {0}, pcm8, 2000, 0x80},
    };
    for (auto& t : cases) {
        SCOPED_TRACE(t.what);
        heard.clear();
        int h = MakeStream(t.sources, t.loops);
        ASSERT_NE(-1, h);
        EXPECT_EQ(t.samples, GetSoundHandleSampleCount(h));
        // What the prime left unwritten was silenced when the ring was made.
        SoundBufferRecord* ring = Ring(h);
        const uint8_t* mem = (const uint8_t*)ring->memory;
        const uint32_t ring_bytes = ring->sample_count * ring->format.nBlockAlign;
        EXPECT_EQ(-1, Diff(Bytes(mem + ring_bytes * 7 / 8, mem + ring_bytes), 0, Bytes(ring_bytes / 8, t.silence)));
        ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
        PlayUntilStopped(h, t.expect.size() + 5 * 16000);
        ExpectEnded(h, t.expect, t.silence);
        EXPECT_EQ(0, DeleteSoundHandle(h));
    }
    // A source of no sample would play nothing, or silence: refused, whole or
    // decoded ahead; the sources before it stay.
    const Bytes empty = EmptyWav();
    const int h = MakeStream({Wav(a)}, {0});
    for (int kind : {0, 2}) EXPECT_NE(0, SetupStreamSoundFromMemory(empty.data(), (uint32_t)empty.size(), 0, h, kind, -1));
    EXPECT_EQ(10400, GetSoundHandleSampleCount(h));
    EXPECT_EQ(0, DeleteSoundHandle(h));
}

// Endless plays go on without a gap; sources too short to fill a refill leave
// gaps but never make the refill spin.
TEST_F(SoundStreams, EndlessSourcesAndLoopingPlaysGoOn) {
    const Bytes a = Pattern(10400, 1), b = Pattern(3000, 2), tiny = Wav(Pattern(10, 8));
    const struct {
        const char* what;
        std::vector<Bytes> sources;
        std::vector<int> loops;
        int play_type;
        Bytes pass;  // what repeats without a gap; empty: only no spin is checked
    } cases[] = {
        {"loop count 255", {Wav(a)}, {255}, SOUND_PLAY_BACK, a},
        {"looping play", {Wav(a), Wav(b)}, {0, 0}, SOUND_PLAY_LOOP, Cat({a, b})},
        {"looping play of a short sound", {Wav(b)}, {1}, SOUND_PLAY_LOOP, Repeat(b, 2)},
        {"tiny, 255", {tiny}, {255}, SOUND_PLAY_BACK, {}},
        {"tiny, looping play", {tiny}, {0}, SOUND_PLAY_LOOP, {}},
    };
    for (auto& t : cases) {
        SCOPED_TRACE(t.what);
        heard.clear();
        int h = MakeStream(t.sources, t.loops);
        ASSERT_EQ(0, PlaySoundHandle(h, t.play_type, 1));
        const Bytes expect = Repeat(t.pass, 4);
        int restarts = 0, last_time = 0;
        ASSERT_TRUE(RunWithTimeout(
            [&] {
                while (heard.size() < std::max(expect.size(), (size_t)64000)) {
                    Play(h, 320);
                    const int now = GetSoundHandlePlayTime(h);
                    if (now < last_time) restarts++;
                    if (now < last_time && !t.pass.empty()) EXPECT_LT(now, 60) << "play time after the loop-back";
                    last_time = now;
                }
            },
            20000))
            << "refill spins";
        EXPECT_EQ(1, IsSoundHandlePlaying(h));
        EXPECT_EQ(-1, Diff(heard, 0, expect));
        if (t.play_type == SOUND_PLAY_LOOP && !t.pass.empty()) EXPECT_GE(restarts, 3) << "no restart at the loops";
        EXPECT_EQ(0, DeleteSoundHandle(h));
    }
}

// Loops and sources much shorter than a refill: every refill fills its whole
// window, looping and moving on as often as that takes, so nothing stale is heard.
TEST_F(SoundStreams, ShortLoopsAndSourcesFillEveryRefill) {
    const Bytes ms1 = Pattern(8, 11), ms5 = Pattern(40, 12), ms10 = Pattern(80, 13), ms50 = Pattern(400, 14),
                ms125 = Pattern(1000, 15);
    const struct {
        const char* what;
        std::vector<Bytes> sources;
        std::vector<int> loops;
        int play_type;
        Bytes pass;  // what repeats; a one-shot plays it once and stops
    } cases[] = {
        {"1 ms, 255", {ms1}, {255}, SOUND_PLAY_BACK, ms1},
        {"10 ms, 255", {ms10}, {255}, SOUND_PLAY_BACK, ms10},
        {"50 ms, 255", {ms50}, {255}, SOUND_PLAY_BACK, ms50},
        {"125 ms, 255", {ms125}, {255}, SOUND_PLAY_BACK, ms125},
        {"short sources in a row, once", {ms1, ms10, ms5}, {3, 1, 0}, SOUND_PLAY_BACK,
         Cat({Repeat(ms1, 4), ms10, ms10, ms5})},
        {"short sources in a row, looping play", {ms1, ms10, ms5}, {3, 1, 0}, SOUND_PLAY_LOOP,
         Cat({Repeat(ms1, 4), ms10, ms10, ms5})},
    };
    for (auto& t : cases)
        for (bool late : {false, true}) {
            SCOPED_TRACE(::testing::Message() << t.what << (late ? ", a late refill" : ""));
            heard.clear();
            std::vector<Bytes> wavs;
            for (auto& pcm : t.sources) wavs.push_back(Wav(pcm));
            int h = MakeStream(wavs, t.loops);
            ASSERT_EQ(0, PlaySoundHandle(h, t.play_type, 1));
            const bool once = t.play_type == SOUND_PLAY_BACK && t.loops[0] != 255;
            const size_t listen = 40000;  // two and a half rings
            ASSERT_TRUE(RunWithTimeout([&] { PlayWithRefills(h, once ? t.pass.size() + 5 * 16000 : listen, late); },
                                       20000));
            if (once) ExpectEnded(h, t.pass);
            else EXPECT_EQ(-1, Diff(heard, 0, Repeat(t.pass, (int)(listen / t.pass.size())))) << "first wrong byte";
            EXPECT_EQ(0, DeleteSoundHandle(h));
        }
}

TEST_F(SoundStreams, PlayStopAndResumeRules) {
    const Bytes a = Pattern(24000, 4);  // three seconds
    int h = MakeStream({Wav(a)}, {0});
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
    for (int i = 0; i < 40; i++) Play(h, 320);
    EXPECT_NEAR(800, GetSoundHandlePlayTime(h), 25);
    // Already playing: without from-top refused and nothing changes.
    EXPECT_EQ(-1, PlaySoundHandle(h, SOUND_PLAY_BACK, 0));
    EXPECT_EQ(1, IsSoundHandlePlaying(h));
    // Stopped and played again without from-top: it goes on where it was, with no prime in between.
    EXPECT_EQ(0, StopSoundHandle(h));
    Play(h, 320);  // a stopped ring is not heard
    EXPECT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 0));
    for (int i = 0; i < 40; i++) Play(h, 320);
    ASSERT_EQ(-1, Diff(a, 0, heard)) << "resume lost or repeated data";
    // From the top: everything heard from here starts at the beginning again.
    const size_t restart = heard.size();
    EXPECT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
    EXPECT_LT(GetSoundHandlePlayTime(h), 25);
    for (int i = 0; i < 60; i++) Play(h, 320);
    EXPECT_EQ(-1, Diff(a, 0, Bytes(heard.begin() + restart, heard.end())));
    // A finished sound switched to looping starts over from its first byte.
    PlayUntilStopped(h, a.size() * 2);
    EXPECT_EQ(0, IsSoundHandlePlaying(h));
    heard.clear();
    EXPECT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_LOOP, 0));
    for (int i = 0; i < 200; i++) Play(h, 320);
    EXPECT_EQ(-1, Diff(Repeat(a, 2), 0, heard));
}

// A loop-back point is passed once the cursor has moved from the last cursor
// up to or past it; a point right at the last cursor is the next byte heard.
// Points at one spacing are one entry: the position counts from the last passed.
TEST_F(SoundStreams, LoopBackPointsCountFromTheLastCursorOn) {
    int h = MakeStream({Wav(Pattern(24000, 4))}, {0});
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_LOOP, 1));
    const struct {
        uint32_t last, point, period, repeats, cursor;
        int left;               // entries still pending
        uint32_t position;      // after the move, with the loop-back start at 100
        uint32_t next, more;    // the pending entry's next point and repeats
    } cases[] = {
        {4000, 4000, 0, 0, 6000, 0, 2100},   {4000, 6000, 0, 0, 6000, 0, 100},
        {4000, 6001, 0, 0, 6000, 1, 7000, 6001, 0},
        {12000, 12000, 0, 0, 2000, 0, 6100}, {12000, 4000, 0, 0, 4000, 0, 100},  {12000, 14000, 0, 0, 2000, 0, 4100},
        {12000, 4001, 0, 0, 4000, 1, 13000, 4001, 0}, {12000, 11999, 0, 0, 2000, 1, 11000, 11999, 0},
        // A run of points every 500 bytes: three passed, one left; then all passed, across the ring's end.
        {4000, 4000, 500, 3, 5200, 1, 300, 5500, 0}, {15000, 15500, 500, 3, 1300, 0, 400},
        {15000, 15500, 500, 3, 500, 1, 100, 1000, 0},
    };
    SoundHandleRecord* s = GetSoundRecord(h);
    for (auto& t : cases) {
        SCOPED_TRACE(::testing::Message() << t.last << " -> " << t.cursor << ", point " << t.point);
        s->last_play_cursor = t.last, s->play_position = 5000;
        s->loop_backs[0] = {t.point, 100, t.period, t.repeats};
        s->loop_back_count = 1;
        ASSERT_EQ(0, UpdateStreamPlayPosition(h, (int)t.cursor));
        EXPECT_EQ(t.left, s->loop_back_count);
        EXPECT_EQ(t.position, s->play_position);
        if (t.left) {
            EXPECT_EQ(t.next, s->loop_backs[0].position);
            EXPECT_EQ(t.more, s->loop_backs[0].repeats);
        }
    }
    EXPECT_EQ(0, DeleteSoundHandle(h));
}

// A loop shorter than the refill window loops back several times in one refill:
// the play time stays on the sample under the cursor through all of them.
TEST_F(SoundStreams, PlayTimeFollowsTheCursorThroughShortLoops) {
    for (int ms : {125, 250, 500, 2000})
        for (int type : {SOUND_PLAY_BACK, SOUND_PLAY_LOOP}) {
            SCOPED_TRACE(::testing::Message() << ms << " ms, " << (type == SOUND_PLAY_LOOP ? "looping play" : "255"));
            Bytes pcm;  // each sample is its frame number
            for (int i = 0; i < ms * kRate / 1000; i++) Put16(pcm, (uint32_t)i);
            int h = MakeStream({Wav(pcm)}, {type == SOUND_PLAY_LOOP ? 0 : 255});
            ASSERT_EQ(0, PlaySoundHandle(h, type, 1));
            int wrong = 0;
            ASSERT_TRUE(RunWithTimeout(
                [&] {
                    for (int step = 0; step < 200; step++) {
                        Play(h, 480);  // 30 ms
                        const SoundBufferRecord* b = Ring(h);
                        const uint8_t* under = (const uint8_t*)b->memory + b->position * 2;
                        const int frame = under[0] | under[1] << 8;
                        if (std::abs(GetSoundHandlePlayTime(h) - frame * 1000 / kRate) > 1) wrong++;
                    }
                },
                20000));
            EXPECT_EQ(0, wrong) << "steps of 200 whose play time is not the sample under the cursor";
            EXPECT_EQ(0, DeleteSoundHandle(h));
        }
}

// A sound shorter than the prime has its end (or its loop-back) in the ring before
// it plays. Played from the top twice before the cursor moves, the second play's
// type decides: a one-shot turned looping loops, a looping play turned one-shot ends.
TEST_F(SoundStreams, FromTopPlaysBeforeTheCursorMovesKeepTheLastPlayType) {
    const Bytes pass = Pattern(3000, 2);
    for (int first : {SOUND_PLAY_BACK, SOUND_PLAY_LOOP}) {
        const int second = first == SOUND_PLAY_LOOP ? SOUND_PLAY_BACK : SOUND_PLAY_LOOP;
        SCOPED_TRACE(second == SOUND_PLAY_LOOP ? "one-shot, then looping" : "looping, then one-shot");
        heard.clear();
        int h = MakeStream({Wav(pass)}, {0});
        ASSERT_EQ(0, PlaySoundHandle(h, first, 1));
        ASSERT_EQ(0, PlaySoundHandle(h, second, 1));
        ASSERT_TRUE(RunWithTimeout([&] { PlayUntilStopped(h, 5 * pass.size()); }, 20000));
        if (second == SOUND_PLAY_LOOP) {
            EXPECT_EQ(1, IsSoundHandlePlaying(h)) << "a looping play stopped";
            EXPECT_EQ(-1, Diff(heard, 0, Repeat(pass, 4)));
        } else {
            ExpectEnded(h, pass);
        }
        EXPECT_EQ(0, DeleteSoundHandle(h));
    }
}

// Played a while (the last refill on time or a chunk late), then played again
// from the top: every byte heard from there is the sources' from their first.
// 44.1 kHz stereo, whose chunk (22048 bytes) does not divide the prime.
TEST_F(SoundStreams, RestartFromTheTopHearsTheFirstByteWhateverTheLength) {
    const uint32_t step = 5292, chunk = 22048;  // 30 ms, an eighth of the ring aligned down
    const struct {
        const char* what;
        int frames;
    } lengths[] = {{"one chunk", 5512}, {"a chunk less a frame", 5511}, {"a chunk and a frame", 5513},
                   {"the prime", 33075}, {"the ring", 44100}};
    const struct {
        const char* what;
        int loops, play_type, passes;  // passes 0: endless
    } modes[] = {{"once", 0, SOUND_PLAY_BACK, 1}, {"three passes", 2, SOUND_PLAY_BACK, 3},
                 {"255", 255, SOUND_PLAY_BACK, 0}, {"looping play", 0, SOUND_PLAY_LOOP, 0}};
    auto listen = [&](int h, int play_type, uint32_t before, bool late) {
        for (uint32_t played = 0; played < before;) {
            const uint32_t n = std::min(step, before - played);
            played += n;
            Play(h, late && played == before ? n + chunk : n);
        }
        heard.clear();
        EXPECT_EQ(0, PlaySoundHandle(h, play_type, 1));
        for (int i = 0; i < 60; i++) Play(h, step);
    };
    auto expect_heard = [&](const Bytes& pass, int passes) {
        const Bytes want = passes ? Cat({Repeat(pass, passes), Bytes(heard.size(), 0)})
                                  : Repeat(pass, (int)(heard.size() / pass.size() + 1));
        EXPECT_EQ(-1, Diff(want, 0, heard)) << "first wrong byte heard after the restart";
    };
    for (auto& l : lengths)
        for (auto& m : modes)
            for (int kind : {0, 2})
                for (uint32_t before : {step, 9 * step})
                    for (bool late : {false, true}) {
                        SCOPED_TRACE(::testing::Message() << l.what << ", " << m.what << ", kind " << kind << ", "
                                                          << before << " bytes" << (late ? ", late" : ""));
                        const Bytes pcm = Ramp16(l.frames, 2);
                        int h = MakeStream({PcmWav(2, 44100, 16, pcm)}, {m.loops}, kind);
                        ASSERT_EQ(0, PlaySoundHandle(h, m.play_type, 1));
                        ASSERT_TRUE(RunWithTimeout([&] { listen(h, m.play_type, before, late); }, 20000));
                        expect_heard(pcm, m.passes);
                        EXPECT_EQ(0, DeleteSoundHandle(h));
                    }
    // The cursor right on a later endless source's loop-back point reads play position 0, and is not the top;
    // nor is it where that point lies at the ring's start, the cursor come round to 0.
    const Bytes a = Ramp16(5000, 2);
    for (int b_samples : {6000, (176400 - 20000) / 2}) {
        SCOPED_TRACE(::testing::Message() << "point at ring offset " << (20000 + b_samples * 2) % 176400);
        const Bytes b = Pattern(b_samples, 3);
        int h = MakeStream({PcmWav(2, 44100, 16, a), PcmWav(2, 44100, 16, b)}, {0, 255});
        ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
        ASSERT_TRUE(RunWithTimeout([&] { listen(h, SOUND_PLAY_BACK, (uint32_t)(a.size() + b.size()), false); }, 20000));
        expect_heard(Cat({a, Repeat(b, (int)(60 * step / b.size()) + 1)}), 1);
        EXPECT_EQ(0, DeleteSoundHandle(h));
    }
}

// The header's byte rate says anything: sizes come from the rate and block
// size, so the sound is as long, as normal and as well streamed as any.
TEST_F(SoundStreams, HeaderByteRatesAreIgnored) {
    const Bytes pcm = Pattern(4000, 17);  // half a second
    for (uint32_t avg : {16000u, 400u, 4u, 1u, 0u}) {
        SCOPED_TRACE(avg);
        Bytes wav = Wav(pcm);
        for (int i = 0; i < 4; i++) wav[28 + i] = (uint8_t)(avg >> (8 * i));
        // Whole: a normal sound of half a second holding the PCM.
        int h = CreateSoundFromFileImage(wav.data(), (unsigned)wav.size(), 1, -1);
        ASSERT_NE(-1, h);
        SoundHandleRecord* s = GetSoundRecord(h);
        EXPECT_EQ(SOUND_KIND_NORMAL, s->kind);
        EXPECT_EQ(16000u, s->format.nAvgBytesPerSec);
        EXPECT_EQ(500, GetSoundHandleLengthMs(h));
        ASSERT_EQ(pcm.size(), s->buffers[0].sample_count * 2u);
        EXPECT_EQ(-1, Diff(Bytes((uint8_t*)s->buffers[0].memory, (uint8_t*)s->buffers[0].memory + pcm.size()), 0, pcm));
        EXPECT_EQ(0, DeleteSoundHandle(h));
        // Streamed: a one-second ring, heard byte for byte, and it ends by itself.
        heard.clear();
        h = MakeStream({wav}, {0});
        ASSERT_NE(-1, h);
        EXPECT_EQ(16000u, GetSoundRecord(h)->ring_size);
        ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
        ASSERT_TRUE(RunWithTimeout([&] { PlayWithRefills(h, 5 * 16000, true); }, 20000));
        ExpectEnded(h, pcm);
        EXPECT_EQ(0, DeleteSoundHandle(h));
    }
}

// Refused sources leave the sound as it was; kind 0 is decoded when added,
// kind 3 reads its file while playing and closes it with the sound.
TEST_F(SoundStreams, SourcesAreCheckedAndFailuresLeaveTheSoundPlayable) {
    LogCapture log;
    const Bytes a = Pattern(4000, 5), b = Pattern(2000, 6), wa = Wav(a), wb = Wav(b);
    int h = AddSoundData(-1), normal = CreateSoundFromFileImage(wb.data(), (unsigned)wb.size(), 1, -1);
    auto add = [&](const Bytes& w, int kind, int to) {
        return SetupStreamSoundFromMemory(w.data(), (uint32_t)w.size(), 0, to, kind, -1);
    };
    ASSERT_EQ(0, add(wa, 2, h));
    EXPECT_EQ(-1, add(PcmWav(2, kRate, 16, Pattern(2000, 7)), 2, h));
    EXPECT_TRUE(log.Contains("フォーマットの違う音声データは同時に使うことは出来ません"));
    EXPECT_EQ(-1, add(wb, 7, h));
    EXPECT_EQ(-1, add(wb, 2, normal));
    ASSERT_EQ(0, add(wb, 0, h));
    std::ofstream("stream_source.wav", std::ios::binary).write((const char*)wa.data(), wa.size());
    const int files = FileStreamOpenCount();
    ASSERT_EQ(0, SetupStreamSoundFromFile("stream_source.wav", 0, h, 3, -1));
    EXPECT_EQ(files + 1, FileStreamOpenCount());
    EXPECT_EQ(-1, add(wb, 2, h)) << "a fourth source";
    EXPECT_EQ(4000 + 2000 + 4000, GetSoundHandleSampleCount(h));
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
    EXPECT_EQ(-1, add(wb, 2, h)) << "added while playing";
    PlayUntilStopped(h, 100000);
    EXPECT_EQ(-1, Diff(heard, 0, Cat({a, b, a})));
    EXPECT_EQ(0, DeleteSoundHandle(h));
    EXPECT_EQ(files, FileStreamOpenCount());
    std::remove("stream_source.wav");
}

TEST_F(SoundStreams, SharedRingIsTakenOverAndFreedWithItsLastUser) {
    const Bytes b = Pattern(6000, 10), wb = Wav(b);
    int owner = MakeStream({Wav(Pattern(8000, 9))}, {0}), sharer = AddSoundData(-1);
    ASSERT_EQ(0, SetupStreamSoundFromMemory(wb.data(), (uint32_t)wb.size(), 0, sharer, 2, owner));
    EXPECT_FALSE(GetSoundRecord(sharer)->buffers[0].used) << "a sharer makes no ring of its own";
    ASSERT_EQ(0, PlaySoundHandle(owner, SOUND_PLAY_BACK, 1));
    for (int i = 0; i < 10; i++) Play(owner, 320);
    // The sharer takes the ring: the owner stops and the sharer is heard from its start.
    heard.clear();
    ASSERT_EQ(0, PlaySoundHandle(sharer, SOUND_PLAY_BACK, 1));
    EXPECT_EQ(0, IsSoundHandlePlaying(owner));
    PlayUntilStopped(sharer, 60000);
    EXPECT_EQ(-1, Diff(heard, 0, b));
    // The owner goes while shared: its handle stays until the sharer goes too.
    EXPECT_EQ(0, DeleteSoundHandle(owner));
    ASSERT_NE(nullptr, GetSoundRecord(owner));
    EXPECT_EQ(0, DeleteSoundHandle(sharer));
    EXPECT_EQ(0, GetSoundHandleTable()->count);
}

}  // namespace
