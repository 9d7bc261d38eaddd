// State of character input and the IME, shared by its files in engine/input and the tests.
#pragma once
#include <windows.h>
#include <imm.h>

#include "engine/input/text_input.h"

enum { CHAR_QUEUE_SIZE = 1025, MAX_TEXT_INPUTS = 256, IME_STRING_SIZE = 1024 };

struct CharQueue {
    unsigned char data[CHAR_QUEUE_SIZE];
    int read;
    int write;
};

struct TextInputRecord {
    int in_use;
    int check;
    int ended;
    int cancelled;
    int length;
    int max_length;
    int selection_start;    // -1: no selection
    int selection_end;
    int view_start;
    int cursor;
    char* buffer;
    int cancel_allowed;
    int single_byte_only;
    int numbers_only;
};

struct ImeState {
    int enabled;
    int open;
    int composing;
    int composition_cursor;                 // in characters
    char composition[IME_STRING_SIZE + 1];
    char saved_composition[IME_STRING_SIZE + 1];
    CANDIDATELIST* candidates;
    int candidate_size;
    unsigned char clauses[4096];
    int clause_count;
    unsigned char attributes[IME_STRING_SIZE];
    int attribute_count;
    int resync_step;                        // 0 idle, 1-4
};

struct CaretBlink {
    int restart_ms;
    int visible;
    int period_ms;
};

extern CharQueue g_char_queue;
extern TextInputRecord g_text_inputs[MAX_TEXT_INPUTS];
extern int g_active_text_input;
extern ImeState g_ime;
extern CaretBlink g_caret;

// Free bytes of the queue.
int CharQueueSpace();
// Pushes the first n bytes of s (fewer at a NUL) character by character, never
// half a character; stops when the queue is full. drop_paste_code skips 0x16.
void PushWholeChars(const char* s, int n, int drop_paste_code);
// The record of a live text-input handle, or null.
TextInputRecord* TextInputFromHandle(int handle);
int DeleteTextSelection(TextInputRecord* r);
// Acts on one character taken from the queue.
void EditTextInput(TextInputRecord* r, const char ch[2], int size);
// Runs the pending IME re-synchronisation steps.
void RunImeResync();
