#include "engine/sound/sound_container.h"

#include <cstring>
#include <initializer_list>

#include "engine/sound/mpeg_audio_header.h"
#include "engine/sound/mpeg_audio_start.h"

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
