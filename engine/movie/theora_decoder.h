// Theora movies decoded by libtheora's legacy interface over libogg on a thread
// of their own, which keeps a small stock of decoded frames ahead of the one
// shown. Frames are handed out as an X8R8G8B8 image or copied into a Direct3D
// YUV surface. The file is read through a copy of the file layer's table.
#pragma once
#include <cstdint>

struct BaseImage;
struct FileFunctionTable;
struct IDirect3DSurface9;
struct TheoraDecoder;

struct TheoraMovieInfo {
    double fps;
    int32_t frame_count;
    int32_t width, height;    // the coded frame size
};

// Builds the YUV-to-RGB and clamp tables; engine start. Returns 0.
int InitYuvTables();
// Opens the movie in the file (which stays the caller's); null when the file is
// no Theora movie or cannot be held (with a log line for the latter). On null,
// *refused (when given) is 1 if a Theora stream was found and refused: the file
// is ours, not one to hand to another parser.
TheoraDecoder* OpenTheoraMovie(const FileFunctionTable* functions, uint32_t file, int stock_size,
                               int* refused = nullptr);
// Stops the thread and frees everything the decoder owns. Returns 0.
int CloseTheoraMovie(TheoraDecoder* dec);
// Restarts decoding at the frame (clamped to the movie). Returns 0.
int SeekTheoraFrame(TheoraDecoder* dec, int frame);
// Moves the current frame n ahead, wrapping at the end (n < 1: nothing). Returns 0.
int AdvanceTheoraFrames(TheoraDecoder* dec, int n);
// Puts the current frame into the image and/or the YUV surface, where it is not
// yet: 1 when something was put, 0 when nothing needed it or the frame cannot be had.
int PublishTheoraFrame(TheoraDecoder* dec, int to_image, int to_surface);
BaseImage* GetTheoraFrameImage(TheoraDecoder* dec);
IDirect3DSurface9* GetTheoraYuvSurface(TheoraDecoder* dec);
// "YV12", "YUY2" or "UYVY" as a FourCC, 0 without a surface.
uint32_t GetTheoraYuvSurfaceFormat(TheoraDecoder* dec);
int GetTheoraCurrentFrame(TheoraDecoder* dec);
int GetTheoraMovieInfo(TheoraDecoder* dec, TheoraMovieInfo* info);
// (Re)makes the YUV surface on the current device (none in software mode).
int RecreateTheoraYuvSurface(TheoraDecoder* dec);
// Releases the YUV surface (before a device reset); RecreateTheoraYuvSurface makes it again.
int ReleaseTheoraYuvSurface(TheoraDecoder* dec);

// Converts one 4:2:0 block-pair of rows or any layout into X8R8G8B8 with the
// tables above (exposed for tests and the benchmark).
struct YuvPlaneSet {
    const uint8_t* y;
    const uint8_t* u;
    const uint8_t* v;
    int y_width, y_height, y_stride;
    int uv_width, uv_height, uv_stride;
};
void ConvertYuvToXrgb(const YuvPlaneSet& src, uint8_t* dst, int dst_pitch);
