// IME messages against scripted Imm32 entries (Wine has no IME server: the
// messages are sent straight to the window).
#include "fake_imm.h"

TEST_F(TextInputEngine, CompositionResultReachesTheQueueByItsByteCount) {
    InstallFakeImm();
    g_caret.visible = 0;
    EXPECT_EQ(Send(WM_IME_STARTCOMPOSITION, 0, 0), 0);
    EXPECT_TRUE(g_ime.composing && g_caret.visible);
    const std::string composition = "\x82\xA0\x82\xA2" "abcd";
    g_imm.cursor_pos = 4;
    // The result is written without a terminator over the longer composition,
    // and is queued whether or not an input is active.
    for (int active = 0; active < 2; active++) {
        g_imm.answers = {{GCS_COMPSTR, composition, 8}};
        Send(WM_IME_COMPOSITION, 0, GCS_COMPSTR | GCS_CURSORPOS);
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
    const struct { LONG answer; int bytes, chars, clauses; } cases[] = {
        {IMM_ERROR_GENERAL, 0, 0, 0}, {5000, 1024, 1024, 1024}, {10, 10, 10, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
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
    LogCapture log;
    for (WPARAM notify : {IMN_OPENCANDIDATE, IMN_CHANGECANDIDATE, IMN_SETCANDIDATEPOS}) {
        EXPECT_EQ(Send(WM_IME_NOTIFY, notify, 0), 0);
        EXPECT_TRUE(g_ime.candidates && g_ime.candidate_size == 64) << notify;
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
    g_imm.candidate_size = 0x7FFFFFF0;
    EXPECT_EXIT(Send(WM_IME_NOTIFY, IMN_OPENCANDIDATE, 0), testing::ExitedWithCode(-1), "");
}

TEST_F(TextInputEngine, WithoutImm32EveryMessageIsStillAnswered) {
    WinApi.ImmGetContext = nullptr, WinApi.ImmReleaseContext = nullptr, WinApi.ImmGetOpenStatus = nullptr;
    WinApi.ImmSetOpenStatus = nullptr, WinApi.ImmNotifyIME = nullptr, WinApi.ImmGetCandidateListA = nullptr;
    WinApi.ImmGetCompositionStringA = nullptr, WinApi.ImmSetCompositionStringA = nullptr;
    Send(WM_IME_COMPOSITION, 0, GCS_COMPSTR | GCS_RESULTSTR | GCS_CURSORPOS | GCS_COMPCLAUSE | GCS_COMPATTR);
    Send(WM_IME_NOTIFY, IMN_OPENCANDIDATE, 0);
    Send(WM_IME_NOTIFY, IMN_SETOPENSTATUS, 0);
    g_ime.resync_step = 1;
    EXPECT_EQ(ProcessActiveTextInput(), 0);
    EXPECT_TRUE(!g_ime.candidates && g_ime.open == 0 && g_ime.resync_step == 0);
}

TEST_F(TextInputEngine, ReactivationResynchronisesAnOpenImeInOnePass) {
    InstallFakeImm();
    SetImeEnabled(1);
    g_imm.open = 1;
    // The notification's own pump brings a posted copy back in: the status is read once.
    PostMessageA(GetMainWindow(), WM_IME_NOTIFY, IMN_SETOPENSTATUS, 0);
    EXPECT_EQ(Send(WM_IME_NOTIFY, IMN_SETOPENSTATUS, 0), 0);
    EXPECT_EQ(std::count(g_imm.calls.begin(), g_imm.calls.end(), "GetOpenStatus"), 1);
    // A composition that fills the whole buffer comes back whole, terminator room included.
    const std::string saved(1024, 's');
    g_imm.answers = {{GCS_COMPSTR, saved, 1024}};
    SetActiveBySystem(1);
    g_imm.calls.clear();
    EXPECT_EQ(ProcessActiveTextInput(), 0);
    EXPECT_EQ(g_ime.resync_step, 0);
    const std::vector<std::string> expected = {
        "GetContext", "GetCompositionString 8", "NotifyIME 21 4", "Release",
        "GetContext", "SetOpenStatus 0", "Release", "GetContext", "SetOpenStatus 1", "Release",
        "GetContext", "SetOpenStatus 1", "SetCompositionString 9 1024", "Release",
    };
    EXPECT_EQ(g_imm.calls, expected);
    EXPECT_EQ(g_imm.set_composition, saved);
}
