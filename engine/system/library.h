// Engine start and end, pre-start settings and the values recorded at start-up.
#pragma once

int InitLibrarySystems();
int EndLibrarySystems();
int IsLibraryInitialized();

// Pre-start settings.
int ChangeWindowMode(int window_mode);   // 1 window, 0 full screen
int SetMainWindowText(const char* title);
const char* GetMainWindowText();
int SetGraphMode(int width, int height, int bits, int refresh);
int GetGraphModeSettings(int* width, int* height, int* bits, int* refresh);
int SetNotSoundFlag(int flag);
int GetNotSoundFlag();
int SetAlwaysRunFlag(int flag);  // keep running while inactive
int GetAlwaysRunFlag();

// Values recorded at start-up.
extern int OsVersionCode;
extern int LogicalProcessorCount;
extern int LibraryCharsetIndex;
extern int LibraryCodePage;
const char* GetStartupDirectory();
// OsVersionCode from a platform id and version numbers (exposed for tests).
int ComputeOsVersionCode(int platform_id, int major, int minor);
