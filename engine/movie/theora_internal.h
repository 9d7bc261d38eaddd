// The Theora decoder's record, shared by its open, thread and publish code.
// Words that both threads touch are atomic; each is written by one side only
// (requests and the current frame by the main thread, the state, the
// end-of-file flag and the stock entries by the decoding thread), except the
// copy pin, which the main thread sets around the copy of one entry.
#pragma once
#include <windows.h>
#include <d3d9.h>
#include <theora/theora.h>

#include <atomic>
#include <cstdint>

#include "engine/file/file_stream.h"
#include "engine/image/pixel_format.h"
#include "engine/movie/theora_decoder.h"

enum TheoraThreadState {
    THEORA_STATE_IDLE = 0,      // stock full
    THEORA_STATE_FILLING = 1,
    THEORA_STATE_SEEKING = 2,
    THEORA_STATE_ENDED = 3,
    THEORA_STATE_PAUSED = 4,
};

struct TheoraPageEntry {
    uint32_t offset;            // of the page in the file
    uint32_t first_frame;       // first frame whose packet completes on this page
    uint32_t key_frame;         // 1 when a key frame completes on this page
    uint32_t frame_count;       // frames completing on this page
};

struct TheoraFrameStockEntry {
    std::atomic<int32_t> valid;
    std::atomic<int32_t> frame;
    uint8_t* planes[3];         // Y, U, V; kept across reuse while their sizes stay
    int32_t y_width, y_height, y_stride;
    int32_t uv_width, uv_height, uv_stride;
};

struct TheoraDecoder {
    std::atomic<int32_t> state;
    std::atomic<int32_t> pause_request;
    std::atomic<int32_t> quit_request;
    std::atomic<int32_t> seek_request;
    std::atomic<int32_t> seek_target;
    std::atomic<int32_t> end_of_file;
    HANDLE thread;
    DWORD thread_id;
    FileFunctionTable files;
    uint32_t file;
    ogg_sync_state sync;
    ogg_page page;
    ogg_stream_state stream;
    ogg_packet packet;
    theora_info info;
    theora_comment comment;
    theora_state decoder;
    int stream_open, decoder_open;
    TheoraPageEntry* pages;
    int32_t page_count, page_capacity;
    uint8_t* key_frames;
    int32_t key_frame_capacity;
    int64_t frame_count;
    std::atomic<int32_t> current_frame;
    int32_t decode_position;    // frame whose picture libtheora holds (thread side)
    int32_t header_count;
    TheoraFrameStockEntry* stock;
    int32_t stock_size;
    std::atomic<int32_t> copy_pin;   // stock entry being copied by the main thread, -1 none
    BaseImage image;
    IDirect3DSurface9* surface;
    uint32_t surface_fourcc;
    int32_t image_published, surface_published;
};

int ReadTheoraFileBlock(TheoraDecoder* dec, int size);
int ReadTheoraHeaders(TheoraDecoder* dec);
// Feeds the next n frames' packets (those before the last key frame among them
// are skipped): 1 when the last one is a key frame, 0 when not, -1 at the end of the file.
int DecodeTheoraFramesForward(TheoraDecoder* dec, int n);
DWORD WINAPI TheoraDecodeThread(void* param);
// Rows of width bytes between buffers of their own pitch (a stride may be negative).
void CopyTheoraRows(uint8_t* dst, int dst_pitch, const uint8_t* src, int src_stride, int width, int height);
// The stock entry holding the frame, or -1.
int FindTheoraStockEntry(TheoraDecoder* dec, int frame);

// Frames of the window the stock keeps: the current frame and those after it,
// wrapping to the movie's start.
int TheoraWindowSize(const TheoraDecoder* dec);
