// Base image to MEMIMG transfers: converted pixels, palette tables and run-length codes.
#include <cstring>
#include <vector>
#include <gtest/gtest.h>
#include "engine/image/memimg.h"
#include "engine/system/memory.h"

namespace {

// Expands the code stream back into one command per pixel; fails on a malformed stream.
std::vector<int> DecodeRuns(const MemImgShared* s, int width, int height) {
    std::vector<int> cmds;
    const uint8_t* c = s->run_codes.codes;
    const uint8_t* end = c + s->run_codes.size;
    for (int y = 0; y < height; y++) {
        int x = 0;
        for (;;) {
            EXPECT_LT(c, end) << "stream ends inside row " << y;
            if (c >= end) return cmds;
            uint8_t code = *c++;
            if (code >= MEMIMG_RLE_EOL) break;
            int n = (code & 0x3F) + 1;
            for (int i = 0; i < n; i++) cmds.push_back(code >> 6);
            x += n;
        }
        EXPECT_EQ(x, width) << "row " << y;
    }
    EXPECT_EQ(c, end);
    return cmds;
}

void PutArgb(BaseImage* b, int x, int y, uint32_t argb) {
    std::memcpy((uint8_t*)b->pixels + y * b->pitch + x * 4, &argb, 4);
}

const uint32_t kKey = 0x00FF00FF;  // magenta

// A picture with a 150-pixel key run (split 64/64/22) and single-pixel alternations.
void DrawKeyedPicture(BaseImage* b) {
    for (int y = 0; y < b->height; y++)
        for (int x = 0; x < b->width; x++) {
            uint32_t c = 0x00102030 + x;
            if (y == 0 && x < 150) c = kKey;
            if (y == 1 && x % 2) c = kKey;
            if (y == 2 && x >= 100) c = kKey;
            PutArgb(b, x, y, c);
        }
}

// Alpha follows the column: 0, 255 or partial in stretches, with a long opaque tail.
uint32_t AlphaAt(int x, int y) {
    if (y == 0) return x < 10 ? 0 : x < 20 ? 128 : 255;
    return (uint32_t)((x * 37 + y) % 3 == 0 ? 0 : (x * 37 + y) % 3 == 1 ? 255 : 1 + x % 254);
}

}  // namespace

TEST(MemImageFromBaseImage, ColourKeyedCodesOfBothTypes) {
    int start = MemLiveBlockCount();
    BaseImage b;
    ASSERT_EQ(BaseImageCreateXrgb32(200, 3, &b), 0);
    DrawKeyedPicture(&b);
    for (int type : {MEMIMG_TYPE_16, MEMIMG_TYPE_32}) {
        SCOPED_TRACE(type);
        uint32_t key = type == MEMIMG_TYPE_16 ? 0xF81F : kKey;
        MEMIMG m;
        ASSERT_EQ(MemImageCreate(&m, 200, 3, type, MEMIMG_CREATE_RUNCODES, key), 0);
        ASSERT_EQ(MemImageFromBaseImage(&m, &b, 0, 0, 200, 3, 0, 0), 0);
        ASSERT_EQ(m.shared->rle_flag, 1);
        // The 150 key pixels: 64 + 64 + 22, then 50 opaque.
        const uint8_t* c = m.shared->run_codes.codes;
        EXPECT_EQ(c[0], 0x3F);
        EXPECT_EQ(c[1], 0x3F);
        EXPECT_EQ(c[2], 21);
        EXPECT_EQ(c[3], 0x40 | 49);
        EXPECT_EQ(c[4], MEMIMG_RLE_EOL);
        std::vector<int> cmds = DecodeRuns(m.shared, 200, 3);
        ASSERT_EQ(cmds.size(), 600u);
        for (int y = 0; y < 3; y++)
            for (int x = 0; x < 200; x++) {
                const uint8_t* p = MemImagePixelAt(&m, x, y);
                uint32_t v = 0;
                std::memcpy(&v, p, MemImageBytesPerPixel(&m));
                ASSERT_EQ(cmds[y * 200 + x], v == key ? MEMIMG_RLE_SKIP : MEMIMG_RLE_OPAQUE) << x << "," << y;
            }
        // The pixels themselves were converted.
        uint32_t v = 0;
        std::memcpy(&v, MemImagePixelAt(&m, 5, 2), MemImageBytesPerPixel(&m));
        EXPECT_EQ(v, type == MEMIMG_TYPE_16 ? (0x10 >> 3) << 11 | (0x20 >> 2) << 5 | (0x35 >> 3) : 0x00102035u);
        MemImageRelease(&m);
    }
    BaseImageRelease(&b);
    EXPECT_EQ(MemLiveBlockCount(), start);
}

