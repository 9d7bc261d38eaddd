#include "engine/graphics/soft_draw.h"

#include "engine/graphics/draw_settings.h"
#include "engine/graphics/graphics_system.h"
#include "engine/image/memimg.h"
#include "engine/softrender/blit.h"
#include "engine/softrender/shapes.h"
#include "engine/system/log.h"

int SoftDrawGraphic(int x, int y, MEMIMG* image, int trans) {
    MEMIMG* screen = GetScreenMemImg();
    if (!screen || !image) return 0;
    DrawMemImg(screen, image, x, y, trans, GDrawSettings.blend_graph_image);
    return 0;
}

int SoftDrawGraphicStretched(int x1, int y1, int x2, int y2, MEMIMG* image, int trans) {
    MEMIMG* screen = GetScreenMemImg();
    if (!screen || !image) return 0;
    Rect r = {x1, y1, x2, y2};
    DrawMemImgStretched(screen, image, &r, trans, GDrawSettings.blend_graph_image);
    return 0;
}

int SoftDrawGraphicQuad(const int xy[8], MEMIMG* image, int trans) {
    MEMIMG* screen = GetScreenMemImg();
    if (!screen || !image) return 0;
    DrawMemImgQuad(screen, image, xy, trans, GDrawSettings.blend_graph_image);
    return 0;
}

int SoftDrawBox(int x1, int y1, int x2, int y2, uint32_t color, int fill) {
    MEMIMG* screen = GetScreenMemImg();
    if (!screen) return 0;
    // Corners come ordered. A box one or two pixels wide or high is all border:
    // filled, no pixel is drawn twice (nor, at 1 x 1, left out) by the lines.
    if (fill || (int64_t)x2 - x1 <= 2 || (int64_t)y2 - y1 <= 2) {
        Rect r = {x1, y1, x2, y2};
        FillMemImgRect(screen, &r, color);
        return 0;
    }
    // Four lines, each leaving out its end point, so every corner is drawn once.
    int p = GDrawSettings.blend_param;
    int c = (int32_t)color;
    MemImgLineRecord lines[4] = {
        {x1, y1, x2 - 1, y1, c, p},
        {x2 - 1, y1, x2 - 1, y2 - 1, c, p},
        {x2 - 1, y2 - 1, x1, y2 - 1, c, p},
        {x1, y2 - 1, x1, y1, c, p},
    };
    DrawMemImgLines(screen, lines, 4);
    return 0;
}

int SoftDrawCircle(int x, int y, int r, uint32_t color, int fill) {
    MEMIMG* screen = GetScreenMemImg();
    if (!screen || r < 0) return 0;
    return DrawMemImgCircle(screen, x, y, r, color, fill) < 0 ? LogBadDrawCoordinates() : 0;
}

int LogBadDrawCoordinates() { return LogAppendFormat("描画に失敗しました ( 座標が不正です )"); }
