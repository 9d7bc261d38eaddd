// Base pin: connection protocol and media type agreement.
#include "engine/movie/filters/base_filter.h"
#include <new>

D_CBasePin::D_CBasePin(const char* objectName, D_CBaseFilter* filter, CRITICAL_SECTION* lock, HRESULT*,
                       const WCHAR* name, PIN_DIRECTION direction)
    : D_CUnknown(objectName, nullptr), name_(CopyWideString(name)), connected_(nullptr), direction_(direction),
      lock_(lock), runTimeError_(false), canReconnectWhenActive_(false), typesFirst_(false), filter_(filter),
      qualitySink_(nullptr), typeVersion_(1), segmentStart_(0), segmentStop_(0x7FFFFFFFFFFFFFFFLL),
      segmentRate_(1.0) {}

D_CBasePin::~D_CBasePin() {
    if (connected_) connected_->Release();
    delete[] name_;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::QueryInterfaceInner(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IPin)) return ReturnInterfaceAddRef(static_cast<IPin*>(this), out);
    if (IsEqualIID(iid, IID_IQualityControl)) return ReturnInterfaceAddRef(static_cast<IQualityControl*>(this), out);
    return D_CUnknown::QueryInterfaceInner(iid, out);
}

// A pin lives and dies with its filter.
ULONG STDMETHODCALLTYPE D_CBasePin::AddRefInner() { return filter_->FilterInterface()->AddRef(); }
ULONG STDMETHODCALLTYPE D_CBasePin::ReleaseInner() { return filter_->FilterInterface()->Release(); }

LONG D_CBasePin::MediaTypeVersion() { return typeVersion_; }
HRESULT D_CBasePin::OnFilterActivate() { return S_OK; }

HRESULT D_CBasePin::OnFilterDeactivate() {
    runTimeError_ = false;
    return S_OK;
}

HRESULT D_CBasePin::OnFilterRun(REFERENCE_TIME) { return S_OK; }

HRESULT D_CBasePin::ApplyMediaType(const AM_MEDIA_TYPE* type) { return mt_.Assign(*type); }

HRESULT D_CBasePin::CheckConnectDirection(IPin* pin) {
    PIN_DIRECTION d;
    HRESULT hr = pin->QueryDirection(&d);
    if (FAILED(hr)) return hr;
    return d == direction_ ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT D_CBasePin::VerifyPeer(IPin* pin) { return CheckConnectDirection(pin); }
HRESULT D_CBasePin::ReleaseConnection() { return S_OK; }
HRESULT D_CBasePin::FinishConnection(IPin*) { return S_OK; }
HRESULT D_CBasePin::OfferedMediaType(int, D_CMediaType*) { return E_UNEXPECTED; }

HRESULT D_CBasePin::DropConnection() {
    if (!connected_) return S_FALSE;
    HRESULT hr = ReleaseConnection();
    if (FAILED(hr)) return hr;
    connected_->Release();
    connected_ = nullptr;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
    return PinConnect(receivePin, type);
}

HRESULT D_CBasePin::PinConnect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
    if (!receivePin) return E_POINTER;
    D_CAutoLock hold(lock_);
    if (connected_) return VFW_E_ALREADY_CONNECTED;
    if (!filter_->IsStopped() && !canReconnectWhenActive_) return VFW_E_NOT_STOPPED;
    HRESULT hr = NegotiateMediaType(receivePin, type);
    if (FAILED(hr)) {
        ReleaseConnection();
        return hr;
    }
    return S_OK;
}

static bool IsTypeRefusal(HRESULT hr) { return hr == E_FAIL || hr == E_INVALIDARG || hr == VFW_E_TYPE_NOT_ACCEPTED; }

