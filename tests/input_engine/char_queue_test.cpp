// The character queue and what the window procedure lets into it.
#include "fake_imm.h"

TEST_F(TextInputEngine, QueueHoldsTenTwentyFourBytesAndGivesWholeCharacters) {
    for (int i = 0; i < 1024; i++) ASSERT_EQ(PushInputChar('a' + i % 26), 0) << i;
    EXPECT_EQ(PushInputChar('z'), -1);
    char ch[2];
    for (int i = 0; i < 1023; i++) ASSERT_EQ(PopInputChar(ch, 1), 1);
    // Across the end of the ring: a lead byte waits for its trail byte; a peek leaves both.
    Queue("\x82");
    EXPECT_EQ(PopInputChar(ch, 1), 1);
    EXPECT_EQ(PopInputChar(ch, 1), 0);
    Queue("\xA0" "b");
    EXPECT_EQ(PopInputChar(ch, 0), 2);
    EXPECT_EQ(std::string(ch, 2), "\x82\xA0");
    EXPECT_EQ(DrainQueue(), "\x82\xA0" "b");
    EXPECT_EQ(PopInputChar(ch, 0), 0);
}

TEST_F(TextInputEngine, PostedCharactersAndEditingKeysAreFilteredThroughThePump) {
    HWND w = GetMainWindow();
    std::string expected;
    for (int c = 0; c < 0x21; c++) {
        PostMessageA(w, WM_CHAR, c, 0);
        if (c == 0x0A) expected += '\x0D';
        else if (c == 0x20 || std::string("\x01\x03\x08\x09\x0D\x10\x16\x18\x1B").find((char)c) != std::string::npos)
            expected += (char)c;
    }
    PostMessageA(w, WM_CHAR, 0xE0, 0);  // a lead byte from the IME's two WM_CHARs
    PostMessageA(w, WM_CHAR, 0x40, 0);
    expected += "\xE0\x40";
    const struct { int vk; char code; } keys[] = {
        {VK_DELETE, 0x10}, {VK_LEFT, 0x1D}, {VK_RIGHT, 0x1C}, {VK_UP, 0x1E}, {VK_DOWN, 0x1F},
        {VK_HOME, 0x1A}, {VK_END, 0x19}, {VK_PRIOR, 0x17}, {VK_NEXT, 0x15}, {VK_F5, 0},
    };
    for (const auto& k : keys) {
        PostMessageA(w, WM_KEYDOWN, k.vk, 0);
        if (k.code) expected += k.code;
    }
    ASSERT_TRUE(PumpUntil([&] { return 1024 - CharQueueSpace() >= (int)expected.size(); }));
    PumpFor(20);
    EXPECT_EQ(DrainQueue(), expected);
}
