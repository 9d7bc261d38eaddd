// Memory stream, memory reader and the asynchronous reader's I/O engine.
#include "movie/filters/filter_test.h"

#include <cstring>

#include "engine/movie/filters/mem_reader.h"

using namespace filtertest;

namespace {

const LONGLONG kUnit = 10000000;

// A 600-byte stream (byte i holds i & 0xFF) under a memory reader with one reference.
class ReaderTest : public FilterTest {
protected:
    void SetUp() override {
        FilterTest::SetUp();
        for (int i = 0; i < 600; ++i) data[i] = (BYTE)i;
        stream = CreateMemStream(data, sizeof data, 0, 0xFFFFFFFF);
        ASSERT_NE(nullptr, stream);
        TestType type(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG1Audio);
        HRESULT hr = E_FAIL;
        reader = CreateMemReader(stream, &type, &hr);
        ASSERT_EQ(S_OK, hr);
        reader->FilterInterface()->AddRef();
        ASSERT_EQ(S_OK, reader->PinAt(0)->QueryInterface(IID_IAsyncReader, (void**)&async));
    }
    void TearDown() override {
        if (async) async->Release();
        if (reader) reader->FilterInterface()->Release();
        DeleteMemStream(stream);
        FilterTest::TearDown();
    }
    // A sample of our own allocator covering bytes [from, to).
    IMediaSample* Sample(LONGLONG from, LONGLONG to) {
        IMediaSample* s = nullptr;
        if (!pool) {
            HRESULT hr = S_OK;
            pool = new D_CMemAllocator("pool", nullptr, &hr);
            pool->AddRef();
            ALLOCATOR_PROPERTIES req = {8, 4096, 1, 0}, got;
            pool->SetProperties(&req, &got);
            pool->Commit();
        }
        pool->GetBuffer(&s, nullptr, nullptr, 0);
        REFERENCE_TIME a = from * kUnit, b = to * kUnit;
        s->SetTime(&a, &b);
        return s;
    }
    void ReleasePool() {
        if (!pool) return;
        pool->Decommit();
        pool->Release();
        pool = nullptr;
    }
    BYTE data[600];
    D_CMemStream* stream = nullptr;
    D_CMemReader* reader = nullptr;
    IAsyncReader* async = nullptr;
    D_CMemAllocator* pool = nullptr;
};

TEST_F(ReaderTest, SyncReadsAtTheEnd) {
    BYTE buf[64];
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(S_FALSE, async->SyncRead(580, 40, buf)) << "a read across the end is short";
    EXPECT_EQ((BYTE)599, buf[19]);
    EXPECT_EQ(0xEE, buf[20]) << "the tail is left untouched";
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), async->SyncRead(601, 4, buf));
    EXPECT_EQ(S_OK, async->SyncRead(100, 10, buf));
    EXPECT_EQ(100, buf[0]);
    LONGLONG total = 0, available = 0;
    EXPECT_EQ(S_OK, async->Length(&total, &available));
    EXPECT_EQ(600, total);
}

TEST_F(ReaderTest, QueuedRequestsCompleteInOrder) {
    IMediaSample* s[3] = {Sample(0, 100), Sample(100, 300), Sample(550, 700)};
    for (int i = 0; i < 3; ++i) ASSERT_EQ(S_OK, async->Request(s[i], i + 1));
    bool done = RunWithTimeout([&] {
        for (int i = 0; i < 3; ++i) {
            IMediaSample* got = nullptr;
            DWORD_PTR user = 0;
            EXPECT_EQ(S_OK, async->WaitForNext(5000, &got, &user)) << i;
            EXPECT_EQ(s[i], got) << i;
            EXPECT_EQ((DWORD_PTR)i + 1, user);
        }
    }, 10000);
    ASSERT_TRUE(done) << "the worker did not serve the queue";
    EXPECT_EQ(200, s[1]->GetActualDataLength());
    BYTE* p = nullptr;
    s[1]->GetPointer(&p);
    EXPECT_EQ(100, p[0]);
    EXPECT_EQ(50, s[2]->GetActualDataLength()) << "cut at the end of the stream";
    REFERENCE_TIME a, b;
    s[2]->GetTime(&a, &b);
    EXPECT_EQ(600 * kUnit, b);
    for (IMediaSample* x : s) x->Release();

    IMediaSample* beyond = Sample(700, 800);
    EXPECT_EQ(E_INVALIDARG, async->Request(beyond, 0)) << "a range past the end is refused before it is built";
    EXPECT_EQ(S_OK, async->SyncReadAligned(beyond = (beyond->Release(), Sample(10, 20))));
    EXPECT_EQ(10, beyond->GetActualDataLength());
    beyond->Release();
    ReleasePool();
}

