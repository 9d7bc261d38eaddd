// Sound handles over the buffer layer: table limits and reuse, PCM in every
// buffer, play order and resume, volume, clean failures, and the software
// buffers that stand in for DirectSound cursors.
#include "sound/sound_fixture.h"

#include <cstdio>
#include <fstream>

using namespace soundtest;

namespace {

class SoundHandles : public SoundSystemTest {
protected:
    int Load(const Bytes& wav, int buffers) {
        return CreateSoundFromFileImage(wav.data(), (unsigned)wav.size(), buffers, -1);
    }
    void WriteFile(const char* name, const Bytes& b) {
        std::ofstream(name, std::ios::binary).write((const char*)b.data(), b.size());
    }
};

TEST_F(SoundHandles, TableLimitsReuseAndStaleHandles) {
    std::vector<int> handles;
    for (int i = 0; i < SOUND_HANDLE_MAX; i++) {
        handles.push_back(AddSoundData(-1));
        ASSERT_EQ(i, HandleSlotOf(handles.back()));
    }
    {
        LogCapture log;
        EXPECT_EQ(-1, AddSoundData(-1));
        EXPECT_TRUE(log.Contains("サウンドの数が許容量を越えました"));
    }
    ASSERT_EQ(0, DeleteSoundHandle(handles[100]));
    int again = AddSoundData(-1);
    ASSERT_EQ(100, HandleSlotOf(again));
    EXPECT_NE(handles[100], again);
    const int stale = handles[100];
    for (int r : {DeleteSoundHandle(stale), IsSoundHandlePlaying(stale), SetSoundHandleVolume(100, stale)})
        EXPECT_EQ(-1, r) << "a stale handle was taken";
    EXPECT_EQ(0, DeleteAllSoundHandles());
    EXPECT_EQ(0, GetSoundHandleTable()->count);

    int a = AddSoundData(-1);
    EXPECT_EQ(-1, DeleteSoundHandle(MakeHandle(HANDLE_GRAPHIC, HandleCheckOf(a), 0))) << "not a sound handle";
    EXPECT_EQ(-1, IsSoundHandlePlaying(0x7FFFFFFF));
    // A record that never got its PCM (a load that failed part-way) deletes cleanly.
    EXPECT_EQ(0, DeleteSoundHandle(a));
}

TEST_F(SoundHandles, PcmIsInEveryBufferAndBufferCountsAreChecked) {
    SetSoundSoftwareMixingFlag(1);
    const Bytes pcm = Ramp16(3000, 2), wav = PcmWav(2, 11025, 16, pcm);
    int h = Load(wav, 3);
    ASSERT_NE(-1, h);
    SoundHandleRecord* rec = GetSoundRecord(h);
    ASSERT_EQ(3, rec->buffer_count);
    for (int i = 0; i < 3; i++) EXPECT_EQ(0, std::memcmp(rec->buffers[i].memory, pcm.data(), pcm.size())) << i;
    EXPECT_EQ(3000, GetSoundHandleSampleCount(h));
    EXPECT_EQ(272, GetSoundHandleLengthMs(h));
    for (int count : {11, 0, -2}) EXPECT_EQ(-1, Load(wav, count)) << count;
    EXPECT_EQ(1, GetSoundHandleTable()->count) << "a refused load left a handle";
    // Through the file layer, as the game loads: 20 buffers become 10.
    WriteFile("buffers.wav", wav);
    int f = LoadSoundFileEntry("buffers.wav", 20, -1);
    ASSERT_NE(-1, f);
    EXPECT_EQ(10, GetSoundRecord(f)->buffer_count);
    EXPECT_EQ(0, std::memcmp(GetSoundRecord(f)->buffers[9].memory, pcm.data(), pcm.size()));
    std::remove("buffers.wav");
}

TEST_F(SoundHandles, PlaysTakeTheBuffersInTurnAndResume) {
    SetSoundSoftwareMixingFlag(1);
    int h = Load(PcmWav(1, 8000, 16, Ramp16(8000, 1)), 3);
    ASSERT_NE(-1, h);
    SoundHandleRecord* rec = GetSoundRecord(h);
    EXPECT_EQ(0, IsSoundHandlePlaying(h));
    for (int next : {1, 2, 0}) {
        ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
        EXPECT_EQ(next, rec->next_buffer);
        EXPECT_EQ(1, rec->buffers[next].play);
    }
    EXPECT_EQ(1, IsSoundHandlePlaying(h));
    // The fourth play stops and rewinds the buffer of the first.
    SetDSoundBufferPosition(&rec->buffers[1], 500 * 2);
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
    EXPECT_EQ(0, rec->buffers[1].position);
    EXPECT_EQ(1, rec->buffers[1].play);
    EXPECT_EQ(0, StopSoundHandle(h));
    EXPECT_EQ(0, IsSoundHandlePlaying(h));
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_LOOP, 1));
    EXPECT_EQ(1, rec->buffers[rec->next_buffer].loop);
    StopSoundHandle(h);

    h = Load(PcmWav(1, 8000, 16, Ramp16(8000, 1)), 1);
    SoundBufferRecord* buf = &GetSoundRecord(h)->buffers[0];
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 0));
    SetDSoundBufferPosition(buf, 2000 * 2);  // a quarter second played
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 0));
    EXPECT_EQ(2000, buf->position) << "a play while playing without from-top changed the position";
    EXPECT_EQ(250, GetSoundHandlePlayTime(h));
    ASSERT_EQ(0, StopSoundHandle(h));
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 0));
    EXPECT_EQ(1, IsSoundHandlePlaying(h));
    EXPECT_EQ(2000, buf->position) << "no resume after a stop";
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
    EXPECT_EQ(0, buf->position);
}

