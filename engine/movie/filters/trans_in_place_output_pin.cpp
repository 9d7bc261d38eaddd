// In-place filter's output pin: offers and accepts what upstream does.
#include "engine/movie/filters/transform.h"

D_CTransInPlaceOutputPin::D_CTransInPlaceOutputPin(const char* objectName, D_CTransInPlaceFilter* filter,
                                                   HRESULT* result, const WCHAR* name)
    : D_CTransformOutputPin(objectName, filter, result, name), inPlace_(filter) {}

HRESULT STDMETHODCALLTYPE D_CTransInPlaceOutputPin::EnumMediaTypes(IEnumMediaTypes** out) {
    if (!out) return E_POINTER;
    D_CTransformInputPin* pin = inPlace_->InputPin();
    if (!pin || !pin->IsConnected()) {
        *out = nullptr;
        return VFW_E_NOT_CONNECTED;
    }
    return pin->GetConnected()->EnumMediaTypes(out);
}

HRESULT D_CTransInPlaceOutputPin::AcceptsMediaType(const AM_MEDIA_TYPE* type) {
    D_CTransformInputPin* in = inPlace_->InputPin();
    // While streaming with separate pools, only the type in use can stand.
    if (!inPlace_->IsStopped() && in && in->Allocator() != allocator_)
        return mt_ == *type ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT hr = inPlace_->IsInputTypeAcceptable(type);
    if (hr != S_OK) return hr;
    if (in && in->IsConnected()) return in->GetConnected()->QueryAccept(type);
    return S_OK;
}

HRESULT D_CTransInPlaceOutputPin::FinishConnection(IPin* pin) {
    HRESULT hr = D_CBaseOutputPin::FinishConnection(pin);
    if (FAILED(hr)) return hr;
    return inPlace_->OnPinConnectComplete(PINDIR_OUTPUT, pin);
}
