// Whether bytes hold a container, confirmed by its structure, and where the
// ID3v2 tags that tools put before one (or before raw MPEG audio) end. A
// container's parser reads its payload by the layout; raw bytes, which hold
// none, are the engine's to judge (sound_intake.h). No Windows header: the
// rules build natively.
#pragma once
#include <cstdint>

// Where the ID3v2 tags at the start of a file of `size` bytes end: 0 when
// there is none, the file's end when one runs to it or past it. Their sizes
// are checked as CheckedTagBytes checks them.
uint32_t LeadingId3v2TagsEnd(const uint8_t* p, uint32_t size);

// What a tag's end may land on between chains of frames besides another tag:
// a frame of the stream whose header `stream` is, or the file's end, which
// the zero bytes and tails from `quiet` to `tails` stand for.
struct TagLanding {
    const uint8_t* stream;
    uint32_t quiet, tails;
};

// The bytes of the tag at `at` (ID3v2, ID3v1, APEv2 with a header, Lyrics3
// v2) as what follows bears them out, at most to the end; 0 when there is
// none. Writers get an ID3v2 tag's size wrong: one that lands on nothing is
// read as a plain integer instead of a syncsafe one where that lands well,
// and one that falls short of the tag's own frames ends where they do (so
// that a cover the size leaves out is not taken for what follows it). An
// APEv2 tag's size must reach its footer or land well. `between` null: the
// tag leads the file (ID3v2 only), any MPEG audio lands well, and a size
// nothing bears out, or that runs past the end, is kept; between chains such
// a tag is no tag (but see Id3v2TagEndsAtChain).
uint32_t CheckedTagBytes(const uint8_t* p, uint32_t size, uint32_t at, const TagLanding* between);

// Whether the ID3v2 header at `at` between chains, whose size CheckedTagBytes
// found nothing to bear out, still marks a tag that ends at `chain`, where
// the next chain of the stream is confirmed: tools leave sizes a few bytes
// off, and zero bytes after a tag. The chain stands a few bytes either side
// of the declared end, or behind zero bytes from that end or from where the
// tag's frames end. Costs the zero bytes before `chain` (back to `at` at
// most) and a walk of the tag's frames as CheckedTagBytes walks them.
bool Id3v2TagEndsAtChain(const uint8_t* p, uint32_t size, uint32_t at, uint32_t chain, const TagLanding& between);

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
