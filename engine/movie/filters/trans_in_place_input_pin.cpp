// In-place filter's input pin: hands the downstream allocator upstream.
#include "engine/movie/filters/transform.h"
#include "engine/system/entry_points.h"

D_CTransInPlaceInputPin::D_CTransInPlaceInputPin(const char* objectName, D_CTransInPlaceFilter* filter,
                                                 HRESULT* result, const WCHAR* name)
    : D_CTransformInputPin(objectName, filter, result, name), inPlace_(filter), notifiedReadOnly_(FALSE) {}

HRESULT D_CTransInPlaceInputPin::AcceptsMediaType(const AM_MEDIA_TYPE* type) {
    HRESULT hr = inPlace_->IsInputTypeAcceptable(type);
    if (hr != S_OK) return hr;
    D_CTransformOutputPin* out = inPlace_->OutputPin();
    if (out && out->IsConnected()) return out->GetConnected()->QueryAccept(type);
    return S_OK;
}

HRESULT D_CTransInPlaceInputPin::FinishConnection(IPin* pin) {
    return inPlace_->OnPinConnectComplete(PINDIR_INPUT, pin);
}

HRESULT STDMETHODCALLTYPE D_CTransInPlaceInputPin::EnumMediaTypes(IEnumMediaTypes** out) {
    if (!out) return E_POINTER;
    D_CTransformOutputPin* pin = inPlace_->OutputPin();
    if (!pin || !pin->IsConnected()) {
        *out = nullptr;
        return VFW_E_NOT_CONNECTED;
    }
    return pin->GetConnected()->EnumMediaTypes(out);
}

HRESULT STDMETHODCALLTYPE D_CTransInPlaceInputPin::GetAllocator(IMemAllocator** out) {
    if (!out) return E_POINTER;
    D_CAutoLock hold(lock_);
    D_CTransformOutputPin* pin = inPlace_->OutputPin();
    if (pin && pin->IsConnected()) {
        HRESULT hr = pin->Downstream()->GetAllocator(out);
        if (SUCCEEDED(hr)) pin->AdoptAllocator(*out);
        return hr;
    }
    return D_CBaseInputPin::GetAllocator(out);
}

HRESULT STDMETHODCALLTYPE D_CTransInPlaceInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
    if (!allocator) return E_POINTER;
    D_CAutoLock hold(lock_);
    notifiedReadOnly_ = readOnly;
    D_CTransformOutputPin* pin = inPlace_->OutputPin();
    if (!pin || !pin->IsConnected()) return D_CBaseInputPin::NotifyAllocator(allocator, readOnly);
    HRESULT hr;
    if (!readOnly || !inPlace_->ModifiesData()) {
        hr = pin->Downstream()->NotifyAllocator(allocator, readOnly);
        if (FAILED(hr)) return hr;
        pin->AdoptAllocator(allocator);
    } else {
        // Upstream's buffers may not be written: the output needs a pool of its own.
        IMemAllocator* own = pin->Allocator();
        if (own) own->AddRef();
        if (!own && FAILED(pin->Downstream()->GetAllocator(&own))) own = nullptr;
        if (!own && FAILED(WinApi.CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                                   IID_IMemAllocator, (void**)&own)))
            own = nullptr;
        if (!own) return E_OUTOFMEMORY;
        pin->AdoptAllocator(own);
        own->Release();
        if (own == allocator) return E_FAIL;
        ALLOCATOR_PROPERTIES wanted, granted;
        hr = allocator->GetProperties(&wanted);
        if (SUCCEEDED(hr)) hr = own->SetProperties(&wanted, &granted);
        if (FAILED(hr)) return hr;
        if (granted.cBuffers < wanted.cBuffers || granted.cbBuffer < wanted.cbBuffer || granted.cbAlign < wanted.cbAlign)
            return E_FAIL;
        hr = pin->Downstream()->NotifyAllocator(own, FALSE);
        if (FAILED(hr)) return hr;
    }
    allocator->AddRef();
    if (allocator_) allocator_->Release();
    allocator_ = allocator;
    readOnly_ = readOnly != FALSE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CTransInPlaceInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) {
    D_CTransformOutputPin* pin = inPlace_->OutputPin();
    if (!pin || !pin->IsConnected()) return E_NOTIMPL;
    return pin->Downstream()->GetAllocatorRequirements(props);
}
