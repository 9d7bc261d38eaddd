// Base image to MEMIMG transfers: converted pixels, palette tables and run-length codes.
#include <vector>
#include "image_fixtures.h"

namespace {

enum Kind { KEYED, ALPHA, PALETTE };
const int W = 150, H = 3;
const uint32_t kKey = 0x00FF00FF;  // 0xF81F in 5-6-5
const uint32_t kKeyIndex = 3;
// The palette picture's colours, and what table 1 holds for them in each colour type.
const struct { uint32_t argb, t32; uint16_t t16; } kPalette[] = {
    {0xFF000000, 0, 0}, {0xFFFFFFFF, 0x00FFFFFF, 0xFFFF}, {0x00F8FC08, 0x00F8FC08, 0xFFE1},
    {0x80123456, 0x00123456, 0x11AA}};

// Runs to skip longer than 64 (row 0), single-pixel alternations (row 1), runs to the row's end (row 2).
uint32_t Source(Kind k, int x, int y) {
    if (k == KEYED) return (y == 0 ? x < 130 : y == 1 ? x % 2 : x >= 100) ? kKey : 0x00102030 + x;
    if (k == PALETTE) return y == 0 ? (x < 66 ? kKeyIndex : 1) : x % 4;
    int m = (x + y) % 3;
    uint32_t a = y == 0 ? (x < 10 ? 0 : x < 20 ? 128 : 255) : m == 0 ? 0 : m == 1 ? 255 : 1 + x;
    return a << 24 | 0xFF0000 | x;
}

int Command(Kind k, uint32_t s) {
    if (k == ALPHA) return s >> 24 == 0 ? MEMIMG_RLE_SKIP : s >> 24 == 255 ? MEMIMG_RLE_OPAQUE : MEMIMG_RLE_ALPHA;
    return s == (k == KEYED ? kKey : kKeyIndex) ? MEMIMG_RLE_SKIP : MEMIMG_RLE_OPAQUE;
}

// 16-bit alpha pixels keep the 5-6-5 word in bits 0-15 and alpha in 16-23.
uint32_t Stored(Kind k, int type, uint32_t s) {
    if (k == PALETTE) return s;
    uint32_t alpha = k == ALPHA ? s & 0xFF000000 : 0;
    if (type == MEMIMG_TYPE_32) return alpha | (s & 0xFFFFFF);
    return alpha >> 8 | ((s >> 19) & 0x1F) << 11 | ((s >> 10) & 0x3F) << 5 | ((s >> 3) & 0x1F);
}

void MakePicture(Kind k, Base* b) {
    PixelFormat f;
    if (k == PALETTE) {
        SetPixelFormatPalette8(&f);
        for (int i = 0; i < 4; i++) f.palette[i] = kPalette[i].argb;
    } else {
        SetPixelFormatMasks(&f, 32, 0xFF0000, 0xFF00, 0xFF, k == ALPHA ? 0xFF000000u : 0);
    }
    ASSERT_EQ(BaseImageCreate(&f, W, H, b), 0);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            uint32_t v = Source(k, x, y);
            std::memcpy((uint8_t*)b->pixels + y * b->pitch + x * f.bytes_per_pixel, &v, f.bytes_per_pixel);
        }
}

// One command per pixel. Every row must add up to the width and end in its own code,
// and a run may be followed by one of the same command only when it is full.
std::vector<int> DecodeRuns(const MemImgShared* s, int width, int height) {
    std::vector<int> cmds;
    const uint8_t *c = s->run_codes.codes, *end = c + s->run_codes.size;
    for (int y = 0; y < height; y++) {
        int x = 0, last = -1, last_n = 0;
        for (; c < end && *c != MEMIMG_RLE_EOL; c++) {
            int cmd = *c >> 6, n = (*c & 0x3F) + 1;
            EXPECT_FALSE(cmd == last && last_n < 64) << "run split early in row " << y;
            cmds.insert(cmds.end(), n, cmd);
            x += n, last = cmd, last_n = n;
        }
        EXPECT_EQ(x, width) << "row " << y;
        if (c++ == end) {
            ADD_FAILURE() << "no end of row " << y;
            return cmds;
        }
    }
    EXPECT_EQ(c, end);
    return cmds;
}

}  // namespace

TEST(MemImageFromBaseImage, PixelsCodesAndPaletteTables) {
    LiveBlocks live;
    for (Kind k : {KEYED, ALPHA, PALETTE})
        for (int type : {MEMIMG_TYPE_16, MEMIMG_TYPE_32}) {
            SCOPED_TRACE(testing::Message() << "kind " << k << " type " << type);
            Base b;
            MakePicture(k, &b);
            // A palette image has no alpha even when asked for it.
            int flags = MEMIMG_CREATE_RUNCODES | (k == KEYED ? 0 : MEMIMG_CREATE_ALPHA) |
                        (k == PALETTE ? MEMIMG_CREATE_PALETTE : 0);
            uint32_t key = k == PALETTE ? kKeyIndex : Stored(k, type, kKey);
            Img m;
            ASSERT_EQ(MemImageCreate(&m, W, H, type, flags, key), 0);
            EXPECT_EQ(m.shared->alpha_flag, k == ALPHA ? 1 : 0);
            ASSERT_EQ(MemImageFromBaseImage(&m, &b, 0, 0, W, H, 0, 0), 0);
            ASSERT_EQ(m.shared->rle_flag, 1);
            std::vector<int> cmds = DecodeRuns(m.shared, W, H);
            ASSERT_EQ(cmds.size(), size_t(W * H));
            for (int y = 0; y < H; y++)
                for (int x = 0; x < W; x++) {
                    uint32_t s = Source(k, x, y);
                    ASSERT_EQ(Px(m, x, y), Stored(k, type, s)) << x << "," << y;
                    ASSERT_EQ(cmds[y * W + x], Command(k, s)) << x << "," << y;
                }
            if (k != PALETTE) continue;
            for (int i = 0; i < 4; i++) {
                uint32_t t1 = type == MEMIMG_TYPE_16 ? ((const uint16_t*)m.shared->palette1)[i]
                                                     : ((const uint32_t*)m.shared->palette1)[i];
                EXPECT_EQ(t1, type == MEMIMG_TYPE_16 ? kPalette[i].t16 : kPalette[i].t32) << "entry " << i;
                EXPECT_EQ(((const uint32_t*)m.shared->palette2)[i], kPalette[i].argb) << "entry " << i;
            }
            Base direct;
            ASSERT_EQ(BaseImageCreateXrgb32(4, 4, &direct), 0);
            EXPECT_EQ(MemImageFromBaseImage(&m, &direct, 0, 0, 4, 4, 0, 0), -1);  // palette pictures only
        }
}

