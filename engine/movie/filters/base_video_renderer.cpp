// Video renderer base: decides per sample whether to draw now, wait or drop,
// tells the upstream filters how it keeps up, and keeps the IQualProp figures.
#include "engine/movie/filters/renderer.h"
#include "engine/system/entry_points.h"

static LONGLONG Clamp64(LONGLONG v, LONGLONG lo, LONGLONG hi) { return v < lo ? lo : v > hi ? hi : v; }

D_CBaseVideoRenderer::D_CBaseVideoRenderer(REFCLSID clsid, const char* objectName, IUnknown* outer, HRESULT* result)
    : D_CBaseRenderer(clsid, objectName, outer, result), supplierHandlesQuality_(false) {
    ResetFrameStatistics();
}

D_CBaseVideoRenderer::~D_CBaseVideoRenderer() {}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::QueryInterfaceInner(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IQualProp)) return ReturnInterfaceAddRef(static_cast<IQualProp*>(this), out);
    if (IsEqualIID(iid, IID_IQualityControl)) return ReturnInterfaceAddRef(static_cast<IQualityControl*>(this), out);
    return D_CBaseRenderer::QueryInterfaceInner(iid, out);
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    if (!graph && graph_) FilterNotifyEvent(EC_WINDOW_DESTROYED, (LONG_PTR)FilterInterface(), 0);
    return D_CBaseRenderer::JoinFilterGraph(graph, name);
}

HRESULT D_CBaseVideoRenderer::ResetFrameStatistics() {
    supplierHandlesQuality_ = false;
    lateDrawn_ = 0;
    throttle_ = 0;
    renderAverage_ = 0;
    lastRender_ = 0;
    renderStartTick_ = 0;
    earliness_ = 0;
    waitAverage_ = -300000;
    waitTime_ = 0;
    drawnIntervalAverage_ = -1;
    durationAverage_ = 0;
    lastSampleStart_ = 0;
    framesDropped_ = 0;
    framesDrawn_ = 0;
    latenessSum_ = 0;
    latenessSquares_ = 0;
    lastDraw_ = -1000;
    intervalSquares_ = 0;
    intervalSum_ = 0;
    latenessToRecord_ = 0;
    intervalToRecord_ = 0;
    streamingStartTick_ = (LONG)WinApi.timeGetTime();
    return S_OK;
}

HRESULT D_CBaseVideoRenderer::OnStreamingStart() { return ResetFrameStatistics(); }

HRESULT D_CBaseVideoRenderer::OnStreamingStop() {
    streamingStartTick_ = (LONG)WinApi.timeGetTime() - streamingStartTick_;
    return S_OK;
}

void D_CBaseVideoRenderer::ThrottleSleep() { Sleep(throttle_ >= 1 ? throttle_ / 10000 : 0); }

void D_CBaseVideoRenderer::RecordLateness(LONG lateness, LONG interval) {
    LONG late_ms = lateness / 10000;
    if (late_ms > 1000 || late_ms < -1000) late_ms = late_ms > 0 ? 1000 : -1000;
    if (framesDrawn_ > 1) {
        latenessSum_ += late_ms;
        latenessSquares_ += (LONGLONG)late_ms * late_ms;
    }
    if (framesDrawn_ > 2) {
        LONG ms = interval / 10000;
        if (ms < 0 || ms > 1000) ms = 1000;
        intervalSum_ += ms;
        intervalSquares_ += (LONGLONG)ms * ms;
    }
    framesDrawn_++;
}

void D_CBaseVideoRenderer::OnRenderBegin(IMediaSample*) {
    RecordLateness(latenessToRecord_, intervalToRecord_);
    renderStartTick_ = (LONG)WinApi.timeGetTime();
}

void D_CBaseVideoRenderer::OnRenderFinish(IMediaSample*) {
    LONG t = ((LONG)WinApi.timeGetTime() - renderStartTick_) * 10000;
    if (t >= 2 * renderAverage_ && t >= 2 * lastRender_) {
        lastRender_ = t;
    } else {
        renderAverage_ = (3 * renderAverage_ + t) / 4;
        lastRender_ = t;
    }
    ThrottleSleep();
}

void D_CBaseVideoRenderer::NoteImmediateRender(IMediaSample*) {
    renderAverage_ = 0;
    lastRender_ = 5000000;
    RecordLateness(latenessToRecord_, intervalToRecord_);
    ThrottleSleep();
}

bool D_CBaseVideoRenderer::ScheduleRender(IMediaSample* sample) {
    bool scheduled = D_CBaseRenderer::ScheduleRender(sample);
    if (!scheduled) framesDropped_++;
    return scheduled;
}

HRESULT D_CBaseVideoRenderer::SendQualityNotice(LONGLONG lateness, REFERENCE_TIME stream_time) {
    Quality q;
    q.Type = drawnIntervalAverage_ >= 0 && drawnIntervalAverage_ <= 2 * renderAverage_ ? Flood : Famine;
    q.Proportion = 1000;
    if (drawnIntervalAverage_ >= 0) {
        if (lateness > 0) {
            LONGLONG p = 1000 - lateness / 10000;
            q.Proportion = (long)(p < 500 ? 500 : p);
        } else if (lateness <= -20000 && waitAverage_ > 20000) {
            if (waitAverage_ < drawnIntervalAverage_ && drawnIntervalAverage_ + 20000 > waitAverage_) {
                LONGLONG p = (LONGLONG)(drawnIntervalAverage_ / (drawnIntervalAverage_ - waitAverage_ + 20000)) * 1000;
                q.Proportion = (long)(p > 2000 ? 2000 : p);
            } else {
                q.Proportion = 2000;
            }
        }
    }
    q.Late = lateness + renderAverage_ / 2;
    q.TimeStamp = stream_time;
    if (!qualitySink_ && !qualitySinkAsked_) {
        qualitySinkAsked_ = true;
        IPin* peer = InputPin() ? InputPin()->GetConnected() : nullptr;
        if (peer && FAILED(peer->QueryInterface(IID_IQualityControl, (void**)&qualitySink_))) qualitySink_ = nullptr;
    }
    if (!qualitySink_) return S_FALSE;
    return qualitySink_->Notify(FilterInterface(), q);
}

