// The decoding thread: seeks and fills the frame stock, polling the request
// words of the main thread without a lock.
#include "engine/movie/theora_internal.h"
#include "engine/system/memory.h"

int ReadTheoraFileBlock(TheoraDecoder* dec, int size) {
    char* buffer = ogg_sync_buffer(&dec->sync, size);
    if (!buffer) return 0;
    int n = (int)dec->files.Read(buffer, 1, (size_t)size, dec->file);
    ogg_sync_wrote(&dec->sync, n);
    return n;
}

// The next packet of the Theora stream, reading pages and file blocks as
// needed; 0 at the end of the file.
static int NextTheoraPacket(TheoraDecoder* dec) {
    for (;;) {
        int r = ogg_stream_packetout(&dec->stream, &dec->packet);
        if (r > 0) return 1;
        if (r < 0) continue;  // a hole in the data: take what follows
        if (ogg_sync_pageout(&dec->sync, &dec->page) > 0) {
            ogg_stream_pagein(&dec->stream, &dec->page);  // pages of other streams are refused here
            continue;
        }
        if (dec->files.Eof(dec->file) || ReadTheoraFileBlock(dec, 4096) <= 0) return 0;
    }
}

int DecodeTheoraFramesForward(TheoraDecoder* dec, int n) {
    if (n < 1) return 0;
    int last_key = -1;
    for (int64_t f = (int64_t)dec->decode_position + 1; f <= (int64_t)dec->decode_position + n; f++)
        if (f >= 0 && f < dec->frame_count && dec->key_frames[f]) last_key = (int)f;
    int key = 0;
    for (int counted = 0; counted < n;) {
        if (!NextTheoraPacket(dec)) return -1;
        key = theora_packet_iskeyframe(&dec->packet);
        if (key < 0) continue;  // a header packet, met after a rewind to the start
        int frame = dec->decode_position + 1;
        // Packets before the last key frame are not needed for its picture.
        if (last_key < 0 || last_key <= frame) theora_decode_packetin(&dec->decoder, &dec->packet);
        dec->decode_position = frame;
        counted++;
    }
    return key > 0 ? 1 : 0;
}

int TheoraWindowSize(const TheoraDecoder* dec) {
    return dec->frame_count < dec->stock_size ? (int)dec->frame_count : dec->stock_size;
}

// Repositions the stream so that the decoder holds the target frame's picture:
// from a page a little before the last key frame at or before it. 0, or -1
// when the file ends first.
static int RestartTheoraAt(TheoraDecoder* dec, int target) {
    int p = 0;
    while (p < dec->page_count - 1 &&
           (int64_t)dec->pages[p].first_frame + dec->pages[p].frame_count <= (int64_t)target)
        p++;
    int r = p;
    if (p > 0) {
        r = p - 1;
        while (r > 0 && !dec->pages[r].key_frame) r--;
        // A key frame's packet may begin on the page before the one it completes on.
        if (r > 0) r--;
    }
    ogg_sync_reset(&dec->sync);
    ogg_stream_reset(&dec->stream);
    dec->files.Seek(dec->file, dec->pages[r].offset, 0);
    int next = (int)dec->pages[r].first_frame;
    if (r > 0) {
        while (ogg_sync_pageout(&dec->sync, &dec->page) <= 0)
            if (ReadTheoraFileBlock(dec, 4096) <= 0) return -1;
        // The packet this page finishes began before it and is lost.
        if (ogg_page_continued(&dec->page)) next++;
        ogg_stream_pagein(&dec->stream, &dec->page);
    }
    dec->decode_position = next - 1;
    if (target > dec->decode_position && DecodeTheoraFramesForward(dec, target - dec->decode_position) < 0)
        return -1;
    return 0;
}

