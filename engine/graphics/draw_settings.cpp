#include "engine/graphics/draw_settings.h"

DrawSettings GDrawSettings = {
    {0, 0, 640, 480},      // draw area
    0, 255,                // blend mode, parameter
    {255, 255, 255, 0},    // bright: white
    -1, 0, 0, nullptr,     // no blend graph
    DX_SCREEN_BACK,
    0, 0, 0, 1, 0,
    0,                     // transparent colour
    0, 0, 16, 1,
};

ScreenMode GScreenMode = {640, 480, 16};

static int Clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }
static int ClampTo(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

int SetDrawArea(int left, int top, int right, int bottom) {
    if (right < left) right = left;
    if (bottom < top) bottom = top;
    Rect& a = GDrawSettings.draw_area;
    a.bottom = ClampTo(bottom, 0, GScreenMode.height);
    a.top = ClampTo(top, 0, GScreenMode.height);
    a.right = ClampTo(right, 0, GScreenMode.width);
    a.left = ClampTo(left, 0, GScreenMode.width);
    return 0;
}

int SetDrawBright(int red, int green, int blue) {
    GDrawSettings.bright[0] = (uint8_t)Clamp255(blue);
    GDrawSettings.bright[1] = (uint8_t)Clamp255(green);
    GDrawSettings.bright[2] = (uint8_t)Clamp255(red);
    GDrawSettings.bright[3] = 0;
    return 0;
}

int SetDrawBrightPacked(uint32_t rgb) {
    return SetDrawBright((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

int SetBlendModeParam(int mode, int param) {
    GDrawSettings.blend_mode = mode;
    GDrawSettings.blend_param = Clamp255(param);
    return 0;
}

int SetDrawFilterMode(int mode) {
    if (IsDrawingSuppressed() || GDrawSettings.filter_mode == mode) return 0;
    GDrawSettings.filter_mode = mode;
    return 0;
}

uint32_t PackScreenColor(int red, int green, int blue) {
    red = Clamp255(red);
    green = Clamp255(green);
    blue = Clamp255(blue);
    if (GScreenMode.color_depth == 32)
        return 0xFF000000u | ((uint32_t)red << 16) | ((uint32_t)green << 8) | (uint32_t)blue;
    return ((uint32_t)(red >> 3) << 11) | ((uint32_t)(green >> 2) << 5) | (uint32_t)(blue >> 3);
}

int UnpackScreenColor(uint32_t color, int* red, int* green, int* blue) {
    int r, g, b;
    if (GScreenMode.color_depth == 32) {
        r = (color >> 16) & 0xFF;
        g = (color >> 8) & 0xFF;
        b = color & 0xFF;
    } else {
        int r5 = (color >> 11) & 31, g6 = (color >> 5) & 63, b5 = color & 31;
        r = (r5 << 3) | (r5 >> 2);
        g = (g6 << 2) | (g6 >> 4);
        b = (b5 << 3) | (b5 >> 2);
    }
    if (red) *red = r;
    if (green) *green = g;
    if (blue) *blue = b;
    return 0;
}

int GetScreenColorDepth() { return GScreenMode.color_depth ? GScreenMode.color_depth : 16; }

int GetCreateGraphicAlphaChannelFlag() { return GDrawSettings.create_alpha_channel; }
int SetCreateGraphicAlphaChannelFlag(int flag) { GDrawSettings.create_alpha_channel = flag ? 1 : 0; return 0; }
int GetCreateGraphicAlphaTestFlag() { return GDrawSettings.create_alpha_test; }
int SetCreateGraphicAlphaTestFlag(int flag) { GDrawSettings.create_alpha_test = flag ? 1 : 0; return 0; }
int GetCreateGraphicColorBitDepth() { return GDrawSettings.create_color_bit_depth; }
int SetCreateGraphicColorBitDepth(int bits) { GDrawSettings.create_color_bit_depth = bits == 32 ? 32 : 16; return 0; }
int GetUseHardwareRendering() { return GDrawSettings.use_hardware; }
int SetUseHardwareRendering(int flag) { GDrawSettings.use_hardware = flag ? 1 : 0; return 0; }
