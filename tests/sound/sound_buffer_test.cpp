// The buffer layer: both sides refuse dead records, and the software side (the
// deterministic stand-in for DirectSound cursors) locks, scales and zeroes as promised.
#include "sound/sound_fixture.h"

#include "engine/sound/sound_buffer.h"

using namespace soundtest;

namespace {

class SoundBuffer : public SoundSystemTest {
protected:
    void SetUp() override {
        SoundSystemTest::SetUp();
        fmt_ = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
        desc_ = {};
        desc_.dwSize = sizeof desc_;
        desc_.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_STATIC;
        desc_.dwBufferBytes = 1000 * 4;
        desc_.lpwfxFormat = &fmt_;
    }
    WAVEFORMATEX fmt_;
    DSBUFFERDESC desc_;
};

void ExpectEveryOperationRefused(SoundBufferRecord* rec) {
    uint32_t status = 7;
    void *p1 = nullptr, *p2 = nullptr;
    uint32_t s1 = 0, s2 = 0;
    EXPECT_EQ(-1, ReleaseDSoundBuffer(rec));
    EXPECT_EQ(-1, PlayDSoundBuffer(rec, 0));
    EXPECT_EQ(-1, StopDSoundBuffer(rec));
    EXPECT_EQ(-1, GetDSoundBufferStatus(rec, &status));
    EXPECT_EQ(7u, status);
    EXPECT_EQ(-1, LockDSoundBuffer(rec, 0, 4, &p1, &s1, &p2, &s2));
    EXPECT_EQ(-1, UnlockDSoundBuffer(rec, p1, s1, p2, s2));
    EXPECT_EQ(-1, GetDSoundBufferPlayCursor(rec));
    EXPECT_EQ(-1, SetDSoundBufferPosition(rec, 0));
    EXPECT_EQ(-1, SetDSoundBufferFrequency(rec, 0));
    EXPECT_EQ(-1, SetDSoundBufferPan(rec, 0));
    EXPECT_EQ(-1, SetDSoundBufferVolume(rec, 0));
}

TEST_F(SoundBuffer, DeadRecordsRefuseEverythingOnBothSides) {
    for (int software : {0, 1}) {
        SetSoundSoftwareMixingFlag(software);
        SoundBufferRecord rec = {};
        ExpectEveryOperationRefused(&rec);
        ASSERT_EQ(0, CreateDSoundBuffer(&rec, &desc_)) << "software " << software;
        EXPECT_EQ(-1, CreateDSoundBuffer(&rec, &desc_));
        SoundBufferRecord dup = {};
        ASSERT_EQ(0, DuplicateDSoundBuffer(&dup, &rec));
        EXPECT_EQ(-1, DuplicateDSoundBuffer(&dup, &rec));
        EXPECT_EQ(0, ReleaseDSoundBuffer(&dup));
        EXPECT_EQ(0, ReleaseDSoundBuffer(&rec));
        ExpectEveryOperationRefused(&rec);
    }
}

TEST_F(SoundBuffer, SoftwareLockWrapsAndRefusesWhatLiesOutside) {
    SetSoundSoftwareMixingFlag(1);
    // Leave garbage where the next blocks are likely to come from.
    for (int i = 0; i < 4; i++) {
        void* junk[2] = {MemAlloc(4000, "", 0), MemAlloc(4000, "", 0)};
        MemFill(junk[0], 0xAB, 4000);
        MemFill(junk[1], 0xCD, 4000);
        MemFree(junk[0]);
        MemFree(junk[1]);
    }
    SoundBufferRecord rec = {};
    ASSERT_EQ(0, CreateDSoundBuffer(&rec, &desc_));
    EXPECT_EQ(1000, rec.sample_count);
    EXPECT_EQ(255, rec.volume);
    EXPECT_EQ(-1, rec.frequency);
    void *p1, *p2;
    uint32_t s1, s2;
    ASSERT_EQ(0, LockDSoundBuffer(&rec, 950 * 4, 100 * 4, &p1, &s1, &p2, &s2));
    EXPECT_EQ((uint8_t*)rec.memory + 950 * 4, p1);
    EXPECT_EQ(50u * 4, s1);
    EXPECT_EQ(rec.memory, p2);
    EXPECT_EQ(50u * 4, s2);
    ASSERT_EQ(0, LockDSoundBuffer(&rec, 100, 400, &p1, &s1, &p2, &s2));
    EXPECT_EQ(400u, s1);
    EXPECT_EQ(nullptr, p2);
    EXPECT_EQ(0u, s2);
    // As DirectSound: an offset at or past the end, or more than the buffer, is refused.
    EXPECT_EQ(-1, LockDSoundBuffer(&rec, 4000, 4, &p1, &s1, &p2, &s2));
    EXPECT_EQ(-1, LockDSoundBuffer(&rec, 0xFFFFFFF0u, 4, &p1, &s1, &p2, &s2));
    EXPECT_EQ(-1, LockDSoundBuffer(&rec, 0, 4004, &p1, &s1, &p2, &s2));
    EXPECT_EQ(-1, LockDSoundBuffer(&rec, 0, 0xFFFFFFFFu, &p1, &s1, &p2, &s2));
    // A new block plays silence until written.
    const uint8_t* m = (const uint8_t*)rec.memory;
    int nonzero = 0;
    for (int i = 0; i < 4000; i++) nonzero += m[i] != 0;
    EXPECT_EQ(0, nonzero);
    SoundBufferRecord dup = {};
    ASSERT_EQ(0, DuplicateDSoundBuffer(&dup, &rec));
    m = (const uint8_t*)dup.memory;
    for (int i = 0; i < 4000; i++) nonzero += m[i] != 0;
    EXPECT_EQ(0, nonzero);
    ReleaseDSoundBuffer(&dup);
    ReleaseDSoundBuffer(&rec);
}

TEST_F(SoundBuffer, SoftwareCursorAndVolume) {
    SetSoundSoftwareMixingFlag(1);
    SoundBufferRecord rec = {};
    ASSERT_EQ(0, CreateDSoundBuffer(&rec, &desc_));
    SetDSoundBufferPosition(&rec, 403);
    EXPECT_EQ(400, GetDSoundBufferPlayCursor(&rec));
    const int volumes[][2] = {{-10000, 0}, {0, 256}, {-1000, 25}};
    for (auto& v : volumes) {
        SetDSoundBufferVolume(&rec, v[0]);
        EXPECT_EQ(v[1], rec.volume) << v[0];
    }
    const int pans[][2] = {{10000, 256}, {-10000, -256}, {-1000, -25}};
    for (auto& p : pans) {
        SetDSoundBufferPan(&rec, p[0]);
        EXPECT_EQ(p[1], rec.pan) << p[0];
    }
    ReleaseDSoundBuffer(&rec);
}

}  // namespace
