// Sound handles over the buffer layer: table limits and reuse, PCM in every
// buffer, the order of plays, resume, volume, lengths, and clean failures.
#include "sound/sound_fixture.h"

#include <cstdio>

#include "engine/sound/sound.h"
#include "engine/sound/sound_handle.h"

using namespace soundtest;

namespace {

class SoundHandles : public SoundSystemTest {
protected:
    int Load(const Bytes& wav, int buffers) {
        return CreateSoundFromFileImage(wav.data(), (unsigned)wav.size(), buffers, -1);
    }
    std::string WriteFile(const char* name, const Bytes& bytes) {
        FILE* f = std::fopen(name, "wb");
        EXPECT_TRUE(f != nullptr);
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return name;
    }
};

// Twelve bits in two bytes (an 18-byte format, so the bits stand): the PCM decoder
// takes it, DirectSound refuses the buffer.
Bytes WavDirectSoundRefuses() {
    return RiffWriter().Chunk("fmt ", FormatBody(1, 1, 8000, 12, 2, 16000, true)).Chunk("data", Ramp16(800, 1)).Build();
}

TEST_F(SoundHandles, TableLimitsReuseAndStaleHandles) {
    HandleTable* t = GetSoundHandleTable();
    std::vector<int> handles;
    for (int i = 0; i < SOUND_HANDLE_MAX; i++) {
        int h = AddSoundData(-1);
        ASSERT_NE(-1, h) << i;
        ASSERT_EQ(i, HandleSlotOf(h));
        ASSERT_EQ(HANDLE_SOUND, HandleTypeOf(h));
        handles.push_back(h);
    }
    {
        LogCapture log;
        EXPECT_EQ(-1, AddSoundData(-1));
        EXPECT_TRUE(log.Contains("サウンドの数が許容量を越えました"));
    }
    // Any deletion makes room; the freed slot is found from the start.
    ASSERT_EQ(0, DeleteSoundHandle(handles[100]));
    int again = AddSoundData(-1);
    ASSERT_EQ(100, HandleSlotOf(again));
    EXPECT_NE(handles[100], again);
    EXPECT_EQ(-1, DeleteSoundHandle(handles[100])) << "a stale handle must be refused";
    EXPECT_EQ(-1, IsSoundHandlePlaying(handles[100]));
    EXPECT_EQ(-1, PlaySoundHandle(handles[100], SOUND_PLAY_BACK, 1));
    EXPECT_EQ(-1, SetSoundHandleVolume(100, handles[100]));
    EXPECT_EQ(-1, GetSoundHandleSampleCount(handles[100]));
    EXPECT_EQ(0, DeleteAllSoundHandles());
    EXPECT_EQ(0, t->count);
    EXPECT_EQ(0, t->free_hint);

    // The highest slot, once freed, is the next one taken.
    int a = AddSoundData(-1), b = AddSoundData(-1), c = AddSoundData(-1);
    ASSERT_EQ(2, HandleSlotOf(c));
    DeleteSoundHandle(c);
    int d = AddSoundData(-1);
    EXPECT_EQ(2, HandleSlotOf(d));
    EXPECT_NE(c, d);
    // Handles of other types and out-of-range slots are not sounds.
    EXPECT_EQ(-1, DeleteSoundHandle(MakeHandle(HANDLE_GRAPHIC, HandleCheckOf(a), 0)));
    EXPECT_EQ(-1, DeleteSoundHandle(-1));
    EXPECT_EQ(-1, IsSoundHandlePlaying(0x7FFFFFFF));
    // A record that never got its PCM (a load that failed part-way) deletes cleanly.
    EXPECT_EQ(0, DeleteSoundHandle(b));
    EXPECT_EQ(0, DeleteSoundHandle(a));
    EXPECT_EQ(0, DeleteSoundHandle(d));
}

TEST_F(SoundHandles, PcmIsInEveryBufferAndBufferCountsAreChecked) {
    SetSoundSoftwareMixingFlag(1);
    Bytes pcm = Ramp16(3000, 2);
    Bytes wav = PcmWav(2, 11025, 16, pcm);
    int h = Load(wav, 3);
    ASSERT_NE(-1, h);
    SoundHandleRecord* rec = GetSoundRecord(h);
    ASSERT_EQ(3, rec->buffer_count);
    for (int i = 0; i < 3; i++) {
        ASSERT_TRUE(rec->buffers[i].used);
        EXPECT_EQ(0, std::memcmp(rec->buffers[i].memory, pcm.data(), pcm.size())) << "buffer " << i;
    }
    EXPECT_FALSE(rec->buffers[3].used);
    EXPECT_EQ(11025, rec->frequency);
    EXPECT_EQ(3000, GetSoundHandleSampleCount(h));
    EXPECT_EQ(272, GetSoundHandleLengthMs(h));

    EXPECT_EQ(-1, Load(wav, 11));
    EXPECT_EQ(-1, Load(wav, 0));
    EXPECT_EQ(-1, Load(wav, -2));
    EXPECT_EQ(1, GetSoundHandleTable()->count) << "a refused load leaves no handle";

    // Through the file layer, as the game loads: 20 buffers become 10.
    std::string path = WriteFile("buffers.wav", wav);
    int f = LoadSoundFileEntry(path.c_str(), 20, -1);
    ASSERT_NE(-1, f);
    EXPECT_EQ(10, GetSoundRecord(f)->buffer_count);
    EXPECT_EQ(0, std::memcmp(GetSoundRecord(f)->buffers[9].memory, pcm.data(), pcm.size()));
    std::remove(path.c_str());
}

TEST_F(SoundHandles, PlaysTakeTheBuffersInTurn) {
    SetSoundSoftwareMixingFlag(1);
    int h = Load(PcmWav(1, 8000, 16, Ramp16(1000, 1)), 3);
    ASSERT_NE(-1, h);
    SoundHandleRecord* rec = GetSoundRecord(h);
    EXPECT_EQ(0, IsSoundHandlePlaying(h));
    const int order[] = {1, 2, 0};
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
        EXPECT_EQ(order[i], rec->next_buffer);
        EXPECT_EQ(1, rec->buffers[order[i]].play);
    }
    EXPECT_EQ(1, IsSoundHandlePlaying(h));
    // The fourth play stops and rewinds the buffer of the first.
    SetDSoundBufferPosition(&rec->buffers[1], 500 * 2);
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
    EXPECT_EQ(1, rec->next_buffer);
    EXPECT_EQ(0, rec->buffers[1].position);
    EXPECT_EQ(1, rec->buffers[1].play);
    EXPECT_EQ(0, StopSoundHandle(h));
    EXPECT_EQ(0, IsSoundHandlePlaying(h));
    // Looping plays loop.
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_LOOP, 1));
    EXPECT_EQ(1, rec->buffers[rec->next_buffer].loop);
}

