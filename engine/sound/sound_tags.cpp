#include "engine/sound/sound_tags.h"

#include <cstring>

#include "engine/sound/mpeg_audio_header.h"
#include "engine/sound/mpeg_audio_start.h"

namespace {

// The tail rules' reads of the bytes; in memory every read succeeds.
struct Reader {
    const uint8_t* p;
    bool At(uint32_t at, void* dst, uint32_t n) const { return std::memcpy(dst, p + at, n), true; }
};

uint32_t Le32(const uint8_t* b) { return b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24; }
uint32_t Be32(const uint8_t* b) { return (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3]; }
bool Is(const uint8_t* p, const char* id, size_t n) { return std::memcmp(p, id, n) == 0; }

// The start of an ID3v2 tag with a footer that ends at `end`, or `end`. One
// without a footer is known only by its header, which the walk over the
// frames meets where they end.
uint32_t Id3v2TagEndingAt(const Reader& r, uint32_t end) {
    uint8_t b[10];
    uint32_t total;
    if (end >= 20 && r.At(end - 10, b, 10) && (total = Id3v2TagBytes(b, "3DI")) != 0 && total <= end &&
        r.At(end - total, b, 10) && Id3v2TagBytes(b, "ID3") == total)
        return end - total;
    return end;
}

// The start of an ID3v1, ID3v2, APE or Lyrics3 tag that ends at `end`, or `end`.
uint32_t TagEndingAt(const Reader& r, uint32_t end) {
    uint8_t b[32];
    if (end >= 128 && r.At(end - 128, b, 3) && std::memcmp(b, "TAG", 3) == 0) return end - 128;
    // APE: a footer that gives the size of the items and itself, and whether a header leads them.
    if (end >= 32 && r.At(end - 32, b, 32) && std::memcmp(b, "APETAGEX", 8) == 0) {
        const uint64_t total = (uint64_t)Le32(b + 12) + ((Le32(b + 20) & 0x80000000u) ? 32 : 0);
        if (Le32(b + 12) >= 32 && total <= end) return end - (uint32_t)total;
    }
    // Lyrics3 v2: "LYRICSBEGIN", the fields, their size in six digits, "LYRICS200".
    if (end >= 15 && r.At(end - 15, b, 15) && std::memcmp(b + 6, "LYRICS200", 9) == 0) {
        uint32_t fields = 0;
        bool digits = true;
        for (int i = 0; i < 6; i++) {
            digits = digits && b[i] >= '0' && b[i] <= '9';
            fields = fields * 10 + (uint32_t)(b[i] & 0x0F);
        }
        if (digits && fields >= 11 && fields + 15 <= end && r.At(end - 15 - fields, b, 11) &&
            std::memcmp(b, "LYRICSBEGIN", 11) == 0)
            return end - 15 - fields;
    }
    // Lyrics3 v1: "LYRICSBEGIN", at most 5,100 bytes of lyrics, "LYRICSEND".
    if (end >= 20 && r.At(end - 9, b, 9) && std::memcmp(b, "LYRICSEND", 9) == 0) {
        uint8_t lyrics[5100 + 11];
        const uint32_t n = end - 9 < sizeof lyrics ? end - 9 : (uint32_t)sizeof lyrics;
        if (r.At(end - 9 - n, lyrics, n))
            for (uint32_t i = n - 11 + 1; i-- > 0;)
                if (std::memcmp(lyrics + i, "LYRICSBEGIN", 11) == 0) return end - 9 - n + i;
    }
    return Id3v2TagEndingAt(r, end);
}

// Where the zero bytes that end the first `end` bytes begin.
uint32_t BeforeZeros(const Reader& r, uint32_t end) {
    uint8_t block[4096];
    while (end > 0) {
        const uint32_t n = end < sizeof block ? end : (uint32_t)sizeof block;
        if (!r.At(end - n, block, n)) return end;
        uint32_t i = n;
        while (i > 0 && block[i - 1] == 0) i--;
        if (i > 0) return end - n + i;
        end -= n;
    }
    return 0;
}

}  // namespace

