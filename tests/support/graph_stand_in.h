// Filter graphs made by the platform with one method replaced: only the object's
// table pointer moves, to a copy of its whole IFilterGraph2 table with that slot
// replaced. Slots: 12 Render, 13 RenderFile (after IUnknown's 3, IFilterGraph's 8
// and Connect). Another of the graph's interfaces may be named instead: its
// table moves likewise (IMediaControl: 9 Stop, after IUnknown's 3, IDispatch's 4,
// Run and Pause). With them, the calls a graph may hang in.
#pragma once
#include <windows.h>
#include <dshow.h>

#include <cstring>
#include <functional>

#include "engine/movie/filters/unknown.h"
#include "engine/system/entry_points.h"
#include "support/time_limit.h"

namespace graphtest {

// The start of a Matroska file: an EBML header that names the document type,
// then the segment's id. Bytes behind it are a container's, which the sound
// loader hands to the graph, where a stand-in holds them.
inline void PutMatroskaStart(uint8_t* bytes) {
    std::memcpy(bytes, "\x1A\x45\xDF\xA3\x8B\x42\x82\x88matroska\x18\x53\x80\x67", 20);
}

struct GraphStandIn {
    int slot = 0;
    void* stand_in = nullptr;
    void* original = nullptr;   // the platform's method in that slot
    void* table[21] = {};
    const IID* iid = nullptr;   // null: the object's own table
    int entries = 21;
    decltype(WinApi.CoCreateInstance) real_create = nullptr;
};

inline GraphStandIn g_stand_in;

inline HRESULT WINAPI CreateGraphWithStandIn(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
    GraphStandIn& s = g_stand_in;
    HRESULT hr = s.real_create(clsid, outer, context, iid, out);
    if (FAILED(hr) || !IsEqualCLSID(clsid, CLSID_FilterGraph)) return hr;
    IUnknown* itf = nullptr;
    if (s.iid && FAILED(((IUnknown*)*out)->QueryInterface(*s.iid, (void**)&itf))) return hr;
    void*** object = itf ? (void***)itf : (void***)*out;
    if (itf) itf->Release();
    std::memcpy(s.table, *object, s.entries * sizeof(void*));
    s.original = s.table[s.slot];
    s.table[s.slot] = s.stand_in;
    *object = s.table;
    return hr;
}

// Graphs made while it lives take the stand-in.
struct StandIn {
    StandIn(int slot, void* fn, const IID* iid = nullptr, int entries = 21) {
        g_stand_in.slot = slot;
        g_stand_in.stand_in = fn;
        g_stand_in.iid = iid;
        g_stand_in.entries = entries;
        g_stand_in.real_create = WinApi.CoCreateInstance;
        WinApi.CoCreateInstance = CreateGraphWithStandIn;
    }
    ~StandIn() { WinApi.CoCreateInstance = g_stand_in.real_create; }
};

// fn on a thread of its own with COM started there, so that a hang fails the test instead of stopping the run.
inline bool RunComWithTimeout(const std::function<void()>& fn, DWORD ms) {
    return RunWithTimeout(
        [fn] {
            WinApi.CoInitialize(nullptr);
            fn();
            WinApi.CoUninitialize();
        },
        ms);
}

// Whether every filter object is gone within ms (a graph left behind lets go of them once its call returns).
inline bool WaitForNoLiveObjects(DWORD ms) {
    for (const DWORD at = GetTickCount(); D_CBaseObject::LiveObjectCount() && GetTickCount() - at < ms;) Sleep(10);
    return D_CBaseObject::LiveObjectCount() == 0;
}

}  // namespace graphtest
