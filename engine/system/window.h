// The main window and the message pump.
#pragma once
#include <windows.h>

int SetUpMainWindow();
int DestroyMainWindow();
LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
HWND GetMainWindow();
int IsWindowMode();
int IsWindowActive();
int IsEndRequested();
int IsClosePosted();
// Returns at once while active (or when running while inactive is allowed, or
// when called from inside the pump); otherwise pumps until active or ending.
int WaitWhileInactive();
// One pass of the message pump: 0, or -1 once the end has been requested.
// Re-entry returns 0 at once.
int ProcessWindowMessages();
int IsInsideMessagePump();
int GetMousePosition(int* x, int* y);
int GetClientScreenRect(int rect[4], int reserved);
// With dst null: the text's size + 1, or -1. With dst: copies at most dst_size - 1
// bytes, terminates, returns 0 (-1 when there is no text).
int GetClipboardText(char* dst, int dst_size);
int SetClipboardText(const char* text);
// Client size set for the window (the screen size).
int SetMainWindowClientSize(int width, int height);
// Posts the engine's own WM_CLOSE (IsClosePosted then reports it).
int PostEngineClose();

