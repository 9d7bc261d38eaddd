// Timing for the benchmarks: a steady clock in seconds, calls per second, and
// medians of several samples.
#pragma once
#include <algorithm>
#include <chrono>
#include <vector>

inline double SecondsNow() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Calls of fn(i) per second, i counting the calls from 0 (to spread positions),
// calling it until at least `seconds` have passed. The clock is read once per
// `batch` calls so that it does not weigh on small calls.
template <class Fn> double IndexedCallsPerSecond(double seconds, int batch, Fn fn) {
    long calls = 0;
    const double start = SecondsNow();
    double elapsed = 0;
    do {
        for (int i = 0; i < batch; i++) fn(calls + i);
        calls += batch;
        elapsed = SecondsNow() - start;
    } while (elapsed < seconds);
    return calls / elapsed;
}

// Calls of fn() per second, calling it until at least `seconds` have passed.
template <class Fn> double CallsPerSecond(double seconds, Fn fn) {
    return IndexedCallsPerSecond(seconds, 1, [&](long) { fn(); });
}

// Samples a figure takes its median of: one sample slowed by the machine's other
// work moves nothing, and figures stay put from run to run.
constexpr int kBenchSamples = 9;

// The median of the values (the upper one of the middle two for an even count).
inline double MedianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The median of kBenchSamples (or `samples`) values of sample().
template <class Fn> double MedianSample(Fn sample, int samples = kBenchSamples) {
    std::vector<double> v;
    for (int i = 0; i < samples; i++) v.push_back(sample());
    return MedianOf(v);
}

// IndexedCallsPerSecond's median over kBenchSamples samples of `seconds` each.
template <class Fn> double MedianCallsPerSecond(double seconds, int batch, Fn fn) {
    return MedianSample([&] { return IndexedCallsPerSecond(seconds, batch, fn); });
}