HRESULT D_CBasePin::NegotiateMediaType(IPin* receivePin, const AM_MEDIA_TYPE* type) {
    if (type && !MediaTypeIsPartial(type)) return TryConnection(receivePin, type);
    HRESULT kept = S_OK;
    for (int pass = 0; pass < 2; ++pass) {
        IEnumMediaTypes* types = nullptr;
        HRESULT hr = pass == (int)typesFirst_ ? receivePin->EnumMediaTypes(&types) : EnumMediaTypes(&types);
        if (FAILED(hr) || !types) continue;
        hr = TryTypeList(receivePin, type, types);
        types->Release();
        if (hr == S_OK) return S_OK;
        if (FAILED(hr) && !IsTypeRefusal(hr)) kept = hr;
    }
    return FAILED(kept) ? kept : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT D_CBasePin::TryTypeList(IPin* receivePin, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types) {
    types->Reset();
    HRESULT kept = S_OK;
    AM_MEDIA_TYPE* candidate = nullptr;
    ULONG fetched = 0;
    while (types->Next(1, &candidate, &fetched) == S_OK && fetched == 1) {
        HRESULT hr = S_FALSE;
        if (!partial || MediaTypeMatchesPartial(candidate, partial)) {
            hr = TryConnection(receivePin, candidate);
            if (FAILED(hr) && SUCCEEDED(kept) && !IsTypeRefusal(hr)) kept = hr;
        }
        DeleteMediaType(candidate);
        if (hr == S_OK) return S_OK;
    }
    return FAILED(kept) ? kept : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT D_CBasePin::TryConnection(IPin* receivePin, const AM_MEDIA_TYPE* type) {
    HRESULT hr = VerifyPeer(receivePin);
    if (FAILED(hr)) {
        ReleaseConnection();
        return hr;
    }
    hr = AcceptsMediaType(type);
    if (hr == S_OK) {
        connected_ = receivePin;
        connected_->AddRef();
        hr = ApplyMediaType(type);
        if (SUCCEEDED(hr)) hr = receivePin->ReceiveConnection(PinInterface(), type);
        if (SUCCEEDED(hr)) {
            hr = FinishConnection(receivePin);
            if (SUCCEEDED(hr)) return hr;
            receivePin->Disconnect();
        }
    } else if (SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG) {
        hr = VFW_E_TYPE_NOT_ACCEPTED;
    }
    ReleaseConnection();
    if (connected_) {
        connected_->Release();
        connected_ = nullptr;
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
    if (!connector || !type) return E_POINTER;
    D_CAutoLock hold(lock_);
    if (connected_) return VFW_E_ALREADY_CONNECTED;
    if (!filter_->IsStopped() && !canReconnectWhenActive_) return VFW_E_NOT_STOPPED;
    HRESULT hr = VerifyPeer(connector);
    if (FAILED(hr)) {
        ReleaseConnection();
        return hr;
    }
    hr = AcceptsMediaType(type);
    if (hr != S_OK) {
        ReleaseConnection();
        return SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG ? VFW_E_TYPE_NOT_ACCEPTED : hr;
    }
    connected_ = connector;
    connected_->AddRef();
    hr = ApplyMediaType(type);
    if (SUCCEEDED(hr)) hr = FinishConnection(connector);
    if (SUCCEEDED(hr)) return S_OK;
    connected_->Release();
    connected_ = nullptr;
    ReleaseConnection();
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::Disconnect() {
    D_CAutoLock hold(lock_);
    if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
    return DropConnection();
}

HRESULT STDMETHODCALLTYPE D_CBasePin::ConnectedTo(IPin** out) {
    if (!out) return E_POINTER;
    *out = connected_;
    if (!connected_) return VFW_E_NOT_CONNECTED;
    connected_->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* out) {
    if (!out) return E_POINTER;
    D_CAutoLock hold(lock_);
    if (!connected_) {
        MediaTypeInit(out);
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaTypeInto(out, &mt_);
}

HRESULT STDMETHODCALLTYPE D_CBasePin::QueryPinInfo(PIN_INFO* out) {
    if (!out) return E_POINTER;
    out->pFilter = filter_ ? filter_->FilterInterface() : nullptr;
    if (out->pFilter) out->pFilter->AddRef();
    if (name_) lstrcpynW(out->achName, name_, 128);
    else out->achName[0] = 0;
    out->dir = direction_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::QueryDirection(PIN_DIRECTION* out) {
    if (!out) return E_POINTER;
    *out = direction_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::QueryId(LPWSTR* out) {
    if (!out) return E_POINTER;
    return CopyWideStringToTaskMemory(name_, out);
}

HRESULT STDMETHODCALLTYPE D_CBasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    HRESULT hr = AcceptsMediaType(type);
    return FAILED(hr) ? S_FALSE : hr;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::EnumMediaTypes(IEnumMediaTypes** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) D_CEnumMediaTypes(this, nullptr);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE D_CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    segmentStart_ = start;
    segmentStop_ = stop;
    segmentRate_ = rate;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBasePin::Notify(IBaseFilter* sender, Quality) { return sender ? S_OK : E_POINTER; }

HRESULT STDMETHODCALLTYPE D_CBasePin::SetSink(IQualityControl* sink) {
    D_CAutoLock hold(lock_);
    qualitySink_ = sink;
    return S_OK;
}
