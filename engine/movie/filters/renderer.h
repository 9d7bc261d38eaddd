// Renderer bases: a filter with one input pin that shows samples at their
// presentation time against the graph's clock (D_CBaseRenderer), the video
// renderer's statistics and quality control on top (D_CBaseVideoRenderer), the
// position pass-through that answers seeking by asking upstream, and the
// IDispatch half of IMediaPosition.
#pragma once
#include <windows.h>
#include <dshow.h>

#include "engine/movie/filters/base_filter.h"

class D_CBaseRenderer;
class D_CRendererPosPassThru;

// (a x b + d) / c with a 128-bit intermediate; saturates when the quotient does not fit.
LONGLONG Int64MulDiv(LONGLONG a, LONGLONG b, LONGLONG c, LONGLONG d);
// Integer square root: three Newton steps from a power of two; inputs are clamped to 0..0x40000000.
LONG IntegerSqrt(LONGLONG n);
// The throttle (100 ns units) that IQualityControl::Notify sets for a proportion.
LONG QualityThrottle(LONG proportion);
// Standard deviation of n values from their sums, as IQualProp reports it (0 without a clock or n < 2).
LONG FrameStatDeviation(bool have_clock, LONG n, LONGLONG sum_squares, LONGLONG sum);
// Waits on one or two handles while sent (and, with a window, its posted) messages are dispatched.
DWORD WaitDispatchingMessages(HANDLE handle, DWORD timeout, HWND window, UINT message, HANDLE second);

class D_CMediaPosition : public IMediaPosition, public D_CUnknown {
public:
    D_CMediaPosition(const char* objectName, IUnknown* outer);
    ~D_CMediaPosition() override;
    HRESULT STDMETHODCALLTYPE QueryInterfaceInner(REFIID iid, void** out) override;
    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* out) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** out) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* arg_error) override;

protected:
    ITypeInfo* typeInfo_;
};

// Loads IMediaPosition's type information into the cache on first use (OleAut32 by name).
HRESULT LoadControlTypeInfo(ITypeInfo** cache, REFIID iid, LCID locale, ITypeInfo** out);

class D_CPosPassThru : public IMediaSeeking, public D_CMediaPosition {
public:
    D_CPosPassThru(const char* objectName, IUnknown* outer, HRESULT* result, IPin* pin);
    HRESULT STDMETHODCALLTYPE QueryInterfaceInner(REFIID iid, void** out) override;
    virtual HRESULT GetRecordedPosition(REFERENCE_TIME* start, REFERENCE_TIME* stop);

    D_FORWARD_IUNKNOWN
    // IMediaSeeking
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* caps) override;
    HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* caps) override;
    HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
    HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* target_format, LONGLONG source,
                                                const GUID* source_format) override;
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop,
                                           DWORD stop_flags) override;
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
    HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;
    HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) override;
    // IMediaPosition
    HRESULT STDMETHODCALLTYPE get_Duration(REFTIME* length) override;
    HRESULT STDMETHODCALLTYPE put_CurrentPosition(REFTIME time) override;
    HRESULT STDMETHODCALLTYPE get_CurrentPosition(REFTIME* time) override;
    HRESULT STDMETHODCALLTYPE get_StopTime(REFTIME* time) override;
    HRESULT STDMETHODCALLTYPE put_StopTime(REFTIME time) override;
    HRESULT STDMETHODCALLTYPE get_PrerollTime(REFTIME* time) override;
    HRESULT STDMETHODCALLTYPE put_PrerollTime(REFTIME time) override;
    HRESULT STDMETHODCALLTYPE put_Rate(double rate) override;
    HRESULT STDMETHODCALLTYPE get_Rate(double* rate) override;
    HRESULT STDMETHODCALLTYPE CanSeekForward(LONG* can) override;
    HRESULT STDMETHODCALLTYPE CanSeekBackward(LONG* can) override;

protected:
    HRESULT UpstreamSeeking(IMediaSeeking** out);
    HRESULT UpstreamPosition(IMediaPosition** out);

    IPin* pin_;
};

