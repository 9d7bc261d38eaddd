// The engine-wide drawing state. No Windows header: the software renderer reads it.
#pragma once
#include <cstdint>
#include "engine/system/rect.h"

struct MEMIMG;

enum {
    DX_BLENDMODE_NOBLEND = 0, DX_BLENDMODE_ALPHA = 1, DX_BLENDMODE_ADD = 2, DX_BLENDMODE_SUB = 3,
    DX_BLENDMODE_MUL = 4, DX_BLENDMODE_INVSRC = 10, DX_BLENDMODE_MULA = 11,
};

// Draw targets other than a graphic handle.
enum { DX_SCREEN_BACK = -2, DX_SCREEN_FRONT = -4 };

struct DrawSettings {
    Rect draw_area;
    int32_t blend_mode;
    int32_t blend_param;            // 0..255
    uint8_t bright[4];              // blue, green, red, then 0; white = low 24 bits 0xFFFFFF
    int32_t blend_graph;            // graphic handle or -1
    int32_t blend_graph_border;     // 0..255
    int32_t blend_graph_range;      // 0..255
    MEMIMG* blend_graph_image;      // software view of the graph, null when none
    int32_t draw_target;            // graphic handle, or -2 back screen, -4 front
    int32_t draw_suppressed;        // while the device is lost
    int32_t draw_suppressed2;       // while restoring
    int32_t mask_in_use;
    int32_t device_can_subtract;
    int32_t filter_mode;            // 0 point, 1 linear
    uint32_t trans_color;           // 0xRRGGBB
    int32_t create_alpha_channel;
    int32_t create_alpha_test;
    int32_t create_color_bit_depth; // 16 or 32
    int32_t use_hardware;           // 1: Direct3D when it can be made
};

extern DrawSettings GDrawSettings;

// The screen as drawing sees it: 640 x 480 x 16 until graphics start sets the mode.
struct ScreenMode {
    int32_t width, height;
    int32_t color_depth;            // 16 or 32 (8 is refused at start)
};
extern ScreenMode GScreenMode;

inline uint32_t DrawBrightValue(const DrawSettings& s) {
    return (uint32_t)s.bright[0] | ((uint32_t)s.bright[1] << 8) | ((uint32_t)s.bright[2] << 16);
}
inline bool DrawBrightIsWhite(const DrawSettings& s) { return DrawBrightValue(s) == 0xFFFFFF; }
inline int IsDrawingSuppressed() { return GDrawSettings.draw_suppressed || GDrawSettings.draw_suppressed2; }

// Stores (left, top, right, bottom) with right >= left and bottom >= top, cut to the
// draw target (the screen). Returns 0.
int SetDrawArea(int left, int top, int right, int bottom);
// Each channel clamped to 0..255. Return 0.
int SetDrawBright(int red, int green, int blue);
int SetDrawBrightPacked(uint32_t rgb);          // 0xRRGGBB; the top byte is ignored
// The parameter is clamped to 0..255. Returns 0.
int SetBlendModeParam(int mode, int param);
// 0 point, 1 linear; nothing happens while drawing is suppressed. Returns 0.
int SetDrawFilterMode(int mode);

// A pixel value of the screen format: 5-6-5 for 16 bits, 0xFFRRGGBB for 32.
uint32_t PackScreenColor(int red, int green, int blue);
// Splits such a value into 0..255 channels; 5- and 6-bit fields are widened by
// repeating their top bits, so white stays 255. Any out pointer may be null.
int UnpackScreenColor(uint32_t color, int* red, int* green, int* blue);
int GetScreenColorDepth();

// Settings of graphics created from now on; the setters return 0.
int GetCreateGraphicAlphaChannelFlag();
int SetCreateGraphicAlphaChannelFlag(int flag);
int GetCreateGraphicAlphaTestFlag();
int SetCreateGraphicAlphaTestFlag(int flag);
int GetCreateGraphicColorBitDepth();
int SetCreateGraphicColorBitDepth(int bits);
int GetUseHardwareRendering();
int SetUseHardwareRendering(int flag);
