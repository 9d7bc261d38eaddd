// Renderer base: one input pin, a held sample shown at its presentation time
// against the graph's clock, state changes that complete with the first
// sample, and end of stream delivered when the last sample's time is reached.
#include <new>

#include "engine/movie/filters/renderer.h"
#include "engine/system/entry_points.h"

D_CBaseRenderer::D_CBaseRenderer(REFCLSID clsid, const char* objectName, IUnknown* outer, HRESULT* result)
    : D_CBaseFilter(objectName, outer, &interfaceLock_, clsid), position_(nullptr), renderEvent_(FALSE),
      abortEvent_(TRUE), completeEvent_(TRUE), abort_(false), streaming_(false), adviseCookie_(0),
      heldSample_(nullptr), endOfStream_(false), endOfStreamDelivered_(false), inputPin_(nullptr),
      qualitySink_(nullptr), qualitySinkAsked_(false), inReceive_(0), signalTime_(0), endOfStreamTimer_(0) {
    (void)result;
    InitializeCriticalSection(&interfaceLock_);
    InitializeCriticalSection(&rendererLock_);
    InitializeCriticalSection(&creationLock_);
    completeEvent_.Set();
}

D_CBaseRenderer::~D_CBaseRenderer() {
    StopRendering();
    KillEndOfStreamTimer();
    DropHeldSample();
    if (qualitySink_ && qualitySinkAsked_) qualitySink_->Release();
    delete position_;
    delete inputPin_;
    DeleteCriticalSection(&creationLock_);
    DeleteCriticalSection(&rendererLock_);
    DeleteCriticalSection(&interfaceLock_);
}

HRESULT STDMETHODCALLTYPE D_CBaseRenderer::QueryInterfaceInner(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IMediaPosition) || IsEqualIID(iid, IID_IMediaSeeking)) return GetRendererPosition(iid, out);
    return D_CBaseFilter::QueryInterfaceInner(iid, out);
}

D_CRendererInputPin* D_CBaseRenderer::InputPin() {
    D_CAutoLock hold(&creationLock_);
    if (inputPin_) return inputPin_;
    HRESULT hr = S_OK;
    inputPin_ = new (std::nothrow) D_CRendererInputPin(this, &hr, L"In");
    if (inputPin_ && FAILED(hr)) {
        delete inputPin_;
        inputPin_ = nullptr;
    }
    return inputPin_;
}

D_CBasePin* D_CBaseRenderer::PinAt(int n) { return n == 0 ? InputPin() : nullptr; }

HRESULT D_CBaseRenderer::GetRendererPosition(REFIID iid, void** out) {
    D_CAutoLock hold(&creationLock_);
    if (!position_) {
        D_CRendererInputPin* pin = InputPin();  // the lock is recursive
        HRESULT hr = S_OK;
        position_ = new (std::nothrow)
            D_CRendererPosPassThru("Renderer D_CPosPassThru", GetOwner(), &hr, pin ? pin->PinInterface() : nullptr);
        if (!position_) return E_OUTOFMEMORY;
        if (FAILED(hr)) {
            delete position_;
            position_ = nullptr;
            return E_NOINTERFACE;
        }
    }
    return position_->QueryInterfaceInner(iid, out);
}

HRESULT D_CBaseRenderer::SetWaitAllowed(bool allowed) {
    if (allowed) abortEvent_.Reset();
    else abortEvent_.Set();
    return S_OK;
}

HRESULT D_CBaseRenderer::WaitUntilDue() {
    OnWaitBegin();
    HANDLE handles[2] = {abortEvent_.Handle(), renderEvent_.Handle()};
    DWORD r;
    do r = WaitForMultipleObjects(2, handles, FALSE, 10000);
    while (r == WAIT_TIMEOUT);
    OnWaitFinish();
    if (r == WAIT_OBJECT_0) return VFW_E_STATE_CHANGED;
    adviseCookie_ = 0;
    return S_OK;
}

HRESULT D_CBaseRenderer::FinishStateChange(FILTER_STATE old_state) {
    D_CRendererInputPin* pin = InputPin();
    if (!pin || !pin->IsConnected() || endOfStream_) {
        completeEvent_.Set();
        return S_OK;
    }
    if (HasHeldSample() && old_state != State_Stopped) {
        completeEvent_.Set();
        return S_OK;
    }
    completeEvent_.Reset();
    return S_FALSE;
}

