// Opening and closing a Theora movie: the headers, the scan of the whole file
// into the page and key-frame tables, the frame stock and the decoding thread;
// and the main thread's side of the controls.
#include <cstring>

#include "engine/graphics/graphics_system.h"
#include "engine/movie/theora_internal.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"

// A frame larger than this cannot be held next to its stock in a 32-bit process.
static const uint64_t kMaxFramePixels = 4096ull * 4096ull;

int ReadTheoraHeaders(TheoraDecoder* dec) {
    // Beginning-of-stream pages: find the Theora one.
    for (bool searching = true; searching;) {
        if (ogg_sync_pageout(&dec->sync, &dec->page) <= 0) {
            if (ReadTheoraFileBlock(dec, 4096) <= 0) break;
            continue;
        }
        if (!ogg_page_bos(&dec->page)) {
            if (dec->stream_open) ogg_stream_pagein(&dec->stream, &dec->page);
            break;
        }
        ogg_stream_state test;
        ogg_stream_init(&test, ogg_page_serialno(&dec->page));
        ogg_stream_pagein(&test, &dec->page);
        if (ogg_stream_packetout(&test, &dec->packet) > 0 &&
            theora_decode_header(&dec->info, &dec->comment, &dec->packet) >= 0) {
            std::memcpy(&dec->stream, &test, sizeof test);
            dec->stream_open = 1;
            dec->header_count = 1;
            searching = false;
        } else {
            ogg_stream_clear(&test);
        }
    }
    while (dec->stream_open && dec->header_count < 3) {
        int r = ogg_stream_packetout(&dec->stream, &dec->packet);
        if (r < 0) return -1;
        if (r > 0) {
            if (theora_decode_header(&dec->info, &dec->comment, &dec->packet) < 0) return -1;
            dec->header_count++;
            continue;
        }
        if (ogg_sync_pageout(&dec->sync, &dec->page) > 0) {
            ogg_stream_pagein(&dec->stream, &dec->page);
            continue;
        }
        if (ReadTheoraFileBlock(dec, 4096) <= 0) break;
    }
    if (dec->header_count < 3) {
        LogAppend("End of file while searching for codec headers.");
        return -1;
    }
    return 1;
}

static int AppendTheoraPage(TheoraDecoder* dec, uint32_t offset) {
    if (dec->page_count == dec->page_capacity) {
        TheoraPageEntry* grown = (TheoraPageEntry*)MemRealloc(
            dec->pages, sizeof(TheoraPageEntry) * (size_t)(dec->page_capacity + 1000), "theora_open", 0);
        if (!grown) return LogAppend("Theora ページ情報格納用メモリの確保に失敗しました\n");
        dec->pages = grown;
        dec->page_capacity += 1000;
    }
    dec->pages[dec->page_count++] = {offset, (uint32_t)dec->frame_count, 0, 0};
    return 0;
}

// Walks every packet of the file, noting where each page's frames begin and
// which frames are key frames. 0 or -1.
static int ScanTheoraFile(TheoraDecoder* dec) {
    uint64_t offset = 0, page_start = 0;
    int new_page = 0;
    for (;;) {
        int r = ogg_stream_packetout(&dec->stream, &dec->packet);
        if (r == 0) {
            int taken = ogg_sync_pageout(&dec->sync, &dec->page);
            if (taken > 0) {
                uint64_t start = offset;
                offset += (uint64_t)dec->page.header_len + (uint64_t)dec->page.body_len;
                if (ogg_stream_pagein(&dec->stream, &dec->page) == 0) {
                    page_start = start;
                    new_page = 1;
                }
            } else if (taken < 0) {
                offset += (uint64_t)-taken;  // bytes the sync layer skipped
            } else if (ReadTheoraFileBlock(dec, 4096) <= 0) {
                return 0;
            }
            continue;
        }
        if (r < 0) continue;
        int key = theora_packet_iskeyframe(&dec->packet);
        if (key < 0) continue;
        if (offset > 0xFFFFFFFFull) return LogAppend("Theora ムービーファイルが大きすぎます\n");
        if (new_page) {
            if (AppendTheoraPage(dec, (uint32_t)page_start) < 0) return -1;
            new_page = 0;
        }
        if (dec->frame_count == dec->key_frame_capacity) {
            uint8_t* grown = (uint8_t*)MemRealloc(dec->key_frames, (size_t)dec->key_frame_capacity + 1000,
                                                  "theora_open", 0);
            if (!grown) return LogAppend("Theora キーフレーム情報格納用メモリの確保に失敗しました\n");
            dec->key_frames = grown;
            dec->key_frame_capacity += 1000;
        }
        TheoraPageEntry* last = &dec->pages[dec->page_count - 1];
        if (key > 0) last->key_frame = 1;
        dec->key_frames[dec->frame_count] = key > 0 ? 1 : 0;
        dec->frame_count++;
        last->frame_count++;
    }
}

