// Base allocator: the free list, commit/decommit and waiting for a free sample.
#include "engine/movie/filters/allocator.h"

D_CBaseAllocator::D_CBaseAllocator(const char* objectName, IUnknown* outer, HRESULT* result, bool makeSemaphore,
                                   bool releaseCallback)
    : D_CUnknown(objectName, outer), freeList_(nullptr), freeCount_(0), semaphore_(nullptr), waiting_(0), count_(0),
      size_(0), alignment_(0), prefix_(0), allocated_(0), changed_(FALSE), committed_(FALSE),
      decommitPending_(FALSE), callback_(nullptr), callbackEnabled_(releaseCallback) {
    InitializeCriticalSection(&lock_);
    if (makeSemaphore) {
        semaphore_ = CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, nullptr);
        if (!semaphore_ && result) *result = E_OUTOFMEMORY;
    }
}

D_CBaseAllocator::~D_CBaseAllocator() {
    if (semaphore_) CloseHandle(semaphore_);
    if (callback_) callback_->Release();
    DeleteCriticalSection(&lock_);
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::QueryInterfaceInner(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IMemAllocator) || (callbackEnabled_ && IsEqualIID(iid, IID_IMemAllocatorCallbackTemp)))
        return ReturnInterfaceAddRef(static_cast<IMemAllocatorCallbackTemp*>(this), out);
    return D_CUnknown::QueryInterfaceInner(iid, out);
}

void D_CBaseAllocator::FreeBuffers() {}
HRESULT D_CBaseAllocator::AllocateBuffers() { return S_OK; }

void D_CBaseAllocator::PushFree(D_CMediaSample* s) {
    s->nextFree_ = freeList_;
    freeList_ = s;
    ++freeCount_;
}

D_CMediaSample* D_CBaseAllocator::PopFree() {
    D_CMediaSample* s = freeList_;
    if (s) {
        freeList_ = s->nextFree_;
        s->nextFree_ = nullptr;
        --freeCount_;
    }
    return s;
}

void D_CBaseAllocator::WakeWaiters() {
    if (waiting_ > 0 && semaphore_) ReleaseSemaphore(semaphore_, waiting_, nullptr);
    waiting_ = 0;
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
    if (!request || !actual) return E_POINTER;
    D_CAutoLock hold(&lock_);
    ZeroMemory(actual, sizeof *actual);
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    if (request->cbAlign == 0 || ((request->cbAlign - 1) & si.dwAllocationGranularity)) return VFW_E_BADALIGN;
    if (committed_) return VFW_E_ALREADY_COMMITTED;
    if (freeCount_ < allocated_) return VFW_E_BUFFERS_OUTSTANDING;
    // Properties come from foreign filters: a size the block could not hold is refused here.
    LONGLONG whole = (LONGLONG)request->cbBuffer + request->cbPrefix;
    if (request->cbBuffer < 0 || request->cbPrefix < 0 || request->cbAlign < 0 || whole > 0x7FFFFFFF)
        return E_INVALIDARG;
    whole = (whole + request->cbAlign - 1) / request->cbAlign * request->cbAlign;
    if (whole > 0x7FFFFFFF) return E_INVALIDARG;
    size_ = (LONG)whole - request->cbPrefix;
    count_ = request->cBuffers;
    alignment_ = request->cbAlign;
    prefix_ = request->cbPrefix;
    actual->cBuffers = count_;
    actual->cbBuffer = size_;
    actual->cbAlign = alignment_;
    actual->cbPrefix = prefix_;
    changed_ = TRUE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::GetProperties(ALLOCATOR_PROPERTIES* out) {
    if (!out) return E_POINTER;
    D_CAutoLock hold(&lock_);
    out->cBuffers = count_;
    out->cbBuffer = size_;
    out->cbAlign = alignment_;
    out->cbPrefix = prefix_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::Commit() {
    D_CAutoLock hold(&lock_);
    if (committed_) return S_OK;
    committed_ = TRUE;
    if (decommitPending_) {
        decommitPending_ = FALSE;
        return S_OK;
    }
    HRESULT hr = AllocateBuffers();
    if (FAILED(hr)) {
        committed_ = FALSE;
        return hr;
    }
    // Committed buffers keep the allocator alive until they are freed.
    AddRefInner();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::Decommit() {
    bool release = false;
    {
        D_CAutoLock hold(&lock_);
        if (!committed_ && !decommitPending_) return S_OK;
        if (committed_) {
            committed_ = FALSE;
            if (AllFree()) {
                FreeBuffers();
                release = true;
            } else {
                decommitPending_ = TRUE;
            }
        }
        WakeWaiters();
    }
    if (release) ReleaseInner();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::GetBuffer(IMediaSample** out, REFERENCE_TIME*, REFERENCE_TIME*,
                                                      DWORD flags) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (;;) {
        D_CMediaSample* s;
        {
            D_CAutoLock hold(&lock_);
            if (!committed_) return VFW_E_NOT_COMMITTED;
            s = PopFree();
            if (!s) {
                if (flags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
                ++waiting_;
            }
        }
        if (s) {
            s->refCount_ = 1;
            *out = s;
            return S_OK;
        }
        WaitForSingleObject(semaphore_, INFINITE);
    }
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::ReleaseBuffer(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    bool release = false;
    IMemAllocatorNotifyCallbackTemp* callback;
    {
        D_CAutoLock hold(&lock_);
        PushFree(static_cast<D_CMediaSample*>(sample));
        WakeWaiters();
        if (decommitPending_ && AllFree()) {
            FreeBuffers();
            decommitPending_ = FALSE;
            release = true;
        }
        callback = callback_;
        if (callback) callback->AddRef();
    }
    if (callback) {
        callback->NotifyRelease();
        callback->Release();
    }
    if (release) ReleaseInner();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::SetNotify(IMemAllocatorNotifyCallbackTemp* callback) {
    D_CAutoLock hold(&lock_);
    if (callback) callback->AddRef();
    if (callback_) callback_->Release();
    callback_ = callback;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseAllocator::GetFreeCount(LONG* out) {
    if (!out) return E_POINTER;
    D_CAutoLock hold(&lock_);
    *out = count_ - allocated_ + freeCount_;
    return S_OK;
}
