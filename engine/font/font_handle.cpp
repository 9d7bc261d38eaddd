// Font handles: creation over a GDI font, the glyph cache set-up and deletion.
#include "engine/font/font.h"

#include <cstring>
#include "engine/font/font_record.h"
#include "engine/font/font_state.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/graphic_handle.h"
#include "engine/graphics/graphics_system.h"
#include "engine/graphics/texture_format.h"
#include "engine/system/handle_table.h"
#include "engine/system/library.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"
#include "engine/system/window.h"

FontSystemState GFontSystem;

enum {
    TEXTURE_CACHE_START = 512,
    TEXTURE_CACHE_MAX_SIDE = 2048,             // the doubling stops here
    SOFT_CACHE_MAX_BYTES = 64 * 1024 * 1024,   // a software cache above this is refused
};

int IsFontSystemStarted() { return GFontSystem.started; }

FontRecord* FontRecordOf(int font) {
    if (!GFontSystem.started || font < 0 || HandleTypeOf(font) != HANDLE_FONT) return nullptr;
    return (FontRecord*)HandleTableGet(&GFontSystem.table, font);
}

FontRecord* GetFontRecord(int font) { return FontRecordOf(font); }
int IsValidFontHandle(int font) { return FontRecordOf(font) ? 1 : 0; }

int FontTextureCacheSize(int cell, int char_count, int* width, int* height) {
    if (cell <= 0) return -1;
    int w, h, capacity;
    if (char_count > 0) {
        int k = 0;
        while ((long long)(k + 1) * (k + 1) <= char_count) k++;
        long long needed = (long long)cell * (k + 1);
        int side = 8;
        while (side < needed && side < TEXTURE_CACHE_MAX_SIDE) side *= 2;
        w = h = side;
        capacity = (side / cell) * (side / cell);
    } else {
        w = h = TEXTURE_CACHE_START;
        capacity = (w / cell) * (h / cell);
        while (capacity < 10) {
            int* grow = w > h ? &h : &w;
            if (*grow >= TEXTURE_CACHE_MAX_SIDE) break;
            *grow *= 2;
            capacity = (h / cell) * (w / cell);
        }
    }
    if (capacity <= 0) return -1;
    *width = w;
    *height = h;
    return capacity > GLYPH_SLOT_MAX ? GLYPH_SLOT_MAX : capacity;
}

int FontSoftCacheCapacity(int cell, int char_count) {
    if (cell <= 0) return -1;
    int capacity = char_count;
    if (capacity <= 0) {
        capacity = (int)(0x50000LL / ((long long)cell * cell));
        if (capacity < 20) capacity = 20;
    }
    return capacity > GLYPH_SLOT_MAX ? GLYPH_SLOT_MAX : capacity;
}

static void DeleteGraphicIfAny(int32_t* graphic) {
    // 0 is what DeriveGraphic gives while drawing is suppressed: no graphic either.
    if (*graphic > 0) DeleteGraphic(*graphic, 0);
    *graphic = -1;
}

// Everything a record owns, in the order that keeps the rebuild flag (the cache
// graphic's lost flag) and the cache image (its restore source) alive while the
// graphics that use them go.
static void ReleaseFontContents(FontRecord* f) {
    if (f->hfont) DeleteObject(f->hfont);
    f->hfont = nullptr;
    MemFree(f->soft_bitmap);
    f->soft_bitmap = nullptr;
    DeleteGraphicIfAny(&f->edge_graphic);
    DeleteGraphicIfAny(&f->cache_graphic);
    MemFree(f->cache_image.pixels);
    f->cache_image.pixels = nullptr;
}

static int RemoveFontRecord(int handle, FontRecord* f) {
    ReleaseFontContents(f);
    HandleTableRemove(&GFontSystem.table, handle);
    return -1;
}

