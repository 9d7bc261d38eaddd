// Spot values of the software renderer's lookup tables.
#include <gtest/gtest.h>
#include "engine/image/memimg.h"

TEST(MemImageTables, SpotValues) {
    MemImgSignedMulTable[7][0] = 99;  // no d reaches column 0, yet the build must leave it 0
    ASSERT_EQ(BuildMemImageTables(), 0);
    for (int x = 0; x < 256; x++) ASSERT_EQ(MemImgSignedMulTable[x][0], 0) << x;

    struct { int x, y, want; } mul[] = {{255, 255, 255}, {128, 255, 128}, {200, 200, 156}, {254, 254, 253},
                                        {0, 200, 0}};
    for (auto& c : mul) EXPECT_EQ(MemImgMulTable[c.x][c.y], c.want) << c.x << " * " << c.y;
    // Toward zero where floor would differ: 100 * -1 and 200 * -100.
    struct { int x, d, want; } smul[] = {{255, -255, -255}, {255, 255, 255}, {100, -1, 0},
                                         {200, -100, -78},  {200, 100, 78},  {254, 31, 30}};
    for (auto& c : smul) EXPECT_EQ(MemImgSignedMulTable[c.x][256 + c.d], c.want) << c.x << " * " << c.d;
    struct { int k, m, n, want; } lerp[] = {{63, 40, 10, 40}, {0, 40, 10, 10}, {25, 31, 0, 12}, {10, 0, 63, 53}};
    for (auto& c : lerp) EXPECT_EQ(MemImgLerpTable[c.k][c.m][c.n], c.want) << c.k << " " << c.m << " " << c.n;
}

TEST(MemImageTables, BlendGraphicTable) {
    // Border P and range R at their limits: entries 0..254 alike, entry 255 apart.
    struct { int p, r, below, top; } limits[] = {
        {0, 0, 255, 255}, {0, 255, 255, 255}, {255, 255, 0, 1}, {255, 0, 0, 1}};
    for (auto& c : limits) {
        BuildBlendGraphicTable(c.p, c.r);
        for (int i = 0; i < 255; i++) ASSERT_EQ(BlendGraphicTable[i], c.below) << c.p << "/" << c.r << " at " << i;
        EXPECT_EQ(BlendGraphicTable[255], c.top) << c.p << "/" << c.r;
    }
    // Inside, the order of truncations shows: P 128 R 127 gives 2i - 128, P 1 R 2 starts at 170.
    struct { int p, r, i, want; } mid[] = {{128, 127, 64, 0},   {128, 127, 100, 72}, {128, 127, 191, 254},
                                           {128, 127, 200, 255}, {1, 2, 0, 170},      {1, 2, 1, 255}};
    for (auto& c : mid) {
        BuildBlendGraphicTable(c.p, c.r);
        EXPECT_EQ(BlendGraphicTable[c.i], c.want) << c.p << "/" << c.r << " at " << c.i;
    }
}
