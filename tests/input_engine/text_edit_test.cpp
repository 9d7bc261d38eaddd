// Line editing of a text input fed through the queue.
#include "fake_imm.h"

namespace {

struct Options { int max, cancel, single, numbers; };

// Left Shift held while it lives (Wine reads the right one as the left one).
struct ShiftDown {
    ShiftDown() {
        SendKey(VK_LSHIFT, 0x2A, false, false);
        held = PumpUntil([] { return CheckKeyDown(0x2A) == 1; });
    }
    ~ShiftDown() {
        SendKey(VK_LSHIFT, 0x2A, false, true);
        PumpUntil([] { return CheckKeyDown(0x2A) == 0; });
    }
    bool held;
};

bool ClipboardUsable() {
    if (!OpenClipboard(GetMainWindow())) return false;
    CloseClipboard();
    return true;
}

std::string ClipboardText() {
    char buf[256] = {};
    return GetClipboardText(buf, sizeof buf) == 0 ? buf : "<none>";
}

}  // namespace

class TextEdit : public TextInputEngine {
  protected:
    TextInputRecord* Create(Options o) {
        handle_ = CreateTextInput(o.max, o.cancel, o.single, o.numbers);
        return TextInputFromHandle(handle_);
    }
    static void Type(const std::string& bytes) {
        Queue(bytes);
        ProcessActiveTextInput();
    }
    int handle_ = -1;
};

TEST_F(TextEdit, KeysWithoutShiftEditOneLine) {
    // Left 1D, Right 1C, Home 1A, End 19, Delete 10, Backspace 08; \x82\xA0 is one double-byte character.
    const struct { Options o; const char* keys; const char* text; int cursor; } cases[] = {
        {{16, 0, 0, 0}, "a\x82\xA0" "\x08", "a", 1},
        {{16, 0, 0, 0}, "\x82\xA0" "b\x1A\x1C", "\x82\xA0" "b", 2},
        {{16, 0, 0, 0}, "\x82\xA0" "b\x1D\x1D", "\x82\xA0" "b", 0},
        {{16, 0, 0, 0}, "\x82\xA0" "b\x1A\x10", "b", 0},
        {{16, 0, 0, 0}, "ab\x1A\x08\x1D\x19\x1C", "ab", 2},       // nothing before 0, nothing past the end
        {{16, 0, 0, 0}, "ab\x1D" "c\x01\x09\x15\x17\x1E\x1F", "acb", 2},
        {{16, 0, 0, 1}, "1-2.3.4\x82\xA0" "x", "12.34", 5},
        {{16, 0, 0, 1}, "5\x1A-", "-5", 1},
        {{16, 0, 1, 0}, "a\x82\xA0" "b", "ab", 2},
        {{3, 0, 0, 0}, "abc\x1A\x1C" "x", "axb", 2},                // the last character makes room
        {{3, 0, 0, 0}, "abcd", "abd", 3},
        {{3, 0, 0, 0}, "ab\x82\xA0", "a\x82\xA0", 3},               // two bytes of room needed
        {{1, 0, 0, 0}, "\x82\xA0" "a", "a", 1},                     // too small for the character: refused
        {{0, 0, 0, 0}, "abc", "", 0},
    };
    for (const auto& c : cases) {
        TextInputRecord* r = Create(c.o);
        ASSERT_TRUE(r);
        Type(c.keys);
        EXPECT_STREQ(r->buffer, c.text) << c.keys;
        EXPECT_EQ(r->length, (int)strlen(c.text)) << c.keys;
        EXPECT_EQ(r->cursor, c.cursor) << c.keys;
        EXPECT_EQ(DrainQueue(), "") << c.keys;
        DeleteTextInput(handle_);
    }
}

