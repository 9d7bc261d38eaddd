// The video sink of filter-graph movies: accepts uncompressed 24-bit RGB only
// and keeps the last frame, top row first, in a buffer of its own.
#pragma once
#include "engine/movie/filters/renderer.h"

struct BaseImage;

class D_CMovieRenderer : public D_CBaseVideoRenderer {
public:
    D_CMovieRenderer(IUnknown* outer, HRESULT* result);
    ~D_CMovieRenderer() override;

    HRESULT ApplyInputMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT DrawSample(IMediaSample* sample) override;
    HRESULT IsMediaTypeAcceptable(const AM_MEDIA_TYPE* type) override;

    // Copies a frame that arrived since the last call into the image (R8G8B8,
    // its pixels reallocated through MemRealloc when the size changed): 1 when
    // one was copied, 0 when none is new, -1 when the image cannot be held.
    int TakeNewFrame(BaseImage* image);
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    CRITICAL_SECTION frameLock_;   // the streaming thread's copy against the main thread's
    uint8_t* frame_;
    volatile LONG newFrame_;
    int bottomUp_;
    int width_;
    int height_;
    int pitch_;
};

// The renderer, or null when memory runs out; its count starts at 0.
D_CMovieRenderer* CreateMovieRenderer(IUnknown* outer, HRESULT* result);
// Checks a VIDEOINFOHEADER format block: size, width > 0, height neither 0 nor
// INT_MIN, and a frame that a 32-bit process can hold. The row pitch, or -1.
int ValidateVideoInfo(const AM_MEDIA_TYPE* type, int* width, int* height, int* bottom_up);
