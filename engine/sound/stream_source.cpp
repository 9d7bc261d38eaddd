#include <cstring>

#include "engine/file/file_stream.h"
#include "engine/sound/sound_stream.h"
#include "engine/sound/sound_system.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"

uint32_t StreamRingSize(const WAVEFORMATEX* f) {
    if (f->nBlockAlign == 0) return 0;
    return ((f->nAvgBytesPerSec & 0xFFFFFF) + f->nBlockAlign - 1) / f->nBlockAlign * f->nBlockAlign;
}

SoundHandleRecord* StreamRingOwner(SoundHandleRecord* sound) {
    if (sound->partner == -1) return sound;
    return GetSoundRecord(sound->partner);
}

// Undoes one source; its caller's stream is left alone.
static void FreeSource(StreamSourceEntry* src) {
    if (src->converter.setup) TerminateSoundConverter(&src->converter);
    if (src->stream.handle) src->stream.funcs.Close(src->stream.handle);
    MemFree(src->data);
    std::memset(src, 0, sizeof(*src));
}

// A memory stream over the source's own data, and a converter on it.
static int OpenSourceOverData(StreamSourceEntry* src) {
    src->stream.funcs = *GetMemStreamTable();
    src->stream.handle = MemStreamOpen(src->data, src->data_size);
    if (!src->stream.handle) return -1;
    src->converter.setup = 0;
    return SelectSoundDecoder(&src->stream, &src->converter);
}

// Kind 0: the whole source decoded now and kept as a RIFF WAVE image of its PCM.
static int SetUpDecodedSource(StreamData* stream, StreamSourceEntry* src) {
    void* file = nullptr;
    uint32_t file_size = 0;
    if (LoadStreamToMemory(stream, &file, &file_size) != 0)
        return LogAppendFormat("音声データの読み込みに失敗しました");
    StreamData ms = {*GetMemStreamTable(), MemStreamOpen(file, file_size)};
    SoundConverter temp;
    temp.setup = 0;
    if (!ms.handle || SelectSoundDecoder(&ms, &temp) != 0) {
        if (ms.handle) MemStreamClose(ms.handle);
        MemFree(file);
        return LogAppendFormat("音声データの変換に失敗しました");
    }
    WAVEFORMATEX format;
    void* pcm = nullptr;
    uint32_t pcm_size = 0;
    const int converted = ConvertWholeSound(&temp, &format, &pcm, &pcm_size);
    TerminateSoundConverter(&temp);
    MemStreamClose(ms.handle);
    MemFree(file);
    if (converted != 0) return LogAppendFormat("音声データの変換に失敗しました");
    void* image = nullptr;
    uint32_t image_size = 0;
    const int built = BuildWaveFileImage(&image, &image_size, &format, 18, pcm, pcm_size);
    MemFree(pcm);
    if (built != 0) return -1;
    src->data = image;
    src->data_size = image_size;
    if (OpenSourceOverData(src) != 0) return LogAppendFormat("音声データの変換に失敗しました");
    return 0;
}

static int OpenSource(StreamData* stream, StreamSourceEntry* src, int kind, int* consumed) {
    src->kind = kind;
    src->loop_end = -1;
    stream->funcs.Seek(stream->handle, 0, 0);
    switch (kind) {
    case 3:
        src->converter.setup = 0;
        if (SelectSoundDecoder(stream, &src->converter) != 0) return LogAppendFormat("音声データのオープンに失敗しました");
        *consumed = 0;
        return 0;
    case 2:
        if (LoadStreamToMemory(stream, &src->data, &src->data_size) != 0)
            return LogAppendFormat("音声データの読み込みに失敗しました");
        if (OpenSourceOverData(src) != 0) return LogAppendFormat("音声データのオープンに失敗しました");
        *consumed = 1;
        return 0;
    case 0:
        if (SetUpDecodedSource(stream, src) != 0) return -1;
        *consumed = 1;
        return 0;
    default: return LogAppendFormat("ストリームサウンドのデータ形式 %d は扱えません", kind);
    }
}

// A source that decodes to nothing would play as silence, or not at all: it is refused here.
static int SetUpSource(StreamData* stream, StreamSourceEntry* src, int kind, int* consumed) {
    if (OpenSource(stream, src, kind, consumed) != 0) return -1;
    if (DecodeFirstSoundBlock(&src->converter) != 0)
        return LogAppendFormat("音声データをデコードしましたが、ＰＣＭが得られませんでした");
    return 0;
}

// A fresh ring holds silence, not whatever the allocator left there.
static void SilenceWholeRing(SoundHandleRecord* sound) {
    LockedRegions r;
    std::memset(&r, 0, sizeof(r));
    void *p1 = nullptr, *p2 = nullptr;
    if (LockDSoundBuffer(&sound->buffers[0], 0, sound->ring_size, &p1, &r.first_size, &p2, &r.second_size) != 0)
        return;
    r.first = (uint8_t*)p1, r.second = (uint8_t*)p2;
    r.first_left = p1 ? r.first_size : 0;
    r.second_left = p2 ? r.second_size : 0;
    WriteStreamSilence(sound, &r, sound->ring_size);
    UnlockDSoundBuffer(&sound->buffers[0], p1, r.first_size, p2, r.second_size);
}

static bool CanShareWith(SoundHandleRecord* sound, int handle, int partner) {
    if (partner == -1 || partner == handle) return false;
    SoundHandleRecord* p = GetSoundRecord(partner);
    return p && p->kind == SOUND_KIND_STREAM && p->partner == -1 && p->source_count > 0 &&
           std::memcmp(&p->format, &sound->format, 18) == 0;
}

