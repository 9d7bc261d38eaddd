// Non-delegating unknown and the helpers every filter class shares.
#include "engine/movie/filters/unknown.h"
#include <cstring>
#include <new>
#include "engine/system/entry_points.h"

D_CUnknown::D_CUnknown(const char* objectName, IUnknown* outer)
    : D_CBaseObject(objectName), owner_(outer ? outer : NonDelegatingUnknown()), refCount_(0), destroying_(false) {}

D_CUnknown::~D_CUnknown() {}

HRESULT STDMETHODCALLTYPE D_CUnknown::QueryInterfaceInner(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown)) return ReturnInterfaceAddRef(NonDelegatingUnknown(), out);
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE D_CUnknown::AddRefInner() {
    LONG n = ++refCount_;
    return n > 1 ? (ULONG)n : 1;
}

ULONG STDMETHODCALLTYPE D_CUnknown::ReleaseInner() {
    LONG n = --refCount_;
    if (n != 0) return n > 1 ? (ULONG)n : 1;
    if (destroying_.exchange(true)) return 0;
    // A count of 1 lets AddRef/Release pairs made during destruction balance out.
    refCount_ = 1;
    delete this;
    return 0;
}

HRESULT ReturnInterfaceAddRef(IUnknown* itf, void** out) {
    *out = itf;
    itf->AddRef();
    return S_OK;
}

D_CEvent::D_CEvent(BOOL manualReset) : handle_(CreateEventA(nullptr, manualReset, FALSE, nullptr)) {}

D_CEvent::~D_CEvent() {
    if (handle_) CloseHandle(handle_);
}

WCHAR* CopyWideString(const WCHAR* s) {
    if (!s) return nullptr;
    size_t n = lstrlenW(s) + 1;
    WCHAR* copy = new (std::nothrow) WCHAR[n];
    if (copy) std::memcpy(copy, s, n * sizeof(WCHAR));
    return copy;
}

HRESULT CopyWideStringToTaskMemory(const WCHAR* s, WCHAR** out) {
    size_t n = (s ? lstrlenW(s) : 0) + 1;
    *out = (WCHAR*)WinApi.CoTaskMemAlloc(n * sizeof(WCHAR));
    if (!*out) return E_OUTOFMEMORY;
    if (s) std::memcpy(*out, s, n * sizeof(WCHAR));
    else (*out)[0] = 0;
    return S_OK;
}
