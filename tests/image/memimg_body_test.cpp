// MEMIMG creation, views over a shared body, release and raw fills.
#include "image_fixtures.h"

TEST(MemImageCreate, LayoutPerColourType) {
    LiveBlocks live;
    // The palette flag wins over alpha; 16-bit alpha pixels take 4 bytes.
    struct { int type, flags, bpp, alpha, palette; } cases[] = {
        {MEMIMG_TYPE_16, 0, 2, 0, 0},
        {MEMIMG_TYPE_16, MEMIMG_CREATE_ALPHA, 4, 1, 0},
        {MEMIMG_TYPE_32, 0, 4, 0, 0},
        {MEMIMG_TYPE_32, MEMIMG_CREATE_ALPHA, 4, 1, 0},
        {MEMIMG_TYPE_16, MEMIMG_CREATE_PALETTE | MEMIMG_CREATE_ALPHA, 1, 0, 1},
        {MEMIMG_TYPE_32, MEMIMG_CREATE_PALETTE | MEMIMG_CREATE_ALPHA, 1, 0, 1},
        {MEMIMG_TYPE_CH8, 0, 1, 0, 0},
        {MEMIMG_TYPE_CH16, 0, 2, 0, 0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " flags " << c.flags);
        Img m;
        ASSERT_EQ(MemImageCreate(&m, 13, 5, c.type, c.flags | MEMIMG_CREATE_RUNCODES, 7), 0);
        const MemImgShared* s = m.shared;
        EXPECT_EQ(MemImageBytesPerPixel(&m), c.bpp);
        EXPECT_EQ(s->alpha_flag, c.alpha);
        EXPECT_EQ(s->palette_flag, c.palette);
        EXPECT_EQ(c.palette != 0, s->palette1 != nullptr);
        EXPECT_EQ(c.type <= MEMIMG_TYPE_32, s->run_codes.codes != nullptr);
        EXPECT_GE(s->pitch, 13 * c.bpp);
        EXPECT_EQ(s->pitch % 4, 0);
        for (int y = 0; y < 5; y++)
            for (int x = 0; x < 13; x++) ASSERT_EQ(Px(m, x, y), 0u) << x << "," << y;
    }
    Img m;
    EXPECT_EQ(MemImageCreate(&m, 32768, 32768, MEMIMG_TYPE_32, 0, 0), -1);  // 4 GB wraps a 32-bit size
    EXPECT_EQ(MemImageCreate(&m, 0, 4, MEMIMG_TYPE_16, 0, 0), -1);
    EXPECT_EQ(MemImageCreate(&m, 4, 4, 4, 0, 0), -1);
    EXPECT_EQ(MemImageCreate(&m, 4, 4, MEMIMG_TYPE_CH8, MEMIMG_CREATE_PALETTE, 0), -1);
    EXPECT_EQ(MemImageRelease(&m), -1);
}

