// Transform filter's output pin, with seeking passed upstream.
#include "engine/movie/filters/transform.h"
#include "engine/system/entry_points.h"

D_CTransformOutputPin::D_CTransformOutputPin(const char* objectName, D_CTransformFilter* filter, HRESULT* result,
                                             const WCHAR* name)
    : D_CBaseOutputPin(objectName, filter, filter->Lock(), result, name), transform_(filter), seeking_(nullptr) {}

D_CTransformOutputPin::~D_CTransformOutputPin() {
    if (seeking_) seeking_->Release();
}

HRESULT STDMETHODCALLTYPE D_CTransformOutputPin::QueryInterfaceInner(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IMediaSeeking) || IsEqualIID(iid, IID_IMediaPosition)) {
        if (!seeking_) {
            IUnknown* inner = nullptr;
            HRESULT hr = WinApi.CoCreateInstance(CLSID_SeekingPassThru, GetOwner(), CLSCTX_INPROC_SERVER,
                                                 IID_IUnknown, (void**)&inner);
            if (FAILED(hr)) {
                *out = nullptr;
                return hr;
            }
            ISeekingPassThru* pass = nullptr;
            hr = inner->QueryInterface(IID_ISeekingPassThru, (void**)&pass);
            if (SUCCEEDED(hr)) {
                hr = pass->Init(FALSE, transform_->InputPin()->PinInterface());
                pass->Release();
            }
            if (FAILED(hr)) {
                inner->Release();
                *out = nullptr;
                return hr;
            }
            seeking_ = inner;
        }
        return seeking_->QueryInterface(iid, out);
    }
    return D_CBaseOutputPin::QueryInterfaceInner(iid, out);
}

HRESULT D_CTransformOutputPin::AcceptsMediaType(const AM_MEDIA_TYPE* type) {
    D_CTransformInputPin* in = transform_->InputPin();
    if (!in || !in->IsConnected()) return E_INVALIDARG;
    return transform_->IsTransformAcceptable(&in->CurrentMediaType(), type);
}

HRESULT D_CTransformOutputPin::ApplyMediaType(const AM_MEDIA_TYPE* type) {
    HRESULT hr = D_CBasePin::ApplyMediaType(type);
    if (FAILED(hr)) return hr;
    return transform_->ApplyPinMediaType(PINDIR_OUTPUT, type);
}

HRESULT D_CTransformOutputPin::VerifyPeer(IPin* pin) {
    D_CTransformInputPin* in = transform_->InputPin();
    if (!in || !in->IsConnected()) return E_UNEXPECTED;
    HRESULT hr = transform_->CheckPinConnectionPeer(PINDIR_OUTPUT, pin);
    if (FAILED(hr)) return hr;
    return D_CBaseOutputPin::VerifyPeer(pin);
}

HRESULT D_CTransformOutputPin::ReleaseConnection() {
    transform_->OnPinDisconnect(PINDIR_OUTPUT);
    return D_CBaseOutputPin::ReleaseConnection();
}

HRESULT D_CTransformOutputPin::FinishConnection(IPin* pin) {
    HRESULT hr = transform_->OnPinConnectComplete(PINDIR_OUTPUT, pin);
    if (FAILED(hr)) return hr;
    return D_CBaseOutputPin::FinishConnection(pin);
}

HRESULT D_CTransformOutputPin::OfferedMediaType(int position, D_CMediaType* type) {
    D_CTransformInputPin* in = transform_->InputPin();
    if (!in || !in->IsConnected()) return VFW_S_NO_MORE_ITEMS;
    return transform_->GetOfferedMediaType(position, type);
}

HRESULT D_CTransformOutputPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    return transform_->SetBufferRequirements(allocator, request);
}

HRESULT STDMETHODCALLTYPE D_CTransformOutputPin::QueryId(LPWSTR* out) {
    if (!out) return E_POINTER;
    return CopyWideStringToTaskMemory(L"Out", out);
}

HRESULT STDMETHODCALLTYPE D_CTransformOutputPin::Notify(IBaseFilter*, Quality q) {
    HRESULT hr = transform_->AdjustQuality(q);
    if (hr != S_FALSE) return hr;
    return transform_->InputPin()->ForwardQualityNotice(q);
}
