// WAV writer: PCM in, a RIFF WAVE byte stream out to a downstream file writer,
// the header written over the stream's start when streaming ends.
#pragma once
#include "engine/movie/filters/transform.h"

class D_CWavDestFilter : public D_CTransformFilter {
public:
    D_CWavDestFilter(IUnknown* outer, HRESULT* result);

    D_CBasePin* PinAt(int n) override { return n == 0 ? (D_CBasePin*)input_ : n == 1 ? (D_CBasePin*)output_ : nullptr; }
    HRESULT TransformSample(IMediaSample* in, IMediaSample* out) override;
    HRESULT IsInputTypeAcceptable(const AM_MEDIA_TYPE* type) override;
    HRESULT IsTransformAcceptable(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
    HRESULT SetBufferRequirements(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props) override;
    HRESULT GetOfferedMediaType(int position, D_CMediaType* type) override;
    HRESULT BeginStreaming() override;
    HRESULT EndStreaming() override;
    HRESULT ReceiveSample(IMediaSample* sample) override;

    DWORD BytesWritten() const { return written_; }

private:
    HRESULT WriteHeader();

    DWORD written_;
    DWORD headerSize_;
};

class D_CWavDestOutputPin : public D_CTransformOutputPin {
public:
    D_CWavDestOutputPin(D_CTransformFilter* filter, HRESULT* result);
    HRESULT AcceptsMediaType(const AM_MEDIA_TYPE* type) override;
};

// Null (and *result set) when it cannot be made.
D_CWavDestFilter* CreateWavDestFilter(IUnknown* outer, HRESULT* result);
