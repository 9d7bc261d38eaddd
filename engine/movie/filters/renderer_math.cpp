// Pure arithmetic of the renderer bases: 128-bit multiply-divide, integer
// square root, the quality throttle and the statistics' deviations.
#include "engine/movie/filters/renderer.h"

#include "engine/system/math_util.h"

// Two's complement helpers over the four limbs.
static void Add128(u128* a, const u128& b) {
    uint64_t carry = 0;
    for (int i = 0; i < 4; i++) {
        uint64_t s = (uint64_t)a->limb[i] + b.limb[i] + carry;
        a->limb[i] = (uint32_t)s;
        carry = s >> 32;
    }
}

static void Negate128(u128* a) {
    for (auto& l : a->limb) l = ~l;
    Add128(a, u128{{1, 0, 0, 0}});
}

static u128 SignExtend(LONGLONG v) {
    uint32_t high = v < 0 ? 0xFFFFFFFFu : 0;
    return u128{{(uint32_t)(uint64_t)v, (uint32_t)((uint64_t)v >> 32), high, high}};
}

LONGLONG Int64MulDiv(LONGLONG a, LONGLONG b, LONGLONG c, LONGLONG d) {
    const LONGLONG kMax = 0x7FFFFFFFFFFFFFFFLL;
    uint64_t ua = a < 0 ? 0 - (uint64_t)a : (uint64_t)a, ub = b < 0 ? 0 - (uint64_t)b : (uint64_t)b;
    u128 n;
    Mul64To128(&ua, &ub, &n);
    if ((a < 0) != (b < 0)) Negate128(&n);
    Add128(&n, SignExtend(d));
    bool negative = (n.limb[3] & 0x80000000u) != 0;
    if (negative) Negate128(&n);
    if (c < 0) negative = !negative;
    if (c == 0) return negative ? -kMax : kMax;
    uint64_t uc = c < 0 ? 0 - (uint64_t)c : (uint64_t)c, q = 0;
    Div128By64(&n, &uc, &q);
    if (q > (uint64_t)kMax) return negative ? -kMax : kMax;
    return negative ? -(LONGLONG)q : (LONGLONG)q;
}

LONG IntegerSqrt(LONGLONG n) {
    if (n <= 0) return 0;  // a negative variance (rounding) has no deviation
    if (n > 0x40000000) return 32768;
    LONGLONG x = 1;
    while (x * x < n) x <<= 1;
    for (int i = 0; i < 3; i++) x = (x * x + n) / (2 * x);
    return (LONG)x;
}

LONG QualityThrottle(LONG proportion) {
    // At -167 the formula divides by zero, and below it turns negative: no throttle there.
    if (proportion >= 1000 || proportion <= -167) return 0;
    return 388880000 / (proportion + 167) - 330000;
}

LONG FrameStatDeviation(bool have_clock, LONG n, LONGLONG sum_squares, LONGLONG sum) {
    if (!have_clock || n <= 1) return 0;
    return IntegerSqrt((sum_squares - Int64MulDiv(sum, sum, n, 0)) / (n - 1));
}
