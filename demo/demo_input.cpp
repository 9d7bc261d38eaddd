// Demo part: prints the pad state of pad 1 merged with the keyboard whenever it changes.
#include <cstdio>

#include "demo/demo_parts.h"
#include "engine/input/input.h"

static int g_last_state = -1;
static int g_changes = 0;

static void InputFrame(int n) {
    PadState state = GetPadState(INPUT_TYPE_KEYBOARD | 1);
    if (state == g_last_state) return;
    g_last_state = state;
    g_changes++;
    printf("input: frame %d pad 1 + keyboard = 0x%08X\n", n, (unsigned)state);
    fflush(stdout);
}

static void InputEnd() {
    printf("input: %d pad state change(s), %d joypad(s)\n", g_changes, GetJoypadCount());
    fflush(stdout);
}

static const DemoPart g_input_part = {"input", 20, nullptr, nullptr, InputFrame, nullptr, InputEnd};
DEMO_PART(g_input_part);
