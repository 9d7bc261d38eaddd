#include <cstring>

#include "engine/file/file_stream.h"
#include "engine/sound/sound_handle.h"
#include "engine/sound/sound_stream.h"
#include "engine/sound/sound_system.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"

static const uint32_t kLongestNormalSoundSec = 180;

int CreateSoundBuffers(int source, const WAVEFORMATEX* format, uint32_t bytes, int stream_flag, int count,
                       int handle) {
    if (!IsSoundSystemUp()) return -1;
    SoundHandleRecord* rec = GetSoundRecord(handle);
    if (!rec) return -1;
    SoundHandleRecord* src = nullptr;
    WAVEFORMATEX fmt;
    if (source != -1) {
        src = GetSoundRecord(source);
        if (!src || stream_flag) return -1;
        bytes = (uint32_t)src->pcm_size;
        fmt = src->format;
    } else {
        if (!format) return -1;
        fmt = *format;
    }
    DSBUFFERDESC desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    desc.lpwfxFormat = &fmt;
    const DWORD location = GetSoundBufferLocationFlag();

    if (stream_flag) {
        if (fmt.nBlockAlign == 0) return -1;
        desc.dwBufferBytes = StreamRingSize(&fmt);
        desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN |
                       DSBCAPS_CTRLFREQUENCY | location;
        // A refused ring only fails this sound; the engine goes on.
        if (CreateDSoundBuffer(&rec->buffers[0], &desc) != 0)
            return LogAppend("ストリーム風サウンドバッファの作成に失敗しました");
        rec->buffer_count = 1;
    } else {
        if (count <= 0) return -1;
        if (count > SOUND_BUFFER_MAX) count = SOUND_BUFFER_MAX;
        desc.dwBufferBytes = bytes;
        int made = 0;
        for (int i = 0; i < count; i++) {
            bool create = (i == 0 && !src);
            if (!create) {
                SoundBufferRecord* first = src ? &src->buffers[0] : &rec->buffers[0];
                if (DuplicateDSoundBuffer(&rec->buffers[i], first) != 0) {
                    if (!(src && i == 0)) break;
                    create = true;
                }
            }
            if (create) {
                desc.dwFlags = DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY | location;
                if (CreateDSoundBuffer(&rec->buffers[i], &desc) != 0) {
                    desc.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | location;
                    if (CreateDSoundBuffer(&rec->buffers[i], &desc) != 0) {
                        for (int j = 0; j < i; j++) ReleaseDSoundBuffer(&rec->buffers[j]);
                        return LogAppend("DirectSoundBuffer の作成に失敗しました\n");
                    }
                }
            }
            made = i + 1;
        }
        rec->buffer_count = made;
    }
    rec->kind = stream_flag ? SOUND_KIND_STREAM : SOUND_KIND_NORMAL;
    if (rec->kind == SOUND_KIND_STREAM) ListAddFirst(GetStreamPlayListHead(), &rec->play_node, handle, rec);
    return 0;
}

// Copies the whole PCM into every buffer of the sound.
static int FillSoundBuffers(SoundHandleRecord* rec) {
    for (int i = 0; i < rec->buffer_count; i++) {
        void *p1 = nullptr, *p2 = nullptr;
        uint32_t s1 = 0, s2 = 0;
        if (LockDSoundBuffer(&rec->buffers[i], 0, (uint32_t)rec->pcm_size, &p1, &s1, &p2, &s2) != 0)
            return LogAppend("サウンドデータの転送に失敗しました_1");
        uint32_t size = (uint32_t)rec->pcm_size;
        uint32_t n1 = s1 < size ? s1 : size;
        if (p1) std::memcpy(p1, rec->pcm, n1);
        uint32_t n2 = size - n1 < s2 ? size - n1 : s2;
        if (p2 && n2) std::memcpy(p2, (uint8_t*)rec->pcm + n1, n2);
        if (UnlockDSoundBuffer(&rec->buffers[i], p1, s1, p2, s2) != 0)
            return LogAppend("サウンドデータの転送に失敗しました_2");
    }
    return 0;
}

