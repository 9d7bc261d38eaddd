// Media sample: one buffer with its times, flags and optional media type.
#include "engine/movie/filters/allocator.h"
#include <cstddef>
#include <cstring>
#include "engine/movie/filters/media_type.h"

D_CMediaSample::D_CMediaSample(const char* objectName, D_CBaseAllocator* allocator, HRESULT*, BYTE* buffer,
                               LONG size)
    : D_CBaseObject(objectName), flags_(0), typeSpecificFlags_(0), buffer_(buffer), actual_(size), size_(size),
      allocator_(allocator), nextFree_(nullptr), start_(0), stop_(0), mediaStart_(0), mediaEndDiff_(0),
      mediaType_(nullptr), streamId_(0), refCount_(0) {}

D_CMediaSample::~D_CMediaSample() {
    if (mediaType_) DeleteMediaType(mediaType_);
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IMediaSample) || IsEqualIID(iid, IID_IMediaSample2) || IsEqualIID(iid, IID_IUnknown))
        return ReturnInterfaceAddRef(static_cast<IMediaSample2*>(this), out);
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE D_CMediaSample::AddRef() { return ++refCount_; }

// A sample is never deleted here: at 0 it goes back to its allocator's pool.
ULONG STDMETHODCALLTYPE D_CMediaSample::Release() {
    LONG n = --refCount_;
    if (n > 0) return n;
    SetMediaType(nullptr);
    flags_ = 0;
    typeSpecificFlags_ = 0;
    streamId_ = 0;
    allocator_->ReleaseBuffer(this);
    return 0;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::GetPointer(BYTE** out) {
    if (!out) return E_POINTER;
    *out = buffer_;
    return S_OK;
}

LONG STDMETHODCALLTYPE D_CMediaSample::GetSize() { return size_; }

HRESULT STDMETHODCALLTYPE D_CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
    if (!start || !stop) return E_POINTER;
    if (flags_ & kStopValid) {
        *start = start_;
        *stop = stop_;
        return S_OK;
    }
    if (!(flags_ & kStartValid)) return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = start_;
    *stop = start_ + 1;
    return VFW_S_NO_STOP_TIME;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
    if (!start) {
        flags_ &= ~(kStartValid | kStopValid);
    } else if (stop) {
        start_ = *start;
        stop_ = *stop;
        flags_ |= kStartValid | kStopValid;
    } else {
        start_ = *start;
        flags_ = (flags_ | kStartValid) & ~kStopValid;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::IsSyncPoint() { return (flags_ & kSyncPoint) ? S_OK : S_FALSE; }
HRESULT STDMETHODCALLTYPE D_CMediaSample::IsPreroll() { return (flags_ & kPreroll) ? S_OK : S_FALSE; }
HRESULT STDMETHODCALLTYPE D_CMediaSample::IsDiscontinuity() { return (flags_ & kDiscontinuity) ? S_OK : S_FALSE; }

HRESULT STDMETHODCALLTYPE D_CMediaSample::SetSyncPoint(BOOL on) {
    SetFlag(kSyncPoint, on);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::SetPreroll(BOOL on) {
    SetFlag(kPreroll, on);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::SetDiscontinuity(BOOL on) {
    SetFlag(kDiscontinuity, on);
    return S_OK;
}

LONG STDMETHODCALLTYPE D_CMediaSample::GetActualDataLength() { return actual_; }

HRESULT STDMETHODCALLTYPE D_CMediaSample::SetActualDataLength(LONG length) {
    if (length > size_ || length < 0) return VFW_E_BUFFER_OVERFLOW;
    actual_ = length;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::GetMediaType(AM_MEDIA_TYPE** out) {
    if (!out) return E_POINTER;
    if (!(flags_ & kTypeChanged) || !mediaType_) {
        *out = nullptr;
        return S_FALSE;
    }
    *out = CreateMediaTypeCopy(mediaType_);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::SetMediaType(AM_MEDIA_TYPE* type) {
    if (mediaType_) {
        DeleteMediaType(mediaType_);
        mediaType_ = nullptr;
    }
    if (!type) {
        flags_ &= ~kTypeChanged;
        return S_OK;
    }
    mediaType_ = CreateMediaTypeCopy(type);
    SetFlag(kTypeChanged, mediaType_ != nullptr);
    return mediaType_ ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::GetMediaTime(LONGLONG* start, LONGLONG* stop) {
    if (!start || !stop) return E_POINTER;
    if (!(flags_ & kMediaTimesValid)) return VFW_E_MEDIA_TIME_NOT_SET;
    *start = mediaStart_;
    *stop = mediaStart_ + mediaEndDiff_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::SetMediaTime(LONGLONG* start, LONGLONG* stop) {
    if (!start) {
        flags_ &= ~kMediaTimesValid;
        return S_OK;
    }
    if (!stop) return E_POINTER;
    mediaStart_ = *start;
    mediaEndDiff_ = (LONG)(*stop - *start);
    flags_ |= kMediaTimesValid;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::GetProperties(DWORD size, BYTE* out) {
    if (size == 0) return S_OK;
    if (!out) return E_POINTER;
    AM_SAMPLE2_PROPERTIES p;
    DWORD n = size < sizeof p ? size : (DWORD)sizeof p;
    p.cbData = n;
    p.dwTypeSpecificFlags = typeSpecificFlags_;
    p.dwSampleFlags = flags_ & ~kMediaTimesValid;
    p.lActual = actual_;
    p.tStart = start_;
    p.tStop = stop_;
    p.dwStreamId = streamId_;
    p.pMediaType = mediaType_;
    p.pbBuffer = buffer_;
    p.cbBuffer = size_;
    std::memcpy(out, &p, n);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CMediaSample::SetProperties(DWORD size, const BYTE* props) {
    if (size < sizeof(DWORD)) return S_OK;
    if (!props) return E_POINTER;
    AM_SAMPLE2_PROPERTIES p;
    std::memset(&p, 0, sizeof p);
    DWORD declared = *(const DWORD*)props;
    DWORD n = declared < size ? declared : size;
    if (n > sizeof p || declared > sizeof p) return E_INVALIDARG;
    std::memcpy(&p, props, n);
    auto covers = [n](size_t offset, size_t len) { return n >= offset + len; };
#define COVERS(field) covers(offsetof(AM_SAMPLE2_PROPERTIES, field), sizeof(p.field))
    if (COVERS(dwSampleFlags)) {
        if (p.dwSampleFlags & ~0x1DFu) return E_INVALIDARG;
        if ((p.dwSampleFlags & kStartValid) && !(flags_ & kStartValid) && !COVERS(tStop)) return E_INVALIDARG;
    }
    if (COVERS(pbBuffer) && p.pbBuffer && p.pbBuffer != buffer_) return E_INVALIDARG;
    if (COVERS(cbBuffer) && p.cbBuffer != 0 && (p.cbBuffer != size_ || (COVERS(lActual) && p.cbBuffer < p.lActual)))
        return E_INVALIDARG;
    // A length beyond the buffer would let the next reader run off its end.
    if (COVERS(lActual) && (p.lActual < 0 || p.lActual > size_)) return E_INVALIDARG;
    AM_MEDIA_TYPE* newType = nullptr;
    bool typeChange = COVERS(dwSampleFlags) && (p.dwSampleFlags & kTypeChanged) && COVERS(pMediaType);
    if (typeChange) {
        if (!p.pMediaType) return E_POINTER;
        newType = CreateMediaTypeCopy(p.pMediaType);
        if (!newType) return E_OUTOFMEMORY;
    }
    if (COVERS(dwStreamId)) streamId_ = p.dwStreamId;
    if (COVERS(dwSampleFlags)) {
        flags_ = (p.dwSampleFlags & ~kMediaTimesValid) | (flags_ & kMediaTimesValid);
        typeSpecificFlags_ = p.dwTypeSpecificFlags;
    }
    if (COVERS(lActual)) actual_ = p.lActual;
    if (COVERS(tStop)) stop_ = p.tStop;
    if (COVERS(tStart)) start_ = p.tStart;
    if (typeChange) {
        if (mediaType_) DeleteMediaType(mediaType_);
        mediaType_ = newType;
    }
#undef COVERS
    SetFlag(kTypeChanged, mediaType_ != nullptr);
    return S_OK;
}
