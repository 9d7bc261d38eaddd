// Character input: the queue of typed bytes filled by the window procedure,
// text-input handles that edit one line from it (cursor, selection, clipboard,
// Enter and Escape), and the input-method editor's messages.
#pragma once
#include <windows.h>

int InitTextInput();

// The queue holds at most 1024 bytes; a push into a full queue drops the byte (-1).
int PushInputChar(unsigned char c);
// One whole character (1 or 2 bytes) into out; take 0 peeks. 0 when none is ready,
// also while a lead byte waits for its trail byte.
int PopInputChar(char out[2], int take);
// 1 for a control code that an editing key puts into the queue.
int IsControlCode(unsigned char c);
// Characters in the first n bytes of s (double-byte characters count once).
int CountMultiByteChars(const char* s, int n);
int ResetCaretBlink();

// Window procedure side: WM_CHAR keeps the bytes an edit uses, WM_KEYDOWN turns
// editing keys into control codes, activation re-synchronises an open IME.
int PushWindowChar(unsigned char c);
int PushEditKey(int virtual_key);
int OnMainWindowActivated();

// Makes a text input of at most max_length bytes and makes it the active one;
// its handle, or -1.
int CreateTextInput(int max_length, int cancel_allowed, int single_byte_only, int numbers_only);
int DeleteTextInput(int handle);
int DeleteAllTextInputs();
// Feeds the queued characters to the active text input (the pump's last step).
int ProcessActiveTextInput();

int SetImeEnabled(int on);
int IsImeEnabled();
LRESULT HandleImeMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