MpegAudioTails FindMpegAudioTails(const uint8_t* p, uint32_t size) {
    const Reader r = {p};
    uint32_t tags = size;
    for (;;) {
        uint32_t start = TagEndingAt(r, tags);
        if (start == tags) {   // zero bytes may stand between tags, or behind the last
            const uint32_t zeros = BeforeZeros(r, tags);
            start = zeros < tags ? TagEndingAt(r, zeros) : zeros;
            if (start == zeros) break;
        }
        tags = start;
    }
    // A header's last bytes may be zero: what stands before the zeros keeps room for them.
    const uint32_t zeros = BeforeZeros(r, tags);
    return {tags, tags - zeros > 3 ? zeros + 3 : tags};
}

uint32_t Id3v2TagBytes(const uint8_t b[10], const char* id) {
    if (std::memcmp(b, id, 3) != 0 || b[3] == 0xFF || b[4] == 0xFF || ((b[6] | b[7] | b[8] | b[9]) & 0x80)) return 0;
    const uint32_t body = (uint32_t)b[6] << 21 | (uint32_t)b[7] << 14 | (uint32_t)b[8] << 7 | b[9];
    return 10 + body + ((b[5] & 0x10) ? 10 : 0);
}

namespace {

bool Digits(const uint8_t* b, int n, uint32_t* value) {
    *value = 0;
    for (int i = 0; i < n; i++) {
        if (b[i] < '0' || b[i] > '9') return false;
        *value = *value * 10 + (uint32_t)(b[i] - '0');
    }
    return true;
}

// Lyrics3 v2 read forward: fields of a three-letter id and a five-digit size
// up to the six-digit size of them all and "LYRICS200". Its fields are of
// eight kinds, each once: walking no more keeps every look short, however
// many chain ends a hostile file holds.
uint32_t Lyrics3v2Bytes(const uint8_t* p, size_t size) {
    size_t at = 11;
    for (int field = 0; field <= 16 && at + 15 <= size; field++) {
        uint32_t n;
        if (std::memcmp(p + at + 6, "LYRICS200", 9) == 0 && Digits(p + at, 6, &n)) return n == at ? (uint32_t)at + 15 : 0;
        if (p[at] < 'A' || p[at] > 'Z' || p[at + 1] < 'A' || p[at + 1] > 'Z' || p[at + 2] < 'A' || p[at + 2] > 'Z' ||
            !Digits(p + at + 3, 5, &n))
            return 0;
        at += 8 + n;
    }
    return 0;
}

}  // namespace

bool MpegTagStartsAt(const uint8_t* p, size_t size) {
    return (size >= 10 && p[0] == 'I' && Id3v2TagBytes(p, "ID3")) || (size >= 128 && std::memcmp(p, "TAG", 3) == 0) ||
           (size >= 32 && std::memcmp(p, "APETAGEX", 8) == 0) || (size >= 20 && std::memcmp(p, "LYRICSBEGIN", 11) == 0);
}

uint32_t MpegTagBytes(const uint8_t* p, size_t size) {
    if (size >= 10 && p[0] == 'I') return Id3v2TagBytes(p, "ID3");
    if (size >= 128 && std::memcmp(p, "TAG", 3) == 0) return 128;
    // APEv2 with its header: the size counts the items and the footer.
    if (size >= 32 && std::memcmp(p, "APETAGEX", 8) == 0 && (Le32(p + 20) & 0xA0000000u) == 0xA0000000u &&
        Le32(p + 12) >= 32 && Le32(p + 12) <= 0x7FFFFFFFu - 32)
        return Le32(p + 12) + 32;
    // Lyrics3 v2 only: v1 gives no size, and a search for its end at every
    // chain end would cost a hostile file dear. Tools write v1 last, a tail.
    if (size >= 26 && std::memcmp(p, "LYRICSBEGIN", 11) == 0) return Lyrics3v2Bytes(p, size);
    return 0;
}

