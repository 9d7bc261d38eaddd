// The engine's smoke run: sets the engine up as a game would, starts it, runs a
// frame loop through every registered demo part and ends it again.
#include <windows.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "demo/demo_parts.h"
#include "engine/graphics/graphics_system.h"
#include "engine/image/memimg.h"
#include "engine/input/input.h"
#include "engine/system/library.h"
#include "engine/system/log.h"
#include "engine/system/tick.h"
#include "engine/system/window.h"

namespace {

const int kMaxParts = 64;
// Plain zero-initialised storage: parts register from other files' static constructors.
const DemoPart* g_parts[kMaxParts];
int g_part_count;

const char* const kScenes[] = {"graphics", "shapes", "blits"};
const int kSceneCount = 3;
const char* g_fixed_scene;
int g_scene_frames = 1;

struct CaptureRequest {
    int at_frame = -1;
    const char* done_path = nullptr;
};

int ParseArguments(int argc, char** argv, DemoOptions* o, CaptureRequest* cap) {
    o->frames = 300;
    o->software = 0;
    o->argc = argc;
    o->argv = argv;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--frames") && i + 1 < argc) {
            o->frames = std::atoi(argv[++i]);
        } else if (!std::strcmp(a, "--software")) {
            o->software = 1;
        } else if (!std::strcmp(a, "--scene") && i + 1 < argc) {
            g_fixed_scene = argv[++i];
        } else if (!std::strcmp(a, "--capture-at") && i + 1 < argc) {
            cap->at_frame = std::atoi(argv[++i]);
        } else if (!std::strcmp(a, "--capture-done") && i + 1 < argc) {
            cap->done_path = argv[++i];
        }
        // Switches of the parts are left for them to read from argv.
    }
    g_scene_frames = o->frames / kSceneCount > 0 ? o->frames / kSceneCount : 1;
    return 0;
}

void SortParts() {
    // Insertion sort keeps registration order among equal orders.
    for (int i = 1; i < g_part_count; i++) {
        const DemoPart* p = g_parts[i];
        int j = i;
        for (; j > 0 && g_parts[j - 1]->order > p->order; j--) g_parts[j] = g_parts[j - 1];
        g_parts[j] = p;
    }
}

// One frame of every part; -1 when the program should leave.
int RunFrame(int n) {
    if (ProcessWindowMessages() == -1) return -1;
    if (CheckKeyDown(0x01)) return -1;  // DIK_ESCAPE
    for (int i = 0; i < g_part_count; i++)
        if (g_parts[i]->frame) g_parts[i]->frame(n);
    for (int i = 0; i < g_part_count; i++)
        if (g_parts[i]->after_frame) g_parts[i]->after_frame(n);
    return 0;
}

void WaitForCapture(const CaptureRequest& cap, int n) {
    std::printf("capture-ready\n");
    std::fflush(stdout);
    if (!cap.done_path) return;
    int start = GetTickMs();
    // Keep the picture alive (pump and draw) until the screenshot is taken.
    while (GetFileAttributesA(cap.done_path) == INVALID_FILE_ATTRIBUTES && GetTickMs() - start < 10000) {
        if (RunFrame(n) == -1) return;
    }
}

}  // namespace

static int g_failures;

int DemoSceneShown(const char* scene, int n) {
    if (g_fixed_scene) return !std::strcmp(scene, g_fixed_scene);
    int i = n / g_scene_frames;
    if (i >= kSceneCount) i = kSceneCount - 1;
    return !std::strcmp(scene, kScenes[i]);
}

void DemoReportFailure(const char* part, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "demo failure: %s: ", part);
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    std::fflush(stderr);
    va_end(args);
    g_failures++;
}

unsigned DemoScreenPixel(int x, int y) {
    MEMIMG* screen = GetScreenMemImg();
    unsigned v = 0;
    std::memcpy(&v, MemImagePixelAt(screen, x, y), MemImageBytesPerPixel(screen));
    return v;
}

void RegisterDemoPart(const DemoPart* part) {
    if (g_part_count < kMaxParts) g_parts[g_part_count++] = part;
}

// Wine ends a crashed program with status 0 when no error box is shown; the
// smoke run must see a crash as a failure.
static LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    std::fprintf(stderr, "demo: crash 0x%08lX at %p\n", info->ExceptionRecord->ExceptionCode,
                 info->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(int argc, char** argv) {
    SetUnhandledExceptionFilter(ReportCrash);
    DemoOptions options;
    CaptureRequest capture;
    ParseArguments(argc, argv, &options, &capture);
    SortParts();

    SetOutputLogFlag(1);
    SetGraphMode(640, 480, 16, 60);
    ChangeWindowMode(1);
    SetMainWindowText("Engine demo");
    for (int i = 0; i < g_part_count; i++)
        if (g_parts[i]->pre_start) g_parts[i]->pre_start(options);

    if (InitLibrarySystems() == -1) return -1;
    int started = 0;
    for (; started < g_part_count; started++) {
        if (g_parts[started]->start && g_parts[started]->start() == -1) {
            std::printf("demo: part %s failed to start\n", g_parts[started]->name);
            break;
        }
    }
    int result = started == g_part_count ? 0 : -1;

    // The graphics part presents every frame, and presenting paces the loop to 60 a second.
    if (result == 0) {
        for (int n = 0; n < options.frames; n++) {
            if (RunFrame(n) == -1) break;
            if (n == capture.at_frame) WaitForCapture(capture, n);
        }
    }

    for (int i = started - 1; i >= 0; i--)
        if (g_parts[i]->end) g_parts[i]->end();
    EndLibrarySystems();
    if (result == 0 && g_failures) result = 1;
    return result;
}
