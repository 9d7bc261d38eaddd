// Finding pins on filters of any make, ours or the platform's.
#pragma once
#include <windows.h>
#include <dshow.h>

// The filter's first pin of that direction, with a reference for the caller, or null.
IPin* FindPinByDirection(IBaseFilter* filter, PIN_DIRECTION direction);
