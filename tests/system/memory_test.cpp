#include <gtest/gtest.h>

#include <windows.h>
#include <cstring>
#include <string>

#include "engine/system/log.h"
#include "engine/system/memory.h"

namespace {

TEST(Memory, CountsBytesAndKeepsContentOnRealloc) {
    int blocks = MemLiveBlockCount();
    size_t bytes = MemLiveBytes();
    char* a = (char*)MemAlloc(100, "a", 1);
    unsigned char* z = (unsigned char*)MemAllocZeroed(50, "", 0);
    ASSERT_TRUE(a && z);
    EXPECT_EQ(MemLiveBlockCount(), blocks + 2);
    EXPECT_EQ(MemLiveBytes(), bytes + 150);
    for (int i = 0; i < 50; i++) EXPECT_EQ(z[i], 0);
    for (int i = 0; i < 100; i++) a[i] = (char)i;
    a = (char*)MemRealloc(a, 100000, "a", 2);
    ASSERT_TRUE(a);
    for (int i = 0; i < 100; i++) ASSERT_EQ(a[i], (char)i);
    EXPECT_EQ(MemLiveBytes(), bytes + 100050);
    EXPECT_EQ(MemCheckIntegrity(), 0);
    MemFree(a);
    MemFree(z);
    MemFree(nullptr);
    EXPECT_EQ(MemLiveBlockCount(), blocks);
    EXPECT_EQ(MemLiveBytes(), bytes);
    void* p = MemRealloc(nullptr, 8, "n", 3);  // null allocates
    ASSERT_TRUE(p);
    EXPECT_EQ(MemLiveBlockCount(), blocks + 1);
    MemFree(p);
}

TEST(Memory, HeaderKeepsTheNameTailAndDumpListsBlocks) {
    void* p = MemAlloc(24, "C:\\src\\engine\\sound\\sound_load.cpp", 77);
    ASSERT_TRUE(p);
    const MemBlockHeader* h = (const MemBlockHeader*)p - 1;
    EXPECT_STREQ(h->name, "\\sound_load.cpp");
    EXPECT_EQ(h->line, 77);
    EXPECT_EQ(h->size, 24u);
    std::string out;
    SetLogCapture([](const char* t, void* u) { *(std::string*)u += t; }, &out);
    int n = MemDumpLiveBlocks();
    SetLogCapture(nullptr, nullptr);
    EXPECT_EQ(n, MemLiveBlockCount());
    EXPECT_NE(out.find("\\sound_load.cpp(   77)"), std::string::npos) << out;
    MemFree(p);
}

TEST(Memory, IntegrityCheckFindsABrokenHeader) {
    char* p = (char*)MemAlloc(16, "victim", 5);
    MemBlockHeader* h = (MemBlockHeader*)p - 1;
    h->size ^= 0x100;  // an overrun from the block before would do this
    std::string out;
    SetLogCapture([](const char* t, void* u) { *(std::string*)u += t; }, &out);
    EXPECT_EQ(MemCheckIntegrity(), -1);
    SetLogCapture(nullptr, nullptr);
    EXPECT_FALSE(out.empty());
    h->size ^= 0x100;
    EXPECT_EQ(MemCheckIntegrity(), 0);
    MemFree(p);
}

DWORD WINAPI Churn(void*) {
    void* held[16] = {};
    for (int i = 0; i < 20000; i++) {
        int k = i % 16;
        MemFree(held[k]);
        held[k] = (i % 3) ? MemAlloc(32 + k, "churn", i) : MemRealloc(nullptr, 8, "churn", i);
    }
    for (void* p : held) MemFree(p);
    return 0;
}

TEST(Memory, ThreadsAllocatingTogetherLeaveTheCountsRight) {
    int blocks = MemLiveBlockCount();
    size_t bytes = MemLiveBytes();
    HANDLE t[4];
    for (HANDLE& h : t) h = CreateThread(nullptr, 0, Churn, nullptr, 0, nullptr);
    WaitForMultipleObjects(4, t, TRUE, 60000);
    for (HANDLE h : t) CloseHandle(h);
    EXPECT_EQ(MemLiveBlockCount(), blocks);
    EXPECT_EQ(MemLiveBytes(), bytes);
    EXPECT_EQ(MemCheckIntegrity(), 0);
}

}  // namespace