TEST(MemImageFromBaseImage, CutToBothImagesWithTheXByteCleared) {
    LiveBlocks live;
    Base b;
    ASSERT_EQ(BaseImageCreateXrgb32(4, 4, &b), 0);
    // A set X byte must not reach the image: a 0x00RRGGBB key would never match it.
    for (int i = 0; i < 16; i++) ((uint32_t*)b.pixels)[i] = 0xFF000100 + i;
    Img m;
    ASSERT_EQ(MemImageCreate(&m, 6, 6, MEMIMG_TYPE_32, 0, 0), 0);
    // Source column 0 lands at x 4 and row 2 at y 0: a 2 x 2 block fits.
    ASSERT_EQ(MemImageFromBaseImage(&m, &b, -1, 1, 10, 10, 3, -1), 0);
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 6; x++)
            ASSERT_EQ(Px(m, x, y), x >= 4 && y < 2 ? 0x100u + (y + 2) * 4 + x - 4 : 0u) << x << "," << y;
}

TEST(MemImageFromBaseImage, CodesOnlyForAWholeBodyTransfer) {
    LiveBlocks live;
    Base b;
    ASSERT_EQ(BaseImageCreateXrgb32(16, 16, &b), 0);
    BaseImageClearRect(&b, 0, 0, 16, 16);
    // A whole transfer, then one of w columns to dx: the codes must be rebuilt or dropped.
    // The third is cut to 15 wide; the last two can hold no codes.
    struct { int type, flags, w, dx, want; } cases[] = {
        {MEMIMG_TYPE_16, MEMIMG_CREATE_RUNCODES, 16, 0, 1}, {MEMIMG_TYPE_16, MEMIMG_CREATE_RUNCODES, 15, 0, 0},
        {MEMIMG_TYPE_32, MEMIMG_CREATE_RUNCODES, 16, 1, 0}, {MEMIMG_TYPE_32, 0, 16, 0, 0},
        {MEMIMG_TYPE_CH8, MEMIMG_CREATE_RUNCODES, 16, 0, 0}};
    for (auto& c : cases) {
        Img m;
        ASSERT_EQ(MemImageCreate(&m, 16, 16, c.type, c.flags, 0), 0);
        ASSERT_EQ(MemImageFromBaseImage(&m, &b, 0, 0, 16, 16, 0, 0), 0);
        ASSERT_EQ(MemImageFromBaseImage(&m, &b, 0, 0, c.w, 16, c.dx, 0), 0);
        EXPECT_EQ(m.shared->rle_flag, c.want) << c.type << " " << c.w << " at " << c.dx;
    }
    // Covering a whole part view is still writing part of the body.
    Img m, part;
    ASSERT_EQ(MemImageCreate(&m, 16, 16, MEMIMG_TYPE_16, MEMIMG_CREATE_RUNCODES, 0), 0);
    ASSERT_EQ(MemImageFromBaseImage(&m, &b, 0, 0, 16, 16, 0, 0), 0);
    ASSERT_EQ(MemImageMakeView(&part, &m, 4, 4, 8, 8), 0);
    ASSERT_EQ(MemImageFromBaseImage(&part, &b, 0, 0, 8, 8, 0, 0), 0);
    EXPECT_EQ(part.shared->rle_flag, 0);
    EXPECT_EQ(part.shared->run_codes.codes, nullptr);
    EXPECT_EQ(m.shared->rle_flag, 0);
}

TEST(MemImageBuildRunCodes, FollowsANewKey) {
    LiveBlocks live;
    Img m;
    ASSERT_EQ(MemImageCreate(&m, 3, 1, MEMIMG_TYPE_32, MEMIMG_CREATE_RUNCODES, 0), 0);
    *(uint32_t*)MemImagePixelAt(&m, 1, 0) = 0x00FFFFFF;
    ASSERT_EQ(MemImageBuildRunCodes(&m), 0);
    EXPECT_EQ(DecodeRuns(m.shared, 3, 1), (std::vector<int>{0, 1, 0}));
    m.shared->trans_color = 0x00FFFFFF;
    ASSERT_EQ(MemImageBuildRunCodes(&m), 0);
    EXPECT_EQ(DecodeRuns(m.shared, 3, 1), (std::vector<int>{1, 0, 1}));
}