TEST(MemImageFromBaseImage, AlphaCodesOfBothTypes) {
    BaseImage b;
    PixelFormat argb;
    SetPixelFormatA8R8G8B8(&argb);
    ASSERT_EQ(BaseImageCreate(&argb, 90, 4, &b), 0);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 90; x++) PutArgb(&b, x, y, AlphaAt(x, y) << 24 | 0xFF0000 | (uint32_t)x);
    for (int type : {MEMIMG_TYPE_16, MEMIMG_TYPE_32}) {
        SCOPED_TRACE(type);
        MEMIMG m;
        ASSERT_EQ(MemImageCreate(&m, 90, 4, type, MEMIMG_CREATE_ALPHA | MEMIMG_CREATE_RUNCODES, 0), 0);
        ASSERT_EQ(MemImageFromBaseImage(&m, &b, 0, 0, 90, 4, 0, 0), 0);
        ASSERT_EQ(m.shared->rle_flag, 1);
        const uint8_t* c = m.shared->run_codes.codes;
        EXPECT_EQ(c[0], 9);             // skip 10
        EXPECT_EQ(c[1], 0x80 | 9);      // alpha 10
        EXPECT_EQ(c[2], 0x40 | 63);     // opaque 64
        EXPECT_EQ(c[3], 0x40 | 5);      // opaque 6
        EXPECT_EQ(c[4], MEMIMG_RLE_EOL);
        std::vector<int> cmds = DecodeRuns(m.shared, 90, 4);
        ASSERT_EQ(cmds.size(), 360u);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 90; x++) {
                const uint8_t* p = MemImagePixelAt(&m, x, y);
                uint32_t a = type == MEMIMG_TYPE_16 ? p[2] : p[3];
                ASSERT_EQ(a, AlphaAt(x, y));
                int want = a == 0 ? MEMIMG_RLE_SKIP : a == 255 ? MEMIMG_RLE_OPAQUE : MEMIMG_RLE_ALPHA;
                ASSERT_EQ(cmds[y * 90 + x], want) << x << "," << y;
                if (type == MEMIMG_TYPE_16) {
                    ASSERT_EQ(p[0] | p[1] << 8, 0xF800 | (x >> 3));
                    ASSERT_EQ(p[3], 0);
                }
            }
        MemImageRelease(&m);
    }
    BaseImageRelease(&b);
}

