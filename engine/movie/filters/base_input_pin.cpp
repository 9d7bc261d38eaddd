// Base input pin: allocator handling and the checks every received sample passes.
#include "engine/movie/filters/base_filter.h"
#include <cstring>
#include "engine/system/entry_points.h"

D_CBaseInputPin::D_CBaseInputPin(const char* objectName, D_CBaseFilter* filter, CRITICAL_SECTION* lock,
                                 HRESULT* result, const WCHAR* name)
    : D_CBasePin(objectName, filter, lock, result, name, PINDIR_INPUT), allocator_(nullptr), readOnly_(false),
      flushing_(false), ownsPropsType_(false) {
    std::memset(&sampleProps_, 0, sizeof sampleProps_);
}

D_CBaseInputPin::~D_CBaseInputPin() {
    if (ownsPropsType_) DeleteMediaType(sampleProps_.pMediaType);
    if (allocator_) allocator_->Release();
}

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::QueryInterfaceInner(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IMemInputPin)) return ReturnInterfaceAddRef(static_cast<IMemInputPin*>(this), out);
    return D_CBasePin::QueryInterfaceInner(iid, out);
}

HRESULT D_CBaseInputPin::OnFilterDeactivate() {
    runTimeError_ = false;
    if (!allocator_) return VFW_E_NO_ALLOCATOR;
    flushing_ = false;
    return allocator_->Decommit();
}

HRESULT D_CBaseInputPin::ReleaseConnection() {
    if (allocator_) {
        HRESULT hr = allocator_->Decommit();
        if (FAILED(hr)) return hr;
        allocator_->Release();
        allocator_ = nullptr;
    }
    return S_OK;
}

HRESULT D_CBaseInputPin::StreamingAllowed() {
    if (filter_->IsStopped()) return VFW_E_WRONG_STATE;
    if (flushing_) return S_FALSE;
    if (runTimeError_) return VFW_E_RUNTIME_ERROR;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::GetAllocator(IMemAllocator** out) {
    if (!out) return E_POINTER;
    D_CAutoLock hold(lock_);
    if (!allocator_) {
        HRESULT hr = WinApi.CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                             (void**)&allocator_);
        if (FAILED(hr)) {
            allocator_ = nullptr;
            return hr;
        }
    }
    *out = allocator_;
    allocator_->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
    if (!allocator) return E_POINTER;
    D_CAutoLock hold(lock_);
    allocator->AddRef();
    if (allocator_) allocator_->Release();
    allocator_ = allocator;
    readOnly_ = readOnly != FALSE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::Receive(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    HRESULT hr = StreamingAllowed();
    if (hr != S_OK) return hr;
    if (ownsPropsType_) DeleteMediaType(sampleProps_.pMediaType);
    ownsPropsType_ = false;
    sampleProps_.pMediaType = nullptr;
    IMediaSample2* sample2 = nullptr;
    if (SUCCEEDED(sample->QueryInterface(IID_IMediaSample2, (void**)&sample2)) && sample2) {
        hr = sample2->GetProperties(sizeof sampleProps_, (BYTE*)&sampleProps_);
        sample2->Release();
        if (FAILED(hr)) return hr;
    } else {
        AM_SAMPLE2_PROPERTIES& p = sampleProps_;
        p.cbData = sizeof p;
        p.dwTypeSpecificFlags = 0;
        p.dwStreamId = 0;
        p.dwSampleFlags = 0;
        if (sample->IsPreroll() == S_OK) p.dwSampleFlags |= AM_SAMPLE_PREROLL;
        if (sample->IsDiscontinuity() == S_OK) p.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
        if (sample->IsSyncPoint() == S_OK) p.dwSampleFlags |= AM_SAMPLE_SPLICEPOINT;
        if (SUCCEEDED(sample->GetTime(&p.tStart, &p.tStop)))
            p.dwSampleFlags |= AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID;
        // A plain sample hands out a copy of its type: it is ours to free.
        if (sample->GetMediaType(&p.pMediaType) == S_OK) p.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
        ownsPropsType_ = p.pMediaType != nullptr;
        sample->GetPointer(&p.pbBuffer);
        p.lActual = sample->GetActualDataLength();
        p.cbBuffer = sample->GetSize();
    }
    if (!(sampleProps_.dwSampleFlags & AM_SAMPLE_TYPECHANGED)) return S_OK;
    if (AcceptsMediaType(sampleProps_.pMediaType) == S_OK) return S_OK;
    runTimeError_ = true;
    EndOfStream();
    filter_->FilterNotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
    return VFW_E_INVALIDMEDIATYPE;
}

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) {
    if (!samples) return E_POINTER;
    LONG done = 0;
    HRESULT hr = S_OK;
    for (LONG i = 0; i < count; ++i) {
        hr = Receive(samples[i]);
        if (hr != S_OK) break;
        ++done;
    }
    if (processed) *processed = done;
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CBaseInputPin::ReceiveCanBlock() {
    int outputsAsked = 0;
    int n = filter_->PinCount();
    for (int i = 0; i < n; ++i) {
        D_CBasePin* pin = filter_->PinAt(i);
        if (!pin) continue;
        PIN_DIRECTION d;
        HRESULT hr = pin->QueryDirection(&d);
        if (FAILED(hr)) return hr;
        if (d != PINDIR_OUTPUT || !pin->GetConnected()) continue;
        ++outputsAsked;
        IMemInputPin* peer = nullptr;
        if (FAILED(pin->GetConnected()->QueryInterface(IID_IMemInputPin, (void**)&peer)) || !peer) return S_OK;
        hr = peer->ReceiveCanBlock();
        peer->Release();
        if (hr != S_FALSE) return S_OK;
    }
    return outputsAsked ? S_FALSE : S_OK;
}

HRESULT D_CBaseInputPin::ForwardQualityNotice(Quality q) {
    if (qualitySink_) return qualitySink_->Notify(filter_->FilterInterface(), q);
    if (!connected_) return VFW_E_NOT_FOUND;
    IQualityControl* qc = nullptr;
    if (FAILED(connected_->QueryInterface(IID_IQualityControl, (void**)&qc)) || !qc) return VFW_E_NOT_FOUND;
    HRESULT hr = qc->Notify(filter_->FilterInterface(), q);
    qc->Release();
    return hr;
}