TEST_F(SoundHandles, VolumeReachesEveryDirectSoundBuffer) {
    int h = Load(PcmWav(1, 22050, 16, Ramp16(2205, 1)), 2);
    ASSERT_NE(-1, h);
    SoundHandleRecord* rec = GetSoundRecord(h);
    ASSERT_EQ(2, rec->buffer_count);
    const int cases[][2] = {{255, 0}, {300, 0}, {128, -299}, {1, -2406}, {0, -10000}, {-5, -10000}};
    for (auto& c : cases) {
        ASSERT_EQ(0, SetSoundHandleVolume(c[0], h));
        for (int i = 0; i < 2; i++) {
            LONG v = 1;
            ASSERT_EQ(DS_OK, rec->buffers[i].buffer->GetVolume(&v));
            EXPECT_EQ(c[1], v) << "volume " << c[0] << " buffer " << i;
        }
    }
    // Every play applies the stored volume again.
    SetSoundHandleVolume(128, h);
    rec->buffers[1].buffer->SetVolume(0);
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
    LONG v = 0;
    rec->buffers[1].buffer->GetVolume(&v);
    EXPECT_EQ(-299, v);
}

TEST_F(SoundHandles, RealBuffersEndByThemselvesOrLoop) {
    int h = Load(PcmWav(1, 22050, 16, Ramp16(2205, 1)), 2);  // a tenth of a second
    ASSERT_NE(-1, h);
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
    EXPECT_EQ(1, IsSoundHandlePlaying(h));
    DWORD start = GetTickCount();
    while (IsSoundHandlePlaying(h) == 1 && GetTickCount() - start < 3000) Sleep(10);
    EXPECT_EQ(0, IsSoundHandlePlaying(h)) << "a background play did not end";
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_LOOP, 1));
    Sleep(250);
    EXPECT_EQ(1, IsSoundHandlePlaying(h)) << "a looping play stopped at the end";
}

