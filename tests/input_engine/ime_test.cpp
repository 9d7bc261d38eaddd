// IME messages against scripted Imm32 entries (Wine has no IME server: the
// messages are sent straight to the window).
#include "fake_imm.h"

TEST_F(TextInputEngine, CompositionStartsEndsAndItsResultReachesTheQueue) {
    InstallFakeImm();
    g_caret.visible = 0;
    EXPECT_EQ(Send(WM_IME_STARTCOMPOSITION, 0, 0), 0);
    EXPECT_TRUE(g_ime.composing && g_caret.visible);
    const std::string composition = "\x82\xA0\x82\xA2" "abcd";
    g_imm.cursor_pos = 4;
    // The result is written without a terminator over the longer composition:
    // exactly its byte count is queued, whether or not an input is active.
    for (int active = 0; active < 2; active++) {
        g_imm.answers = {{GCS_COMPSTR, composition, 8}};
        Send(WM_IME_COMPOSITION, 0, GCS_COMPSTR | GCS_CURSORPOS);
        EXPECT_EQ(g_ime.composition, composition);
        EXPECT_EQ(g_ime.composition_cursor, 2);  // in characters
        if (active) CreateTextInput(16, 0, 0, 0);
        g_imm.answers = {{GCS_RESULTSTR, "\x82\xA4" "x", 3}, {GCS_COMPSTR, "", 0}};
        EXPECT_EQ(Send(WM_IME_COMPOSITION, 0, GCS_RESULTSTR), 0);
        EXPECT_STREQ(g_ime.composition, "");
        ProcessActiveTextInput();
        EXPECT_EQ(active ? TextInputFromHandle(g_active_text_input)->buffer : DrainQueue(), "\x82\xA4" "x");
    }
    Send(WM_IME_ENDCOMPOSITION, 0, 0);
    EXPECT_EQ(g_ime.composing, 0);
    EXPECT_EQ(std::count(g_imm.calls.begin(), g_imm.calls.end(), "GetContext"),
              std::count(g_imm.calls.begin(), g_imm.calls.end(), "Release"));
}

