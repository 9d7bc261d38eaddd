// Makes soft-sound and MIDI records the way a creator would (nothing in the
// engine creates them): placed at the table's hint, counted, hint raised.
#pragma once
#include "sound/sound_fixture.h"

#include "engine/sound/midi.h"
#include "engine/sound/soft_sound.h"

namespace soundtest {

template <typename Record>
inline int PlaceRecord(HandleTable* t, Record* rec) {
    int slot = t->free_hint;
    while (slot < t->capacity && t->records[slot]) slot++;
    if (slot >= t->capacity) return -1;
    rec->check = t->next_check;
    t->next_check = t->next_check >= 2047 ? 0 : t->next_check + 1;
    t->records[slot] = rec;
    t->count++;
    if (t->free_hint < slot + 1) t->free_hint = slot + 1;
    return MakeHandle(t->type, rec->check, slot);
}

template <typename Record>
inline Record* NewRecord() {
    return (Record*)MemAllocZeroed(sizeof(Record), "periph_test", __LINE__);
}

inline WAVEFORMATEX PcmFormat(int channels, int bits, int rate = 22050) {
    const WORD align = (WORD)(channels * bits / 8);
    return WAVEFORMATEX{WAVE_FORMAT_PCM, (WORD)channels, (DWORD)rate, (DWORD)(align * rate), align, (WORD)bits, 0};
}

inline int MakeSoftSoundData(uint32_t bytes) {
    SoftSoundRecord* rec = NewRecord<SoftSoundRecord>();
    rec->kind = SOFTSOUND_KIND_DATA;
    rec->format = PcmFormat(2, 16);
    rec->pcm = MemAlloc(bytes, "periph_test", __LINE__);
    return PlaceRecord(GetSoftSoundHandleTable(), rec);
}

// A player on a software buffer (the caller sets the mixing flag) filled with
// `stale`, listed and active, nothing queued; its record through *out.
inline int MakeSoftSoundPlayer(const WAVEFORMATEX& fmt, uint32_t buffer_bytes, uint32_t target, uint8_t stale,
                               SoftSoundRecord** out = nullptr) {
    SoftSoundRecord* rec = NewRecord<SoftSoundRecord>();
    rec->kind = SOFTSOUND_KIND_PLAYER;
    rec->format = fmt;
    RingBufferInit(&rec->queue);
    DSBUFFERDESC desc = {sizeof desc, DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS, buffer_bytes, 0, &rec->format};
    if (CreateDSoundBuffer(&rec->buffer, &desc) != 0) {
        MemFree(rec);
        return -1;
    }
    if (rec->buffer.memory) std::memset(rec->buffer.memory, stale, buffer_bytes);
    rec->buffer_size = buffer_bytes;
    rec->silence_start = -1;
    rec->target = target;
    rec->active = 1;
    const int h = PlaceRecord(GetSoftSoundHandleTable(), rec);
    ListAddFirst(GetSoftSoundPlayerListHead(), &rec->node, h, rec);
    if (out) *out = rec;
    return h;
}

inline void QueueSamples(SoftSoundRecord* player, const Bytes& pcm) {
    RingBufferWrite(&player->queue, pcm.data(), (int)pcm.size());
    player->queued_samples += (int)pcm.size() / player->format.nBlockAlign;
}

inline int MakeMidiRecord(uint32_t data_bytes, IDirectMusicSegment8* segment = nullptr) {
    MidiHandleRecord* rec = NewRecord<MidiHandleRecord>();
    if (data_bytes) {
        rec->data = MemAlloc(data_bytes, "periph_test", __LINE__);
        rec->data_size = data_bytes;
    }
    rec->segment = segment;
    return PlaceRecord(GetMidiHandleTable(), rec);
}

inline MidiHandleRecord* MidiRecordOf(int handle) {
    return (MidiHandleRecord*)HandleTableGet(GetMidiHandleTable(), handle);
}

}  // namespace soundtest