TEST(MemImageFromBaseImage, NoCodesUnlessTheWholeBodyIsWritten) {
    int start = MemLiveBlockCount();
    BaseImage b;
    ASSERT_EQ(BaseImageCreateXrgb32(16, 16, &b), 0);
    BaseImageClearRect(&b, 0, 0, 16, 16);
    MEMIMG m, part;
    ASSERT_EQ(MemImageCreate(&m, 16, 16, MEMIMG_TYPE_16, MEMIMG_CREATE_RUNCODES, 0), 0);
    ASSERT_EQ(MemImageFromBaseImage(&m, &b, 0, 0, 16, 16, 0, 0), 0);
    ASSERT_EQ(m.shared->rle_flag, 1);
    // Partial transfer: the old codes are dropped and none are made.
    ASSERT_EQ(MemImageFromBaseImage(&m, &b, 0, 0, 15, 16, 0, 0), 0);
    EXPECT_EQ(m.shared->rle_flag, 0);
    ASSERT_EQ(MemImageFromBaseImage(&m, &b, 0, 0, 16, 16, 1, 0), 0);  // cut to 15 wide
    EXPECT_EQ(m.shared->rle_flag, 0);
    // A transfer covering a whole part view is still part of the body.
    ASSERT_EQ(MemImageFromBaseImage(&m, &b, 0, 0, 16, 16, 0, 0), 0);
    ASSERT_EQ(m.shared->rle_flag, 1);
    ASSERT_EQ(MemImageMakeView(&part, &m, 4, 4, 8, 8), 0);
    ASSERT_EQ(MemImageFromBaseImage(&part, &b, 0, 0, 8, 8, 0, 0), 0);
    EXPECT_EQ(part.shared->rle_flag, 0);
    EXPECT_EQ(part.shared->run_codes.codes, nullptr);
    EXPECT_EQ(m.shared->rle_flag, 0);
    // No code buffer, no codes; single-channel types never code.
    MEMIMG plain, ch;
    ASSERT_EQ(MemImageCreate(&plain, 16, 16, MEMIMG_TYPE_32, 0, 0), 0);
    ASSERT_EQ(MemImageFromBaseImage(&plain, &b, 0, 0, 16, 16, 0, 0), 0);
    EXPECT_EQ(plain.shared->rle_flag, 0);
    ASSERT_EQ(MemImageCreate(&ch, 16, 16, MEMIMG_TYPE_CH8, MEMIMG_CREATE_RUNCODES, 0), 0);
    ASSERT_EQ(MemImageFromBaseImage(&ch, &b, 0, 0, 16, 16, 0, 0), 0);
    EXPECT_EQ(ch.shared->rle_flag, 0);
    MemImageRelease(&ch);
    MemImageRelease(&plain);
    MemImageRelease(&part);
    MemImageRelease(&m);
    BaseImageRelease(&b);
    EXPECT_EQ(MemLiveBlockCount(), start);
}

TEST(MemImageFromBaseImage, TransferIsCutToBothImages) {
    BaseImage b;
    ASSERT_EQ(BaseImageCreateXrgb32(4, 4, &b), 0);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) PutArgb(&b, x, y, 0x00FFFFFF);
    MEMIMG m;
    ASSERT_EQ(MemImageCreate(&m, 6, 6, MEMIMG_TYPE_32, 0, 0), 0);
    ASSERT_EQ(MemImageFromBaseImage(&m, &b, -1, 0, 10, 10, 3, 4), 0);
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 6; x++) {
            uint32_t v;
            std::memcpy(&v, MemImagePixelAt(&m, x, y), 4);
            bool in = x >= 4 && y >= 4;  // source (0,0) lands at (4,4); 2x2 fit
            ASSERT_EQ(v, in ? 0x00FFFFFFu : 0u) << x << "," << y;
        }
    MemImageRelease(&m);
    BaseImageRelease(&b);
}

