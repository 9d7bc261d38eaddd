// The flat-colour writer, seen through one-pixel and whole-image fills: the
// worked values, then every mode against the reference model.
#include <gtest/gtest.h>

#include "engine/softrender/shapes.h"
#include "softrender/ref_shape_canvas.h"

namespace {

RefSettings Area(int w, int h, int mode = 0, int p = 255) {
    RefSettings s;
    s.right = w;
    s.bottom = h;
    s.mode = mode;
    s.param = p;
    return s;
}

// One write of `color` over `dst` by the engine.
uint32_t EngineOnce(int type, const RefSettings& s, uint32_t dst, uint32_t color) {
    ShapeCanvas c(1, 1, type);
    c.Set(0, 0, dst);
    ShapeSettingsScope scope(s);
    FillMemImgRect(c.img(), nullptr, color);
    EXPECT_TRUE(c.RingIntact());
    return c.Get(0, 0);
}

}  // namespace

TEST(ShapeWriter, WorkedValues32) {
    // Add: red saturates and its carry lands in byte 3.
    EXPECT_EQ(0x01FFA070u, EngineOnce(1, Area(1, 1, 2), 0x00FF8040u, 0x00102030u));
    // Green 0x80 + 0x80 saturates.
    EXPECT_EQ(0xFFu, (EngineOnce(1, Area(1, 1, 2), 0x00008000u, 0x00008000u) >> 8) & 0xFF);
    // Subtract: green and red clamp, blue keeps 48 - 16; byte 3 becomes 0.
    EXPECT_EQ(0x00000020u, EngineOnce(1, Area(1, 1, 3), 0xAB102030u, 0x00204010u));
    // Alpha at p = 255 is a copy of all four bytes.
    EXPECT_EQ(0x12345678u, EngineOnce(1, Area(1, 1, 1, 255), 0xFFFFFFFFu, 0x12345678u));
    // Multiply ignores p, even 0; byte 3 kept.
    EXPECT_EQ(0x7F7E1F1Eu, EngineOnce(1, Area(1, 1, 4, 0), 0x7F7F3F1Fu, 0x00FF80FFu));
}

TEST(ShapeWriter, WorkedValues16) {
    // Green fields 32 + 32 give 62, or 63 when blue overflows in the same pixel.
    EXPECT_EQ(62u, (EngineOnce(0, Area(1, 1, 2), 32 << 5, 32 << 5) >> 5) & 63);
    EXPECT_EQ(63u, (EngineOnce(0, Area(1, 1, 2), 32 << 5 | 20, 32 << 5 | 20) >> 5) & 63);
    // Alpha moves each field by a step truncated toward zero: blue 0 -> 31 at p = 128
    // is 0 + 31 * 128 / 255 = 15.
    EXPECT_EQ(15u, EngineOnce(0, Area(1, 1, 1, 128), 0, 31) & 31);
    // Mode 10 inverts the whole word: target blue 31 - 0.
    EXPECT_EQ(15u, EngineOnce(0, Area(1, 1, 10, 128), 0, 0) & 31);
}

TEST(ShapeWriter, RefusedModesAndParametersLeaveThePixel) {
    const struct { int mode, p; } cases[] = {{7, 128}, {12, 128}, {5, 255}, {9, 255}, {-1, 255},
                                             {1, 0}, {2, 0}, {3, 0}};
    for (int type = 0; type <= 1; type++)
        for (auto& k : cases)
            EXPECT_EQ(0x1234u, EngineOnce(type, Area(1, 1, k.mode, k.p), 0x1234u, 0xFFFFu))
                << "type " << type << " mode " << k.mode << " p " << k.p;
    // Modes 10 and 11 at p = 0 write the pixel back unchanged.
    EXPECT_EQ(0x00123456u, EngineOnce(1, Area(1, 1, 10, 0), 0x00123456u, 0xFFFFFFu));
    EXPECT_EQ(0x00123456u, EngineOnce(1, Area(1, 1, 11, 0), 0x00123456u, 0x808080u));
}

