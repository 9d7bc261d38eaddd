// The back screen as a whole: clear, present with frame pacing, capture, and the
// repaint of the window from the last software frame.
#pragma once
#include <windows.h>

struct BaseImage;

// Fills the whole back screen with black. 0 or -1.
int ClearScreen();
// Shows the back screen in the window (Direct3D present, or the software screen
// through GDI), then waits for the next 1/60 s step of the frame clock. 0 or -1.
int PresentScreen();
// Copies the back screen into a new X8R8G8B8 base image; the caller releases it
// with BaseImageRelease. 0 or -1.
int CaptureScreen(BaseImage* out);
// WM_PAINT: draws the last software frame into the window's DC (nothing in
// Direct3D mode).
void PaintWindowFromScreen(HWND hwnd, HDC dc);
