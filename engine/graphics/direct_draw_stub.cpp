#include "engine/graphics/direct_draw_stub.h"

int ReturnZeroStub() { return 0; }

const void* ZeroDirectDrawCaps() {
    // Large enough for the DDCAPS record of DirectDraw 7 (380 bytes).
    static const unsigned int caps[128] = {};
    return caps;
}
