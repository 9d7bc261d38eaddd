// Base filter: state machine, clock, graph membership and events.
#include "engine/movie/filters/base_filter.h"
#include <new>
#include "engine/system/entry_points.h"

D_CBaseFilter::D_CBaseFilter(const char* objectName, IUnknown* outer, CRITICAL_SECTION* lock, REFCLSID clsid)
    : D_CUnknown(objectName, outer), state_(State_Stopped), clock_(nullptr), startTime_(0), clsid_(clsid),
      lock_(lock), name_(nullptr), graph_(nullptr), eventSink_(nullptr), pinListVersion_(1) {}

D_CBaseFilter::~D_CBaseFilter() {
    delete[] name_;
    if (clock_) clock_->Release();
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::QueryInterfaceInner(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IBaseFilter) || IsEqualIID(iid, IID_IMediaFilter) || IsEqualIID(iid, IID_IPersist))
        return ReturnInterfaceAddRef(static_cast<IBaseFilter*>(this), out);
    if (IsEqualIID(iid, IID_IAMovieSetup)) return ReturnInterfaceAddRef(static_cast<IAMovieSetup*>(this), out);
    return D_CUnknown::QueryInterfaceInner(iid, out);
}

HRESULT D_CBaseFilter::GetStreamTime(REFERENCE_TIME* out) {
    if (!clock_) return VFW_E_NO_CLOCK;
    HRESULT hr = clock_->GetTime(out);
    if (FAILED(hr)) return hr;
    *out -= startTime_;
    return S_OK;
}

LONG D_CBaseFilter::GetPinListVersion() { return pinListVersion_; }

const AMOVIESETUP_FILTER* D_CBaseFilter::GetSetupInfo() { return nullptr; }

HRESULT STDMETHODCALLTYPE D_CBaseFilter::GetClassID(CLSID* out) {
    if (!out) return E_POINTER;
    *out = clsid_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::Stop() {
    D_CAutoLock hold(lock_);
    HRESULT first = S_OK;
    if (state_ != State_Stopped) {
        int n = PinCount();
        for (int i = 0; i < n; ++i) {
            D_CBasePin* pin = PinAt(i);
            if (!pin || !pin->IsConnected()) continue;
            HRESULT hr = pin->OnFilterDeactivate();
            if (FAILED(hr) && SUCCEEDED(first)) first = hr;
        }
    }
    state_ = State_Stopped;
    return first;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::Pause() {
    D_CAutoLock hold(lock_);
    if (state_ == State_Stopped) {
        int n = PinCount();
        for (int i = 0; i < n; ++i) {
            D_CBasePin* pin = PinAt(i);
            if (!pin || !pin->IsConnected()) continue;
            HRESULT hr = pin->OnFilterActivate();
            if (FAILED(hr)) return hr;
        }
    }
    state_ = State_Paused;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::Run(REFERENCE_TIME start) {
    D_CAutoLock hold(lock_);
    startTime_ = start;
    if (state_ == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    if (state_ != State_Running) {
        int n = PinCount();
        for (int i = 0; i < n; ++i) {
            D_CBasePin* pin = PinAt(i);
            if (!pin || !pin->IsConnected()) continue;
            HRESULT hr = pin->OnFilterRun(start);
            if (FAILED(hr)) return hr;
        }
    }
    state_ = State_Running;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::GetState(DWORD, FILTER_STATE* out) {
    if (!out) return E_POINTER;
    *out = state_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::SetSyncSource(IReferenceClock* clock) {
    D_CAutoLock hold(lock_);
    if (clock) clock->AddRef();
    if (clock_) clock_->Release();
    clock_ = clock;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::GetSyncSource(IReferenceClock** out) {
    if (!out) return E_POINTER;
    D_CAutoLock hold(lock_);
    *out = clock_;
    if (clock_) clock_->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::EnumPins(IEnumPins** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) D_CEnumPins(this, nullptr);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::FindPin(LPCWSTR id, IPin** out) {
    if (!out) return E_POINTER;
    D_CAutoLock hold(lock_);
    int n = PinCount();
    for (int i = 0; i < n; ++i) {
        D_CBasePin* pin = PinAt(i);
        if (pin && id && pin->Name() && lstrcmpW(pin->Name(), id) == 0)
            return ReturnInterfaceAddRef(pin->PinInterface(), (void**)out);
    }
    *out = nullptr;
    return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::QueryFilterInfo(FILTER_INFO* out) {
    if (!out) return E_POINTER;
    if (name_) lstrcpynW(out->achName, name_, 128);
    else out->achName[0] = 0;
    out->pGraph = graph_;
    if (graph_) graph_->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    D_CAutoLock hold(lock_);
    graph_ = graph;
    eventSink_ = nullptr;
    if (graph) {
        // The graph owns us: keep no reference on it or its sink.
        if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, (void**)&eventSink_)) && eventSink_)
            eventSink_->Release();
        else
            eventSink_ = nullptr;
    }
    delete[] name_;
    name_ = CopyWideString(name);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

HRESULT D_CBaseFilter::RegisterWithMapper(bool unregister) {
    const AMOVIESETUP_FILTER* setup = GetSetupInfo();
    if (!setup) return S_FALSE;
    WinApi.CoInitialize(nullptr);
    IFilterMapper* mapper = nullptr;
    HRESULT hr = WinApi.CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                                         (void**)&mapper);
    if (SUCCEEDED(hr)) {
        if (unregister) {
            hr = mapper->UnregisterFilter(*setup->clsID);
        } else {
            hr = mapper->RegisterFilter(*setup->clsID, setup->strName, setup->dwMerit);
            for (UINT p = 0; SUCCEEDED(hr) && p < setup->nPins; ++p) {
                const AMOVIESETUP_PIN& pin = setup->lpPin[p];
                hr = mapper->RegisterPin(*setup->clsID, pin.strName, pin.bRendered, pin.bOutput, pin.bZero, pin.bMany,
                                         pin.clsConnectsToFilter ? *pin.clsConnectsToFilter : CLSID_NULL,
                                         pin.strConnectsToPin);
                for (UINT t = 0; SUCCEEDED(hr) && t < pin.nMediaTypes; ++t)
                    hr = mapper->RegisterPinType(*setup->clsID, pin.strName, *pin.lpMediaType[t].clsMajorType,
                                                 *pin.lpMediaType[t].clsMinorType);
            }
        }
        mapper->Release();
    }
    WinApi.CoFreeUnusedLibraries();
    WinApi.CoUninitialize();
    if (!unregister) return S_OK;
    return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ? S_OK : hr;
}

HRESULT STDMETHODCALLTYPE D_CBaseFilter::Register() { return RegisterWithMapper(false); }

HRESULT STDMETHODCALLTYPE D_CBaseFilter::Unregister() { return RegisterWithMapper(true); }

HRESULT D_CBaseFilter::FilterNotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2) {
    if (!eventSink_) return E_NOTIMPL;
    if (code == EC_COMPLETE) param2 = (LONG_PTR)FilterInterface();
    return eventSink_->Notify(code, param1, param2);
}

HRESULT D_CBaseFilter::ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* type) {
    if (!graph_) return E_NOINTERFACE;
    IFilterGraph2* graph2 = nullptr;
    if (SUCCEEDED(graph_->QueryInterface(IID_IFilterGraph2, (void**)&graph2)) && graph2) {
        HRESULT hr = graph2->ReconnectEx(pin, type);
        graph2->Release();
        return hr;
    }
    return graph_->Reconnect(pin);
}
