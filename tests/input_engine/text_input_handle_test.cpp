// Text-input handles: what is refused, and the IME going off with the last one.
#include "fake_imm.h"

#include "engine/system/handle_table.h"

TEST_F(TextInputEngine, BadHandlesAreRefusedWithoutTouchingTheQueue) {
    int h = CreateTextInput(8, 0, 0, 0);
    ASSERT_GE(h, 0);
    EXPECT_EQ(HandleTypeOf(h), HANDLE_TEXTINPUT);
    int slot = HandleSlotOf(h), check = HandleCheckOf(h);
    const struct { const char* what; int handle; } bad[] = {
        {"negative", -1},
        {"other type", MakeHandle(HANDLE_FONT, check, slot)},
        {"slot 256", MakeHandle(HANDLE_TEXTINPUT, check, 256)},
        {"free slot", MakeHandle(HANDLE_TEXTINPUT, check, slot + 1)},
        {"stale check", MakeHandle(HANDLE_TEXTINPUT, (check + 1) & 0x7FF, slot)},
    };
    Queue("q");
    for (const auto& b : bad) {
        EXPECT_EQ(DeleteTextInput(b.handle), -1) << b.what;
        g_active_text_input = b.handle;
        EXPECT_EQ(ProcessActiveTextInput(), b.handle == -1 ? 0 : -1) << b.what;
    }
    EXPECT_EQ(DrainQueue(), "q");
    EXPECT_EQ(DeleteTextInput(h), 0);
    EXPECT_EQ(DeleteTextInput(h), -1);
    // The slot comes back with another check number.
    int again = CreateTextInput(8, 0, 0, 0);
    EXPECT_EQ(HandleSlotOf(again), slot);
    EXPECT_NE(again, h);
    EXPECT_EQ(CreateTextInput(-1, 0, 0, 0), -1);
}

TEST_F(TextInputEngine, DeletingTheLastInputTurnsTheImeOff) {
    SetImeEnabled(1);
    int a = CreateTextInput(8, 0, 0, 0), b = CreateTextInput(8, 0, 0, 0);
    EXPECT_EQ(g_active_text_input, b);
    EXPECT_EQ(DeleteTextInput(b), 0);
    EXPECT_EQ(g_active_text_input, -1);
    EXPECT_EQ(g_imm.enable_ime, std::vector<int>({1}));
    EXPECT_EQ(DeleteTextInput(a), 0);
    EXPECT_EQ(g_imm.enable_ime, std::vector<int>({1, 0}));
    EXPECT_EQ(IsImeEnabled(), 0);
    for (int i = 0; i < 256; i++) ASSERT_GE(CreateTextInput(1, 0, 0, 0), 0) << i;
    EXPECT_EQ(CreateTextInput(1, 0, 0, 0), -1);
    EXPECT_EQ(DeleteAllTextInputs(), 0);
    EXPECT_EQ(g_active_text_input, -1);
}