TEST(MemImageFromBaseImage, PaletteTablesAndKeyIndexCodes) {
    int start = MemLiveBlockCount();
    PixelFormat pf;
    SetPixelFormatPalette8(&pf);
    pf.palette[0] = 0xFF000000;
    pf.palette[1] = 0xFFFFFFFF;
    pf.palette[2] = 0x00F8FC08;  // red 0xF8, green 0xFC, blue 0x08
    pf.palette[3] = 0x80123456;
    BaseImage b;
    ASSERT_EQ(BaseImageCreate(&pf, 70, 2, &b), 0);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 70; x++) ((uint8_t*)b.pixels)[y * b.pitch + x] = (uint8_t)(y == 0 ? (x < 66 ? 3 : 1) : x % 4);

    MEMIMG m32, m16;
    ASSERT_EQ(MemImageCreate(&m32, 70, 2, MEMIMG_TYPE_32, MEMIMG_CREATE_PALETTE | MEMIMG_CREATE_RUNCODES, 3), 0);
    ASSERT_EQ(MemImageCreate(&m16, 70, 2, MEMIMG_TYPE_16, MEMIMG_CREATE_PALETTE | MEMIMG_CREATE_RUNCODES, 3), 0);
    ASSERT_EQ(MemImageFromBaseImage(&m32, &b, 0, 0, 70, 2, 0, 0), 0);
    ASSERT_EQ(MemImageFromBaseImage(&m16, &b, 0, 0, 70, 2, 0, 0), 0);

    const uint32_t* t32 = (const uint32_t*)m32.shared->palette1;
    EXPECT_EQ(t32[0], 0u);  // fourth byte 0 whatever the source alpha
    EXPECT_EQ(t32[1], 0x00FFFFFFu);
    EXPECT_EQ(t32[2], 0x00F8FC08u);
    EXPECT_EQ(t32[3], 0x00123456u);
    const uint16_t* t16 = (const uint16_t*)m16.shared->palette1;
    EXPECT_EQ(t16[1], 0xFFFF);
    EXPECT_EQ(t16[2], (0xF8 >> 3) << 11 | (0xFC >> 2) << 5 | (0x08 >> 3));
    EXPECT_EQ(t16[3], (0x12 >> 3) << 11 | (0x34 >> 2) << 5 | (0x56 >> 3));
    EXPECT_EQ(((const uint32_t*)m16.shared->palette2)[3], 0x80123456u);
    EXPECT_EQ(m32.shared->palette_count, 256);
    EXPECT_EQ(m32.shared->alpha_flag, 0);

    for (MEMIMG* m : {&m32, &m16}) {
        ASSERT_EQ(m->shared->rle_flag, 1);
        EXPECT_EQ(*MemImagePixelAt(m, 5, 1), 1);  // indices copied as they are
        const uint8_t* c = m->shared->run_codes.codes;
        EXPECT_EQ(c[0], 63);        // index 3 is the key: skip 64
        EXPECT_EQ(c[1], 1);         // skip 2
        EXPECT_EQ(c[2], 0x40 | 3);  // opaque 4
        EXPECT_EQ(c[3], MEMIMG_RLE_EOL);
        std::vector<int> cmds = DecodeRuns(m->shared, 70, 2);
        ASSERT_EQ(cmds.size(), 140u);
        for (int x = 0; x < 70; x++) ASSERT_EQ(cmds[70 + x], x % 4 == 3 ? MEMIMG_RLE_SKIP : MEMIMG_RLE_OPAQUE) << x;
    }
    // A palette image takes only palette pictures.
    BaseImage direct;
    ASSERT_EQ(BaseImageCreateXrgb32(4, 4, &direct), 0);
    EXPECT_EQ(MemImageFromBaseImage(&m32, &direct, 0, 0, 4, 4, 0, 0), -1);
    BaseImageRelease(&direct);
    MemImageRelease(&m32);
    MemImageRelease(&m16);
    BaseImageRelease(&b);
    EXPECT_EQ(MemLiveBlockCount(), start);
}

TEST(MemImageBuildRunCodes, FollowsANewKey) {
    BaseImage b;
    ASSERT_EQ(BaseImageCreateXrgb32(3, 1, &b), 0);
    PutArgb(&b, 0, 0, 0);
    PutArgb(&b, 1, 0, 0x00FFFFFF);
    PutArgb(&b, 2, 0, 0);
    MEMIMG m;
    ASSERT_EQ(MemImageCreate(&m, 3, 1, MEMIMG_TYPE_32, MEMIMG_CREATE_RUNCODES, 0), 0);
    ASSERT_EQ(MemImageFromBaseImage(&m, &b, 0, 0, 3, 1, 0, 0), 0);
    EXPECT_EQ(DecodeRuns(m.shared, 3, 1), (std::vector<int>{0, 1, 0}));
    m.shared->trans_color = 0x00FFFFFF;
    ASSERT_EQ(MemImageBuildRunCodes(&m), 0);
    EXPECT_EQ(DecodeRuns(m.shared, 3, 1), (std::vector<int>{1, 0, 1}));
    MemImageRelease(&m);
    BaseImageRelease(&b);
}
