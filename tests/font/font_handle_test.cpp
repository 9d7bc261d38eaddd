// Font handles over real GDI fonts: sizing, the handle table, creation, deletion,
// device loss and the default font.
#include "font_test_util.h"

#include "engine/graphics/d3d_device.h"
#include "engine/graphics/graphic_record.h"
#include "engine/system/handle_table.h"
#include "engine/system/memory.h"

namespace {

TEST(FontSizing, CacheSidesAndCapacities) {
    // The doubling of the smaller side stops at its limit; capacities are cut to the slot table.
    const int cases[][5] = {{24, 0, 512, 512, 441}, {16, 0, 512, 512, 1024}, {200, 0, 1024, 512, 10},
                            {8, 0, 512, 512, 2024}, {100, 4, 512, 512, 25},  {1500, 0, 2048, 2048, 1},
                            {5000, 0, 0, 0, -1},    {0, 0, 0, 0, -1}};
    for (const auto& c : cases) {
        int w = 0, h = 0;
        EXPECT_EQ(FontTextureCacheSize(c[0], c[1], &w, &h), c[4]) << c[0];
        EXPECT_EQ(w * 10000 + h, c[2] * 10000 + c[3]) << c[0];
    }
    EXPECT_EQ(FontSoftCacheCapacity(24, 0) * 10000 + FontSoftCacheCapacity(200, 0), 5680020);
}

TEST_F(SoftFonts, FortyFirstFontFailsAndTheLowestFreeSlotIsReused) {
    LogCapture log;
    std::vector<int> handles;
    for (int i = 0; i < 39; i++) handles.push_back(MakeFont(0, -1, 8));  // the default font holds the 40th slot
    ASSERT_GE(handles.back(), 0);
    EXPECT_EQ(MakeFont(0, -1, 8), -1);
    EXPECT_TRUE(log.Has("作成できるフォントハンドル数 40 の限界を超えました"));
    int freed = handles[5];
    ASSERT_EQ(DeleteFontHandle(freed) + DeleteFontHandle(handles[20]), 0);
    int again = MakeFont(0, -1, 8);
    EXPECT_EQ(HandleSlotOf(again), HandleSlotOf(freed));
    EXPECT_NE(again, freed);  // a new check number: the stale handle is refused by every call
    EXPECT_EQ(IsValidFontHandle(freed), 0);
    EXPECT_EQ(SetFontSpacing(2, freed) + DeleteFontHandle(freed), -2);
    EXPECT_EQ(DrawTextWithFont(0, 0, "a", 0xFFFF, freed, 0, 0), -1);
    EXPECT_TRUE(log.Has("フォントハンドル値が異常です"));
}

TEST_F(SoftFonts, BadArgumentsAreRefusedWithoutTakingASlot) {
    int before = MemLiveBlockCount();
    const int bad[][4] = {{0, 0, -1, -1},  {-5, 0, -1, -1}, {16, 4, -1, -1}, {16, 0, -3, -1},
                          {16, 0, -1, 40}, {16, 0, -1, -2}, {16, 0, -1, HandleSlotOf(GetDefaultFontHandle())}};
    for (const auto& b : bad) EXPECT_EQ(CreateFontToHandle(nullptr, b[0], -1, b[1], -1, b[2], 0, b[3]), -1) << b[0];
    EXPECT_EQ(MemLiveBlockCount(), before);
}

TEST_F(D3DFonts, HugeFontFallsBackToTheSoftwareCacheAndDrawsNothing) {
    LogCapture log;
    int h = MakeFont(0, -1, 2100);
    ASSERT_GE(h, 0);
    EXPECT_TRUE(log.Has("テクスチャ文字キャッシュの作成に失敗しました"));
    EXPECT_EQ(GetFontRecord(h)->texture_mode + GetFontRecord(h)->cache_graphic, -1);
    // No screen image in Direct3D mode: nothing is written anywhere.
    EXPECT_EQ(DrawTextWithFont(0, 0, "A", 0xFFFF, h, 0, 0), -1);
    EXPECT_EQ(DeleteFontHandle(h), 0);
    // A failure after the texture attempt frees everything the record held.
    int blocks = MemLiveBlockCount();
    EXPECT_EQ(MakeFont(1, -1, 2100), -1);
    EXPECT_TRUE(log.Has("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle"));
    EXPECT_EQ(MemLiveBlockCount(), blocks);
}

TEST_F(D3DFonts, DeleteRaisesTheLostFlagAndFreesEverything) {
    SetGlyphSource(nullptr);  // the platform's own glyphs
    int blocks = MemLiveBlockCount();
    int h = CreateFontToHandle("IPAGothic", 20, 4, 3, -1, 2, 1);
    int lost = 7;
    EXPECT_EQ(SetFontLostFlag(h, &lost) + lost, 0);
    int cache = GetFontRecord(h)->cache_graphic, edge = GetFontRecord(h)->edge_graphic;
    EXPECT_EQ(DrawTextWithFont(10, 10, "Ab", PackScreenColor(255, 255, 255), h, 0, 0), 0);
    EXPECT_EQ(DeleteFontHandle(h), 0);
    EXPECT_EQ(lost, 1);
    EXPECT_TRUE(GetGraphicRecord(cache) == nullptr && GetGraphicRecord(edge) == nullptr);
    EXPECT_EQ(MemLiveBlockCount(), blocks);
}

TEST_F(D3DFonts, DeviceLossKeepsHandlesAndSpacing) {
    int a = MakeFont(1, 2, 12), b = MakeFont(2, -1, 20);
    SetFontSpacing(4, a);
    SetFontSpacing(-1, b);
    int lost = 0, def = GetDefaultFontHandle();
    SetFontLostFlag(a, &lost);
    ForceGraphicsDeviceLossForTest();
    EXPECT_EQ(PresentScreen(), 0);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(GetDefaultFontHandle(), def);
    ASSERT_TRUE(IsValidFontHandle(a) && IsValidFontHandle(b) && IsValidFontHandle(def));
    EXPECT_EQ(GetFontRecord(a)->spacing * 10 + GetFontRecord(b)->spacing, 39);
    // The edge graphic is a real graphic again: drawing was allowed when it was made.
    EXPECT_NE(GetGraphicRecord(GetFontRecord(a)->edge_graphic), nullptr);
    EXPECT_EQ(RestartGraphicsDevice(), 0);
    EXPECT_EQ(GetFontRecord(a)->spacing, 4);
    EXPECT_GT(GetFontRecord(a)->edge_graphic, 0);
}

TEST_F(SoftFonts, DefaultFontIsRecreatedOnlyWhenASettingChanges) {
    SetGlyphSource(nullptr);
    int def = GetDefaultFontHandle();
    FontRecord* f = GetFontRecord(def);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->size + f->thickness * 100 + f->type * 1000 + f->edge_size * 10000, 10616);
    EXPECT_EQ(DrawFormattedText(0, 0, 0xFFFF, "%d", 12), 0);
    EXPECT_EQ(GetDefaultFontHandle(), def);
    EXPECT_EQ(SetDefaultFontSize(12), 0);
    EXPECT_NE(GetDefaultFontHandle(), def);
    EXPECT_EQ(GetFontSize(GetDefaultFontHandle()), 12);
    EXPECT_EQ(ChangeDefaultFont(nullptr, -1, 3), 0);
    EXPECT_EQ(GetFontSize(GetDefaultFontHandle()) * 10 + GetFontRecord(GetDefaultFontHandle())->thickness, 163);
    EXPECT_EQ(SetDefaultFontSize(0), -1);
    EXPECT_EQ(GetFontSize(GetDefaultFontHandle()), 16);
}

}  // namespace
