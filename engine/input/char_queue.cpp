// The ring of typed bytes and what the window procedure puts into it.
#include "engine/input/text_input_state.h"

#include "engine/system/library.h"
#include "engine/system/str_util.h"

CharQueue g_char_queue;

namespace {

// {virtual key, control code} pairs, ended by 0.
const unsigned char EditKeyCodeTable[] = {
    VK_DELETE, 0x10, VK_LEFT, 0x1D, VK_RIGHT, 0x1C, VK_UP, 0x1E, VK_DOWN, 0x1F,
    VK_HOME, 0x1A, VK_END, 0x19, VK_PRIOR, 0x17, VK_NEXT, 0x15, 0,
};

int Next(int i) { return i + 1 == CHAR_QUEUE_SIZE ? 0 : i + 1; }
int Prev(int i) { return i == 0 ? CHAR_QUEUE_SIZE - 1 : i - 1; }

}  // namespace

int CharQueueSpace() {
    int used = g_char_queue.write - g_char_queue.read;
    if (used < 0) used += CHAR_QUEUE_SIZE;
    return CHAR_QUEUE_SIZE - 1 - used;
}

int PushInputChar(unsigned char c) {
    CharQueue& q = g_char_queue;
    if (Next(q.write) == q.read) return -1;
    q.data[q.write] = c;
    q.write = Next(q.write);
    return 0;
}

int PopInputChar(char out[2], int take) {
    CharQueue& q = g_char_queue;
    out[0] = out[1] = 0;
    if (q.read == q.write) return 0;
    unsigned char c = q.data[q.read];
    out[0] = (char)c;
    q.read = Next(q.read);
    int size = 1;
    if (!IsControlCode(c) && IsMultiByteLead(c, LibraryCharsetIndex)) {
        if (q.read == q.write) {
            q.read = Prev(q.read);  // the lead byte waits for its trail byte
            return 0;
        }
        out[1] = (char)q.data[q.read];
        if (take) q.read = Next(q.read);
        size = 2;
    }
    if (!take) q.read = Prev(q.read);
    return size;
}

int IsControlCode(unsigned char c) {
    for (const unsigned char* p = EditKeyCodeTable; *p; p += 2)
        if (p[1] == c) return 1;
    return 0;
}

int CountMultiByteChars(const char* s, int n) {
    int count = 0;
    for (int i = 0; i < n && s[i];) {
        count++;
        // A lead byte before the terminator stands alone.
        i += IsMultiByteLead((unsigned char)s[i], LibraryCharsetIndex) && i + 1 < n && s[i + 1] ? 2 : 1;
    }
    return count;
}

int PushWindowChar(unsigned char c) {
    if (c == 0x0A) c = 0x0D;
    if (c < 0x20) {
        switch (c) {
        case 0x01: case 0x03: case 0x08: case 0x09: case 0x0D: case 0x10: case 0x16: case 0x18: case 0x1B:
            break;
        default:
            return -1;
        }
    }
    return PushInputChar(c);
}

int PushEditKey(int virtual_key) {
    if (CharQueueSpace() == 0) return -1;
    for (const unsigned char* p = EditKeyCodeTable; *p; p += 2)
        if (p[0] == virtual_key) return PushInputChar(p[1]);
    return -1;
}

void PushWholeChars(const char* s, int n, int drop_paste_code) {
    const unsigned char* p = (const unsigned char*)s;
    for (int i = 0; i < n && p[i];) {
        if (drop_paste_code && p[i] == 0x16) {
            i++;
            continue;
        }
        int size = i + 1 < n && p[i + 1] && IsMultiByteLead(p[i], LibraryCharsetIndex) ? 2 : 1;
        if (CharQueueSpace() < size) return;
        for (int k = 0; k < size; k++) PushInputChar(p[i + k]);
        i += size;
    }
}