TEST_F(ReaderTest, WaitingAndFlushing) {
    IMediaSample* got = (IMediaSample*)1;
    DWORD_PTR user = 0;
    EXPECT_EQ(VFW_E_TIMEOUT, async->WaitForNext(0, &got, &user));
    EXPECT_EQ(nullptr, got);

    HRESULT waited = S_OK;
    Worker w([&] { waited = async->WaitForNext(INFINITE, &got, &user); });
    Sleep(50);
    EXPECT_EQ(S_OK, async->BeginFlush());
    ASSERT_TRUE(w.Join(5000)) << "a flush must wake the waiter";
    EXPECT_EQ(VFW_E_WRONG_STATE, waited);
    IMediaSample* s = Sample(0, 10);
    EXPECT_EQ(VFW_E_WRONG_STATE, async->Request(s, 0)) << "no requests while flushing";
    EXPECT_EQ(S_OK, async->EndFlush());
    s->Release();
    ReleasePool();
}

TEST_F(ReaderTest, PinOffersAndAcceptsItsType) {
    TestType same(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG1Audio), other(MEDIATYPE_Stream, MEDIASUBTYPE_WAVE);
    D_CBasePin* pin = reader->PinAt(0);
    EXPECT_EQ(S_OK, pin->QueryAccept(&same));
    EXPECT_EQ(S_FALSE, pin->QueryAccept(&other));
    D_CMediaType offered;
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, pin->OfferedMediaType(1, &offered));
    EXPECT_EQ(S_OK, pin->OfferedMediaType(0, &offered));
    EXPECT_TRUE(offered == same);

    // A peer that never asks for IAsyncReader cannot connect.
    auto* sink = new TestSink;
    sink->FilterInterface()->AddRef();
    EXPECT_EQ(VFW_E_NO_ACCEPTABLE_TYPES, pin->Connect(sink->pin, &same)) << "every attempt ended in E_FAIL";
    EXPECT_FALSE(pin->IsConnected());
    sink->FilterInterface()->Release();
}

static LPVOID WINAPI NoTaskMemory(SIZE_T) { return nullptr; }

TEST_F(FilterTest, MemReaderReportsAFailedTypeCopy) {
    static BYTE data[16];
    D_CMemStream* stream = CreateMemStream(data, sizeof data, 0, 0xFFFFFFFF);
    TestType type(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG1Audio, FORMAT_WaveFormatEx, 18);
    HRESULT hr = S_OK;
    auto saved = WinApi.CoTaskMemAlloc;
    WinApi.CoTaskMemAlloc = NoTaskMemory;
    D_CMemReader* reader = CreateMemReader(stream, &type, &hr);
    WinApi.CoTaskMemAlloc = saved;
    EXPECT_EQ(nullptr, reader);
    EXPECT_EQ(E_OUTOFMEMORY, hr);
    DeleteMemStream(stream);
}

TEST(MemStream, PositionsLengthAndRate) {
    static BYTE data[10000];
    EXPECT_EQ(nullptr, CreateMemStream(data, sizeof data, 0, 0)) << "rate 0 would divide by zero";
    D_CMemStream* s = CreateMemStream(data, sizeof data, 0, 0xFFFFFFFF);
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(S_OK, s->SetPosition(10000));
    EXPECT_EQ(S_FALSE, s->SetPosition(10001));
    ASSERT_EQ(S_OK, s->SetPosition(9000));
    BYTE buf[4096];
    LONG got = 0;
    EXPECT_EQ(S_OK, s->Read(buf, 4096, FALSE, &got));
    EXPECT_EQ(1000, got);
    EXPECT_EQ(S_OK, s->Read(buf, 4096, FALSE, &got));
    EXPECT_EQ(0, got);
    DeleteMemStream(s);
    DeleteMemStream(nullptr);
    DeleteMemReader(nullptr);

    // At one byte per millisecond, 300 bytes cannot be had in under 300 ms.
    s = CreateMemStream(data, sizeof data, 0, 1);
    LONGLONG available = -1;
    EXPECT_EQ(10000, s->GetLength(&available));
    EXPECT_LT(available, 10000);
    DWORD t0 = GetTickCount();
    bool done = RunWithTimeout([&] { s->Read(buf, 300, FALSE, &got); }, 10000);
    EXPECT_TRUE(done);
    EXPECT_GE(GetTickCount() - t0, 250u);
    DeleteMemStream(s);
}

// A parser that waits on the stream gets failures once the time has run out.
TEST(MemStream, ReadsFailOnceTheTimeLimitHasRunOut) {
    static BYTE data[1000];
    D_CMemStream* s = CreateMemStream(data, sizeof data, 0, 0xFFFFFFFF);
    ASSERT_NE(nullptr, s);
    BYTE buf[100];
    LONG got = -1;
    s->SetReadTimeLimit(200);
    EXPECT_EQ(S_OK, s->Read(buf, 100, FALSE, &got));
    EXPECT_EQ(100, got);
    Sleep(300);
    EXPECT_EQ(E_FAIL, s->Read(buf, 100, FALSE, &got));
    EXPECT_EQ(0, got);
    s->SetReadTimeLimit(INFINITE);
    EXPECT_EQ(S_OK, s->Read(buf, 100, FALSE, &got));
    EXPECT_EQ(100, got);
    DeleteMemStream(s);
}

}  // namespace
