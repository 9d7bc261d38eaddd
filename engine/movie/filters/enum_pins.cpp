// Pin enumerator: never returns a pin twice, also after the pin list changed.
#include "engine/movie/filters/base_filter.h"
#include <new>

D_CEnumPins::D_CEnumPins(D_CBaseFilter* filter, const D_CEnumPins* copyOf)
    : D_CBaseObject("Pin Enumerator"), position_(0), pinCount_(0), filter_(filter), version_(0), refCount_(1) {
    if (copyOf) {
        position_ = copyOf->position_;
        pinCount_ = copyOf->pinCount_;
        version_ = copyOf->version_;
        returned_.AddTail(copyOf->returned_);
    } else {
        version_ = filter->GetPinListVersion();
        pinCount_ = filter->PinCount();
    }
    filter_->FilterInterface()->AddRef();
}

D_CEnumPins::~D_CEnumPins() { filter_->FilterInterface()->Release(); }

HRESULT STDMETHODCALLTYPE D_CEnumPins::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IEnumPins) || IsEqualIID(iid, IID_IUnknown))
        return ReturnInterfaceAddRef(static_cast<IEnumPins*>(this), out);
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE D_CEnumPins::AddRef() { return ++refCount_; }

ULONG STDMETHODCALLTYPE D_CEnumPins::Release() {
    LONG n = --refCount_;
    if (n == 0) delete this;
    return n;
}

HRESULT STDMETHODCALLTYPE D_CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched) {
    if (!pins) return E_POINTER;
    if (fetched) *fetched = 0;
    else if (count > 1) return E_INVALIDARG;
    if (OutOfSync()) {
        version_ = filter_->GetPinListVersion();
        pinCount_ = filter_->PinCount();
        position_ = 0;
    }
    ULONG left = pinCount_ > position_ ? (ULONG)(pinCount_ - position_) : 0;
    ULONG wanted = left < count ? left : count;
    if (wanted == 0) return S_FALSE;
    ULONG got = 0;
    while (wanted > 0 && position_ < pinCount_) {
        D_CBasePin* pin = filter_->PinAt(position_++);
        if (!pin) return VFW_E_ENUM_OUT_OF_SYNC;
        if (returned_.Find(pin)) continue;
        if (!returned_.AddTail(pin)) break;
        pins[got] = pin->PinInterface();
        pins[got]->AddRef();
        ++got;
        --wanted;
    }
    if (fetched) *fetched = got;
    return got == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE D_CEnumPins::Skip(ULONG count) {
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG left = pinCount_ > position_ ? (ULONG)(pinCount_ - position_) : 0;
    if (count > left) return S_FALSE;
    position_ += count;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CEnumPins::Reset() {
    version_ = filter_->GetPinListVersion();
    pinCount_ = filter_->PinCount();
    position_ = 0;
    returned_.RemoveAll();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CEnumPins::Clone(IEnumPins** out) {
    if (!out) return E_POINTER;
    if (OutOfSync()) {
        *out = nullptr;
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    *out = new (std::nothrow) D_CEnumPins(filter_, this);
    return *out ? S_OK : E_OUTOFMEMORY;
}