TEST_F(SoundHandles, OneBufferResumesWhereItStopped) {
    SetSoundSoftwareMixingFlag(1);
    int h = Load(PcmWav(1, 8000, 16, Ramp16(8000, 1)), 1);
    ASSERT_NE(-1, h);
    SoundBufferRecord* buf = &GetSoundRecord(h)->buffers[0];
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 0));
    SetDSoundBufferPosition(buf, 2000 * 2);  // it has played a quarter second
    // Still playing: a play without from-top changes nothing.
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 0));
    EXPECT_EQ(2000, buf->position);
    EXPECT_EQ(250, GetSoundHandlePlayTime(h));
    ASSERT_EQ(0, StopSoundHandle(h));
    EXPECT_EQ(0, IsSoundHandlePlaying(h));
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 0));
    EXPECT_EQ(1, IsSoundHandlePlaying(h));
    EXPECT_EQ(2000, buf->position);
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
    // The stored volume is applied again by every play.
    SetSoundHandleVolume(128, h);
    rec->buffers[1].buffer->SetVolume(0);
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
    LONG v = 0;
    rec->buffers[1].buffer->GetVolume(&v);
    EXPECT_EQ(-299, v);
    StopSoundHandle(h);
}

TEST_F(SoundHandles, RealBuffersPlayToTheEndAndLoop) {
    // A fifth of a second at 22050 Hz.
    int h = Load(PcmWav(1, 22050, 16, ToBytes(Sine16(4410, 22050, 440, 3000))), 3);
    ASSERT_NE(-1, h);
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_BACK, 1));
    EXPECT_EQ(1, IsSoundHandlePlaying(h));
    DWORD start = GetTickCount();
    while (IsSoundHandlePlaying(h) == 1 && GetTickCount() - start < 5000) Sleep(10);
    EXPECT_EQ(0, IsSoundHandlePlaying(h)) << "a background play must end by itself";

    start = GetTickCount();
    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_WAIT, 1));
    DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 100u) << "a waiting play returns once the sound has ended";
    EXPECT_LT(waited, 5000u);
    EXPECT_EQ(0, IsSoundHandlePlaying(h));

    ASSERT_EQ(0, PlaySoundHandle(h, SOUND_PLAY_LOOP, 1));
    Sleep(500);
    EXPECT_EQ(1, IsSoundHandlePlaying(h)) << "a looping play goes on past the end";
    ASSERT_EQ(0, StopSoundHandle(h));
    EXPECT_EQ(0, IsSoundHandlePlaying(h));
}

