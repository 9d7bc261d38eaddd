// The input-method editor: its window messages, composition and candidate data,
// and the re-synchronisation after the window is activated again.
#include "engine/input/text_input_state.h"

#include <cstdint>
#include <cstring>

#include "engine/system/entry_points.h"
#include "engine/system/log.h"
#include "engine/system/memory.h"
#include "engine/system/tick.h"
#include "engine/system/window.h"

ImeState g_ime;

namespace {

int g_in_open_status = 0;

// Imm32 may be missing altogether: every entry is checked before use.
HIMC GetContext(HWND window) { return WinApi.ImmGetContext ? WinApi.ImmGetContext(window) : nullptr; }

void ReleaseContext(HWND window, HIMC context) {
    if (context && WinApi.ImmReleaseContext) WinApi.ImmReleaseContext(window, context);
}

void SetOpenStatus(HIMC context, BOOL open) {
    if (context && WinApi.ImmSetOpenStatus) WinApi.ImmSetOpenStatus(context, open);
}

// The IME answers with error codes below 0 as well as byte counts: keep the result
// inside the buffer either way.
int ClampImeCount(LONG n, int size) { return n < 0 ? 0 : n > size ? size : (int)n; }

int ReadImeData(HIMC context, DWORD index, void* buffer, int size) {
    std::memset(buffer, 0, (size_t)size);
    if (!WinApi.ImmGetCompositionStringA) return 0;
    return ClampImeCount(WinApi.ImmGetCompositionStringA(context, index, buffer, (DWORD)size), size);
}

void ReadCompositionString(HIMC context) {
    int n = ReadImeData(context, GCS_COMPSTR, g_ime.composition, IME_STRING_SIZE);
    g_ime.composition[n] = 0;
}

void FreeCandidates() {
    MemFree(g_ime.candidates);
    g_ime.candidates = nullptr;
    g_ime.candidate_size = 0;
}

void FetchCandidates(HWND window) {
    HIMC context = GetContext(window);
    DWORD size = WinApi.ImmGetCandidateListA ? WinApi.ImmGetCandidateListA(context, 0, nullptr, 0) : 0;
    FreeCandidates();
    if (size == 0) {
        ReleaseContext(window, context);
        LogAppendFormat("漢字変換候補のデータサイズが０でした  DefHWND:%x IMC:%x", (unsigned)(uintptr_t)window,
                        (unsigned)(uintptr_t)context);
        return;
    }
    g_ime.candidate_size = (int)size;
    g_ime.candidates = (CANDIDATELIST*)MemAlloc(size, "ime.cpp", __LINE__);
    if (!g_ime.candidates) {
        ReleaseContext(window, context);
        FatalLibraryErrorF("漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ %d バイト )", (int)size);
    }
    if (WinApi.ImmGetCandidateListA(context, 0, g_ime.candidates, size) == 0) {
        FreeCandidates();
        ReleaseContext(window, context);
        LogAppendFormat("漢字変換候補の取得に失敗しました  BufSize:%d", (int)size);
        return;
    }
    ReleaseContext(window, context);
}

void OnComposition(HWND window, LPARAM parts) {
    HIMC context = GetContext(window);
    if (parts & GCS_COMPSTR) ReadCompositionString(context);
    if (parts & GCS_RESULTSTR) {
        int n = ReadImeData(context, GCS_RESULTSTR, g_ime.composition, IME_STRING_SIZE);
        PushWholeChars(g_ime.composition, n, 0);
        ReadCompositionString(context);
    }
    if ((parts & GCS_CURSORPOS) && WinApi.ImmGetCompositionStringA) {
        int pos = ClampImeCount(WinApi.ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0), IME_STRING_SIZE);
        g_ime.composition_cursor = CountMultiByteChars(g_ime.composition, pos);
    }
    if (parts & GCS_COMPCLAUSE)
        g_ime.clause_count = ReadImeData(context, GCS_COMPCLAUSE, g_ime.clauses, sizeof g_ime.clauses) / 4;
    if (parts & GCS_COMPATTR)
        g_ime.attribute_count = ReadImeData(context, GCS_COMPATTR, g_ime.attributes, sizeof g_ime.attributes);
    ReleaseContext(window, context);
}

