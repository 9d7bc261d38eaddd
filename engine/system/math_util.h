// Numeric helpers. No Windows header: the software renderer builds natively too.
#pragma once
#include <cstdint>

struct u128 { uint32_t limb[4]; };  // little-endian 32-bit limbs

int AbsInt(int v);
float FloatSqrt(float v);
// Truncate toward zero; NaN or out of the int32 range gives INT32_MIN.
int FloatToInt(float v);
int DoubleToInt(double v);
void Mul64To128(const uint64_t* a, const uint64_t* b, u128* out);
// Quotient only; a zero divisor or a quotient over 64 bits gives UINT64_MAX.
void Div128By64(const u128* dividend, const uint64_t* divisor, uint64_t* quotient);
