// MIDI handles and the music slot. This program never loads or plays MIDI: what
// exists is the stopping, polling and deletion that the message pump, the
// window procedure and the engine and sound ends run on empty tables.
#pragma once
#include <windows.h>
#include <cstdint>

#include "engine/system/handle_table.h"

struct IDirectMusicSegment8;

enum { MIDI_HANDLE_MAX = 256 };
enum { MUSIC_KIND_MIDI = 0, MUSIC_KIND_SOUND = 1 };

struct MidiHandleRecord {
    int check;
    int playing;                  // mode 1
    int seen_playing;             // mode 1: the segment was once reported playing
    void* data;
    uint32_t data_size;
    IDirectMusicSegment8* segment;
};

// Process-wide MIDI and music state (main thread only).
struct MidiState {
    uint32_t mci_device;
    int mci_playing;
    int loop;
    char temp_path[MAX_PATH];
    int temp_exists;
    int music_handle;             // 0 none
    int music_kind;               // MUSIC_KIND_SOUND: a stream sound handle, else a MIDI handle
};

// 1 playing, 0 not, -1 for anything but a live MIDI handle.
int GetMidiPlayState(int handle);
// Mode 1: notes which segments have ended. 0, or -1 while the sound system is down.
int PollMidiPlayState();
// The window procedure's answer to an MCI notification: plays again when looping, else closes. 0.
int OnMidiMciNotify();
int StopMidi(int handle);
int DeleteMidiHandle(int handle);
int DeleteAllMidiHandles();
// Engine end: stops and deletes the music handle, MIDI or sound. 0.
int StopAndDeleteMusic();
// Sound end: removes the temporary MIDI file when one exists.
void DeleteTemporaryMidiFile();

// Internal to the sound system (and tests that make records).
HandleTable* GetMidiHandleTable();
MidiState* GetMidiState();
