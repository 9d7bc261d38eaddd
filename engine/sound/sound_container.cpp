#include "engine/sound/sound_container.h"

#include <cstring>
#include <initializer_list>

namespace {

uint32_t Be32(const uint8_t* b) { return (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3]; }

// Bytes of the ID3v2 tag at `at`, at most to the end; 0 when there is none.
uint32_t Id3v2TagSize(uint32_t size, uint32_t at, ReadBytesAt read, void* context) {
    uint8_t h[10];
    if (size - at < 10 || !read(context, at, h, 10)) return 0;
    const uint32_t total = Id3v2TagBytes(h, "ID3");
    if (total == 0) return 0;
    return total < size - at ? total : size - at;   // one that runs past the end holds the rest
}

// Signatures at the start, as the formats' writers put them.
bool HasSignature(const uint8_t* p, uint32_t n) {
    static const struct {
        uint8_t at, length;
        char bytes[5];
    } kSignatures[] = {
        {0, 4, "RIFF"}, {0, 4, "RIFX"}, {0, 4, "RF64"}, {0, 4, "riff"}, {0, 4, "OggS"}, {0, 4, "fLaC"},
        {0, 4, "FORM"}, {0, 4, ".snd"}, {0, 4, "caff"}, {0, 4, "wvpk"}, {0, 4, "MAC "}, {0, 4, "TTA1"},
        {0, 4, "MPCK"},
        {0, 4, "\x1A\x45\xDF\xA3"},   // Matroska, WebM
        {0, 4, "\x30\x26\xB2\x75"},   // ASF
        {0, 4, "\x00\x00\x01\xBA"},   // MPEG program stream
    };
    for (const auto& s : kSignatures)
        if (n >= (uint32_t)s.at + s.length && std::memcmp(p + s.at, s.bytes, s.length) == 0) return true;
    // MPEG transport stream: a sync byte every packet, of 188 bytes or of 192 with a time stamp first.
    for (uint32_t lead : {0u, 4u}) {
        const uint32_t packet = 188 + lead;
        if (n > lead + 2 * packet && p[lead] == 0x47 && p[lead + packet] == 0x47 && p[lead + 2 * packet] == 0x47)
            return true;
    }
    // DV: a header block, then the first subcode block, 80 bytes a block.
    return n >= 83 && std::memcmp(p, "\x1F\x07\x00", 3) == 0 && std::memcmp(p + 80, "\x3F\x07\x00", 3) == 0;
}

bool IsAtom(const uint8_t* h, const char* type) { return std::memcmp(h + 4, type, 4) == 0; }

// Where the movie begins in a chain of atoms from `at` (a 32-bit size, or 1
// and a 64-bit size behind the type; a type of four printable characters): its
// first ftyp, moov, mdat or moof atom. -1 unless the chain reaches a movie or
// its media data before it breaks.
int64_t QuickTimeMovieStart(uint32_t size, uint32_t at, ReadBytesAt read, void* context) {
    int64_t movie = -1;
    uint64_t pos = at;
    for (int atoms = 0; atoms < 64 && pos + 8 <= size; atoms++) {
        uint8_t h[16];
        if (!read(context, (uint32_t)pos, h, 8)) return -1;
        for (int i = 4; i < 8; i++)
            if ((h[i] < 0x20 || h[i] > 0x7E) && h[i] != 0xA9) return -1;
        if (movie < 0 && (IsAtom(h, "ftyp") || IsAtom(h, "moov") || IsAtom(h, "mdat") || IsAtom(h, "moof")))
            movie = (int64_t)pos;
        if (IsAtom(h, "moov") || IsAtom(h, "mdat") || IsAtom(h, "moof")) return movie;
        uint64_t length = Be32(h);
        if (length == 1) {
            if (pos + 16 > size || !read(context, (uint32_t)pos + 8, h + 8, 8)) return -1;
            length = (uint64_t)Be32(h + 8) << 32 | Be32(h + 12);
            if (length < 16) return -1;
        } else if (length < 8) {
            return -1;   // 0, an atom to the end, would end the chain without a movie
        }
        if (length > size - pos) return -1;
        pos += length;
    }
    return -1;
}

}  // namespace

uint32_t LeadingId3v2TagsEnd(uint32_t size, ReadBytesAt read, void* context) {
    uint32_t at = 0;
    for (uint32_t n; (n = Id3v2TagSize(size, at, read, context)) != 0;) at += n;
    return at;
}

uint32_t LeadingId3v2TagsEnd(const uint8_t* p, uint32_t size) {
    return LeadingId3v2TagsEnd(size, ReadMemoryAt, (void*)p);
}

bool HoldsSoundContainer(uint32_t size, uint32_t at, ReadBytesAt read, void* context) {
    if (at >= size) return false;
    uint8_t head[2 * 192 + 8];
    const uint32_t n = size - at < sizeof head ? size - at : (uint32_t)sizeof head;
    if (!read(context, at, head, n)) return false;
    return HasSignature(head, n) || QuickTimeMovieStart(size, at, read, context) >= 0;
}

bool HoldsSoundContainer(const uint8_t* p, uint32_t size, uint32_t at) {
    return HoldsSoundContainer(size, at, ReadMemoryAt, (void*)p);
}

void MarkAtomsBeforeMovieFree(uint8_t* p, uint32_t size, uint32_t at) {
    const int64_t movie = QuickTimeMovieStart(size, at, ReadMemoryAt, p);
    for (uint64_t pos = at; movie >= 0 && pos < (uint64_t)movie;) {
        const uint32_t length = Be32(p + pos);
        std::memcpy(p + pos + 4, "free", 4);
        pos += length == 1 ? (uint64_t)Be32(p + pos + 8) << 32 | Be32(p + pos + 12) : length;
    }
}
