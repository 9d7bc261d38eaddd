// Samples per second through our source -> a null in-place filter -> our sink
// inside the platform's filter graph, for a few sample sizes. The sizes take
// turns in rounds of 0.2 s samples, so a slow spell of the machine falls on
// all of them; each figure is the median, with the middle half of the samples
// beside it to show how steady it was. Figures only.
#include <windows.h>
#include <cstdio>
#include <vector>

#include "bench/bench_timing.h"
#include "movie/filters/com_kit.h"

using namespace filtertest;

namespace {

struct Size {
    int bytes;
    GraphChain chain;
    bool running = false;
    long delivered = 0;  // start times keep rising across samples, as in a playing stream
    std::vector<double> rates;
};

bool Start(Size& s, const TestType& pcm) {
    GraphChain& c = s.chain;
    if (FAILED(c.Create())) return false;
    c.source->offered = {&pcm};
    c.source->wanted.cbBuffer = s.bytes;
    return SUCCEEDED(c.Connect(&pcm, &pcm)) && SUCCEEDED(c.control->Run());
}

}  // namespace

int main() {
    LoadPlatformEntryPoints();
    WinApi.CoInitialize(nullptr);
    {
        TestType pcm(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 18, 1);
        Size sizes[3];
        const int bytes[3] = {64, 4096, 65536};
        for (int i = 0; i < 3; i++) {
            sizes[i].bytes = bytes[i];
            sizes[i].running = Start(sizes[i], pcm);
        }
        for (int round = 0; round < kBenchSamples; round++)
            for (Size& s : sizes)
                if (s.running)
                    s.rates.push_back(IndexedCallsPerSecond(0.2, 100, [&](long) {
                        s.chain.source->pin->Deliver(s.bytes, (BYTE)s.delivered, s.delivered * 10000LL);
                        s.delivered++;
                    }));
        std::printf("samples/s through the graph, median of %d samples of 0.2 s (middle half of the samples)\n",
                    kBenchSamples);
        for (Size& s : sizes) {
            if (!s.running) {
                std::printf("%6d bytes: graph could not be built\n", s.bytes);
                continue;
            }
            std::vector<double> r = s.rates;
            std::sort(r.begin(), r.end());
            const double rate = MedianOf(r);
            std::printf("%6d bytes: %9.0f samples/s (%.0f-%.0f), %7.1f MB/s (%d through, %d transformed)\n", s.bytes,
                        rate, r[r.size() / 4], r[r.size() * 3 / 4], rate * s.bytes / 1e6, s.chain.sink->samples.load(),
                        s.chain.inPlace->transformed.load());
        }
    }
    WinApi.CoUninitialize();
    return 0;
}
