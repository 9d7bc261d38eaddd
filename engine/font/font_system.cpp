// Font system start and end, re-creation after a device loss, and the default font.
#include "engine/font/font.h"

#include "engine/font/font_record.h"
#include "engine/font/font_state.h"
#include "engine/system/library.h"
#include "engine/system/log.h"
#include "engine/system/str_util.h"

static void SetDefaultSettings(DefaultFontSettings* d) {
    d->face[0] = 0;
    d->size = 16;
    d->thickness = 6;
    d->type = 0;
    d->charset_index = LibraryCharsetIndex;
    d->edge_size = 1;
    d->italic = 0;
    d->spacing = 0;
}

int InitFontSystem() {
    if (GFontSystem.started) EndFontSystem();
    GFontSystem = FontSystemState{};
    if (HandleTableInit(&GFontSystem.table, HANDLE_FONT, FONT_HANDLE_MAX) < 0)
        return LogAppend("フォントハンドルテーブルの確保に失敗しました\n");
    SetDefaultSettings(&GFontSystem.defaults);
    GFontSystem.started = 1;
    return InitFonts();
}

static void DeleteEveryFont() {
    for (int s = 0; s < FONT_HANDLE_MAX; s++) {
        int h = HandleTableHandleAt(&GFontSystem.table, s);
        if (h >= 0) DeleteFontHandle(h);
    }
}

int InitFonts() {
    if (!GFontSystem.started) return -1;
    LogAppend("フォントの初期化を行います\n");
    LogIndentIn();
    DefaultFontSettings d = GFontSystem.defaults;
    FontRecord* old = FontRecordOf(GFontSystem.default_handle);
    if (old) {
        CopyFaceName(d.face, old->face, sizeof d.face);
        d.size = old->size;
        d.thickness = old->thickness;
        d.type = old->type;
        d.charset_index = old->charset_index;
        d.edge_size = old->edge_size;
        d.italic = old->italic;
    }
    DeleteEveryFont();
    GFontSystem.default_handle =
        CreateFontToHandle(d.face, d.size, d.thickness, d.type, d.charset_index, d.edge_size, d.italic);
    LogIndentOut();
    LogAppend("フォントの初期化は正常に終了しました\n");
    return 0;
}

int EndFontSystem() {
    if (!GFontSystem.started) return 0;
    InitFonts();
    DeleteEveryFont();
    HandleTableFree(&GFontSystem.table);
    GFontSystem.started = 0;
    GFontSystem.default_handle = -1;
    return 0;
}

int RecreateAllFonts() {
    if (!GFontSystem.started) return 0;
    for (int s = 0; s < FONT_HANDLE_MAX; s++) {
        int h = HandleTableHandleAt(&GFontSystem.table, s);
        FontRecord* f = FontRecordOf(h);
        if (!f) continue;
        char face[256];
        CopyFaceName(face, f->face, sizeof face);
        int check = f->check, thickness = f->thickness, type = f->type, size = f->size;
        int charset = f->charset_index, edge = f->edge_size, italic = f->italic, spacing = f->spacing;
        DeleteFontHandle(h);
        int n = CreateFontToHandle(face, size, thickness, type, charset, edge, italic, s, check);
        if (IsValidFontHandle(n)) SetFontSpacing(spacing, n);
    }
    return 0;
}

int RefreshDefaultFont() {
    if (!GFontSystem.started) return -1;
    const DefaultFontSettings& d = GFontSystem.defaults;
    FontRecord* f = FontRecordOf(GFontSystem.default_handle);
    if (f && StrCompare(f->face, d.face) == 0 && f->type == d.type && f->size == d.size &&
        f->thickness == d.thickness && f->charset_index == d.charset_index && f->edge_size == d.edge_size &&
        f->italic == d.italic)
        return 0;
    if (f) DeleteFontHandle(GFontSystem.default_handle);
    GFontSystem.default_handle = CreateFontToHandle(d.face, d.size, d.thickness, d.type, d.charset_index,
                                                    (d.type & FONT_TYPE_EDGE) ? d.edge_size : -1, d.italic);
    SetFontSpacing(d.spacing, GFontSystem.default_handle);
    return 0;
}

static int BadDefaultSize(int size) {
    return LogAppendFormat("デフォルトフォントのサイズが不正です ( %d )", size);
}

int ChangeDefaultFont(const char* face, int size, int thickness) {
    (void)face;
    if (!GFontSystem.started) return -1;
    if (size == 0 || size < -1) return BadDefaultSize(size);
    GFontSystem.defaults.size = size == -1 ? 16 : size;
    GFontSystem.defaults.thickness = thickness == -1 ? 6 : thickness;
    return RefreshDefaultFont();
}

int SetDefaultFontSize(int size) {
    if (!GFontSystem.started) return -1;
    if (size == 0 || size < -1) return BadDefaultSize(size);
    GFontSystem.defaults.size = size == -1 ? 16 : size;
    return RefreshDefaultFont();
}

int GetDefaultFontHandle() { return GFontSystem.default_handle; }
