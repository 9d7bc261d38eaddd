#include <algorithm>
#include <cstring>

#include "engine/sound/sound_stream.h"
#include "engine/sound/sound_system.h"

namespace {

uint32_t AlignDown(uint32_t x, uint32_t a) { return x / a * a; }
uint32_t AlignUp(uint32_t x, uint32_t a) { return (x + a - 1) / a * a; }
// The ring holds one second of the format, so every other size is a share of it
// and none can disagree with the ring or shrink below a sample.
uint32_t ThreeQuarters(uint32_t ring) { return (uint32_t)((uint64_t)ring * 3 / 4); }
uint32_t PrimeBytes(uint32_t ring, uint32_t align) { return AlignDown(ThreeQuarters(ring), align); }
uint32_t ChunkBytes(uint32_t ring, uint32_t align) { return AlignDown(ring / 8, align); }
uint32_t WindowBytes(uint32_t ring, uint32_t align) { return AlignUp(ThreeQuarters(ring), align); }

// The ring offset just behind what the regions hold so far.
uint32_t RegionsEndOffset(const LockedRegions* r, uint32_t ring) {
    if (r->first_left > 0 || !r->second) return ring ? (r->offset + r->first_written) % ring : 0;
    return r->second_written;
}

bool LockRegions(SoundBufferRecord* buf, uint32_t offset, uint32_t bytes, LockedRegions* r) {
    std::memset(r, 0, sizeof(*r));
    void *p1 = nullptr, *p2 = nullptr;
    if (LockDSoundBuffer(buf, offset, bytes, &p1, &r->first_size, &p2, &r->second_size) != 0) return false;
    r->offset = offset;
    r->first = (uint8_t*)p1;
    r->second = (uint8_t*)p2;
    if (!p1) r->first_size = 0;
    if (!p2) r->second_size = 0;
    r->first_left = r->first_size;
    r->second_left = r->second_size;
    return true;
}

void UnlockRegions(SoundBufferRecord* buf, LockedRegions* r) {
    UnlockDSoundBuffer(buf, r->first, r->first_size, r->second, r->second_size);
}

// The next stretch of the regions to write, at most `want` bytes; null when both are full.
uint8_t* NextRegionSpan(LockedRegions* r, uint32_t want, uint32_t* n) {
    if (r->first_left) {
        *n = want < r->first_left ? want : r->first_left;
        return r->first + r->first_written;
    }
    if (r->second_left) {
        *n = want < r->second_left ? want : r->second_left;
        return r->second + r->second_written;
    }
    return nullptr;
}

void AdvanceRegions(LockedRegions* r, uint32_t n) {
    if (r->first_left) {
        r->first_written += n, r->first_left -= n;
    } else {
        r->second_written += n, r->second_left -= n;
    }
}

bool CursorInWindow(uint32_t p, uint32_t s, uint32_t w) {
    if (s <= w) return s <= p && p <= w;
    return p >= s || p <= w;
}

void AdvanceWriteCursor(SoundHandleRecord* s, uint32_t written, uint32_t ring) {
    uint32_t w = (uint32_t)s->write_cursor + written;
    if (w >= ring) w -= ring;
    s->write_cursor = (int32_t)w;
    int64_t start = (int64_t)w - WindowBytes(ring, s->format.nBlockAlign);
    if (start < 0) start += ring;
    s->window_start = (uint32_t)start;
}

uint32_t RingDistance(uint32_t from, uint32_t to, uint32_t ring) { return to >= from ? to - from : ring - from + to; }

// Queues a loop-back at `at`. One at the newest entry's spacing joins it; one where
// the newest already is (a round that wrote nothing) changes nothing.
void RecordLoopBack(SoundHandleRecord* s, uint32_t at, uint32_t start, uint32_t ring) {
    if (ring == 0) return;
    if (s->loop_back_count > 0) {
        StreamLoopBack* last = &s->loop_backs[s->loop_back_count - 1];
        const uint32_t last_at = (uint32_t)((last->position + (uint64_t)last->repeats * last->period) % ring);
        const uint32_t gap = RingDistance(last_at, at, ring);
        if (last->start == start && gap == 0) return;
        if (last->start == start && (last->repeats == 0 || gap == last->period)) {
            last->period = gap;
            last->repeats++;
            return;
        }
        // Full: the newest entry's points are given up; the position is right again from this one.
        if (s->loop_back_count == STREAM_LOOP_BACK_MAX) s->loop_back_count--;
    }
    s->loop_backs[s->loop_back_count++] = {at, start, 0, 0};
}

void StartLoopBack(SoundHandleRecord* s, LockedRegions* r, uint32_t ring, uint32_t start_bytes) {
    s->source_write_pos = (int32_t)start_bytes;
    RecordLoopBack(s, RegionsEndOffset(r, ring), start_bytes, ring);
}

// The cursor moved `moved` bytes on from `last`: applies the loop-backs it reached,
// the position counting from the last of them. False when it reached none.
bool PassLoopBacks(SoundHandleRecord* s, uint32_t last, uint32_t moved, uint32_t ring) {
    bool passed = false;
    while (s->loop_back_count > 0) {
        StreamLoopBack* b = &s->loop_backs[0];
        // A point written where the cursor stood is played by the cursor's next step.
        const uint32_t to_point = RingDistance(last, b->position, ring);
        if (to_point > moved) break;
        const uint32_t beyond = moved - to_point;
        const uint32_t more = b->period ? std::min(b->repeats, beyond / b->period) : 0;
        s->play_position = b->start + beyond - more * b->period;
        passed = true;
        if (more < b->repeats) {
            b->position = (uint32_t)((b->position + (uint64_t)(more + 1) * b->period) % ring);
            b->repeats -= more + 1;
            break;
        }
        std::memmove(s->loop_backs, s->loop_backs + 1, (size_t)--s->loop_back_count * sizeof(*b));
    }
    return passed;
}

}  // namespace

