// The window-less pieces of input: axis mapping, key-state rebuild, pad bits, any-key scan.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/input/input_state.h"

TEST(FallbackAxis, EdgesOfTheDeadZoneAndFullDeflection) {
    EXPECT_EQ(MapFallbackAxis(0), -1000);
    EXPECT_EQ(MapFallbackAxis(1), -999);
    EXPECT_EQ(MapFallbackAxis(16383), 0);  // truncation toward zero
    EXPECT_EQ(MapFallbackAxis(16384), 0);
    EXPECT_EQ(MapFallbackAxis(32767), 0);
    EXPECT_EQ(MapFallbackAxis(49152), 0);
    EXPECT_EQ(MapFallbackAxis(49153), 0);
    EXPECT_EQ(MapFallbackAxis(57344), 500);
    EXPECT_EQ(MapFallbackAxis(65534), 999);
    EXPECT_EQ(MapFallbackAxis(65535), 1000);
}

TEST(KeyStateRebuild, EnterSetsBothEntersAndNumpadAndOemKeysMap) {
    unsigned char vk[256] = {};
    unsigned char ks[256];
    vk[VK_RETURN] = 0x80;
    vk[VK_NUMPAD5] = 0x81;  // low toggle bit comes along unchanged
    vk[0xBA] = 0x80;        // OEM_1 -> DIK_COLON
    vk[0xDC] = 0x80;        // OEM_5 -> DIK_YEN
    vk[0xE2] = 0x80;        // OEM_102 -> DIK_BACKSLASH
    vk[VK_DIVIDE] = 0x80;
    vk[VK_F11] = 0x80;
    RebuildKeyStateFromVk(vk, ks);
    EXPECT_EQ(ks[0x1C], 0x80);
    EXPECT_EQ(ks[0x9C], 0x80);
    EXPECT_EQ(ks[0x4C], 0x81);
    EXPECT_EQ(ks[0x92], 0x80);
    EXPECT_EQ(ks[0x7D], 0x80);
    EXPECT_EQ(ks[0x2B], 0x80);
    EXPECT_EQ(ks[0xB5], 0x80);
    EXPECT_EQ(ks[0x57], 0x80);
    int set = 0;
    for (int k = 0; k < 256; k++) set += ks[k] != 0;
    EXPECT_EQ(set, 8);
}

TEST(KeyStateRebuild, StaleBytesClearedAndUnmappedKeysSetNothing) {
    unsigned char vk[256] = {};
    unsigned char ks[256];
    memset(ks, 0xFF, sizeof(ks));
    vk[VK_NUMLOCK] = 0x80;
    vk[VK_LWIN] = 0x80;
    vk[VK_KANJI] = 0x80;
    vk[VK_LBUTTON] = 0x80;
    RebuildKeyStateFromVk(vk, ks);
    for (int k = 0; k < 256; k++) ASSERT_EQ(ks[k], 0) << "code " << k;
}

TEST(KeyStateRebuild, EveryRowLandsOnItsOwnCodeAndByteZeroStaysClear) {
    unsigned char vk[256];
    unsigned char ks[256];
    memset(vk, 0x80, sizeof(vk));
    RebuildKeyStateFromVk(vk, ks);
    int set = 0;
    for (int k = 0; k < 256; k++) set += ks[k] != 0;
    EXPECT_EQ(set, 99);
    EXPECT_EQ(ks[0], 0);
    // No key reaches Kanji, Kana, Convert, NoConvert, Circumflex, NumLock or the Windows keys.
    for (int code : {0x94, 0x70, 0x79, 0x7B, 0x90, 0x45, 0xDB, 0xDC}) EXPECT_EQ(ks[code], 0) << code;
    // Letters follow the DirectInput layout, not the alphabet.
    vk[0] = 0;
    memset(vk, 0, sizeof(vk));
    vk['Q'] = 0x80;
    RebuildKeyStateFromVk(vk, ks);
    EXPECT_EQ(ks[0x10], 0x80);
}

