// One playback buffer: a DirectSound secondary buffer, or a block in engine
// memory when the software-mixing flag is set (nothing mixes those; their
// cursors only move when told to, which makes them deterministic).
#pragma once
#include <windows.h>
#include <mmreg.h>
#include <dsound.h>
#include <cstdint>

struct SoundBufferRecord {
    int used;                   // 1 while the buffer exists
    IDirectSoundBuffer* buffer; // owned reference
    void* memory;               // software buffer samples
    int play;                   // software: playing
    int position;               // software: play position in samples
    int loop;                   // software: looping
    int pan;                    // software: -256..256
    int volume;                 // software: 0..256
    int frequency;              // software: Hz, -1 = the format's own rate
    int sample_count;           // software: length in samples
    WAVEFORMATEX format;        // software: format
};

// Process-wide: 0 DirectSound buffers, non-zero software buffers.
int SetSoundSoftwareMixingFlag(int flag);
int GetSoundSoftwareMixingFlag();

// 0 on success, -1 on failure (PlayDSoundBuffer: the HRESULT itself).
int CreateDSoundBuffer(SoundBufferRecord* rec, const DSBUFFERDESC* desc);
int DuplicateDSoundBuffer(SoundBufferRecord* rec, SoundBufferRecord* source);
int ReleaseDSoundBuffer(SoundBufferRecord* rec);
int PlayDSoundBuffer(SoundBufferRecord* rec, int loop);
int StopDSoundBuffer(SoundBufferRecord* rec);
int GetDSoundBufferStatus(SoundBufferRecord* rec, uint32_t* status);
int LockDSoundBuffer(SoundBufferRecord* rec, uint32_t offset, uint32_t bytes, void** first, uint32_t* first_size,
                     void** second, uint32_t* second_size);
int UnlockDSoundBuffer(SoundBufferRecord* rec, void* first, uint32_t first_size, void* second, uint32_t second_size);
// The play cursor in bytes, or -1.
int GetDSoundBufferPlayCursor(SoundBufferRecord* rec);
int SetDSoundBufferPosition(SoundBufferRecord* rec, uint32_t bytes);
int SetDSoundBufferFrequency(SoundBufferRecord* rec, int hz);
int SetDSoundBufferPan(SoundBufferRecord* rec, int pan);
int SetDSoundBufferVolume(SoundBufferRecord* rec, int volume);
