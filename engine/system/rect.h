#pragma once
#include <cstdint>

// Right and bottom exclusive.
struct Rect { int32_t left, top, right, bottom; };

// Normalises r (right >= left, bottom >= top), then clamps bottom, top, right and
// left into clip, in that order. Always returns 0.
int ClipRectToRect(Rect* r, const Rect* clip);
