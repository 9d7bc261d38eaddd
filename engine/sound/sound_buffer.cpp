#include "engine/sound/sound_buffer.h"

#include <cmath>
#include <cstring>

#include "engine/sound/sound_system.h"
#include "engine/system/memory.h"

static int g_software_mixing = 0;

// A record made while the flag was set holds no DirectSound buffer; the later
// operations follow the record, so a flag change never mixes the two kinds.

int SetSoundSoftwareMixingFlag(int flag) {
    g_software_mixing = flag;
    return 0;
}
int GetSoundSoftwareMixingFlag() { return g_software_mixing; }

static void InitSoftwareFields(SoundBufferRecord* rec, void* memory, int samples, const WAVEFORMATEX* format) {
    rec->memory = memory;
    rec->play = 0;
    rec->position = 0;
    rec->loop = 0;
    rec->pan = 0;
    rec->volume = 255;
    rec->frequency = -1;
    rec->sample_count = samples;
    rec->format = *format;
    rec->used = 1;
}

int CreateDSoundBuffer(SoundBufferRecord* rec, const DSBUFFERDESC* desc) {
    if (rec->used) return -1;
    if (!g_software_mixing) {
        IDirectSound* ds = GetDirectSoundObject();
        if (!ds) return -1;
        IDirectSoundBuffer* buf = nullptr;
        if (FAILED(ds->CreateSoundBuffer(desc, &buf, nullptr)) || !buf) return -1;
        rec->buffer = buf;
        rec->used = 1;
        return 0;
    }
    const WAVEFORMATEX* fmt = desc->lpwfxFormat;
    if (!fmt || fmt->nBlockAlign == 0) return -1;
    // Zeroed so that an unwritten buffer plays silence, not heap garbage.
    void* mem = MemAllocZeroed(desc->dwBufferBytes ? desc->dwBufferBytes : 1, "sound_buffer", __LINE__);
    if (!mem) return -1;
    InitSoftwareFields(rec, mem, (int)(desc->dwBufferBytes / fmt->nBlockAlign), fmt);
    return 0;
}

int DuplicateDSoundBuffer(SoundBufferRecord* rec, SoundBufferRecord* source) {
    if (rec->used || !source->used) return -1;
    if (!g_software_mixing) {
        IDirectSound* ds = GetDirectSoundObject();
        if (!ds || !source->buffer) return -1;
        IDirectSoundBuffer* buf = nullptr;
        if (FAILED(ds->DuplicateSoundBuffer(source->buffer, &buf)) || !buf) return -1;
        rec->buffer = buf;
        rec->used = 1;
        return 0;
    }
    uint32_t bytes = (uint32_t)source->format.nBlockAlign * (uint32_t)source->sample_count;
    void* mem = MemAllocZeroed(bytes ? bytes : 1, "sound_buffer", __LINE__);
    if (!mem) return -1;
    InitSoftwareFields(rec, mem, source->sample_count, &source->format);
    return 0;
}

int ReleaseDSoundBuffer(SoundBufferRecord* rec) {
    if (!rec->used) return -1;
    if (rec->buffer) rec->buffer->Release();
    MemFree(rec->memory);
    rec->memory = nullptr;
    rec->buffer = nullptr;
    rec->used = 0;
    return 0;
}

int PlayDSoundBuffer(SoundBufferRecord* rec, int loop) {
    if (!rec->used) return -1;
    if (rec->buffer) return (int)rec->buffer->Play(0, 0, loop ? DSBPLAY_LOOPING : 0);
    rec->play = 1;
    rec->loop = loop;
    return 0;
}

int StopDSoundBuffer(SoundBufferRecord* rec) {
    if (!rec->used) return -1;
    if (rec->buffer)
        rec->buffer->Stop();
    else
        rec->play = 0;
    return 0;
}

int GetDSoundBufferStatus(SoundBufferRecord* rec, uint32_t* status) {
    if (!rec->used) return -1;
    if (rec->buffer) {
        DWORD s = 0;
        if (FAILED(rec->buffer->GetStatus(&s))) return -1;
        if (status) *status = s;
        return 0;
    }
    if (status) *status = rec->play ? 1 : 0;
    return 0;
}

