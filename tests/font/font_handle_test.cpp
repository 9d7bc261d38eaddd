// Font handles over real GDI fonts: sizing, the handle table, creation, deletion,
// device loss and the default font.
#include "font_test_util.h"

#include "engine/graphics/d3d_device.h"
#include "engine/graphics/graphic_record.h"
#include "engine/system/handle_table.h"
#include "engine/system/memory.h"

namespace {

// Drawing with the platform's own glyphs.
template <class Base> class Gdi : public Base {
protected:
    void SetUp() override {
        Base::SetUp();
        SetGlyphSource(nullptr);
    }
};
using GdiD3D = Gdi<D3DFonts>;
using GdiSoft = Gdi<SoftFonts>;

TEST(FontSizing, CacheSidesAndCapacities) {
    const struct {
        int cell, count, w, h, capacity;
    } cases[] = {
        {24, 0, 512, 512, 441},    {16, 0, 512, 512, 1024}, {200, 0, 1024, 512, 10},
        {8, 0, 512, 512, 2024},    // cut to the slot table
        {100, 4, 512, 512, 25},    // a wanted count of 4: three cells a side need 512
        {1500, 0, 2048, 2048, 1},  // the doubling stops at its limit
        {5000, 0, 0, 0, -1},       {0, 0, 0, 0, -1},
    };
    for (const auto& c : cases) {
        int w = 0, h = 0;
        EXPECT_EQ(FontTextureCacheSize(c.cell, c.count, &w, &h), c.capacity) << c.cell;
        EXPECT_EQ(w * 10000 + h, c.w * 10000 + c.h) << c.cell;
    }
    EXPECT_EQ(FontSoftCacheCapacity(24, 0), 568);
    EXPECT_EQ(FontSoftCacheCapacity(200, 0), 20);
    EXPECT_EQ(FontSoftCacheCapacity(8, 0), 2024);
}

TEST_F(D3DFonts, CellIsAMultipleOfEightAndLineHeightEven) {
    for (int type : {0, 1, 2, 3})
        for (int size : {11, 23}) {
            int h = CreateFontToHandle(nullptr, size, -1, type, -1, 1, 0);
            FontRecord* f = GetFontRecord(h);
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(f->cell % 8 + f->line_height % 2, 0);
            EXPECT_EQ(f->cache_image.width, f->cache_width * ((type & 1) ? 2 : 1));
            // Antialiased caches have a 4-bit alpha field, the others a 1-bit one (alpha test).
            EXPECT_EQ(f->cache_image.format.alpha_width, (type & 2) ? 4 : 1);
            DeleteFontHandle(h);
        }
}

TEST_F(SoftFonts, FortyFirstFontFailsAndTheLowestFreeSlotIsReused) {
    FontLogCapture log;
    std::vector<int> handles;
    // The default font holds one of the 40 slots.
    for (int i = 0; i < 39; i++) handles.push_back(CreateFontToHandle(nullptr, 8, -1, 0, -1, -1, 0));
    ASSERT_GE(handles.back(), 0);
    EXPECT_EQ(CreateFontToHandle(nullptr, 8, -1, 0, -1, -1, 0), -1);
    EXPECT_TRUE(log.Has("作成できるフォントハンドル数 40 の限界を超えました"));
    int freed = handles[5];
    ASSERT_EQ(DeleteFontHandle(freed) + DeleteFontHandle(handles[20]), 0);
    int again = CreateFontToHandle(nullptr, 8, -1, 0, -1, -1, 0);
    EXPECT_EQ(HandleSlotOf(again), HandleSlotOf(freed));
    EXPECT_NE(again, freed);  // a new check number: the stale handle is refused by every call
    EXPECT_EQ(IsValidFontHandle(freed), 0);
    EXPECT_EQ(SetFontSpacing(2, freed), -1);
    EXPECT_EQ(DeleteFontHandle(freed), -1);
    EXPECT_EQ(DrawTextWithFont(0, 0, "a", 0xFFFF, freed, 0, 0), -1);
    EXPECT_TRUE(log.Has("フォントハンドル値が異常です"));
}

TEST_F(SoftFonts, BadArgumentsAreRefusedWithoutTakingASlot) {
    int before = MemLiveBlockCount();
    const struct {
        int size, type, edge, slot;
    } bad[] = {{0, 0, -1, -1},  {-5, 0, -1, -1}, {16, 4, -1, -1}, {16, 0, -3, -1},
               {16, 0, -1, 40}, {16, 0, -1, -2}, {16, 0, -1, HandleSlotOf(GetDefaultFontHandle())}};
    for (const auto& b : bad)
        EXPECT_EQ(CreateFontToHandle(nullptr, b.size, -1, b.type, -1, b.edge, 0, b.slot), -1) << b.size << b.slot;
    EXPECT_EQ(MemLiveBlockCount(), before);
}

TEST_F(D3DFonts, HugeFontFallsBackToTheSoftwareCacheAndDrawsNothing) {
    FontLogCapture log;
    int h = CreateFontToHandle(nullptr, 2100, -1, 0, -1, -1, 0);
    ASSERT_GE(h, 0);
    EXPECT_TRUE(log.Has("テクスチャ文字キャッシュの作成に失敗しました"));
    EXPECT_EQ(GetFontRecord(h)->texture_mode, 0);
    EXPECT_EQ(GetFontRecord(h)->cache_graphic, -1);
    // No screen image in Direct3D mode: nothing is written anywhere.
    EXPECT_EQ(DrawTextWithFont(0, 0, "A", 0xFFFF, h, 0, 0), -1);
    EXPECT_EQ(DeleteFontHandle(h), 0);
    // A failure after the texture attempt frees everything the record held.
    int blocks = MemLiveBlockCount();
    EXPECT_EQ(CreateFontToHandle(nullptr, 2100, -1, 1, -1, -1, 0), -1);
    EXPECT_TRUE(log.Has("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle"));
    EXPECT_EQ(MemLiveBlockCount(), blocks);
}

TEST_F(GdiD3D, DeleteRaisesTheLostFlagAndFreesEverything) {
    int blocks = MemLiveBlockCount();
    int h = CreateFontToHandle("IPAGothic", 20, 4, 3, -1, 2, 1);
    int lost = 7;
    EXPECT_EQ(SetFontLostFlag(h, &lost), 0);
    EXPECT_EQ(lost, 0);
    int cache = GetFontRecord(h)->cache_graphic, edge = GetFontRecord(h)->edge_graphic;
    EXPECT_EQ(DrawTextWithFont(10, 10, "Ab", PackScreenColor(255, 255, 255), h, 0, 0), 0);
    EXPECT_EQ(DeleteFontHandle(h), 0);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(GetGraphicRecord(cache), nullptr);
    EXPECT_EQ(GetGraphicRecord(edge), nullptr);
    EXPECT_EQ(MemLiveBlockCount(), blocks);
}

TEST_F(D3DFonts, DeviceLossKeepsHandlesAndSpacing) {
    int a = CreateFontToHandle(nullptr, 12, -1, 1, -1, 2, 0);
    int b = CreateFontToHandle(nullptr, 20, -1, 2, -1, -1, 0);
    SetFontSpacing(4, a);
    SetFontSpacing(-1, b);
    int lost = 0, def = GetDefaultFontHandle();
    SetFontLostFlag(a, &lost);
    ForceGraphicsDeviceLossForTest();
    EXPECT_EQ(PresentScreen(), 0);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(GetDefaultFontHandle(), def);
    ASSERT_TRUE(IsValidFontHandle(a) && IsValidFontHandle(b) && IsValidFontHandle(def));
    EXPECT_EQ(GetFontRecord(a)->spacing, 4);
    EXPECT_EQ(GetFontRecord(b)->spacing, -1);
    // The edge graphic is a real graphic again: drawing was allowed when it was made.
    EXPECT_NE(GetGraphicRecord(GetFontRecord(a)->edge_graphic), nullptr);
    EXPECT_EQ(RestartGraphicsDevice(), 0);
    EXPECT_EQ(GetFontRecord(a)->spacing, 4);
    EXPECT_GT(GetFontRecord(a)->edge_graphic, 0);
}

TEST_F(GdiSoft, DefaultFontIsRecreatedOnlyWhenASettingChanges) {
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
    EXPECT_EQ(GetFontSize(GetDefaultFontHandle()), 16);
    EXPECT_EQ(GetFontRecord(GetDefaultFontHandle())->thickness, 3);
    EXPECT_EQ(SetDefaultFontSize(0), -1);
    EXPECT_EQ(GetFontSize(GetDefaultFontHandle()), 16);
}

}  // namespace
