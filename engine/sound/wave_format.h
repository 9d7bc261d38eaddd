// WAVE format records as writers store them, read without the platform.
#pragma once
#include <cstdint>

// The format tag a record of `size` bytes names: the sub-format's of a
// WAVE_FORMAT_EXTENSIBLE record whose sub-format GUID is a standard one
// ({tag-0000-0010-8000-00AA00389B71}) and whose extension is whole, else its
// own wFormatTag (0 when the record is too short to hold one).
uint16_t NamedWaveFormatTag(const uint8_t* fmt, uint32_t size);
// Rewrites such an extensible record in place as the plain record of that
// tag, the bytes behind its 22-byte extension (a codec's own, as ffmpeg
// writes ADPCM's there) kept as the plain record's extra bytes. Returns the
// record's size after; any other record is left as it is.
uint32_t PlainWaveFormat(uint8_t* fmt, uint32_t size);
// Writes the extensible record (40 bytes) that names the plain 16- or
// 18-byte record `plain` of a standard tag, all its bits valid and a channel
// mask of the first channels in order. Returns its size.
uint32_t ExtensibleWaveFormat(const uint8_t* plain, uint8_t out[40]);
