// The engine's DirectShow filter and pins: filter state machine, clock and
// graph membership, the pin connection protocol, the base input pin, and the
// pin and media-type enumerators.
#pragma once
#include <windows.h>
#include <strmif.h>
#include <control.h>
#include "engine/movie/filters/base_list.h"
#include "engine/movie/filters/filter_guids.h"
#include "engine/movie/filters/media_type.h"
#include "engine/movie/filters/unknown.h"

class D_CBasePin;

class D_CBaseFilter : public D_CUnknown, public IBaseFilter, public IAMovieSetup {
public:
    D_CBaseFilter(const char* objectName, IUnknown* outer, CRITICAL_SECTION* lock, REFCLSID clsid);
    ~D_CBaseFilter() override;

    HRESULT STDMETHODCALLTYPE QueryInterfaceInner(REFIID iid, void** out) override;
    virtual HRESULT GetStreamTime(REFERENCE_TIME* out);
    virtual LONG GetPinListVersion();
    virtual int PinCount() = 0;
    virtual D_CBasePin* PinAt(int n) = 0;
    virtual const AMOVIESETUP_FILTER* GetSetupInfo();

    D_FORWARD_IUNKNOWN
    // IPersist / IMediaFilter / IBaseFilter
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* out) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** out) override;
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** out) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** out) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* out) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* out) override;
    // IAMovieSetup
    HRESULT STDMETHODCALLTYPE Register() override;
    HRESULT STDMETHODCALLTYPE Unregister() override;

    HRESULT FilterNotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2);
    // Reconnects one of our pins through the graph (synchronously under Wine).
    HRESULT ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* type);

    IBaseFilter* FilterInterface() { return static_cast<IBaseFilter*>(this); }
    FILTER_STATE State() const { return state_; }
    bool IsStopped() const { return state_ == State_Stopped; }
    IFilterGraph* Graph() const { return graph_; }
    CRITICAL_SECTION* Lock() const { return lock_; }

protected:
    HRESULT RegisterWithMapper(bool unregister);

    FILTER_STATE state_;
    IReferenceClock* clock_;
    REFERENCE_TIME startTime_;
    CLSID clsid_;
    CRITICAL_SECTION* lock_;
    WCHAR* name_;
    IFilterGraph* graph_;
    IMediaEventSink* eventSink_;
    LONG pinListVersion_;
};

class D_CBasePin : public D_CUnknown, public IPin, public IQualityControl {
public:
    D_CBasePin(const char* objectName, D_CBaseFilter* filter, CRITICAL_SECTION* lock, HRESULT* result,
               const WCHAR* name, PIN_DIRECTION direction);
    ~D_CBasePin() override;

    HRESULT STDMETHODCALLTYPE QueryInterfaceInner(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRefInner() override;
    ULONG STDMETHODCALLTYPE ReleaseInner() override;
    virtual LONG MediaTypeVersion();
    virtual HRESULT OnFilterActivate();
    virtual HRESULT OnFilterDeactivate();
    virtual HRESULT OnFilterRun(REFERENCE_TIME start);
    virtual HRESULT AcceptsMediaType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT ApplyMediaType(const AM_MEDIA_TYPE* type);
    virtual HRESULT VerifyPeer(IPin* pin);
    virtual HRESULT ReleaseConnection();
    virtual HRESULT FinishConnection(IPin* pin);
    virtual HRESULT OfferedMediaType(int position, D_CMediaType* type);
    virtual HRESULT DropConnection();

    D_FORWARD_IUNKNOWN
    // IPin (EndOfStream, BeginFlush and EndFlush come from the derived pins)
    HRESULT STDMETHODCALLTYPE Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** out) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* out) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* out) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* out) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* out) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** out) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    // IQualityControl
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality q) override;
    HRESULT STDMETHODCALLTYPE SetSink(IQualityControl* sink) override;

    // The connection half of Connect, also used by filters that route Connect elsewhere.
    HRESULT PinConnect(IPin* receivePin, const AM_MEDIA_TYPE* type);
    IPin* PinInterface() { return static_cast<IPin*>(this); }
    bool IsConnected() const { return connected_ != nullptr; }
    IPin* GetConnected() const { return connected_; }
    const D_CMediaType& CurrentMediaType() const { return mt_; }
    D_CBaseFilter* Filter() const { return filter_; }
    const WCHAR* Name() const { return name_; }
    REFERENCE_TIME SegmentStart() const { return segmentStart_; }

protected:
    HRESULT NegotiateMediaType(IPin* receivePin, const AM_MEDIA_TYPE* type);
    HRESULT TryTypeList(IPin* receivePin, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types);
    HRESULT TryConnection(IPin* receivePin, const AM_MEDIA_TYPE* type);
    HRESULT CheckConnectDirection(IPin* pin);

    WCHAR* name_;
    IPin* connected_;
    PIN_DIRECTION direction_;
    CRITICAL_SECTION* lock_;
    bool runTimeError_;
    bool canReconnectWhenActive_;
    bool typesFirst_;
    D_CBaseFilter* filter_;
    IQualityControl* qualitySink_;
    LONG typeVersion_;
    D_CMediaType mt_;
    REFERENCE_TIME segmentStart_;
    REFERENCE_TIME segmentStop_;
    double segmentRate_;
};

class D_CBaseInputPin : public D_CBasePin, public IMemInputPin {
public:
    D_CBaseInputPin(const char* objectName, D_CBaseFilter* filter, CRITICAL_SECTION* lock, HRESULT* result,
                    const WCHAR* name);
    ~D_CBaseInputPin() override;

    HRESULT STDMETHODCALLTYPE QueryInterfaceInner(REFIID iid, void** out) override;
    HRESULT OnFilterDeactivate() override;
    HRESULT ReleaseConnection() override;
    virtual HRESULT StreamingAllowed();

    D_FORWARD_IUNKNOWN
    // IMemInputPin
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** out) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) override;
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

    HRESULT ForwardQualityNotice(Quality q);
    IMemAllocator* Allocator() const { return allocator_; }
    bool IsFlushing() const { return flushing_; }
    bool IsReadOnly() const { return readOnly_; }
    const AM_SAMPLE2_PROPERTIES& SampleProps() const { return sampleProps_; }

protected:
    IMemAllocator* allocator_;
    bool readOnly_;
    bool flushing_;
    AM_SAMPLE2_PROPERTIES sampleProps_;
    bool ownsPropsType_;
};

class D_CEnumPins : public D_CBaseObject, public IEnumPins {
public:
    // A new enumerator over filter, or a copy of `copyOf`. Count starts at 1.
    D_CEnumPins(D_CBaseFilter* filter, const D_CEnumPins* copyOf);
    virtual ~D_CEnumPins();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** out) override;

private:
    bool OutOfSync() const { return filter_->GetPinListVersion() != version_; }

    int position_;
    int pinCount_;
    D_CBaseFilter* filter_;
    LONG version_;
    std::atomic<LONG> refCount_;
    D_CBaseList returned_;
};

class D_CEnumMediaTypes : public D_CBaseObject, public IEnumMediaTypes {
public:
    D_CEnumMediaTypes(D_CBasePin* pin, const D_CEnumMediaTypes* copyOf);
    virtual ~D_CEnumMediaTypes();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** out) override;

private:
    bool OutOfSync() const { return pin_->MediaTypeVersion() != version_; }

    int position_;
    D_CBasePin* pin_;
    LONG version_;
    std::atomic<LONG> refCount_;
};
