// Start and end of the sound system: the sound lock, the audio compression
// manager loaded by name, the DirectSound object with its primary and silence
// buffers, and the device report in the start-up log.
#pragma once
#include <windows.h>
#include <mmreg.h>
#include <msacm.h>
#include <dsound.h>

// 0, or -1 when already up or DirectSound cannot be set up (everything undone).
int InitializeSoundSystem();
// 0, or -1 when not up.
int TerminateSoundSystem();

// Up = the DirectSound object exists; every sound operation checks it first.
int IsSoundSystemUp();
IDirectSound* GetDirectSoundObject();
IDirectSoundBuffer* GetPrimarySoundBuffer();

// The recursive lock over sound handles and stream state; exists only while up.
void SoundLockEnter();
void SoundLockLeave();
// Leaves every hold this thread has on the lock (for a long decode); the count, for SoundLockEnterAgain.
int SoundLockLeaveAll();
void SoundLockEnterAgain(int holds);
int IsSoundLockCreated();

// DSBCAPS_STATIC (2) normally, DSBCAPS_LOCSOFTWARE (8) when software location is chosen.
DWORD GetSoundBufferLocationFlag();
// Bytes per sample of decoded Ogg Vorbis output (2 after start).
int GetOggVorbisOutputBytes();

// msacm32.dll, loaded at sound start (entries null when missing).
struct AcmEntryPoints {
    MMRESULT (WINAPI* acmFormatSuggest)(HACMDRIVER, LPWAVEFORMATEX, LPWAVEFORMATEX, DWORD, DWORD);
    MMRESULT (WINAPI* acmStreamOpen)(LPHACMSTREAM, HACMDRIVER, LPWAVEFORMATEX, LPWAVEFORMATEX, LPWAVEFILTER,
                                     DWORD_PTR, DWORD_PTR, DWORD);
    MMRESULT (WINAPI* acmStreamClose)(HACMSTREAM, DWORD);
    MMRESULT (WINAPI* acmMetrics)(HACMOBJ, UINT, LPVOID);
    MMRESULT (WINAPI* acmStreamPrepareHeader)(HACMSTREAM, LPACMSTREAMHEADER, DWORD);
    MMRESULT (WINAPI* acmStreamConvert)(HACMSTREAM, LPACMSTREAMHEADER, DWORD);
    MMRESULT (WINAPI* acmStreamUnprepareHeader)(HACMSTREAM, LPACMSTREAMHEADER, DWORD);
    MMRESULT (WINAPI* acmStreamSize)(HACMSTREAM, DWORD, LPDWORD, DWORD);
};
extern AcmEntryPoints AcmApi;
