// IMediaPosition's IDispatch half, through the platform's type library.
#include "engine/movie/filters/renderer.h"

#include <oleauto.h>

D_CMediaPosition::D_CMediaPosition(const char* objectName, IUnknown* outer)
    : D_CUnknown(objectName, outer), typeInfo_(nullptr) {}

D_CMediaPosition::~D_CMediaPosition() {
    if (typeInfo_) typeInfo_->Release();
}

HRESULT STDMETHODCALLTYPE D_CMediaPosition::QueryInterfaceInner(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IMediaPosition)) return ReturnInterfaceAddRef(static_cast<IMediaPosition*>(this), out);
    return D_CUnknown::QueryInterfaceInner(iid, out);
}

HRESULT LoadControlTypeInfo(ITypeInfo** cache, REFIID iid, LCID locale, ITypeInfo** out) {
    if (!*cache) {
        if (!FilterOleAut32Module) FilterOleAut32Module = LoadLibraryA("OleAut32.dll");
        if (!FilterOleAut32Module) return (HRESULT)(GetLastError() | 0x80070000);
        typedef HRESULT(WINAPI * LoadRegTypeLibFn)(REFGUID, WORD, WORD, LCID, ITypeLib**);
        typedef HRESULT(WINAPI * LoadTypeLibFn)(LPCOLESTR, ITypeLib**);
        auto load_reg = (LoadRegTypeLibFn)(void*)GetProcAddress(FilterOleAut32Module, "LoadRegTypeLib");
        if (!load_reg) return (HRESULT)(GetLastError() | 0x80070000);
        ITypeLib* lib = nullptr;
        HRESULT hr = load_reg(LIBID_QuartzTypeLib, 1, 0, locale, &lib);
        if (FAILED(hr)) {
            auto load = (LoadTypeLibFn)(void*)GetProcAddress(FilterOleAut32Module, "LoadTypeLib");
            if (!load) return (HRESULT)(GetLastError() | 0x80070000);
            hr = load(L"control.tlb", &lib);
            if (FAILED(hr)) return hr;
        }
        hr = lib->GetTypeInfoOfGuid(iid, cache);
        lib->Release();
        if (FAILED(hr)) return hr;
    }
    return ReturnInterfaceAddRef(*cache, (void**)out);
}

HRESULT STDMETHODCALLTYPE D_CMediaPosition::GetTypeInfoCount(UINT* out) {
    if (!out) return E_POINTER;
    *out = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CMediaPosition::GetTypeInfo(UINT index, LCID locale, ITypeInfo** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
    return LoadControlTypeInfo(&typeInfo_, IID_IMediaPosition, locale, out);
}

HRESULT STDMETHODCALLTYPE D_CMediaPosition::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID locale,
                                                          DISPID* ids) {
    ITypeInfo* info = nullptr;
    HRESULT hr = GetTypeInfo(0, locale, &info);
    if (FAILED(hr)) return hr;
    hr = info->GetIDsOfNames(names, count, ids);
    info->Release();
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CMediaPosition::Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                                   UINT* arg_error) {
    if (!IsEqualIID(iid, GUID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    HRESULT hr = GetTypeInfo(0, locale, &info);
    if (FAILED(hr)) return hr;
    hr = info->Invoke(static_cast<IMediaPosition*>(this), id, flags, params, result, exception, arg_error);
    info->Release();
    return hr;
}