static int StartTheoraThread(TheoraDecoder* dec) {
    dec->pause_request.store(1);
    dec->state.store(THEORA_STATE_IDLE);
    dec->thread = CreateThread(nullptr, 0, TheoraDecodeThread, dec, 0, &dec->thread_id);
    if (!dec->thread) return LogAppend("Theora ムービーデコード用スレッドの作成に失敗しました\n");
    return 0;
}

// Everything after the headers; -1 leaves the cleanup to CloseTheoraMovie.
static int SetUpTheoraMovie(TheoraDecoder* dec, int stock_size) {
    const uint64_t w = dec->info.width, h = dec->info.height;
    if (w == 0 || h == 0 || w * h > kMaxFramePixels)
        return LogAppendFormat("Theora ムービーのフレームサイズが扱えません ( %u x %u )", (unsigned)w, (unsigned)h);
    if (stock_size < 1) stock_size = 1;
    if (StartTheoraThread(dec) < 0) return -1;
    if (theora_decode_init(&dec->decoder, &dec->info) != 0)
        return LogAppend("Theora デコーダの初期化に失敗しました\n");
    dec->decoder_open = 1;
    ogg_sync_reset(&dec->sync);
    ogg_stream_reset(&dec->stream);
    dec->files.Seek(dec->file, 0, 0);
    if (ScanTheoraFile(dec) < 0) return -1;
    // Waiting for a first frame that never comes would hang the open.
    if (dec->frame_count == 0) return LogAppend("Theora ムービーにフレームがありません\n");
    dec->pages[0].offset = 0;
    RecreateTheoraYuvSurface(dec);
    if (BaseImageCreateXrgb32((int)w, (int)h, &dec->image) < 0)
        return LogAppend("Theora ムービーデコードフレームストック用画像バッファの確保に失敗しました\n");
    dec->stock = (TheoraFrameStockEntry*)MemAllocZeroed(sizeof(TheoraFrameStockEntry) * (size_t)stock_size,
                                                        "theora_open", 0);
    if (!dec->stock) return LogAppend("Theora ムービーデコードフレームストック用のメモリ確保に失敗しました\n");
    dec->stock_size = stock_size;
    return 0;
}

TheoraDecoder* OpenTheoraMovie(const FileFunctionTable* functions, uint32_t file, int stock_size, int* refused) {
    if (refused) *refused = 0;
    if (!functions || !file) return nullptr;
    char magic[4] = {0, 0, 0, 0};
    if (functions->Read(magic, 1, 4, file) != 4 || std::memcmp(magic, "OggS", 4) != 0) return nullptr;
    functions->Seek(file, 0, 0);
    TheoraDecoder* dec = (TheoraDecoder*)MemAllocZeroed(sizeof(TheoraDecoder), "theora_open", 0);
    if (!dec) {
        LogAppend("Theora ムービーデコード処理用のメモリ確保に失敗しました\n");
        return nullptr;
    }
    dec->current_frame.store(-1);
    dec->copy_pin.store(-1);
    ogg_sync_init(&dec->sync);
    theora_info_init(&dec->info);
    theora_comment_init(&dec->comment);
    dec->files = *functions;
    dec->file = file;
    if (ReadTheoraHeaders(dec) < 0 || SetUpTheoraMovie(dec, stock_size) < 0) {
        if (refused) *refused = dec->stream_open;
        CloseTheoraMovie(dec);
        return nullptr;
    }
    SeekTheoraFrame(dec, 0);
    PublishTheoraFrame(dec, 1, 1);
    return dec;
}

