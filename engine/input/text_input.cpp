// Text-input handles: a fixed table of 256 records fed from the character queue.
#include "engine/input/text_input_state.h"

#include <cstring>

#include "engine/system/handle_table.h"
#include "engine/system/library.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"
#include "engine/system/tick.h"

TextInputRecord g_text_inputs[MAX_TEXT_INPUTS];
// The window procedure and the pump call in before InitTextInput.
int g_active_text_input = -1;
CaretBlink g_caret = {0, 1, 500};

namespace {

int g_started = 0;
int g_next_check = 0;

// From InitTextInput to the engine's end: a record made outside that span would
// be zeroed by the next start with its buffer still allocated.
bool Up() { return g_started && IsLibraryInitialized(); }

}  // namespace

int InitTextInput() {
    LogAppend("文字コードバッファの初期化を行います... ");
    std::memset(&g_char_queue, 0, sizeof g_char_queue);
    std::memset(&g_ime, 0, sizeof g_ime);
    std::memset(g_text_inputs, 0, sizeof g_text_inputs);
    g_active_text_input = -1;
    g_caret.period_ms = 500;
    g_caret.restart_ms = 0;
    g_caret.visible = 1;
    g_started = 1;
    LogAppend("完了しました\n");
    return 0;
}

int ResetCaretBlink() {
    g_caret.restart_ms = GetTickMs();
    g_caret.visible = 1;
    return 0;
}

TextInputRecord* TextInputFromHandle(int handle) {
    if (handle < 0 || HandleTypeOf(handle) != HANDLE_TEXTINPUT) return nullptr;
    int slot = HandleSlotOf(handle);
    if (slot >= MAX_TEXT_INPUTS) return nullptr;
    TextInputRecord* r = &g_text_inputs[slot];
    if (!r->in_use || r->check != HandleCheckOf(handle)) return nullptr;
    return r;
}

int CreateTextInput(int max_length, int cancel_allowed, int single_byte_only, int numbers_only) {
    if (!Up()) return -1;
    if (max_length < 0 || max_length > 0x7FFFFF00) return LogAppendFormat("テキスト入力の最大長が不正です: %d", max_length);
    int slot = 0;
    while (slot < MAX_TEXT_INPUTS && g_text_inputs[slot].in_use) slot++;
    if (slot == MAX_TEXT_INPUTS) return LogAppendFormat("テキスト入力ハンドルに空きがありません");
    // Room for the terminator and one spare byte for moving the tail up by a character.
    char* buffer = (char*)MemAllocZeroed((size_t)max_length + 2, "text_input.cpp", __LINE__);
    if (!buffer) return LogAppendFormat("テキスト入力のバッファの確保に失敗しました( %d バイト )", max_length + 2);
    TextInputRecord* r = &g_text_inputs[slot];
    std::memset(r, 0, sizeof *r);
    r->in_use = 1;
    r->check = g_next_check;
    g_next_check = (g_next_check + 1) & 0x7FF;
    r->max_length = max_length;
    r->selection_start = r->selection_end = -1;
    r->buffer = buffer;
    r->cancel_allowed = cancel_allowed ? 1 : 0;
    r->single_byte_only = single_byte_only ? 1 : 0;
    r->numbers_only = numbers_only ? 1 : 0;
    g_active_text_input = MakeHandle(HANDLE_TEXTINPUT, r->check, slot);
    return g_active_text_input;
}

int DeleteTextInput(int handle) {
    // No record is in use while the engine is down; the end itself deletes them all through here.
    TextInputRecord* r = TextInputFromHandle(handle);
    if (!r) return -1;
    MemFree(r->buffer);
    std::memset(r, 0, sizeof *r);
    if (g_active_text_input == handle) g_active_text_input = -1;
    for (const TextInputRecord& other : g_text_inputs)
        if (other.in_use) return 0;
    SetImeEnabled(0);
    return 0;
}

int DeleteAllTextInputs() {
    for (int slot = 0; slot < MAX_TEXT_INPUTS; slot++) {
        const TextInputRecord& r = g_text_inputs[slot];
        if (r.in_use) DeleteTextInput(MakeHandle(HANDLE_TEXTINPUT, r.check, slot));
    }
    g_active_text_input = -1;
    return 0;
}

int ProcessActiveTextInput() {
    if (!Up()) return -1;
    if (g_ime.resync_step >= 1 && g_ime.resync_step <= 4) RunImeResync();
    if (g_active_text_input == -1) return 0;
    TextInputRecord* r = TextInputFromHandle(g_active_text_input);
    if (!r) return -1;
    while (!r->ended) {
        char ch[2];
        int size = PopInputChar(ch, 1);
        if (size == 0) return 0;
        ResetCaretBlink();
        EditTextInput(r, ch, size);
    }
    return 0;
}
