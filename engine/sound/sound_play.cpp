#include "engine/sound/sound_handle.h"
#include "engine/sound/sound_stream.h"
#include "engine/sound/sound_system.h"
#include "engine/system/window.h"

static SoundHandleRecord* GetLiveSound(int handle) {
    if (!IsSoundSystemUp()) return nullptr;
    return GetSoundRecord(handle);
}

int PlayNextSoundBuffer(int from_top, SoundHandleRecord* sound) {
    if (sound->buffer_count <= 0) return -1;
    int cursor = 0;
    if (sound->buffers[sound->next_buffer].used) cursor = GetDSoundBufferPlayCursor(&sound->buffers[sound->next_buffer]);
    sound->next_buffer++;
    if (sound->next_buffer >= sound->buffer_count) sound->next_buffer = 0;
    SoundBufferRecord* buf = &sound->buffers[sound->next_buffer];
    uint32_t status = 0;
    if (!buf->used || GetDSoundBufferStatus(buf, &status) != 0) return -1;
    if (status & DSBSTATUS_PLAYING) {
        if (from_top == 0) return 1;
        StopDSoundBuffer(buf);
    }
    SetDSoundBufferPosition(buf, from_top == 1 ? 0 : (uint32_t)(cursor < 0 ? 0 : cursor));
    ApplySoundBufferSettings(sound, buf);
    return 0;
}

void ApplySoundBufferSettings(SoundHandleRecord* sound, SoundBufferRecord* buf) {
    SetDSoundBufferVolume(buf, sound->once_volume_set ? sound->once_volume : sound->volume);
    SetDSoundBufferPan(buf, sound->once_pan_set ? sound->once_pan : sound->pan);
    SetDSoundBufferFrequency(buf, sound->once_frequency_set ? sound->once_frequency : sound->frequency);
    sound->once_volume_set = sound->once_pan_set = sound->once_frequency_set = 0;
}

void WaitWhileSoundPlays(int handle) {
    int ended = ProcessWindowMessages();
    while (ended == 0 && IsSoundHandlePlaying(handle) == 1) {
        Sleep(1);
        ended = ProcessWindowMessages();
    }
}

int PlaySoundHandle(int handle, int play_type, int from_top) {
    SoundHandleRecord* rec = GetLiveSound(handle);
    if (!rec) return -1;
    if (rec->kind == SOUND_KIND_STREAM) return PlayStreamSound(handle, play_type, from_top);
    int r = PlayNextSoundBuffer(from_top, rec);
    if (r == 1) return 0;
    if (r != 0) return -1;
    if (PlayDSoundBuffer(&rec->buffers[rec->next_buffer], play_type == SOUND_PLAY_LOOP) != 0) return -1;
    if (play_type == SOUND_PLAY_WAIT) WaitWhileSoundPlays(handle);
    return 0;
}

int StopSoundHandle(int handle) {
    SoundHandleRecord* rec = GetLiveSound(handle);
    if (!rec) return -1;
    if (rec->kind == SOUND_KIND_STREAM) return StopStreamSound(handle);
    for (int i = 0; i < rec->buffer_count; i++) {
        uint32_t status = 0;
        if (GetDSoundBufferStatus(&rec->buffers[i], &status) != 0) return -1;
        if (status & DSBSTATUS_PLAYING) StopDSoundBuffer(&rec->buffers[i]);
    }
    return 0;
}

int IsSoundHandlePlaying(int handle) {
    SoundHandleRecord* rec = GetLiveSound(handle);
    if (!rec) return -1;
    if (rec->kind == SOUND_KIND_STREAM) return IsStreamSoundPlaying(handle);
    for (int i = 0; i < rec->buffer_count; i++) {
        uint32_t status = 0;
        if (GetDSoundBufferStatus(&rec->buffers[i], &status) == 0 && (status & DSBSTATUS_PLAYING)) return 1;
    }
    return 0;
}

int SetSoundHandleVolume(int volume, int handle) {
    SoundHandleRecord* rec = GetLiveSound(handle);
    if (!rec) return -1;
    int db = SoundVolumeToDecibels(volume);
    if (rec->kind == SOUND_KIND_STREAM) {
        // The ring takes it while this sound plays through it; every play applies it again.
        SoundHandleRecord* owner = StreamRingOwner(rec);
        if (owner && owner->current_user == handle) SetDSoundBufferVolume(&owner->buffers[0], db);
    } else {
        for (int i = 0; i < rec->buffer_count; i++) SetDSoundBufferVolume(&rec->buffers[i], db);
    }
    rec->volume = db;
    return 0;
}

int GetSoundHandlePlayTime(int handle) {
    SoundHandleRecord* rec = GetLiveSound(handle);
    if (!rec) return -1;
    if (rec->kind == SOUND_KIND_STREAM) return GetStreamSoundPlayTime(handle);
    int cursor = 0;
    if (rec->buffers[rec->next_buffer].used) cursor = GetDSoundBufferPlayCursor(&rec->buffers[rec->next_buffer]);
    if (cursor < 0) cursor = 0;
    return MulDiv64(cursor / rec->format.nBlockAlign, (int32_t)rec->format.nSamplesPerSec);
}

int GetSoundHandleSampleCount(int handle) {
    SoundHandleRecord* rec = GetLiveSound(handle);
    if (!rec || rec->format.nBlockAlign == 0) return -1;
    if (rec->kind == SOUND_KIND_STREAM) return (int)rec->total_samples;
    return rec->pcm_size / rec->format.nBlockAlign;
}

int GetSoundHandleLengthMs(int handle) {
    int samples = GetSoundHandleSampleCount(handle);
    if (samples < 0) return -1;
    return MulDiv64(samples, (int32_t)GetSoundRecord(handle)->format.nSamplesPerSec);
}
