#pragma once
#include <cstdint>

// timeGetTime masked to 31 bits.
int GetTickMs();
// Microsecond clock from the performance counter (use_tsc is ignored: 0 everywhere here).
int64_t GetTickUs(int use_tsc);