TEST_F(TextEdit, EnterLeavesTheRestQueuedAndEscapeEndsOnlyWhenAllowed) {
    TextInputRecord* r = Create({16, 0, 0, 0});
    Type("a\x1B" "b\rcd");
    EXPECT_STREQ(r->buffer, "ab");
    EXPECT_TRUE(r->ended && !r->cancelled);
    Type("e");
    EXPECT_EQ(DrainQueue(), "cde");
    r = Create({16, 1, 0, 0});
    Type("a\x1B" "b");
    EXPECT_TRUE(r->ended && r->cancelled);
    EXPECT_STREQ(r->buffer, "a");
    EXPECT_EQ(DrainQueue(), "b");
}

TEST_F(TextEdit, ShiftSelectsAndTypingReplacesTheSelection) {
    ShiftDown shift;
    ASSERT_TRUE(shift.held);
    TextInputRecord* r = Create({16, 0, 0, 0});
    Type("ab\x1D\x1D");
    EXPECT_EQ(r->selection_start, 2);
    EXPECT_EQ(r->selection_end, 0);
    EXPECT_EQ(r->cursor, 0);
    Type("x");
    EXPECT_STREQ(r->buffer, "x");
    EXPECT_EQ(r->cursor, 1);
    EXPECT_EQ(r->selection_start, -1);
    // Home selects back to the start; Right steps over the double-byte character as two bytes.
    Type("\x82\xA0" "yz");
    r->view_start = 5;
    Type("\x1A\x1C\x1C");
    EXPECT_EQ(r->selection_start, 5);
    EXPECT_EQ(r->selection_end, 3);
    EXPECT_EQ(r->cursor, 3);
    Type("\x08");
    EXPECT_STREQ(r->buffer, "x\x82\xA0");
    EXPECT_EQ(r->cursor, 3);
    EXPECT_EQ(r->view_start, 3);  // lowered to the new length
}

TEST_F(TextEdit, CutCopyAndPasteGoThroughTheClipboard) {
    if (!ClipboardUsable()) GTEST_SKIP() << "no clipboard";
    TextInputRecord* r = Create({16, 0, 0, 0});
    Type("hello");
    {
        ShiftDown shift;
        ASSERT_TRUE(shift.held);
        Type("\x1D\x1D\x03");
        EXPECT_EQ(ClipboardText(), "lo");
        Type("\x10");  // Shift+Delete cuts
    }
    EXPECT_STREQ(r->buffer, "hel");
    EXPECT_EQ(ClipboardText(), "lo");
    Type("\x1A\x16");
    EXPECT_STREQ(r->buffer, "lohel");
    EXPECT_EQ(r->cursor, 2);
    DeleteTextInput(handle_);

    // Pasting beyond the maximum length trims character by character.
    ASSERT_EQ(SetClipboardText("12345"), 0);
    r = Create({3, 0, 0, 0});
    Type("\x16");
    EXPECT_STREQ(r->buffer, "125");
    DeleteTextInput(handle_);
}

TEST_F(TextEdit, PastedPasteCodesAreDroppedInsteadOfPastingForever) {
    if (!ClipboardUsable()) GTEST_SKIP() << "no clipboard";
    ASSERT_EQ(SetClipboardText("a\x16" "b"), 0);
    TextInputRecord* r = Create({64, 0, 0, 0});
    Queue("\x16");
    ASSERT_TRUE(PumpUntil([&] { return r->length > 0; }));
    PumpFor(20);
    EXPECT_STREQ(r->buffer, "ab");
    EXPECT_EQ(DrainQueue(), "");
}

TEST_F(TextEdit, APasteThatFillsTheQueueLeavesNoHalfCharacter) {
    if (!ClipboardUsable()) GTEST_SKIP() << "no clipboard";
    ASSERT_EQ(SetClipboardText("\x82\xA0"), 0);
    TextInputRecord* r = Create({2048, 0, 0, 0});
    Queue("\x16" + std::string(1023, 'x'));
    ASSERT_EQ(CharQueueSpace(), 0);
    ProcessActiveTextInput();
    EXPECT_EQ(r->length, 1023);
    EXPECT_EQ(CharQueueSpace(), 1024);  // no lone lead byte left waiting
}