TEST(MemImageView, SharingCuttingAndRelease) {
    LiveBlocks live;
    Img img, whole, part, inner;
    ASSERT_EQ(MemImageCreate(&img, 20, 10, MEMIMG_TYPE_16, MEMIMG_CREATE_RUNCODES, 0), 0);
    ASSERT_EQ(MemImageBuildRunCodes(&img), 0);
    ASSERT_EQ(MemImageMakeView(&whole, &img, 0, 0, 20, 10), 0);
    EXPECT_EQ(whole.shared, img.shared);
    ASSERT_EQ(MemImageMakeView(&part, &img, 4, 2, 8, 5), 0);
    EXPECT_NE(part.shared, img.shared);
    EXPECT_EQ(part.shared->rle_flag, 0);
    EXPECT_EQ(part.shared->run_codes.codes, nullptr);
    EXPECT_EQ(img.shared->rle_flag, 1);  // making a view writes nothing

    // A view of a part view is cut to the part view, and the offsets add up.
    ASSERT_EQ(MemImageMakeView(&inner, &part, 1, 1, 20, 20), 0);
    EXPECT_EQ(inner.width, 7);
    EXPECT_EQ(inner.height, 4);
    *(uint16_t*)MemImagePixelAt(&inner, 1, 1) = 0xBEEF;
    EXPECT_EQ(Px(img, 6, 4), 0xBEEFu);

    struct { int x, y, w, h, rc, cut_w, cut_h, at_x, at_y; } cuts[] = {
        {18, 8, 10, 10, 0, 2, 2, 18, 8}, {-3, -2, 5, 4, 0, 2, 2, 0, 0}, {20, 0, 4, 4, -1}, {2, 2, 0, 4, -1}};
    for (auto& c : cuts) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        Img v;
        ASSERT_EQ(MemImageMakeView(&v, &img, c.x, c.y, c.w, c.h), c.rc);
        if (c.rc) continue;
        EXPECT_EQ(v.width, c.cut_w);
        EXPECT_EQ(v.height, c.cut_h);
        EXPECT_EQ(v.pixels, MemImagePixelAt(&img, c.at_x, c.at_y));
    }
    // The body outlives whichever views go first; the leak check sees it go with the last.
    for (MEMIMG* v : {&img, &part, &whole}) {
        EXPECT_EQ(MemImageRelease(v), 0);
        EXPECT_EQ(Px(inner, 1, 1), 0xBEEFu);
    }
    EXPECT_EQ(MemImageRelease(&inner), 0);
    EXPECT_EQ(MemImageRelease(&inner), -1);
}

TEST(MemImageFill, ClipsAndDropsRunCodes) {
    LiveBlocks live;
    // Raw values are stored as wide as the pixel, whatever bits lie above.
    struct { int type, flags; uint32_t value, stored; } cases[] = {
        {MEMIMG_TYPE_16, 0, 0x1234F81F, 0xF81F},
        {MEMIMG_TYPE_16, MEMIMG_CREATE_ALPHA, 0x7F00F81F, 0x7F00F81F},
        {MEMIMG_TYPE_32, MEMIMG_CREATE_PALETTE, 0x1AB, 0xAB},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.stored);
        Img m;
        ASSERT_EQ(MemImageCreate(&m, 6, 4, c.type, c.flags | MEMIMG_CREATE_RUNCODES, 0), 0);
        ASSERT_EQ(MemImageBuildRunCodes(&m), 0);
        Rect r = {-2, 1, 3, 9};  // sticks out left and below
        ASSERT_EQ(MemImageFillRect(&m, &r, c.value), 0);
        EXPECT_EQ(m.shared->rle_flag, 0);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 6; x++) ASSERT_EQ(Px(m, x, y), x < 3 && y >= 1 ? c.stored : 0u) << x << "," << y;
        ASSERT_EQ(m.shared->pitch % 4, 0);
        const uint8_t* row = MemImagePixelAt(&m, 0, 1);
        for (int i = 6 * MemImageBytesPerPixel(&m); i < m.shared->pitch; i++) EXPECT_EQ(row[i], 0) << "padding";
        Rect outside = {10, 10, 20, 20};
        ASSERT_EQ(MemImageFillRect(&m, nullptr, 1), 0);  // the whole image
        ASSERT_EQ(MemImageFillRect(&m, &outside, 5), 0);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 6; x++) ASSERT_EQ(Px(m, x, y), 1u) << x << "," << y;
    }
    // A fill through a part view writes the body, so the body's codes are stale too.
    Img img, part;
    ASSERT_EQ(MemImageCreate(&img, 8, 8, MEMIMG_TYPE_32, MEMIMG_CREATE_RUNCODES, 0), 0);
    ASSERT_EQ(MemImageBuildRunCodes(&img), 0);
    ASSERT_EQ(MemImageMakeView(&part, &img, 2, 2, 3, 3), 0);
    EXPECT_EQ(MemImageBuildRunCodes(&part), -1);
    ASSERT_EQ(MemImageFillRect(&part, nullptr, 0x00FFFFFF), 0);
    EXPECT_EQ(img.shared->rle_flag, 0);
    EXPECT_EQ(Px(img, 2, 2), 0x00FFFFFFu);
    EXPECT_EQ(Px(img, 5, 5), 0u);
}
