// The tags that tools put before MPEG audio (ID3v2, also before a container),
// between files joined end to end and after the last frame (ID3v2, ID3v1,
// APEv2, Lyrics3). A tag is known by its header, or at the file's end by its
// footer; its size as written counts where it lands well (on the file's end,
// another tag or MPEG audio of the stream). Writers get ID3v2 sizes wrong, so
// a plain reading of the size, or where the tag's frames end, is taken where
// that lands instead. A leading tag that nothing bears out keeps its size;
// one between chains is no tag, unless the next chain of the stream stands a
// few bytes, or only zero bytes, from its end. Every look costs a bounded
// number of bytes. No Windows header: the rules build natively.
#pragma once
#include <cstddef>
#include <cstdint>

// The bytes of the tag that begins at p (ID3v2 by its header, ID3v1, APEv2
// with a header, Lyrics3 v2) as the tag gives them, which may run past
// `size`; 0 when p holds none. Unchecked: CheckedTagBytes (below) checks
// them against what follows.
uint32_t MpegTagBytes(const uint8_t* p, size_t size);
// Whether such a tag begins at p, by its first bytes alone: a look of fixed cost.
bool MpegTagStartsAt(const uint8_t* p, size_t size);

// Where the audio ends in a file of `size` bytes. Tools leave ID3v1, ID3v2
// with a footer, Lyrics3 and APE tags and zero bytes after the last frame, in
// about any order: `tags_start` is where the first of the tags begins (the
// file's end when there is none), `audio_end` the same with the zero bytes
// before it also left out, but for three that may end a header. The last
// frame may end in zero bytes of its own, so only the finder takes
// `audio_end`. An ID3v2 tag without a footer is found walking forward, where
// the frames before it end (CheckedTagBytes).
struct MpegAudioTails {
    uint32_t tags_start;
    uint32_t audio_end;
};
MpegAudioTails FindMpegAudioTails(const uint8_t* p, uint32_t size);

// The bytes of the ID3v2 tag whose 10-byte header ("ID3") or footer ("3DI",
// as `id` says) is at b, footer included; 0 when b holds none.
uint32_t Id3v2TagBytes(const uint8_t b[10], const char* id);

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