int DeleteFontHandle(int font) {
    FontRecord* f = FontRecordOf(font);
    if (!f) return -1;
    ReleaseFontContents(f);
    if (f->lost_flag) *f->lost_flag = 1;
    HandleTableRemove(&GFontSystem.table, font);
    return 0;
}

int SetFontSpacing(int spacing, int font) {
    FontRecord* f = FontRecordOf(font);
    if (!f) return -1;
    f->spacing = spacing;
    return 0;
}

int SetFontLostFlag(int font, int* flag) {
    FontRecord* f = FontRecordOf(font);
    if (!f) return -1;
    f->lost_flag = flag;
    if (flag) *flag = 0;
    return 0;
}

int GetFontInfo(char* face_out, int* size_out, int* thickness_out, int font) {
    FontRecord* f = FontRecordOf(font);
    if (!f) return -1;
    if (face_out) CopyFaceName(face_out, f->face, sizeof f->face);
    if (size_out) *size_out = f->size;
    if (thickness_out) *thickness_out = f->thickness;
    return 0;
}

int GetFontSize(int font) {
    FontRecord* f = FontRecordOf(font);
    return f ? f->size : -1;
}

int ResetFontCache(int font) {
    FontRecord* f = FontRecordOf(font);
    if (!f) return -1;
    std::memset(f->codes, 0, sizeof f->codes);
    std::memset(f->slots, 0, sizeof f->slots);
    for (int i = 0; i < f->capacity; i++) f->slots[i].cell = i;
    f->slots[f->capacity].cell = -1;
    f->next_slot = 0;
    return 0;
}

int BuildFontCacheGraphic(int font) {
    FontRecord* f = FontRecordOf(font);
    if (!f) return -1;
    if (f->rebuild != 1) return 0;
    // A texture lost without its restore source is replaced, not kept beside the new one.
    DeleteGraphicIfAny(&f->edge_graphic);
    DeleteGraphicIfAny(&f->cache_graphic);
    f->rebuild = 0;
    int old_alpha = GetCreateGraphicAlphaChannelFlag(), old_bits = GetCreateGraphicColorBitDepth();
    int old_hw = GetUseHardwareRendering(), old_test = GetCreateGraphicAlphaTestFlag();
    int aa = FontIsAntialiased(f);
    SetCreateGraphicAlphaChannelFlag(aa);
    SetCreateGraphicAlphaTestFlag(!aa);
    SetCreateGraphicColorBitDepth(16);
    SetUseHardwareRendering(1);
    int edge = FontHasEdge(f);
    f->cache_graphic = MakeEmptyGraphic(f->cache_width * (edge ? 2 : 1), f->cache_height);
    if (f->cache_graphic >= 0 && edge) {
        f->edge_graphic = DeriveGraphic(f->cache_width, 0, f->cache_width, f->cache_height, f->cache_graphic);
        if (f->edge_graphic <= 0) {
            f->edge_graphic = -1;
            DeleteGraphicIfAny(&f->cache_graphic);
        }
    }
    SetCreateGraphicAlphaChannelFlag(old_alpha);
    SetCreateGraphicAlphaTestFlag(old_test);
    SetCreateGraphicColorBitDepth(old_bits);
    SetUseHardwareRendering(old_hw);
    if (f->cache_graphic < 0) {
        f->cache_graphic = -1;
        return -1;
    }
    SetGraphicLostFlag(f->cache_graphic, &f->rebuild);
    FillGraphic(f->cache_graphic, 255, 255, 255, 0);
    ResetFontCache(font);
    return 0;
}

static const BYTE kCharsets[5] = {DEFAULT_CHARSET, SHIFTJIS_CHARSET, HANGEUL_CHARSET, CHINESEBIG5_CHARSET,
                                  GB2312_CHARSET};

static HFONT MakeGdiFont(int size, int thickness, int italic, int charset, const char* face) {
    return CreateFontA(size, 0, 0, 0, thickness * 100, italic ? TRUE : FALSE, FALSE, FALSE, (DWORD)charset, 0, 0,
                       NONANTIALIASED_QUALITY, FIXED_PITCH, face);
}

