// Handle tables shared by every subsystem. A handle holds its type in bits 27-30,
// an 11-bit check number in bits 16-26 and the slot in bits 0-15. Every record
// begins with an int holding its check number (EngineRecordHead).
#pragma once
#include <cstdint>

typedef int EngineHandle;

enum HandleType {
    HANDLE_GRAPHIC = 1, HANDLE_SOUND = 2, HANDLE_MOVIE = 3, HANDLE_FONT = 4, HANDLE_MASK = 5,
    HANDLE_NETWORK = 6, HANDLE_TEXTINPUT = 7, HANDLE_MIDI = 8, HANDLE_LIGHT = 9, HANDLE_MODEL = 10,
    HANDLE_SOFTIMAGE = 11, HANDLE_SHADER = 12, HANDLE_SOFTSOUND = 13, HANDLE_VERTEXBUFFER = 14,
    HANDLE_INDEXBUFFER = 15,
};

struct EngineRecordHead { int check; };

struct HandleTable {
    int type;
    int capacity;
    int count;          // live records
    int free_hint;      // where the search for a free slot starts
    int next_check;     // rolling 0..2047
    void** records;     // capacity pointers; each record starts with EngineRecordHead
};

inline EngineHandle MakeHandle(int type, int check, int slot) {
    return (EngineHandle)(((uint32_t)(type & 0xF) << 27) | ((uint32_t)(check & 0x7FF) << 16) | (uint32_t)(slot & 0xFFFF));
}
inline int HandleTypeOf(EngineHandle h) { return ((uint32_t)h >> 27) & 0xF; }
inline int HandleCheckOf(EngineHandle h) { return ((uint32_t)h >> 16) & 0x7FF; }
inline int HandleSlotOf(EngineHandle h) { return (uint32_t)h & 0xFFFF; }

// Allocates the pointer array; 0 or -1.
int HandleTableInit(HandleTable* t, int type, int capacity);
void HandleTableFree(HandleTable* t);
// Allocates a zeroed record of record_size bytes (>= sizeof(EngineRecordHead)) in a
// free slot; returns its handle and the record through *out, or -1 when full or
// out of memory. lowest_free: take the lowest free slot instead of the hint.
EngineHandle HandleTableAdd(HandleTable* t, int record_size, void** out, int lowest_free = 0);
// As HandleTableAdd, into the given empty slot. check -1 takes the rolling counter's
// next number; any other is used as given and leaves the counter alone (a record
// re-created under its old handle).
EngineHandle HandleTableAddAt(HandleTable* t, int record_size, void** out, int slot, int check);
// The record for a handle, or null when the type, slot or check number does not match.
void* HandleTableGet(const HandleTable* t, EngineHandle h);
// Frees the record; 0, or -1 for a bad handle.
int HandleTableRemove(HandleTable* t, EngineHandle h);
// Handle of the record in a slot (for iteration), or -1 when empty.
EngineHandle HandleTableHandleAt(const HandleTable* t, int slot);
// Frees the record in a slot and empties it; when the slot was the one below the
// hint, the hint drops to one past the highest occupied slot below it (0 once
// the table is empty).
void HandleTableFreeSlot(HandleTable* t, int slot);
