// The character queue, what the window procedure lets into it, and text-input handles.
#include "fake_imm.h"

#include "engine/system/handle_table.h"

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
    EXPECT_EQ(DrainQueue(), "\x82\xA0" "b");
}

TEST_F(TextInputEngine, PostedCharactersAndEditingKeysAreFilteredThroughThePump) {
    HWND w = GetMainWindow();
    const std::string kept("\x01\x03\x08\x09\x0D\x10\x16\x18\x1B");
    std::string expected;
    for (int c = 0; c < 0x21; c++) {
        PostMessageA(w, WM_CHAR, c, 0);
        if (c == 0x0A) expected += '\x0D';
        else if (c == 0x20 || (c && kept.find((char)c) != std::string::npos)) expected += (char)c;
    }
    PostMessageA(w, WM_CHAR, 0xE0, 0);  // a double-byte character arrives as two WM_CHARs
    PostMessageA(w, WM_CHAR, 0x40, 0);
    for (int vk : {VK_DELETE, VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END, VK_PRIOR, VK_NEXT, VK_F5})
        PostMessageA(w, WM_KEYDOWN, vk, 0);
    expected += "\xE0\x40" "\x10\x1D\x1C\x1E\x1F\x1A\x19\x17\x15";
    ASSERT_TRUE(PumpUntil([&] { return 1024 - CharQueueSpace() >= (int)expected.size(); }));
    PumpFor(20);
    EXPECT_EQ(DrainQueue(), expected);
}

TEST_F(TextInputEngine, BadHandlesAreRefusedAndDeletingTheLastTurnsTheImeOff) {
    SetImeEnabled(1);
    const int first = CreateTextInput(8, 0, 0, 0), h = CreateTextInput(8, 0, 0, 0);
    ASSERT_TRUE(first >= 0 && h >= 0 && g_active_text_input == h);
    const int slot = HandleSlotOf(h), check = HandleCheckOf(h);
    Queue("q");
    for (int bad : {-1, MakeHandle(HANDLE_FONT, check, slot), MakeHandle(HANDLE_TEXTINPUT, check, 256),
                    MakeHandle(HANDLE_TEXTINPUT, check, slot + 1), MakeHandle(HANDLE_TEXTINPUT, (check + 1) & 0x7FF, slot)}) {
        EXPECT_EQ(DeleteTextInput(bad), -1) << std::hex << bad;
        g_active_text_input = bad;
        EXPECT_EQ(ProcessActiveTextInput(), bad == -1 ? 0 : -1) << std::hex << bad;
    }
    EXPECT_EQ(DrainQueue(), "q");  // a bad active handle takes nothing
    EXPECT_EQ(DeleteTextInput(h), 0);
    EXPECT_EQ(DeleteTextInput(h), -1);
    EXPECT_EQ(g_imm.enable_ime, std::vector<int>({1}));
    EXPECT_EQ(DeleteTextInput(first), 0);
    EXPECT_EQ(g_imm.enable_ime, std::vector<int>({1, 0}));
}