HRESULT D_CBaseVideoRenderer::DrawNowDecision(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop) {
    if (*start >= 80000) {
        *start -= 80000;
        *stop -= 80000;
    }
    lastSampleStart_ = *start;
    REFERENCE_TIME clock_now = 0;
    clock_->GetTime(&clock_now);
    const REFERENCE_TIME now = clock_now - startTime_;
    const LONGLONG lateness = Clamp64(now - *start, -500000000, 500000000);
    supplierHandlesQuality_ = SendQualityNotice(lateness, now) <= 0;
    const LONG duration = (LONG)(*stop - *start);
    if (duration - durationAverage_ > durationAverage_ / 32 || durationAverage_ - duration > durationAverage_ / 32) {
        drawnIntervalAverage_ = duration;
        durationAverage_ = duration;
    }
    const bool must_draw = (supplierHandlesQuality_ && sample->IsDiscontinuity() == S_OK) || lateDrawn_ == -1;
    if (lateness < 1) {
        if (lateness < earliness_ && !must_draw) earliness_ -= earliness_ / 8;
        else earliness_ = (LONG)lateness;
    } else {
        earliness_ = 0;
    }
    const LONG wait_candidate = (LONG)((3LL * waitAverage_ - (lateness < 0 ? lateness : 0)) / 4);
    LONGLONG since_draw = now - lastDraw_;
    if (since_draw > 10000000) since_draw = 10000000;

    if (3LL * renderAverage_ > drawnIntervalAverage_) {
        bool keep = supplierHandlesQuality_ ? lateness <= 4LL * duration : 2 * lateness < duration;
        if (!keep && waitAverage_ <= 80000 && since_draw <= 10000000) {
            lateDrawn_ = -1;
            waitAverage_ = wait_candidate;
            return E_FAIL;
        }
    }
    const bool behind = must_draw || (drawnIntervalAverage_ > duration + duration / 16 && lateness > -10LL * duration);
    if (lateness >= -9000000 && behind) {
        waitAverage_ = 3 * waitAverage_ / 4;
        lateDrawn_ = 0;
        drawnIntervalAverage_ = (LONG)((since_draw + 3LL * drawnIntervalAverage_) / 4);
        latenessToRecord_ = (LONG)lateness;
        intervalToRecord_ = (LONG)since_draw;
        lastDraw_ = now;
        if (earliness_ > lateness) earliness_ = (LONG)lateness;
        return S_OK;
    }
    lateDrawn_++;
    drawnIntervalAverage_ = duration;
    *start += earliness_ > -duration ? earliness_ : -duration;
    waitAverage_ = wait_candidate;
    if (lateness < 0) {
        intervalToRecord_ = (LONG)Clamp64(*start - lastDraw_, -500000000, 500000000);
        lastDraw_ = *start;
        latenessToRecord_ = (LONG)Clamp64(*start - lastSampleStart_, -500000000, 500000000);
        return S_FALSE;
    }
    lastDraw_ = now;
    latenessToRecord_ = (LONG)lateness;
    intervalToRecord_ = (LONG)since_draw;
    return S_OK;
}

// One IQualProp figure, read under the interface lock.
template <class Value>
static HRESULT Report(CRITICAL_SECTION* lock, int* out, Value value) {
    if (!out) return E_POINTER;
    D_CAutoLock hold(lock);
    *out = (int)value();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::get_FramesDroppedInRenderer(int* out) {
    return Report(&interfaceLock_, out, [&] { return framesDropped_; });
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::get_FramesDrawn(int* out) {
    return Report(&interfaceLock_, out, [&] { return framesDrawn_; });
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::get_AvgFrameRate(int* out) {
    return Report(&interfaceLock_, out, [&] {
        LONG t = streaming_ ? (LONG)WinApi.timeGetTime() - streamingStartTick_ : streamingStartTick_;
        return t > 0 ? MulDiv(100000, framesDrawn_, t) : 0;
    });
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::get_Jitter(int* out) {
    return Report(&interfaceLock_, out,
                  [&] { return FrameStatDeviation(clock_ != nullptr, framesDrawn_ - 2, intervalSquares_, intervalSum_); });
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::get_AvgSyncOffset(int* out) {
    return Report(&interfaceLock_, out,
                  [&] { return clock_ && framesDrawn_ > 1 ? (LONG)(latenessSum_ / (framesDrawn_ - 1)) : 0; });
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::get_DevSyncOffset(int* out) {
    return Report(&interfaceLock_, out, [&] {
        return FrameStatDeviation(clock_ != nullptr, framesDrawn_ - 1, latenessSquares_, latenessSum_);
    });
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::Notify(IBaseFilter*, Quality q) {
    throttle_ = QualityThrottle((LONG)q.Proportion);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CBaseVideoRenderer::SetSink(IQualityControl* sink) {
    D_CAutoLock hold(&interfaceLock_);
    if (qualitySink_ && qualitySinkAsked_) qualitySink_->Release();
    qualitySink_ = sink;
    qualitySinkAsked_ = false;
    return S_OK;
}
