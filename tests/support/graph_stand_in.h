// Filter graphs made by the platform with one method replaced: only the object's
// table pointer moves, to a copy of its whole IFilterGraph2 table with that slot
// replaced. Slots: 12 Render, 13 RenderFile (after IUnknown's 3, IFilterGraph's 8
// and Connect).
#pragma once
#include <windows.h>
#include <dshow.h>

#include <cstring>

#include "engine/system/entry_points.h"

namespace graphtest {

struct GraphStandIn {
    int slot = 0;
    void* stand_in = nullptr;
    void* original = nullptr;   // the platform's method in that slot
    void* table[21] = {};
    decltype(WinApi.CoCreateInstance) real_create = nullptr;
};

inline GraphStandIn g_stand_in;

inline HRESULT WINAPI CreateGraphWithStandIn(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
    GraphStandIn& s = g_stand_in;
    HRESULT hr = s.real_create(clsid, outer, context, iid, out);
    if (FAILED(hr) || !IsEqualCLSID(clsid, CLSID_FilterGraph)) return hr;
    void*** object = (void***)*out;
    std::memcpy(s.table, *object, sizeof s.table);
    s.original = s.table[s.slot];
    s.table[s.slot] = s.stand_in;
    *object = s.table;
    return hr;
}

// Graphs made while it lives take the stand-in.
struct StandIn {
    StandIn(int slot, void* fn) {
        g_stand_in.slot = slot;
        g_stand_in.stand_in = fn;
        g_stand_in.real_create = WinApi.CoCreateInstance;
        WinApi.CoCreateInstance = CreateGraphWithStandIn;
    }
    ~StandIn() { WinApi.CoCreateInstance = g_stand_in.real_create; }
};

}  // namespace graphtest
