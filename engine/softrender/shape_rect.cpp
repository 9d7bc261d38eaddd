#include "engine/image/memimg.h"
#include "engine/softrender/shape_frame.h"

namespace {

template <class W> struct RectBody {
    static void Run(const ShapePen& pen_in, uint8_t* row, int32_t pitch, int32_t w, int32_t h) {
        // A local copy: the pixel stores cannot alias it.
        const ShapePen pen = pen_in;
        for (int32_t y = 0; y < h; y++, row += pitch) W::Span(row, w, pen);
    }
};

}  // namespace

void ShapeFillRect(const ShapeState& st, MEMIMG* img, const Rect* rect, uint32_t color) {
    ShapeTarget t;
    if (!ShapeTargetOf(st, img, &t)) return;
    Rect r;
    if (!rect) {
        r = Rect{0, 0, img->width, img->height};
    } else {
        r.left = rect->left < rect->right ? rect->left : rect->right;
        r.right = rect->left < rect->right ? rect->right : rect->left;
        r.top = rect->top < rect->bottom ? rect->top : rect->bottom;
        r.bottom = rect->top < rect->bottom ? rect->bottom : rect->top;
    }
    ClipRectToRect(&r, &t.area);
    const int32_t w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return;
    ShapePen pen;
    if (!ShapeMakePen(st, t.color_type, color, &pen)) return;
    uint8_t* first = t.pixels + (intptr_t)r.top * t.pitch + (intptr_t)r.left * t.bpp;
    ShapeDispatch<RectBody>(pen, first, t.pitch, w, h);
    MemImageMarkWritten(img);
}
