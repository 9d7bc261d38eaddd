#include "engine/system/str_util.h"

#include <cstdio>
#include <cstring>

#include "engine/system/library.h"

void StrCopy(char* dst, const char* src) { std::strcpy(dst, src); }

int StrCompare(const char* a, const char* b) { return std::strcmp(a, b) == 0 ? 0 : 1; }

const char* StrFindChar(const char* s, int c) {
    for (const unsigned char* p = (const unsigned char*)s; *p; p++) {
        if (IsMultiByteLead(*p, LibraryCharsetIndex)) {
            if (p[1] == 0) break;
            p++;
            continue;
        }
        if (*p == (unsigned char)c) return (const char*)p;
    }
    return nullptr;
}

int FormatStringVa(char* dst, size_t dst_size, const char* format, va_list args) {
    if (!dst || dst_size == 0) return 0;
    int n = std::vsnprintf(dst, dst_size, format, args);
    // Some C runtimes leave the buffer unterminated on truncation.
    dst[dst_size - 1] = 0;
    if (n < 0 || (size_t)n >= dst_size) n = (int)std::strlen(dst);
    return n;
}

int FormatString(char* dst, size_t dst_size, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = FormatStringVa(dst, dst_size, format, ap);
    va_end(ap);
    return n;
}

int IsMultiByteLead(unsigned char c, int charset_index) {
    if (charset_index >= 2 && charset_index <= 4) return c > 127;
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

int CheckMultiBytePosition(const char* s, int pos, int charset_index) {
    if (!s || pos < 0) return -1;
    int i = 0;
    for (;;) {
        unsigned char c = (unsigned char)s[i];
        if (c == 0) return -1;
        if (IsMultiByteLead(c, charset_index)) {
            if (pos == i) return 1;
            // Only a walk past a lead byte needs its second byte.
            if (s[i + 1] == 0) return -1;
            if (pos == i + 1) return 2;
            i += 2;
        } else {
            if (pos == i) return 0;
            i++;
        }
    }
}

int MultiByteCopyLength(const char* s, size_t size, int dst_size, int charset_index) {
    if (!s || dst_size <= 0) return 0;
    size_t len = strnlen(s, size);
    size_t limit = len < (size_t)dst_size - 1 ? len : (size_t)dst_size - 1;
    size_t n = 0;
    while (n < limit) {
        size_t step = IsMultiByteLead((unsigned char)s[n], charset_index) ? 2 : 1;
        if (n + step > limit) break;
        n += step;
    }
    return (int)n;
}
