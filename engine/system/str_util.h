// String and multibyte helpers (Shift-JIS aware through the library charset).
#pragma once
#include <cstdarg>
#include <cstddef>

void StrCopy(char* dst, const char* src);
// 0 when equal, 1 when different.
int StrCompare(const char* a, const char* b);
// First occurrence of byte c, stepping over double-byte characters; null if none.
const char* StrFindChar(const char* s, int c);
// printf-style into dst, truncated to dst_size - 1 bytes and always terminated.
// Returns the number of bytes written (without the terminator).
int FormatStringVa(char* dst, size_t dst_size, const char* format, va_list args);
int FormatString(char* dst, size_t dst_size, const char* format, ...);

// Lead-byte test for a charset index (0 default, 1 Shift-JIS, 2 Korean,
// 3 traditional Chinese, 4 simplified Chinese).
int IsMultiByteLead(unsigned char c, int charset_index);
// What stands at position pos of s: 0 a single-byte character, 1 a lead byte, 2 the
// second byte of a double-byte character; -1 when s is empty or ends before pos.
int CheckMultiBytePosition(const char* s, int pos, int charset_index);
// How many bytes of s fit into a buffer of dst_size bytes with its terminator: the
// count stops at a NUL or after size bytes (s need not be terminated; nothing past
// them is read) and never ends inside a double-byte character.
int MultiByteCopyLength(const char* s, size_t size, int dst_size, int charset_index);
