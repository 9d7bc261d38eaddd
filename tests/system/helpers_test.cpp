#include <gtest/gtest.h>

#include <windows.h>

#include <climits>
#include <cstring>
#include <limits>

#include "engine/system/list.h"
#include "engine/system/math_util.h"
#include "engine/system/rect.h"
#include "engine/system/ring_buffer.h"
#include "engine/system/str_util.h"

namespace {

Rect Clip(Rect r, Rect c) {
    ClipRectToRect(&r, &c);
    return r;
}

void ExpectRect(const Rect& r, int l, int t, int rr, int b) {
    EXPECT_EQ(r.left, l);
    EXPECT_EQ(r.top, t);
    EXPECT_EQ(r.right, rr);
    EXPECT_EQ(r.bottom, b);
}

TEST(ClipRect, InsideUnchangedOverlapClamped) {
    Rect c = {0, 0, 100, 50};
    ExpectRect(Clip({10, 10, 20, 20}, c), 10, 10, 20, 20);
    ExpectRect(Clip({-5, -5, 120, 60}, c), 0, 0, 100, 50);
}

TEST(ClipRect, InvertedIsNormalisedBeforeClamping) {
    Rect c = {0, 0, 100, 50};
    // right < left is raised to left first: zero width, never negative.
    ExpectRect(Clip({30, 40, 10, 20}, c), 30, 40, 30, 40);
}

TEST(ClipRect, OutsideCollapsesOnTheNearEdge) {
    Rect c = {10, 10, 100, 50};
    ExpectRect(Clip({200, 0, 300, 5}, c), 100, 10, 100, 10);
    ExpectRect(Clip({-300, 60, -200, 90}, c), 10, 50, 10, 50);
    Rect r = Clip({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, c);
    ExpectRect(r, 10, 10, 100, 50);
}

TEST(Conversion, TruncatesTowardZero) {
    EXPECT_EQ(DoubleToInt(2.9), 2);
    EXPECT_EQ(DoubleToInt(-2.9), -2);
    EXPECT_EQ(FloatToInt(-0.5f), 0);
    EXPECT_EQ(DoubleToInt(2147483647.9), INT_MAX);
    EXPECT_EQ(DoubleToInt(-2147483648.9), INT_MIN);
    EXPECT_EQ(FloatToInt(16777216.0f), 16777216);
}

TEST(Conversion, NanAndOutOfRangeGiveIntMin) {
    EXPECT_EQ(DoubleToInt(std::numeric_limits<double>::quiet_NaN()), INT_MIN);
    EXPECT_EQ(DoubleToInt(2147483648.0), INT_MIN);
    EXPECT_EQ(DoubleToInt(-2147483649.0), INT_MIN);
    EXPECT_EQ(DoubleToInt(1e300), INT_MIN);
    EXPECT_EQ(FloatToInt(std::numeric_limits<float>::infinity()), INT_MIN);
    EXPECT_EQ(FloatToInt(-std::numeric_limits<float>::infinity()), INT_MIN);
    EXPECT_EQ(FloatToInt(3e9f), INT_MIN);
}

TEST(Conversion, TruncatesUnderAnyRoundingMode) {
    unsigned old = 0;
    _controlfp_s(&old, 0, 0);
    unsigned tmp;
    _controlfp_s(&tmp, _RC_UP, _MCW_RC);
    EXPECT_EQ(DoubleToInt(1.2), 1);
    EXPECT_EQ(DoubleToInt(-1.2), -1);
    _controlfp_s(&tmp, _RC_DOWN, _MCW_RC);
    EXPECT_EQ(DoubleToInt(-1.2), -1);
    EXPECT_EQ(FloatToInt(1.8f), 1);
    _controlfp_s(&tmp, old & _MCW_RC, _MCW_RC);
}

u128 Mul(uint64_t a, uint64_t b) {
    u128 r;
    Mul64To128(&a, &b, &r);
    return r;
}

uint64_t Div(const u128& n, uint64_t d) {
    uint64_t q = 0;
    Div128By64(&n, &d, &q);
    return q;
}

TEST(Wide, MultiplyKnownProducts) {
    u128 r = Mul(UINT64_MAX, UINT64_MAX);  // 2^128 - 2^65 + 1
    EXPECT_EQ(r.limb[0], 1u);
    EXPECT_EQ(r.limb[1], 0u);
    EXPECT_EQ(r.limb[2], 0xFFFFFFFEu);
    EXPECT_EQ(r.limb[3], 0xFFFFFFFFu);
    r = Mul(0x123456789ABCDEF0ull, 0x0FEDCBA987654321ull);
    // 0x0121fa00ad77d742_2236d88fe5618cf0
    EXPECT_EQ(r.limb[0], 0xe5618cf0u);
    EXPECT_EQ(r.limb[1], 0x2236d88fu);
    EXPECT_EQ(r.limb[2], 0xad77d742u);
    EXPECT_EQ(r.limb[3], 0x0121fa00u);
    r = Mul(0, UINT64_MAX);
    for (int i = 0; i < 4; i++) EXPECT_EQ(r.limb[i], 0u);
    r = Mul(1ull << 32, 1ull << 32);
    EXPECT_EQ(r.limb[2], 1u);
    EXPECT_EQ(r.limb[0] | r.limb[1] | r.limb[3], 0u);
}

TEST(Wide, DivideUndoesMultiply) {
    const uint64_t vals[] = {1, 3, 0xFFFFFFFFull, 0x100000000ull, 0x123456789ABCDEF0ull,
                             0x8000000000000001ull, UINT64_MAX};
    for (uint64_t a : vals)
        for (uint64_t b : vals) EXPECT_EQ(Div(Mul(a, b), b), a) << a << " " << b;
    // With a remainder: (a*b + b - 1) / b == a.
    u128 n = Mul(0x123456789ABCDEF0ull, 1000000007ull);
    n.limb[0] += 1000000006u;  // no carry: low limb is small enough here
    EXPECT_EQ(Div(n, 1000000007ull), 0x123456789ABCDEF0ull);
}

TEST(Wide, ZeroDivisorAndOverflowSaturate) {
    EXPECT_EQ(Div(Mul(5, 7), 0), UINT64_MAX);
    EXPECT_EQ(Div(Mul(1ull << 63, 4), 2), UINT64_MAX);  // quotient 2^64
}

TEST(Strings, CompareIsZeroOrOne) {
    EXPECT_EQ(StrCompare("WAVE", "WAVE"), 0);
    EXPECT_EQ(StrCompare("WAVE", "WAV"), 1);
    EXPECT_EQ(StrCompare("ID3", "TAG"), 1);
}

TEST(Strings, FormatTruncatesAndTerminates) {
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    int n = FormatString(buf, sizeof buf, "%d-%s", 12345, "abcdef");
    EXPECT_EQ(n, 7);
    EXPECT_STREQ(buf, "12345-a");
    n = FormatString(buf, sizeof buf, "%s", "ok");
    EXPECT_EQ(n, 2);
    EXPECT_STREQ(buf, "ok");
}

TEST(Strings, MultiByteLeadBytesPerCharset) {
    EXPECT_TRUE(IsMultiByteLead(0x81, 1));
    EXPECT_TRUE(IsMultiByteLead(0x9F, 0));
    EXPECT_FALSE(IsMultiByteLead(0xA0, 1));  // half-width katakana
    EXPECT_TRUE(IsMultiByteLead(0xFC, 1));
    EXPECT_FALSE(IsMultiByteLead(0xFD, 1));
    EXPECT_FALSE(IsMultiByteLead(0x80, 1));
    EXPECT_TRUE(IsMultiByteLead(0xA0, 2));
    EXPECT_TRUE(IsMultiByteLead(0x80, 4));
    EXPECT_FALSE(IsMultiByteLead(0x7F, 3));
}

TEST(Strings, PositionsInMixedText) {
    // "a" + 0x83 0x5C (a katakana whose second byte is a backslash) + "b"
    const char s[] = {'a', (char)0x83, 0x5C, 'b', 0};
    EXPECT_EQ(CheckMultiBytePosition(s, 0, 1), 0);
    EXPECT_EQ(CheckMultiBytePosition(s, 1, 1), 1);
    EXPECT_EQ(CheckMultiBytePosition(s, 2, 1), 2);
    EXPECT_EQ(CheckMultiBytePosition(s, 3, 1), 0);
    EXPECT_EQ(CheckMultiBytePosition(s, 4, 1), -1);
    EXPECT_EQ(CheckMultiBytePosition("", 0, 1), -1);
    // A lead byte without its second byte: it stands at its own position, nothing stands after it.
    const char cut[] = {'a', (char)0x83, 0};
    EXPECT_EQ(CheckMultiBytePosition(cut, 1, 1), 1);
    EXPECT_EQ(CheckMultiBytePosition(cut, 2, 1), -1);
    // The backslash inside the double-byte character is not found.
    EXPECT_EQ(StrFindChar(s, '\\'), nullptr);
    EXPECT_EQ(StrFindChar(s, 'b'), s + 3);
    const char* plain = "a\\b";
    EXPECT_EQ(StrFindChar(plain, '\\'), plain + 1);
}

TEST(Strings, CopyLengthStaysInsideAnUnterminatedBlock) {
    // The block ends on a lead byte right before a page that cannot be read.
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    char* pages = (char*)VirtualAlloc(nullptr, si.dwPageSize * 2, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_TRUE(pages);
    DWORD old;
    ASSERT_TRUE(VirtualProtect(pages + si.dwPageSize, si.dwPageSize, PAGE_NOACCESS, &old));
    char* block = pages + si.dwPageSize - 3;
    std::memcpy(block, "ab\x82", 3);
    EXPECT_EQ(MultiByteCopyLength(block, 3, 16, 1), 2);
    const struct { const char* s; size_t size; int dst_size, length; } cases[] = {
        {"a\x82\xA0" "b", 5, 16, 4}, {"a\x82\xA0" "b", 5, 3, 1}, {"a\x82\xA0" "b", 5, 4, 3},
        {"abc", 2, 16, 2}, {"ab\0c", 4, 16, 2}, {"abc", 3, 1, 0}, {"abc", 3, 0, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(MultiByteCopyLength(c.s, c.size, c.dst_size, 1), c.length) << c.s;
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(RingBuffer, WrapsGrowsAndPeeks) {
    RingBuffer ring;
    RingBufferInit(&ring);
    unsigned char in[600], out[600];
    for (int i = 0; i < 600; i++) in[i] = (unsigned char)i;
    ASSERT_EQ(RingBufferWrite(&ring, in, 200), 0);
    int cap = ring.capacity;
    ASSERT_EQ(RingBufferRead(&ring, out, 150, 0), 0);
    // This write wraps around the end of the storage without growing.
    ASSERT_EQ(RingBufferWrite(&ring, in + 200, cap - 60), 0);
    EXPECT_EQ(ring.capacity, cap);
    EXPECT_EQ(RingBufferSize(&ring), 50 + cap - 60);
    ASSERT_EQ(RingBufferRead(&ring, out, 60, 1), 0);
    EXPECT_EQ(RingBufferSize(&ring), 50 + cap - 60);  // peek keeps the bytes
    ASSERT_EQ(RingBufferRead(&ring, out, 50 + cap - 60, 0), 0);
    EXPECT_EQ(0, std::memcmp(out, in + 150, 50 + cap - 60));
    EXPECT_EQ(RingBufferRead(&ring, out, 1, 0), -1);
    // Growing while wrapped keeps the byte order.
    ASSERT_EQ(RingBufferWrite(&ring, in, 100), 0);
    ASSERT_EQ(RingBufferRead(&ring, out, 90, 0), 0);
    ASSERT_EQ(RingBufferWrite(&ring, in, 300), 0);
    EXPECT_GT(ring.capacity, cap);
    ASSERT_EQ(RingBufferRead(&ring, out, 10, 0), 0);
    EXPECT_EQ(0, std::memcmp(out, in + 90, 10));
    ASSERT_EQ(RingBufferRead(&ring, out, 300, 0), 0);
    EXPECT_EQ(0, std::memcmp(out, in, 300));
    RingBufferFree(&ring);
    EXPECT_EQ(ring.data, nullptr);
    EXPECT_EQ(ring.size, 0);
}

TEST(List, AddFirstOrderAndRemove) {
    ListNode head, tail, n[3];
    ListInit(&head, &tail);
    EXPECT_EQ(head.next, &tail);
    for (int i = 0; i < 3; i++) ListAddFirst(&head, &n[i], i, &n[i]);
    int keys[3], k = 0;
    for (ListNode* p = head.next; p != &tail; p = p->next) keys[k++] = p->key;
    ASSERT_EQ(k, 3);
    EXPECT_EQ(keys[0], 2);
    EXPECT_EQ(keys[1], 1);
    EXPECT_EQ(keys[2], 0);
    ListRemove(&n[1]);
    EXPECT_EQ(n[2].next, &n[0]);
    EXPECT_EQ(n[0].prev, &n[2]);
    ListRemove(&n[2]);
    ListRemove(&n[0]);
    EXPECT_EQ(head.next, &tail);
    EXPECT_EQ(tail.prev, &head);
}

}  // namespace
