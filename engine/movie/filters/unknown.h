// Object base of every media-filter class: the live-object count, the
// non-delegating unknown, the interface forwarders, and the small Win32
// helpers (event, scoped lock) the filters share.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <atomic>

// The OleAut32 module the type-information loader keeps; freed when the last
// filter object goes away.
extern HMODULE FilterOleAut32Module;

class D_CBaseObject {
public:
    explicit D_CBaseObject(const char* objectName);
    ~D_CBaseObject();
    D_CBaseObject(const D_CBaseObject&) = delete;
    D_CBaseObject& operator=(const D_CBaseObject&) = delete;

    // Filter objects alive in the process.
    static long LiveObjectCount();
};

// The first three virtuals have IUnknown's calling convention and order, so the
// object itself serves as the non-delegating IUnknown an aggregator holds.
class D_CUnknown : public D_CBaseObject {
public:
    D_CUnknown(const char* objectName, IUnknown* outer);
    virtual HRESULT STDMETHODCALLTYPE QueryInterfaceInner(REFIID iid, void** out);
    virtual ULONG STDMETHODCALLTYPE AddRefInner();
    virtual ULONG STDMETHODCALLTYPE ReleaseInner();
    virtual ~D_CUnknown();

    IUnknown* GetOwner() const { return owner_; }
    IUnknown* NonDelegatingUnknown() { return reinterpret_cast<IUnknown*>(this); }

protected:
    IUnknown* owner_;
    std::atomic<LONG> refCount_;
    // Set once the count reached 0: a stray Release made by the destructor's
    // callees must not delete the object again.
    std::atomic<bool> destroying_;
};

// Stores the interface and takes a reference through it.
HRESULT ReturnInterfaceAddRef(IUnknown* itf, void** out);

inline HRESULT ForwardQueryInterface(IUnknown* owner, REFIID iid, void** out) { return owner->QueryInterface(iid, out); }
inline ULONG ForwardAddRef(IUnknown* owner) { return owner->AddRef(); }
inline ULONG ForwardRelease(IUnknown* owner) { return owner->Release(); }
// Interfaces that sit apart from their object (a pin's IAsyncReader, a
// pass-through's seeking) reach the owner through the pointer they keep.
inline HRESULT ForwardQueryInterfaceToOwner(IUnknown* owner, REFIID iid, void** out) { return owner->QueryInterface(iid, out); }
inline ULONG ForwardAddRefToOwner(IUnknown* owner) { return owner->AddRef(); }
inline ULONG ForwardReleaseToOwner(IUnknown* owner) { return owner->Release(); }

// The IUnknown slots of a public interface: they count nothing themselves.
#define D_FORWARD_IUNKNOWN                                                                                \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {                           \
        return ForwardQueryInterface(GetOwner(), iid, out);                                               \
    }                                                                                                     \
    ULONG STDMETHODCALLTYPE AddRef() override { return ForwardAddRef(GetOwner()); }                       \
    ULONG STDMETHODCALLTYPE Release() override { return ForwardRelease(GetOwner()); }

class D_CEvent {
public:
    explicit D_CEvent(BOOL manualReset = FALSE);
    ~D_CEvent();
    D_CEvent(const D_CEvent&) = delete;
    D_CEvent& operator=(const D_CEvent&) = delete;
    HANDLE Handle() const { return handle_; }
    void Set() { SetEvent(handle_); }
    void Reset() { ResetEvent(handle_); }
    bool Wait(DWORD timeout = INFINITE) { return WaitForSingleObject(handle_, timeout) == WAIT_OBJECT_0; }

private:
    HANDLE handle_;
};

class D_CAutoLock {
public:
    explicit D_CAutoLock(CRITICAL_SECTION* lock) : lock_(lock) { EnterCriticalSection(lock_); }
    ~D_CAutoLock() { LeaveCriticalSection(lock_); }
    D_CAutoLock(const D_CAutoLock&) = delete;
    D_CAutoLock& operator=(const D_CAutoLock&) = delete;

private:
    CRITICAL_SECTION* lock_;
};

// A copy of a wide string in memory of its own (null for null); freed with delete[].
WCHAR* CopyWideString(const WCHAR* s);
// A copy in COM task memory, as IPin::QueryId hands out.
HRESULT CopyWideStringToTaskMemory(const WCHAR* s, WCHAR** out);
