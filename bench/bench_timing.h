// Timing for the benchmarks: a steady clock in seconds, and calls per second.
#pragma once
#include <chrono>

inline double SecondsNow() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Calls of fn per second, calling it until at least `seconds` have passed.
template <class Fn> double CallsPerSecond(double seconds, Fn fn) {
    int calls = 0;
    const double start = SecondsNow();
    double elapsed = 0;
    do {
        fn();
        calls++;
        elapsed = SecondsNow() - start;
    } while (elapsed < seconds);
    return calls / elapsed;
}
