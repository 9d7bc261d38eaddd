#include "engine/image/memimg.h"
#include "engine/softrender/row_ops.h"
#include "engine/softrender/shape_frame.h"

namespace {

template <class W> struct RectBody {
    static void Run(const ShapePen& pen, uint8_t* row, int32_t pitch, int32_t w, int32_t h) {
        const int32_t step = pitch - w * W::kBytes;
        for (int32_t y = 0; y < h; y++) {
            for (int32_t x = 0; x < w; x++, row += W::kBytes) W::Put(row, pen);
            row += step;
        }
    }
};

// Copies fill whole rows with one repeated pattern.
template <> struct RectBody<ShapeWrite32<0>> {
    static void Run(const ShapePen& pen, uint8_t* row, int32_t pitch, int32_t w, int32_t h) {
        for (int32_t y = 0; y < h; y++, row += pitch) RowFill(row, pen.color, (size_t)w * 4);
    }
};
template <> struct RectBody<ShapeWrite16<0>> {
    static void Run(const ShapePen& pen, uint8_t* row, int32_t pitch, int32_t w, int32_t h) {
        const uint32_t pair = pen.color | pen.color << 16;
        for (int32_t y = 0; y < h; y++, row += pitch) RowFill(row, pair, (size_t)w * 2);
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