namespace {

// ID3v2 tags, whose sizes writers get wrong: a plain integer where a syncsafe
// one belongs, or a size that counts only the first frames. A reading of a
// size counts where it lands well, on the end, another tag or MPEG audio.
// Every look costs a bounded number of bytes: a hostile file may hold a tag,
// or a frame of one, every ten bytes.

uint64_t Syncsafe32(const uint8_t* b) {
    return (b[0] | b[1] | b[2] | b[3]) & 0x80 ? UINT64_MAX : (uint64_t)b[0] << 21 | b[1] << 14 | b[2] << 7 | b[3];
}

// An ID3v2 header of a version there is, whatever its size says.
bool Id3v2HeaderAt(const uint8_t* p, uint32_t size, uint64_t at) {
    if (at + 10 > size) return false;
    const uint8_t* const h = p + at;
    return Is(h, "ID3", 3) && h[3] >= 2 && h[3] <= 4 && h[4] != 0xFF && (h[5] & 0x0F) == 0;
}

// MPEG audio at a table bit rate: three headers of one version, layer and
// sampling frequency (those of `stream`, when given), each where the frame
// before ends; two where the bytes end first, one where a tag follows. Free format would cost a
// search: a free-format stream is known by its header alone.
bool MpegAudioAt(const uint8_t* p, uint32_t size, uint64_t at, const uint8_t* stream) {
    const uint8_t* const first = stream ? stream : p + at;
    MpegFrameInfo f;
    if (stream && (stream[2] >> 4) == 0) {
        if (at + 4 > size || !SameMpegStream(stream, p + at)) return false;
        const uint8_t rated[4] = {p[at], p[at + 1], (uint8_t)(p[at + 2] | 0x10), p[at + 3]};
        return ParseMpegAudioFrameHeader(rated, &f, true) == 0;
    }
    for (uint64_t i = 0, pos = at; i < 3; i++, pos += f.frame_length) {
        if (pos + 4 > size) return i >= 2;
        if (i >= 1 && MpegTagStartsAt(p + pos, size - pos)) return true;   // joined files: a frame or two, then a tag
        const uint8_t* const h = p + pos;
        if (ParseMpegAudioFrameHeader(h, &f, true) != 0 || (h[1] & 0xFE) != (first[1] & 0xFE) ||
            (h[2] & 0x0C) != (first[2] & 0x0C))
            return false;
    }
    return true;
}

const TagLanding kLeading = {nullptr, UINT32_MAX, 0};

bool LandsWell(const uint8_t* p, uint32_t size, uint64_t at, const TagLanding& l) {
    if (at == size || (at >= l.quiet && at <= l.tails)) return true;
    return at < size && (Id3v2HeaderAt(p, size, at) || MpegTagStartsAt(p + at, size - at) ||
                         MpegAudioAt(p, size, at, l.stream));
}

bool IsFrameId(const uint8_t* id, int n) {
    for (int i = 0; i < n; i++)
        if (!((id[i] >= 'A' && id[i] <= 'Z') || (id[i] >= '0' && id[i] <= '9'))) return false;
    return true;
}

// Frames of one tag between chains walked for its end: tags hold a few
// dozen, and a hostile chain of frames, each with a tag header in it, must
// not be walked again from every header. Leading tags are walked whole: what
// a walk passes over is theirs, so each byte is walked once.
const int kId3v2FramesWalked = 64;

// Where the frames of the ID3v2 tag at `at` end, walked regardless of its
// size. v2.4 gives a frame's size syncsafe and v2.3 plain, but writers mix the
// two up: the reading that chains is taken, the version's own first, one that
// reaches another frame, a footer or what lands well before one that reaches
// padding. The walk ends before a frame that chains neither way.
uint64_t Id3v2FramesEnd(const uint8_t* p, uint32_t size, uint64_t at, const TagLanding& l) {
    const uint8_t* const h = p + at;
    const int major = h[3], id = major == 2 ? 3 : 4, header = major == 2 ? 6 : 10;
    uint64_t pos = at + 10;
    if (h[5] & 0x40) {   // an extended header; in v2.2, compression of no defined kind
        if (major == 2 || pos + 4 > size) return pos;
        const uint64_t extended = major == 3 ? 4 + (uint64_t)Be32(p + pos) : Syncsafe32(p + pos);
        if (extended > size - pos) return pos;
        pos += extended;
    }
    for (int walked = 0; (!l.stream || walked < kId3v2FramesWalked) && pos + header <= size && IsFrameId(p + pos, id); walked++) {
        const uint8_t* const f = p + pos;
        const uint64_t plain = major == 2 ? Be32(f + 2) & 0xFFFFFF : Be32(f + 4);
        const uint64_t syncsafe = major == 2 ? UINT64_MAX : Syncsafe32(f + 4);
        const uint64_t readings[2] = {major == 4 ? syncsafe : plain, major == 4 ? plain : syncsafe};
        uint64_t strong = 0, weak = 0;
        bool another = false;
        for (uint64_t length : readings) {
            if (length > size - pos - header) continue;
            const uint64_t next = pos + header + length;
            const bool frame = next + header <= size && IsFrameId(p + next, id);
            const bool footer = major == 4 && next + 10 <= size && Is(p + next, "3DI", 3);
            if (!strong && (frame || footer || LandsWell(p, size, next, l))) {
                strong = footer ? next + 10 : next;
                another = frame;
            }
            if (!weak && next < size && p[next] == 0) weak = next;
        }
        if (!strong && !weak) break;
        pos = strong ? strong : weak;
        if (!another) break;
    }
    return pos;
}

// The ID3v2 tag at `at`: the declared size first, unless it lands on
// nothing; then the plain reading, where a writer put one and it lands well,
// or where the frames end, when they land well or run past the size. A
// leading tag that none of them bears out keeps its declared size, and one
// that runs past the end holds the rest: a file's first bytes are its tags.
uint32_t Id3v2TagSize(const uint8_t* p, uint32_t size, uint32_t at, const TagLanding* between) {
    const TagLanding& l = between ? *between : kLeading;
    const uint32_t rest = size - at, declared = Id3v2TagBytes(p + at, "ID3");   // 0 unless syncsafe
    const bool cut = declared >= rest && !between;   // a leading tag that runs past the end holds the rest
    if (declared && (cut || (declared <= rest && LandsWell(p, size, (uint64_t)at + declared, l))))
        return declared < rest ? declared : rest;
    if (!Id3v2HeaderAt(p, size, at)) return between ? 0 : declared;
    const uint8_t* const h = p + at;
    const uint64_t plain = 10 + (uint64_t)Be32(h + 6) + ((h[5] & 0x10) ? 10 : 0);
    if (plain != declared && plain <= rest && LandsWell(p, size, (uint64_t)at + plain, l)) return (uint32_t)plain;
    const uint64_t frames = Id3v2FramesEnd(p, size, at, l) - at;
    const bool longer = frames > (declared ? declared : plain);
    if (!between) return longer ? (uint32_t)frames : declared;
    // Between chains, frames that run past the size may end on their padding.
    return frames > 10 && (LandsWell(p, size, at + frames, l) || (longer && at + frames < size && p[at + frames] == 0))
               ? (uint32_t)frames
               : 0;
}

// How far the chain after a tag between chains may stand from the tag's
// declared end: writers that get a size wrong count a header, a footer or a
// few bytes of padding in or out.
const uint64_t kTagSizeSlack = 16;

}  // namespace

