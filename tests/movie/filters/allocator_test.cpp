// Allocators and media samples.
#include "movie/filters/filter_test.h"

#include <cstring>

using namespace filtertest;

namespace {

// A committed-ready memory allocator with one reference held by the test.
class AllocatorTest : public FilterTest {
protected:
    void SetUp() override {
        FilterTest::SetUp();
        HRESULT hr = S_OK;
        alloc = new D_CMemAllocator("test allocator", nullptr, &hr);
        ASSERT_EQ(S_OK, hr);
        alloc->AddRef();
    }
    void TearDown() override {
        alloc->Release();
        FilterTest::TearDown();
    }
    HRESULT Set(LONG count, LONG size, LONG align = 1, LONG prefix = 0) {
        ALLOCATOR_PROPERTIES req = {count, size, align, prefix};
        return alloc->SetProperties(&req, &actual);
    }
    D_CMemAllocator* alloc;
    ALLOCATOR_PROPERTIES actual;
};

TEST_F(AllocatorTest, SetPropertiesValidation) {
    struct Case {
        LONG count, size, align, prefix;
        HRESULT expect;
        LONG storedSize;
    } cases[] = {
        {1, 100, 0, 0, VFW_E_BADALIGN, 0},
        {1, 1000, 16, 8, S_OK, 1000},
        {1, 1001, 16, 8, S_OK, 1016},
        {4, 10, 1, 0, S_OK, 10},
        {1, 0x7FFFFFF0, 16, 0x20, E_INVALIDARG, 0},
        {1, -5, 1, 0, E_INVALIDARG, 0},
    };
    for (size_t i = 0; i < sizeof cases / sizeof *cases; ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(c.expect, Set(c.count, c.size, c.align, c.prefix)) << "case " << i;
        if (c.expect == S_OK) {
            EXPECT_EQ(c.storedSize, actual.cbBuffer) << "case " << i;
        }
    }
    LONG free = 0;
    ASSERT_EQ(S_OK, Set(4, 10));
    EXPECT_EQ(S_OK, alloc->GetFreeCount(&free));
    EXPECT_EQ(4, free) << "before Commit";
    ASSERT_EQ(S_OK, alloc->Commit());
    EXPECT_EQ(VFW_E_ALREADY_COMMITTED, Set(4, 10));
    IMediaSample* s = nullptr;
    ASSERT_EQ(S_OK, alloc->GetBuffer(&s, nullptr, nullptr, 0));
    alloc->Decommit();
    EXPECT_EQ(VFW_E_BUFFERS_OUTSTANDING, Set(4, 10));
    s->Release();
    EXPECT_EQ(S_OK, Set(4, 10));
}

TEST_F(AllocatorTest, BlockSizeOverflowIsRefused) {
    // 0x10001 samples of 0x10000 bytes wrap to one sample's worth in 32 bits.
    ASSERT_EQ(S_OK, Set(0x10001, 0x10000));
    EXPECT_EQ(E_OUTOFMEMORY, alloc->Commit());
    ASSERT_EQ(S_OK, Set(2, 100));
    EXPECT_EQ(S_OK, alloc->Commit());
    alloc->Decommit();
}

TEST_F(AllocatorTest, GetBufferWaitsAndIsWoken) {
    ASSERT_EQ(S_OK, Set(1, 64));
    IMediaSample* s = nullptr;
    EXPECT_EQ(VFW_E_NOT_COMMITTED, alloc->GetBuffer(&s, nullptr, nullptr, 0));
    ASSERT_EQ(S_OK, alloc->Commit());
    ASSERT_EQ(S_OK, alloc->GetBuffer(&s, nullptr, nullptr, 0));
    IMediaSample* other = nullptr;
    EXPECT_EQ(VFW_E_TIMEOUT, alloc->GetBuffer(&other, nullptr, nullptr, AM_GBF_NOWAIT));

    // A waiter gets the sample once it is released...
    HRESULT waited = E_FAIL;
    IMediaSample* handed = nullptr;
    {
        Worker w([&] { waited = alloc->GetBuffer(&handed, nullptr, nullptr, 0); });
        Sleep(50);
        s->Release();
        ASSERT_TRUE(w.Join(5000)) << "GetBuffer was not woken by the release";
    }
    EXPECT_EQ(S_OK, waited);
    ASSERT_EQ(s, handed);

    // ...and a waiter blocked at Decommit gets VFW_E_NOT_COMMITTED.
    {
        Worker w([&] { waited = alloc->GetBuffer(&other, nullptr, nullptr, 0); });
        Sleep(50);
        alloc->Decommit();
        ASSERT_TRUE(w.Join(5000)) << "GetBuffer was not woken by Decommit";
    }
    EXPECT_EQ(VFW_E_NOT_COMMITTED, waited);
    handed->Release();
}

class CountingNotify : public IMemAllocatorNotifyCallbackTemp {
public:
    std::atomic<int> calls{0};
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE NotifyRelease() override {
        ++calls;
        return S_OK;
    }
};

TEST_F(AllocatorTest, DeferredDecommitKeepsSamplesValid) {
    ASSERT_EQ(S_OK, Set(2, 256));
    ASSERT_EQ(S_OK, alloc->Commit());
    CountingNotify notify;
    IMemAllocatorCallbackTemp* cb = nullptr;
    ASSERT_EQ(S_OK, alloc->QueryInterface(IID_IMemAllocatorCallbackTemp, (void**)&cb));
    cb->SetNotify(&notify);
    cb->Release();
    IMediaSample* s = nullptr;
    ASSERT_EQ(S_OK, alloc->GetBuffer(&s, nullptr, nullptr, 0));
    alloc->Release();   // the test's reference goes; the sample still holds the pool up
    ASSERT_EQ(S_OK, alloc->Decommit());
    BYTE* p = nullptr;
    s->GetPointer(&p);
    std::memset(p, 0x5A, 256);   // the buffer must still be there
    EXPECT_EQ(256, s->GetSize());
    alloc->AddRef();
    s->Release();
    EXPECT_EQ(1, notify.calls.load());
    ASSERT_EQ(S_OK, alloc->Commit());   // recommit after the pending decommit completed
    ASSERT_EQ(S_OK, alloc->GetBuffer(&s, nullptr, nullptr, 0));
    alloc->Decommit();
    alloc->Commit();   // cancels the pending decommit
    s->Release();
    alloc->Decommit();
    cb = nullptr;
    alloc->QueryInterface(IID_IMemAllocatorCallbackTemp, (void**)&cb);
    cb->SetNotify(nullptr);
    cb->Release();
}

TEST_F(AllocatorTest, SampleTimesFlagsAndProperties) {
    ASSERT_EQ(S_OK, Set(1, 100));
    ASSERT_EQ(S_OK, alloc->Commit());
    IMediaSample* s = nullptr;
    ASSERT_EQ(S_OK, alloc->GetBuffer(&s, nullptr, nullptr, 0));
    REFERENCE_TIME a = 5, b = 0;
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, s->GetTime(&a, &b));
    s->SetTime(&a, nullptr);
    EXPECT_EQ(VFW_S_NO_STOP_TIME, s->GetTime(&a, &b));
    EXPECT_EQ(6, b);
    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, s->SetActualDataLength(101));
    EXPECT_EQ(S_OK, s->SetActualDataLength(100));
    LONGLONG m0 = 0, m1 = 0;
    EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, s->GetMediaTime(&m0, &m1));

    IMediaSample2* s2 = nullptr;
    ASSERT_EQ(S_OK, s->QueryInterface(IID_IMediaSample2, (void**)&s2));
    AM_SAMPLE2_PROPERTIES p = {};
    ASSERT_EQ(S_OK, s2->GetProperties(sizeof p, (BYTE*)&p));
    EXPECT_EQ(48u, p.cbData);
    EXPECT_EQ(AM_SAMPLE_TIMEVALID, p.dwSampleFlags);
    struct Case {
        DWORD flags;
        LONG actual;
        LONG bufferSize;
        HRESULT expect;
    } cases[] = {
        {0x200, 10, 0, E_INVALIDARG},                       // a flag outside the allowed set
        {AM_SAMPLE_SPLICEPOINT, 10, 99, E_INVALIDARG},      // another buffer size
        {AM_SAMPLE_SPLICEPOINT, 101, 0, E_INVALIDARG},      // data beyond the buffer
        {AM_SAMPLE_TYPECHANGED, 10, 0, E_POINTER},          // a type change without a type
        {AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID, 10, 0, S_OK},
    };
    for (size_t i = 0; i < sizeof cases / sizeof *cases; ++i) {
        AM_SAMPLE2_PROPERTIES q = p;
        q.dwSampleFlags = cases[i].flags;
        q.lActual = cases[i].actual;
        q.cbBuffer = cases[i].bufferSize;
        q.pMediaType = nullptr;
        q.tStart = 100, q.tStop = 200;
        EXPECT_EQ(cases[i].expect, s2->SetProperties(sizeof q, (BYTE*)&q)) << "case " << i;
    }
    EXPECT_EQ(S_OK, s->IsSyncPoint());
    EXPECT_EQ(10, s->GetActualDataLength());
    EXPECT_EQ(S_OK, s->GetTime(&a, &b));
    EXPECT_EQ(200, b);
    s2->Release();
    s->Release();
    alloc->Decommit();
}

}  // namespace
