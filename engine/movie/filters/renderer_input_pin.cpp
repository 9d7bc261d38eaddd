// The renderer's input pin: hands connection, activation, flushing, end of
// stream and samples to its renderer.
#include "engine/movie/filters/renderer.h"

D_CRendererInputPin::D_CRendererInputPin(D_CBaseRenderer* renderer, HRESULT* result, const WCHAR* name)
    : D_CBaseInputPin("Renderer pin", renderer, renderer->InterfaceLock(), result, name), renderer_(renderer) {}

HRESULT D_CRendererInputPin::OnFilterActivate() { return renderer_->OnInputActive(); }

HRESULT D_CRendererInputPin::OnFilterDeactivate() {
    runTimeError_ = false;
    return renderer_->OnInputInactive();
}

HRESULT D_CRendererInputPin::AcceptsMediaType(const AM_MEDIA_TYPE* type) { return renderer_->IsMediaTypeAcceptable(type); }

HRESULT D_CRendererInputPin::ApplyMediaType(const AM_MEDIA_TYPE* type) {
    HRESULT hr = D_CBaseInputPin::ApplyMediaType(type);
    if (FAILED(hr)) return hr;
    return renderer_->ApplyInputMediaType(type);
}

HRESULT D_CRendererInputPin::ReleaseConnection() {
    HRESULT hr = renderer_->OnInputDisconnect();
    if (FAILED(hr)) return hr;
    return D_CBaseInputPin::ReleaseConnection();
}

HRESULT D_CRendererInputPin::FinishConnection(IPin* pin) {
    HRESULT hr = renderer_->OnInputConnected(pin);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT STDMETHODCALLTYPE D_CRendererInputPin::QueryId(LPWSTR* out) {
    if (!out) return E_POINTER;
    return CopyWideStringToTaskMemory(L"In", out);
}

HRESULT STDMETHODCALLTYPE D_CRendererInputPin::EndOfStream() {
    D_CAutoLock hold(renderer_->InterfaceLock());
    D_CAutoLock render(renderer_->RendererLock());
    HRESULT hr = StreamingAllowed();
    if (hr == S_OK) hr = renderer_->HandleInputEndOfStream();
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CRendererInputPin::BeginFlush() {
    D_CAutoLock hold(renderer_->InterfaceLock());
    {
        D_CAutoLock render(renderer_->RendererLock());
        flushing_ = true;
        renderer_->RendererBeginFlush();
    }
    return renderer_->ClearEndOfStream();
}

HRESULT STDMETHODCALLTYPE D_CRendererInputPin::EndFlush() {
    D_CAutoLock hold(renderer_->InterfaceLock());
    D_CAutoLock render(renderer_->RendererLock());
    HRESULT hr = renderer_->RendererEndFlush();
    flushing_ = false;
    runTimeError_ = false;
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CRendererInputPin::Receive(IMediaSample* sample) {
    HRESULT hr = renderer_->RendererReceive(sample);
    if (FAILED(hr)) {
        D_CAutoLock hold(renderer_->InterfaceLock());
        if (!renderer_->IsStopped() && !flushing_ && !renderer_->IsAborted() && !runTimeError_) {
            renderer_->FilterNotifyEvent(EC_ERRORABORT, hr, 0);
            {
                D_CAutoLock render(renderer_->RendererLock());
                if (renderer_->IsStreaming() && !renderer_->IsEndOfStreamDelivered()) renderer_->DeliverEndOfStream();
            }
            runTimeError_ = true;
        }
    }
    return hr;
}
