// Samples per second through our source -> a null in-place filter -> our sink
// inside the platform's filter graph, for a few sample sizes. Figures only.
#include <windows.h>
#include <cstdio>

#include "bench/bench_timing.h"
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
    const double rate = IndexedCallsPerSecond(1.0, 1000, [&](long n) {
        chain.source->pin->Deliver(bytes, (BYTE)n, n * 10000LL);
    });
    std::printf("%6d bytes: %9.0f samples/s, %7.1f MB/s (%d through, %d transformed)\n", bytes, rate,
                rate * bytes / 1e6, chain.sink->samples.load(), chain.inPlace->transformed.load());
}

int main() {
    LoadPlatformEntryPoints();
    WinApi.CoInitialize(nullptr);
    for (int bytes : {64, 4096, 65536}) Measure(bytes);
    WinApi.CoUninitialize();
    return 0;
}
