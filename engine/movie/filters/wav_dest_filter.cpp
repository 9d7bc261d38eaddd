// WAV writer filter.
#include "engine/movie/filters/wav_dest.h"
#include <cstring>
#include <new>
#include "engine/sound/sound_convert.h"
#include "engine/system/entry_points.h"
#include "engine/system/log.h"

static const CLSID CLSID_EngineWavDest = {0x3C78B8E2, 0x6C4D, 0x11D1, {0xAD, 0xE2, 0x00, 0x00, 0xF8, 0x75, 0x4B, 0x99}};

D_CWavDestFilter::D_CWavDestFilter(IUnknown* outer, HRESULT* result)
    : D_CTransformFilter(nullptr, outer, CLSID_EngineWavDest), written_(0), headerSize_(0) {
    if (result && FAILED(*result)) return;
    HRESULT hr = S_OK;
    output_ = new (std::nothrow) D_CWavDestOutputPin(this, &hr);
    if (!output_ || FAILED(hr)) {
        if (result) *result = output_ ? hr : E_OUTOFMEMORY;
        delete output_;
        output_ = nullptr;
        return;
    }
    input_ = new (std::nothrow) D_CTransformInputPin("WavDest input pin", this, &hr, L"In");
    if (!input_ || FAILED(hr)) {
        if (result) *result = input_ ? hr : E_OUTOFMEMORY;
        delete input_;
        input_ = nullptr;
    }
}

D_CWavDestFilter* CreateWavDestFilter(IUnknown* outer, HRESULT* result) {
    HRESULT hr = S_OK;
    D_CWavDestFilter* f = new (std::nothrow) D_CWavDestFilter(outer, &hr);
    if (!f) hr = E_OUTOFMEMORY;
    else if (FAILED(hr) || !f->InputPin() || !f->OutputPin()) {
        if (SUCCEEDED(hr)) hr = E_OUTOFMEMORY;
        delete f;
        f = nullptr;
    }
    if (result) *result = hr;
    return f;
}

HRESULT D_CWavDestFilter::IsInputTypeAcceptable(const AM_MEDIA_TYPE* type) {
    return IsEqualGUID(type->formattype, FORMAT_WaveFormatEx) ? S_OK : S_FALSE;
}

HRESULT D_CWavDestFilter::IsTransformAcceptable(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE*) {
    return SUCCEEDED(IsInputTypeAcceptable(in)) ? S_OK : IsInputTypeAcceptable(in);
}

HRESULT D_CWavDestFilter::GetOfferedMediaType(int position, D_CMediaType* type) {
    if (position != 0) return VFW_S_NO_MORE_ITEMS;
    if (!type) return E_POINTER;
    type->SetMajorType(MEDIATYPE_Stream);
    type->SetSubtype(MEDIASUBTYPE_WAVE);
    return S_OK;
}

HRESULT D_CWavDestFilter::SetBufferRequirements(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props) {
    if (!input_ || !input_->IsConnected()) return E_UNEXPECTED;
    if (!allocator || !props) return E_POINTER;
    IMemAllocator* upstream = nullptr;
    HRESULT hr = input_->GetAllocator(&upstream);
    if (FAILED(hr)) return hr;
    ALLOCATOR_PROPERTIES in;
    hr = upstream->GetProperties(&in);
    upstream->Release();
    if (FAILED(hr)) return hr;
    props->cBuffers = 1;
    props->cbAlign = 1;
    props->cbBuffer = in.cbBuffer;
    ALLOCATOR_PROPERTIES granted;
    hr = allocator->SetProperties(props, &granted);
    if (FAILED(hr)) return hr;
    return granted.cBuffers < 1 || granted.cbBuffer < props->cbBuffer ? E_FAIL : S_OK;
}

HRESULT D_CWavDestFilter::BeginStreaming() {
    written_ = 0;
    headerSize_ = 28 + input_->CurrentMediaType().cbFormat;
    return S_OK;
}

HRESULT D_CWavDestFilter::TransformSample(IMediaSample* in, IMediaSample* out) {
    if (!in || !out) return E_POINTER;
    BYTE* from = nullptr;
    BYTE* to = nullptr;
    in->GetPointer(&from);
    out->GetPointer(&to);
    LONG n = in->GetActualDataLength();
    // The output pool is sized from the input's; a larger sample is refused, not overrun.
    if (n < 0 || n > out->GetSize()) return E_FAIL;
    std::memcpy(to, from, n);
    REFERENCE_TIME a, b;
    if (SUCCEEDED(in->GetTime(&a, &b))) out->SetTime(&a, &b);
    LONGLONG ma, mb;
    if (in->GetMediaTime(&ma, &mb) == S_OK) out->SetMediaTime(&ma, &mb);
    AM_MEDIA_TYPE* type = nullptr;
    if (in->GetMediaType(&type) == S_OK) {
        out->SetMediaType(type);
        DeleteMediaType(type);
    }
    out->SetActualDataLength(n);
    LONGLONG position = (LONGLONG)headerSize_ + written_;
    if (position + n > 0xFFFFFFFFLL) return E_FAIL;
    REFERENCE_TIME start = position, stop = position + n;
    out->SetTime(&start, &stop);
    written_ += n;
    return S_OK;
}

HRESULT D_CWavDestFilter::ReceiveSample(IMediaSample* sample) {
    DWORD before = written_;
    HRESULT hr = D_CTransformFilter::ReceiveSample(sample);
    if (hr != S_OK) written_ = before;   // a failed delivery does not count its bytes
    return hr;
}

// The downstream pin may be no file writer at all (a null renderer): the stop
// still goes through, and the lost header is told to the log and the graph.
HRESULT D_CWavDestFilter::EndStreaming() {
    HRESULT hr = WriteHeader();
    if (FAILED(hr)) {
        LogAppendFormat("WAV ファイルのヘッダの書き込みに失敗しました ( HRESULT 0x%08lx )", hr);
        FilterNotifyEvent(EC_ERRORABORT, hr, 0);
    }
    return hr;
}

HRESULT D_CWavDestFilter::WriteHeader() {
    if (!output_ || !output_->IsConnected()) return E_FAIL;
    IStream* stream = nullptr;
    HRESULT hr = output_->GetConnected()->QueryInterface(IID_IStream, (void**)&stream);
    if (FAILED(hr)) return hr;
    const AM_MEDIA_TYPE& in = input_->CurrentMediaType();
    DWORD formatSize = in.cbFormat;
    DWORD size = 28 + formatSize;
    // Sized for the format actually connected, not for a fixed record.
    BYTE* header = new (std::nothrow) BYTE[(size + 3) & ~3u];
    if (!header) {
        stream->Release();
        return E_OUTOFMEMORY;
    }
    PutWaveFileHeader(header, in.pbFormat, formatSize, written_);
    LARGE_INTEGER zero = {};
    hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    if (SUCCEEDED(hr)) hr = stream->Write(header, size, nullptr);
    stream->Release();
    delete[] header;
    return hr;
}

D_CWavDestOutputPin::D_CWavDestOutputPin(D_CTransformFilter* filter, HRESULT* result)
    : D_CTransformOutputPin("WavDest output pin", filter, result, L"Out") {}

HRESULT D_CWavDestOutputPin::AcceptsMediaType(const AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    return IsEqualGUID(type->majortype, MEDIATYPE_Stream) && IsEqualGUID(type->subtype, MEDIASUBTYPE_WAVE) ? S_OK
                                                                                                           : S_FALSE;
}