TEST_F(SoundHandles, FailedLoadsFailTheSoundNotTheProcess) {
    LogCapture log;
    EXPECT_EQ(-1, Load(Bytes(300, 0x42), 1));
    EXPECT_TRUE(log.Contains("音声ファイルのＰＣＭへの変換に失敗しました"));
    EXPECT_EQ(-1, LoadSoundFile("no_such_sound.wav", 1, -1));
    EXPECT_TRUE(log.Contains("右記の音声ファイルのロードに失敗しました_1：no_such_sound.wav"));
    // 12 bits in 2 bytes: refused before DirectSound sees it; a refused ring fails only its sound.
    const WAVEFORMATEX refused = {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 12, 0};
    Bytes wav12 = RiffWriter().Chunk("fmt ", FormatBody(1, 1, 8000, 12, 2, 16000, true)).Chunk("data", Bytes(64)).Build();
    EXPECT_EQ(-1, Load(wav12, 2));
    EXPECT_TRUE(log.Contains("再生できないPCMフォーマットです"));
    int h = AddSoundData(-1);
    EXPECT_EQ(-1, CreateSoundBuffers(-1, &refused, 16000, 1, 1, h));
    EXPECT_TRUE(log.Contains("ストリーム風サウンドバッファの作成に失敗しました"));
    EXPECT_FALSE(GetSoundRecord(h)->buffers[0].used);
    EXPECT_EQ(0, DeleteSoundHandle(h));

    // Over 180 seconds plays as a stream sound, the create type untouched; 180 exactly is a normal sound.
    WriteFile("long.wav", PcmWav(1, 8000, 8, Bytes(8000 * 181, 0x80)));
    int stream = LoadSoundFile("long.wav", 1, -1);
    std::remove("long.wav");
    ASSERT_NE(-1, stream);
    EXPECT_EQ(SOUND_KIND_STREAM, GetSoundRecord(stream)->kind);
    EXPECT_EQ(8000 * 181, GetSoundHandleSampleCount(stream));
    EXPECT_EQ(0, GetCreateSoundDataType());
    int normal = Load(PcmWav(1, 8000, 8, Bytes(8000 * 180, 0x80)), 1);
    ASSERT_NE(-1, normal);
    EXPECT_EQ(SOUND_KIND_NORMAL, GetSoundRecord(normal)->kind);
    EXPECT_EQ(2, GetSoundHandleTable()->count);
}

TEST_F(SoundHandles, SoftwareBuffersLockWithinBoundsAndStartSilent) {
    SetSoundSoftwareMixingFlag(1);
    // Garbage where the next blocks are likely to come from.
    for (int i = 0; i < 4; i++) {
        void* junk[2] = {MemAlloc(4000, "", 0), MemAlloc(4000, "", 0)};
        MemFill(junk[0], 0xAB, 4000), MemFill(junk[1], 0xCD, 4000);
        MemFree(junk[0]), MemFree(junk[1]);
    }
    WAVEFORMATEX fmt = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    DSBUFFERDESC desc = {sizeof desc, DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_STATIC, 4000, 0, &fmt};
    SoundBufferRecord rec = {}, dup = {};
    ASSERT_EQ(0, CreateDSoundBuffer(&rec, &desc));
    EXPECT_EQ(-1, CreateDSoundBuffer(&rec, &desc)) << "a live record made again";
    ASSERT_EQ(0, DuplicateDSoundBuffer(&dup, &rec));
    for (SoundBufferRecord* r : {&rec, &dup})
        for (int i = 0; i < 4000; i++) ASSERT_EQ(0, ((uint8_t*)r->memory)[i]) << "unwritten sample at " << i;
    void *p1, *p2;
    uint32_t s1, s2;
    ASSERT_EQ(0, LockDSoundBuffer(&rec, 950 * 4, 100 * 4, &p1, &s1, &p2, &s2));
    EXPECT_EQ((uint8_t*)rec.memory + 950 * 4, p1);
    EXPECT_EQ(50u * 4, s1);
    EXPECT_EQ(rec.memory, p2);
    EXPECT_EQ(50u * 4, s2);
    // As DirectSound: an offset at or past the end, or more than the buffer, is refused; so is an
    // unaligned offset whose whole-sample count would carry the first region past the end.
    const uint32_t refused[][2] = {{4000, 4}, {0xFFFFFFF0u, 4}, {0, 4004}, {0, 0xFFFFFFFFu}, {3999, 3}, {3998, 8}};
    for (auto& r : refused) EXPECT_EQ(-1, LockDSoundBuffer(&rec, r[0], r[1], &p1, &s1, &p2, &s2)) << r[0] << "+" << r[1];
    EXPECT_EQ(0, ReleaseDSoundBuffer(&dup));
    EXPECT_EQ(0, ReleaseDSoundBuffer(&rec));
    EXPECT_EQ(-1, ReleaseDSoundBuffer(&rec));
    EXPECT_EQ(-1, PlayDSoundBuffer(&rec, 0));
    EXPECT_EQ(-1, LockDSoundBuffer(&rec, 0, 4, &p1, &s1, &p2, &s2));
}

}  // namespace