class D_CRendererPosPassThru : public D_CPosPassThru {
public:
    D_CRendererPosPassThru(const char* objectName, IUnknown* outer, HRESULT* result, IPin* pin);
    ~D_CRendererPosPassThru() override;
    HRESULT GetRecordedPosition(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT RecordSampleTimes(IMediaSample* sample);
    HRESULT ForgetSampleTimes();
    HRESULT RecordEndOfStreamTimes();

private:
    CRITICAL_SECTION lock_;
    REFERENCE_TIME start_;
    REFERENCE_TIME stop_;
    bool noTimes_;
};

class D_CRendererInputPin : public D_CBaseInputPin {
public:
    D_CRendererInputPin(D_CBaseRenderer* renderer, HRESULT* result, const WCHAR* name);
    HRESULT OnFilterActivate() override;
    HRESULT OnFilterDeactivate() override;
    HRESULT AcceptsMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT ApplyMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT ReleaseConnection() override;
    HRESULT FinishConnection(IPin* pin) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* out) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;

    // The base input pin's checks of a received sample (RendererReceive runs them).
    HRESULT BaseReceive(IMediaSample* sample) { return D_CBaseInputPin::Receive(sample); }
    IMemAllocator* CurrentAllocator() const { return allocator_; }
    bool RunTimeError() const { return runTimeError_; }
    void SetRunTimeError() { runTimeError_ = true; }
    bool MayReconnectWhenActive() const { return canReconnectWhenActive_; }

private:
    D_CBaseRenderer* renderer_;
};

class D_CBaseRenderer : public D_CBaseFilter {
public:
    D_CBaseRenderer(REFCLSID clsid, const char* objectName, IUnknown* outer, HRESULT* result);
    ~D_CBaseRenderer() override;

    HRESULT STDMETHODCALLTYPE QueryInterfaceInner(REFIID iid, void** out) override;
    int PinCount() override { return 1; }
    D_CBasePin* PinAt(int n) override;
    const AMOVIESETUP_FILTER* GetSetupInfo() override { return nullptr; }

    virtual HRESULT GetRendererPosition(REFIID iid, void** out);
    virtual HRESULT SetWaitAllowed(bool allowed);
    virtual HRESULT WaitUntilDue();
    virtual HRESULT FinishStateChange(FILTER_STATE old_state);
    virtual void OnFirstSample(IMediaSample*) {}
    virtual void OnRenderBegin(IMediaSample*) {}
    virtual void OnRenderFinish(IMediaSample*) {}
    virtual HRESULT OnStreamingStart() { return S_OK; }
    virtual HRESULT OnStreamingStop() { return S_OK; }
    virtual void OnWaitBegin() {}
    virtual void OnWaitFinish() {}
    virtual void BeforeRender() {}
    virtual bool ScheduleRender(IMediaSample* sample);
    virtual HRESULT ReadSampleTimes(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop);
    virtual HRESULT DrawNowDecision(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*) { return S_FALSE; }
    virtual HRESULT SignalEndOfStream();
    virtual HRESULT ClearEndOfStream();
    virtual HRESULT HandleInputEndOfStream();
    virtual bool CancelClockAdvise();
    virtual HRESULT DropHeldSample();
    virtual HRESULT OnInputActive() { return S_OK; }
    virtual HRESULT OnInputInactive();
    virtual HRESULT StartRendering();
    virtual HRESULT StopRendering();
    virtual HRESULT RendererBeginFlush();
    virtual HRESULT RendererEndFlush();
    virtual HRESULT OnInputDisconnect();
    virtual HRESULT ApplyInputMediaType(const AM_MEDIA_TYPE*) { return S_OK; }
    virtual HRESULT OnInputConnected(IPin* pin);
    virtual HRESULT AcceptSample(IMediaSample* sample);
    virtual HRESULT RendererReceive(IMediaSample* sample);
    virtual bool HasHeldSample();
    virtual IMediaSample* GetHeldSample();
    virtual HRESULT RenderHeldSample(IMediaSample* sample);
    virtual HRESULT DrawSample(IMediaSample* sample) = 0;
    virtual HRESULT IsMediaTypeAcceptable(const AM_MEDIA_TYPE* type) = 0;