TEST_F(TextInputEngine, ImeCountsAreKeptInsideTheirBuffers) {
    InstallFakeImm();
    const std::string full(1200, 'k');
    const struct { const char* what; LONG answer; int bytes, chars, clauses; } cases[] = {
        {"error codes", IMM_ERROR_GENERAL, 0, 0, 0},
        {"past the buffers", 5000, 1024, 1024, 1024},
        {"in range", 10, 10, 10, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        g_imm.answers = {{GCS_COMPSTR, full, c.answer}, {GCS_COMPCLAUSE, full, c.answer},
                         {GCS_COMPATTR, full, c.answer}, {GCS_RESULTSTR, full, c.answer}};
        g_imm.cursor_pos = c.answer;
        Send(WM_IME_COMPOSITION, 0, GCS_COMPSTR | GCS_CURSORPOS | GCS_COMPCLAUSE | GCS_COMPATTR);
        EXPECT_EQ(strlen(g_ime.composition), (size_t)c.bytes);
        EXPECT_EQ(g_ime.composition_cursor, c.chars);
        EXPECT_EQ(g_ime.clause_count, c.clauses);
        EXPECT_EQ(g_ime.attribute_count, c.bytes);
        Send(WM_IME_COMPOSITION, 0, GCS_RESULTSTR);
        EXPECT_EQ(DrainQueue().size(), (size_t)c.bytes);
    }
}

TEST_F(TextInputEngine, CandidateListLivesFromItsNotificationToItsClose) {
    InstallFakeImm();
    LogLines log;
    for (WPARAM notify : {IMN_OPENCANDIDATE, IMN_CHANGECANDIDATE, IMN_SETCANDIDATEPOS}) {
        EXPECT_EQ(Send(WM_IME_NOTIFY, notify, 0), 0);
        ASSERT_TRUE(g_ime.candidates) << notify;
        EXPECT_EQ(g_ime.candidate_size, 64);
    }
    Send(WM_IME_NOTIFY, IMN_CLOSECANDIDATE, 0);
    EXPECT_TRUE(!g_ime.candidates && g_ime.candidate_size == 0);
    // A failed fetch leaves neither a buffer nor a size behind.
    g_imm.candidate_fill_result = 0;
    Send(WM_IME_NOTIFY, IMN_OPENCANDIDATE, 0);
    EXPECT_TRUE(!g_ime.candidates && g_ime.candidate_size == 0);
    EXPECT_NE(log.text.find("漢字変換候補の取得に失敗しました  BufSize:64\r\n"), std::string::npos);
    g_imm.candidate_size = 0;
    Send(WM_IME_NOTIFY, IMN_CHANGECANDIDATE, 0);
    EXPECT_NE(log.text.find("漢字変換候補のデータサイズが０でした  DefHWND:"), std::string::npos);
    // Turning the IME off drops the list too.
    g_imm.candidate_size = g_imm.candidate_fill_result = 32;
    SetImeEnabled(1);
    Send(WM_IME_NOTIFY, IMN_OPENCANDIDATE, 0);
    ASSERT_TRUE(g_ime.candidates);
    SetImeEnabled(0);
    EXPECT_TRUE(!g_ime.candidates && g_ime.candidate_size == 0);
}

TEST_F(TextInputEngine, CandidateMemoryFailureEndsTheProgram) {
    InstallFakeImm();
    g_imm.candidate_size = 0x7FFFFFF0;
    EXPECT_EXIT(Send(WM_IME_NOTIFY, IMN_OPENCANDIDATE, 0), testing::ExitedWithCode(-1), "");
}

TEST_F(TextInputEngine, WithoutImm32EveryMessageIsStillAnswered) {
    WinApi.ImmGetContext = nullptr;
    WinApi.ImmReleaseContext = nullptr;
    WinApi.ImmGetOpenStatus = nullptr;
    WinApi.ImmSetOpenStatus = nullptr;
    WinApi.ImmNotifyIME = nullptr;
    WinApi.ImmGetCandidateListA = nullptr;
    WinApi.ImmGetCompositionStringA = nullptr;
    WinApi.ImmSetCompositionStringA = nullptr;
    Send(WM_IME_COMPOSITION, 0, GCS_COMPSTR | GCS_RESULTSTR | GCS_CURSORPOS | GCS_COMPCLAUSE | GCS_COMPATTR);
    Send(WM_IME_NOTIFY, IMN_OPENCANDIDATE, 0);
    Send(WM_IME_NOTIFY, IMN_SETOPENSTATUS, 0);
    EXPECT_TRUE(!g_ime.candidates && g_ime.open == 0);
    g_ime.resync_step = 1;
    EXPECT_EQ(ProcessActiveTextInput(), 0);
    EXPECT_EQ(g_ime.resync_step, 0);
    EXPECT_EQ(DrainQueue(), "");
}

TEST_F(TextInputEngine, ReactivationResynchronisesAnOpenImeInOnePass) {
    InstallFakeImm();
    SetImeEnabled(1);
    g_imm.open = 1;
    // The notification's own pump brings a posted copy back in: the status is read once.
    PostMessageA(GetMainWindow(), WM_IME_NOTIFY, IMN_SETOPENSTATUS, 0);
    EXPECT_EQ(Send(WM_IME_NOTIFY, IMN_SETOPENSTATUS, 0), 0);
    EXPECT_EQ(std::count(g_imm.calls.begin(), g_imm.calls.end(), "GetOpenStatus"), 1);
    SetActiveBySystem(0);
    EXPECT_EQ(g_ime.resync_step, 0);
    // A composition that fills the whole buffer comes back whole, terminator room included.
    const std::string saved(1024, 's');
    g_imm.answers = {{GCS_COMPSTR, saved, 1024}};
    SetActiveBySystem(1);
    EXPECT_EQ(g_ime.resync_step, 1);
    g_imm.calls.clear();
    EXPECT_EQ(ProcessActiveTextInput(), 0);
    EXPECT_EQ(g_ime.resync_step, 0);
    const std::vector<std::string> expected = {
        "GetContext", "GetCompositionString 8", "NotifyIME 21 4", "Release",
        "GetContext", "SetOpenStatus 0", "Release",
        "GetContext", "SetOpenStatus 1", "Release",
        "GetContext", "SetOpenStatus 1", "SetCompositionString 9 1024", "Release",
    };
    EXPECT_EQ(g_imm.calls, expected);
    EXPECT_EQ(g_imm.set_composition, saved);
    // A closed IME is left alone.
    g_imm.open = 0;
    Send(WM_IME_NOTIFY, IMN_SETOPENSTATUS, 0);
    SetActiveBySystem(1);
    EXPECT_EQ(g_ime.resync_step, 0);
}