int LockDSoundBuffer(SoundBufferRecord* rec, uint32_t offset, uint32_t bytes, void** first, uint32_t* first_size,
                     void** second, uint32_t* second_size) {
    if (!rec->used) return -1;
    if (rec->buffer) {
        DWORD s1 = 0, s2 = 0;
        void *p1 = nullptr, *p2 = nullptr;
        if (FAILED(rec->buffer->Lock(offset, bytes, &p1, &s1, &p2, &s2, 0))) return -1;
        *first = p1;
        *first_size = s1;
        *second = p2;
        *second_size = s2;
        return 0;
    }
    uint32_t align = rec->format.nBlockAlign;
    uint32_t count = (uint32_t)rec->sample_count;
    // Refused as DirectSound refuses it: nothing may reach outside the block.
    if (align == 0 || offset >= count * align || bytes > count * align) return -1;
    uint32_t s = offset / align, n = bytes / align;
    uint8_t* mem = (uint8_t*)rec->memory;
    uint32_t size1 = bytes, size2 = 0;
    if (s + n > count) {
        size1 = (count - s) * align;
        size2 = (n - (count - s)) * align;
    }
    // Whole samples are counted from an offset that need not be aligned: its
    // remainder can still carry the first region past the end.
    if ((uint64_t)offset + size1 > (uint64_t)count * align) return -1;
    *first = mem + offset;
    *first_size = size1;
    *second = size2 ? mem : nullptr;
    *second_size = size2;
    return 0;
}

int UnlockDSoundBuffer(SoundBufferRecord* rec, void* first, uint32_t first_size, void* second, uint32_t second_size) {
    if (!rec->used) return -1;
    if (rec->buffer) {
        if (FAILED(rec->buffer->Unlock(first, first_size, second, second_size))) return -1;
    }
    return 0;
}

int GetDSoundBufferPlayCursor(SoundBufferRecord* rec) {
    if (!rec->used) return -1;
    if (rec->buffer) {
        DWORD play = 0, write = 0;
        if (FAILED(rec->buffer->GetCurrentPosition(&play, &write))) return -1;
        return (int)play;
    }
    return rec->position * rec->format.nBlockAlign;
}

int SetDSoundBufferPosition(SoundBufferRecord* rec, uint32_t bytes) {
    if (!rec->used) return -1;
    if (rec->buffer)
        rec->buffer->SetCurrentPosition(bytes);
    else if (rec->format.nBlockAlign)
        rec->position = (int)(bytes / rec->format.nBlockAlign);
    return 0;
}

int SetDSoundBufferFrequency(SoundBufferRecord* rec, int hz) {
    if (!rec->used) return -1;
    if (rec->buffer)
        rec->buffer->SetFrequency((DWORD)hz);
    else
        rec->frequency = hz == 0 ? -1 : hz;
    return 0;
}

// 10^(v/1000) scaled to 0..256, with the single-precision exponent the mixer uses.
static int DecibelsToLinear256(int hundredths) {
    float f = (float)(hundredths / 10.0 / 100.0);
    return (int)(std::pow((double)10.0f, (double)f) / 0.9999999999 * 256.0);
}

int SetDSoundBufferPan(SoundBufferRecord* rec, int pan) {
    if (!rec->used) return -1;
    if (rec->buffer) {
        rec->buffer->SetPan(pan);
        return 0;
    }
    if (pan == -10000)
        rec->pan = -256;
    else if (pan == 10000)
        rec->pan = 256;
    else if (pan == 0)
        rec->pan = 0;
    else
        rec->pan = (pan < 0 ? -1 : 1) * DecibelsToLinear256(-(pan < 0 ? -pan : pan));
    return 0;
}

int SetDSoundBufferVolume(SoundBufferRecord* rec, int volume) {
    if (!rec->used) return -1;
    if (rec->buffer) {
        rec->buffer->SetVolume(volume);
        return 0;
    }
    if (volume == -10000)
        rec->volume = 0;
    else if (volume == 0)
        rec->volume = 256;
    else
        rec->volume = DecibelsToLinear256(volume);
    return 0;
}
