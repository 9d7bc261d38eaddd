#include "engine/graphics/draw_settings.h"

DrawSettings GDrawSettings = {
    {0, 0, 640, 480},      // draw area
    0, 255,                // blend mode, parameter
    {255, 255, 255, 0},    // bright: white
    -1, 0, 0, nullptr,     // no blend graph
    -2,                    // back screen
    0, 0, 0, 1, 0,
    0,                     // transparent colour
    0, 0, 16, 1,
};
