// Sample grabber's input pin: type offers, and the private allocator over a
// delivery buffer.
#include "engine/movie/filters/sample_grabber.h"
#include <new>

D_CSampleGrabberInPin::D_CSampleGrabberInPin(D_CSampleGrabber* filter, HRESULT* result)
    : D_CTransInPlaceInputPin("SampleGrabberInputPin", filter, result, L"Input"), grabber_(filter), private_(nullptr),
      deliveryProps_(), deliveryBuffer_(nullptr), typeChanged_(FALSE) {}

D_CSampleGrabberInPin::~D_CSampleGrabberInPin() { DropPrivateAllocator(); }

// Upstream may still hold the allocator: it is cut off from this pin's buffer
// before our reference goes, never deleted here.
void D_CSampleGrabberInPin::DropPrivateAllocator() {
    if (!private_) return;
    private_->DetachOwner();
    private_->AllocatorInterface()->Release();
    private_ = nullptr;
}

HRESULT D_CSampleGrabberInPin::ApplyMediaType(const AM_MEDIA_TYPE* type) {
    typeChanged_ = TRUE;
    return D_CTransInPlaceInputPin::ApplyMediaType(type);
}

HRESULT D_CSampleGrabberInPin::OfferedMediaType(int position, D_CMediaType* type) {
    if (!type) return E_POINTER;
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    FreeMediaTypeContents(type);
    MediaTypeInit(type);
    type->majortype = grabber_->AcceptedType().majortype;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabberInPin::EnumMediaTypes(IEnumMediaTypes** out) {
    if (!out) return E_POINTER;
    D_CTransformOutputPin* pin = grabber_->OutputPin();
    if (pin && pin->IsConnected()) return pin->GetConnected()->EnumMediaTypes(out);
    *out = new (std::nothrow) D_CEnumMediaTypes(this, nullptr);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabberInPin::GetAllocator(IMemAllocator** out) {
    if (!private_) return D_CTransInPlaceInputPin::GetAllocator(out);
    if (!out) return E_POINTER;
    *out = private_->AllocatorInterface();
    (*out)->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabberInPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
    if (private_) {
        if (allocator != private_->AllocatorInterface()) return E_FAIL;
        if (readOnly && grabber_->ModifiesData()) return E_FAIL;
    }
    return D_CTransInPlaceInputPin::NotifyAllocator(allocator, readOnly);
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabberInPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) {
    if (!private_) return D_CTransInPlaceInputPin::GetAllocatorRequirements(props);
    if (!props) return E_POINTER;
    *props = deliveryProps_;
    return S_OK;
}

HRESULT D_CSampleGrabberInPin::SetDeliveryBuffer(ALLOCATOR_PROPERTIES props, BYTE* buffer) {
    if (props.cBuffers != 1) return E_INVALIDARG;
    if (!buffer) return E_POINTER;
    deliveryProps_ = props;
    deliveryBuffer_ = buffer;
    DropPrivateAllocator();
    HRESULT hr = S_OK;
    private_ = new (std::nothrow) D_CSampleGrabberAllocator(this, &hr);
    if (!private_) return E_OUTOFMEMORY;
    private_->AllocatorInterface()->AddRef();
    return hr;
}