    // IBaseFilter
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* out) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** out) override;

    // Delivers EC_COMPLETE (renderer lock taken inside).
    HRESULT DeliverEndOfStream();
    bool IsStreaming() const { return streaming_; }
    bool IsAborted() const { return abort_; }
    void SetAbort(bool abort) { abort_ = abort; }
    bool IsEndOfStreamDelivered() const { return endOfStreamDelivered_; }
    CRITICAL_SECTION* RendererLock() { return &rendererLock_; }
    CRITICAL_SECTION* InterfaceLock() { return &interfaceLock_; }
    D_CRendererInputPin* InputPin();
    // Waits until no Receive is inside, letting this thread's sent messages through.
    void WaitForReceiveToComplete();

protected:
    void KillEndOfStreamTimer();
    static void CALLBACK EndOfStreamTimerCallback(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR);

    D_CRendererPosPassThru* position_;
    D_CEvent renderEvent_;
    D_CEvent abortEvent_;
    D_CEvent completeEvent_;
    bool abort_;
    bool streaming_;
    DWORD_PTR adviseCookie_;
    IMediaSample* heldSample_;
    bool endOfStream_;
    bool endOfStreamDelivered_;
    D_CRendererInputPin* inputPin_;
    CRITICAL_SECTION interfaceLock_;
    CRITICAL_SECTION rendererLock_;
    IQualityControl* qualitySink_;
    bool qualitySinkAsked_;
    volatile LONG inReceive_;
    REFERENCE_TIME signalTime_;
    UINT endOfStreamTimer_;
    CRITICAL_SECTION creationLock_;
};

class D_CBaseVideoRenderer : public D_CBaseRenderer, public IQualProp, public IQualityControl {
public:
    D_CBaseVideoRenderer(REFCLSID clsid, const char* objectName, IUnknown* outer, HRESULT* result);
    ~D_CBaseVideoRenderer() override;

    HRESULT STDMETHODCALLTYPE QueryInterfaceInner(REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    void OnRenderBegin(IMediaSample* sample) override;
    void OnRenderFinish(IMediaSample* sample) override;
    HRESULT OnStreamingStart() override;
    HRESULT OnStreamingStop() override;
    bool ScheduleRender(IMediaSample* sample) override;
    HRESULT DrawNowDecision(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    virtual void RecordLateness(LONG lateness, LONG interval);
    virtual void NoteImmediateRender(IMediaSample* sample);
    virtual HRESULT ResetFrameStatistics();
    virtual HRESULT SendQualityNotice(LONGLONG lateness, REFERENCE_TIME stream_time);

    D_FORWARD_IUNKNOWN
    // IQualProp
    HRESULT STDMETHODCALLTYPE get_FramesDroppedInRenderer(int* out) override;
    HRESULT STDMETHODCALLTYPE get_FramesDrawn(int* out) override;
    HRESULT STDMETHODCALLTYPE get_AvgFrameRate(int* out) override;
    HRESULT STDMETHODCALLTYPE get_Jitter(int* out) override;
    HRESULT STDMETHODCALLTYPE get_AvgSyncOffset(int* out) override;
    HRESULT STDMETHODCALLTYPE get_DevSyncOffset(int* out) override;
    // IQualityControl
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality q) override;
    HRESULT STDMETHODCALLTYPE SetSink(IQualityControl* sink) override;

protected:
    void ThrottleSleep();

    bool supplierHandlesQuality_;
    LONG lateDrawn_;
    LONG throttle_;
    LONG renderAverage_;
    LONG lastRender_;
    LONG renderStartTick_;
    LONG earliness_;
    LONG waitAverage_;
    LONG waitTime_;
    LONG drawnIntervalAverage_;
    LONG durationAverage_;
    REFERENCE_TIME lastSampleStart_;
    LONG framesDropped_;
    LONG framesDrawn_;
    LONGLONG latenessSum_;
    LONGLONG latenessSquares_;
    REFERENCE_TIME lastDraw_;
    LONGLONG intervalSquares_;
    LONGLONG intervalSum_;
    LONG latenessToRecord_;
    LONG intervalToRecord_;
    LONG streamingStartTick_;
};
