// Sample allocators and media samples: a pool of samples on a free list,
// handed out by GetBuffer (waiting when none is free) and returned when their
// last reference goes.
#pragma once
#include <windows.h>
#include <dshow.h>
#include "engine/movie/filters/unknown.h"

class D_CBaseAllocator;

class D_CMediaSample : public D_CBaseObject, public IMediaSample2 {
public:
    D_CMediaSample(const char* objectName, D_CBaseAllocator* allocator, HRESULT* result, BYTE* buffer, LONG size);
    virtual ~D_CMediaSample();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** out) override;
    LONG STDMETHODCALLTYPE GetSize() override;
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override;
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL on) override;
    HRESULT STDMETHODCALLTYPE IsPreroll() override;
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL on) override;
    LONG STDMETHODCALLTYPE GetActualDataLength() override;
    HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG length) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** out) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override;
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL on) override;
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* start, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* start, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetProperties(DWORD size, BYTE* out) override;
    HRESULT STDMETHODCALLTYPE SetProperties(DWORD size, const BYTE* props) override;

    // Sample flag bits; the media-times bit is internal and never reported.
    enum : DWORD {
        kSyncPoint = 0x01, kPreroll = 0x02, kDiscontinuity = 0x04, kTypeChanged = 0x08,
        kStartValid = 0x10, kMediaTimesValid = 0x20, kStopValid = 0x100
    };

private:
    friend class D_CBaseAllocator;
    friend class D_CMemAllocator;
    void SetFlag(DWORD bit, BOOL on) { flags_ = on ? (flags_ | bit) : (flags_ & ~bit); }

    DWORD flags_;
    DWORD typeSpecificFlags_;
    BYTE* buffer_;
    LONG actual_;
    LONG size_;
    D_CBaseAllocator* allocator_;
    D_CMediaSample* nextFree_;
    REFERENCE_TIME start_;
    REFERENCE_TIME stop_;
    LONGLONG mediaStart_;
    LONG mediaEndDiff_;
    AM_MEDIA_TYPE* mediaType_;
    DWORD streamId_;
    std::atomic<LONG> refCount_;
};

class D_CBaseAllocator : public D_CUnknown, public IMemAllocatorCallbackTemp {
public:
    D_CBaseAllocator(const char* objectName, IUnknown* outer, HRESULT* result, bool makeSemaphore,
                     bool releaseCallback);
    ~D_CBaseAllocator() override;

    HRESULT STDMETHODCALLTYPE QueryInterfaceInner(REFIID iid, void** out) override;
    virtual void FreeBuffers();
    virtual HRESULT AllocateBuffers();

    D_FORWARD_IUNKNOWN
    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* out) override;
    HRESULT STDMETHODCALLTYPE Commit() override;
    HRESULT STDMETHODCALLTYPE Decommit() override;
    HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** out, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                        DWORD flags) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE SetNotify(IMemAllocatorNotifyCallbackTemp* callback) override;
    HRESULT STDMETHODCALLTYPE GetFreeCount(LONG* out) override;

    IMemAllocator* AllocatorInterface() { return static_cast<IMemAllocatorCallbackTemp*>(this); }

protected:
    void PushFree(D_CMediaSample* s);
    D_CMediaSample* PopFree();
    bool AllFree() const { return freeCount_ == allocated_; }
    void WakeWaiters();

    CRITICAL_SECTION lock_;
    D_CMediaSample* freeList_;
    LONG freeCount_;
    HANDLE semaphore_;
    LONG waiting_;
    LONG count_;
    LONG size_;
    LONG alignment_;
    LONG prefix_;
    LONG allocated_;
    BOOL changed_;
    BOOL committed_;
    BOOL decommitPending_;
    IMemAllocatorNotifyCallbackTemp* callback_;
    BOOL callbackEnabled_;
};

// All samples of the pool lie in one VirtualAlloc block.
class D_CMemAllocator : public D_CBaseAllocator {
public:
    D_CMemAllocator(const char* objectName, IUnknown* outer, HRESULT* result);
    ~D_CMemAllocator() override;
    void FreeBuffers() override;
    HRESULT AllocateBuffers() override;

protected:
    // Deletes the free samples and releases the block (when owned).
    void ReleaseBlock();
    // Stride of one sample in the block, or -1 when count x stride does not fit.
    LONG SampleStride() const;
    HRESULT MakeSamples(BYTE* block, LONG stride);

    BYTE* block_;
};
