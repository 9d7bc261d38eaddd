// The sound handle table and its record, shared by the handle operations,
// stream sounds and soft sounds.
#pragma once
#include <windows.h>
#include <mmreg.h>
#include <cstdint>

#include "engine/file/stream.h"
#include "engine/sound/sound.h"
#include "engine/sound/sound_buffer.h"
#include "engine/sound/sound_convert.h"
#include "engine/system/handle_table.h"
#include "engine/system/list.h"

enum { SOUND_HANDLE_MAX = 32768, SOUND_BUFFER_MAX = 10, STREAM_SOURCE_MAX = 3 };
enum { SOUND_KIND_NORMAL = 0, SOUND_KIND_STREAM = 1 };

struct StreamSourceEntry {
    uint8_t loop_count;        // further passes; 255 endless
    int kind;                  // 0 PCM image, 2 file image decoded while playing, 3 caller's stream
    void* data;
    uint32_t data_size;
    StreamData stream;
    int32_t loop_start;        // samples
    int32_t loop_end;          // samples, -1 = the source's end
    SoundConverter converter;
};

// Loop-backs written ahead of the play cursor: at `position` in the ring the play
// position goes back to `start`, and again every `period` bytes `repeats` more times.
// A short loop writes many at one spacing; they take one entry.
struct StreamLoopBack {
    uint32_t position;
    uint32_t start;            // bytes
    uint32_t period;
    uint32_t repeats;
};
enum { STREAM_LOOP_BACK_MAX = 4 };

struct SoundHandleRecord {
    int check;
    SoundBufferRecord buffers[SOUND_BUFFER_MAX];
    WAVEFORMATEX format;
    int kind;
    // Stream ring state.
    int stream_play_type;
    int partner;
    int share_count;
    int current_user;
    int delete_pending;
    uint32_t ring_size;
    int32_t write_cursor;      // -800 = not primed
    uint32_t window_start;
    StreamSourceEntry sources[STREAM_SOURCE_MAX];
    uint8_t source_owned[STREAM_SOURCE_MAX];
    // Stream play state.
    int source_count;
    int current_source;
    int passes_done;
    int32_t source_write_pos;
    uint32_t total_samples;
    uint32_t play_position;
    uint32_t last_play_cursor;
    uint8_t active, end_written, last_source_finished;
    uint8_t cursor_moved;      // since the prime: until then the stream stands at its top
    uint32_t end_position;
    uint32_t end_play_cursor;  // the cursor at the last end check
    uint32_t end_distance;     // bytes the cursor still has to play up to the end
    StreamLoopBack loop_backs[STREAM_LOOP_BACK_MAX];  // oldest first
    int loop_back_count;
    ListNode play_node;
    // Normal sound.
    int32_t pcm_size;
    void* pcm;
    uint32_t* ref_count;
    int buffer_count;
    int next_buffer;
    int volume;                // hundredths of a decibel
    int pan;
    int frequency;             // Hz, 0 = the buffer's own
    uint8_t once_volume_set, once_pan_set, once_frequency_set;
    int once_volume, once_pan, once_frequency;
};

// Null for anything but a live sound handle.
SoundHandleRecord* GetSoundRecord(int handle);
// Enters the sound lock and returns the live record; null, with the lock not
// held, when the system is down or the handle is bad. The caller leaves the lock.
SoundHandleRecord* LockSoundRecord(int handle);
HandleTable* GetSoundHandleTable();
// -1 asks for a new handle.
int AddSoundData(int handle);
int CreateSoundBuffers(int source, const WAVEFORMATEX* format, uint32_t bytes, int stream_flag, int count, int handle);
// 0 ready, 1 busy, -1 failure.
int PlayNextSoundBuffer(int from_top, SoundHandleRecord* sound);
// The sound's volume, pan and frequency (or their one-shot values, then spent) on the buffer it plays.
void ApplySoundBufferSettings(SoundHandleRecord* sound, SoundBufferRecord* buffer);
// SOUND_PLAY_WAIT: pumps window messages until the sound stops or the window ends.
void WaitWhileSoundPlays(int handle);
// 1000 x log10(volume / 255) in hundredths of a decibel, -10000 for 0 or below.
int SoundVolumeToDecibels(int volume);

// The list of every stream sound (key = handle, data = record).
void InitStreamPlayList();
ListNode* GetStreamPlayListHead();
