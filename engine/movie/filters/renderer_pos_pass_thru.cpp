// The renderer's pass-through: also remembers the times of the sample shown,
// which then answer the current position.
#include "engine/movie/filters/renderer.h"

D_CRendererPosPassThru::D_CRendererPosPassThru(const char* objectName, IUnknown* outer, HRESULT* result, IPin* pin)
    : D_CPosPassThru(objectName, outer, result, pin), start_(0), stop_(0), noTimes_(true) {
    InitializeCriticalSection(&lock_);
}

D_CRendererPosPassThru::~D_CRendererPosPassThru() { DeleteCriticalSection(&lock_); }

HRESULT D_CRendererPosPassThru::GetRecordedPosition(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
    if (!start) return E_POINTER;
    D_CAutoLock hold(&lock_);
    if (noTimes_) return E_FAIL;
    HRESULT hr = ConvertTimeFormat(start, nullptr, start_, &TIME_FORMAT_MEDIA_TIME);
    if (SUCCEEDED(hr) && stop) hr = ConvertTimeFormat(stop, nullptr, stop_, &TIME_FORMAT_MEDIA_TIME);
    return hr;
}

HRESULT D_CRendererPosPassThru::RecordSampleTimes(IMediaSample* sample) {
    D_CAutoLock hold(&lock_);
    REFERENCE_TIME start, stop;
    HRESULT hr = sample->GetTime(&start, &stop);
    if (FAILED(hr)) return hr;
    start_ = start, stop_ = stop;
    noTimes_ = false;
    return S_OK;
}

HRESULT D_CRendererPosPassThru::ForgetSampleTimes() {
    D_CAutoLock hold(&lock_);
    start_ = stop_ = 0;
    noTimes_ = true;
    return S_OK;
}

HRESULT D_CRendererPosPassThru::RecordEndOfStreamTimes() {
    {
        D_CAutoLock hold(&lock_);
        if (noTimes_) return E_FAIL;
    }
    REFERENCE_TIME stop = 0;
    HRESULT hr = GetStopPosition(&stop);
    if (SUCCEEDED(hr)) {
        D_CAutoLock hold(&lock_);
        start_ = stop_ = stop;
    }
    return hr;
}
