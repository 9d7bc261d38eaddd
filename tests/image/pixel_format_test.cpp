// Pixel-format descriptors, conversion by masks and base images.
#include <cstring>
#include <gtest/gtest.h>
#include "engine/image/pixel_format.h"
#include "engine/system/memory.h"

TEST(PixelFormat, R8G8B8) {
    PixelFormat f;
    std::memset(&f, 0xCC, sizeof f);
    ASSERT_EQ(SetPixelFormatR8G8B8(&f), 0);
    EXPECT_EQ(f.bits_per_pixel, 24);
    EXPECT_EQ(f.bytes_per_pixel, 3);
    EXPECT_EQ(f.red_mask, 0xFF0000u);
    EXPECT_EQ(f.green_mask, 0xFF00u);
    EXPECT_EQ(f.blue_mask, 0xFFu);
    EXPECT_EQ(f.alpha_mask, 0u);
    EXPECT_EQ(f.alpha_width, 0);
    EXPECT_EQ(f.is_palette, 0);  // the 0xCC fill is gone
}

TEST(PixelFormat, ConversionByMasks) {
    PixelFormat argb, rgb565, argb4444, a1, rgb24;
    SetPixelFormatA8R8G8B8(&argb);
    SetPixelFormatR5G6B5(&rgb565);
    SetPixelFormatA4R4G4B4(&argb4444);
    SetPixelFormatA1R5G5B5(&a1);
    SetPixelFormatR8G8B8(&rgb24);
    const uint32_t src[4] = {0xFFFFFFFF, 0x80FF8000, 0x00000000, 0x7F123456};

    uint16_t w[4];
    ASSERT_EQ(ConvertPixels(&argb, src, 16, &rgb565, w, 8, 4, 1), 0);
    EXPECT_EQ(w[0], 0xFFFF);
    EXPECT_EQ(w[1], 0xFC00);
    EXPECT_EQ(w[3], (0x12 >> 3) << 11 | (0x34 >> 2) << 5 | (0x56 >> 3));
    ASSERT_EQ(ConvertPixels(&argb, src, 16, &argb4444, w, 8, 4, 1), 0);
    EXPECT_EQ(w[1], 0x8F80);
    EXPECT_EQ(w[3], 0x7135);
    ASSERT_EQ(ConvertPixels(&argb, src, 16, &a1, w, 8, 4, 1), 0);
    EXPECT_EQ(w[0], 0xFFFF);
    EXPECT_EQ(w[1], 0xFE00);
    EXPECT_EQ(w[3] & 0x8000, 0);

    // Narrow fields widen by repeating their bits: full stays full, 0x10 of 5 bits is 0x84.
    uint16_t in565[2] = {0xFFFF, (uint16_t)(0x10 << 11 | 0x20 << 5 | 0x01)};
    uint32_t out[2];
    ASSERT_EQ(ConvertPixels(&rgb565, in565, 4, &argb, out, 8, 2, 1), 0);
    EXPECT_EQ(out[0], 0xFFFFFFFFu);  // no alpha in the source: opaque
    EXPECT_EQ(out[1], 0xFF848208u);

    // 24-bit rows of odd width keep their own pitch.
    uint8_t rgb[2][8] = {{0x56, 0x34, 0x12, 0xFF, 0x00, 0x00}, {0x01, 0x02, 0x03}};
    uint32_t two[2][2];
    ASSERT_EQ(ConvertPixels(&rgb24, rgb, 8, &argb, two, 8, 2, 2), 0);
    EXPECT_EQ(two[0][0], 0xFF123456u);
    EXPECT_EQ(two[0][1], 0xFF0000FFu);
    EXPECT_EQ(two[1][0], 0xFF030201u);

    PixelFormat pal;
    SetPixelFormatPalette8(&pal);
    pal.palette[9] = 0xFF0000FF;
    uint8_t idx[2] = {9, 0};
    ASSERT_EQ(ConvertPixels(&pal, idx, 2, &rgb565, w, 4, 2, 1), 0);
    EXPECT_EQ(w[0], 0x001F);
    EXPECT_EQ(w[1], 0x0000);
    EXPECT_EQ(ConvertPixels(&argb, src, 16, &pal, idx, 2, 2, 1), -1);
}

TEST(BaseImage, CreateClearRelease) {
    int start = MemLiveBlockCount();
    BaseImage b;
    ASSERT_EQ(BaseImageCreateXrgb32(5, 3, &b), 0);
    EXPECT_EQ(b.pitch, 20);
    EXPECT_EQ(b.format.bytes_per_pixel, 4);
    EXPECT_EQ(b.format.alpha_mask, 0u);
    std::memset(b.pixels, 0xAB, 60);
    ASSERT_EQ(BaseImageClearRect(&b, 1, 1, 3, 2), 0);
    const uint8_t* p = (const uint8_t*)b.pixels;
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++) {
            bool in = x >= 1 && x < 4 && y >= 1;
            for (int i = 0; i < 4; i++) ASSERT_EQ(p[y * 20 + x * 4 + i], in ? 0 : 0xAB) << x << "," << y;
        }
    ASSERT_EQ(BaseImageRelease(&b), 0);
    EXPECT_EQ(b.pixels, nullptr);
    EXPECT_EQ(b.width, 0);

    PixelFormat f;
    SetPixelFormatR5G6B5(&f);
    ASSERT_EQ(BaseImageCreate(&f, 3, 2, &b), 0);
    EXPECT_EQ(b.pitch, 8);  // 6 bytes rounded up to 4
    EXPECT_EQ(b.format.green_mask, 0x7E0u);
    BaseImageRelease(&b);
    EXPECT_EQ(BaseImageCreateXrgb32(0, 3, &b), -1);
    EXPECT_EQ(BaseImageCreateXrgb32(32768, 32768, &b), -1);
    EXPECT_EQ(BaseImageCreate(&f, 32768, 32768, &b), -1);
    EXPECT_EQ(MemLiveBlockCount(), start);
}