uint32_t LeadingId3v2TagsEnd(const uint8_t* p, uint32_t size) {
    uint32_t at = 0;
    for (uint32_t n; size - at >= 10 && (n = CheckedTagBytes(p, size, at, nullptr)) != 0;) at += n;
    return at;
}

uint32_t CheckedTagBytes(const uint8_t* p, uint32_t size, uint32_t at, const TagLanding* between) {
    if (at >= size) return 0;
    if (size - at >= 10 && Is(p + at, "ID3", 3)) return Id3v2TagSize(p, size, at, between);
    if (!between) return 0;
    const uint32_t bytes = MpegTagBytes(p + at, size - at);
    if (!bytes || !Is(p + at, "APETAGEX", 8)) return bytes;
    // APEv2 with a header: its footer where its size ends, or an end that lands well.
    if (bytes > size - at) return 0;
    return Is(p + at + bytes - 32, "APETAGEX", 8) || LandsWell(p, size, (uint64_t)at + bytes, *between) ? bytes : 0;
}

bool Id3v2TagEndsAtChain(const uint8_t* p, uint32_t size, uint32_t at, uint32_t chain, const TagLanding& between) {
    if (chain <= at || chain + 4 > size || !between.stream || !Id3v2HeaderAt(p, size, at) ||
        !SameMpegStream(between.stream, p + chain))
        return false;
    const uint8_t* const h = p + at;
    const uint32_t declared = Id3v2TagBytes(h, "ID3");
    const uint64_t end = at + (declared ? declared : 10 + (uint64_t)Be32(h + 6));
    if (end <= chain + kTagSizeSlack && end + kTagSizeSlack >= chain) return true;
    // Zero bytes before the chain, back to the header at most: bytes the walk passes over.
    uint64_t zeros = chain;
    while (zeros > at && p[zeros - 1] == 0) zeros--;
    if (zeros == chain) return false;
    if (end >= zeros && end < chain) return true;
    const uint64_t frames = Id3v2FramesEnd(p, size, at, between);
    return frames > at + 10 && frames >= zeros && frames < chain;
}
