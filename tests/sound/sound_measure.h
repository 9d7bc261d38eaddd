// Measures of decoded PCM shared by the sound tests.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace soundtest {

inline std::vector<int16_t> ToSamples(const std::vector<uint8_t>& b) {
    std::vector<int16_t> s(b.size() / 2);
    for (size_t i = 0; i < s.size(); i++) s[i] = (int16_t)(b[2 * i] | (b[2 * i + 1] << 8));
    return s;
}

inline std::vector<int16_t> Channel(const std::vector<int16_t>& s, int channels, int which) {
    std::vector<int16_t> out;
    for (size_t i = which; i < s.size(); i += channels) out.push_back(s[i]);
    return out;
}

// Frequency from rising zero crossings, with hysteresis so coding noise adds none.
inline double ZeroCrossingHz(const std::vector<int16_t>& s, int rate) {
    int peak = 0, first = -1, last = -1, count = 0;
    for (int16_t v : s) peak = std::max(peak, std::abs((int)v));
    bool below = false;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] < -peak / 10) below = true;
        if (below && s[i] > peak / 10) {
            below = false;
            if (first < 0) first = (int)i;
            last = (int)i, count++;
        }
    }
    return count < 2 ? 0 : (double)(count - 1) * rate / (last - first);
}

inline double Rms(const std::vector<int16_t>& s) {
    double sum = 0;
    for (int16_t v : s) sum += (double)v * v;
    return s.empty() ? 0 : std::sqrt(sum / s.size());
}

}  // namespace soundtest
