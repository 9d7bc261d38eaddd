// The player pump: keeps between the target and twice the target of bytes
// written ahead of the play cursor, queued PCM first and silence after it.
#include <cstring>

#include "engine/sound/soft_sound.h"
#include "engine/sound/sound_system.h"

// Bytes from a forward to b around a ring of size bytes.
static uint32_t RingDistance(uint32_t a, uint32_t b, uint32_t size) { return b >= a ? b - a : b + size - a; }

// Whether the cursor went over the silence start between the two looks.
static bool CursorPassed(uint32_t last, uint32_t play, uint32_t silence) {
    if (last < play) return last <= silence && silence <= play;
    if (play < last) return silence >= last || silence <= play;
    return false;
}

// Queued bytes first, silence after them. A queue holding less than its count
// says still leaves silence, never the ring's old bytes.
static void FillRegion(RingBuffer* queue, uint8_t* dst, uint32_t bytes, uint32_t* data_left, uint8_t silence) {
    const uint32_t want = *data_left < bytes ? *data_left : bytes;
    const uint32_t held = (uint32_t)RingBufferSize(queue);
    const uint32_t got = want < held ? want : held;
    if (got) RingBufferRead(queue, dst, (int)got, 0);
    *data_left -= want;
    std::memset(dst + got, silence, bytes - got);
}

static int PumpLocked(SoftSoundRecord* p) {
    const int cursor = GetDSoundBufferPlayCursor(&p->buffer);
    const uint32_t size = p->buffer_size, target = p->target, align = p->format.nBlockAlign;
    if (cursor < 0 || size == 0 || align == 0 || target > size) return -1;
    const uint32_t play = (uint32_t)cursor, write = p->write_cursor;

    if (p->silence_start != -1 && !p->silence_passed) {
        if (CursorPassed(p->last_play_cursor, play, (uint32_t)p->silence_start))
            p->silence_passed = 1;
        else
            p->last_play_cursor = play;
    }
    const uint32_t start = write >= target ? write - target : write + size - target;
    if (RingDistance(start, play, size) > target) return 0;  // still more than the target ahead

    const uint32_t samples = (target + RingDistance(start, play, size)) / align;
    if (samples == 0) return 0;
    const uint32_t queued = p->queued_samples > 0 ? (uint32_t)p->queued_samples : 0;
    const uint32_t data = samples > queued ? queued : samples;
    const uint32_t silence = samples - data;

    void *first = nullptr, *second = nullptr;
    uint32_t first_size = 0, second_size = 0;
    if (LockDSoundBuffer(&p->buffer, write, samples * align, &first, &first_size, &second, &second_size) != 0)
        return -1;
    // New data ends a silence already passed; cleared first so that silence
    // written after this data gets its own start below.
    if (p->silence_passed && data) {
        p->silence_passed = 0;
        p->last_play_cursor = 0;
        p->silence_start = -1;
    }
    if (silence && p->silence_start == -1) {
        uint32_t z = write + data * align;
        if (z >= size) z -= size;
        p->silence_start = (int32_t)z;
        p->last_play_cursor = play;
        p->silence_passed = 0;
    }
    p->queued_samples -= (int)data;
    // Unsigned 8-bit PCM is silent at its midpoint; every other width at 0.
    const uint8_t quiet = p->format.wBitsPerSample == 8 ? 0x80 : 0;
    uint32_t data_left = data * align;
    if (first) FillRegion(&p->queue, (uint8_t*)first, first_size, &data_left, quiet);
    if (second) FillRegion(&p->queue, (uint8_t*)second, second_size, &data_left, quiet);
    UnlockDSoundBuffer(&p->buffer, first, first_size, second, second_size);
    uint32_t w = write + first_size + second_size;
    if (w >= size) w -= size;
    p->write_cursor = w;
    return 0;
}

int PumpSoftSoundPlayer(SoftSoundRecord* player) {
    if (!player) return -1;
    if (!player->active) return 0;
    if (!IsSoundSystemUp()) return -1;
    SoundLockEnter();
    const int result = PumpLocked(player);
    SoundLockLeave();
    return result;
}
