// In-place transform: samples pass through changed in place, one allocator
// shared across the chain where it can be.
#include "engine/movie/filters/transform.h"
#include <cstring>
#include <new>

D_CTransInPlaceFilter::D_CTransInPlaceFilter(const char* objectName, IUnknown* outer, REFCLSID clsid, HRESULT*,
                                             bool modifiesData)
    : D_CTransformFilter(objectName, outer, clsid), modifiesData_(modifiesData) {}

D_CTransformInputPin* D_CTransInPlaceFilter::NewInputPin(HRESULT* hr) {
    return new (std::nothrow) D_CTransInPlaceInputPin("TransInPlace input pin", this, hr, L"Input");
}

D_CTransformOutputPin* D_CTransInPlaceFilter::NewOutputPin(HRESULT* hr) {
    return new (std::nothrow) D_CTransInPlaceOutputPin("TransInPlace output pin", this, hr, L"Output");
}

HRESULT D_CTransInPlaceFilter::OnPinConnectComplete(PIN_DIRECTION dir, IPin*) {
    if (!graph_) return VFW_E_NOT_IN_GRAPH;
    if (dir == PINDIR_OUTPUT) {
        if (input_ && input_->IsConnected())
            return ReconnectPin(input_->PinInterface(), &output_->CurrentMediaType());
        return S_OK;
    }
    if (output_ && output_->IsConnected() && output_->CurrentMediaType() != input_->CurrentMediaType())
        return ReconnectPin(output_->PinInterface(), &input_->CurrentMediaType());
    return S_OK;
}

HRESULT D_CTransInPlaceFilter::SetBufferRequirements(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props) {
    ALLOCATOR_PROPERTIES wanted = {1, 1, 0, 0};
    if (input_ && input_->IsConnected() && input_->Allocator()) {
        HRESULT hr = input_->Allocator()->GetProperties(&wanted);
        if (FAILED(hr)) return hr;
    }
    props->cBuffers = wanted.cBuffers < 1 ? 1 : wanted.cBuffers;
    props->cbBuffer = wanted.cbBuffer < 1 ? 1 : wanted.cbBuffer;
    props->cbAlign = wanted.cbAlign;
    ALLOCATOR_PROPERTIES granted;
    HRESULT hr = allocator->SetProperties(props, &granted);
    if (FAILED(hr)) return hr;
    if (granted.cBuffers < wanted.cBuffers || granted.cbBuffer < wanted.cbBuffer || granted.cbAlign < wanted.cbAlign)
        return E_FAIL;
    return S_OK;
}

IMediaSample* D_CTransInPlaceFilter::CopySampleForInPlace(IMediaSample* source) {
    IMemAllocator* allocator = output_->Allocator();
    if (!allocator) return nullptr;
    REFERENCE_TIME start = 0, stop = 0;
    bool timed = SUCCEEDED(source->GetTime(&start, &stop));
    IMediaSample* copy = nullptr;
    HRESULT hr = allocator->GetBuffer(&copy, timed ? &start : nullptr, timed ? &stop : nullptr,
                                      sampleSkipped_ ? AM_GBF_PREVFRAMESKIPPED : 0);
    if (FAILED(hr) || !copy) return nullptr;
    // A destination smaller than the data would be overrun: refuse the copy.
    LONG n = source->GetActualDataLength();
    if (n < 0 || n > copy->GetSize()) {
        copy->Release();
        return nullptr;
    }
    IMediaSample2* copy2 = nullptr;
    if (SUCCEEDED(copy->QueryInterface(IID_IMediaSample2, (void**)&copy2)) && copy2) {
        AM_SAMPLE2_PROPERTIES p = input_->SampleProps();
        p.cbData = 40;
        hr = copy2->SetProperties(40, (const BYTE*)&p);
        copy2->Release();
        if (FAILED(hr)) {
            copy->Release();
            return nullptr;
        }
    } else {
        if (timed) copy->SetTime(&start, &stop);
        if (source->IsSyncPoint() == S_OK) copy->SetSyncPoint(TRUE);
        if (source->IsDiscontinuity() == S_OK || sampleSkipped_) copy->SetDiscontinuity(TRUE);
        if (source->IsPreroll() == S_OK) copy->SetPreroll(TRUE);
        AM_MEDIA_TYPE* type = nullptr;
        if (source->GetMediaType(&type) == S_OK) {
            copy->SetMediaType(type);
            DeleteMediaType(type);
        }
    }
    sampleSkipped_ = false;
    LONGLONG mStart, mStop;
    if (source->GetMediaTime(&mStart, &mStop) == S_OK) copy->SetMediaTime(&mStart, &mStop);
    BYTE* from = nullptr;
    BYTE* to = nullptr;
    source->GetPointer(&from);
    copy->GetPointer(&to);
    if (copy->SetActualDataLength(n) != S_OK || !from || !to) {
        copy->Release();
        return nullptr;
    }
    std::memcpy(to, from, n);
    return copy;
}

HRESULT D_CTransInPlaceFilter::ReceiveSample(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    if (input_->SampleProps().dwStreamId != 0)
        return output_->IsConnected() ? output_->SendSample(sample) : S_OK;
    IMediaSample* copy = nullptr;
    if (input_->Allocator() != output_->Allocator()) {
        copy = CopySampleForInPlace(sample);
        if (!copy) return E_UNEXPECTED;
        sample = copy;
    }
    HRESULT hr = TransformInPlace(sample);
    if (hr == S_OK) hr = output_->SendSample(sample);
    if (copy) copy->Release();
    return hr;
}
