#include "engine/movie/filters/graph_pins.h"

IPin* FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction) {
    IEnumPins* pins = nullptr;
    if (FAILED(filter->EnumPins(&pins)) || !pins) return nullptr;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION d;
        if (SUCCEEDED(pin->QueryDirection(&d)) && d == direction) {
            pins->Release();
            return pin;
        }
        pin->Release();
    }
    pins->Release();
    return nullptr;
}
