// The engine-wide drawing state. No Windows header: the software renderer reads it.
#pragma once
#include <cstdint>
#include "engine/system/rect.h"

struct MEMIMG;

enum {
    DX_BLENDMODE_NOBLEND = 0, DX_BLENDMODE_ALPHA = 1, DX_BLENDMODE_ADD = 2, DX_BLENDMODE_SUB = 3,
    DX_BLENDMODE_MUL = 4, DX_BLENDMODE_INVSRC = 10, DX_BLENDMODE_MULA = 11,
};

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

inline uint32_t DrawBrightValue(const DrawSettings& s) {
    return (uint32_t)s.bright[0] | ((uint32_t)s.bright[1] << 8) | ((uint32_t)s.bright[2] << 16);
}
inline bool DrawBrightIsWhite(const DrawSettings& s) { return DrawBrightValue(s) == 0xFFFFFF; }