int CloseTheoraMovie(TheoraDecoder* dec) {
    if (!dec) return 0;
    if (dec->thread) {
        dec->quit_request.store(1);
        while (dec->state.load() != THEORA_STATE_ENDED) Sleep(1);
        WaitForSingleObject(dec->thread, INFINITE);
        CloseHandle(dec->thread);
        dec->thread = nullptr;
    }
    for (int i = 0; i < dec->stock_size; i++)
        for (uint8_t* plane : dec->stock[i].planes) MemFree(plane);
    MemFree(dec->stock);
    ReleaseTheoraYuvSurface(dec);
    MemFree(dec->pages);
    MemFree(dec->key_frames);
    BaseImageRelease(&dec->image);
    if (dec->stream_open) ogg_stream_clear(&dec->stream);
    if (dec->decoder_open) theora_clear(&dec->decoder);
    theora_comment_clear(&dec->comment);
    theora_info_clear(&dec->info);
    ogg_sync_clear(&dec->sync);
    MemFree(dec);
    return 0;
}

int SeekTheoraFrame(TheoraDecoder* dec, int frame) {
    if (!dec || frame == dec->current_frame.load()) return 0;
    dec->image_published = 0;
    dec->surface_published = 0;
    dec->pause_request.store(1);
    while (dec->state.load() != THEORA_STATE_PAUSED) Sleep(0);
    if (frame >= dec->frame_count) frame = (int)(dec->frame_count - 1);
    if (frame < 0) frame = 0;
    dec->current_frame.store(frame);
    dec->seek_target.store(frame);
    dec->seek_request.store(1);
    dec->pause_request.store(0);
    return 0;
}

int AdvanceTheoraFrames(TheoraDecoder* dec, int n) {
    if (!dec || n < 1 || dec->frame_count <= 0) return 0;
    // However far it goes, the current frame stays inside the movie.
    int64_t next = ((int64_t)dec->current_frame.load() + n) % dec->frame_count;
    dec->current_frame.store((int32_t)next);
    dec->image_published = 0;
    dec->surface_published = 0;
    return 0;
}

BaseImage* GetTheoraFrameImage(TheoraDecoder* dec) { return dec ? &dec->image : nullptr; }
IDirect3DSurface9* GetTheoraYuvSurface(TheoraDecoder* dec) { return dec ? dec->surface : nullptr; }
uint32_t GetTheoraYuvSurfaceFormat(TheoraDecoder* dec) { return dec ? dec->surface_fourcc : 0; }
int GetTheoraCurrentFrame(TheoraDecoder* dec) { return dec ? dec->current_frame.load() : -1; }

int GetTheoraMovieInfo(TheoraDecoder* dec, TheoraMovieInfo* info) {
    if (!dec || !info) return -1;
    uint32_t num = dec->info.fps_numerator, den = dec->info.fps_denominator;
    info->fps = den ? (double)num / (double)den : 0.0;
    info->frame_count = (int32_t)dec->frame_count;
    info->width = (int32_t)dec->info.width;
    info->height = (int32_t)dec->info.height;
    return 0;
}

int ReleaseTheoraYuvSurface(TheoraDecoder* dec) {
    if (!dec) return -1;
    if (dec->surface) dec->surface->Release();
    dec->surface = nullptr;
    dec->surface_fourcc = 0;
    dec->surface_published = 0;
    return 0;
}

int RecreateTheoraYuvSurface(TheoraDecoder* dec) {
    if (!dec) return -1;
    ReleaseTheoraYuvSurface(dec);
    IDirect3DDevice9* device = GetD3DDevice();
    // The surface copy knows 4:2:0 planes only; other layouts take the image path.
    if (!device || dec->info.pixelformat != OC_PF_420) return 0;
    static const uint32_t kFormats[] = {MAKEFOURCC('Y', 'V', '1', '2'), MAKEFOURCC('Y', 'U', 'Y', '2'),
                                        MAKEFOURCC('U', 'Y', 'V', 'Y')};
    for (uint32_t fourcc : kFormats) {
        if (SUCCEEDED(device->CreateOffscreenPlainSurface(dec->info.width, dec->info.height, (D3DFORMAT)fourcc,
                                                          D3DPOOL_DEFAULT, &dec->surface, nullptr))) {
            dec->surface_fourcc = fourcc;
            return 0;
        }
        dec->surface = nullptr;
    }
    return 0;
}
