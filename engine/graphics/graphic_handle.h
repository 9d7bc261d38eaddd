// Graphic handles (handle type 1): pictures that drawing calls take. In Direct3D
// mode each graphic is a texture (a derived graphic shares its source's texture
// at an offset); in software mode a MEMIMG or a view of one.
#pragma once

struct BaseImage;
struct Rect;

// An empty graphic with the current create-graphic settings; the handle or -1.
int MakeEmptyGraphic(int width, int height);
// The same with a texture that StretchRect can write (the screen's format, no
// alpha); in software mode a plain empty graphic.
int MakeRenderTargetGraphic(int width, int height);
// A graphic showing (x, y, width, height) of src, sharing its image; the rectangle
// is cut to the source. The handle, -1, or 0 while drawing is suppressed.
int DeriveGraphic(int x, int y, int width, int height, int src);
// Deletes the graphic and raises its lost flag. 0, or -1 for a bad handle.
int DeleteGraphic(int graphic, int reserved);
// Registers *flag (set to 0 now, to 1 when the graphic is deleted or lost). 0 or -1.
int SetGraphicLostFlag(int graphic, int* flag);
int GetGraphicSize(int graphic, int* width, int* height);
// Fills the whole graphic with the colour (alpha 0..255). 0 or -1.
int FillGraphic(int graphic, int red, int green, int blue, int alpha);
// Transfers src_rect of the image (null: all of it) to (x, y) of the graphic. The
// image stays the caller's and must live as long as the graphic: it is the source
// the texture is restored from after a device loss. alpha_image must be null. 0 or -1.
int BltImageToGraphic(const BaseImage* image, const BaseImage* alpha_image, const Rect* src_rect,
                      int x, int y, int graphic);
// Installs (or with -1 removes) the blend graph and rebuilds BlendGraphicTable from
// the two parameters (each clamped to 0..255). In software mode a graph that is not
// one byte per pixel is refused. 0 or -1.
int SetBlendGraphic(int graphic, int border_param, int border_range);
