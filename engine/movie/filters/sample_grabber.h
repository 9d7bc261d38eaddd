// Sample grabber: an in-place filter that hands every sample to its owner's
// callback, narrows the accepted types, and can deliver into the owner's buffer.
#pragma once
#include "engine/movie/filters/allocator.h"
#include "engine/movie/filters/transform.h"

class D_CSampleGrabberInPin;

class D_CSampleGrabber : public D_CTransInPlaceFilter, public IGrabberControl {
public:
    D_CSampleGrabber(IUnknown* outer, HRESULT* result);
    ~D_CSampleGrabber() override;

    HRESULT STDMETHODCALLTYPE QueryInterfaceInner(REFIID iid, void** out) override;
    HRESULT IsInputTypeAcceptable(const AM_MEDIA_TYPE* type) override;
    HRESULT TransformInPlace(IMediaSample* sample) override;
    HRESULT BeginStreaming() override;
    HRESULT HandleEndOfStream() override;
    HRESULT HandleBeginFlush() override;

    D_FORWARD_IUNKNOWN
    HRESULT STDMETHODCALLTYPE SetAcceptedMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE SetCallback(GrabberSampleCallback callback, void* user) override;
    HRESULT STDMETHODCALLTYPE SetDeliveryBuffer(ALLOCATOR_PROPERTIES props, BYTE* buffer) override;

    const D_CMediaType& AcceptedType() const { return accepted_; }
    // Whether, within ms, an end of stream of this run has been passed on and
    // the call that brought it is on its way back upstream.
    bool WaitForEndOfStreamPassed(DWORD ms) { return eosPassed_.Wait(ms); }

private:
    D_CSampleGrabberInPin* GrabberInput() const;

    D_CMediaType accepted_;
    GrabberSampleCallback callback_;
    CRITICAL_SECTION grabberLock_;
    void* user_;
    D_CEvent eosPassed_;
};

class D_CSampleGrabberAllocator;

class D_CSampleGrabberInPin : public D_CTransInPlaceInputPin {
public:
    D_CSampleGrabberInPin(D_CSampleGrabber* filter, HRESULT* result);
    ~D_CSampleGrabberInPin() override;

    HRESULT ApplyMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT OfferedMediaType(int position, D_CMediaType* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** out) override;
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** out) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;

    HRESULT SetDeliveryBuffer(ALLOCATOR_PROPERTIES props, BYTE* buffer);
    // Returns the flag and clears it: the first sample after a (re)connection says so.
    BOOL TakeTypeChanged() {
        BOOL f = typeChanged_;
        typeChanged_ = FALSE;
        return f;
    }
    const ALLOCATOR_PROPERTIES& DeliveryProps() const { return deliveryProps_; }
    BYTE* DeliveryBuffer() const { return deliveryBuffer_; }

private:
    void DropPrivateAllocator();

    D_CSampleGrabber* grabber_;
    D_CSampleGrabberAllocator* private_;
    ALLOCATOR_PROPERTIES deliveryProps_;
    BYTE* deliveryBuffer_;
    BOOL typeChanged_;
};

// One sample over the owner's delivery buffer, which it never frees.
class D_CSampleGrabberAllocator : public D_CMemAllocator {
public:
    D_CSampleGrabberAllocator(D_CSampleGrabberInPin* owner, HRESULT* result);
    ~D_CSampleGrabberAllocator() override;
    HRESULT AllocateBuffers() override;
    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
    // The pin goes before a reference upstream still holds: from then on nothing is handed out.
    void DetachOwner();

private:
    D_CSampleGrabberInPin* owner_;
};

// Reference count 0 at return; null (and *result set) when it cannot be made.
D_CSampleGrabber* CreateSampleGrabber(IUnknown* outer, HRESULT* result);
