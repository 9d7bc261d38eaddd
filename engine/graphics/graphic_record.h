// Graphic records as the drawing and device code of graphics see them.
#pragma once
#include <d3d9.h>
#include "engine/image/memimg.h"
#include "engine/image/pixel_format.h"
#include "engine/system/rect.h"

// A texture shared by a graphic and the graphics derived from it.
struct GraphicTexture {
    IDirect3DTexture9* tex;      // default pool: released and re-made on a reset
    int width, height;           // texture size
    D3DFORMAT d3d_format;
    const PixelFormat* format;
    int refs;
    int render_target;           // a StretchRect destination (movie frames from a YUV surface)
};

struct GraphicRecord {
    int check;
    int width, height;
    int x, y;                    // offset in the shared texture
    int alpha_channel, alpha_test, bit_depth;
    GraphicTexture* texture;     // Direct3D mode
    MEMIMG image;                // software mode: own image or a view
    int has_image;
    const BaseImage* restore_source;
    int restore_dx, restore_dy;  // graphic position minus source position
    Rect restore_rect;           // in source coordinates
    BaseImage own_restore;       // a restore source of the graphic's own (a closed movie's last frame)
    int* lost_flag;
    int movie;                   // the movie bound to this graphic, 0 when none
};

// The record of a live graphic, or null (with no log line).
GraphicRecord* GetGraphicRecord(int graphic);

int InitGraphicHandles();
// Deletes every graphic and frees the table.
int EndGraphicHandles();
// Releases every texture (before a reset or a new device).
void ReleaseGraphicTextures();
// Re-makes every texture, restores those with a source and raises the lost flag of
// the others. 0, or -1 when a texture could not be made.
int RecreateGraphicTextures();
