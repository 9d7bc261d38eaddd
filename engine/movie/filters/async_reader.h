// The pull-model source filter: one output pin answering IAsyncReader, behind
// it an I/O engine with a request queue and a worker thread over a byte stream.
#pragma once
#include "engine/movie/filters/base_filter.h"

// A byte stream the reader reads. Lock/Unlock serialise position and reads.
class D_CAsyncStream {
public:
    virtual ~D_CAsyncStream() {}
    // S_FALSE (position unchanged) outside 0..length.
    virtual HRESULT SetPosition(LONGLONG position) = 0;
    virtual HRESULT Read(BYTE* buffer, LONG count, BOOL aligned, LONG* bytesRead) = 0;
    // The whole length; *available (when given) what can be read now.
    virtual LONGLONG GetLength(LONGLONG* available) = 0;
    virtual LONG GetAlignment() = 0;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

class D_CAsyncIo;

struct D_CAsyncRequest {
    D_CAsyncIo* io;
    D_CAsyncStream* stream;
    LONGLONG position;
    BOOL aligned;
    LONG length;          // becomes the bytes actually read
    BYTE* buffer;
    IMediaSample* sample; // not referenced
    DWORD_PTR user;
    HRESULT result;       // VFW_E_TIMEOUT until carried out

    void Complete();
};

class D_CAsyncIo {
public:
    explicit D_CAsyncIo(D_CAsyncStream* stream);
    ~D_CAsyncIo();
    D_CAsyncIo(const D_CAsyncIo&) = delete;
    D_CAsyncIo& operator=(const D_CAsyncIo&) = delete;

    HRESULT Request(LONGLONG position, LONG length, BOOL aligned, BYTE* buffer, IMediaSample* sample, DWORD_PTR user);
    HRESULT WaitForNext(DWORD timeout, IMediaSample** sample, DWORD_PTR* user, LONG* bytes);
    HRESULT SyncReadAligned(LONGLONG position, LONG length, BYTE* buffer, LONG* bytes, IMediaSample* sample);
    HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer);
    HRESULT Length(LONGLONG* total, LONGLONG* available);
    HRESULT Alignment(LONG* out);
    HRESULT BeginFlush();
    HRESULT EndFlush();
    bool IsAligned(LONGLONG n) const { return (n & (Align() - 1)) == 0; }
    LONG Align() const;
    bool HasWorker() const { return thread_ != nullptr; }

private:
    HRESULT PutWorkItem(D_CAsyncRequest* request);
    D_CAsyncRequest* GetWorkItem();
    D_CAsyncRequest* GetDoneItem();
    HRESULT PutDoneItem(D_CAsyncRequest* request);
    void ProcessRequests();
    void StopThread();
    static DWORD WINAPI AsyncIoThreadProc(void* self);

    D_CAsyncStream* stream_;
    CRITICAL_SECTION lock_;
    BOOL flushing_;
    D_CBaseList work_;
    D_CBaseList done_;
    D_CEvent workEvent_;
    D_CEvent doneEvent_;
    LONG pending_;
    BOOL waitingForFlush_;
    D_CEvent allDone_;
    D_CEvent stopEvent_;
    HANDLE thread_;
};

class D_CAsyncReader;

class D_CAsyncOutputPin : public IAsyncReader, public D_CBasePin {
public:
    D_CAsyncOutputPin(HRESULT* result, D_CAsyncReader* reader, D_CAsyncIo* io, CRITICAL_SECTION* lock);

    HRESULT STDMETHODCALLTYPE QueryInterfaceInner(REFIID iid, void** out) override;
    HRESULT AcceptsMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT VerifyPeer(IPin* pin) override;
    HRESULT ReleaseConnection() override;
    HRESULT FinishConnection(IPin* pin) override;
    HRESULT OfferedMediaType(int position, D_CMediaType* type) override;

    D_FORWARD_IUNKNOWN
    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return S_OK; }
    // IAsyncReader (BeginFlush and EndFlush serve IPin as well)
    HRESULT STDMETHODCALLTYPE RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* props,
                                               IMemAllocator** actual) override;
    HRESULT STDMETHODCALLTYPE Request(IMediaSample* sample, DWORD_PTR user) override;
    HRESULT STDMETHODCALLTYPE WaitForNext(DWORD timeout, IMediaSample** sample, DWORD_PTR* user) override;
    HRESULT STDMETHODCALLTYPE SyncReadAligned(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE SyncRead(LONGLONG position, LONG length, BYTE* buffer) override;
    HRESULT STDMETHODCALLTYPE Length(LONGLONG* total, LONGLONG* available) override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;

private:
    // Byte range of a sample from its times, cut at the stream's (aligned) end,
    // and the sample's memory that receives it.
    HRESULT SampleTarget(IMediaSample* sample, LONGLONG* position, LONG* length, BYTE** buffer);

    D_CAsyncReader* reader_;
    D_CAsyncIo* io_;
    BOOL askedForReader_;
};

class D_CAsyncReader : public D_CBaseFilter {
public:
    D_CAsyncReader(const char* objectName, IUnknown* outer, D_CAsyncStream* stream, HRESULT* result);
    ~D_CAsyncReader() override;

    int PinCount() override { return 1; }
    D_CBasePin* PinAt(int n) override { return n == 0 && PinCount() >= 1 ? &pin_ : nullptr; }
    virtual HRESULT ConnectOutputPin(IPin* receivePin, const AM_MEDIA_TYPE* type);

    const D_CMediaType& MediaType() const { return mt_; }
    D_CAsyncIo* Io() { return &io_; }

protected:
    CRITICAL_SECTION lock_;
    D_CAsyncIo io_;
    D_CAsyncOutputPin pin_;
    D_CMediaType mt_;
};