HRESULT D_CBaseRenderer::ReadSampleTimes(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop) {
    if (FAILED(sample->GetTime(start, stop))) return S_OK;
    if (*stop < *start) return VFW_E_START_TIME_AFTER_END;
    if (!clock_) return S_OK;
    return DrawNowDecision(sample, start, stop);
}

bool D_CBaseRenderer::ScheduleRender(IMediaSample* sample) {
    if (!sample) return false;
    REFERENCE_TIME start = 0, stop = 0;
    HRESULT hr = ReadSampleTimes(sample, &start, &stop);
    if (FAILED(hr)) return false;
    if (hr == S_OK) {
        renderEvent_.Set();
        return true;
    }
    if (!clock_) return false;
    hr = clock_->AdviseTime(startTime_, start, (HEVENT)renderEvent_.Handle(), &adviseCookie_);
    return SUCCEEDED(hr);
}

void CALLBACK D_CBaseRenderer::EndOfStreamTimerCallback(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    D_CBaseRenderer* r = (D_CBaseRenderer*)user;
    D_CAutoLock hold(&r->rendererLock_);
    r->endOfStreamTimer_ = 0;
    r->SignalEndOfStream();
}

HRESULT D_CBaseRenderer::DeliverEndOfStream() {
    D_CAutoLock hold(&rendererLock_);
    if (!streaming_) return S_OK;
    endOfStreamTimer_ = 0;
    if (position_) position_->RecordEndOfStreamTimes();
    endOfStreamDelivered_ = true;
    return FilterNotifyEvent(EC_COMPLETE, S_OK, 0);
}

HRESULT D_CBaseRenderer::SignalEndOfStream() {
    D_CAutoLock hold(&rendererLock_);
    if (!endOfStream_ || endOfStreamDelivered_ || endOfStreamTimer_) return S_OK;
    if (!clock_) return DeliverEndOfStream();
    REFERENCE_TIME now = 0;
    clock_->GetTime(&now);
    LONGLONG delay = (startTime_ + signalTime_ - now) / 10000;
    if (delay < 50) return DeliverEndOfStream();
    endOfStreamTimer_ = WinApi.timeSetEvent((UINT)delay, 10, (LPTIMECALLBACK)EndOfStreamTimerCallback,
                                            (DWORD_PTR)this, 0);
    if (!endOfStreamTimer_) return DeliverEndOfStream();
    return S_OK;
}

void D_CBaseRenderer::KillEndOfStreamTimer() {
    UINT timer;
    {
        D_CAutoLock hold(&rendererLock_);
        timer = endOfStreamTimer_;
        endOfStreamTimer_ = 0;
    }
    if (timer) WinApi.timeKillEvent(timer);
}

HRESULT D_CBaseRenderer::ClearEndOfStream() {
    KillEndOfStreamTimer();
    D_CAutoLock hold(&rendererLock_);
    signalTime_ = 0;
    endOfStream_ = false;
    endOfStreamDelivered_ = false;
    return S_OK;
}

HRESULT D_CBaseRenderer::HandleInputEndOfStream() {
    if (state_ == State_Stopped) return S_OK;
    endOfStream_ = true;
    if (heldSample_) return S_OK;
    completeEvent_.Set();
    if (streaming_) SignalEndOfStream();
    return S_OK;
}

bool D_CBaseRenderer::CancelClockAdvise() {
    bool none = adviseCookie_ == 0;
    if (!none && clock_) clock_->Unadvise(adviseCookie_);
    adviseCookie_ = 0;
    renderEvent_.Reset();
    return none;
}

HRESULT D_CBaseRenderer::DropHeldSample() {
    D_CAutoLock hold(&rendererLock_);
    if (heldSample_) heldSample_->Release();
    heldSample_ = nullptr;
    return S_OK;
}

HRESULT D_CBaseRenderer::OnInputInactive() {
    if (position_) position_->ForgetSampleTimes();
    DropHeldSample();
    return S_OK;
}

