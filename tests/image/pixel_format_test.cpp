// Pixel-format descriptors, conversion by masks and base images.
#include "image_fixtures.h"

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
    PixelFormat argb, rgb565, argb4444, a1, rgb24, pal;
    SetPixelFormatA8R8G8B8(&argb);
    SetPixelFormatR5G6B5(&rgb565);
    SetPixelFormatA4R4G4B4(&argb4444);
    SetPixelFormatA1R5G5B5(&a1);
    SetPixelFormatR8G8B8(&rgb24);
    SetPixelFormatPalette8(&pal);
    pal.palette[9] = 0xFF0000FF;
    // Narrow fields widen by repeating their bits (5-bit 0x10 is 0x84); no alpha field reads opaque.
    struct { const PixelFormat *from, *to; uint32_t in, out; } cases[] = {
        {&argb, &rgb565, 0xFFFFFFFF, 0xFFFF},   {&argb, &rgb565, 0x7F123456, 0x11AA},
        {&argb, &argb4444, 0x80FF8000, 0x8F80}, {&argb, &argb4444, 0x7F123456, 0x7135},
        {&argb, &a1, 0x80FF8000, 0xFE00},       {&argb, &a1, 0x7F123456, 0x08CA},
        {&rgb565, &argb, 0xFFFF, 0xFFFFFFFF},   {&rgb565, &argb, 0x8401, 0xFF848208},
        {&rgb24, &argb, 0x123456, 0xFF123456},  {&pal, &rgb565, 9, 0x001F},
    };
    for (auto& c : cases) {
        uint32_t out = 0;
        ASSERT_EQ(ConvertPixels(c.from, &c.in, 4, c.to, &out, 4, 1, 1), 0);
        EXPECT_EQ(out, c.out) << std::hex << c.in << " to " << c.to->bits_per_pixel << " bits";
    }
    // Rows step by their pitch: two 24-bit pixels per 8-byte row.
    uint8_t rgb[2][8] = {{0x56, 0x34, 0x12, 0xFF, 0x00, 0x00}, {0x01, 0x02, 0x03}};
    uint32_t two[2][2];
    ASSERT_EQ(ConvertPixels(&rgb24, rgb, 8, &argb, two, 8, 2, 2), 0);
    EXPECT_EQ(two[0][1], 0xFF0000FFu);
    EXPECT_EQ(two[1][0], 0xFF030201u);
    EXPECT_EQ(ConvertPixels(&argb, two, 8, &pal, rgb, 8, 2, 1), -1);  // no colour search into a palette
}

TEST(BaseImage, PitchClearReleaseAndSizeLimit) {
    LiveBlocks live;
    PixelFormat f;
    SetPixelFormatR5G6B5(&f);
    Base b;
    ASSERT_EQ(BaseImageCreate(&f, 5, 3, &b), 0);
    ASSERT_EQ(b.pitch, 12);  // 10 bytes rounded up to 4
    uint8_t want[36], *p = (uint8_t*)b.pixels;
    std::memset(p, 0xAB, 36);
    std::memset(want, 0xAB, 36);
    for (int y = 1; y < 3; y++) std::memset(want + y * 12 + 2, 0, 6);
    ASSERT_EQ(BaseImageClearRect(&b, 1, 1, 3, 2), 0);
    EXPECT_EQ(std::memcmp(p, want, 36), 0);
    ASSERT_EQ(BaseImageRelease(&b), 0);
    EXPECT_EQ(b.pixels, nullptr);
    EXPECT_EQ(BaseImageCreateXrgb32(0, 3, &b), -1);
    // 4 GB of pixels would wrap a 32-bit size.
    EXPECT_EQ(BaseImageCreateXrgb32(32768, 32768, &b), -1);
    EXPECT_EQ(BaseImageCreate(&f, 32768, 32768, &b), -1);
}
