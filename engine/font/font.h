// Fonts and text: font handles over GDI fonts with a per-font glyph cache (a
// texture in Direct3D mode, a memory bitmap in software mode), the default font,
// and Shift-JIS string drawing, horizontal or vertical, plain, edged or
// antialiased. Handles are engine handles of type 4; 0 or a handle on success,
// -1 on failure.
#pragma once
#include <windows.h>

struct FontRecord;
struct GlyphCacheSlot;
struct GlyphRequest;
struct MEMIMG;
struct Rect;

enum { FONT_HANDLE_MAX = 40 };
// Font types: bit 0 edge drawn round every glyph, bit 1 antialiased.
enum { FONT_TYPE_NORMAL = 0, FONT_TYPE_EDGE = 1, FONT_TYPE_ANTIALIASING = 2, FONT_TYPE_ANTIALIASING_EDGE = 3 };

// Start and end (called by graphics start and end), re-creation after the device
// was re-created, and the default font. Each returns 0.
int InitFontSystem();
int InitFonts();
int EndFontSystem();
int RecreateAllFonts();
int RefreshDefaultFont();
int ChangeDefaultFont(const char* face, int size, int thickness);
int SetDefaultFontSize(int size);
int GetDefaultFontHandle();

// face null: the default face; size -1: 16; thickness -1: 6; font_type -1 or -2: 0;
// charset_index -1: the library's; edge_size -1: 1 (above 1 forces the edge bit);
// slot -1: the lowest free one; check_number -1: the next one.
int CreateFontToHandle(const char* face, int size, int thickness, int font_type, int charset_index, int edge_size,
                       int italic, int slot = -1, int check_number = -1);
int DeleteFontHandle(int font);
int SetFontSpacing(int spacing, int font);
// Registers *flag: set to 0 now, to 1 when the font is deleted.
int SetFontLostFlag(int font, int* flag);
// face_out takes up to 256 bytes; any pointer may be null.
int GetFontInfo(char* face_out, int* size_out, int* thickness_out, int font);
int GetFontSize(int font);
int IsValidFontHandle(int font);
FontRecord* GetFontRecord(int font);

// Empties the cache. 0 or -1.
int ResetFontCache(int font);
// (Re)makes the cache texture when the font's rebuild flag is set. 0 or -1.
int BuildFontCacheGraphic(int font);
// Rasterises the characters into the cache; the slot of the last one, or null.
GlyphCacheSlot* RenderGlyphsToCache(int font, int count, const GlyphRequest* requests);

// Text calls. The colours are packed screen colours (PackScreenColor).
int DrawFormattedText(int x, int y, unsigned color, const char* format, ...);
int DrawTextWithFont(int x, int y, const char* text, unsigned color, int font, unsigned edge_color, int vertical);
int DrawTextCached(int x, int y, const char* text, unsigned color, int font, unsigned edge_color, int vertical);
int DrawTextSoftware(int x, int y, const char* text, unsigned color, int font, unsigned edge_color, int vertical);
// Collects the characters of text (length bytes, -1 for all) into list (3 bytes a
// character, may be null) and caches the missing ones. 0 or -1.
int CacheStringGlyphs(const char* text, int length, int font, GlyphRequest* list, int* count);
// Draws (draw 1) or only measures (draw 0) a string; the pen position at the end,
// or -1. size_out, when given, gets width and height; laid_out, the bytes of text
// laid out (all, or those before a glyph that could not be cached).
int FontStringCore(int draw, int x, int y, int scale, double scale_x, double scale_y, const char* text,
                   unsigned color, MEMIMG* dst, const Rect* clip, int trans, int font, unsigned edge_color,
                   int length, int vertical, int size_out[2], int* laid_out = nullptr);

// The glyph query, replaceable by tests (GetGlyphOutlineA by default; null restores it).
typedef DWORD(WINAPI* GlyphOutlineFn)(HDC, UINT, UINT, LPGLYPHMETRICS, DWORD, LPVOID, const MAT2*);
void SetGlyphSource(GlyphOutlineFn fn);

// Cache sizing (exposed for tests). Texture: both sides and the capacity for a
// cell size and a wanted character count (0 automatic); -1 when no side up to the
// limit holds a cell. Software: the capacity, at least 20.
int FontTextureCacheSize(int cell, int char_count, int* width, int* height);
int FontSoftCacheCapacity(int cell, int char_count);
