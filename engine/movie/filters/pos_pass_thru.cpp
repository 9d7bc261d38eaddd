// Seeking and position of a filter answered by the filter upstream of its pin.
#include "engine/movie/filters/renderer.h"

namespace {

// The upstream interface for one call, released after it; E_NOTIMPL when there is none.
template <class Itf, class Call>
HRESULT AskUpstream(IPin* pin, REFIID iid, Call call) {
    IPin* peer = nullptr;
    if (!pin || FAILED(pin->ConnectedTo(&peer)) || !peer) return E_NOTIMPL;
    Itf* itf = nullptr;
    HRESULT hr = peer->QueryInterface(iid, (void**)&itf);
    peer->Release();
    if (FAILED(hr) || !itf) return E_NOTIMPL;
    hr = call(itf);
    itf->Release();
    return hr;
}

}  // namespace

#define SEEKING(call) return AskUpstream<IMediaSeeking>(pin_, IID_IMediaSeeking, [&](IMediaSeeking* s) { return s->call; })
#define POSITION(call) return AskUpstream<IMediaPosition>(pin_, IID_IMediaPosition, [&](IMediaPosition* p) { return p->call; })

D_CPosPassThru::D_CPosPassThru(const char* objectName, IUnknown* outer, HRESULT* result, IPin* pin)
    : D_CMediaPosition(objectName, outer), pin_(pin) {
    if (!pin && result) *result = E_POINTER;
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::QueryInterfaceInner(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IMediaSeeking)) return ReturnInterfaceAddRef(static_cast<IMediaSeeking*>(this), out);
    return D_CMediaPosition::QueryInterfaceInner(iid, out);
}

HRESULT D_CPosPassThru::GetRecordedPosition(REFERENCE_TIME*, REFERENCE_TIME*) { return E_FAIL; }

HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetCapabilities(DWORD* caps) { SEEKING(GetCapabilities(caps)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::CheckCapabilities(DWORD* caps) { SEEKING(CheckCapabilities(caps)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::IsFormatSupported(const GUID* format) { SEEKING(IsFormatSupported(format)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::QueryPreferredFormat(GUID* format) { SEEKING(QueryPreferredFormat(format)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetTimeFormat(GUID* format) { SEEKING(GetTimeFormat(format)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::IsUsingTimeFormat(const GUID* format) { SEEKING(IsUsingTimeFormat(format)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::SetTimeFormat(const GUID* format) { SEEKING(SetTimeFormat(format)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetDuration(LONGLONG* duration) { SEEKING(GetDuration(duration)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetStopPosition(LONGLONG* stop) { SEEKING(GetStopPosition(stop)); }

HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetCurrentPosition(LONGLONG* current) {
    if (SUCCEEDED(GetRecordedPosition(current, nullptr))) return S_OK;
    SEEKING(GetCurrentPosition(current));
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::ConvertTimeFormat(LONGLONG* target, const GUID* target_format,
                                                            LONGLONG source, const GUID* source_format) {
    SEEKING(ConvertTimeFormat(target, target_format, source, source_format));
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::SetPositions(LONGLONG* current, DWORD current_flags, LONGLONG* stop,
                                                       DWORD stop_flags) {
    SEEKING(SetPositions(current, current_flags, stop, stop_flags));
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetPositions(LONGLONG* current, LONGLONG* stop) {
    SEEKING(GetPositions(current, stop));
}
HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
    SEEKING(GetAvailable(earliest, latest));
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::SetRate(double rate) {
    if (rate == 0.0) return E_INVALIDARG;
    SEEKING(SetRate(rate));
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetRate(double* rate) { SEEKING(GetRate(rate)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::GetPreroll(LONGLONG* preroll) { SEEKING(GetPreroll(preroll)); }

HRESULT STDMETHODCALLTYPE D_CPosPassThru::get_Duration(REFTIME* length) { POSITION(get_Duration(length)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::put_CurrentPosition(REFTIME time) { POSITION(put_CurrentPosition(time)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::get_CurrentPosition(REFTIME* time) { POSITION(get_CurrentPosition(time)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::get_StopTime(REFTIME* time) { POSITION(get_StopTime(time)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::put_StopTime(REFTIME time) { POSITION(put_StopTime(time)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::get_PrerollTime(REFTIME* time) { POSITION(get_PrerollTime(time)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::put_PrerollTime(REFTIME time) { POSITION(put_PrerollTime(time)); }

HRESULT STDMETHODCALLTYPE D_CPosPassThru::put_Rate(double rate) {
    if (rate == 0.0) return E_INVALIDARG;
    POSITION(put_Rate(rate));
}

HRESULT STDMETHODCALLTYPE D_CPosPassThru::get_Rate(double* rate) { POSITION(get_Rate(rate)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::CanSeekForward(LONG* can) { POSITION(CanSeekForward(can)); }
HRESULT STDMETHODCALLTYPE D_CPosPassThru::CanSeekBackward(LONG* can) { POSITION(CanSeekBackward(can)); }
