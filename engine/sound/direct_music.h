// The sound system's mode word and its DirectMusic start (mode 1). This program
// stays in mode 0: DirectSound with MIDI through MCI. Mode 1 falls back to
// mode 0 when the DirectMusic loader cannot be created.
#pragma once
#include <windows.h>
#include <dmusici.h>

// 0 DirectSound with MCI music, 1 DirectMusic. Set only before the sound start.
int GetSoundSystemMode();
void SetSoundSystemMode(int mode);

// Mode 1 only (null otherwise).
IDirectMusicPerformance8* GetDirectMusicPerformance();
IDirectMusicLoader8* GetDirectMusicLoader();
int GetDirectMusicMasterVolume();

// Part of the sound start in place of the DirectSound start: 0 started (the
// performance made *dsound), 1 the mode is 0 now and the DirectSound start
// must run, -1 failed with every DirectMusic object released.
int StartDirectMusic(IDirectSound** dsound);
// Part of the sound end: stops and releases whatever StartDirectMusic made.
void EndDirectMusic();
