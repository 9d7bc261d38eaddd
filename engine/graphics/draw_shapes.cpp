#include "engine/graphics/draw_shapes.h"

#include "engine/graphics/d3d_draw.h"
#include "engine/graphics/draw_settings.h"
#include "engine/graphics/graphics_system.h"
#include "engine/graphics/soft_draw.h"
#include "engine/system/window.h"

int DrawBox(int x1, int y1, int x2, int y2, uint32_t color, int fill) {
    WaitWhileInactive();
    if (!IsGraphicsStarted()) return -1;
    if (IsDrawingSuppressed()) return 0;
    if (x2 < x1) { int t = x1; x1 = x2; x2 = t; }
    if (y2 < y1) { int t = y1; y1 = y2; y2 = t; }
    if (x1 == x2 || y1 == y2) return 0;
    if (!GraphicsUsesD3D()) return SoftDrawBox(x1, y1, x2, y2, color, fill);
    if (fill || x2 - x1 <= 2 || y2 - y1 <= 2) {
        G_D3D_FillRect(x1, y1, x2, y2, color);
        return 0;
    }
    // One-pixel bands, so no pixel of the outline is drawn twice.
    G_D3D_FillRect(x1, y1, x2, y1 + 1, color);
    G_D3D_FillRect(x1, y2 - 1, x2, y2, color);
    G_D3D_FillRect(x1, y1 + 1, x1 + 1, y2 - 1, color);
    G_D3D_FillRect(x2 - 1, y1 + 1, x2, y2 - 1, color);
    return 0;
}

int DrawCircle(int x, int y, int r, uint32_t color, int fill) {
    WaitWhileInactive();
    if (!IsGraphicsStarted()) return -1;
    if (IsDrawingSuppressed() || r < 0) return 0;
    if (!GraphicsUsesD3D()) return SoftDrawCircle(x, y, r, color, fill);
    G_D3D_DrawCircle(x, y, r, color, fill);
    return 0;
}
