#include "engine/sound/sound_handle.h"

#include <cmath>
#include <cstring>

#include "engine/sound/sound_stream.h"
#include "engine/sound/sound_system.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"

static void* g_records[SOUND_HANDLE_MAX];
static HandleTable g_table = {HANDLE_SOUND, SOUND_HANDLE_MAX, 0, 0, 0, g_records};
static int g_create_type = 0;
static ListNode g_stream_head, g_stream_tail;

HandleTable* GetSoundHandleTable() { return &g_table; }

SoundHandleRecord* GetSoundRecord(int handle) { return (SoundHandleRecord*)HandleTableGet(&g_table, handle); }

SoundHandleRecord* LockSoundRecord(int handle) {
    if (!IsSoundSystemUp()) return nullptr;
    SoundLockEnter();
    SoundHandleRecord* rec = GetSoundRecord(handle);
    if (!rec) SoundLockLeave();
    return rec;
}

void InitStreamPlayList() { ListInit(&g_stream_head, &g_stream_tail); }
ListNode* GetStreamPlayListHead() { return &g_stream_head; }

int SetCreateSoundDataType(int type) {
    if ((unsigned)type > 3) return -1;
    g_create_type = type == 1 ? 0 : type;
    return 0;
}
int GetCreateSoundDataType() { return g_create_type; }

int SoundVolumeToDecibels(int volume) {
    if (volume > 255) volume = 255;
    if (volume <= 0) return -10000;
    int db = (int)(std::log10(volume / 255.0) * 10.0 * 100.0);
    return db < -10000 ? -10000 : db;
}

int AddSoundData(int handle) {
    if (!IsSoundSystemUp()) return -1;
    SoundLockEnter();
    int slot, check;
    if (handle == -1) {
        if (g_table.count >= SOUND_HANDLE_MAX) {
            SoundLockLeave();
            return LogAppend("サウンドの数が許容量を越えました\n");
        }
        slot = g_table.free_hint;
        if (slot >= SOUND_HANDLE_MAX) {
            for (slot = 0; slot < SOUND_HANDLE_MAX && g_records[slot]; slot++) {
            }
        }
        check = g_table.next_check;
    } else {
        slot = HandleSlotOf(handle);
        check = HandleCheckOf(handle);
        // A given handle takes only a free slot.
        if (handle < 0 || HandleTypeOf(handle) != HANDLE_SOUND || slot >= SOUND_HANDLE_MAX || g_records[slot]) {
            SoundLockLeave();
            return -1;
        }
    }
    SoundHandleRecord* rec = (SoundHandleRecord*)MemAlloc(sizeof(SoundHandleRecord), "sound_handle", __LINE__);
    if (!rec) {
        SoundLockLeave();
        return LogAppend("メモリ領域の確保に失敗しました in AddSoundData");
    }
    std::memset(rec, 0, sizeof(*rec));
    if (handle == -1) g_table.next_check = check >= 2047 ? 0 : check + 1;
    rec->check = check;
    rec->partner = -1;
    rec->current_user = -1;
    g_records[slot] = rec;
    g_table.count++;
    if (g_table.free_hint < slot + 1) g_table.free_hint = slot + 1;
    if (g_table.free_hint < g_table.count) g_table.free_hint = g_table.count;
    SoundLockLeave();
    return MakeHandle(HANDLE_SOUND, check, slot);
}

int DeleteSoundHandle(int handle, int) {
    SoundHandleRecord* rec = LockSoundRecord(handle);
    if (!rec) return -1;
    if (rec->kind == SOUND_KIND_STREAM) {
        StopStreamSound(handle);
        // Others still play through this ring: the record stays until the last of them goes.
        if (ReleaseStreamSound(handle, rec) != 0) {
            SoundLockLeave();
            return 0;
        }
    } else if (rec->buffers[0].used) {
        StopSoundHandle(handle);
    }
    for (int i = 0; i < SOUND_BUFFER_MAX; i++)
        if (rec->buffers[i].used) ReleaseDSoundBuffer(&rec->buffers[i]);
    // A sound whose load failed has no PCM and no count yet.
    if (rec->ref_count) {
        if (--*rec->ref_count == 0) {
            MemFree(rec->pcm);
            MemFree(rec->ref_count);
        }
    } else {
        MemFree(rec->pcm);
    }
    rec->pcm = nullptr;
    rec->ref_count = nullptr;

    HandleTableFreeSlot(&g_table, HandleSlotOf(handle));
    SoundLockLeave();
    return 0;
}

int DeleteAllSoundHandles(int) {
    if (!IsSoundSystemUp()) return -1;
    for (int slot = 0; slot < SOUND_HANDLE_MAX; slot++) {
        const int handle = HandleTableHandleAt(&g_table, slot);
        if (handle != -1) DeleteSoundHandle(handle, 0);
    }
    return 0;
}