HRESULT D_CBaseRenderer::StartRendering() {
    D_CAutoLock hold(&rendererLock_);
    if (!streaming_) {
        streaming_ = true;
        WinApi.timeBeginPeriod(1);
        OnStreamingStart();
    }
    if (!heldSample_) return SignalEndOfStream();
    if (!ScheduleRender(heldSample_)) renderEvent_.Set();
    return S_OK;
}

HRESULT D_CBaseRenderer::StopRendering() {
    D_CAutoLock hold(&rendererLock_);
    endOfStreamDelivered_ = false;
    if (streaming_) {
        streaming_ = false;
        OnStreamingStop();
        WinApi.timeEndPeriod(1);
    }
    return S_OK;
}

void D_CBaseRenderer::WaitForReceiveToComplete() {
    while (inReceive_) {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        Sleep(1);
    }
    // A message peeked here may have been the one a sent-message wait needs woken.
    if (HIWORD(GetQueueStatus(QS_POSTMESSAGE)) & QS_POSTMESSAGE) PostThreadMessageA(GetCurrentThreadId(), 0, 0, 0);
}

HRESULT D_CBaseRenderer::RendererBeginFlush() {
    if (state_ == State_Paused) completeEvent_.Reset();
    SetWaitAllowed(false);
    CancelClockAdvise();
    DropHeldSample();
    WaitForReceiveToComplete();
    return S_OK;
}

HRESULT D_CBaseRenderer::RendererEndFlush() {
    if (position_) position_->ForgetSampleTimes();
    SetWaitAllowed(true);
    return S_OK;
}

HRESULT D_CBaseRenderer::OnInputDisconnect() {
    if (qualitySink_ && qualitySinkAsked_) qualitySink_->Release();
    qualitySink_ = nullptr;
    qualitySinkAsked_ = false;
    D_CRendererInputPin* pin = InputPin();
    if (!pin || !pin->IsConnected()) return S_FALSE;
    if (state_ != State_Stopped && !pin->MayReconnectWhenActive()) return VFW_E_NOT_STOPPED;
    ClearEndOfStream();
    DropHeldSample();
    abort_ = false;
    if (state_ == State_Running) StopRendering();
    return S_OK;
}

