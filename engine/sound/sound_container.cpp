#include "engine/sound/sound_container.h"

#include <cstring>
#include <initializer_list>

#include "engine/sound/sound_tags.h"

namespace {

uint32_t Be16(const uint8_t* b) { return (uint32_t)b[0] << 8 | b[1]; }
uint32_t Be32(const uint8_t* b) { return Be16(b) << 16 | Be16(b + 2); }
uint64_t Be64(const uint8_t* b) { return (uint64_t)Be32(b) << 32 | Be32(b + 4); }
uint32_t Le16(const uint8_t* b) { return b[0] | (uint32_t)b[1] << 8; }
uint32_t Le32(const uint8_t* b) { return Le16(b) | Le16(b + 2) << 16; }
uint64_t Le64(const uint8_t* b) { return Le32(b) | (uint64_t)Le32(b + 4) << 32; }

bool Is(const uint8_t* p, const char* id, size_t n = 4) { return std::memcmp(p, id, n) == 0; }
bool Printable(const uint8_t* id) {
    for (int i = 0; i < 4; i++)
        if ((id[i] < 0x20 || id[i] > 0x7E) && id[i] != 0xA9) return false;   // QuickTime's user atoms begin with ©
    return true;
}

// RIFF, RIFX, RF64 and IFF: chunks of a printable id and a size that fits
// chain from byte 12 to the one that gives the sound's format, or with `list`
// set, to the LIST of that type (writers put JUNK and INFO before an AVI's
// headers). The form's own size is not looked at: streaming writers and cut
// files leave it wrong.
bool ChunksReach(const uint8_t* p, uint32_t n, bool big_endian, const char* format, bool list = false) {
    for (uint64_t at = 12; at + 8 <= n;) {
        const uint8_t* c = p + at;
        const uint64_t length = big_endian ? Be32(c + 4) : Le32(c + 4);
        if (!Printable(c) || length > n - at - 8) return false;
        if (list && Is(c, "LIST") && length >= 4 && Is(c + 8, format)) return true;
        if (!list && Is(c, format)) return length >= 14;
        at += 8 + length + (length & 1);
    }
    return false;
}

const char* Riff(const uint8_t* p, uint32_t n) {
    if (n < 24) return nullptr;
    const bool riff = Is(p, "RIFF"), rf64 = Is(p, "RF64"), rifx = Is(p, "RIFX");
    if ((riff || rf64 || rifx) && Is(p + 8, "WAVE") && ChunksReach(p, n, rifx, "fmt ")) return "WAVE";
    if (riff && Is(p + 8, "AVI ") && ChunksReach(p, n, false, "hdrl", true)) return "AVI";
    static const uint8_t kW64[2][16] = {
        {'r', 'i', 'f', 'f', 0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00},
        {'w', 'a', 'v', 'e', 0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A}};
    if (n >= 40 && std::memcmp(p, kW64[0], 16) == 0 && std::memcmp(p + 24, kW64[1], 16) == 0) return "W64";
    if (Is(p, "FORM") && (Is(p + 8, "AIFF") || Is(p + 8, "AIFC")) && ChunksReach(p, n, true, "COMM")) return "AIFF";
    return nullptr;
}

// Ogg: a first page that begins a stream, and the next page where it ends.
const char* Ogg(const uint8_t* p, uint32_t n) {
    if (n < 27 || !Is(p, "OggS") || p[4] != 0 || (p[5] & ~7) != 0 || !(p[5] & 2) || n < 27u + p[26]) return nullptr;
    uint64_t page = 27u + p[26];
    for (int i = 0; i < p[26]; i++) page += p[27 + i];
    return page == n || (page + 4 <= n && Is(p + page, "OggS")) ? "Ogg" : nullptr;
}

// FLAC: the stream's description first, its fields in range (the channel
// count's width allows none out of it, that of bits per sample only the
// lowest). The blocks after it are the platform parser's to judge: writers
// leave a last block whose length falls short of the first frame.
const char* Flac(const uint8_t* p, uint32_t n) {
    if (n < 42 || !Is(p, "fLaC") || (p[4] & 0x7F) != 0 || (Be32(p + 4) & 0xFFFFFF) != 34) return nullptr;
    const uint8_t* const s = p + 8;
    const uint32_t min_block = Be16(s), max_block = Be16(s + 2);
    const uint32_t min_frame = Be32(s + 3) & 0xFFFFFF, max_frame = Be32(s + 6) & 0xFFFFFF;   // 0 when unknown
    const uint32_t rate = Be32(s + 10) >> 12, bits = ((s[12] & 1) << 4 | s[13] >> 4) + 1;
    const bool frames_in_order = !min_frame || !max_frame || max_frame >= min_frame;
    return min_block >= 16 && max_block >= min_block && frames_in_order && rate >= 1 && rate <= 655350 && bits >= 4
               ? "FLAC"
               : nullptr;
}

// Headers of fixed fields: AU, CAF, WavPack, Monkey's Audio, TTA, Musepack, ASF.
const char* FixedHeader(const uint8_t* p, uint32_t n) {
    if (n < 40) return nullptr;
    if (Is(p, ".snd") && Be32(p + 4) >= 24 && Be32(p + 4) <= n && Be32(p + 12) >= 1 && Be32(p + 12) <= 27 &&
        Be32(p + 16) >= 1 && Be32(p + 16) <= 1000000 && Be32(p + 20) >= 1 && Be32(p + 20) <= 64)
        return "AU";
    if (Is(p, "caff") && Be16(p + 4) == 1 && Is(p + 8, "desc") && Be64(p + 12) == 32) return "CAF";
    if (Is(p, "wvpk") && Le32(p + 4) >= 24 && Le32(p + 4) <= 0x100000 && Le16(p + 8) >= 0x402 && Le16(p + 8) <= 0x410) {
        const uint64_t next = 8 + (uint64_t)Le32(p + 4);
        // One block may end on the file's end, on another or on a tail tag.
        return next >= n || (next + 4 <= n && Is(p + next, "wvpk")) || MpegTagStartsAt(p + next, n - next) ? "WavPack"
                                                                                                         : nullptr;
    }
    if (Is(p, "MAC ") && Le16(p + 4) >= 3800 && Le16(p + 4) <= 4100) return "Monkey's Audio";
    if (Is(p, "TTA1") && (Le16(p + 4) == 1 || Le16(p + 4) == 2) && Le16(p + 6) >= 1 && Le16(p + 6) <= 32 &&
        (Le16(p + 8) == 8 || Le16(p + 8) == 16 || Le16(p + 8) == 24) && Le32(p + 10) >= 1 && Le32(p + 10) <= 1000000)
        return "TTA";
    if (Is(p, "MPCKSH", 6)) return "Musepack";
    static const uint8_t kAsfHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                           0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    if (std::memcmp(p, kAsfHeader, 16) == 0 && Le64(p + 16) >= 30 && Le64(p + 16) <= n && Le32(p + 24) >= 1)
        return "ASF";
    return nullptr;
}

// An EBML element's size at p (a variable-length integer), and its length in bytes.
uint64_t EbmlSize(const uint8_t* p, const uint8_t* end, int* length) {
    int n = 1;
    while (n <= 8 && !(p[0] & (0x100 >> n))) n++;
    if (n > 8 || end - p < n) return *length = 0, 0;
    uint64_t v = p[0] & (0xFF >> n);
    for (int i = 1; i < n; i++) v = v << 8 | p[i];
    *length = n;
    return v;
}

// Matroska and WebM: an EBML header that names the document type, then the segment.
const char* Matroska(const uint8_t* p, uint32_t n) {
    if (n < 16 || !Is(p, "\x1A\x45\xDF\xA3")) return nullptr;
    int length;
    const uint64_t header = EbmlSize(p + 4, p + n, &length);
    if (length == 0 || header > n - 4 - length - 4) return nullptr;
    const uint8_t* const body = p + 4 + length;
    const uint8_t* const segment = body + header;
    if (!Is(segment, "\x18\x53\x80\x67")) return nullptr;
    for (const uint8_t* q = body; q + 3 <= segment; q++)   // the DocType element
        if (q[0] == 0x42 && q[1] == 0x82) {
            const uint64_t k = EbmlSize(q + 2, segment, &length);
            const uint8_t* const s = q + 2 + length;
            if (length == 0 || k > (uint64_t)(segment - s)) continue;
            if (k >= 8 && Is(s, "matroska", 8)) return "Matroska";
            if (k >= 4 && Is(s, "webm")) return "WebM";
        }
    return nullptr;
}

// MPEG program stream: a pack header, then start codes each where the unit
// before ends (packs, the system header, packets), to the end or for a while.
const char* ProgramStream(const uint8_t* p, uint32_t n) {
    uint64_t at = 0;
    int units = 0;
    for (; units < 16 && at + 6 <= n; units++) {
        const uint8_t* u = p + at;
        if (u[0] != 0 || u[1] != 0 || u[2] != 1) return nullptr;
        if (u[3] == 0xBA) {
            if (at + 14 > n) break;
            if ((u[4] & 0xC4) == 0x44 && (u[6] & 4) && (u[8] & 4) && (u[9] & 1) && (u[12] & 3) == 3)
                at += 14 + (u[13] & 7);   // MPEG-2
            else if ((u[4] & 0xF1) == 0x21 && (u[6] & 1) && (u[8] & 1) && (u[9] & 0x80) && (u[11] & 1))
                at += 12;   // MPEG-1
            else
                return nullptr;
        } else if (u[3] == 0xB9) {
            at += 4;   // the end code
        } else if (u[3] >= 0xBB && units > 0) {
            at += 6 + Be16(u + 4);
        } else {
            return nullptr;
        }
    }
    return units >= 4 || at >= n ? "MPEG program stream" : nullptr;
}

// MPEG transport stream: the sync byte on every packet, of 188 bytes or of 192
// with a time stamp first, over the first 64 packets or all there are.
const char* TransportStream(const uint8_t* p, uint32_t n) {
    for (uint32_t lead : {0u, 4u}) {
        const uint32_t packet = 188 + lead;
        const uint32_t packets = n / packet < 64 ? n / packet : 64;
        uint32_t i = 0;
        while (i < packets && p[lead + i * packet] == 0x47) i++;
        if (i == packets && packets >= 8) return "MPEG transport stream";
    }
    return nullptr;
}

// DV: the first sequence's blocks of 80 bytes in their order: the header, two
// of subcode, three of video auxiliary data, then audio and video.
const char* Dv(const uint8_t* p, uint32_t n) {
    static const uint8_t kSections[8] = {0, 1, 1, 2, 2, 2, 3, 4}, kNumbers[8] = {0, 0, 1, 0, 1, 2, 0, 0};
    if (n < 8 * 80) return nullptr;
    for (int i = 0; i < 8; i++) {
        const uint8_t* b = p + 80 * i;
        if ((b[0] >> 5) != kSections[i] || !(b[0] & 0x10) || (b[1] & 0xF7) != 0x07 || b[2] != kNumbers[i]) return nullptr;
    }
    return "DV";
}

bool IsAtom(const uint8_t* h, const char* type) { return Is(h + 4, type); }

// A chain of QuickTime atoms from `at` (a 32-bit size, or 1 and a 64-bit size
// behind the type; a printable type): how many atoms hold, and where the
// movie begins, at its first ftyp, moov, mdat or moof atom, or -1 unless the
// chain reaches a moov, mdat or moof before it breaks.
struct AtomChain {
    int64_t movie;
    uint32_t atoms;
};
AtomChain WalkAtoms(const uint8_t* p, uint32_t size, uint32_t at) {
    AtomChain chain = {-1, 0};
    int64_t movie = -1;
    for (uint64_t pos = at; pos + 8 <= size; chain.atoms++) {
        const uint8_t* h = p + pos;
        if (!Printable(h + 4)) break;
        if (movie < 0 && (IsAtom(h, "ftyp") || IsAtom(h, "moov") || IsAtom(h, "mdat") || IsAtom(h, "moof")))
            movie = (int64_t)pos;
        if (IsAtom(h, "moov") || IsAtom(h, "mdat") || IsAtom(h, "moof")) {
            chain.movie = movie;
            chain.atoms++;
            break;
        }
        uint64_t length = Be32(h);
        if (length == 1) {
            if (pos + 16 > size) break;
            length = Be64(h + 8);
            if (length < 16) break;
        } else if (length < 8) {
            break;   // 0, an atom to the end, would end the chain without a movie
        }
        if (length > size - pos) break;
        pos += length;
    }
    return chain;
}

}  // namespace

const char* ConfirmedSoundContainer(const uint8_t* p, uint32_t size, uint32_t at) {
    if (at >= size) return nullptr;
    const uint8_t* const q = p + at;
    const uint32_t n = size - at;
    for (auto kind : {Riff, Ogg, Flac, FixedHeader, Matroska, ProgramStream, TransportStream, Dv})
        if (const char* name = kind(q, n)) return name;
    return WalkAtoms(p, size, at).movie >= 0 ? "QuickTime" : nullptr;
}

uint32_t QuickTimeAtomsAt(const uint8_t* p, uint32_t size, uint32_t at) { return WalkAtoms(p, size, at).atoms; }

void MarkAtomsBeforeMovieFree(uint8_t* p, uint32_t size, uint32_t at) {
    const int64_t movie = WalkAtoms(p, size, at).movie;
    for (uint64_t pos = at; movie >= 0 && pos < (uint64_t)movie;) {
        const uint32_t length = Be32(p + pos);
        std::memcpy(p + pos + 4, "free", 4);
        pos += length == 1 ? Be64(p + pos + 8) : length;
    }
}
