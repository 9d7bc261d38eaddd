// A block of memory offered to a filter graph as a byte stream: the memory
// stream (optionally rate-limited) and the source filter over it.
#pragma once
#include "engine/movie/filters/async_reader.h"

class D_CMemStream : public D_CAsyncStream {
public:
    // rate: the most bytes handed out per millisecond since creation (0xFFFFFFFF: no limit; never 0).
    D_CMemStream(const void* data, LONGLONG length, DWORD rate);
    ~D_CMemStream() override;

    HRESULT SetPosition(LONGLONG position) override;
    HRESULT Read(BYTE* buffer, LONG count, BOOL aligned, LONG* bytesRead) override;
    LONGLONG GetLength(LONGLONG* available) override;
    LONG GetAlignment() override { return 1; }
    void Lock() override { EnterCriticalSection(&lock_); }
    void Unlock() override { LeaveCriticalSection(&lock_); }
    // Every read from ms from now on fails (INFINITE: none does), so that a parser
    // waiting on the stream returns however long it would have gone on.
    void SetReadTimeLimit(DWORD ms);

private:
    bool ReadsExpired();
    CRITICAL_SECTION lock_;
    const BYTE* data_;
    LONGLONG length_;
    LONGLONG position_;
    DWORD rate_;
    DWORD startTime_;
    bool limited_;
    DWORD deadline_;
};

class D_CMemReader : public D_CAsyncReader {
public:
    D_CMemReader(D_CMemStream* stream, HRESULT* result);
    HRESULT STDMETHODCALLTYPE Register() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Unregister() override { return S_OK; }
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) { return mt_.Assign(*type); }
};

// Null when memory runs out or the rate is 0. The stream is not reference counted.
D_CMemStream* CreateMemStream(const void* data, DWORD lengthLow, LONG lengthHigh, DWORD rate);
void DeleteMemStream(D_CMemStream* stream);
// Reference count 0 at return; null (and *result set) when it cannot be made.
D_CMemReader* CreateMemReader(D_CMemStream* stream, const AM_MEDIA_TYPE* type, HRESULT* result);
// Deletes the reader whatever its count: only once the graph and every reference are gone.
void DeleteMemReader(D_CMemReader* reader);
