// Stream sounds: PCM decoded while it plays into a one-second ring kept ahead
// of the play cursor by the sound thread (or, on one processor, the message
// pump). Up to three sources play in turn, each with its own loop count.
#pragma once
#include <cstdint>

#include "engine/file/stream.h"
#include "engine/sound/sound_handle.h"

// One locked stretch of the ring; writers fill the first region before the second.
struct LockedRegions {
    uint32_t offset;
    uint8_t* first;
    uint8_t* second;
    uint32_t first_size, second_size;
    uint32_t first_written, second_written;
    uint32_t first_left, second_left;
};

// WriteStreamFromSources: the current source moved on (next pass or source),
// the sources looped back, or the end was written.
enum { STREAM_MOVED_ON = 0, STREAM_LOOPED_BACK = 1, STREAM_END_WRITTEN = -1 };

// One second of the format, aligned up to whole samples.
uint32_t StreamRingSize(const WAVEFORMATEX* format);
// The sound that owns the ring this sound plays (itself, or its partner); null when the partner is gone.
SoundHandleRecord* StreamRingOwner(SoundHandleRecord* sound);

// kind: 0 decoded whole to PCM when added, 2 the source's bytes copied and
// decoded while playing, 3 decoded from the caller's stream while playing.
int AddSreamSound(StreamData* stream, uint8_t loop_count, int handle, int kind, int* consumed, int partner);
int SetupStreamSoundFromFile(const char* path, uint8_t loop_count, int handle, int kind, int partner);
// The caller keeps the image; kind 3 is taken as 2.
int SetupStreamSoundFromMemory(const void* image, uint32_t size, uint8_t loop_count, int handle, int kind,
                               int partner);
int PrimeStreamSound(int handle);
int PlayStreamSound(int handle, int play_type, int from_top);
// 0 ready, non-zero refused.
int PrepareStreamSoundPlay(SoundBufferRecord** buffer, int handle, SoundHandleRecord* sound, int play_type,
                           int from_top);
int StopStreamSound(int handle);
// 1 playing, 0 not, -1 bad handle.
int IsStreamSoundPlaying(int handle);
int GetStreamSoundPlayTime(int handle);
int RefillStreamSound(int handle);
int RefillAllStreamSounds();
int ShareStreamSoundBuffer(int handle, SoundHandleRecord* sound, SoundBufferRecord** buffer, int force);
// cursor -1 reads the play cursor.
int UpdateStreamPlayPosition(int handle, int cursor);
int WriteStreamFromSources(SoundHandleRecord* sound, LockedRegions* regions, uint32_t play_cursor);
uint32_t CopyConvertedToLock(LockedRegions* regions, SoundConverter* conv, uint32_t bytes);
void WriteStreamSilence(SoundHandleRecord* sound, LockedRegions* regions, uint32_t bytes);
// The stream part of a delete, after StopStreamSound: 1 when other sounds still
// share the ring (the record stays, delete pending), 0 when the record may go.
int ReleaseStreamSound(int handle, SoundHandleRecord* sound);
// Back to the first source's start, not active; the caller clears its own end flag.
void RewindStreamSound(SoundHandleRecord* sound);

// The sound thread: started at sound start with more than one logical
// processor; stopped and joined at sound end.
int StartSoundThread();
int StopSoundThread();
int IsSoundThreadRunning();
