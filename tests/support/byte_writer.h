// Little-endian bytes for the files the tests and benchmarks write; no test
// framework, so that benchmarks can include it too.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace soundtest {

typedef std::vector<uint8_t> Bytes;

inline void Put16(Bytes& b, uint32_t v) { b.insert(b.end(), {(uint8_t)v, (uint8_t)(v >> 8)}); }
inline void Put32(Bytes& b, uint32_t v) { Put16(b, v & 0xFFFF), Put16(b, v >> 16); }

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Bytes of a fixed pseudo-random sequence.
inline Bytes Noise(size_t n, uint32_t seed) {
    Bytes b(n);
    for (auto& x : b) x = (uint8_t)((seed = seed * 1103515245u + 12345u) >> 24);
    return b;
}

}  // namespace soundtest
