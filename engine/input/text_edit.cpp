// Line editing of a text input: one character from the queue at a time.
#include "engine/input/text_input_state.h"

#include <cstring>

#include "engine/input/input.h"
#include "engine/system/library.h"
#include "engine/system/memory.h"
#include "engine/system/str_util.h"
#include "engine/system/window.h"

namespace {

enum { DIK_LEFT_SHIFT = 0x2A, DIK_RIGHT_SHIFT = 0x36 };

int ShiftHeld() { return CheckKeyDown(DIK_LEFT_SHIFT) == 1 || CheckKeyDown(DIK_RIGHT_SHIFT) == 1; }

int HasSelection(const TextInputRecord* r) { return r->selection_start != -1 && r->selection_end != -1; }

void ClearSelection(TextInputRecord* r) { r->selection_start = r->selection_end = -1; }

// Bytes of the character at pos (a lead byte without its trail byte counts alone).
int CharSizeAt(const TextInputRecord* r, int pos) {
    return pos + 1 < r->length && IsMultiByteLead((unsigned char)r->buffer[pos], LibraryCharsetIndex) ? 2 : 1;
}

int CharSizeBefore(const TextInputRecord* r, int pos) {
    return pos > 1 && CheckMultiBytePosition(r->buffer, pos - 1, LibraryCharsetIndex) == 2 ? 2 : 1;
}

// Moves the tail, terminator included, down over count bytes at pos.
void RemoveBytes(TextInputRecord* r, int pos, int count) {
    std::memmove(r->buffer + pos, r->buffer + pos + count, (size_t)(r->length - pos - count + 1));
    r->length -= count;
    if (r->view_start > r->length) r->view_start = r->length;
}

// The selection as a byte range lo..hi, whichever way it was dragged.
void SelectionRange(const TextInputRecord* r, int* lo, int* hi) {
    *lo = r->selection_start < r->selection_end ? r->selection_start : r->selection_end;
    *hi = r->selection_start ^ r->selection_end ^ *lo;
}

void CopySelection(const TextInputRecord* r) {
    if (!HasSelection(r)) return;
    int lo, hi;
    SelectionRange(r, &lo, &hi);
    char* block = (char*)MemAlloc((size_t)(hi - lo + 1), "text_edit.cpp", __LINE__);
    if (!block) return;
    std::memcpy(block, r->buffer + lo, (size_t)(hi - lo));
    block[hi - lo] = 0;
    SetClipboardText(block);
    MemFree(block);
}

void CutSelection(TextInputRecord* r) {
    if (!HasSelection(r)) return;
    CopySelection(r);
    DeleteTextSelection(r);
}

// The clipboard text goes into the queue, to be taken like typed characters.
void PasteClipboard() {
    int size = GetClipboardText(nullptr, 0);
    if (size <= 0) return;
    char* block = (char*)MemAlloc((size_t)size, "text_edit.cpp", __LINE__);
    if (!block) return;
    // A pasted paste code would paste again, without end.
    if (GetClipboardText(block, size) == 0) PushWholeChars(block, size, 1);
    MemFree(block);
}

// Cursor moves of the arrows, Home and End; Shift drags the selection along.
void MoveCursor(TextInputRecord* r, int to, int shift) {
    if (shift) {
        if (r->selection_start == -1) r->selection_start = r->cursor;
        r->selection_end = to;
    } else {
        ClearSelection(r);
    }
    r->cursor = to;
}

int AcceptedByNumbersOnly(const TextInputRecord* r, const char ch[2], int size) {
    if (size != 1) return 0;
    char c = ch[0];
    if (c >= '0' && c <= '9') return 1;
    if (c == '-') return r->cursor == 0;
    if (c == '.') return StrFindChar(r->buffer, '.') == nullptr;
    return 0;
}

void InsertChar(TextInputRecord* r, const char ch[2], int size) {
    DeleteTextSelection(r);
    if (r->numbers_only && !AcceptedByNumbersOnly(r, ch, size)) return;
    if (r->single_byte_only && size == 2) return;
    // Not even an empty text has room: trimming could never make any.
    if (size > r->max_length) return;
    while (r->length + size > r->max_length) {
        int last = 0;
        for (int i = 0; i < r->length; i += CharSizeAt(r, i)) last = i;
        int at_end = r->cursor == r->length;
        RemoveBytes(r, last, r->length - last);
        if (at_end) r->cursor = last;
    }
    std::memmove(r->buffer + r->cursor + size, r->buffer + r->cursor, (size_t)(r->length - r->cursor + 1));
    std::memcpy(r->buffer + r->cursor, ch, (size_t)size);
    r->cursor += size;
    r->length += size;
}

}  // namespace

int DeleteTextSelection(TextInputRecord* r) {
    if (!HasSelection(r)) return 0;
    int lo, hi;
    SelectionRange(r, &lo, &hi);
    r->cursor = lo;
    RemoveBytes(r, lo, hi - lo);
    ClearSelection(r);
    return 0;
}

void EditTextInput(TextInputRecord* r, const char ch[2], int size) {
    switch ((unsigned char)ch[0]) {
    case 0x03:
        CopySelection(r);
        break;
    case 0x08:
        if (HasSelection(r)) {
            DeleteTextSelection(r);
        } else if (r->cursor > 0) {
            int n = CharSizeBefore(r, r->cursor);
            r->cursor -= n;
            RemoveBytes(r, r->cursor, n);
        }
        break;
    case 0x0D:
        r->ended = 1;
        break;
    case 0x10:
        if (!HasSelection(r)) {
            if (r->cursor < r->length) RemoveBytes(r, r->cursor, CharSizeAt(r, r->cursor));
        } else if (ShiftHeld()) {
            CutSelection(r);
        } else {
            DeleteTextSelection(r);
        }
        break;
    case 0x16:
        PasteClipboard();
        break;
    case 0x18:
        CutSelection(r);
        break;
    case 0x19:
        MoveCursor(r, r->length, ShiftHeld());
        break;
    case 0x1A:
        MoveCursor(r, 0, ShiftHeld());
        break;
    case 0x1B:
        if (r->cancel_allowed) r->cancelled = r->ended = 1;
        break;
    case 0x1C:
        if (r->cursor < r->length) MoveCursor(r, r->cursor + CharSizeAt(r, r->cursor), ShiftHeld());
        break;
    case 0x1D:
        if (r->cursor > 0) MoveCursor(r, r->cursor - CharSizeBefore(r, r->cursor), ShiftHeld());
        break;
    // Tab, Up, Down, Ctrl+A, Page Up and Page Down edit nothing.
    case 0x01: case 0x09: case 0x15: case 0x17: case 0x1E: case 0x1F:
        break;
    default:
        InsertChar(r, ch, size);
        break;
    }
}