// Copies the decoder's picture into the stock entry and publishes it under the
// frame number. -1 when a plane cannot be allocated (the entry stays invalid).
static int StoreTheoraPicture(TheoraDecoder* dec, TheoraFrameStockEntry* e, int frame) {
    yuv_buffer yuv;
    if (theora_decode_YUVout(&dec->decoder, &yuv) != 0) return -1;
    int ys = yuv.y_stride < 0 ? -yuv.y_stride : yuv.y_stride;
    int uvs = yuv.uv_stride < 0 ? -yuv.uv_stride : yuv.uv_stride;
    if (e->y_stride != ys || e->y_width != yuv.y_width || e->y_height != yuv.y_height) {
        MemFree(e->planes[0]);
        e->planes[0] = nullptr;
    }
    if (e->uv_stride != uvs || e->uv_width != yuv.uv_width || e->uv_height != yuv.uv_height) {
        MemFree(e->planes[1]);
        MemFree(e->planes[2]);
        e->planes[1] = e->planes[2] = nullptr;
    }
    e->y_width = yuv.y_width, e->y_height = yuv.y_height, e->y_stride = ys;
    e->uv_width = yuv.uv_width, e->uv_height = yuv.uv_height, e->uv_stride = uvs;
    const uint8_t* src[3] = {yuv.y, yuv.u, yuv.v};
    const int src_stride[3] = {yuv.y_stride, yuv.uv_stride, yuv.uv_stride};
    for (int i = 0; i < 3; i++) {
        int stride = i ? uvs : ys, height = i ? e->uv_height : e->y_height, width = i ? e->uv_width : e->y_width;
        if (!e->planes[i]) e->planes[i] = (uint8_t*)MemAlloc((size_t)stride * (size_t)height, "theora_thread", 0);
        if (!e->planes[i]) return -1;
        CopyTheoraRows(e->planes[i], stride, src[i], src_stride[i], width, height);
    }
    e->frame.store(frame);
    e->valid.store(1);
    return 0;
}

int FindTheoraStockEntry(TheoraDecoder* dec, int frame) {
    for (int i = 0; i < dec->stock_size; i++)
        if (dec->stock[i].valid.load() && dec->stock[i].frame.load() == frame) return i;
    return -1;
}

// Drops the entries outside the window; the entry the main thread is copying stays.
static void DropStaleTheoraEntries(TheoraDecoder* dec, int current) {
    const int64_t n = dec->frame_count, window = TheoraWindowSize(dec);
    for (int i = 0; i < dec->stock_size; i++) {
        TheoraFrameStockEntry* e = &dec->stock[i];
        if (!e->valid.load()) continue;
        int64_t d = (int64_t)e->frame.load() - current;
        if (d < 0) d += n;
        if (d >= 0 && d < window) continue;
        e->valid.store(0);
        if (dec->copy_pin.load() == i) e->valid.store(1);
    }
}

// The first free entry that the main thread is not looking at, or -1.
static int FreeStockEntry(TheoraDecoder* dec) {
    for (int i = 0; i < dec->stock_size; i++)
        if (!dec->stock[i].valid.load() && dec->copy_pin.load() != i) return i;
    return -1;
}

static void SeekPass(TheoraDecoder* dec) {
    dec->state.store(THEORA_STATE_SEEKING);
    int failed = RestartTheoraAt(dec, dec->seek_target.load()) < 0;
    for (int i = 0; i < dec->stock_size; i++) dec->stock[i].valid.store(0);
    // A file that ends before the target keeps the position it reached.
    dec->end_of_file.store(failed);
    dec->seek_request.store(0);
}

// One step of filling: decodes the first frame of the window that the stock
// lacks into a free entry. False when there is nothing to do.
static bool FillPass(TheoraDecoder* dec) {
    const int current = dec->current_frame.load();
    if (current < 0 || dec->frame_count <= 0) return false;
    DropStaleTheoraEntries(dec, current);
    int want = -1;
    const int window = TheoraWindowSize(dec);
    for (int i = 0; i < window && want < 0; i++) {
        int f = (int)(((int64_t)current + i) % dec->frame_count);
        if (FindTheoraStockEntry(dec, f) < 0) want = f;
    }
    int slot = want < 0 ? -1 : FreeStockEntry(dec);
    if (slot < 0) return false;
    dec->state.store(THEORA_STATE_FILLING);
    if (want > dec->decode_position) {
        if (DecodeTheoraFramesForward(dec, want - dec->decode_position) < 0) {
            dec->end_of_file.store(1);
            Sleep(1);
            return true;
        }
    } else if (want < dec->decode_position) {
        // The window wrapped to the start, or the current frame went back.
        if (RestartTheoraAt(dec, want) < 0) {
            dec->end_of_file.store(1);
            Sleep(1);
            return true;
        }
        dec->end_of_file.store(0);
    }
    if (dec->decode_position == want) StoreTheoraPicture(dec, &dec->stock[slot], want);
    return true;
}

DWORD WINAPI TheoraDecodeThread(void* param) {
    TheoraDecoder* dec = (TheoraDecoder*)param;
    for (;;) {
        if (dec->quit_request.load()) {
            dec->state.store(THEORA_STATE_ENDED);
            return 0;
        }
        if (dec->pause_request.load()) {
            dec->state.store(THEORA_STATE_PAUSED);
            Sleep(1);
            continue;
        }
        if (dec->seek_request.load()) {
            SeekPass(dec);
        } else if (!FillPass(dec)) {
            dec->state.store(THEORA_STATE_IDLE);
            Sleep(1);  // a full stock waits for the main thread
            continue;
        }
        Sleep(0);
    }
}