TEST(ShapeWriter, DrawBright) {
    RefSettings s = Area(1, 1, 0);
    EXPECT_EQ(0xFFFFFFFFu, EngineOnce(1, s, 0, 0xFFFFFFFFu));
    s.bright_r = 254;
    // 255 -> 254 in every channel once any bright is below 255; byte 3 unchanged.
    EXPECT_EQ(0xFFFDFEFEu, EngineOnce(1, s, 0, 0xFFFFFFFFu));
    // 16-bit: fields scaled by (f * b) >> 8: red 31 * 254 >> 8 = 30, green 63 -> 62, blue 31 -> 30.
    EXPECT_EQ((30u << 11) | (62u << 5) | 30u, EngineOnce(0, s, 0, 0xFFFF));
    // Mode 10 applies the bright before inverting: 255 -> 127, inverted 128, at
    // p = 255 (128 * 255) >> 8 = 127. Inverting first would give 0.
    RefSettings inv = Area(1, 1, 10, 255);
    inv.bright_b = inv.bright_g = inv.bright_r = 128;
    EXPECT_EQ(0x007F7F7Fu, EngineOnce(1, inv, 0, 0x00FFFFFFu));
}

TEST(ShapeWriter, SixteenBitSubtractNeverLeavesTheLowGreenBit) {
    ShapeCanvas c(64, 64, 0);
    c.FillRandom(7);
    ShapeRng rng(3);
    ShapeSettingsScope scope(Area(64, 64, 3, 255));
    for (int i = 0; i < 16; i++) FillMemImgRect(c.img(), nullptr, rng.Next() & 0xFFFF);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) ASSERT_EQ(0u, (c.Get(x, y) >> 5) & 1) << x << "," << y;
}

// Every destination word against a set of colours, in both packed modes and
// the per-field modes, against the reference's per-channel rules.
TEST(ShapeWriter, AllSixteenBitDestinationsMatchReference) {
    const uint32_t colors[] = {0x0000, 0xFFFF, 0x0821, 0xF7DE, 0x07E0, 0xF800, 0x001F, 0x8410, 0x1234, 0xBEEF};
    const int modes[] = {1, 2, 3, 4, 10, 11};
    ShapeCanvas c(256, 256, 0);
    for (int m : modes)
        for (uint32_t col : colors) {
            const int p = m == 4 ? 255 : (int)(col * 37 % 256);
            RefSettings s = Area(256, 256, m, p);
            for (int i = 0; i < 65536; i++) c.Set(i & 255, i >> 8, (uint32_t)i);
            RefImage ref = c.ToRef();
            RefFillRect(ref, s, nullptr, col);
            ShapeSettingsScope scope(s);
            FillMemImgRect(c.img(), nullptr, col);
            ASSERT_EQ("", c.DiffFrom(ref)) << "mode " << m << " p " << p << " colour " << col;
        }
}

TEST(ShapeWriter, ModesParametersAndBrightsMatchReference) {
    const int modes[] = {0, 1, 2, 3, 4, 10, 11, 5, 8, 12};
    const int params[] = {0, 1, 2, 64, 127, 128, 200, 254, 255};
    const int brights[][3] = {{255, 255, 255}, {255, 255, 254}, {0, 0, 0}, {128, 200, 17}};
    ShapeRng rng(11);
    for (int type = 0; type <= 1; type++) {
        ShapeCanvas c(16, 16, type);
        for (int m : modes)
            for (int p : params)
                for (auto& b : brights)
                    for (int k = 0; k < 3; k++) {
                        RefSettings s = Area(16, 16, m, p);
                        s.bright_b = b[0];
                        s.bright_g = b[1];
                        s.bright_r = b[2];
                        c.FillRandom(rng.Next());
                        const uint32_t col = type == 1 ? rng.Next() ^ rng.Next() << 16 : rng.Next() & 0xFFFF;
                        RefImage ref = c.ToRef();
                        RefFillRect(ref, s, nullptr, col);
                        ShapeSettingsScope scope(s);
                        FillMemImgRect(c.img(), nullptr, col);
                        ASSERT_EQ("", c.DiffFrom(ref)) << "type " << type << " mode " << m << " p " << p
                                                       << " bright " << b[2] << "," << b[1] << "," << b[0];
                    }
    }
}