void RewindStreamSound(SoundHandleRecord* s) {
    s->source_write_pos = 0;
    s->play_position = 0;
    s->loop_back_count = 0;
    s->passes_done = 0;
    s->current_source = 0;
    s->active = 0;
}

uint32_t CopyConvertedToLock(LockedRegions* r, SoundConverter* conv, uint32_t bytes) {
    uint32_t total = 0, n = 0;
    while (bytes > 0) {
        uint8_t* at = NextRegionSpan(r, bytes, &n);
        if (!at) break;
        int got = ConvertNextSoundBlock(conv, at, n);
        if (got <= 0) break;
        AdvanceRegions(r, (uint32_t)got);
        bytes -= (uint32_t)got;
        total += (uint32_t)got;
        if ((uint32_t)got < n) break;  // the converter ran dry
    }
    return total;
}

void WriteStreamSilence(SoundHandleRecord* sound, LockedRegions* r, uint32_t bytes) {
    // Unsigned 8-bit PCM is silent at its midpoint.
    const int fill = sound->format.wBitsPerSample == 8 ? 0x80 : 0;
    uint32_t n = 0;
    while (bytes > 0) {
        uint8_t* at = NextRegionSpan(r, bytes, &n);
        if (!at) break;
        std::memset(at, fill, n);
        AdvanceRegions(r, n);
        bytes -= n;
    }
}

int WriteStreamFromSources(SoundHandleRecord* s, LockedRegions* r, uint32_t play_cursor) {
    SoundHandleRecord* owner = StreamRingOwner(s);
    const uint32_t ring = owner ? owner->ring_size : s->ring_size;
    const uint32_t align = s->format.nBlockAlign;
    StreamSourceEntry* src = &s->sources[s->current_source];
    s->passes_done++;
    if (src->loop_count == 255) {
        StartLoopBack(s, r, ring, (uint32_t)src->loop_start * align);
        SeekSoundConverterExactly(&src->converter, src->loop_start);
        return STREAM_LOOPED_BACK;
    }
    if (s->passes_done <= (int8_t)src->loop_count) {
        s->source_write_pos = 0;
        SeekSoundConverterExactly(&src->converter, 0);
        return STREAM_MOVED_ON;
    }
    s->passes_done = 0;
    s->current_source++;
    if (s->current_source < s->source_count) {
        s->source_write_pos = 0;
        SeekSoundConverterExactly(&s->sources[s->current_source].converter, 0);
        return STREAM_MOVED_ON;
    }
    s->last_source_finished = 1;
    if (s->stream_play_type == SOUND_PLAY_LOOP) {
        s->current_source = 0;
        StartLoopBack(s, r, ring, 0);
        SeekSoundConverterExactly(&s->sources[0].converter, 0);
        return STREAM_LOOPED_BACK;
    }
    s->current_source = s->source_count - 1;  // stays on a real entry
    s->end_written = 1;
    s->end_position = RegionsEndOffset(r, ring);
    s->end_play_cursor = play_cursor;
    // Counting down the cursor's advance also ends a stream whose cursor stood right at the end.
    s->end_distance = ring ? (s->end_position + ring - play_cursor % ring) % ring : 0;
    WriteStreamSilence(s, r, ChunkBytes(ring, align));
    return STREAM_END_WRITTEN;
}