class PadCompose : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteDefaultKeyMap(map);
        memset(&joy, 0, sizeof(joy));
        memset(keys, 0, sizeof(keys));
    }
    int map[MAX_JOYPADS][32][4];
    DIJOYSTATE joy;
    unsigned char keys[256];
};

TEST_F(PadCompose, DirectionsFromTheSignsOfXAndYOnly) {
    joy.lX = -1;
    EXPECT_EQ(ComposePadState(&joy, nullptr, nullptr), 0x2);
    joy.lX = 1000;
    joy.lY = -1;
    EXPECT_EQ(ComposePadState(&joy, nullptr, nullptr), 0x4 | 0x8);
    joy.lX = 0;
    joy.lY = 3;
    joy.lZ = -1000;
    joy.rgdwPOV[0] = 9000;
    EXPECT_EQ(ComposePadState(&joy, nullptr, nullptr), 0x1);
}

TEST_F(PadCompose, ButtonsZeroTo23OnBits4To27) {
    joy.rgbButtons[0] = 0x80;
    EXPECT_EQ(ComposePadState(&joy, nullptr, nullptr), 0x10);
    joy.rgbButtons[0] = 0x7F;  // only bit 7 counts
    joy.rgbButtons[23] = 0x80;
    EXPECT_EQ((uint32_t)ComposePadState(&joy, nullptr, nullptr), 0x08000000u);
    joy.rgbButtons[24] = 0x80;
    joy.rgbButtons[31] = 0x80;
    EXPECT_EQ((uint32_t)ComposePadState(&joy, nullptr, nullptr), 0x08000000u);
}

TEST_F(PadCompose, KeyboardMergesThroughTheMap) {
    keys[0xC8] = 0x80;  // Up arrow
    keys[0x2C] = 0x80;  // Z
    EXPECT_EQ(ComposePadState(nullptr, keys, map[0]), 0x8 | 0x10);
    joy.lX = -5;
    EXPECT_EQ(ComposePadState(&joy, keys, map[0]), 0x2 | 0x8 | 0x10);
    // Pad 2's map holds no key.
    EXPECT_EQ(ComposePadState(nullptr, keys, map[1]), 0);
    // A mapped bit above 27 comes from keys alone.
    map[0][31][2] = 0x39;
    keys[0x39] = 0x80;
    EXPECT_EQ((uint32_t)ComposePadState(nullptr, keys, map[0]), 0x8u | 0x10 | 0x2000 | 0x80000000u);
}

TEST_F(PadCompose, DefaultMapEverythingDownGivesPadOneBitsOnly) {
    memset(keys, 0x80, sizeof(keys));
    keys[0] = 0;  // byte 0 belongs to no key: the placeholder codes 0 never match
    EXPECT_EQ(ComposePadState(nullptr, keys, map[0]), 0x3FFF);
    for (int p = 1; p < MAX_JOYPADS; p++) EXPECT_EQ(ComposePadState(nullptr, keys, map[p]), 0) << p;
    EXPECT_EQ(map[0][12][0], 0x01);  // button 8 is Escape
    EXPECT_EQ(map[0][12][1], -1);
    EXPECT_EQ(map[0][0][1], 0xD0);
}

TEST(AnyKeyScan, LatchedKeysSkippedLowestCodeFirstAndF10Hook) {
    unsigned char keys[256] = {};
    keys[0x3A] = keys[0x70] = keys[0x94] = 0x80;
    EXPECT_EQ(ScanAnyKey(keys, 0), 0);
    EXPECT_EQ(ScanAnyKey(keys, 1), 0x44);
    keys[0x2C] = 0x80;
    EXPECT_EQ(ScanAnyKey(keys, 1), 0x2C);
    keys[0x01] = 0x80;
    EXPECT_EQ(ScanAnyKey(keys, 0), 0x01);
    memset(keys, 0, sizeof(keys));
    keys[0xFF] = 0x80;
    EXPECT_EQ(ScanAnyKey(keys, 0), 0xFF);
}
