// Media type enumerator over the types a pin offers.
#include "engine/movie/filters/base_filter.h"
#include <new>
#include "engine/system/entry_points.h"

D_CEnumMediaTypes::D_CEnumMediaTypes(D_CBasePin* pin, const D_CEnumMediaTypes* copyOf)
    : D_CBaseObject("Media Type Enumerator"), position_(copyOf ? copyOf->position_ : 0), pin_(pin),
      version_(copyOf ? copyOf->version_ : pin->MediaTypeVersion()), refCount_(1) {
    pin_->PinInterface()->AddRef();
}

D_CEnumMediaTypes::~D_CEnumMediaTypes() { pin_->PinInterface()->Release(); }

HRESULT STDMETHODCALLTYPE D_CEnumMediaTypes::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IEnumMediaTypes) || IsEqualIID(iid, IID_IUnknown))
        return ReturnInterfaceAddRef(static_cast<IEnumMediaTypes*>(this), out);
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE D_CEnumMediaTypes::AddRef() { return ++refCount_; }

ULONG STDMETHODCALLTYPE D_CEnumMediaTypes::Release() {
    LONG n = --refCount_;
    if (n == 0) delete this;
    return n;
}

HRESULT STDMETHODCALLTYPE D_CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
    if (!types) return E_POINTER;
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    if (fetched) *fetched = 0;
    else if (count > 1) return E_INVALIDARG;
    ULONG got = 0;
    while (got < count) {
        D_CMediaType mt;
        HRESULT hr = pin_->OfferedMediaType(position_++, &mt);
        if (hr != S_OK) break;
        AM_MEDIA_TYPE* block = (AM_MEDIA_TYPE*)WinApi.CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE));
        if (!block) break;
        mt.MoveInto(block);
        types[got++] = block;
    }
    if (fetched) *fetched = got;
    return got == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE D_CEnumMediaTypes::Skip(ULONG count) {
    if (count == 0) return S_OK;
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    position_ += count;
    D_CMediaType mt;
    return pin_->OfferedMediaType(position_ - 1, &mt) == S_OK ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE D_CEnumMediaTypes::Reset() {
    position_ = 0;
    version_ = pin_->MediaTypeVersion();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CEnumMediaTypes::Clone(IEnumMediaTypes** out) {
    if (!out) return E_POINTER;
    if (OutOfSync()) {
        *out = nullptr;
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    *out = new (std::nothrow) D_CEnumMediaTypes(pin_, this);
    return *out ? S_OK : E_OUTOFMEMORY;
}
