// Sample grabber filter.
#include "engine/movie/filters/sample_grabber.h"
#include <new>

static const CLSID CLSID_EngineSampleGrabber = {0x2FA4F053, 0x6D60, 0x4CB0, {0x95, 0x03, 0x8E, 0x89, 0x23, 0x4F, 0x3F, 0x73}};

D_CSampleGrabber::D_CSampleGrabber(IUnknown* outer, HRESULT* result)
    : D_CTransInPlaceFilter("SampleGrabber", outer, CLSID_EngineSampleGrabber, result, false), callback_(nullptr),
      user_(nullptr), eosPassed_(TRUE) {
    InitializeCriticalSection(&grabberLock_);
    accepted_.majortype = GUID_NULL;
    input_ = new (std::nothrow) D_CSampleGrabberInPin(this, result);
    if (!input_) {
        if (result) *result = E_OUTOFMEMORY;
        return;
    }
    PinAt(1);
    if (!output_ && result) *result = E_OUTOFMEMORY;
}

D_CSampleGrabber::~D_CSampleGrabber() { DeleteCriticalSection(&grabberLock_); }

D_CSampleGrabber* CreateSampleGrabber(IUnknown* outer, HRESULT* result) {
    HRESULT hr = S_OK;
    D_CSampleGrabber* g = new (std::nothrow) D_CSampleGrabber(outer, &hr);
    if (g && FAILED(hr)) {
        delete g;
        g = nullptr;
    } else if (!g) {
        hr = E_OUTOFMEMORY;
    }
    if (result) *result = hr;
    return g;
}

D_CSampleGrabberInPin* D_CSampleGrabber::GrabberInput() const { return static_cast<D_CSampleGrabberInPin*>(input_); }

HRESULT STDMETHODCALLTYPE D_CSampleGrabber::QueryInterfaceInner(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IGrabberControl)) return ReturnInterfaceAddRef(static_cast<IGrabberControl*>(this), out);
    return D_CTransInPlaceFilter::QueryInterfaceInner(iid, out);
}

HRESULT D_CSampleGrabber::IsInputTypeAcceptable(const AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    D_CAutoLock hold(&grabberLock_);
    if (IsEqualGUID(accepted_.majortype, GUID_NULL)) return S_OK;
    if (!IsEqualGUID(accepted_.majortype, type->majortype)) return VFW_E_INVALID_MEDIA_TYPE;
    if (IsEqualGUID(accepted_.subtype, GUID_NULL)) return S_OK;
    if (!IsEqualGUID(accepted_.subtype, type->subtype)) return VFW_E_INVALID_MEDIA_TYPE;
    if (IsEqualGUID(accepted_.formattype, GUID_NULL)) return S_OK;
    return IsEqualGUID(accepted_.formattype, type->formattype) ? S_OK : VFW_E_INVALID_MEDIA_TYPE;
}

HRESULT D_CSampleGrabber::TransformInPlace(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    D_CAutoLock hold(&grabberLock_);
    if (!callback_) return S_OK;
    REFERENCE_TIME start = 0, stop = 0;
    sample->GetTime(&start, &stop);
    start += input_->SegmentStart();
    stop += input_->SegmentStart();
    return callback_(sample, &start, &stop, GrabberInput()->TakeTypeChanged(), user_);
}

HRESULT D_CSampleGrabber::BeginStreaming() {
    eosPassed_.Reset();
    return D_CTransInPlaceFilter::BeginStreaming();
}

HRESULT D_CSampleGrabber::HandleEndOfStream() {
    const HRESULT hr = D_CTransInPlaceFilter::HandleEndOfStream();
    eosPassed_.Set();
    return hr;
}

// A flush takes back the end of stream that came before it.
HRESULT D_CSampleGrabber::HandleBeginFlush() {
    eosPassed_.Reset();
    return D_CTransInPlaceFilter::HandleBeginFlush();
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabber::SetAcceptedMediaType(const AM_MEDIA_TYPE* type) {
    D_CAutoLock hold(&grabberLock_);
    if (!type) {
        FreeMediaTypeContents(&accepted_);
        MediaTypeInit(&accepted_);
        return S_OK;
    }
    return accepted_.Assign(*type);
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabber::GetConnectedMediaType(AM_MEDIA_TYPE* type) {
    if (!input_ || !input_->IsConnected()) return VFW_E_NOT_CONNECTED;
    return input_->ConnectionMediaType(type);
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabber::SetCallback(GrabberSampleCallback callback, void* user) {
    D_CAutoLock hold(&grabberLock_);
    callback_ = callback;
    user_ = user;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabber::SetDeliveryBuffer(ALLOCATOR_PROPERTIES props, BYTE* buffer) {
    if (!input_ || !output_) return E_POINTER;
    if (input_->IsConnected() || output_->IsConnected()) return E_INVALIDARG;
    return GrabberInput()->SetDeliveryBuffer(props, buffer);
}