static int AttachFirstSource(SoundHandleRecord* sound, int handle, int partner) {
    GetConverterWaveFormat(&sound->sources[0].converter, &sound->format);
    if (CanShareWith(sound, handle, partner)) {
        sound->kind = SOUND_KIND_STREAM;
        sound->buffer_count = 1;
        ListAddFirst(GetStreamPlayListHead(), &sound->play_node, handle, sound);
        sound->partner = partner;
        GetSoundRecord(partner)->share_count++;
    } else {
        if (CreateSoundBuffers(-1, &sound->format, StreamRingSize(&sound->format), 1, 1, handle) != 0) return -1;
        sound->partner = -1;
        sound->ring_size = StreamRingSize(&sound->format);
        sound->frequency = (int)sound->format.nSamplesPerSec;
        SilenceWholeRing(sound);
    }
    sound->share_count = 0;
    sound->current_user = -1;
    sound->delete_pending = 0;
    return 0;
}

int AddSreamSound(StreamData* stream, uint8_t loop_count, int handle, int kind, int* consumed, int partner) {
    SoundHandleRecord* sound = LockSoundRecord(handle);
    if (!sound) return -1;
    int result = -1;
    if (sound->source_count > 0 || sound->pcm || sound->buffers[0].used) {
        if (sound->kind != SOUND_KIND_STREAM) {
            LogAppend("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n");
            goto done;
        }
        if (IsStreamSoundPlaying(handle) == 1) {
            LogAppend("既に再生中のストリームサウンドデータにデータを追加しようとしました\n");
            goto done;
        }
        if (sound->source_count >= STREAM_SOURCE_MAX) {
            LogAppend("ストリーム風サウンドの制御データ領域がいっぱいです\n");
            goto done;
        }
    }
    {
        StreamSourceEntry* src = &sound->sources[sound->source_count];
        std::memset(src, 0, sizeof(*src));
        // A decode may take seconds (a whole MP3 through the filter graph): the sound thread goes on refilling
        // streams meanwhile. The source is not counted yet, so nothing else reads it.
        const int holds = SoundLockLeaveAll();
        const int set_up = SetUpSource(stream, src, kind, consumed);
        SoundLockEnterAgain(holds);
        if (set_up != 0) {
            FreeSource(src);
            goto done;
        }
        if (sound->source_count == 0) {
            if (AttachFirstSource(sound, handle, partner) != 0) {
                FreeSource(src);
                goto done;
            }
        } else if (std::memcmp(&src->converter.format, &sound->format, 18) != 0) {
            FreeSource(src);
            LogAppendFormat("フォーマットの違う音声データは同時に使うことは出来ません");
            goto done;
        }
        src->loop_count = loop_count;
        sound->source_count++;
        uint32_t total = 0;
        for (int i = 0; i < sound->source_count; i++)
            total += GetConvertedPcmSize(&sound->sources[i].converter) / sound->format.nBlockAlign;
        sound->total_samples = total;
        result = 0;
    }
done:
    SoundLockLeave();
    return result;
}

// Adds a stream the sound opened itself as its next source; the stream is
// closed on failure and once the source has taken a copy of it.
static int AddOwnedSource(StreamData* sd, uint8_t loop_count, int handle, int kind, int partner) {
    int consumed = 0;
    if (AddSreamSound(sd, loop_count, handle, kind, &consumed, partner) != 0) {
        sd->funcs.Close(sd->handle);
        return -1;
    }
    if (consumed) sd->funcs.Close(sd->handle);
    SoundHandleRecord* sound = GetSoundRecord(handle);
    sound->source_owned[sound->source_count - 1] = 1;
    return 0;
}

int SetupStreamSoundFromFile(const char* path, uint8_t loop_count, int handle, int kind, int partner) {
    if (!LockSoundRecord(handle)) return -1;
    StreamData sd = {*GetFileStreamTable(), FileStreamOpen(path, 0, 1, 0)};
    if (!sd.handle) {
        SoundLockLeave();
        return LogAppendFormat("右記のＷＡＶファイルのロードに失敗しました：%s \n", path);
    }
    const int result = AddOwnedSource(&sd, loop_count, handle, kind, partner);
    SoundLockLeave();
    return result == 0 ? 0 : LogAppendFormat("右記のＷＡＶファイルのセットアップに失敗しました：%s \n", path);
}

int SetupStreamSoundFromMemory(const void* image, uint32_t size, uint8_t loop_count, int handle, int kind,
                               int partner) {
    if (!LockSoundRecord(handle)) return -1;
    if (kind == 3) kind = 2;
    StreamData sd = {*GetMemStreamTable(), MemStreamOpen(image, size)};
    if (!sd.handle) {
        SoundLockLeave();
        return LogAppendFormat("ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました \n");
    }
    const int result = AddOwnedSource(&sd, loop_count, handle, kind, partner);
    SoundLockLeave();
    return result == 0 ? 0 : LogAppendFormat("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
}

int ReleaseStreamSound(int handle, SoundHandleRecord* sound) {
    if (sound->partner != -1) {
        SoundHandleRecord* partner = GetSoundRecord(sound->partner);
        if (partner) {
            partner->share_count--;
            if (sound->partner != handle && partner->delete_pending && partner->share_count <= 0)
                DeleteSoundHandle(sound->partner, 0);
        }
    }
    if (sound->share_count != 0) {
        sound->delete_pending = 1;
        return 1;
    }
    if (sound->play_node.next) ListRemove(&sound->play_node);
    for (int i = 0; i < STREAM_SOURCE_MAX; i++) {
        StreamSourceEntry* src = &sound->sources[i];
        StreamData file = src->converter.source;
        const bool close_file = i < sound->source_count && sound->source_owned[i] && src->kind == 3;
        FreeSource(src);
        if (close_file && file.handle) file.funcs.Close(file.handle);
    }
    sound->source_count = 0;
    return 0;
}
