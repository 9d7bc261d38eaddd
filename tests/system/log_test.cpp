#include <gtest/gtest.h>

#include <windows.h>
#include <regex>
#include <string>

#include "engine/system/log.h"
#include "system/log_capture.h"

namespace {

TEST(Log, PrefixIndentAndLineEnds) {
    LogCapture cap;
    LogIndentIn();
    LogIndentIn();
    EXPECT_EQ(LogAppend("one\ntwo\n"), -1);
    LogIndentOut();
    LogAppend("three");
    LogAppend(" more\n");
    LogIndentOut();
    LogIndentOut();  // never below zero
    LogAppend("four\n");
    std::regex line(
        "[0-9]+:\t\tone\r\n[0-9]+:\t\ttwo\r\n[0-9]+:\tthree more\r\n[0-9]+:four\r\n");
    EXPECT_TRUE(std::regex_match(cap.text, line)) << cap.text;
}

TEST(Log, FormatAppendsNewlineAndTruncatesAt1024) {
    LogCapture cap;
    EXPECT_EQ(LogAppendFormat("%d-%s", 42, "x"), -1);
    EXPECT_TRUE(std::regex_match(cap.text, std::regex("[0-9]+:42-x\r\n"))) << cap.text;
    cap.text.clear();
    std::string big(3000, 'a');
    LogAppendFormat("%s", big.c_str());
    size_t colon = cap.text.find(':');
    ASSERT_NE(colon, std::string::npos);
    std::string body = cap.text.substr(colon + 1);
    // 1024 bytes of buffer: 1022 characters, the newline and the terminator.
    EXPECT_EQ(body, std::string(1022, 'a') + "\r\n");
}

TEST(Log, JapaneseTextIsShiftJis) {
    LogCapture cap;
    LogAppend("日本語\n");
    const std::string sjis = "\x93\xfa\x96\x7b\x8c\xea\r\n";
    ASSERT_GE(cap.text.size(), sjis.size());
    EXPECT_EQ(cap.text.substr(cap.text.size() - sjis.size()), sjis);
}

TEST(Log, FileIsRecreatedWithCrLf) {
    char dir[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, dir);
    std::string path = std::string(dir) + "\\Log.txt";
    int old_flag = GetOutputLogFlag();
    SetOutputLogFlag(1);
    for (int round = 0; round < 2; round++) {
        ASSERT_EQ(LogOpen(dir), 0);
        LogAppend(round == 0 ? "first run\n" : "second\n");
        LogClose();
    }
    SetOutputLogFlag(old_flag);
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    char buf[256];
    DWORD got = 0;
    ReadFile(f, buf, sizeof buf, &got, nullptr);
    CloseHandle(f);
    std::string content(buf, got);
    EXPECT_TRUE(std::regex_match(content, std::regex("[0-9]+:second\r\n"))) << content;
}

TEST(Log, FlagOffWritesNoFile) {
    char dir[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, dir);
    CreateDirectoryA("nolog", nullptr);
    std::string sub = std::string(dir) + "\\nolog";
    DeleteFileA((sub + "\\Log.txt").c_str());
    int old_flag = GetOutputLogFlag();
    SetOutputLogFlag(0);
    LogCapture cap;
    ASSERT_EQ(LogOpen(sub.c_str()), 0);
    LogAppend("still captured\n");
    LogClose();
    SetOutputLogFlag(old_flag);
    EXPECT_EQ(GetFileAttributesA((sub + "\\Log.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(cap.text.find("still captured"), std::string::npos);
}

}  // namespace
