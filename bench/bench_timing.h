// Timing for the benchmarks: a steady clock in seconds, and calls per second.
#pragma once
#include <chrono>

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
