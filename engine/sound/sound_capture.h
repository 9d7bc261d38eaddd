// Capture of the mixed output into a WAV file. Nothing in this program opens a
// capture; the sound end finishes one that is open.
#pragma once
#include <windows.h>

struct SoundCaptureState {
    int capturing;
    HANDLE file;
    int samples;       // 16-bit stereo frames written after the header
};

// Writes the 46-byte RIFF header for the captured samples and closes the file:
// 0, or -1 when no capture is open or the header cannot be written.
int FinishSoundCaptureFile();

// Internal to the sound system (and tests).
SoundCaptureState* GetSoundCaptureState();