// The platform font with the charset fall-backs; null (after the log line) when none.
static HFONT CreatePlatformFont(const FontRecord* f, const char* face, int charset) {
    HFONT h;
    if (face) {
        h = MakeGdiFont(f->size, f->thickness, f->italic, charset, face);
        if (!h) h = MakeGdiFont(f->size, f->thickness, f->italic, DEFAULT_CHARSET, face);
        if (!h) h = MakeGdiFont(f->size, f->thickness, f->italic, SHIFTJIS_CHARSET, face);
        if (!h) LogAppend("指定のフォントの作成に失敗しました\n");
        return h;
    }
    h = MakeGdiFont(f->size, f->thickness, f->italic, charset, "ＭＳ ゴシック");
    if (!h) h = MakeGdiFont(f->size, f->thickness, 0, DEFAULT_CHARSET, "ＭＳ ゴシック");
    if (!h) h = MakeGdiFont(f->size, f->thickness, 0, DEFAULT_CHARSET, nullptr);
    if (!h) LogAppend("フォントの作成に失敗しました\n");
    return h;
}

// Cell and line height from the font's text metrics; -1 when no DC could be had.
static int MeasureFont(FontRecord* f, HFONT h) {
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return LogAppend("ＤＣの取得に失敗しました\n");
    HGDIOBJ old = SelectObject(dc, h);
    TEXTMETRICA tm;
    std::memset(&tm, 0, sizeof tm);
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    DeleteDC(dc);
    int edge2 = FontHasEdge(f) ? f->edge_size * 2 : 0;
    int width = (tm.tmMaxCharWidth + 2 + edge2 + 7) / 8 * 8;
    int line = tm.tmHeight + edge2;
    if (line & 1) line++;
    f->line_height = line;
    f->cell = width > line ? width : line;
    return 0;
}

// The texture cache; -1 when the texture cannot be made (the caller falls back).
static int SetUpTextureCache(int handle, FontRecord* f) {
    int w, h;
    int capacity = FontTextureCacheSize(f->cell, GFontSystem.cache_char_count, &w, &h);
    if (capacity <= 0) return -1;
    f->cache_width = w;
    f->cache_height = h;
    f->capacity = capacity;
    f->rows_per_column = h / f->cell;
    f->rebuild = 1;
    return BuildFontCacheGraphic(handle);
}

static int SetUpCacheImage(FontRecord* f) {
    int aa = FontIsAntialiased(f);
    BaseImage* img = &f->cache_image;
    img->format = *SelectTextureFormatByFlags(aa, !aa, 0, 0);
    img->width = f->cache_width * (FontHasEdge(f) ? 2 : 1);
    img->height = f->cache_height;
    img->pitch = img->format.bytes_per_pixel * img->width;
    img->mipmap_count = 0;
    img->pixels = MemAllocZeroed((size_t)img->pitch * img->height, __FILE__, __LINE__);
    if (!img->pixels) return LogAppend("文字キャッシュ基本イメージ用のメモリの確保に失敗しました\n");
    return 0;
}

static int SetUpSoftCache(FontRecord* f) {
    f->soft_bits = f->type == FONT_TYPE_NORMAL ? 1 : 8;
    f->capacity = FontSoftCacheCapacity(f->cell, GFontSystem.cache_char_count);
    f->cache_width = f->cell;
    f->cache_height = f->capacity * f->cell;
    f->rows_per_column = f->capacity;
    f->soft_pitch = (f->cell * f->soft_bits + 7) / 8;
    long long bytes = (long long)f->soft_pitch * f->cache_height;
    if (bytes <= 0 || bytes > SOFT_CACHE_MAX_BYTES ||
        !(f->soft_bitmap = (uint8_t*)MemAlloc((size_t)bytes, __FILE__, __LINE__)))
        return LogAppend("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle");
    return 0;
}

