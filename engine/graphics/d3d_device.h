// The Direct3D 9 device layer: d3d9.dll loaded by name, one windowed HAL device,
// its frame scene, present, loss detection with reset, and restart.
#pragma once
#include <cstdint>
#include <windows.h>
#include <d3d9.h>

struct BaseImage;

// Makes the device on the window for the screen mode; 0 or -1 (with a log line).
int D3DDeviceStart(HWND hwnd);
// Releases the device, the Direct3D object and the library.
void D3DDeviceEnd();
IDirect3DDevice9* D3DDevice();
// Texture sizes must be powers of two on this device.
int D3DTexturesNeedPow2();
// Opens the frame's scene when needed; -1 when nothing can be drawn now.
int D3DBeginDraw();
// Fills the back buffer (the draw area is ignored) with an X8R8G8B8 colour.
int D3DClear(uint32_t xrgb);
// Ends the scene and presents; a lost device suppresses drawing until a reset works.
int D3DPresent();
// Resets a lost device when it allows; 0 once drawing can go on.
int D3DRecoverDevice();
// Copies the back buffer into a new X8R8G8B8 base image (the caller releases it).
int D3DCaptureBackBuffer(BaseImage* out);
// Applies the fixed render states (after creation and every reset).
void D3DSetDefaultStates();

// Makes a new device and moves every graphic onto it; then restarts input. 0 or -1.
int RestartGraphicsDevice();
// Test hook: the next present reports the device lost and in need of a reset.
void ForceGraphicsDeviceLossForTest();
