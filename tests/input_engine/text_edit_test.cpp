// Line editing of a text input fed through the queue.
#include "fake_imm.h"

namespace {

struct Options { int max, cancel, single, numbers; };

// Left Shift held while it lives (Wine reads the right one as the left one).
struct ShiftDown {
    ShiftDown() { SendKey(VK_LSHIFT, 0x2A, false, false), held = PumpUntil([] { return CheckKeyDown(0x2A) == 1; }); }
    ~ShiftDown() { SendKey(VK_LSHIFT, 0x2A, false, true), PumpUntil([] { return CheckKeyDown(0x2A) == 0; }); }
    bool held;
};

std::string ClipboardText() {
    char buf[256] = {};
    return GetClipboardText(buf, sizeof buf) == 0 ? buf : "<none>";
}

}  // namespace

class TextEdit : public TextInputEngine {
  protected:
    void SetUp() override {
        TextInputEngine::SetUp();
        clipboard_ = OpenClipboard(GetMainWindow()) && CloseClipboard();
    }
    TextInputRecord* Create(Options o) {
        DeleteAllTextInputs();
        return TextInputFromHandle(CreateTextInput(o.max, o.cancel, o.single, o.numbers));
    }
    static void Type(const std::string& bytes) {
        Queue(bytes);
        ProcessActiveTextInput();
    }
    bool clipboard_ = false;
};

TEST_F(TextEdit, KeysWithoutShiftEditOneLine) {
    // Left 1D, Right 1C, Home 1A, End 19, Delete 10, Backspace 08, Enter 0D, Escape 1B;
    // \x82\xA0 is one double-byte character; what is left is the queue after the input ended.
    const struct { Options o; const char* keys; const char* text; int cursor; const char* left; } cases[] = {
        {{16, 0, 0, 0}, "a\x82\xA0" "\x08", "a", 1, ""},
        {{16, 0, 0, 0}, "\x82\xA0" "b\x1D\x1D", "\x82\xA0" "b", 0, ""},
        {{16, 0, 0, 0}, "\x82\xA0" "b\x1A\x10", "b", 0, ""},
        {{16, 0, 0, 0}, "ab\x1A\x08\x1D\x19\x1C", "ab", 2, ""},       // nothing before 0, nothing past the end
        {{16, 0, 0, 0}, "ab\x1D" "c\x01\x09\x15\x17\x1E\x1F", "acb", 2, ""},
        {{16, 0, 0, 0}, "a\x1B" "b\rcd", "ab", 2, "cd"},              // Escape not allowed; Enter ends
        {{16, 1, 0, 0}, "a\x1B" "b", "a", 1, "b"},
        {{16, 0, 0, 1}, "1-2.3.4\x82\xA0" "x", "12.34", 5, ""},
        {{16, 0, 0, 1}, "5\x1A-", "-5", 1, ""},
        {{16, 0, 1, 0}, "a\x82\xA0" "b", "ab", 2, ""},
        {{3, 0, 0, 0}, "abc\x1A\x1C" "x", "axb", 2, ""},                // the last character makes room
        {{3, 0, 0, 0}, "abcd", "abd", 3, ""},
        {{3, 0, 0, 0}, "ab\x82\xA0", "a\x82\xA0", 3, ""},               // two bytes of room needed
        {{1, 0, 0, 0}, "\x82\xA0" "a", "a", 1, ""},                     // too small for the character: refused
    };
    for (const auto& c : cases) {
        TextInputRecord* r = Create(c.o);
        ASSERT_TRUE(r);
        Type(c.keys);
        EXPECT_STREQ(r->buffer, c.text) << c.keys;
        EXPECT_EQ(r->length, (int)strlen(c.text)) << c.keys;
        EXPECT_EQ(r->cursor, c.cursor) << c.keys;
        EXPECT_EQ(r->cancelled, c.o.cancel) << c.keys;
        EXPECT_EQ(DrainQueue(), c.left) << c.keys;
    }
}

TEST_F(TextEdit, ShiftSelectsAndTypingOrDeletingReplacesTheSelection) {
    ShiftDown shift;
    ASSERT_TRUE(shift.held);
    TextInputRecord* r = Create({16, 0, 0, 0});
    Type("ab\x1D\x1D");
    EXPECT_TRUE(r->selection_start == 2 && r->selection_end == 0 && r->cursor == 0);
    Type("x");
    EXPECT_STREQ(r->buffer, "x");
    EXPECT_TRUE(r->cursor == 1 && r->selection_start == -1);
    // Home selects back to the start; Right steps over the double-byte character.
    Type("\x82\xA0" "yz");
    r->view_start = 5;
    Type("\x1A\x1C\x1C\x08");
    EXPECT_STREQ(r->buffer, "x\x82\xA0");
    EXPECT_EQ(r->cursor, 3);
    EXPECT_EQ(r->view_start, 3);  // lowered to the new length
    if (!clipboard_) return;
    ASSERT_EQ(SetClipboardText("-"), 0);
    Type("\x1D\x10");  // Shift+Delete cuts
    EXPECT_STREQ(r->buffer, "x");
    EXPECT_EQ(ClipboardText(), "\x82\xA0");
    Type("\x16");
    EXPECT_STREQ(r->buffer, "x\x82\xA0");
}

TEST_F(TextEdit, PastedPasteCodesAreDroppedInsteadOfPastingForever) {
    if (!clipboard_) GTEST_SKIP() << "no clipboard";
    ASSERT_EQ(SetClipboardText("a\x16" "bcd"), 0);
    TextInputRecord* r = Create({3, 0, 0, 0});
    Queue("\x16");
    ASSERT_TRUE(PumpUntil([&] { return r->length == 3; }));
    PumpFor(20);
    EXPECT_STREQ(r->buffer, "abd");  // trimmed like typing
}

TEST_F(TextEdit, APasteThatFillsTheQueueLeavesNoHalfCharacter) {
    if (!clipboard_) GTEST_SKIP() << "no clipboard";
    ASSERT_EQ(SetClipboardText("\x82\xA0"), 0);
    TextInputRecord* r = Create({2048, 0, 0, 0});
    Queue("\x16" + std::string(1023, 'x'));
    ProcessActiveTextInput();
    EXPECT_EQ(r->length, 1023);
    EXPECT_EQ(CharQueueSpace(), 1024);  // no lone lead byte left waiting
}
