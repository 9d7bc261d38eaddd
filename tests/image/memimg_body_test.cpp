// MEMIMG creation, views over a shared body, release and raw fills.
#include <cstring>
#include <gtest/gtest.h>
#include "engine/image/memimg.h"
#include "engine/system/memory.h"

namespace {

uint16_t Word(const MEMIMG& m, int x, int y) {
    uint16_t v;
    std::memcpy(&v, MemImagePixelAt(&m, x, y), 2);
    return v;
}

uint32_t Dword(const MEMIMG& m, int x, int y) {
    uint32_t v;
    std::memcpy(&v, MemImagePixelAt(&m, x, y), 4);
    return v;
}

}  // namespace

TEST(MemImageCreate, LayoutPerColourType) {
    int start = MemLiveBlockCount();
    struct Case { int type, flags, bpp, alpha, palette; } cases[] = {
        {MEMIMG_TYPE_16, 0, 2, 0, 0},
        {MEMIMG_TYPE_16, MEMIMG_CREATE_ALPHA, 4, 1, 0},
        {MEMIMG_TYPE_32, 0, 4, 0, 0},
        {MEMIMG_TYPE_32, MEMIMG_CREATE_ALPHA, 4, 1, 0},
        {MEMIMG_TYPE_16, MEMIMG_CREATE_PALETTE | MEMIMG_CREATE_ALPHA, 1, 0, 1},
        {MEMIMG_TYPE_32, MEMIMG_CREATE_PALETTE | MEMIMG_CREATE_ALPHA, 1, 0, 1},
        {MEMIMG_TYPE_CH8, 0, 1, 0, 0},
        {MEMIMG_TYPE_CH16, 0, 2, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " flags " << c.flags);
        MEMIMG m;
        ASSERT_EQ(MemImageCreate(&m, 13, 5, c.type, c.flags | MEMIMG_CREATE_RUNCODES, 7), 0);
        const MemImgShared* s = m.shared;
        EXPECT_EQ(MemImageBytesPerPixel(&m), c.bpp);
        EXPECT_EQ(s->format->bytes_per_pixel, c.bpp);
        EXPECT_EQ(s->alpha_flag, c.alpha);
        EXPECT_EQ(s->palette_flag, c.palette);
        EXPECT_GE(s->pitch, 13 * c.bpp);
        EXPECT_EQ(s->pitch % 4, 0);
        EXPECT_EQ(c.palette != 0, s->palette1 != nullptr);
        EXPECT_EQ(c.type <= MEMIMG_TYPE_32, s->run_codes.codes != nullptr);
        bool zero = true;
        for (int y = 0; y < 5; y++)
            for (int i = 0; i < 13 * c.bpp; i++) zero = zero && MemImagePixelAt(&m, 0, y)[i] == 0;
        EXPECT_TRUE(zero);
        EXPECT_EQ(MemImageRelease(&m), 0);
    }
    EXPECT_EQ(MemLiveBlockCount(), start);
}

TEST(MemImageCreate, Refusals) {
    int start = MemLiveBlockCount();
    MEMIMG m;
    // 4 GB of pixels would wrap a 32-bit size: refused, nothing left allocated.
    EXPECT_EQ(MemImageCreate(&m, 32768, 32768, MEMIMG_TYPE_32, 0, 0), -1);
    EXPECT_EQ(MemLiveBlockCount(), start);
    EXPECT_EQ(MemImageCreate(&m, 0, 4, MEMIMG_TYPE_16, 0, 0), -1);
    EXPECT_EQ(MemImageCreate(&m, 4, -1, MEMIMG_TYPE_16, 0, 0), -1);
    EXPECT_EQ(MemImageCreate(&m, 4, 4, 4, 0, 0), -1);
    EXPECT_EQ(MemImageCreate(&m, 4, 4, MEMIMG_TYPE_CH8, MEMIMG_CREATE_PALETTE, 0), -1);
    EXPECT_EQ(MemImageRelease(&m), -1);  // never made
    EXPECT_EQ(MemImagePixelAt(&m, 0, 0), nullptr);
}

TEST(MemImageView, WholeViewSharesRecordPartViewGetsItsOwn) {
    int start = MemLiveBlockCount();
    MEMIMG img, whole, part, inner;
    ASSERT_EQ(MemImageCreate(&img, 20, 10, MEMIMG_TYPE_16, MEMIMG_CREATE_RUNCODES, 0), 0);
    ASSERT_EQ(MemImageBuildRunCodes(&img), 0);
    ASSERT_EQ(img.shared->rle_flag, 1);

    ASSERT_EQ(MemImageMakeView(&whole, &img, 0, 0, 20, 10), 0);
    EXPECT_EQ(whole.shared, img.shared);

    ASSERT_EQ(MemImageMakeView(&part, &img, 4, 2, 8, 5), 0);
    EXPECT_NE(part.shared, img.shared);
    EXPECT_EQ(part.shared->rle_flag, 0);
    EXPECT_EQ(part.shared->run_codes.codes, nullptr);
    EXPECT_EQ(part.shared->format, &part.shared->format_storage);
    EXPECT_EQ(part.shared->pitch, img.shared->pitch);
    EXPECT_EQ(part.width, 8);
    EXPECT_EQ(part.height, 5);
    EXPECT_EQ(img.shared->rle_flag, 1);  // making a view writes nothing

    // Pixels are shared, and offsets of a view of a view add up.
    ASSERT_EQ(MemImageMakeView(&inner, &part, 1, 1, 2, 2), 0);
    *(uint16_t*)MemImagePixelAt(&inner, 1, 1) = 0xBEEF;
    EXPECT_EQ(Word(img, 6, 4), 0xBEEF);
    EXPECT_EQ(Word(part, 2, 2), 0xBEEF);

    // The body outlives whichever view goes first.
    EXPECT_EQ(MemImageRelease(&img), 0);
    EXPECT_EQ(Word(inner, 1, 1), 0xBEEF);
    EXPECT_EQ(MemImageRelease(&part), 0);
    EXPECT_EQ(MemImageRelease(&whole), 0);
    EXPECT_EQ(Word(inner, 1, 1), 0xBEEF);
    EXPECT_EQ(MemImageRelease(&inner), 0);
    EXPECT_EQ(MemImageRelease(&inner), -1);
    EXPECT_EQ(MemLiveBlockCount(), start);
}

