// Memory allocator: every sample of the pool in one VirtualAlloc block.
#include "engine/movie/filters/allocator.h"
#include <new>

D_CMemAllocator::D_CMemAllocator(const char* objectName, IUnknown* outer, HRESULT* result)
    : D_CBaseAllocator(objectName, outer, result, true, true), block_(nullptr) {}

D_CMemAllocator::~D_CMemAllocator() {
    Decommit();
    ReleaseBlock();
}

void D_CMemAllocator::FreeBuffers() {}

void D_CMemAllocator::ReleaseBlock() {
    while (D_CMediaSample* s = PopFree()) delete s;
    allocated_ = 0;
    if (block_) VirtualFree(block_, 0, MEM_RELEASE);
    block_ = nullptr;
}

LONG D_CMemAllocator::SampleStride() const {
    LONGLONG stride = (LONGLONG)size_ + prefix_;
    if (alignment_ > 1) stride = (stride + alignment_ - 1) / alignment_ * alignment_;
    // count x stride in 64 bits: a foreign filter's properties must not wrap the block size.
    if (stride <= 0 || (LONGLONG)count_ * stride > 0x7FFFFFFF) return -1;
    return (LONG)stride;
}

HRESULT D_CMemAllocator::MakeSamples(BYTE* block, LONG stride) {
    for (LONG i = allocated_; i < count_; ++i) {
        HRESULT hr = S_OK;
        D_CMediaSample* s =
            new (std::nothrow) D_CMediaSample("Default memory media sample", this, &hr, block + i * stride + prefix_, size_);
        if (!s) return E_OUTOFMEMORY;
        PushFree(s);
        ++allocated_;
    }
    return S_OK;
}

HRESULT D_CMemAllocator::AllocateBuffers() {
    D_CAutoLock hold(&lock_);
    if (count_ < 1 || size_ < 1 || alignment_ < 1) return VFW_E_SIZENOTSET;
    if (!changed_) return S_OK;
    ReleaseBlock();
    LONG stride = SampleStride();
    if (stride < 0) return E_OUTOFMEMORY;
    block_ = (BYTE*)VirtualAlloc(nullptr, (SIZE_T)count_ * stride, MEM_COMMIT, PAGE_READWRITE);
    if (!block_) return E_OUTOFMEMORY;
    HRESULT hr = MakeSamples(block_, stride);
    if (FAILED(hr)) return hr;
    changed_ = FALSE;
    return S_OK;
}