LRESULT OnSetOpenStatus(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    // The pump below can bring this notification back in.
    if (g_in_open_status) return 0;
    g_in_open_status = 1;
    DefWindowProcA(window, message, wparam, lparam);
    int64_t start = GetTickUs(0);
    do {
        if (ProcessWindowMessages() == -1) break;
    } while (GetTickUs(0) - start < 2000);
    g_in_open_status = 0;
    HIMC context = GetContext(window);
    g_ime.open = WinApi.ImmGetOpenStatus && WinApi.ImmGetOpenStatus(context) ? 1 : 0;
    ReleaseContext(window, context);
    return 0;
}

}  // namespace

int SetImeEnabled(int on) {
    on = on ? 1 : 0;
    if (g_ime.enabled == on) return 0;
    if (WinApi.WINNLSEnableIME) WinApi.WINNLSEnableIME(GetMainWindow(), on);
    g_ime.enabled = on;
    if (!on) {
        FreeCandidates();
        std::memset(g_ime.composition, 0, sizeof g_ime.composition);
        g_ime.composing = 0;
    }
    return 0;
}

int IsImeEnabled() { return g_ime.enabled; }

int OnMainWindowActivated() {
    if (g_ime.enabled && g_ime.open) g_ime.resync_step = 1;
    return 0;
}

// Brings an open IME back in step with the window after it was inactive: the
// pending composition is saved, cancelled, the IME closed and opened, and the
// composition set back. All remaining steps run in one go.
void RunImeResync() {
    HWND window = GetMainWindow();
    for (; g_ime.resync_step >= 1 && g_ime.resync_step <= 4; g_ime.resync_step++) {
        HIMC context = GetContext(window);
        int whole = window && context;
        switch (g_ime.resync_step) {
        case 1:
            if (!whole) break;
            std::memset(g_ime.composition, 0, sizeof g_ime.composition);
            std::memset(g_ime.saved_composition, 0, sizeof g_ime.saved_composition);
            g_ime.saved_composition[ReadImeData(context, GCS_COMPSTR, g_ime.saved_composition, IME_STRING_SIZE)] = 0;
            if (WinApi.ImmNotifyIME) WinApi.ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
            break;
        case 2:
        case 3:
            SetOpenStatus(context, g_ime.resync_step == 3);
            break;
        case 4:
            if (!whole) break;
            SetOpenStatus(context, TRUE);
            if (WinApi.ImmSetCompositionStringA)
                WinApi.ImmSetCompositionStringA(context, SCS_SETSTR, g_ime.saved_composition,
                                                (DWORD)std::strlen(g_ime.saved_composition), nullptr, 0);
            break;
        }
        ReleaseContext(window, context);
    }
    g_ime.resync_step = 0;
}

LRESULT HandleImeMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    ResetCaretBlink();
    switch (message) {
    case WM_IME_STARTCOMPOSITION:
        g_ime.composing = 1;
        g_ime.composition_cursor = 0;
        return 0;
    case WM_IME_ENDCOMPOSITION:
        std::memset(g_ime.composition, 0, sizeof g_ime.composition);
        g_ime.composing = 0;
        return 0;
    case WM_IME_COMPOSITION:
        // No default processing: the system then shows no composition window of its own.
        OnComposition(window, lparam);
        return 0;
    case WM_IME_SETCONTEXT:
        return DefWindowProcA(window, message, wparam, 0);
    case WM_IME_NOTIFY:
        switch (wparam) {
        case IMN_CHANGECANDIDATE:
        case IMN_OPENCANDIDATE:
        case IMN_SETCANDIDATEPOS:
            FetchCandidates(window);
            return 0;
        case IMN_CLOSECANDIDATE:
            FreeCandidates();
            return 0;
        case IMN_SETOPENSTATUS:
            return OnSetOpenStatus(window, message, wparam, lparam);
        }
        break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}
