#include "engine/sound/null_renderer_swap.h"

#include <cwchar>

#include "engine/movie/filters/filter_guids.h"
#include "engine/movie/filters/graph_pins.h"
#include "engine/system/entry_points.h"

namespace {

const char kSwapFailed[] = "既存レンダラーをNullレンダラーと交換する処理が失敗しました";
const char kAddFailed[] = "ヌルレンダラーフィルタのグラフへの追加に失敗しました";

// Whether the filter ends a stream: no output pin, and some input connected
// (a renderer that mixes several streams may have its first input free).
bool EndsAStream(IBaseFilter* f) {
    IEnumPins* pins = nullptr;
    if (FAILED(f->EnumPins(&pins)) || !pins) return false;
    bool output = false, connected = false;
    IPin* pin = nullptr;
    while (!output && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION dir;
        IPin* peer = nullptr;
        if (SUCCEEDED(pin->QueryDirection(&dir)) && dir == PINDIR_OUTPUT)
            output = true;
        else if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer)
            connected = true;
        if (peer) peer->Release();
        pin->Release();
    }
    pins->Release();
    return connected && !output;
}

// A filter the builder added to end a stream, with a reference, or null. Null
// renderers are passed over: they are the ones already swapped in.
IBaseFilter* FindRenderer(IGraphBuilder* graph) {
    IEnumFilters* filters = nullptr;
    if (FAILED(graph->EnumFilters(&filters))) return nullptr;
    IBaseFilter* found = nullptr;
    IBaseFilter* f = nullptr;
    while (!found && filters->Next(1, &f, nullptr) == S_OK) {
        CLSID clsid = GUID_NULL;
        if (EndsAStream(f) && !(SUCCEEDED(f->GetClassID(&clsid)) && IsEqualCLSID(clsid, CLSID_NullRenderer))) {
            found = f;
            f->AddRef();
        }
        f->Release();
    }
    filters->Release();
    return found;
}

// Adds a null renderer (`made`, or a new one) under the n-th name and connects the stream to it.
const char* EndInNullRenderer(IGraphBuilder* graph, IPin* upstream, IBaseFilter* made, int n) {
    IBaseFilter* null_renderer = made;
    if (made) {
        made->AddRef();
    } else if (FAILED(WinApi.CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                              (void**)&null_renderer))) {
        return kSwapFailed;
    }
    // A name the graph holds already is taken with another success code.
    WCHAR name[32] = L"File Renderer";
    if (n > 0) std::swprintf(name, 32, L"File Renderer %d", n + 1);
    const char* failure = kAddFailed;
    if (graph->AddFilter(null_renderer, name) == S_OK) {
        IPin* in = FindPinByDirection(null_renderer, PINDIR_INPUT);
        failure = in && graph->Connect(upstream, in) == S_OK ? nullptr : kSwapFailed;
        if (in) in->Release();
    }
    null_renderer->Release();
    return failure;
}

// Moves every stream the renderer ends on to a null renderer, then takes it out of the graph.
const char* ReplaceRenderer(IGraphBuilder* graph, IBaseFilter* renderer, IBaseFilter* first, int* swapped) {
    IEnumPins* pins = nullptr;
    if (FAILED(renderer->EnumPins(&pins))) return kSwapFailed;
    const char* failure = nullptr;
    IPin* pin = nullptr;
    while (!failure && pins->Next(1, &pin, nullptr) == S_OK) {
        IPin* upstream = nullptr;
        if (SUCCEEDED(pin->ConnectedTo(&upstream)) && upstream) {
            graph->Disconnect(upstream);
            graph->Disconnect(pin);
            failure = EndInNullRenderer(graph, upstream, *swapped == 0 ? first : nullptr, *swapped);
            ++*swapped;
            upstream->Release();
        }
        pin->Release();
    }
    pins->Release();
    if (!failure && FAILED(graph->RemoveFilter(renderer))) failure = kSwapFailed;
    return failure;
}

}  // namespace

const char* ReplaceRenderersWithNullRenderers(IGraphBuilder* graph, IBaseFilter* first) {
    int swapped = 0;
    while (IBaseFilter* renderer = FindRenderer(graph)) {
        const char* failure = ReplaceRenderer(graph, renderer, first, &swapped);
        renderer->Release();
        if (failure) return failure;
    }
    return swapped ? nullptr : kSwapFailed;
}
