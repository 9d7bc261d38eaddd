// Identifiers and setup records that the platform headers here lack, and the
// engine's own sample-grabber control interface.
#pragma once
#include <windows.h>
#include <dshow.h>

inline constexpr CLSID CLSID_NullRenderer = {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
inline constexpr IID IID_IGrabberControl = {0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F}};

typedef REGFILTERPINS AMOVIESETUP_PIN;
typedef REGPINTYPES AMOVIESETUP_MEDIATYPE;
struct AMOVIESETUP_FILTER {
    const CLSID* clsID;
    const WCHAR* strName;
    DWORD dwMerit;
    UINT nPins;
    const AMOVIESETUP_PIN* lpPin;
};

// Called for each sample the grabber passes on; S_OK sends it downstream, S_FALSE drops it.
typedef HRESULT (*GrabberSampleCallback)(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                         BOOL typeChanged, void* user);

struct IGrabberControl : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetAcceptedMediaType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCallback(GrabberSampleCallback callback, void* user) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDeliveryBuffer(ALLOCATOR_PROPERTIES props, BYTE* buffer) = 0;
};
