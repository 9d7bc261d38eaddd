// I/O engine of the asynchronous reader: queued requests carried out by a
// worker thread, synchronous reads carried out at once.
#include "engine/movie/filters/async_reader.h"
#include <new>

void D_CAsyncRequest::Complete() {
    stream->Lock();
    HRESULT hr = stream->SetPosition(position);
    if (hr == S_OK) {
        LONG got = 0;
        hr = stream->Read(buffer, length, aligned, &got);
        if (hr == 0x00040000 && sample) {
            sample->SetDiscontinuity(TRUE);
            hr = S_OK;
        }
        if (SUCCEEDED(hr)) {
            if (got != length) {
                length = got;
                hr = S_FALSE;
            } else {
                hr = S_OK;
            }
        }
    } else {
        // Nothing can be read from beyond the end.
        length = 0;
        hr = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
    }
    stream->Unlock();
    result = hr;
}

D_CAsyncIo::D_CAsyncIo(D_CAsyncStream* stream)
    : stream_(stream), flushing_(FALSE), workEvent_(TRUE), doneEvent_(TRUE), pending_(0), waitingForFlush_(FALSE),
      allDone_(FALSE), stopEvent_(TRUE), thread_(nullptr) {
    InitializeCriticalSection(&lock_);
}

D_CAsyncIo::~D_CAsyncIo() {
    BeginFlush();
    StopThread();
    while (D_CAsyncRequest* r = (D_CAsyncRequest*)done_.RemoveHead()) delete r;
    DeleteCriticalSection(&lock_);
}

LONG D_CAsyncIo::Align() const {
    LONG a = stream_->GetAlignment();
    return a > 0 ? a : 1;
}

HRESULT D_CAsyncIo::PutWorkItem(D_CAsyncRequest* request) {
    D_CAutoLock hold(&lock_);
    if (flushing_) return VFW_E_WRONG_STATE;
    if (!work_.AddTail(request)) return E_OUTOFMEMORY;
    workEvent_.Set();
    if (!thread_) {
        thread_ = CreateThread(nullptr, 0, AsyncIoThreadProc, this, 0, nullptr);
        if (!thread_) {
            work_.Remove(work_.Find(request));
            if (work_.Count() == 0) workEvent_.Reset();
            return HRESULT_FROM_WIN32(GetLastError());
        }
    }
    return S_OK;
}

D_CAsyncRequest* D_CAsyncIo::GetWorkItem() {
    D_CAsyncRequest* r = (D_CAsyncRequest*)work_.RemoveHead();
    if (work_.Count() == 0) workEvent_.Reset();
    return r;
}

D_CAsyncRequest* D_CAsyncIo::GetDoneItem() {
    D_CAsyncRequest* r = (D_CAsyncRequest*)done_.RemoveHead();
    if (done_.Count() == 0 && (!flushing_ || waitingForFlush_)) doneEvent_.Reset();
    return r;
}

HRESULT D_CAsyncIo::PutDoneItem(D_CAsyncRequest* request) {
    if (!done_.AddTail(request)) return E_OUTOFMEMORY;
    doneEvent_.Set();
    return S_OK;
}

HRESULT D_CAsyncIo::Request(LONGLONG position, LONG length, BOOL aligned, BYTE* buffer, IMediaSample* sample,
                            DWORD_PTR user) {
    if (aligned && (!IsAligned(position) || !IsAligned(length) || !IsAligned((LONG_PTR)buffer))) return VFW_E_BADALIGN;
    D_CAsyncRequest* r = new (std::nothrow) D_CAsyncRequest{this, stream_, position, aligned, length, buffer, sample,
                                                            user, VFW_E_TIMEOUT};
    if (!r) return E_OUTOFMEMORY;
    HRESULT hr = PutWorkItem(r);
    if (FAILED(hr)) delete r;
    return hr;
}

