// Virtual-key to DirectInput key-code table and the default key map.
#include "engine/input/input_state.h"

#include <cstring>

struct VkToDikRow {
    uint16_t vk;
    uint16_t dik;
    uint16_t flag;  // unused
};

static const VkToDikRow VkToDikTable[] = {
    // Letters A-Z.
    {0x41, 0x1E, 0}, {0x42, 0x30, 0}, {0x43, 0x2E, 0}, {0x44, 0x20, 0}, {0x45, 0x12, 0},
    {0x46, 0x21, 0}, {0x47, 0x22, 0}, {0x48, 0x23, 0}, {0x49, 0x17, 0}, {0x4A, 0x24, 0},
    {0x4B, 0x25, 0}, {0x4C, 0x26, 0}, {0x4D, 0x32, 0}, {0x4E, 0x31, 0}, {0x4F, 0x18, 0},
    {0x50, 0x19, 0}, {0x51, 0x10, 0}, {0x52, 0x13, 0}, {0x53, 0x1F, 0}, {0x54, 0x14, 0},
    {0x55, 0x16, 0}, {0x56, 0x2F, 0}, {0x57, 0x11, 0}, {0x58, 0x2D, 0}, {0x59, 0x15, 0},
    {0x5A, 0x2C, 0},
    // Digits 0-9.
    {0x30, 0x0B, 0}, {0x31, 0x02, 0}, {0x32, 0x03, 0}, {0x33, 0x04, 0}, {0x34, 0x05, 0},
    {0x35, 0x06, 0}, {0x36, 0x07, 0}, {0x37, 0x08, 0}, {0x38, 0x09, 0}, {0x39, 0x0A, 0},
    // Arrows.
    {VK_LEFT, 0xCB, 0}, {VK_UP, 0xC8, 0}, {VK_RIGHT, 0xCD, 0}, {VK_DOWN, 0xD0, 0},
    // Punctuation (Japanese layout).
    {0xBB, 0x27, 0}, {0xBA, 0x92, 0}, {0xDB, 0x1A, 0}, {0xDD, 0x1B, 0}, {0xC0, 0x91, 0},
    {0xE2, 0x2B, 0}, {0xBC, 0x33, 0}, {0xBD, 0x0C, 0}, {0xDC, 0x7D, 0}, {0xBE, 0x34, 0},
    {0xBF, 0x35, 0},
    {VK_DELETE, 0xD3, 0}, {VK_ESCAPE, 0x01, 0}, {VK_SPACE, 0x39, 0}, {VK_BACK, 0x0E, 0},
    {VK_TAB, 0x0F, 0}, {VK_RETURN, 0x1C, 0},
    // Numeric pad; the window system cannot tell its Enter apart, so Enter sets both.
    {VK_NUMPAD0, 0x52, 0}, {VK_NUMPAD1, 0x4F, 0}, {VK_NUMPAD2, 0x50, 0}, {VK_NUMPAD3, 0x51, 0},
    {VK_NUMPAD4, 0x4B, 0}, {VK_NUMPAD5, 0x4C, 0}, {VK_NUMPAD6, 0x4D, 0}, {VK_NUMPAD7, 0x47, 0},
    {VK_NUMPAD8, 0x48, 0}, {VK_NUMPAD9, 0x49, 0},
    {VK_MULTIPLY, 0x37, 0}, {VK_ADD, 0x4E, 0}, {VK_SUBTRACT, 0x4A, 0}, {VK_DECIMAL, 0x53, 0},
    {VK_DIVIDE, 0xB5, 0}, {VK_RETURN, 0x9C, 0},
    // Modifiers and editing keys.
    {VK_LSHIFT, 0x2A, 0}, {VK_RSHIFT, 0x36, 0}, {VK_LCONTROL, 0x1D, 0}, {VK_RCONTROL, 0x9D, 0},
    {VK_PRIOR, 0xC9, 0}, {VK_NEXT, 0xD1, 0}, {VK_END, 0xCF, 0}, {VK_HOME, 0xC7, 0},
    {VK_INSERT, 0xD2, 0}, {VK_LMENU, 0x38, 0}, {VK_RMENU, 0xB8, 0}, {VK_SCROLL, 0x46, 0},
    {VK_CAPITAL, 0x3A, 0}, {VK_PAUSE, 0xC5, 0},
    // Function keys.
    {VK_F1, 0x3B, 0}, {VK_F2, 0x3C, 0}, {VK_F3, 0x3D, 0}, {VK_F4, 0x3E, 0}, {VK_F5, 0x3F, 0},
    {VK_F6, 0x40, 0}, {VK_F7, 0x41, 0}, {VK_F8, 0x42, 0}, {VK_F9, 0x43, 0}, {VK_F10, 0x44, 0},
    {VK_F11, 0x57, 0}, {VK_F12, 0x58, 0},
    {0xFFFF, 0, 0},
};
static_assert(sizeof(VkToDikTable) / sizeof(VkToDikTable[0]) == 100, "99 rows and the end row");

void RebuildKeyStateFromVk(const unsigned char vk_state[256], unsigned char key_state[256]) {
    memset(key_state, 0, 256);
    for (const VkToDikRow* row = VkToDikTable; row->vk != 0xFFFF; row++)
        key_state[row->dik] = vk_state[row->vk];
}

void WriteDefaultKeyMap(int map[MAX_JOYPADS][32][4]) {
    // Codes 0 are never down (key-state byte 0 belongs to no key).
    for (int p = 0; p < MAX_JOYPADS; p++)
        for (int b = 0; b < 32; b++) {
            map[p][b][0] = -1;
            map[p][b][1] = -1;
            map[p][b][2] = 0;
            map[p][b][3] = 0;
        }
    static const int pad1[14][2] = {
        {0x50, 0xD0}, {0x4B, 0xCB}, {0x4D, 0xCD}, {0x48, 0xC8},   // down, left, right, up
        {0x2C, -1}, {0x2D, -1}, {0x2E, -1}, {0x1E, -1}, {0x1F, -1},  // Z X C A S
        {0x20, -1}, {0x10, -1}, {0x11, -1}, {0x01, -1}, {0x39, -1},  // D Q W Esc Space
    };
    for (int b = 0; b < 14; b++) {
        map[0][b][0] = pad1[b][0];
        map[0][b][1] = pad1[b][1];
    }
}
