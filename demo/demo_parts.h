// The demo is a frame loop plus parts that each show one subsystem. A part
// lives in its own file and registers itself with DEMO_PART.
#pragma once

struct DemoOptions {
    int frames;        // frames to run (--frames N)
    int software;      // --software: draw without Direct3D
    int argc;
    char** argv;
};

struct DemoPart {
    const char* name;
    int order;                                 // lower runs first
    void (*pre_start)(const DemoOptions& o);   // before engine start (settings), may be null
    int (*start)();                            // after engine start; -1 fails the demo; may be null
    void (*frame)(int n);                      // once per frame (graphics clears in its own); may be null
    void (*after_frame)(int n);                // after every part's frame (graphics presents); may be null
    void (*end)();                             // before engine end; may be null
};

void RegisterDemoPart(const DemoPart* part);

struct DemoPartRegistrar {
    explicit DemoPartRegistrar(const DemoPart* p) { RegisterDemoPart(p); }
};
#define DEMO_PART(var) static DemoPartRegistrar var##_registrar(&var)

// A part that checks what it showed (pixels read back, sounds played) reports a
// failure here (printf-style); the demo then exits with 1 after ending the engine.
void DemoReportFailure(const char* part, const char* format, ...);

// The raw value of one pixel of the software screen (2 or 4 bytes).
unsigned DemoScreenPixel(int x, int y);

// The drawing parts take turns: "graphics", "shapes", then "blits", each for a
// third of the frames, unless --scene NAME keeps one on screen throughout.
int DemoSceneShown(const char* scene, int n);