int CreateFontToHandle(const char* face, int size, int thickness, int font_type, int charset_index, int edge_size,
                       int italic, int slot, int check_number) {
    if (!GFontSystem.started || IsEndRequested()) return -1;
    if (face && !face[0]) face = nullptr;
    if (size == -1) size = 16;
    if (thickness == -1) thickness = 6;
    if (font_type == -1 || font_type == -2) font_type = 0;
    if (charset_index == -1) charset_index = LibraryCharsetIndex;
    if (edge_size == -1) edge_size = 1;
    if (size <= 0 || thickness < 0 || font_type < 0 || font_type > 3 || charset_index < 0 || charset_index > 4 ||
        edge_size < 0 || slot < -1 || slot >= FONT_HANDLE_MAX || check_number < -1 || check_number > 2047)
        return LogAppendFormat("フォントの作成に失敗しました ( 引数が不正です size %d type %d edge %d slot %d )", size,
                               font_type, edge_size, slot);
    if (edge_size > 1) font_type |= FONT_TYPE_EDGE;

    FontRecord* f = nullptr;
    int handle;
    HandleTable* t = &GFontSystem.table;
    if (slot >= 0) {
        if (t->records[slot]) return LogAppendFormat("フォントの作成に失敗しました ( スロット %d は使用中です )", slot);
        handle = HandleTableAddAt(t, sizeof(FontRecord), (void**)&f, slot, check_number);
    } else {
        if (t->count >= t->capacity)
            return LogAppendFormat("作成できるフォントハンドル数 %d の限界を超えました", FONT_HANDLE_MAX);
        handle = HandleTableAdd(t, sizeof(FontRecord), (void**)&f, 1);
        if (handle >= 0 && check_number >= 0) {
            f->check = check_number;
            handle = MakeHandle(HANDLE_FONT, check_number, HandleSlotOf(handle));
        }
    }
    if (handle < 0) return LogAppend("フォント管理用メモリ領域の確保に失敗しました\n");
    f->cache_graphic = -1;
    f->edge_graphic = -1;
    if (GetScreenColorDepth() == 8) font_type &= ~FONT_TYPE_ANTIALIASING;
    f->edge_size = edge_size;
    f->type = font_type;
    f->size = size;
    f->thickness = thickness;
    f->italic = italic ? 1 : 0;
    f->spacing = 0;
    f->texture_mode = GraphicsUsesD3D() && !GFontSystem.force_soft_cache;
    if (face) CopyFaceName(f->face, face, sizeof f->face);

    HFONT h = CreatePlatformFont(f, face, kCharsets[charset_index]);
    if (!h) return RemoveFontRecord(handle, f);
    if (MeasureFont(f, h) < 0) {
        DeleteObject(h);
        return RemoveFontRecord(handle, f);
    }
    f->hfont = h;

    if (f->texture_mode) {
        if (SetUpTextureCache(handle, f) == 0) {
            if (SetUpCacheImage(f) < 0) return RemoveFontRecord(handle, f);
            ResetFontCache(handle);
            f->charset_index = charset_index;
            f->lost_flag = nullptr;
            return handle;
        }
        LogAppend("テクスチャ文字キャッシュの作成に失敗しました\n");
        DeleteGraphicIfAny(&f->edge_graphic);
        DeleteGraphicIfAny(&f->cache_graphic);
        f->texture_mode = 0;
    }
    if (SetUpSoftCache(f) < 0) return RemoveFontRecord(handle, f);
    if (BuildFontCacheGraphic(handle) < 0) {
        LogAppend("フォント用描画スクリーンの作成に失敗しました\n");
        return RemoveFontRecord(handle, f);
    }
    ResetFontCache(handle);
    f->charset_index = charset_index;
    f->lost_flag = nullptr;
    return handle;
}
