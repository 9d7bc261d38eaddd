// COM test kit for the media filters.
#include "movie/filters/com_kit.h"

#include <cstring>

namespace filtertest {

Worker::Worker(std::function<void()> fn) : fn_(std::move(fn)) { thread_ = CreateThread(nullptr, 0, Main, this, 0, nullptr); }

Worker::~Worker() {
    if (thread_) {
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
    }
}

bool Worker::Join(DWORD ms) { return thread_ && WaitForSingleObject(thread_, ms) == WAIT_OBJECT_0; }

DWORD WINAPI Worker::Main(void* self) {
    WinApi.CoInitialize(nullptr);
    ((Worker*)self)->fn_();
    WinApi.CoUninitialize();
    return 0;
}

TestType::TestType(const GUID& major, const GUID& sub, const GUID& format, int formatBytes, BYTE fill) {
    majortype = major;
    subtype = sub;
    formattype = format;
    if (formatBytes > 0) {
        // Fixture members are made before SetUp loads the entry points.
        if (!WinApi.CoTaskMemAlloc) LoadPlatformEntryPoints();
        pbFormat = (BYTE*)WinApi.CoTaskMemAlloc(formatBytes);
        cbFormat = formatBytes;
        std::memset(pbFormat, fill, formatBytes);
    }
}

HRESULT STDMETHODCALLTYPE FakeOuter::QueryInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IUnknown)) {
        *out = this;
        AddRef();
        return S_OK;
    }
    return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
}

FakeGraph::FakeGraph() { InitializeCriticalSection(&lock); }
FakeGraph::~FakeGraph() { DeleteCriticalSection(&lock); }

int FakeGraph::Count(LONG code) {
    EnterCriticalSection(&lock);
    int n = 0;
    for (const Event& e : events) n += e.code == code;
    LeaveCriticalSection(&lock);
    return n;
}

