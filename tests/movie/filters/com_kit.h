// COM test kit for the media filters: a fake outer unknown, a fake graph that
// records events, a fake clock, a test source and a test sink built on the
// engine's own pin classes, and a null in-place transform.
#pragma once
#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <functional>
#include <vector>

#include "engine/movie/filters/allocator.h"
#include "engine/movie/filters/base_filter.h"
#include "engine/movie/filters/transform.h"
#include "engine/system/entry_points.h"
#include "support/time_limit.h"

namespace filtertest {

// Starts fn on a thread of its own (COM initialised there); Join waits at most ms.
class Worker {
public:
    explicit Worker(std::function<void()> fn);
    ~Worker();
    bool Join(DWORD ms);

private:
    static DWORD WINAPI Main(void* self);
    std::function<void()> fn_;
    HANDLE thread_;
};

// Media types made for tests: a major type and subtype, optionally a format block.
struct TestType : D_CMediaType {
    TestType(const GUID& major, const GUID& sub, const GUID& format = GUID_NULL, int formatBytes = 0, BYTE fill = 0);
};

// Aggregates an inner object and counts references on itself.
class FakeOuter : public IUnknown {
public:
    IUnknown* inner = nullptr;   // the inner's non-delegating unknown
    std::atomic<LONG> refs{1};
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

// A filter graph that records what its filters tell it.
class FakeGraph : public IFilterGraph2, public IMediaEventSink {
public:
    struct Event {
        LONG code;
        LONG_PTR p1, p2;
    };
    std::vector<Event> events;
    std::vector<IPin*> reconnected;
    bool offerGraph2 = true;
    std::atomic<LONG> refs{1};
    CRITICAL_SECTION lock;
    FakeGraph();
    ~FakeGraph();
    int Count(LONG code);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE Notify(LONG code, LONG_PTR p1, LONG_PTR p2) override;
    HRESULT STDMETHODCALLTYPE Reconnect(IPin* pin) override;
    HRESULT STDMETHODCALLTYPE ReconnectEx(IPin* pin, const AM_MEDIA_TYPE*) override;
    // Nothing else is used by the filters.
    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Disconnect(IPin*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Connect(IPin*, IPin*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Render(IPin*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetLogFile(DWORD_PTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Abort() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ShouldOperationContinue() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddSourceFilterForMoniker(IMoniker*, IBindCtx*, LPCWSTR, IBaseFilter**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RenderEx(IPin*, DWORD, DWORD*) override { return E_NOTIMPL; }
};

// A reference clock whose time the test sets.
class FakeClock : public IReferenceClock {
public:
    REFERENCE_TIME now = 0;
    HRESULT failWith = S_OK;
    std::atomic<LONG> refs{1};
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* t) override;
    HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HEVENT, DWORD_PTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD_PTR) override { return E_NOTIMPL; }
};

class TestSource;

// Push pin: offers its types in order, accepts only those, and delivers bytes.
class TestSourcePin : public D_CBaseOutputPin {
public:
    TestSourcePin(TestSource* filter, HRESULT* hr);
    HRESULT AcceptsMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT OfferedMediaType(int position, D_CMediaType* type) override;
    HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    // One sample of n bytes (value fill) at the given time; the Receive result.
    HRESULT Deliver(int n, BYTE fill, REFERENCE_TIME start = 0);

    TestSource* source;
};

class TestSource : public D_CBaseFilter {
public:
    explicit TestSource(IUnknown* outer = nullptr);
    ~TestSource() override;
    int PinCount() override { return pinCount; }
    D_CBasePin* PinAt(int n) override { return n == 0 && n < pinCount ? pin : nullptr; }
    // Raises the pin list version, as a filter that adds or removes pins does.
    void ChangePins(int count) {
        pinCount = count;
        ++pinListVersion_;
    }

    CRITICAL_SECTION lock;
    TestSourcePin* pin;
    int pinCount = 1;
    std::vector<const AM_MEDIA_TYPE*> offered;   // not owned
    ALLOCATOR_PROPERTIES wanted = {2, 4096, 1, 0};
};

class TestSink;

// Pull-free sink pin: accepts types from a list (or everything), records samples.
class TestSinkPin : public D_CBaseInputPin {
public:
    TestSinkPin(TestSink* filter, HRESULT* hr);
    HRESULT STDMETHODCALLTYPE QueryInterfaceInner(REFIID iid, void** out) override;
    HRESULT AcceptsMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT OfferedMediaType(int position, D_CMediaType* type) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;

    TestSink* sink;
};

class TestSink : public D_CBaseFilter {
public:
    explicit TestSink(IUnknown* outer = nullptr);
    ~TestSink() override;
    int PinCount() override { return 1; }
    D_CBasePin* PinAt(int n) override { return n == 0 ? pin : nullptr; }

    CRITICAL_SECTION lock;
    TestSinkPin* pin;
    std::vector<const AM_MEDIA_TYPE*> accepted;   // empty: everything; not owned
    std::vector<const AM_MEDIA_TYPE*> offered;
    HRESULT refusal = E_FAIL;                      // what a refused type answers
    std::atomic<int> samples{0};
    std::atomic<long long> bytes{0};
    std::atomic<int> endOfStreams{0};
    HANDLE holdEndOfStream = nullptr;              // when set, EndOfStream returns once it is signalled
    std::vector<BYTE> lastData;
    HRESULT answer = S_OK;                         // what Receive answers after the base checks
    // A file writer: the pin answers IStream, and samples land at their times as byte positions.
    IStream* stream = nullptr;
};

// In-place filter that counts samples and, when it modifies data, adds 1 to every byte.
class NullInPlace : public D_CTransInPlaceFilter {
public:
    explicit NullInPlace(bool modifies = false, IUnknown* outer = nullptr);
    HRESULT IsInputTypeAcceptable(const AM_MEDIA_TYPE* type) override;
    HRESULT TransformInPlace(IMediaSample* sample) override;

    std::atomic<int> transformed{0};
    const AM_MEDIA_TYPE* only = nullptr;   // accept only this major type when set
    HRESULT answer = S_OK;
};

// Our source -> a null in-place filter -> our sink inside the platform's filter graph.
struct GraphChain {
    IGraphBuilder* graph = nullptr;
    IMediaControl* control = nullptr;
    TestSource* source = nullptr;
    NullInPlace* inPlace = nullptr;
    TestSink* sink = nullptr;

    // Creates the graph and adds the three filters (the graph holds them).
    HRESULT Create(bool modifies = false);
    // Connects source -> in-place with the first type, in-place -> sink with the second.
    HRESULT Connect(const AM_MEDIA_TYPE* upstream, const AM_MEDIA_TYPE* downstream);
    // Stops the graph and releases everything.
    void Release();
    ~GraphChain() { Release(); }
};

}  // namespace filtertest