int UpdateStreamPlayPosition(int handle, int cursor) {
    SoundHandleRecord* s = LockSoundRecord(handle);
    if (!s) return -1;
    SoundHandleRecord* owner = StreamRingOwner(s);
    if (s->kind != SOUND_KIND_STREAM || !owner || !s->active || owner->current_user != handle) {
        SoundLockLeave();
        return 0;
    }
    const int read = cursor == -1 ? GetDSoundBufferPlayCursor(&owner->buffers[0]) : cursor;
    const uint32_t ring = owner->ring_size, p = (uint32_t)read, l = s->last_play_cursor;
    if (read < 0 || p == l) {
        SoundLockLeave();
        return read < 0 ? -1 : 0;
    }
    const uint32_t moved = RingDistance(l, p, ring);
    if (!PassLoopBacks(s, l, moved, ring)) s->play_position += moved;
    s->last_play_cursor = p;
    s->cursor_moved = 1;
    SoundLockLeave();
    return 0;
}

// After the end was written: stops the ring once the cursor has played up to the
// end, and keeps silence ahead of it until then.
static int RefillAfterEnd(SoundHandleRecord* s, SoundBufferRecord* buf, uint32_t ring) {
    const int read = GetDSoundBufferPlayCursor(buf);
    if (read < 0) return -1;
    const uint32_t p = (uint32_t)read;
    const uint32_t advance = (p + ring - s->end_play_cursor % ring) % ring;
    s->end_play_cursor = p;
    if (advance >= s->end_distance) {
        StopDSoundBuffer(buf);
        s->end_written = 0;
        RewindStreamSound(s);
        return 0;
    }
    s->end_distance -= advance;
    if (!CursorInWindow(p, s->window_start, (uint32_t)s->write_cursor)) return -1;
    LockedRegions r;
    const uint32_t chunk = ChunkBytes(ring, s->format.nBlockAlign);
    if (chunk == 0 || !LockRegions(buf, (uint32_t)s->write_cursor % ring, chunk, &r)) return 0;
    WriteStreamSilence(s, &r, chunk);
    UnlockRegions(buf, &r);
    AdvanceWriteCursor(s, chunk, ring);
    return 0;
}

// Writes up to `amount` bytes of the sources into the locked regions, looping
// and moving on from source to source as often as that takes; the bytes written.
static uint32_t WriteSources(SoundHandleRecord* s, LockedRegions* r, uint32_t amount, uint32_t cursor) {
    const uint32_t align = s->format.nBlockAlign;
    uint32_t n = amount;
    uint32_t left_at_loop_back = amount + 1;  // none yet
    while (!s->end_written && n > 0 && r->first_left + r->second_left > 0) {
        StreamSourceEntry* src = &s->sources[s->current_source];
        uint32_t k = n;
        if (src->loop_end != -1) {
            int64_t room = (int64_t)src->loop_end * align - s->source_write_pos;
            k = room <= 0 ? 0 : room < (int64_t)n ? (uint32_t)room : n;
        }
        uint32_t got = k ? CopyConvertedToLock(r, &src->converter, k) : 0;
        if (got == 0) {
            if (WriteStreamFromSources(s, r, cursor) != STREAM_LOOPED_BACK) continue;
            // A whole round of the sources gave nothing: they are empty or dry, and would spin.
            if (n == left_at_loop_back) break;
            left_at_loop_back = n;
            continue;
        }
        n -= got;
        s->source_write_pos += (int32_t)got;
    }
    return amount - n;
}

