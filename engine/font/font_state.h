// The font system's one block of state.
#pragma once
#include <cstddef>
#include "engine/system/handle_table.h"

struct DefaultFontSettings {
    char face[128];       // empty: the default face
    int size;
    int thickness;
    int type;
    int charset_index;
    int edge_size;
    int italic;
    int spacing;
};

struct FontSystemState {
    int started;
    HandleTable table;
    int force_soft_cache;     // never set here: 0
    int cache_char_count;     // 0: sized automatically
    int default_handle;
    DefaultFontSettings defaults;
};

extern FontSystemState GFontSystem;

// Copies at most size - 1 bytes and terminates.
inline void CopyFaceName(char* dst, const char* src, size_t size) {
    size_t n = 0;
    for (; src && src[n] && n + 1 < size; n++) dst[n] = src[n];
    dst[n] = 0;
}