int CreateSoundFromFileImage(const void* image, unsigned size, int buffer_count, int partner) {
    if (!IsSoundSystemUp()) return -1;
    if (buffer_count > SOUND_BUFFER_MAX || buffer_count <= 0) return -1;
    SoundLockEnter();
    int handle = AddSoundData(-1);
    if (handle == -1) {
        SoundLockLeave();
        return -1;
    }
    SoundHandleRecord* rec = GetSoundRecord(handle);
    int stream_type = GetCreateSoundDataType();
    void* pcm = nullptr;
    if (stream_type == 0) {
        // A decode may take seconds: the sound thread goes on refilling streams meanwhile.
        SoundLockLeave();
        StreamData sd;
        sd.funcs = *GetMemStreamTable();
        sd.handle = MemStreamOpen(image, size);
        SoundConverter conv;
        conv.setup = 0;
        if (!sd.handle || SelectSoundDecoder(&sd, &conv) != 0) {
            if (sd.handle) MemStreamClose(sd.handle);
            SoundLockEnter();
            LogAppendFormat("音声ファイルのＰＣＭへの変換に失敗しました");
            goto fail;
        }
        WAVEFORMATEX fmt;
        uint32_t pcm_size = 0;
        int converted = ConvertWholeSound(&conv, &fmt, &pcm, &pcm_size);
        TerminateSoundConverter(&conv);
        MemStreamClose(sd.handle);
        SoundLockEnter();
        rec = GetSoundRecord(handle);
        // ConvertWholeSound has said why: no memory, or no PCM of what the decoder promised.
        if (converted != 0) {
            pcm = nullptr;
            LogAppendFormat("音声ファイルのＰＣＭへの変換に失敗しました");
            goto fail;
        }
        if (pcm_size / fmt.nBlockAlign / fmt.nSamplesPerSec > kLongestNormalSoundSec ||
            CreateSoundBuffers(-1, &fmt, pcm_size, 0, buffer_count, handle) != 0) {
            MemFree(pcm);
            pcm = nullptr;
            stream_type = 2;
        } else {
            rec->frequency = (int)fmt.nSamplesPerSec;
            rec->ref_count = (uint32_t*)MemAlloc(sizeof(uint32_t), "sound_load", __LINE__);
            if (!rec->ref_count) {
                LogAppendFormat("サウンドデータの参照数を保存するメモリ領域の確保に失敗しました");
                goto fail;
            }
            rec->format = fmt;
            rec->pcm_size = (int32_t)pcm_size;
            rec->pcm = pcm;
            pcm = nullptr;
            *rec->ref_count = 1;
            if (FillSoundBuffers(rec) != 0) goto fail;
            SoundLockLeave();
            return handle;
        }
    }
    // Sounds too long for memory, or refused as normal buffers, play as streams.
    if (SetupStreamSoundFromMemory(image, size, 0, handle, stream_type, partner) == 0) {
        PrimeStreamSound(handle);
        SoundLockLeave();
        return handle;
    }
fail:
    DeleteSoundHandle(handle, 0);
    MemFree(pcm);
    SoundLockLeave();
    return -1;
}

int LoadSoundFile(const char* path, int buffer_count, int partner) {
    if (!IsSoundSystemUp()) return -1;
    if (buffer_count > SOUND_BUFFER_MAX) buffer_count = SOUND_BUFFER_MAX;
    if (GetCreateSoundDataType() != 0) {
        SoundLockEnter();
        int handle = AddSoundData(-1);
        if (handle != -1 && SetupStreamSoundFromFile(path, 0, handle, GetCreateSoundDataType(), partner) != 0) {
            DeleteSoundHandle(handle, 0);
            handle = -1;
        }
        if (handle != -1) PrimeStreamSound(handle);
        SoundLockLeave();
        return handle;
    }
    void* image = nullptr;
    size_t size = 0;
    // Neither the read nor the decode holds the sound lock: CreateSoundFromFileImage takes it where needed.
    if (LoadFileToMemory(path, &image, &size) != 0) {
        MemFree(image);
        return LogAppendFormat("右記の音声ファイルのロードに失敗しました_1：%s", path);
    }
    int handle = CreateSoundFromFileImage(image, (unsigned)size, buffer_count, -1);
    MemFree(image);
    if (handle == -1) return LogAppendFormat("右記の音声ファイルのロードに失敗しました_2：%s", path);
    return handle;
}

int LoadSoundFileEntry(const char* path, int buffer_count, int partner) {
    return LoadSoundFile(path, buffer_count, partner);
}
