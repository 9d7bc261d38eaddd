// Samples per second through our source -> a null in-place filter -> our sink
// inside the platform's filter graph, for a few sample sizes. Figures only.
#include <windows.h>
#include <cstdio>
#include "movie/filters/com_kit.h"

using namespace filtertest;

static void Measure(int bytes) {
    GraphChain chain;
    TestType pcm(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 18, 1);
    if (FAILED(chain.Create()) || (chain.source->offered = {&pcm}, chain.source->wanted.cbBuffer = bytes, FAILED(chain.Connect(&pcm, &pcm))) ||
        FAILED(chain.control->Run())) {
        std::printf("%6d bytes: graph could not be built\n", bytes);
        return;
    }
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    int n = 0;
    do {
        for (int i = 0; i < 1000; ++i, ++n) chain.source->pin->Deliver(bytes, (BYTE)i, n * 10000LL);
        QueryPerformanceCounter(&t1);
    } while (t1.QuadPart - t0.QuadPart < f.QuadPart);
    double seconds = double(t1.QuadPart - t0.QuadPart) / f.QuadPart;
    std::printf("%6d bytes: %9.0f samples/s, %7.1f MB/s (%d through, %d transformed)\n", bytes, n / seconds,
                n * (double)bytes / seconds / 1e6, chain.sink->samples.load(), chain.inPlace->transformed.load());
}

int main() {
    LoadPlatformEntryPoints();
    WinApi.CoInitialize(nullptr);
    for (int bytes : {64, 4096, 65536}) Measure(bytes);
    WinApi.CoUninitialize();
    return 0;
}
