// Output pin of the asynchronous reader: IAsyncReader over the I/O engine.
// Its IAsyncReader methods take no filter lock: the parser reads on its own
// thread while the graph thread is still inside our connection.
#include "engine/movie/filters/async_reader.h"
#include <new>
#include "engine/movie/filters/allocator.h"

static const LONGLONG kUnitsPerByte = 10000000;

D_CAsyncOutputPin::D_CAsyncOutputPin(HRESULT* result, D_CAsyncReader* reader, D_CAsyncIo* io, CRITICAL_SECTION* lock)
    : D_CBasePin("Async output pin", reader, lock, result, L"Output", PINDIR_OUTPUT), reader_(reader), io_(io),
      askedForReader_(FALSE) {}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::QueryInterfaceInner(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IAsyncReader)) {
        askedForReader_ = TRUE;
        return ReturnInterfaceAddRef(static_cast<IAsyncReader*>(this), out);
    }
    return D_CBasePin::QueryInterfaceInner(iid, out);
}

HRESULT D_CAsyncOutputPin::VerifyPeer(IPin* pin) {
    askedForReader_ = FALSE;
    return D_CBasePin::VerifyPeer(pin);
}

HRESULT D_CAsyncOutputPin::ReleaseConnection() {
    askedForReader_ = FALSE;
    return S_OK;
}

// A peer that never asked for IAsyncReader cannot read from us.
HRESULT D_CAsyncOutputPin::FinishConnection(IPin*) { return askedForReader_ ? S_OK : E_FAIL; }

HRESULT D_CAsyncOutputPin::AcceptsMediaType(const AM_MEDIA_TYPE* type) {
    D_CAutoLock hold(lock_);
    const D_CMediaType& mine = reader_->MediaType();
    if (!IsEqualGUID(mine.majortype, type->majortype)) return S_FALSE;
    return IsEqualGUID(mine.subtype, GUID_NULL) || IsEqualGUID(mine.subtype, type->subtype) ? S_OK : S_FALSE;
}

HRESULT D_CAsyncOutputPin::OfferedMediaType(int position, D_CMediaType* type) {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    if (!type) return E_POINTER;
    if (!reader_) return E_UNEXPECTED;
    return type->Assign(reader_->MediaType());
}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
    return reader_->ConnectOutputPin(receivePin, type);
}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* props,
                                                              IMemAllocator** actual) {
    if (!preferred || !props || !actual) return E_POINTER;
    LONG a = io_->Align();
    if (props->cbAlign == 0 || (props->cbAlign & (a - 1))) props->cbAlign = a;
    ALLOCATOR_PROPERTIES got;
    HRESULT hr = preferred->SetProperties(props, &got);
    if (SUCCEEDED(hr) && (got.cbAlign & (a - 1)) == 0) {
        preferred->AddRef();
        *actual = preferred;
        return S_OK;
    }
    HRESULT made = S_OK;
    D_CMemAllocator* own = new (std::nothrow) D_CMemAllocator("AsyncReader allocator", nullptr, &made);
    if (!own) return E_OUTOFMEMORY;
    if (FAILED(made)) {
        delete own;
        return made;
    }
    IMemAllocator* itf = nullptr;
    hr = own->QueryInterface(IID_IMemAllocator, (void**)&itf);
    if (FAILED(hr)) {
        delete own;
        return E_NOINTERFACE;
    }
    hr = itf->SetProperties(props, &got);
    if (SUCCEEDED(hr) && (got.cbAlign & (a - 1)) == 0) {
        *actual = itf;
        return S_OK;
    }
    itf->Release();
    return FAILED(hr) ? hr : VFW_E_BADALIGN;
}

HRESULT D_CAsyncOutputPin::SampleTarget(IMediaSample* sample, LONGLONG* position, LONG* length, BYTE** buffer) {
    REFERENCE_TIME start, stop;
    HRESULT hr = sample->GetTime(&start, &stop);
    if (FAILED(hr)) return hr;
    LONGLONG pos = start / kUnitsPerByte;
    LONGLONG len = (stop - start) / kUnitsPerByte;
    LONGLONG total = 0;
    io_->Length(&total, nullptr);
    // A range that starts beyond the stream, or runs backwards, is no read at all.
    if (pos < 0 || len < 0 || len > 0x7FFFFFFF || pos > total) return E_INVALIDARG;
    if (pos + len > total) {
        LONG a = io_->Align();
        LONGLONG alignedTotal = (total + a - 1) / a * a;
        if (pos + len > alignedTotal) {
            len = alignedTotal - pos;
            REFERENCE_TIME newStop = alignedTotal * kUnitsPerByte;
            sample->SetTime(&start, &newStop);
        }
    }
    if (len > sample->GetSize()) return E_INVALIDARG;
    *position = pos;
    *length = (LONG)len;
    *buffer = nullptr;
    return sample->GetPointer(buffer);
}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::Request(IMediaSample* sample, DWORD_PTR user) {
    if (!sample) return E_POINTER;
    LONGLONG position;
    LONG length;
    BYTE* buffer;
    HRESULT hr = SampleTarget(sample, &position, &length, &buffer);
    if (FAILED(hr)) return hr;
    return io_->Request(position, length, TRUE, buffer, sample, user);
}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::SyncReadAligned(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    LONGLONG position;
    LONG length;
    BYTE* buffer;
    HRESULT hr = SampleTarget(sample, &position, &length, &buffer);
    if (FAILED(hr)) return hr;
    LONG got = 0;
    hr = io_->SyncReadAligned(position, length, buffer, &got, sample);
    sample->SetActualDataLength(got);
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::WaitForNext(DWORD timeout, IMediaSample** sample, DWORD_PTR* user) {
    if (!sample) return E_POINTER;
    LONG got = 0;
    HRESULT hr = io_->WaitForNext(timeout, sample, user, &got);
    if (SUCCEEDED(hr) && *sample) (*sample)->SetActualDataLength(got);
    return hr;
}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::SyncRead(LONGLONG position, LONG length, BYTE* buffer) {
    return io_->SyncRead(position, length, buffer);
}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::Length(LONGLONG* total, LONGLONG* available) {
    return io_->Length(total, available);
}

HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::BeginFlush() { return io_->BeginFlush(); }
HRESULT STDMETHODCALLTYPE D_CAsyncOutputPin::EndFlush() { return io_->EndFlush(); }