int RefillStreamSound(int handle) {
    // Locked before the buffer is shared out: the thread and the main thread both get here.
    SoundHandleRecord* s = LockSoundRecord(handle);
    if (!s) return -1;
    SoundBufferRecord* buf = nullptr;
    SoundHandleRecord* owner = StreamRingOwner(s);
    if (s->kind != SOUND_KIND_STREAM || !owner || ShareStreamSoundBuffer(handle, s, &buf, 0) != 0 || !s->active ||
        !buf->used || owner->ring_size == 0) {
        SoundLockLeave();
        return 0;
    }
    UpdateStreamPlayPosition(handle, -1);
    const uint32_t ring = owner->ring_size;
    int result = 0;
    if (s->end_written) {
        result = RefillAfterEnd(s, buf, ring);
        SoundLockLeave();
        return result;
    }
    uint32_t status = 0;
    GetDSoundBufferStatus(buf, &status);
    const bool prime = !(status & DSBSTATUS_PLAYING);
    uint32_t offset = 0, amount = 0, cursor = 0;
    if (prime) {
        if (s->write_cursor != -800) {
            SoundLockLeave();
            return 0;
        }
        amount = PrimeBytes(ring, s->format.nBlockAlign);
        const int read = GetDSoundBufferPlayCursor(buf);
        cursor = read < 0 ? 0 : (uint32_t)read;
    } else {
        const int read = GetDSoundBufferPlayCursor(buf);
        uint32_t p = (uint32_t)read, w = (uint32_t)s->write_cursor;
        if (read < 0 || s->write_cursor < 0 || !CursorInWindow(p, s->window_start, w)) {
            SoundLockLeave();
            return -1;
        }
        cursor = p;
        offset = w % ring;  // a wrapping window locks where W is, not at W + R
        if (w < s->window_start) {
            w += ring;
            if (p < (uint32_t)s->write_cursor) p += ring;
        }
        // In 1/512 s: the ring is one second.
        const uint64_t ahead = (uint64_t)(w - p) * 512 / ring;
        amount = ahead >= 192 ? ChunkBytes(ring, s->format.nBlockAlign)
                              : AlignDown((uint32_t)((192 - ahead) * ring / 512), s->format.nBlockAlign);
    }
    uint32_t written = 0;
    LockedRegions r;
    if (amount > 0 && LockRegions(buf, offset, amount, &r)) {
        written = WriteSources(s, &r, amount, cursor);
        UnlockRegions(buf, &r);
    }
    if (prime) {
        s->write_cursor = (int32_t)written;
        s->window_start = 0;
    } else {
        AdvanceWriteCursor(s, written, ring);
    }
    SoundLockLeave();
    return result;
}

int RefillAllStreamSounds() {
    if (!IsSoundSystemUp()) return -1;
    for (ListNode* n = GetStreamPlayListHead()->next; n && n->next; n = n->next) {
        SoundHandleRecord* s = (SoundHandleRecord*)n->data;
        if (s->active) RefillStreamSound(n->key);
    }
    return 0;
}

int PrimeStreamSound(int handle) {
    SoundHandleRecord* s = LockSoundRecord(handle);
    if (!s) return -1;
    SoundBufferRecord* buf = nullptr;
    if (s->kind == SOUND_KIND_STREAM && s->source_count > 0 && IsStreamSoundPlaying(handle) == 0 &&
        ShareStreamSoundBuffer(handle, s, &buf, 0) == 0 && !s->active) {
        SetDSoundBufferPosition(buf, 0);
        s->write_cursor = -800;
        s->window_start = 0xFFFFFFFF;
        s->last_play_cursor = 0;
        s->cursor_moved = 0;
        s->end_written = 0;
        StreamSourceEntry* src = &s->sources[s->current_source];
        SeekSoundConverterExactly(&src->converter, s->source_write_pos / s->format.nBlockAlign);
        s->active = 1;
        RefillStreamSound(handle);
    }
    SoundLockLeave();
    return 0;
}
