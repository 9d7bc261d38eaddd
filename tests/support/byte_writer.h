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
// The low `bytes` bytes of v.
inline void PutLe(Bytes& b, int64_t v, int bytes) {
    for (int i = 0; i < bytes; i++) b.push_back((uint8_t)(v >> (8 * i)));
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A fixed pseudo-random sequence, the same on every platform.
struct Lcg {
    uint32_t state;
    uint32_t Next() { return (state = state * 1103515245u + 12345u) >> 8; }
    int Within(int n) { return (int)(Next() % (uint32_t)n); }
};

// Bytes of that sequence.
inline Bytes Noise(size_t n, uint32_t seed) {
    Lcg r = {seed};
    Bytes b(n);
    for (auto& x : b) x = (uint8_t)(r.Next() >> 16);
    return b;
}

}  // namespace soundtest