TEST(MemImageView, CutToTheSource) {
    int start = MemLiveBlockCount();
    MEMIMG img, v;
    ASSERT_EQ(MemImageCreate(&img, 16, 8, MEMIMG_TYPE_32, 0, 0), 0);
    ASSERT_EQ(MemImageMakeView(&v, &img, 14, 6, 10, 10), 0);
    EXPECT_EQ(v.width, 2);
    EXPECT_EQ(v.height, 2);
    EXPECT_EQ(v.pixels, MemImagePixelAt(&img, 14, 6));
    EXPECT_EQ(MemImageRelease(&v), 0);
    ASSERT_EQ(MemImageMakeView(&v, &img, -3, -2, 5, 4), 0);
    EXPECT_EQ(v.width, 2);
    EXPECT_EQ(v.height, 2);
    EXPECT_EQ(v.pixels, img.pixels);
    EXPECT_EQ(MemImageRelease(&v), 0);
    // A view of a part view asked larger than it is still cut to the part view.
    MEMIMG part, back;
    ASSERT_EQ(MemImageMakeView(&part, &img, 0, 0, 16, 4), 0);
    ASSERT_EQ(MemImageMakeView(&back, &part, 0, 0, 16, 8), 0);
    EXPECT_EQ(back.height, 4);
    EXPECT_NE(back.shared, img.shared);
    EXPECT_EQ(MemImageMakeView(&v, &img, 16, 0, 4, 4), -1);
    EXPECT_EQ(MemImageMakeView(&v, &img, 2, 2, 0, 4), -1);
    MemImageRelease(&back);
    MemImageRelease(&part);
    MemImageRelease(&img);
    EXPECT_EQ(MemLiveBlockCount(), start);
}

TEST(MemImageFill, ClipsToTheViewAndWritesRawValues) {
    MEMIMG img16, img32, pal;
    ASSERT_EQ(MemImageCreate(&img16, 6, 4, MEMIMG_TYPE_16, 0, 0), 0);
    ASSERT_EQ(MemImageCreate(&img32, 6, 4, MEMIMG_TYPE_16, MEMIMG_CREATE_ALPHA, 0), 0);
    ASSERT_EQ(MemImageCreate(&pal, 6, 4, MEMIMG_TYPE_32, MEMIMG_CREATE_PALETTE, 0), 0);

    Rect r = {-2, 1, 3, 9};  // sticks out left and below
    ASSERT_EQ(MemImageFillRect(&img16, &r, 0x1234F81F), 0);
    ASSERT_EQ(MemImageFillRect(&img32, &r, 0x7F00F81F), 0);
    ASSERT_EQ(MemImageFillRect(&pal, &r, 0x1AB), 0);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 6; x++) {
            bool in = x < 3 && y >= 1;
            ASSERT_EQ(Word(img16, x, y), in ? 0xF81F : 0) << x << "," << y;
            ASSERT_EQ(Dword(img32, x, y), in ? 0x7F00F81Fu : 0u) << x << "," << y;
            ASSERT_EQ(*MemImagePixelAt(&pal, x, y), in ? 0xAB : 0) << x << "," << y;
        }
    // Row padding after the last pixel stays untouched.
    EXPECT_EQ(MemImagePixelAt(&pal, 5, 1)[1], 0);

    ASSERT_EQ(MemImageFillRect(&img16, nullptr, 0x0001), 0);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 6; x++) ASSERT_EQ(Word(img16, x, y), 1);
    Rect outside = {10, 10, 20, 20};
    EXPECT_EQ(MemImageFillRect(&img16, &outside, 5), 0);
    EXPECT_EQ(Word(img16, 5, 3), 1);
    MemImageRelease(&img16);
    MemImageRelease(&img32);
    MemImageRelease(&pal);
}

TEST(MemImageFill, DropsRunCodesOfTheBody) {
    MEMIMG img, part;
    ASSERT_EQ(MemImageCreate(&img, 8, 8, MEMIMG_TYPE_32, MEMIMG_CREATE_RUNCODES, 0), 0);
    ASSERT_EQ(MemImageBuildRunCodes(&img), 0);
    ASSERT_EQ(MemImageFillRect(&img, nullptr, 0), 0);
    EXPECT_EQ(img.shared->rle_flag, 0);

    // A fill through a part view changes the body the codes describe.
    ASSERT_EQ(MemImageBuildRunCodes(&img), 0);
    ASSERT_EQ(MemImageMakeView(&part, &img, 2, 2, 3, 3), 0);
    EXPECT_EQ(MemImageBuildRunCodes(&part), -1);
    ASSERT_EQ(MemImageFillRect(&part, nullptr, 0x00FFFFFF), 0);
    EXPECT_EQ(img.shared->rle_flag, 0);
    EXPECT_EQ(Dword(img, 2, 2), 0x00FFFFFFu);
    EXPECT_EQ(Dword(img, 5, 5), 0u);
    MemImageRelease(&part);
    MemImageRelease(&img);
}
