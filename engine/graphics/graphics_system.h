// Graphics start and end, and the state other subsystems read: whether drawing
// goes through Direct3D 9, the software screen and the two text work images.
#pragma once

struct MEMIMG;
struct IDirect3DDevice9;

// Starts graphics on the main window with the mode of SetGraphMode: Direct3D 9
// when hardware rendering is on and a device can be made, else the software
// screen. 0 or -1 (an 8-bit or unknown depth is refused).
int InitGraphics();
// Deletes every graphic and releases the device or the software images. Returns 0.
int EndGraphics();
int IsGraphicsStarted();
// 1 while graphics runs on a Direct3D 9 device.
int GraphicsUsesD3D();
// The software draw target (null in Direct3D mode or before start).
MEMIMG* GetScreenMemImg();
// Screen-sized work images for software text: without (0) or with (1) alpha.
MEMIMG* GetTextWorkImage(int with_alpha);
// The device, null in software mode.
IDirect3DDevice9* GetD3DDevice();
