// Transform filter's input pin.
#include "engine/movie/filters/transform.h"

D_CTransformInputPin::D_CTransformInputPin(const char* objectName, D_CTransformFilter* filter, HRESULT* result,
                                           const WCHAR* name)
    : D_CBaseInputPin(objectName, filter, filter->Lock(), result, name), transform_(filter) {}

HRESULT D_CTransformInputPin::AcceptsMediaType(const AM_MEDIA_TYPE* type) {
    HRESULT hr = transform_->IsInputTypeAcceptable(type);
    if (hr != S_OK) return hr;
    D_CTransformOutputPin* out = transform_->OutputPin();
    if (out && out->IsConnected()) return transform_->IsTransformAcceptable(type, &out->CurrentMediaType());
    return S_OK;
}

HRESULT D_CTransformInputPin::ApplyMediaType(const AM_MEDIA_TYPE* type) {
    HRESULT hr = D_CBasePin::ApplyMediaType(type);
    if (FAILED(hr)) return hr;
    return transform_->ApplyPinMediaType(PINDIR_INPUT, type);
}

HRESULT D_CTransformInputPin::VerifyPeer(IPin* pin) {
    HRESULT hr = transform_->CheckPinConnectionPeer(PINDIR_INPUT, pin);
    if (FAILED(hr)) return hr;
    return D_CBasePin::VerifyPeer(pin);
}

HRESULT D_CTransformInputPin::ReleaseConnection() {
    transform_->OnPinDisconnect(PINDIR_INPUT);
    return D_CBaseInputPin::ReleaseConnection();
}

HRESULT D_CTransformInputPin::FinishConnection(IPin* pin) {
    HRESULT hr = transform_->OnPinConnectComplete(PINDIR_INPUT, pin);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT D_CTransformInputPin::StreamingAllowed() {
    D_CTransformOutputPin* out = transform_->OutputPin();
    if (!out || !out->IsConnected()) return VFW_E_NOT_CONNECTED;
    if (flushing_) return S_FALSE;
    if (transform_->IsStopped()) return VFW_E_WRONG_STATE;
    if (runTimeError_) return VFW_E_RUNTIME_ERROR;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CTransformInputPin::EndOfStream() {
    D_CAutoLock streaming(transform_->ReceiveLock());
    HRESULT hr = StreamingAllowed();
    return hr == S_OK ? transform_->HandleEndOfStream() : hr;
}

HRESULT STDMETHODCALLTYPE D_CTransformInputPin::BeginFlush() {
    D_CAutoLock hold(lock_);
    D_CTransformOutputPin* out = transform_->OutputPin();
    if (!IsConnected() || !out || !out->IsConnected()) return VFW_E_NOT_CONNECTED;
    flushing_ = true;
    return transform_->HandleBeginFlush();
}

HRESULT STDMETHODCALLTYPE D_CTransformInputPin::EndFlush() {
    D_CAutoLock hold(lock_);
    D_CTransformOutputPin* out = transform_->OutputPin();
    if (!IsConnected() || !out || !out->IsConnected()) return VFW_E_NOT_CONNECTED;
    HRESULT hr = transform_->HandleEndFlush();
    flushing_ = false;
    runTimeError_ = false;
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CTransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    D_CBasePin::NewSegment(start, stop, rate);
    return transform_->HandleNewSegment(start, stop, rate);
}

HRESULT STDMETHODCALLTYPE D_CTransformInputPin::QueryId(LPWSTR* out) {
    if (!out) return E_POINTER;
    return CopyWideStringToTaskMemory(L"In", out);
}

HRESULT STDMETHODCALLTYPE D_CTransformInputPin::Receive(IMediaSample* sample) {
    D_CAutoLock streaming(transform_->ReceiveLock());
    HRESULT hr = D_CBaseInputPin::Receive(sample);
    return hr == S_OK ? transform_->ReceiveSample(sample) : hr;
}
