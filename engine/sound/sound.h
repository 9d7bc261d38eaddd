// Sound handles: load a sound file, play, stop, change the volume, ask whether
// it plays and how long it is, delete. Every call returns -1 while the sound
// system is down or for a handle that is not a live sound.
#pragma once

enum {
    SOUND_PLAY_WAIT = 0,    // play once and return when it has ended
    SOUND_PLAY_BACK = 1,    // play once in the background
    SOUND_PLAY_LOOP = 3,
};

int LoadSoundFileEntry(const char* path, int buffer_count, int partner);
int LoadSoundFile(const char* path, int buffer_count, int partner);
// A whole sound file held in memory; the caller keeps the image.
int CreateSoundFromFileImage(const void* image, unsigned size, int buffer_count, int partner);
int PlaySoundHandle(int handle, int play_type, int from_top);
int StopSoundHandle(int handle);
// 1 playing, 0 not, -1 bad handle.
int IsSoundHandlePlaying(int handle);
// volume 0..255
int SetSoundHandleVolume(int volume, int handle);
int GetSoundHandlePlayTime(int handle);
int GetSoundHandleSampleCount(int handle);
int GetSoundHandleLengthMs(int handle);
int DeleteSoundHandle(int handle, int ignored = 0);
int DeleteAllSoundHandles(int ignored = 0);

// 0 decode whole at load, 2 stream from a memory image, 3 stream from the file.
int SetCreateSoundDataType(int type);
int GetCreateSoundDataType();
