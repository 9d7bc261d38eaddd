// Output pin: allocator negotiation and delivery downstream.
#include "engine/movie/filters/transform.h"
#include "engine/system/entry_points.h"

D_CBaseOutputPin::D_CBaseOutputPin(const char* objectName, D_CBaseFilter* filter, CRITICAL_SECTION* lock,
                                   HRESULT* result, const WCHAR* name)
    : D_CBasePin(objectName, filter, lock, result, name, PINDIR_OUTPUT), allocator_(nullptr), downstream_(nullptr) {}

D_CBaseOutputPin::~D_CBaseOutputPin() {
    if (allocator_) allocator_->Release();
    if (downstream_) downstream_->Release();
}

HRESULT D_CBaseOutputPin::OnFilterActivate() { return allocator_ ? allocator_->Commit() : VFW_E_NO_ALLOCATOR; }

HRESULT D_CBaseOutputPin::OnFilterDeactivate() {
    runTimeError_ = false;
    return allocator_ ? allocator_->Decommit() : VFW_E_NO_ALLOCATOR;
}

HRESULT D_CBaseOutputPin::VerifyPeer(IPin* pin) {
    HRESULT hr = CheckConnectDirection(pin);
    if (FAILED(hr)) return hr;
    if (downstream_) {
        downstream_->Release();
        downstream_ = nullptr;
    }
    hr = pin->QueryInterface(IID_IMemInputPin, (void**)&downstream_);
    if (FAILED(hr)) downstream_ = nullptr;
    return hr;
}

HRESULT D_CBaseOutputPin::ReleaseConnection() {
    if (allocator_) {
        HRESULT hr = allocator_->Decommit();
        if (FAILED(hr)) return hr;
        allocator_->Release();
        allocator_ = nullptr;
    }
    if (downstream_) {
        downstream_->Release();
        downstream_ = nullptr;
    }
    return S_OK;
}

HRESULT D_CBaseOutputPin::FinishConnection(IPin*) { return ChooseAllocator(downstream_, &allocator_); }

void D_CBaseOutputPin::AdoptAllocator(IMemAllocator* allocator) {
    if (allocator) allocator->AddRef();
    if (allocator_) allocator_->Release();
    allocator_ = allocator;
}

HRESULT D_CBaseOutputPin::ChooseAllocator(IMemInputPin* downstream, IMemAllocator** allocator) {
    if (!downstream) return E_POINTER;
    ALLOCATOR_PROPERTIES request = {};
    if (*allocator) {
        (*allocator)->Release();
        *allocator = nullptr;
    }
    downstream->GetAllocatorRequirements(&request);
    if (request.cbAlign == 0) request.cbAlign = 1;
    HRESULT hr = downstream->GetAllocator(allocator);
    if (SUCCEEDED(hr)) {
        hr = SizeBuffers(*allocator, &request);
        if (SUCCEEDED(hr)) hr = downstream->NotifyAllocator(*allocator, FALSE);
        if (SUCCEEDED(hr)) return S_OK;
    }
    if (*allocator) {
        (*allocator)->Release();
        *allocator = nullptr;
    }
    hr = MakeDefaultAllocator(allocator);
    if (SUCCEEDED(hr)) hr = SizeBuffers(*allocator, &request);
    if (SUCCEEDED(hr)) hr = downstream->NotifyAllocator(*allocator, FALSE);
    if (SUCCEEDED(hr)) return S_OK;
    if (*allocator) {
        (*allocator)->Release();
        *allocator = nullptr;
    }
    return hr;
}

HRESULT D_CBaseOutputPin::AcquireBuffer(IMediaSample** out, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                        DWORD flags) {
    if (!allocator_) return E_NOINTERFACE;
    return allocator_->GetBuffer(out, start, stop, flags);
}

HRESULT D_CBaseOutputPin::SendSample(IMediaSample* sample) {
    if (!downstream_) return VFW_E_NOT_CONNECTED;
    return downstream_->Receive(sample);
}

HRESULT D_CBaseOutputPin::MakeDefaultAllocator(IMemAllocator** out) {
    HRESULT hr = WinApi.CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                         (void**)out);
    if (FAILED(hr)) *out = nullptr;
    return hr;
}

HRESULT D_CBaseOutputPin::PassEndOfStream() { return connected_ ? connected_->EndOfStream() : VFW_E_NOT_CONNECTED; }
HRESULT D_CBaseOutputPin::PassBeginFlush() { return connected_ ? connected_->BeginFlush() : VFW_E_NOT_CONNECTED; }
HRESULT D_CBaseOutputPin::PassEndFlush() { return connected_ ? connected_->EndFlush() : VFW_E_NOT_CONNECTED; }

HRESULT D_CBaseOutputPin::PassNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    return connected_ ? connected_->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}

HRESULT STDMETHODCALLTYPE D_CBaseOutputPin::Notify(IBaseFilter*, Quality) { return E_NOTIMPL; }