HRESULT D_CAsyncIo::WaitForNext(DWORD timeout, IMediaSample** sample, DWORD_PTR* user, LONG* bytes) {
    if (!sample || !user || !bytes) return E_POINTER;
    *sample = nullptr;
    D_CAsyncRequest* r = nullptr;
    for (;;) {
        if (!doneEvent_.Wait(timeout)) return VFW_E_TIMEOUT;
        D_CAutoLock hold(&lock_);
        r = GetDoneItem();
        if (r) break;
        if (flushing_ && !waitingForFlush_) return VFW_E_WRONG_STATE;
    }
    HRESULT hr = r->result;
    if (hr == S_FALSE) {
        LONGLONG total = 0;
        Length(&total, nullptr);
        hr = r->position + r->length == total ? S_OK : E_FAIL;
    }
    *bytes = r->length;
    *sample = r->sample;
    *user = r->user;
    delete r;
    return hr;
}

HRESULT D_CAsyncIo::SyncReadAligned(LONGLONG position, LONG length, BYTE* buffer, LONG* bytes, IMediaSample* sample) {
    if (!bytes) return E_POINTER;
    if (!IsAligned(position) || !IsAligned(length) || !IsAligned((LONG_PTR)buffer)) return VFW_E_BADALIGN;
    D_CAsyncRequest r = {this, stream_, position, TRUE, length, buffer, sample, 0, VFW_E_TIMEOUT};
    r.Complete();
    *bytes = r.length;
    return r.result;
}

HRESULT D_CAsyncIo::SyncRead(LONGLONG position, LONG length, BYTE* buffer) {
    if (IsAligned(position) && IsAligned(length) && IsAligned((LONG_PTR)buffer)) {
        LONG unused;
        return SyncReadAligned(position, length, buffer, &unused, nullptr);
    }
    D_CAsyncRequest r = {this, stream_, position, FALSE, length, buffer, nullptr, 0, VFW_E_TIMEOUT};
    r.Complete();
    return r.result;
}

HRESULT D_CAsyncIo::Length(LONGLONG* total, LONGLONG* available) {
    if (!total) return E_POINTER;
    *total = stream_->GetLength(available);
    return S_OK;
}

HRESULT D_CAsyncIo::Alignment(LONG* out) {
    if (!out) return E_POINTER;
    *out = Align();
    return S_OK;
}

HRESULT D_CAsyncIo::BeginFlush() {
    EnterCriticalSection(&lock_);
    flushing_ = TRUE;
    while (D_CAsyncRequest* r = GetWorkItem()) PutDoneItem(r);
    if (pending_ > 0) {
        waitingForFlush_ = TRUE;
        while (pending_ > 0) {
            LeaveCriticalSection(&lock_);
            allDone_.Wait();
            EnterCriticalSection(&lock_);
        }
        waitingForFlush_ = FALSE;
    }
    // Every waiter wakes and drains what is left.
    doneEvent_.Set();
    LeaveCriticalSection(&lock_);
    return S_OK;
}

HRESULT D_CAsyncIo::EndFlush() {
    D_CAutoLock hold(&lock_);
    flushing_ = FALSE;
    if (done_.Count() > 0) doneEvent_.Set();
    else doneEvent_.Reset();
    return S_OK;
}

void D_CAsyncIo::ProcessRequests() {
    EnterCriticalSection(&lock_);
    while (D_CAsyncRequest* r = GetWorkItem()) {
        ++pending_;
        LeaveCriticalSection(&lock_);
        r->Complete();
        EnterCriticalSection(&lock_);
        PutDoneItem(r);
        if (--pending_ == 0 && waitingForFlush_) allDone_.Set();
    }
    LeaveCriticalSection(&lock_);
}

DWORD WINAPI D_CAsyncIo::AsyncIoThreadProc(void* self) {
    D_CAsyncIo* io = (D_CAsyncIo*)self;
    HANDLE events[2] = {io->stopEvent_.Handle(), io->workEvent_.Handle()};
    for (;;) {
        DWORD r = WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (r != WAIT_OBJECT_0 + 1) return 0;
        io->ProcessRequests();
    }
}

void D_CAsyncIo::StopThread() {
    if (!thread_) return;
    stopEvent_.Set();
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
}
