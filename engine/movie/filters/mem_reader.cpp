// Memory reader: the asynchronous reader over a memory stream.
#include "engine/movie/filters/mem_reader.h"
#include <new>

D_CMemReader::D_CMemReader(D_CMemStream* stream, HRESULT* result)
    : D_CAsyncReader("Mem Reader", nullptr, stream, result) {}

D_CMemReader* CreateMemReader(D_CMemStream* stream, const AM_MEDIA_TYPE* type, HRESULT* result) {
    HRESULT hr = S_OK;
    D_CMemReader* reader = stream && type ? new (std::nothrow) D_CMemReader(stream, &hr) : nullptr;
    if (reader && SUCCEEDED(hr)) hr = reader->SetMediaType(type);
    if (!reader || FAILED(hr)) {
        if (result) *result = !stream || !type ? E_POINTER : reader ? hr : E_OUTOFMEMORY;
        delete reader;
        return nullptr;
    }
    if (result) *result = S_OK;
    return reader;
}

void DeleteMemReader(D_CMemReader* reader) { delete reader; }