HRESULT D_CBaseRenderer::OnInputConnected(IPin*) {
    abort_ = false;
    if (state_ == State_Running) {
        HRESULT hr = StartRendering();
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT D_CBaseRenderer::AcceptSample(IMediaSample* sample) {
    D_CAutoLock hold(&interfaceLock_);
    inReceive_ = 1;
    D_CRendererInputPin* pin = InputPin();
    if (pin->BaseReceive(sample) != S_OK) {
        inReceive_ = 0;
        return E_FAIL;
    }
    const AM_SAMPLE2_PROPERTIES& props = pin->SampleProps();
    if (props.dwSampleFlags & AM_SAMPLE_TYPECHANGED) {
        HRESULT hr = pin->ApplyMediaType(props.pMediaType);
        if (FAILED(hr)) {
            inReceive_ = 0;
            return hr;
        }
    }
    D_CAutoLock render(&rendererLock_);
    if (heldSample_ || endOfStream_ || abort_) {
        completeEvent_.Set();
        inReceive_ = 0;
        return E_UNEXPECTED;
    }
    if (position_) position_->RecordSampleTimes(sample);
    if (streaming_ && !ScheduleRender(sample)) {
        inReceive_ = 0;
        return VFW_E_SAMPLE_REJECTED;
    }
    signalTime_ = props.tStop;
    heldSample_ = sample;
    heldSample_->AddRef();
    return S_OK;
}

HRESULT D_CBaseRenderer::RendererReceive(IMediaSample* sample) {
    HRESULT hr = AcceptSample(sample);
    if (FAILED(hr)) return hr == VFW_E_SAMPLE_REJECTED ? S_OK : hr;
    if (state_ == State_Paused) {
        BeforeRender();
        inReceive_ = 0;
        {
            D_CAutoLock hold(&interfaceLock_);
            if (state_ == State_Stopped) return S_OK;
            inReceive_ = 1;
            D_CAutoLock render(&rendererLock_);
            OnFirstSample(sample);
        }
        completeEvent_.Set();
    }
    if (SUCCEEDED(WaitUntilDue())) {
        BeforeRender();
        inReceive_ = 0;
        D_CAutoLock hold(&interfaceLock_);
        if (state_ != State_Stopped) {
            D_CAutoLock render(&rendererLock_);
            RenderHeldSample(heldSample_);
            DropHeldSample();
            SignalEndOfStream();
            CancelClockAdvise();
        }
    } else {
        inReceive_ = 0;
    }
    return S_OK;
}

bool D_CBaseRenderer::HasHeldSample() {
    D_CAutoLock hold(&rendererLock_);
    return heldSample_ != nullptr;
}

IMediaSample* D_CBaseRenderer::GetHeldSample() {
    D_CAutoLock hold(&rendererLock_);
    if (heldSample_) heldSample_->AddRef();
    return heldSample_;
}

HRESULT D_CBaseRenderer::RenderHeldSample(IMediaSample* sample) {
    if (!sample || !streaming_) return S_FALSE;
    OnRenderBegin(sample);
    DrawSample(sample);
    OnRenderFinish(sample);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseRenderer::Stop() {
    D_CAutoLock hold(&interfaceLock_);
    if (state_ == State_Stopped) return S_OK;
    D_CRendererInputPin* pin = InputPin();
    if (!pin || !pin->IsConnected()) {
        state_ = State_Stopped;
        return S_OK;
    }
    D_CBaseFilter::Stop();
    if (pin->CurrentAllocator()) pin->CurrentAllocator()->Decommit();
    StopRendering();
    SetWaitAllowed(false);
    ClearEndOfStream();
    CancelClockAdvise();
    completeEvent_.Set();
    WaitForReceiveToComplete();
    abort_ = false;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseRenderer::Pause() {
    D_CAutoLock hold(&interfaceLock_);
    FILTER_STATE old = state_;
    if (old == State_Paused) return FinishStateChange(State_Paused);
    D_CRendererInputPin* pin = InputPin();
    if (!pin || !pin->IsConnected()) {
        state_ = State_Paused;
        return FinishStateChange(State_Paused);
    }
    HRESULT hr = D_CBaseFilter::Pause();
    if (FAILED(hr)) return hr;
    StopRendering();
    SetWaitAllowed(true);
    CancelClockAdvise();
    KillEndOfStreamTimer();
    if (pin->CurrentAllocator()) pin->CurrentAllocator()->Commit();
    if (old == State_Stopped) {
        abort_ = false;
        DropHeldSample();
    }
    return FinishStateChange(old);
}

HRESULT STDMETHODCALLTYPE D_CBaseRenderer::Run(REFERENCE_TIME start) {
    D_CAutoLock hold(&interfaceLock_);
    FILTER_STATE old = state_;
    if (old == State_Running) return S_OK;
    D_CRendererInputPin* pin = InputPin();
    if (!pin || !pin->IsConnected()) {
        FilterNotifyEvent(EC_COMPLETE, S_OK, 0);
        state_ = State_Running;
        return S_OK;
    }
    completeEvent_.Set();
    HRESULT hr = D_CBaseFilter::Run(start);
    if (FAILED(hr)) return hr;
    SetWaitAllowed(true);
    if (pin->CurrentAllocator()) pin->CurrentAllocator()->Commit();
    if (old == State_Stopped) {
        abort_ = false;
        DropHeldSample();
    }
    return StartRendering();
}

HRESULT STDMETHODCALLTYPE D_CBaseRenderer::GetState(DWORD timeout, FILTER_STATE* out) {
    if (!out) return E_POINTER;
    DWORD r = WaitDispatchingMessages(completeEvent_.Handle(), timeout, nullptr, 0, nullptr);
    *out = state_;
    return r == WAIT_TIMEOUT ? VFW_S_STATE_INTERMEDIATE : S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseRenderer::FindPin(LPCWSTR id, IPin** out) {
    if (!out) return E_POINTER;
    if (!id || lstrcmpW(id, L"In") != 0) {
        *out = nullptr;
        return VFW_E_NOT_FOUND;
    }
    D_CRendererInputPin* pin = InputPin();
    if (!pin) {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
    return ReturnInterfaceAddRef(pin->PinInterface(), (void**)out);
}
