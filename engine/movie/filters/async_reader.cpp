// Asynchronous reader filter: one output pin over the I/O engine.
#include "engine/movie/filters/async_reader.h"

static const CLSID CLSID_EngineAsyncReader = {0xC553F2C0, 0x1529, 0x11D0, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}};

D_CAsyncReader::D_CAsyncReader(const char* objectName, IUnknown* outer, D_CAsyncStream* stream, HRESULT* result)
    : D_CBaseFilter(objectName, outer, &lock_, CLSID_EngineAsyncReader), io_(stream), pin_(result, this, &io_, &lock_) {
    InitializeCriticalSection(&lock_);
}

// The members go after this body in reverse order: type, pin, then the I/O
// engine, which joins its worker; none of them uses the filter lock.
D_CAsyncReader::~D_CAsyncReader() { DeleteCriticalSection(&lock_); }

HRESULT D_CAsyncReader::ConnectOutputPin(IPin* receivePin, const AM_MEDIA_TYPE* type) {
    return pin_.PinConnect(receivePin, type);
}
