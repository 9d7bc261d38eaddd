// Makes soft-sound and MIDI records the way a creator would (nothing in the
// engine creates them).
#pragma once
#include "sound/sound_fixture.h"

#include "engine/sound/midi.h"
#include "engine/sound/soft_sound.h"

namespace soundtest {

inline WAVEFORMATEX PcmFormat(int channels, int bits, int rate = 22050) {
    const WORD align = (WORD)(channels * bits / 8);
    return WAVEFORMATEX{WAVE_FORMAT_PCM, (WORD)channels, (DWORD)rate, (DWORD)(align * rate), align, (WORD)bits, 0};
}

inline int MakeSoftSoundData() {
    SoftSoundRecord* rec = nullptr;
    const int h = HandleTableAdd(GetSoftSoundHandleTable(), sizeof *rec, (void**)&rec, 1);
    if (rec) rec->pcm = MemAlloc(64, "periph_test", __LINE__);
    return h;
}

// An active, listed player with nothing queued, on a buffer filled with `stale`
// (a software buffer when the caller set the mixing flag: its cursor moves by hand).
inline int MakeSoftSoundPlayer(const WAVEFORMATEX& fmt, uint32_t buffer_bytes, uint32_t target, uint8_t stale,
                               SoftSoundRecord** out = nullptr) {
    SoftSoundRecord* rec = nullptr;
    const int h = HandleTableAdd(GetSoftSoundHandleTable(), sizeof *rec, (void**)&rec, 1);
    if (h < 0) return -1;
    *rec = SoftSoundRecord{rec->check, SOFTSOUND_KIND_PLAYER, fmt};
    RingBufferInit(&rec->queue);
    ListAddFirst(GetSoftSoundPlayerListHead(), &rec->node, h, rec);
    DSBUFFERDESC desc = {sizeof desc, DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS, buffer_bytes, 0, &rec->format};
    if (CreateDSoundBuffer(&rec->buffer, &desc) != 0) return DeleteSoftSoundHandle(h, SOFTSOUND_KIND_PLAYER), -1;
    if (rec->buffer.memory) std::memset(rec->buffer.memory, stale, buffer_bytes);
    rec->buffer_size = buffer_bytes;
    rec->silence_start = -1;
    rec->target = target;
    rec->active = 1;
    if (out) *out = rec;
    return h;
}

inline void QueueSamples(SoftSoundRecord* player, const Bytes& pcm) {
    RingBufferWrite(&player->queue, pcm.data(), (int)pcm.size());
    player->queued_samples += (int)pcm.size() / player->format.nBlockAlign;
}

inline int MakeMidiRecord(uint32_t data_bytes, IDirectMusicSegment8* segment = nullptr) {
    MidiHandleRecord* rec = nullptr;
    const int h = HandleTableAdd(GetMidiHandleTable(), sizeof *rec, (void**)&rec, 1);
    if (rec) *rec = MidiHandleRecord{rec->check, 0, 0, data_bytes ? MemAlloc(data_bytes, "periph_test", __LINE__) : nullptr,
                                 data_bytes, segment};
    return h;
}

inline MidiHandleRecord* MidiRecordOf(int handle) {
    return (MidiHandleRecord*)HandleTableGet(GetMidiHandleTable(), handle);
}

}  // namespace soundtest
