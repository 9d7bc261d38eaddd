// Demo part: posts typed characters and an editing key to the window, then pops
// them from the character queue and prints each whole character.
#include <windows.h>
#include <cstdio>

#include "demo/demo_parts.h"
#include "engine/input/text_input.h"
#include "engine/system/window.h"

// 'H', 'i', a double-byte character (two WM_CHAR bytes), LF (queued as CR) and
// Left (queued as its control code). 0x02 is not queued.
static const unsigned char kPosted[] = {'H', 'i', 0x82, 0xA0, 0x0A, 0x02};
static const unsigned char kExpected[] = {'H', 'i', 0x82, 0xA0, 0x0D, 0x1D};
static int g_matched;
static int g_popped;

static int TextInputStart() {
    HWND w = GetMainWindow();
    for (unsigned char c : kPosted) PostMessageA(w, WM_CHAR, c, 0);
    PostMessageA(w, WM_KEYDOWN, VK_LEFT, 0);
    return 0;
}

static void TextInputFrame(int n) {
    char ch[2];
    for (int size; (size = PopInputChar(ch, 1)) > 0;) {
        g_popped++;
        // Keys typed by someone at the window may come in between.
        for (int i = 0; i < size && g_matched < (int)sizeof kExpected; i++)
            if ((unsigned char)ch[i] == kExpected[g_matched]) g_matched++;
        if (size == 2)
            printf("textinput: frame %d popped %02X %02X\n", n, (unsigned char)ch[0], (unsigned char)ch[1]);
        else
            printf("textinput: frame %d popped %02X\n", n, (unsigned char)ch[0]);
    }
    fflush(stdout);
}

static void TextInputEnd() {
    printf("textinput: %d character(s) popped\n", g_popped);
    fflush(stdout);
    if (g_matched != (int)sizeof kExpected)
        DemoReportFailure("textinput", "%d of %d posted bytes came out of the queue in order", g_matched,
                          (int)sizeof kExpected);
}

static const DemoPart g_textinput_part = {"textinput", 25, nullptr, TextInputStart, TextInputFrame, nullptr,
                                          TextInputEnd};
DEMO_PART(g_textinput_part);
