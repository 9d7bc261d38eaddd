// Spot values of the software renderer's lookup tables.
#include <gtest/gtest.h>
#include "engine/image/memimg.h"

TEST(MemImageTables, MulTableTruncates) {
    ASSERT_EQ(BuildMemImageTables(), 0);
    EXPECT_EQ(MemImgMulTable[255][255], 255);
    EXPECT_EQ(MemImgMulTable[128][255], 128);
    EXPECT_EQ(MemImgMulTable[100][200], 78);   // 78.43
    EXPECT_EQ(MemImgMulTable[254][254], 253);  // 253.0039
    EXPECT_EQ(MemImgMulTable[0][200], 0);
    EXPECT_EQ(MemImgMulTable[31][255], 31);
}

TEST(MemImageTables, SignedMulTableTruncatesTowardZero) {
    // Dirty the column no d reaches: the build must leave it 0.
    MemImgSignedMulTable[7][0] = 99;
    ASSERT_EQ(BuildMemImageTables(), 0);
    for (int x = 0; x < 256; x++) ASSERT_EQ(MemImgSignedMulTable[x][0], 0) << x;
    EXPECT_EQ(MemImgSignedMulTable[255][256 - 255], -255);
    EXPECT_EQ(MemImgSignedMulTable[255][256 + 255], 255);
    EXPECT_EQ(MemImgSignedMulTable[100][256 - 1], 0);     // floor would give -1
    EXPECT_EQ(MemImgSignedMulTable[200][256 - 100], -78); // floor would give -79
    EXPECT_EQ(MemImgSignedMulTable[200][256 + 100], 78);
    EXPECT_EQ(MemImgSignedMulTable[254][256 + 31], 30);
    EXPECT_EQ(MemImgSignedMulTable[0][256 - 200], 0);
}

TEST(MemImageTables, LerpTable) {
    ASSERT_EQ(BuildMemImageTables(), 0);
    EXPECT_EQ(MemImgLerpTable[63][40][10], 40);
    EXPECT_EQ(MemImgLerpTable[0][40][10], 10);
    EXPECT_EQ(MemImgLerpTable[25][31][0], 12);  // 775 / 63
    EXPECT_EQ(MemImgLerpTable[32][63][0], 32);
    EXPECT_EQ(MemImgLerpTable[10][0][63], 53);
}

TEST(MemImageTables, BlendGraphicTableAtTheBorders) {
    // Range 0 or 255 with border 0: every weight saturates at 255.
    BuildBlendGraphicTable(0, 0);
    for (int i = 0; i < 256; i++) ASSERT_EQ(BlendGraphicTable[i], 255) << i;
    BuildBlendGraphicTable(0, 255);
    for (int i = 0; i < 256; i++) ASSERT_EQ(BlendGraphicTable[i], 255) << i;
    // Border 255, range 255: base -254, so only byte 255 gets weight 1.
    BuildBlendGraphicTable(255, 255);
    for (int i = 0; i < 255; i++) ASSERT_EQ(BlendGraphicTable[i], 0) << i;
    EXPECT_EQ(BlendGraphicTable[255], 1);
    // Border 255, range 0: base -65279, entry 255 = 65280 - 65279.
    BuildBlendGraphicTable(255, 0);
    for (int i = 0; i < 255; i++) ASSERT_EQ(BlendGraphicTable[i], 0) << i;
    EXPECT_EQ(BlendGraphicTable[255], 1);
}

TEST(MemImageTables, BlendGraphicTableMidValues) {
    // Range 127, border 128: base = 256 - (768 * 128) / 256 = -128, entry = 2i - 128.
    BuildBlendGraphicTable(128, 127);
    EXPECT_EQ(BlendGraphicTable[0], 0);
    EXPECT_EQ(BlendGraphicTable[64], 0);
    EXPECT_EQ(BlendGraphicTable[100], 72);
    EXPECT_EQ(BlendGraphicTable[191], 254);
    EXPECT_EQ(BlendGraphicTable[200], 255);
    // Range 2, border 1: 65536 / 3 = 21845 truncated, base 256 - 22101 / 256 = 170.
    BuildBlendGraphicTable(1, 2);
    EXPECT_EQ(BlendGraphicTable[0], 170);
    EXPECT_EQ(BlendGraphicTable[1], 255);  // 85 + 170
}
