#include "engine/sound/soft_sound.h"

#include "engine/sound/sound_system.h"
#include "engine/system/memory.h"

static void* g_records[SOFTSOUND_HANDLE_MAX];
static HandleTable g_table = {HANDLE_SOFTSOUND, SOFTSOUND_HANDLE_MAX, 0, 0, 0, g_records};
static ListNode g_player_head, g_player_tail;

HandleTable* GetSoftSoundHandleTable() { return &g_table; }
void InitSoftSoundPlayerList() { ListInit(&g_player_head, &g_player_tail); }
ListNode* GetSoftSoundPlayerListHead() { return &g_player_head; }

int DeleteSoftSoundHandle(int handle, int kind) {
    if (!IsSoundSystemUp()) return -1;
    SoundLockEnter();
    SoftSoundRecord* rec = (SoftSoundRecord*)HandleTableGet(&g_table, handle);
    if (!rec || rec->kind != kind) {
        SoundLockLeave();
        return -1;
    }
    if (rec->kind == SOFTSOUND_KIND_PLAYER) {
        RingBufferFree(&rec->queue);
        if (rec->buffer.used) ReleaseDSoundBuffer(&rec->buffer);
        if (rec->node.next) ListRemove(&rec->node);
    } else {
        MemFree(rec->pcm);
    }
    HandleTableFreeSlot(&g_table, HandleSlotOf(handle));
    SoundLockLeave();
    return 0;
}

static int DeleteAllOfKind(int kind) {
    if (!IsSoundSystemUp()) return -1;
    for (int slot = 0; slot < SOFTSOUND_HANDLE_MAX; slot++) {
        SoftSoundRecord* rec = (SoftSoundRecord*)g_records[slot];
        if (rec && rec->kind == kind) DeleteSoftSoundHandle(MakeHandle(HANDLE_SOFTSOUND, rec->check, slot), kind);
    }
    return 0;
}

int DeleteAllSoftSoundData() { return DeleteAllOfKind(SOFTSOUND_KIND_DATA); }
int DeleteAllSoftSoundPlayers() { return DeleteAllOfKind(SOFTSOUND_KIND_PLAYER); }

int PumpAllSoftSoundPlayers() {
    if (!IsSoundSystemUp()) return -1;
    SoundLockEnter();
    for (ListNode* n = g_player_head.next; n && n != &g_player_tail; n = n->next) {
        SoftSoundRecord* player = (SoftSoundRecord*)n->data;
        if (player->active) PumpSoftSoundPlayer(player);
    }
    SoundLockLeave();
    return 0;
}