TEST_F(SoundHandles, FailedLoadsLeaveNothingBehind) {
    LogCapture log;
    Bytes junk(300, 0x42);
    EXPECT_EQ(-1, Load(junk, 1));
    EXPECT_TRUE(log.Contains("音声ファイルのＰＣＭへの変換に失敗しました"));
    EXPECT_EQ(-1, LoadSoundFile("no_such_sound.wav", 1, -1));
    EXPECT_TRUE(log.Contains("右記の音声ファイルのロードに失敗しました_1：no_such_sound.wav"));

    // Refused as a normal buffer: would become a stream sound; for now the load fails cleanly.
    log.Clear();
    EXPECT_EQ(-1, Load(WavDirectSoundRefuses(), 2));
    EXPECT_TRUE(log.Contains("DirectSoundBuffer の作成に失敗しました"));

    // Over 180 seconds of PCM (8-bit mono at 8000 Hz).
    Bytes long_pcm(8000 * 181, 0x80);
    std::string path = WriteFile("long.wav", PcmWav(1, 8000, 8, long_pcm));
    log.Clear();
    EXPECT_EQ(-1, LoadSoundFile(path.c_str(), 1, -1));
    EXPECT_TRUE(log.Contains("右記の音声ファイルのロードに失敗しました_2：long.wav"));
    std::remove(path.c_str());
    // 180 seconds exactly is still a normal sound.
    Bytes edge(8000 * 180, 0x80);
    int h = Load(PcmWav(1, 8000, 8, edge), 1);
    EXPECT_NE(-1, h);
    EXPECT_EQ(0, GetCreateSoundDataType());
    DeleteSoundHandle(h);
    EXPECT_EQ(0, GetSoundHandleTable()->count);
}

TEST_F(SoundHandles, RefusedRingFailsTheSoundNotTheProcess) {
    int h = AddSoundData(-1);
    ASSERT_NE(-1, h);
    WAVEFORMATEX refused = {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 12, 0};
    LogCapture log;
    EXPECT_EQ(-1, CreateSoundBuffers(-1, &refused, 16000, 1, 1, h));
    EXPECT_TRUE(log.Contains("ストリーム風サウンドバッファの作成に失敗しました"));
    EXPECT_FALSE(GetSoundRecord(h)->buffers[0].used);
    EXPECT_EQ(0, DeleteSoundHandle(h));
    // An acceptable ring is one second of the format, aligned up.
    h = AddSoundData(-1);
    WAVEFORMATEX ok = {WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
    ASSERT_EQ(0, CreateSoundBuffers(-1, &ok, 0, 1, 1, h));
    SoundHandleRecord* rec = GetSoundRecord(h);
    EXPECT_EQ(SOUND_KIND_STREAM, rec->kind);
    EXPECT_EQ(1, rec->buffer_count);
    DSBCAPS caps = {sizeof caps};
    rec->buffers[0].buffer->GetCaps(&caps);
    EXPECT_EQ(88200u, caps.dwBufferBytes);
    EXPECT_EQ(rec, GetStreamPlayListHead()->next->data);
    EXPECT_EQ(0, DeleteSoundHandle(h));
}

}  // namespace
