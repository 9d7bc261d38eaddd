// Pixel-format and source-kind policies of the picture blits: how a destination
// pixel is split into channels and put together again, and how a source pixel,
// palette entry or alpha byte is fetched. Internal to the software renderer.
#pragma once
#include <cstdint>
#include <cstring>

// The generated loops rely on every per-pixel helper being inlined, also in
// translation units that hold hundreds of loops.
#define BLIT_INLINE inline __attribute__((always_inline))
#define BLIT_LAMBDA_INLINE __attribute__((always_inline))

// Pixels may sit at any address (views, odd pitches): always go through memcpy,
// which compiles to a plain move.
BLIT_INLINE uint32_t LoadU16(const uint8_t* p) { uint16_t v; std::memcpy(&v, p, 2); return v; }
BLIT_INLINE uint32_t LoadU32(const uint8_t* p) { uint32_t v; std::memcpy(&v, p, 4); return v; }
BLIT_INLINE void StoreU16(uint8_t* p, uint32_t v) { uint16_t w = (uint16_t)v; std::memcpy(p, &w, 2); }
BLIT_INLINE void StoreU32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Channel index: 0 blue, 1 green, 2 red.

// R5G6B5: fields taken out of place as 0..31 / 0..63.
struct Fmt16 {
    static constexpr int kType = 0;
    static constexpr int kBytes = 2;
    static constexpr int kShift[3] = {0, 5, 11};
    static constexpr uint32_t kMax[3] = {31, 63, 31};
    // Field width: also the shift of a field product back into the field.
    static constexpr int kBits[3] = {5, 6, 5};
    static BLIT_INLINE uint32_t Load(const uint8_t* p) { return LoadU16(p); }
    static BLIT_INLINE void Store(uint8_t* p, uint32_t v) { StoreU16(p, v); }
    static BLIT_INLINE uint32_t Ch(uint32_t v, int i) { return (v >> kShift[i]) & kMax[i]; }
    // keep: the destination value whose bits outside the channels survive (none here).
    static BLIT_INLINE uint32_t Pack(uint32_t b, uint32_t g, uint32_t r, uint32_t /*keep*/) {
        return (r << 11) | (g << 5) | b;
    }
};

// X8R8G8B8 as the bytes blue, green, red, X.
struct Fmt32 {
    static constexpr int kType = 1;
    static constexpr int kBytes = 4;
    static constexpr int kShift[3] = {0, 8, 16};
    static constexpr uint32_t kMax[3] = {255, 255, 255};
    static constexpr int kBits[3] = {8, 8, 8};
    static BLIT_INLINE uint32_t Load(const uint8_t* p) { return LoadU32(p); }
    static BLIT_INLINE void Store(uint8_t* p, uint32_t v) { StoreU32(p, v); }
    static BLIT_INLINE uint32_t Ch(uint32_t v, int i) { return (v >> kShift[i]) & 0xFF; }
    static BLIT_INLINE uint32_t Pack(uint32_t b, uint32_t g, uint32_t r, uint32_t keep) {
        return (keep & 0xFF000000u) | (r << 16) | (g << 8) | b;
    }
};

enum BlitSrcKind { SRC_DIRECT = 0, SRC_PALETTE = 1, SRC_ALPHA = 2 };

// Raw() is what the transparent test compares; Colour() is the value in the
// destination's layout that the operations draw.
template <class F> struct SrcDirect {
    static constexpr int kKind = SRC_DIRECT;
    static constexpr int kBytes = F::kBytes;
    static BLIT_INLINE uint32_t Raw(const uint8_t* p) { return F::Load(p); }
    static BLIT_INLINE uint32_t Colour(uint32_t raw, const void*) { return raw; }
    static BLIT_INLINE uint32_t Alpha(uint32_t) { return 255; }
};

template <class F> struct SrcPalette {
    static constexpr int kKind = SRC_PALETTE;
    static constexpr int kBytes = 1;
    static BLIT_INLINE uint32_t Raw(const uint8_t* p) { return *p; }
    static BLIT_INLINE uint32_t Colour(uint32_t raw, const void* pal) {
        return F::Load((const uint8_t*)pal + raw * F::kBytes);
    }
    static BLIT_INLINE uint32_t Alpha(uint32_t) { return 255; }
};

// Alpha pixels are 4 bytes in both types: the R5G6B5 word with alpha in byte 2,
// or A8R8G8B8.
template <class F> struct SrcAlpha {
    static constexpr int kKind = SRC_ALPHA;
    static constexpr int kBytes = 4;
    static BLIT_INLINE uint32_t Raw(const uint8_t* p) { return LoadU32(p); }
    static BLIT_INLINE uint32_t Colour(uint32_t raw, const void*) { return F::kType == 0 ? (raw & 0xFFFF) : raw; }
    static BLIT_INLINE uint32_t Alpha(uint32_t raw) { return F::kType == 0 ? (raw >> 16) & 0xFF : raw >> 24; }
};