HRESULT STDMETHODCALLTYPE FakeGraph::QueryInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IFilterGraph) || IsEqualIID(iid, IID_IGraphBuilder) ||
        (offerGraph2 && IsEqualIID(iid, IID_IFilterGraph2)))
        *out = static_cast<IFilterGraph2*>(this);
    else if (IsEqualIID(iid, IID_IMediaEventSink))
        *out = static_cast<IMediaEventSink*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeGraph::Notify(LONG code, LONG_PTR p1, LONG_PTR p2) {
    EnterCriticalSection(&lock);
    events.push_back({code, p1, p2});
    LeaveCriticalSection(&lock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeGraph::Reconnect(IPin* pin) {
    reconnected.push_back(pin);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeGraph::ReconnectEx(IPin* pin, const AM_MEDIA_TYPE*) {
    reconnected.push_back(pin);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeClock::QueryInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IReferenceClock)) {
        *out = this;
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE FakeClock::GetTime(REFERENCE_TIME* t) {
    if (FAILED(failWith)) return failWith;
    *t = now;
    return S_OK;
}

static bool InList(const std::vector<const AM_MEDIA_TYPE*>& list, const AM_MEDIA_TYPE* type) {
    for (const AM_MEDIA_TYPE* t : list)
        if (MediaTypeEquals(t, type)) return true;
    return false;
}

static HRESULT OfferFrom(const std::vector<const AM_MEDIA_TYPE*>& list, int position, D_CMediaType* type) {
    if (position < 0) return E_INVALIDARG;
    if (position >= (int)list.size()) return VFW_S_NO_MORE_ITEMS;
    return type->Assign(*list[position]);
}

TestSourcePin::TestSourcePin(TestSource* filter, HRESULT* hr)
    : D_CBaseOutputPin("Test source pin", filter, &filter->lock, hr, L"Out"), source(filter) {}

HRESULT TestSourcePin::AcceptsMediaType(const AM_MEDIA_TYPE* type) {
    return InList(source->offered, type) ? S_OK : S_FALSE;
}

HRESULT TestSourcePin::OfferedMediaType(int position, D_CMediaType* type) {
    return OfferFrom(source->offered, position, type);
}

HRESULT TestSourcePin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    ALLOCATOR_PROPERTIES want = source->wanted, got;
    if (request->cBuffers > want.cBuffers) want.cBuffers = request->cBuffers;
    if (request->cbBuffer > want.cbBuffer) want.cbBuffer = request->cbBuffer;
    return allocator->SetProperties(&want, &got);
}

HRESULT TestSourcePin::Deliver(int n, BYTE fill, REFERENCE_TIME start) {
    IMediaSample* s = nullptr;
    REFERENCE_TIME stop = start + 10000;
    HRESULT hr = AcquireBuffer(&s, &start, &stop, 0);
    if (FAILED(hr)) return hr;
    if (n > s->GetSize()) {
        s->Release();
        return E_INVALIDARG;
    }
    BYTE* p = nullptr;
    s->GetPointer(&p);
    std::memset(p, fill, n);
    s->SetActualDataLength(n);
    s->SetTime(&start, &stop);
    hr = SendSample(s);
    s->Release();
    return hr;
}

TestSource::TestSource(IUnknown* outer) : D_CBaseFilter("Test source", outer, &lock, CLSID_NULL) {
    InitializeCriticalSection(&lock);
    HRESULT hr = S_OK;
    pin = new TestSourcePin(this, &hr);
}

TestSource::~TestSource() {
    delete pin;
    DeleteCriticalSection(&lock);
}

TestSinkPin::TestSinkPin(TestSink* filter, HRESULT* hr)
    : D_CBaseInputPin("Test sink pin", filter, &filter->lock, hr, L"In"), sink(filter) {}

HRESULT STDMETHODCALLTYPE TestSinkPin::QueryInterfaceInner(REFIID iid, void** out) {
    if (out && sink->stream && IsEqualIID(iid, IID_IStream)) return ReturnInterfaceAddRef(sink->stream, out);
    return D_CBaseInputPin::QueryInterfaceInner(iid, out);
}

HRESULT TestSinkPin::AcceptsMediaType(const AM_MEDIA_TYPE* type) {
    return sink->accepted.empty() || InList(sink->accepted, type) ? S_OK : sink->refusal;
}

HRESULT TestSinkPin::OfferedMediaType(int position, D_CMediaType* type) {
    return OfferFrom(sink->offered, position, type);
}

HRESULT STDMETHODCALLTYPE TestSinkPin::Receive(IMediaSample* sample) {
    HRESULT hr = D_CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    BYTE* p = nullptr;
    sample->GetPointer(&p);
    LONG n = sample->GetActualDataLength();
    EnterCriticalSection(&sink->lock);
    sink->lastData.assign(p, p + n);
    REFERENCE_TIME start, stop;
    if (sink->stream && SUCCEEDED(sample->GetTime(&start, &stop))) {
        LARGE_INTEGER at;
        at.QuadPart = start;
        sink->stream->Seek(at, STREAM_SEEK_SET, nullptr);
        sink->stream->Write(p, n, nullptr);
    }
    LeaveCriticalSection(&sink->lock);
    sink->bytes += n;
    ++sink->samples;
    return sink->answer;
}

HRESULT STDMETHODCALLTYPE TestSinkPin::EndOfStream() {
    ++sink->endOfStreams;
    if (sink->holdEndOfStream) WaitForSingleObject(sink->holdEndOfStream, INFINITE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestSinkPin::BeginFlush() {
    flushing_ = true;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestSinkPin::EndFlush() {
    flushing_ = false;
    return S_OK;
}

TestSink::TestSink(IUnknown* outer) : D_CBaseFilter("Test sink", outer, &lock, CLSID_NULL) {
    InitializeCriticalSection(&lock);
    HRESULT hr = S_OK;
    pin = new TestSinkPin(this, &hr);
}

TestSink::~TestSink() {
    delete pin;
    DeleteCriticalSection(&lock);
}

NullInPlace::NullInPlace(bool modifies, IUnknown* outer)
    : D_CTransInPlaceFilter("Null in-place", outer, CLSID_NULL, nullptr, modifies) {}

HRESULT NullInPlace::IsInputTypeAcceptable(const AM_MEDIA_TYPE* type) {
    if (only && !IsEqualGUID(only->majortype, type->majortype)) return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT NullInPlace::TransformInPlace(IMediaSample* sample) {
    ++transformed;
    if (modifiesData_) {
        BYTE* p = nullptr;
        sample->GetPointer(&p);
        for (LONG i = 0, n = sample->GetActualDataLength(); i < n; ++i) ++p[i];
    }
    return answer;
}

HRESULT GraphChain::Create(bool modifies) {
    HRESULT hr = WinApi.CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                         (void**)&graph);
    if (FAILED(hr)) return hr;
    hr = graph->QueryInterface(IID_IMediaControl, (void**)&control);
    if (FAILED(hr)) return hr;
    source = new TestSource;
    inPlace = new NullInPlace(modifies);
    sink = new TestSink;
    if (FAILED(hr = graph->AddFilter(source->FilterInterface(), L"source"))) return hr;
    if (FAILED(hr = graph->AddFilter(inPlace->FilterInterface(), L"in place"))) return hr;
    return graph->AddFilter(sink->FilterInterface(), L"sink");
}

HRESULT GraphChain::Connect(const AM_MEDIA_TYPE* upstream, const AM_MEDIA_TYPE* downstream) {
    HRESULT hr = graph->ConnectDirect(source->pin, inPlace->PinAt(0)->PinInterface(), upstream);
    if (FAILED(hr)) return hr;
    return graph->ConnectDirect(inPlace->PinAt(1)->PinInterface(), sink->pin, downstream);
}

void GraphChain::Release() {
    if (control) {
        control->Stop();
        control->Release();
    }
    if (graph) graph->Release();
    control = nullptr;
    graph = nullptr;
}

}  // namespace filtertest
