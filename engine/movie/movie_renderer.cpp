#include "engine/movie/movie_renderer.h"

#include <climits>
#include <cstring>
#include <new>

#include "engine/image/pixel_format.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"

static const CLSID CLSID_MovieRenderer = {0x71771540, 0x2017, 0x11CF, {0xAE, 0x26, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67}};
// A frame larger than this is refused: a 32-bit process holds several copies.
static const uint64_t kMaxFrameBytes = 64ull << 20;

int ValidateVideoInfo(const AM_MEDIA_TYPE* type, int* width, int* height, int* bottom_up) {
    if (!type || !type->pbFormat || type->cbFormat < sizeof(VIDEOINFOHEADER)) return -1;
    const BITMAPINFOHEADER& bih = ((const VIDEOINFOHEADER*)type->pbFormat)->bmiHeader;
    if (bih.biWidth <= 0 || bih.biHeight == 0 || bih.biHeight == INT_MIN) return -1;
    const uint64_t pitch = ((uint64_t)bih.biWidth * 3 + 3) & ~3ull;
    const uint64_t rows = bih.biHeight < 0 ? (uint64_t)-(int64_t)bih.biHeight : (uint64_t)bih.biHeight;
    if (pitch * rows > kMaxFrameBytes) return -1;
    *width = bih.biWidth;
    *height = (int)rows;
    *bottom_up = bih.biHeight > 0;
    return (int)pitch;
}

D_CMovieRenderer::D_CMovieRenderer(IUnknown* outer, HRESULT* result)
    : D_CBaseVideoRenderer(CLSID_MovieRenderer, nullptr, outer, result), frame_(nullptr), newFrame_(0), bottomUp_(0),
      width_(0), height_(0), pitch_(0) {
    InitializeCriticalSection(&frameLock_);
    if (result) *result = S_OK;
}

D_CMovieRenderer::~D_CMovieRenderer() {
    // The buffer is ours alone: the movie copies frames out of it.
    MemFree(frame_);
    DeleteCriticalSection(&frameLock_);
}

D_CMovieRenderer* CreateMovieRenderer(IUnknown* outer, HRESULT* result) {
    return new (std::nothrow) D_CMovieRenderer(outer, result);
}

HRESULT D_CMovieRenderer::IsMediaTypeAcceptable(const AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    if (!IsEqualGUID(type->formattype, FORMAT_VideoInfo)) return E_INVALIDARG;
    if (!IsEqualGUID(type->majortype, MEDIATYPE_Video)) return E_FAIL;
    if (!IsEqualGUID(type->subtype, MEDIASUBTYPE_RGB24)) return E_FAIL;
    // A format block that cannot describe a frame we can hold is no RGB24 video for us.
    int w, h, up;
    if (ValidateVideoInfo(type, &w, &h, &up) < 0) return E_FAIL;
    return S_OK;
}

HRESULT D_CMovieRenderer::ApplyInputMediaType(const AM_MEDIA_TYPE* type) {
    int w = 0, h = 0, up = 0;
    int pitch = ValidateVideoInfo(type, &w, &h, &up);
    D_CAutoLock hold(&frameLock_);
    MemFree(frame_);
    frame_ = nullptr;
    newFrame_ = 0;
    if (pitch < 0) {
        width_ = height_ = pitch_ = 0;
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    width_ = w, height_ = h, pitch_ = pitch, bottomUp_ = up;
    frame_ = (uint8_t*)MemAlloc((size_t)pitch * (size_t)h, "movie_renderer", 0);
    return S_OK;
}

HRESULT D_CMovieRenderer::DrawSample(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    D_CAutoLock hold(&frameLock_);
    if (!frame_) return S_OK;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return S_OK;
    long actual = sample->GetActualDataLength();
    // Only whole rows that the sample really holds.
    int rows = actual > 0 ? (int)(actual / pitch_) : 0;
    if (rows > height_) rows = height_;
    for (int k = 0; k < rows; k++) {
        uint8_t* dst = frame_ + (size_t)(bottomUp_ ? height_ - 1 - k : k) * pitch_;
        std::memcpy(dst, data + (size_t)k * pitch_, (size_t)pitch_);
    }
    newFrame_ = 1;
    return S_OK;
}

int D_CMovieRenderer::TakeNewFrame(BaseImage* image) {
    D_CAutoLock hold(&frameLock_);
    if (!newFrame_ || !frame_) return 0;
    newFrame_ = 0;
    const size_t bytes = (size_t)pitch_ * (size_t)height_;
    if (!image->pixels || image->width != width_ || image->height != height_) {
        void* grown = MemRealloc(image->pixels, bytes, "movie_renderer", 0);
        if (!grown) return LogAppend("ムービーフレーム用のメモリ確保に失敗しました\n");
        image->pixels = grown;
    }
    std::memcpy(image->pixels, frame_, bytes);
    SetPixelFormatR8G8B8(&image->format);
    image->width = width_;
    image->height = height_;
    image->pitch = pitch_;
    return 1;
}
