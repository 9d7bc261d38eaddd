// Memory guards for tests: blocks that sit flush against a no-access page (a
// read or write one byte past the end, or before the start, faults at once),
// and sentinel rings around a region that must not change.
#pragma once
#include <cstddef>
#include <cstdint>

enum GuardSide { GUARD_AFTER = 0, GUARD_BEFORE = 1 };

// size bytes whose last byte (GUARD_AFTER) or first byte (GUARD_BEFORE) touches
// a no-access page. Null on failure. The contents are undefined.
uint8_t* GuardAlloc(size_t size, GuardSide side = GUARD_AFTER);
void GuardFree(uint8_t* block);

// Fills n bytes with a pattern from seed, and counts the bytes that differ from it.
void SentinelFill(uint8_t* p, size_t n, uint32_t seed);
size_t SentinelCheck(const uint8_t* p, size_t n, uint32_t seed);
