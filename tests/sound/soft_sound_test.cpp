// Soft-sound tables and the player pump.
#include "sound/periph_records.h"

using namespace soundtest;

namespace {

const uint8_t kStale = 0xEE;

// Software buffers: their play cursor moves only when the test moves it.
class SoftSound : public SoundSystemTest {
    void SetUp() override { SoundSystemTest::SetUp(), SetSoundSoftwareMixingFlag(1); }
};

TEST_F(SoftSound, DeleteTakesOnlyLiveHandlesOfItsKindAndSweepsLowerTheHint) {
    HandleTable* t = GetSoftSoundHandleTable();
    EXPECT_EQ(0, DeleteAllSoftSoundData());
    const int data = MakeSoftSoundData(), player = MakeSoftSoundPlayer(PcmFormat(2, 16), 1600, 400, 0);
    const int data2 = MakeSoftSoundData(), player2 = MakeSoftSoundPlayer(PcmFormat(1, 8), 800, 200, 0);
    ASSERT_TRUE(data >= 0 && player >= 0 && data2 >= 0 && player2 >= 0);
    const int check = HandleCheckOf(data), slot = HandleSlotOf(data);
    const struct { int handle, kind; } refused[] = {
        {MakeHandle(HANDLE_SOFTSOUND, check, SOFTSOUND_HANDLE_MAX), 0}, {MakeHandle(HANDLE_SOUND, check, slot), 0},
        {MakeHandle(HANDLE_SOFTSOUND, check + 1, slot), 0}, {data, SOFTSOUND_KIND_PLAYER}, {player, SOFTSOUND_KIND_DATA}};
    for (auto& r : refused) EXPECT_EQ(-1, DeleteSoftSoundHandle(r.handle, r.kind)) << std::hex << r.handle;
    EXPECT_EQ(0, DeleteSoftSoundHandle(player2, SOFTSOUND_KIND_PLAYER));
    EXPECT_EQ(3, t->free_hint);
    EXPECT_EQ(0, DeleteAllSoftSoundData());
    EXPECT_EQ(2, t->free_hint) << "the hint is one past the highest slot left";
    EXPECT_EQ(0, DeleteAllSoftSoundPlayers());
    EXPECT_TRUE(t->count == 0 && t->free_hint == 0);
    EXPECT_EQ(GetSoftSoundPlayerListHead()->next->next, nullptr) << "a player stayed listed";
    // The fixture's end finds every block (records, PCM, queues, buffers) freed.
}

// 16-bit stereo, a 1600-byte ring and a 400-byte target, walked by hand: each
// step queues bytes, moves the cursor and pumps; the ring must then hold the
// queued bytes and silence after them where the write went, old bytes elsewhere.
TEST_F(SoftSound, PumpWritesQueuedDataThenSilenceAndMarksWhereSilenceStarts) {
    SoftSoundRecord* p = nullptr;
    ASSERT_GE(MakeSoftSoundPlayer(PcmFormat(2, 16), 1600, 400, kStale, &p), 0);
    const struct { uint32_t queued, cursor, write; int silence_start, passed; } steps[] = {
        {400, 0, 800, 400, 0},   // 800 due: 400 of data, 400 of silence
        {0, 200, 800, 400, 0},   // still 600 ahead: nothing due
        {0, 500, 1300, 400, 1},  // over the silence start: 500 of silence
        {300, 1000, 200, 0, 0},  // new data ends at the ring's end: its silence starts at 0
        {0, 100, 900, 0, 1},     // two targets ahead again
    };
    Bytes model(1600, kStale);
    int next = 0;
    for (const auto& s : steps) {
        Bytes data(s.queued);
        for (auto& b : data) b = (uint8_t)(1 + next++ % 250);
        QueueSamples(p, data);
        const uint32_t from = p->write_cursor;
        SetDSoundBufferPosition(&p->buffer, s.cursor);
        ASSERT_EQ(0, PumpSoftSoundPlayer(p));
        for (uint32_t i = 0; i < (s.write + 1600 - from) % 1600; i++) model[(from + i) % 1600] = i < s.queued ? data[i] : 0;
        EXPECT_EQ(model, Bytes((uint8_t*)p->buffer.memory, (uint8_t*)p->buffer.memory + 1600)) << "cursor " << s.cursor;
        EXPECT_EQ(s.write, p->write_cursor) << "cursor " << s.cursor;
        EXPECT_EQ(s.silence_start, p->silence_start) << "cursor " << s.cursor;
        EXPECT_EQ(s.passed, p->silence_passed) << "cursor " << s.cursor;
    }
}

TEST_F(SoftSound, SilenceFillsEveryWidthWithItsOwnQuietValue) {
    const struct { int channels, bits; uint8_t quiet; } widths[] = {{1, 8, 0x80}, {1, 16, 0}, {2, 24, 0}, {2, 32, 0}};
    for (auto& w : widths) {
        SoftSoundRecord* p = nullptr;
        const WAVEFORMATEX fmt = PcmFormat(w.channels, w.bits);
        const int h = MakeSoftSoundPlayer(fmt, fmt.nBlockAlign * 240u, fmt.nBlockAlign * 60u, kStale, &p);
        ASSERT_GE(h, 0);
        ASSERT_EQ(0, PumpSoftSoundPlayer(p));
        const uint8_t* ring = (const uint8_t*)p->buffer.memory;
        EXPECT_EQ(Bytes(2 * p->target, w.quiet), Bytes(ring, ring + 2 * p->target)) << w.bits << "-bit";
        DeleteSoftSoundHandle(h, SOFTSOUND_KIND_PLAYER);
    }
}

}  // namespace
