// Transform filter: state changes around streaming and the per-sample transform.
#include "engine/movie/filters/transform.h"
#include <new>

D_CTransformFilter::D_CTransformFilter(const char* objectName, IUnknown* outer, REFCLSID clsid)
    : D_CBaseFilter(objectName, outer, &filterLock_, clsid), eosSent_(false), sampleSkipped_(false),
      qualityChanged_(false), input_(nullptr), output_(nullptr) {
    InitializeCriticalSection(&filterLock_);
    InitializeCriticalSection(&receiveLock_);
}

D_CTransformFilter::~D_CTransformFilter() {
    delete input_;
    delete output_;
    DeleteCriticalSection(&receiveLock_);
    DeleteCriticalSection(&filterLock_);
}

D_CTransformInputPin* D_CTransformFilter::NewInputPin(HRESULT* hr) {
    return new (std::nothrow) D_CTransformInputPin("Transform input pin", this, hr, L"XForm In");
}

D_CTransformOutputPin* D_CTransformFilter::NewOutputPin(HRESULT* hr) {
    return new (std::nothrow) D_CTransformOutputPin("Transform output pin", this, hr, L"XForm Out");
}

// Makes whichever pin is still missing: a derived filter may have made its own input.
D_CBasePin* D_CTransformFilter::PinAt(int n) {
    HRESULT hr = S_OK;
    if (!input_) input_ = NewInputPin(&hr);
    if (input_ && !output_) {
        output_ = NewOutputPin(&hr);
        if (!output_) {
            delete input_;
            input_ = nullptr;
        }
    }
    if (n == 0) return input_;
    if (n == 1) return output_;
    return nullptr;
}

