// The window-less pieces of input: axis mapping, key-state rebuild, pad bits, any-key scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "engine/input/input_state.h"

TEST(FallbackAxis, EdgesOfTheDeadZoneAndFullDeflection) {
    const struct { uint32_t raw; int axis; } cases[] = {
        {0, -1000}, {1, -999}, {16383, 0}, {16384, 0}, {49152, 0}, {49153, 0}, {57344, 500}, {65534, 999},
        {65535, 1000},
    };
    for (const auto& c : cases) EXPECT_EQ(MapFallbackAxis(c.raw), c.axis) << c.raw;
}

TEST(KeyStateRebuild, EachVirtualKeySetsItsCodesAndClearsEveryOtherByte) {
    // Both Enters from the one the window system has, the toggle bit coming along, letters in the key
    // layout, the Japanese OEM keys; keys outside the table set nothing.
    const struct { int vk; unsigned char value; int codes[2]; } cases[] = {
        {VK_RETURN, 0x80, {0x1C, 0x9C}}, {VK_NUMPAD5, 0x81, {0x4C}}, {'Q', 0x80, {0x10}}, {0xBA, 0x80, {0x92}},
        {0xDC, 0x80, {0x7D}}, {0xE2, 0x80, {0x2B}}, {VK_DIVIDE, 0x80, {0xB5}}, {VK_NUMLOCK, 0x80, {}},
        {VK_LWIN, 0x80, {}}, {VK_LBUTTON, 0x80, {}},
    };
    for (const auto& c : cases) {
        unsigned char vk[256] = {}, ks[256];
        memset(ks, 0xFF, sizeof(ks));
        vk[c.vk] = c.value;
        RebuildKeyStateFromVk(vk, ks);
        int expected = 0;
        for (int code : c.codes) {
            if (!code) continue;
            EXPECT_EQ(ks[code], c.value) << c.vk;
            expected++;
        }
        EXPECT_EQ(256 - std::count(ks, ks + 256, 0), expected) << c.vk;
    }
}

TEST(PadCompose, JoystickBitsAndKeysThroughAMap) {
    DIJOYSTATE joy = {};
    joy.lX = -1;
    joy.lY = 3;
    joy.lZ = -1000;  // only X and Y give directions
    joy.rgbButtons[0] = 0x7F;  // only bit 7 counts
    joy.rgbButtons[23] = joy.rgbButtons[24] = 0x80;  // the last button and one beyond
    EXPECT_EQ((uint32_t)ComposePadState(&joy, nullptr, nullptr), 0x2u | 0x1 | 0x08000000);
    joy.lX = 1000;
    joy.lY = -1;
    EXPECT_EQ((uint32_t)ComposePadState(&joy, nullptr, nullptr), 0x4u | 0x8 | 0x08000000);

    int map[MAX_JOYPADS][32][4];
    WriteDefaultKeyMap(map);
    map[0][31][2] = 0x39;  // a bit above 27 comes from keys alone
    unsigned char keys[256] = {};
    keys[0xC8] = keys[0x2C] = keys[0x39] = 0x80;  // Up, Z, Space
    EXPECT_EQ((uint32_t)ComposePadState(nullptr, keys, map[0]), 0x8u | 0x10 | 0x2000 | 0x80000000u);
    EXPECT_EQ((uint32_t)ComposePadState(&joy, keys, map[0]), 0x4u | 0x8 | 0x10 | 0x2000 | 0x80000000u | 0x08000000);
    EXPECT_EQ(ComposePadState(nullptr, keys, map[1]), 0);
}

TEST(AnyKeyScan, LatchedKeysSkippedLowestCodeFirstAndF10Hook) {
    unsigned char keys[256] = {};
    keys[0x3A] = keys[0x70] = keys[0x94] = 0x80;  // Caps Lock, Kana, Kanji
    EXPECT_EQ(ScanAnyKey(keys, 0), 0);
    EXPECT_EQ(ScanAnyKey(keys, 1), 0x44);
    keys[0xFF] = 0x80;
    EXPECT_EQ(ScanAnyKey(keys, 1), 0xFF);
    keys[0x2C] = keys[0x01] = 0x80;
    EXPECT_EQ(ScanAnyKey(keys, 0), 0x01);
}
