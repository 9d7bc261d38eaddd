// Whether bytes hold a container, confirmed by its structure (behind the ID3v2
// tags that tools put before one: sound_tags.h). A container's parser reads
// its payload by the layout; raw bytes, which hold none, are the engine's to
// judge (sound_intake.h). No Windows header: the rules build natively.
#pragma once
#include <cstdint>

// The container that the bytes from `at` on hold, by its name, or null. Four
// bytes are no evidence: each kind is known by its structure (chunks that
// chain to the format, or in an AVI to its header list, pages that chain, a
// FLAC stream description whose fields are in range, a transport stream's
// sync byte on many packets in a row, a pack and the units after it, ...),
// and QuickTime and MP4, whose atoms may be of any type first, by a chain of
// atoms of any length that reaches the movie or its media data.
const char* ConfirmedSoundContainer(const uint8_t* p, uint32_t size, uint32_t at);

// How many QuickTime atoms chain from `at`, whether or not they reach a movie.
uint32_t QuickTimeAtomsAt(const uint8_t* p, uint32_t size, uint32_t at);

// In an image that holds a QuickTime or MP4 movie from `at`, marks the atoms
// before the movie's first as free space: the platform's parser knows a movie
// by its first atom, and reads one led by an atom of another kind (junk, say)
// as raw MPEG audio. Any other image is left as it is.
void MarkAtomsBeforeMovieFree(uint8_t* p, uint32_t size, uint32_t at);