HRESULT STDMETHODCALLTYPE D_CTransformFilter::FindPin(LPCWSTR id, IPin** out) {
    if (!out) return E_POINTER;
    D_CBasePin* pin;
    if (id && lstrcmpW(id, L"In") == 0) pin = PinAt(0);
    else if (id && lstrcmpW(id, L"Out") == 0) pin = PinAt(1);
    else {
        *out = nullptr;
        return VFW_E_NOT_FOUND;
    }
    if (!pin) {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
    return ReturnInterfaceAddRef(pin->PinInterface(), (void**)out);
}

HRESULT STDMETHODCALLTYPE D_CTransformFilter::Stop() {
    D_CAutoLock hold(&filterLock_);
    HRESULT hr = S_OK;
    if (state_ != State_Stopped && input_ && input_->IsConnected() && output_ && output_->IsConnected()) {
        // Decommitting the input first frees an upstream thread blocked in GetBuffer,
        // so the receive lock below can be had.
        input_->OnFilterDeactivate();
        D_CAutoLock streaming(&receiveLock_);
        output_->OnFilterDeactivate();
        hr = EndStreaming();
    }
    // Stopped even when the end of streaming failed: a filter that stays running
    // keeps its pins from disconnecting, and its graph could never be released.
    state_ = State_Stopped;
    eosSent_ = false;
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CTransformFilter::Pause() {
    D_CAutoLock hold(&filterLock_);
    HRESULT hr = S_OK;
    if (state_ != State_Paused) {
        if (!input_ || !input_->IsConnected()) {
            if (output_ && !eosSent_) {
                output_->PassEndOfStream();
                eosSent_ = true;
            }
            state_ = State_Paused;
        } else if (!output_ || !output_->IsConnected()) {
            state_ = State_Paused;
        } else {
            if (state_ == State_Stopped) {
                D_CAutoLock streaming(&receiveLock_);
                hr = BeginStreaming();
            }
            if (SUCCEEDED(hr)) hr = D_CBaseFilter::Pause();
        }
    }
    sampleSkipped_ = false;
    qualityChanged_ = false;
    return hr;
}

HRESULT D_CTransformFilter::BeginStreaming() { return S_OK; }
HRESULT D_CTransformFilter::EndStreaming() { return S_OK; }
HRESULT D_CTransformFilter::AdjustQuality(Quality) { return S_FALSE; }
HRESULT D_CTransformFilter::ApplyPinMediaType(PIN_DIRECTION, const AM_MEDIA_TYPE*) { return S_OK; }
HRESULT D_CTransformFilter::CheckPinConnectionPeer(PIN_DIRECTION, IPin*) { return S_OK; }
HRESULT D_CTransformFilter::OnPinDisconnect(PIN_DIRECTION) { return S_OK; }
HRESULT D_CTransformFilter::OnPinConnectComplete(PIN_DIRECTION, IPin*) { return S_OK; }

HRESULT D_CTransformFilter::HandleEndOfStream() { return output_ ? output_->PassEndOfStream() : S_OK; }
HRESULT D_CTransformFilter::HandleBeginFlush() { return output_ ? output_->PassBeginFlush() : S_OK; }
HRESULT D_CTransformFilter::HandleEndFlush() { return output_ ? output_->PassEndFlush() : S_OK; }

HRESULT D_CTransformFilter::HandleNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    return output_ ? output_->PassNewSegment(start, stop, rate) : S_OK;
}

HRESULT D_CTransformFilter::ReceiveSample(IMediaSample* sample) {
    const AM_SAMPLE2_PROPERTIES& in = input_->SampleProps();
    if (in.dwStreamId != 0) return output_->SendSample(sample);
    IMemAllocator* allocator = output_->Allocator();
    if (!allocator) return VFW_E_NO_ALLOCATOR;
    IMediaSample* out = nullptr;
    REFERENCE_TIME start = in.tStart, stop = in.tStop;
    DWORD flags = sampleSkipped_ ? AM_GBF_PREVFRAMESKIPPED : 0;
    if (!(in.dwSampleFlags & AM_SAMPLE_SPLICEPOINT)) flags |= AM_GBF_NOTASYNCPOINT;
    HRESULT hr = allocator->GetBuffer(&out, (in.dwSampleFlags & AM_SAMPLE_TIMEVALID) ? &start : nullptr,
                                      (in.dwSampleFlags & AM_SAMPLE_STOPVALID) ? &stop : nullptr, flags);
    if (FAILED(hr)) return hr;
    IMediaSample2* out2 = nullptr;
    if (SUCCEEDED(out->QueryInterface(IID_IMediaSample2, (void**)&out2)) && out2) {
        AM_SAMPLE2_PROPERTIES p;
        hr = out2->GetProperties(16, (BYTE*)&p);
        if (SUCCEEDED(hr)) {
            p.dwTypeSpecificFlags = in.dwTypeSpecificFlags;
            p.dwSampleFlags = (in.dwSampleFlags & ~AM_SAMPLE_TYPECHANGED) | (p.dwSampleFlags & AM_SAMPLE_TYPECHANGED);
            p.tStart = in.tStart;
            p.tStop = in.tStop;
            p.cbData = 32;
            hr = out2->SetProperties(32, (BYTE*)&p);
        }
        out2->Release();
        if (in.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) sampleSkipped_ = false;
    } else {
        if (in.dwSampleFlags & AM_SAMPLE_TIMEVALID) out->SetTime(&start, &stop);
        if (in.dwSampleFlags & AM_SAMPLE_SPLICEPOINT) out->SetSyncPoint(TRUE);
        if (in.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) {
            out->SetDiscontinuity(TRUE);
            sampleSkipped_ = false;
        }
        LONGLONG mStart, mStop;
        if (sample->GetMediaTime(&mStart, &mStop) == S_OK) out->SetMediaTime(&mStart, &mStop);
    }
    if (SUCCEEDED(hr)) hr = TransformSample(sample, out);
    if (hr == S_OK) {
        hr = output_->SendSample(out);
        sampleSkipped_ = false;
    } else if (hr == S_FALSE) {
        sampleSkipped_ = true;
        if (!qualityChanged_) {
            FilterNotifyEvent(EC_QUALITY_CHANGE, 0, 0);
            qualityChanged_ = true;
        }
        hr = S_OK;
    }
    out->Release();
    return hr;
}
