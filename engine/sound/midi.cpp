#include "engine/sound/midi.h"

#include <cstring>

#include "engine/sound/direct_music.h"
#include "engine/sound/sound.h"
#include "engine/sound/sound_system.h"
#include "engine/system/entry_points.h"
#include "engine/system/memory.h"
#include "engine/system/window.h"

static void* g_records[MIDI_HANDLE_MAX];
static HandleTable g_table = {HANDLE_MIDI, MIDI_HANDLE_MAX, 0, 0, 0, g_records};
static MidiState g_state = {};
// StopMidi lets the sequencer's close settle through this many message pump passes.
static const int kStopPumpPasses = 5;

HandleTable* GetMidiHandleTable() { return &g_table; }
MidiState* GetMidiState() { return &g_state; }

static MidiHandleRecord* GetMidiRecord(int handle) {
    if (!IsSoundSystemUp()) return nullptr;
    return (MidiHandleRecord*)HandleTableGet(&g_table, handle);
}

int GetMidiPlayState(int handle) {
    MidiHandleRecord* rec = GetMidiRecord(handle);
    if (!rec) return -1;
    return GetSoundSystemMode() == 1 ? rec->playing : g_state.mci_playing;
}

int PollMidiPlayState() {
    if (!IsSoundSystemUp()) return -1;
    IDirectMusicPerformance8* performance = GetDirectMusicPerformance();
    if (GetSoundSystemMode() != 1 || !performance) return 0;
    for (int slot = 0; slot < g_table.free_hint; slot++) {
        MidiHandleRecord* rec = (MidiHandleRecord*)g_records[slot];
        if (!rec || !rec->playing || !rec->segment) continue;
        const bool still = performance->IsPlaying((IDirectMusicSegment*)rec->segment, nullptr) != S_FALSE;
        // A segment that has not started sounding yet has not ended either.
        if (rec->seen_playing)
            rec->playing = still ? 1 : 0;
        else if (still)
            rec->seen_playing = 1;
    }
    return 0;
}

int OnMidiMciNotify() {
    if (g_state.loop == 1) {
        MCI_PLAY_PARMS parms;
        std::memset(&parms, 0, sizeof(parms));
        parms.dwCallback = (DWORD_PTR)GetMainWindow();
        parms.dwFrom = 0;
        if (WinApi.mciSendCommandA)
            WinApi.mciSendCommandA(g_state.mci_device, MCI_PLAY, MCI_NOTIFY | MCI_FROM, (DWORD_PTR)&parms);
        g_state.mci_playing = 1;
    } else if (g_state.mci_playing == 1) {
        if (WinApi.mciSendCommandA) WinApi.mciSendCommandA(g_state.mci_device, MCI_CLOSE, 0, 0);
        g_state.mci_playing = 0;
    }
    return 0;
}

void DeleteTemporaryMidiFile() {
    if (!g_state.temp_exists) return;
    DeleteFileA(g_state.temp_path);
    g_state.temp_exists = 0;
}

int StopMidi(int handle) {
    MidiHandleRecord* rec = GetMidiRecord(handle);
    if (!rec) return -1;
    g_state.loop = 0;
    if (GetSoundSystemMode() != 1) {
        OnMidiMciNotify();
        for (int i = 0; i < kStopPumpPasses; i++) ProcessWindowMessages();
    } else if (GetDirectMusicPerformance() && rec->segment) {
        GetDirectMusicPerformance()->StopEx((IUnknown*)rec->segment, 0, 0);
    }
    DeleteTemporaryMidiFile();
    rec->playing = 0;
    rec->seen_playing = 0;
    return 0;
}

int DeleteMidiHandle(int handle) {
    MidiHandleRecord* rec = GetMidiRecord(handle);
    if (!rec) return -1;
    if (GetMidiPlayState(handle) == 1) StopMidi(handle);
    if (rec->segment) {
        rec->segment->Unload((IUnknown*)GetDirectMusicPerformance());
        if (GetDirectMusicLoader()) GetDirectMusicLoader()->ReleaseObjectByUnknown((IUnknown*)rec->segment);
        rec->segment->Release();
    }
    if (rec->data) {
        std::memset(rec->data, 0, rec->data_size);
        MemFree(rec->data);
    }
    HandleTableFreeSlot(&g_table, HandleSlotOf(handle));
    return 0;
}

int DeleteAllMidiHandles() {
    if (!IsSoundSystemUp()) return -1;
    for (int slot = 0; slot < MIDI_HANDLE_MAX; slot++) {
        const int handle = HandleTableHandleAt(&g_table, slot);
        if (handle != -1) DeleteMidiHandle(handle);
    }
    return 0;
}

int StopAndDeleteMusic() {
    if (g_state.music_handle == 0) return 0;
    if (g_state.music_kind == MUSIC_KIND_SOUND) {
        StopSoundHandle(g_state.music_handle);
        DeleteSoundHandle(g_state.music_handle);
    } else {
        StopMidi(g_state.music_handle);
        DeleteMidiHandle(g_state.music_handle);
    }
    g_state.music_handle = 0;
    return 0;
}
