// Memory stream: the caller's bytes, read at most at a given rate.
#include "engine/movie/filters/mem_reader.h"
#include <cstring>
#include <new>
#include "engine/system/entry_points.h"

static DWORD Now() { return WinApi.timeGetTime ? WinApi.timeGetTime() : GetTickCount(); }

D_CMemStream::D_CMemStream(const void* data, LONGLONG length, DWORD rate)
    : data_((const BYTE*)data), length_(length), position_(0), rate_(rate), startTime_(Now()),
      limited_(false), deadline_(0) {
    InitializeCriticalSection(&lock_);
}

D_CMemStream::~D_CMemStream() { DeleteCriticalSection(&lock_); }

HRESULT D_CMemStream::SetPosition(LONGLONG position) {
    if (position < 0 || position > length_) return S_FALSE;
    position_ = position;
    return S_OK;
}

void D_CMemStream::SetReadTimeLimit(DWORD ms) {
    Lock();
    limited_ = ms != INFINITE;
    deadline_ = Now() + ms;
    Unlock();
}

bool D_CMemStream::ReadsExpired() {
    Lock();
    const bool expired = limited_ && (LONG)(Now() - deadline_) >= 0;
    Unlock();
    return expired;
}

HRESULT D_CMemStream::Read(BYTE* buffer, LONG count, BOOL, LONG* bytesRead) {
    *bytesRead = 0;
    if (ReadsExpired()) return E_FAIL;
    Lock();
    LONGLONG n = count < 0 ? 0 : count;
    if (position_ + n > length_) n = length_ - position_;
    DWORD t = Now();
    DWORD due = (DWORD)(position_ + n) / rate_;
    if (t - startTime_ < due) Sleep(startTime_ - t + due);
    std::memcpy(buffer, data_ + position_, (size_t)n);
    position_ += n;
    *bytesRead = (LONG)n;
    Unlock();
    return S_OK;
}

LONGLONG D_CMemStream::GetLength(LONGLONG* available) {
    if (available) {
        unsigned long long reachable = (unsigned long long)(DWORD)(Now() - startTime_) * rate_;
        *available = reachable < (unsigned long long)length_ ? (LONGLONG)reachable : length_;
    }
    return length_;
}

D_CMemStream* CreateMemStream(const void* data, DWORD lengthLow, LONG lengthHigh, DWORD rate) {
    if (rate == 0) return nullptr;   // the rate divides every read's due time
    LONGLONG length = ((LONGLONG)lengthHigh << 32) | lengthLow;
    if (length < 0) return nullptr;
    return new (std::nothrow) D_CMemStream(data, length, rate);
}

void DeleteMemStream(D_CMemStream* stream) { delete stream; }
