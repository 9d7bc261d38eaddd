// Output pin, transform filter and in-place transform filter: one input and
// one output pin, samples turned into output samples or passed on changed in place.
#pragma once
#include "engine/movie/filters/base_filter.h"

class D_CBaseOutputPin : public D_CBasePin {
public:
    D_CBaseOutputPin(const char* objectName, D_CBaseFilter* filter, CRITICAL_SECTION* lock, HRESULT* result,
                     const WCHAR* name);
    ~D_CBaseOutputPin() override;

    HRESULT OnFilterActivate() override;
    HRESULT OnFilterDeactivate() override;
    HRESULT VerifyPeer(IPin* pin) override;
    HRESULT ReleaseConnection() override;
    HRESULT FinishConnection(IPin* pin) override;
    virtual HRESULT ChooseAllocator(IMemInputPin* downstream, IMemAllocator** allocator);
    virtual HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    virtual HRESULT AcquireBuffer(IMediaSample** out, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags);
    virtual HRESULT SendSample(IMediaSample* sample);
    virtual HRESULT MakeDefaultAllocator(IMemAllocator** out);
    virtual HRESULT PassEndOfStream();
    virtual HRESULT PassBeginFlush();
    virtual HRESULT PassEndFlush();
    virtual HRESULT PassNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality q) override;

    IMemAllocator* Allocator() const { return allocator_; }
    IMemInputPin* Downstream() const { return downstream_; }
    // Takes a reference on the allocator and drops the one held before.
    void AdoptAllocator(IMemAllocator* allocator);

protected:
    IMemAllocator* allocator_;
    IMemInputPin* downstream_;
};

class D_CTransformInputPin;
class D_CTransformOutputPin;

class D_CTransformFilter : public D_CBaseFilter {
public:
    D_CTransformFilter(const char* objectName, IUnknown* outer, REFCLSID clsid);
    ~D_CTransformFilter() override;

    int PinCount() override { return 2; }
    D_CBasePin* PinAt(int n) override;
    virtual HRESULT TransformSample(IMediaSample* in, IMediaSample* out) = 0;
    virtual HRESULT IsInputTypeAcceptable(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT IsTransformAcceptable(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) = 0;
    virtual HRESULT SetBufferRequirements(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props) = 0;
    virtual HRESULT GetOfferedMediaType(int position, D_CMediaType* type) = 0;
    virtual HRESULT BeginStreaming();
    virtual HRESULT EndStreaming();
    virtual HRESULT AdjustQuality(Quality q);
    virtual HRESULT ApplyPinMediaType(PIN_DIRECTION dir, const AM_MEDIA_TYPE* type);
    virtual HRESULT CheckPinConnectionPeer(PIN_DIRECTION dir, IPin* pin);
    virtual HRESULT OnPinDisconnect(PIN_DIRECTION dir);
    virtual HRESULT OnPinConnectComplete(PIN_DIRECTION dir, IPin* pin);
    virtual HRESULT ReceiveSample(IMediaSample* sample);
    virtual HRESULT HandleEndOfStream();
    virtual HRESULT HandleBeginFlush();
    virtual HRESULT HandleEndFlush();
    virtual HRESULT HandleNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** out) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;

    D_CTransformInputPin* InputPin() const { return input_; }
    D_CTransformOutputPin* OutputPin() const { return output_; }
    CRITICAL_SECTION* ReceiveLock() { return &receiveLock_; }

protected:
    // The pin pair PinAt makes on first use (null when out of memory).
    virtual D_CTransformInputPin* NewInputPin(HRESULT* hr);
    virtual D_CTransformOutputPin* NewOutputPin(HRESULT* hr);

    bool eosSent_;
    bool sampleSkipped_;
    bool qualityChanged_;
    CRITICAL_SECTION filterLock_;
    CRITICAL_SECTION receiveLock_;
    D_CTransformInputPin* input_;
    D_CTransformOutputPin* output_;
};

class D_CTransformInputPin : public D_CBaseInputPin {
public:
    D_CTransformInputPin(const char* objectName, D_CTransformFilter* filter, HRESULT* result, const WCHAR* name);

    HRESULT OnFilterActivate() override { return S_OK; }
    HRESULT AcceptsMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT ApplyMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT VerifyPeer(IPin* pin) override;
    HRESULT ReleaseConnection() override;
    HRESULT FinishConnection(IPin* pin) override;
    HRESULT StreamingAllowed() override;

    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* out) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;

protected:
    D_CTransformFilter* transform_;
};

class D_CTransformOutputPin : public D_CBaseOutputPin {
public:
    D_CTransformOutputPin(const char* objectName, D_CTransformFilter* filter, HRESULT* result, const WCHAR* name);
    ~D_CTransformOutputPin() override;

    HRESULT STDMETHODCALLTYPE QueryInterfaceInner(REFIID iid, void** out) override;
    HRESULT AcceptsMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT ApplyMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT VerifyPeer(IPin* pin) override;
    HRESULT ReleaseConnection() override;
    HRESULT FinishConnection(IPin* pin) override;
    HRESULT OfferedMediaType(int position, D_CMediaType* type) override;
    HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* out) override;
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality q) override;

protected:
    D_CTransformFilter* transform_;
    IUnknown* seeking_;   // aggregated platform seeking pass-through, made on first request
};

class D_CTransInPlaceFilter : public D_CTransformFilter {
public:
    D_CTransInPlaceFilter(const char* objectName, IUnknown* outer, REFCLSID clsid, HRESULT* result,
                          bool modifiesData);

    HRESULT TransformSample(IMediaSample*, IMediaSample*) override { return E_UNEXPECTED; }
    HRESULT GetOfferedMediaType(int, D_CMediaType*) override { return E_UNEXPECTED; }
    HRESULT IsTransformAcceptable(const AM_MEDIA_TYPE*, const AM_MEDIA_TYPE*) override { return S_OK; }
    HRESULT SetBufferRequirements(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props) override;
    HRESULT OnPinConnectComplete(PIN_DIRECTION dir, IPin* pin) override;
    HRESULT ReceiveSample(IMediaSample* sample) override;
    virtual HRESULT TransformInPlace(IMediaSample* sample) = 0;

    // A copy of source in a sample of the output allocator, or null.
    IMediaSample* CopySampleForInPlace(IMediaSample* source);
    bool ModifiesData() const { return modifiesData_; }

protected:
    D_CTransformInputPin* NewInputPin(HRESULT* hr) override;
    D_CTransformOutputPin* NewOutputPin(HRESULT* hr) override;

    bool modifiesData_;
};

class D_CTransInPlaceInputPin : public D_CTransformInputPin {
public:
    D_CTransInPlaceInputPin(const char* objectName, D_CTransInPlaceFilter* filter, HRESULT* result,
                            const WCHAR* name);

    HRESULT AcceptsMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT FinishConnection(IPin* pin) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** out) override;
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** out) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;

protected:
    D_CTransInPlaceFilter* inPlace_;
    BOOL notifiedReadOnly_;
};

class D_CTransInPlaceOutputPin : public D_CTransformOutputPin {
public:
    D_CTransInPlaceOutputPin(const char* objectName, D_CTransInPlaceFilter* filter, HRESULT* result,
                             const WCHAR* name);

    HRESULT AcceptsMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT FinishConnection(IPin* pin) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** out) override;

protected:
    D_CTransInPlaceFilter* inPlace_;
};
