// Live-object count of the media filters.
#include "engine/movie/filters/unknown.h"

HMODULE FilterOleAut32Module = nullptr;

static std::atomic<long> LiveObjects{0};

D_CBaseObject::D_CBaseObject(const char*) { ++LiveObjects; }

D_CBaseObject::~D_CBaseObject() {
    if (--LiveObjects == 0 && FilterOleAut32Module) {
        FreeLibrary(FilterOleAut32Module);
        FilterOleAut32Module = nullptr;
    }
}

long D_CBaseObject::LiveObjectCount() { return LiveObjects.load(); }
