#include "engine/system/math_util.h"

#include <climits>
#include <cmath>

int AbsInt(int v) { return v < 0 ? (int)(0u - (unsigned)v) : v; }

float FloatSqrt(float v) { return std::sqrt(v); }

// A C++ cast truncates whatever rounding mode is in force (the compiler switches
// the x87 control word around it, or uses a truncating SSE conversion).
int FloatToInt(float v) { return DoubleToInt(v); }

int DoubleToInt(double v) {
    if (!(v > -2147483649.0 && v < 2147483648.0)) return INT_MIN;
    return (int)v;
}

void Mul64To128(const uint64_t* a, const uint64_t* b, u128* out) {
    uint32_t x[2] = {(uint32_t)*a, (uint32_t)(*a >> 32)};
    uint32_t y[2] = {(uint32_t)*b, (uint32_t)(*b >> 32)};
    uint32_t r[4] = {0, 0, 0, 0};
    for (int i = 0; i < 2; i++) {
        uint32_t carry = 0;
        for (int j = 0; j < 2; j++) {
            uint64_t t = (uint64_t)x[i] * y[j] + r[i + j] + carry;
            r[i + j] = (uint32_t)t;
            carry = (uint32_t)(t >> 32);
        }
        r[i + 2] = carry;
    }
    for (int i = 0; i < 4; i++) out->limb[i] = r[i];
}

void Div128By64(const u128* dividend, const uint64_t* divisor, uint64_t* quotient) {
    uint64_t d = *divisor;
    uint64_t hi = ((uint64_t)dividend->limb[3] << 32) | dividend->limb[2];
    uint64_t lo = ((uint64_t)dividend->limb[1] << 32) | dividend->limb[0];
    if (d == 0 || hi >= d) {
        *quotient = UINT64_MAX;
        return;
    }
    // Shift-subtract over the low 64 bits; the remainder stays below d, but its
    // doubling can need a 65th bit, kept in `top`.
    uint64_t rem = hi, q = 0;
    for (int i = 63; i >= 0; i--) {
        uint32_t top = (uint32_t)(rem >> 63);
        rem = (rem << 1) | ((lo >> i) & 1);
        q <<= 1;
        if (top || rem >= d) {
            rem -= d;
            q |= 1;
        }
    }
    *quotient = q;
}
