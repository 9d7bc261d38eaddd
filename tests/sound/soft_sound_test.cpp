// Soft-sound tables and the player pump, on software buffers whose play cursor
// only moves when the test moves it.
#include "sound/periph_records.h"

using namespace soundtest;

namespace {

const uint8_t kStale = 0xEE;

class SoftSound : public SoundSystemTest {
protected:
    void SetUp() override {
        SoundSystemTest::SetUp();
        SetSoundSoftwareMixingFlag(1);
    }
    static int ListedPlayers() {
        int n = 0;
        for (ListNode* p = GetSoftSoundPlayerListHead()->next; p && p->next; p = p->next) n++;
        return n;
    }
};

TEST_F(SoftSound, SweepsDeleteTheirOwnKindAndLowerTheHint) {
    HandleTable* t = GetSoftSoundHandleTable();
    EXPECT_EQ(0, DeleteAllSoftSoundData());
    EXPECT_EQ(0, DeleteAllSoftSoundPlayers());
    EXPECT_EQ(0, t->count);

    const int d0 = MakeSoftSoundData(64);
    SoftSoundRecord* player = nullptr;
    const int p1 = MakeSoftSoundPlayer(PcmFormat(2, 16), 1600, 400, 0, &player);
    const int d2 = MakeSoftSoundData(64);
    const int p3 = MakeSoftSoundPlayer(PcmFormat(1, 8), 800, 200, 0);
    ASSERT_TRUE(d0 >= 0 && p1 >= 0 && d2 >= 0 && p3 >= 0);
    QueueSamples(player, Ramp16(100, 2));
    ASSERT_EQ(4, t->free_hint);

    EXPECT_EQ(0, DeleteSoftSoundHandle(p3, SOFTSOUND_KIND_PLAYER));
    EXPECT_EQ(3, t->free_hint) << "the hint stays above the deleted top slot";
    EXPECT_EQ(0, DeleteAllSoftSoundData());
    EXPECT_EQ(1, t->count);
    EXPECT_EQ(2, t->free_hint) << "the hint is one past the highest slot left";
    EXPECT_EQ(1, ListedPlayers());
    EXPECT_EQ(0, DeleteAllSoftSoundPlayers());
    EXPECT_EQ(0, t->count);
    EXPECT_EQ(0, t->free_hint);
    EXPECT_EQ(0, ListedPlayers());
    // The fixture's end finds every block (records, PCM, queues, buffers) freed.
}

TEST_F(SoftSound, DeleteRefusesAnythingButALiveHandleOfItsKind) {
    const int data = MakeSoftSoundData(16);
    const int player = MakeSoftSoundPlayer(PcmFormat(2, 16), 1600, 400, 0);
    ASSERT_TRUE(data >= 0 && player >= 0);
    const int check = HandleCheckOf(data), slot = HandleSlotOf(data);
    const struct {
        int handle, kind;
        const char* what;
    } refused[] = {
        {MakeHandle(HANDLE_SOFTSOUND, check, SOFTSOUND_HANDLE_MAX), SOFTSOUND_KIND_DATA, "slot 8192"},
        {MakeHandle(HANDLE_SOFTSOUND, check, 0xFFFF), SOFTSOUND_KIND_DATA, "slot 65535"},
        {MakeHandle(HANDLE_SOUND, check, slot), SOFTSOUND_KIND_DATA, "sound type"},
        {MakeHandle(HANDLE_MIDI, check, slot), SOFTSOUND_KIND_DATA, "MIDI type"},
        {MakeHandle(HANDLE_SOFTSOUND, check + 1, slot), SOFTSOUND_KIND_DATA, "check number"},
        {data, SOFTSOUND_KIND_PLAYER, "data as a player"},
        {player, SOFTSOUND_KIND_DATA, "player as data"},
        {-1, SOFTSOUND_KIND_DATA, "-1"},
    };
    for (auto& r : refused) EXPECT_EQ(-1, DeleteSoftSoundHandle(r.handle, r.kind)) << r.what;
    EXPECT_EQ(2, GetSoftSoundHandleTable()->count);
    EXPECT_EQ(0, DeleteSoftSoundHandle(data, SOFTSOUND_KIND_DATA));
    EXPECT_EQ(-1, DeleteSoftSoundHandle(data, SOFTSOUND_KIND_DATA)) << "deleted twice";
    EXPECT_EQ(0, DeleteSoftSoundHandle(player, SOFTSOUND_KIND_PLAYER));
}

// 16-bit stereo, a 1600-byte ring and a 400-byte target, walked by hand.
TEST_F(SoftSound, PumpWritesQueuedDataThenSilenceAndMarksWhereSilenceStarts) {
    SoftSoundRecord* p = nullptr;
    ASSERT_GE(MakeSoftSoundPlayer(PcmFormat(2, 16), 1600, 400, kStale, &p), 0);
    const uint8_t* ring = (const uint8_t*)p->buffer.memory;
    Bytes first = Ramp16(100, 2);  // 400 bytes
    QueueSamples(p, first);

    // Cursor 0, write 0: 800 bytes due, 400 of data and 400 of silence.
    ASSERT_EQ(0, PumpSoftSoundPlayer(p));
    EXPECT_EQ(0, std::memcmp(ring, first.data(), 400));
    EXPECT_EQ(Bytes(400, 0), Bytes(ring + 400, ring + 800));
    EXPECT_EQ(kStale, ring[800]) << "wrote past what was due";
    EXPECT_EQ(800u, p->write_cursor);
    EXPECT_EQ(400, p->silence_start);
    EXPECT_EQ(0, p->queued_samples);

    // Cursor 200: still 600 ahead, nothing due, the silence start not reached.
    SetDSoundBufferPosition(&p->buffer, 200);
    ASSERT_EQ(0, PumpSoftSoundPlayer(p));
    EXPECT_EQ(800u, p->write_cursor);
    EXPECT_EQ(0, p->silence_passed);
    EXPECT_EQ(200u, p->last_play_cursor);

    // Cursor 500: over the silence start; 500 bytes of silence due.
    SetDSoundBufferPosition(&p->buffer, 500);
    ASSERT_EQ(0, PumpSoftSoundPlayer(p));
    EXPECT_EQ(1, p->silence_passed);
    EXPECT_EQ(1300u, p->write_cursor);
    EXPECT_EQ(Bytes(500, 0), Bytes(ring + 800, ring + 1300));

    // New data after the silence was passed, too little for what is due: the
    // write wraps, and the silence after this data gets its own start.
    Bytes second = Ramp16(50, 2);  // 200 bytes
    for (auto& b : second) b ^= 0x55;
    QueueSamples(p, second);
    SetDSoundBufferPosition(&p->buffer, 1000);
    ASSERT_EQ(0, PumpSoftSoundPlayer(p));
    EXPECT_EQ(0, std::memcmp(ring + 1300, second.data(), 200));
    EXPECT_EQ(Bytes(100, 0), Bytes(ring + 1500, ring + 1600));
    EXPECT_EQ(Bytes(200, 0), Bytes(ring, ring + 200));
    EXPECT_EQ(200u, p->write_cursor);
    EXPECT_EQ(0, p->silence_passed);
    EXPECT_EQ(1500, p->silence_start) << "silence written after new data lost its start";
}

// Silence that begins exactly at the ring's end begins at offset 0: an offset
// equal to the ring size is one the cursor never reaches.
TEST_F(SoftSound, SilenceStartingAtTheRingEndWrapsToZero) {
    SoftSoundRecord* p = nullptr;
    ASSERT_GE(MakeSoftSoundPlayer(PcmFormat(2, 16), 1600, 400, kStale, &p), 0);
    p->write_cursor = 1200;
    QueueSamples(p, Ramp16(100, 2));
    SetDSoundBufferPosition(&p->buffer, 1000);
    ASSERT_EQ(0, PumpSoftSoundPlayer(p));
    EXPECT_EQ(0, p->silence_start);
    EXPECT_EQ(200u, p->write_cursor);
    SetDSoundBufferPosition(&p->buffer, 100);
    ASSERT_EQ(0, PumpSoftSoundPlayer(p));
    EXPECT_EQ(1, p->silence_passed);
}

TEST_F(SoftSound, SilenceFillsEveryWidthWithItsOwnQuietValue) {
    const struct {
        int channels, bits;
        uint8_t quiet;
    } widths[] = {{1, 8, 0x80}, {2, 8, 0x80}, {1, 16, 0}, {2, 24, 0}, {2, 32, 0}};
    for (auto& w : widths) {
        SoftSoundRecord* p = nullptr;
        const WAVEFORMATEX fmt = PcmFormat(w.channels, w.bits);
        const uint32_t size = fmt.nBlockAlign * 240u, target = fmt.nBlockAlign * 60u;
        const int h = MakeSoftSoundPlayer(fmt, size, target, kStale, &p);
        ASSERT_GE(h, 0);
        ASSERT_EQ(0, PumpSoftSoundPlayer(p));
        const uint8_t* ring = (const uint8_t*)p->buffer.memory;
        EXPECT_EQ(Bytes(2 * target, w.quiet), Bytes(ring, ring + 2 * target)) << w.bits << "-bit";
        EXPECT_EQ(0, p->silence_start);
        DeleteSoftSoundHandle(h, SOFTSOUND_KIND_PLAYER);
    }
}

// A random walk of the cursor with data queued now and then: the player stays
// between one and two targets ahead, and what plays is the queued bytes in
// order with only silence between them, never a stale byte.
TEST_F(SoftSound, RandomWalkKeepsTheTargetAheadAndPlaysTheQueueInOrder) {
    SoftSoundRecord* p = nullptr;
    const uint32_t size = 4000, target = 1000;  // 16-bit mono, align 2
    ASSERT_GE(MakeSoftSoundPlayer(PcmFormat(1, 16), size, target, kStale, &p), 0);
    const uint8_t* ring = (const uint8_t*)p->buffer.memory;
    uint32_t seed = 12345, next_byte = 1, expect_byte = 1, cursor = 0;
    auto rnd = [&](uint32_t n) { return (((seed = seed * 1103515245u + 12345u) >> 8) & 0xFFFF) % n; };
    ASSERT_EQ(0, PumpSoftSoundPlayer(p));
    for (int step = 0; step < 400; step++) {
        if (rnd(3) == 0) {
            Bytes data(2 * (1 + rnd(300)));
            for (auto& b : data) b = (uint8_t)next_byte, next_byte = next_byte % 200 + 1;
            QueueSamples(p, data);
        }
        const uint32_t move = 2 * rnd(target / 2);
        for (uint32_t i = 0; i < move; i++) {
            const uint8_t b = ring[(cursor + i) % size];
            ASSERT_NE(kStale, b) << "a stale byte played at step " << step;
            if (b == 0) continue;
            ASSERT_EQ(expect_byte, b) << "out of order at step " << step;
            expect_byte = expect_byte % 200 + 1;
        }
        cursor = (cursor + move) % size;
        SetDSoundBufferPosition(&p->buffer, cursor);
        ASSERT_EQ(0, PumpSoftSoundPlayer(p));
        const uint32_t ahead = (p->write_cursor + size - cursor) % size;
        ASSERT_GE(ahead, target) << step;
        ASSERT_LE(ahead, 2 * target) << step;
    }
}

}  // namespace
