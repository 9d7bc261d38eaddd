// Soft sounds: PCM held by the program (kind 0) or queued into a player (kind 1)
// that the CPU copies into a DirectSound buffer used as a ring. Nothing in this
// program creates them; their tables are swept at every sound start and end.
#pragma once
#include <windows.h>
#include <mmreg.h>
#include <cstdint>

#include "engine/sound/sound_buffer.h"
#include "engine/system/handle_table.h"
#include "engine/system/list.h"
#include "engine/system/ring_buffer.h"

enum { SOFTSOUND_HANDLE_MAX = 8192 };
enum { SOFTSOUND_KIND_DATA = 0, SOFTSOUND_KIND_PLAYER = 1 };

struct SoftSoundRecord {
    int check;
    int kind;
    WAVEFORMATEX format;
    // Sound data.
    void* pcm;
    // Player.
    ListNode node;              // in the player list: key = handle, data = this record
    int queued_samples;
    RingBuffer queue;
    SoundBufferRecord buffer;
    uint32_t buffer_size;       // bytes
    uint32_t write_cursor;
    int32_t silence_start;      // ring offset where silence after the queued data begins, -1 none
    uint32_t last_play_cursor;
    int silence_passed;
    uint32_t target;            // bytes kept ahead of the play cursor
    int active;
};

// Frees a record of the given kind; -1 for anything else.
int DeleteSoftSoundHandle(int handle, int kind);
// 0, or -1 while the sound system is down.
int DeleteAllSoftSoundData();
int DeleteAllSoftSoundPlayers();
// Tops one player's ring up under the sound lock; 0, or -1 when its buffer fails.
int PumpSoftSoundPlayer(SoftSoundRecord* player);
// 0, or -1 while the sound system is down.
int PumpAllSoftSoundPlayers();

// Internal to the sound system (its start, and tests that make records).
HandleTable* GetSoftSoundHandleTable();
void InitSoftSoundPlayerList();
ListNode* GetSoftSoundPlayerListHead();
