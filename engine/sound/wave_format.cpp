#include "engine/sound/wave_format.h"

#include <cstring>

namespace {

const uint16_t kExtensibleTag = 0xFFFE;
const uint32_t kPlainBytes = 18;       // WAVEFORMATEX with its cbSize
const uint32_t kExtensionBytes = 22;   // samples field, channel mask, sub-format GUID
const uint32_t kSubFormatAt = kPlainBytes + 6;
// Every standard sub-format GUID but its first two bytes, which hold the tag.
const uint8_t kStandardGuidTail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};

uint16_t Le16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }

// The extra bytes the record declares and holds (a cbSize past the chunk counts to its end).
uint32_t HeldExtraBytes(const uint8_t* fmt, uint32_t size) {
    const uint32_t declared = Le16(fmt + 16);
    return declared < size - kPlainBytes ? declared : size - kPlainBytes;
}

// The standard sub-format's tag, 0 when the record is no such extensible one.
uint16_t StandardSubFormat(const uint8_t* fmt, uint32_t size) {
    if (size < kPlainBytes + kExtensionBytes || Le16(fmt) != kExtensibleTag) return 0;
    if (HeldExtraBytes(fmt, size) < kExtensionBytes) return 0;
    if (std::memcmp(fmt + kSubFormatAt + 2, kStandardGuidTail, sizeof(kStandardGuidTail)) != 0) return 0;
    const uint16_t tag = Le16(fmt + kSubFormatAt);
    return tag == kExtensibleTag ? 0 : tag;
}

}  // namespace

uint16_t NamedWaveFormatTag(const uint8_t* fmt, uint32_t size) {
    if (size < 2) return 0;
    const uint16_t sub = StandardSubFormat(fmt, size);
    return sub ? sub : Le16(fmt);
}

uint32_t PlainWaveFormat(uint8_t* fmt, uint32_t size) {
    const uint16_t tag = StandardSubFormat(fmt, size);
    if (!tag) return size;
    const uint32_t codec = HeldExtraBytes(fmt, size) - kExtensionBytes;
    std::memmove(fmt + kPlainBytes, fmt + kPlainBytes + kExtensionBytes, codec);
    fmt[0] = (uint8_t)tag, fmt[1] = (uint8_t)(tag >> 8);
    fmt[16] = (uint8_t)codec, fmt[17] = (uint8_t)(codec >> 8);
    return kPlainBytes + codec;
}

uint32_t ExtensibleWaveFormat(const uint8_t* plain, uint8_t out[40]) {
    const uint32_t channels = Le16(plain + 2), bits = Le16(plain + 14);
    const uint32_t mask = channels == 1 ? 4 : channels < 32 ? (1u << channels) - 1 : 0;
    std::memcpy(out, plain, 16);
    out[0] = (uint8_t)kExtensibleTag, out[1] = (uint8_t)(kExtensibleTag >> 8);
    out[16] = (uint8_t)kExtensionBytes, out[17] = 0;
    out[18] = (uint8_t)bits, out[19] = (uint8_t)(bits >> 8);
    for (int i = 0; i < 4; i++) out[20 + i] = (uint8_t)(mask >> (8 * i));
    out[kSubFormatAt] = plain[0], out[kSubFormatAt + 1] = plain[1];
    std::memcpy(out + kSubFormatAt + 2, kStandardGuidTail, sizeof(kStandardGuidTail));
    return kPlainBytes + kExtensionBytes;
}
