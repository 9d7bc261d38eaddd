#include "engine/system/handle_table.h"

#include "engine/system/memory.h"

int HandleTableInit(HandleTable* t, int type, int capacity) {
    t->type = type;
    t->capacity = 0;
    t->count = 0;
    t->free_hint = 0;
    t->next_check = 0;
    t->records = nullptr;
    if (capacity <= 0 || capacity > 0x10000) return -1;
    t->records = (void**)MemAllocZeroed(sizeof(void*) * capacity, "handle_table", __LINE__);
    if (!t->records) return -1;
    t->capacity = capacity;
    return 0;
}

void HandleTableFree(HandleTable* t) {
    if (t->records) {
        for (int i = 0; i < t->capacity; i++) MemFree(t->records[i]);
        MemFree(t->records);
    }
    t->records = nullptr;
    t->capacity = 0;
    t->count = 0;
    t->free_hint = 0;
}

// Puts a fresh zeroed record with the given check number into an empty slot.
static EngineHandle PlaceRecord(HandleTable* t, int record_size, void** out, int slot, int check) {
    EngineRecordHead* rec = (EngineRecordHead*)MemAllocZeroed(record_size, "handle_table", __LINE__);
    if (!rec) return -1;
    rec->check = check;
    t->records[slot] = rec;
    t->count++;
    if (out) *out = rec;
    return MakeHandle(t->type, check, slot);
}

static void AdvanceCheck(HandleTable* t) { t->next_check = t->next_check >= 2047 ? 0 : t->next_check + 1; }

EngineHandle HandleTableAdd(HandleTable* t, int record_size, void** out, int lowest_free) {
    if (!t->records || t->count >= t->capacity || record_size < (int)sizeof(EngineRecordHead)) return -1;
    int start = lowest_free ? 0 : t->free_hint;
    if (start < 0 || start >= t->capacity) start = 0;
    int slot = -1;
    for (int i = 0; i < t->capacity; i++) {
        int s = (start + i) % t->capacity;
        if (!t->records[s]) {
            slot = s;
            break;
        }
    }
    if (slot < 0) return -1;
    EngineHandle h = PlaceRecord(t, record_size, out, slot, t->next_check);
    if (h < 0) return -1;
    AdvanceCheck(t);
    t->free_hint = (slot + 1) % t->capacity;
    return h;
}

EngineHandle HandleTableAddAt(HandleTable* t, int record_size, void** out, int slot, int check) {
    if (!t->records || slot < 0 || slot >= t->capacity || t->records[slot] || check < -1 || check > 2047 ||
        record_size < (int)sizeof(EngineRecordHead))
        return -1;
    EngineHandle h = PlaceRecord(t, record_size, out, slot, check >= 0 ? check : t->next_check);
    if (h >= 0 && check < 0) AdvanceCheck(t);
    return h;
}

void* HandleTableGet(const HandleTable* t, EngineHandle h) {
    if (h < 0 || !t->records || HandleTypeOf(h) != t->type) return nullptr;
    int slot = HandleSlotOf(h);
    if (slot >= t->capacity) return nullptr;
    EngineRecordHead* rec = (EngineRecordHead*)t->records[slot];
    if (!rec || rec->check != HandleCheckOf(h)) return nullptr;
    return rec;
}

int HandleTableRemove(HandleTable* t, EngineHandle h) {
    void* rec = HandleTableGet(t, h);
    if (!rec) return -1;
    t->records[HandleSlotOf(h)] = nullptr;
    t->count--;
    MemFree(rec);
    return 0;
}

EngineHandle HandleTableHandleAt(const HandleTable* t, int slot) {
    if (!t->records || slot < 0 || slot >= t->capacity) return -1;
    EngineRecordHead* rec = (EngineRecordHead*)t->records[slot];
    if (!rec) return -1;
    return MakeHandle(t->type, rec->check, slot);
}

void HandleTableFreeSlot(HandleTable* t, int slot) {
    MemFree(t->records[slot]);
    t->records[slot] = nullptr;
    t->count--;
    if (slot != t->free_hint - 1) return;
    if (t->count == 0) {
        t->free_hint = 0;
        return;
    }
    int s = slot - 1;
    while (s >= 0 && !t->records[s]) s--;
    t->free_hint = s + 1;
}
