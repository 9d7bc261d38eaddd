// The sample grabber's private allocator: one sample over the caller's buffer.
#include "engine/movie/filters/sample_grabber.h"

D_CSampleGrabberAllocator::D_CSampleGrabberAllocator(D_CSampleGrabberInPin* owner, HRESULT* result)
    : D_CMemAllocator("SampleGrabberAllocator", nullptr, result), owner_(owner) {}

// The block is the caller's: forget it before the base would release it.
D_CSampleGrabberAllocator::~D_CSampleGrabberAllocator() {
    Decommit();
    while (D_CMediaSample* s = PopFree()) delete s;
    allocated_ = 0;
    block_ = nullptr;
}

HRESULT STDMETHODCALLTYPE D_CSampleGrabberAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                                                   ALLOCATOR_PROPERTIES* actual) {
    if (!request || !actual) return E_POINTER;
    D_CAutoLock hold(&lock_);
    if (!owner_) return E_UNEXPECTED;
    // Checked before anything is stored: a refused request keeps the last accepted properties.
    ALLOCATOR_PROPERTIES d = owner_->DeliveryProps();
    if (request->cbAlign != d.cbAlign) return VFW_E_BADALIGN;
    if (request->cbPrefix != d.cbPrefix || request->cbBuffer > d.cbBuffer || request->cBuffers > d.cBuffers)
        return E_FAIL;
    HRESULT hr = D_CMemAllocator::SetProperties(&d, actual);
    if (FAILED(hr)) return hr;
    *actual = d;
    count_ = d.cBuffers;
    size_ = d.cbBuffer;
    alignment_ = d.cbAlign;
    prefix_ = d.cbPrefix;
    return S_OK;
}

HRESULT D_CSampleGrabberAllocator::AllocateBuffers() {
    D_CAutoLock hold(&lock_);
    if (count_ < 1 || size_ < 1 || alignment_ < 1) return VFW_E_SIZENOTSET;
    if (!changed_) return S_OK;
    while (D_CMediaSample* s = PopFree()) delete s;
    allocated_ = 0;
    LONG stride = SampleStride();
    if (stride < 0) return E_OUTOFMEMORY;
    block_ = owner_ ? owner_->DeliveryBuffer() : nullptr;
    if (!block_) return E_OUTOFMEMORY;
    HRESULT hr = MakeSamples(block_, stride);
    if (FAILED(hr)) return hr;
    changed_ = FALSE;
    return S_OK;
}

void D_CSampleGrabberAllocator::DetachOwner() {
    D_CAutoLock hold(&lock_);
    owner_ = nullptr;
}
