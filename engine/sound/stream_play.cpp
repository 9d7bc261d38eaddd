#include "engine/sound/sound_stream.h"
#include "engine/sound/sound_system.h"

int ShareStreamSoundBuffer(int handle, SoundHandleRecord* sound, SoundBufferRecord** buffer, int force) {
    if (sound->kind != SOUND_KIND_STREAM) {
        *buffer = &sound->buffers[0];
        return 0;
    }
    SoundHandleRecord* owner = StreamRingOwner(sound);
    if (!owner) return -1;
    *buffer = &owner->buffers[0];
    if (owner->current_user == -1 || owner->current_user == handle) {
        owner->current_user = handle;
        return 0;
    }
    if (!force) return -1;
    StopStreamSound(owner->current_user);
    owner->current_user = handle;
    return 0;
}

static void ResetStreamToStart(SoundHandleRecord* s) {
    s->last_source_finished = 0;
    RewindStreamSound(s);
}

int PrepareStreamSoundPlay(SoundBufferRecord** buffer, int handle, SoundHandleRecord* s, int play_type,
                           int from_top) {
    if (ShareStreamSoundBuffer(handle, s, buffer, 1) != 0) return -1;
    if (from_top == 0 && IsStreamSoundPlaying(handle) == 1) return 1;
    StopStreamSound(handle);
    // Switching between looping and not after the last source ran out starts over.
    if (((play_type ^ s->stream_play_type) & 2) && s->last_source_finished) ResetStreamToStart(s);
    // Position 0 and cursor 0 are also a cursor come round to a loop-back point at the
    // ring's start; only a prime no cursor has moved is the top. Kept, that prime keeps
    // its finished flag: it holds the end or loop-back written for its play type.
    if (from_top && s->cursor_moved) ResetStreamToStart(s);
    s->stream_play_type = play_type;
    PrimeStreamSound(handle);
    ApplySoundBufferSettings(s, *buffer);
    return 0;
}

int PlayStreamSound(int handle, int play_type, int from_top) {
    SoundHandleRecord* s = LockSoundRecord(handle);
    if (!s) return -1;
    SoundBufferRecord* buf = nullptr;
    if (s->kind != SOUND_KIND_STREAM || PrepareStreamSoundPlay(&buf, handle, s, play_type, from_top) != 0 ||
        PlayDSoundBuffer(buf, 1) != 0) {
        SoundLockLeave();
        return -1;
    }
    SoundLockLeave();
    if (play_type == SOUND_PLAY_WAIT) WaitWhileSoundPlays(handle);
    return 0;
}

int StopStreamSound(int handle) {
    SoundHandleRecord* s = LockSoundRecord(handle);
    if (!s) return -1;
    if (s->kind != SOUND_KIND_STREAM) {
        SoundLockLeave();
        return -1;
    }
    SoundHandleRecord* owner = StreamRingOwner(s);
    UpdateStreamPlayPosition(handle, -1);
    int result = 0;
    if (owner && owner->current_user == handle) {
        if (owner != s) owner->current_user = -1;
        uint32_t status = 0;
        if (GetDSoundBufferStatus(&owner->buffers[0], &status) != 0)
            result = -1;
        else if (status & DSBSTATUS_PLAYING)
            StopDSoundBuffer(&owner->buffers[0]);
    }
    SoundLockLeave();
    return result;
}

int IsStreamSoundPlaying(int handle) {
    SoundHandleRecord* s = LockSoundRecord(handle);
    if (!s) return -1;
    SoundHandleRecord* owner = StreamRingOwner(s);
    int result = -1;
    if (s->kind == SOUND_KIND_STREAM) {
        uint32_t status = 0;
        result = owner && owner->current_user == handle && GetDSoundBufferStatus(&owner->buffers[0], &status) == 0 &&
                         (status & DSBSTATUS_PLAYING)
                     ? 1
                     : 0;
    }
    SoundLockLeave();
    return result;
}

int GetStreamSoundPlayTime(int handle) {
    SoundHandleRecord* s = LockSoundRecord(handle);
    if (!s) return -1;
    if (s->kind != SOUND_KIND_STREAM || s->format.nBlockAlign == 0) {
        SoundLockLeave();
        return -1;
    }
    UpdateStreamPlayPosition(handle, -1);
    // Never past the length, also when passes beyond the first have moved the position on.
    uint32_t samples = s->play_position / s->format.nBlockAlign;
    if (samples > s->total_samples) samples = s->total_samples;
    const int ms = MulDiv64((int32_t)samples, (int32_t)s->format.nSamplesPerSec);
    SoundLockLeave();
    return ms;
}
