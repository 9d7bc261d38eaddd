// Circle outline: the midpoint walk, each point clipped by itself. Coordinates
// are 64-bit: a centre and a radius reach past the int range.
#include "engine/image/memimg.h"
#include "engine/softrender/shape_frame.h"

namespace {

// One coordinate of the walk with its byte offset, moved by additions only.
struct Axis {
    int64_t v, off, unit;
    void Inc() { v++; off += unit; }
    void Dec() { v--; off -= unit; }
};

template <class W> struct OutlineBody {
    static void Run(const ShapePen& pen_in, const ShapeTarget& t, int64_t cx, int64_t cy, int64_t r) {
        const ShapePen pen = pen_in;
        const int64_t L = t.area.left, T = t.area.top, R1 = t.area.right - 1, B1 = t.area.bottom - 1;
        uint8_t* const base = t.pixels;
        auto put = [&](const Axis& col, const Axis& row) {
            if (col.v >= L && col.v <= R1 && row.v >= T && row.v <= B1) W::Put(base + (intptr_t)(row.off + col.off), pen);
        };
        const int64_t pitch = t.pitch, bpp = W::kBytes;
        int64_t d = 3 - 2 * r;
        {
            const Axis left{cx - r, (cx - r) * bpp, bpp}, right{cx + r, (cx + r) * bpp, bpp};
            const Axis mid_col{cx, cx * bpp, bpp}, mid_row{cy, cy * pitch, pitch};
            const Axis below{cy + r, (cy + r) * pitch, pitch}, above{cy - r, (cy - r) * pitch, pitch};
            put(left, mid_row);
            put(right, mid_row);
            put(mid_col, below);
            put(mid_col, above);
        }
        int64_t y = r;
        if (d >= 0) {
            y = r - 1;
            d += 10 - 4 * r;
        } else {
            d += 6;
        }
        int64_t x = 1;
        if (y < 1) return;
        // Every point lies x away from the centre on one axis and y >= x on the
        // other, so past the nearer of the two reaches no point meets the area.
        const int64_t row_reach = B1 - cy > cy - T ? B1 - cy : cy - T;
        const int64_t col_reach = R1 - cx > cx - L ? R1 - cx : cx - L;
        const int64_t last = row_reach < col_reach ? row_reach : col_reach;
        // Columns cx -/+ y and cx -/+ x, rows cy +/- x and cy +/- y.
        Axis cmy{cx - y, (cx - y) * bpp, bpp}, cpy{cx + y, (cx + y) * bpp, bpp};
        Axis cmx{cx - x, (cx - x) * bpp, bpp}, cpx{cx + x, (cx + x) * bpp, bpp};
        Axis rpx{cy + x, (cy + x) * pitch, pitch}, rmx{cy - x, (cy - x) * pitch, pitch};
        Axis rpy{cy + y, (cy + y) * pitch, pitch}, rmy{cy - y, (cy - y) * pitch, pitch};
        while (y >= x && x <= last) {
            put(cmy, rpx);
            put(cpy, rpx);
            put(cmy, rmx);
            put(cpy, rmx);
            put(cmx, rpy);
            put(cpx, rpy);
            put(cmx, rmy);
            put(cpx, rmy);
            if (d >= 0) {
                d += 4 * (x - y) + 10;
                y--;
                cmy.Inc(); cpy.Dec(); rpy.Dec(); rmy.Inc();
            } else {
                d += 4 * x + 6;
            }
            x++;
            cmx.Dec(); cpx.Inc(); rpx.Inc(); rmx.Dec();
        }
    }
};

}  // namespace

void ShapeCircleOutline(const ShapeState& st, MEMIMG* img, int cx, int cy, int r, uint32_t color) {
    ShapeTarget t;
    if (!ShapeTargetOf(st, img, &t)) return;
    const int64_t ar = r < 0 ? -(int64_t)r : (int64_t)r;
    if ((int64_t)cx + ar < t.area.left || (int64_t)cx - ar >= t.area.right ||
        (int64_t)cy + ar < t.area.top || (int64_t)cy - ar >= t.area.bottom)
        return;
    ShapePen pen;
    if (!ShapeMakePen(st, t.color_type, color, &pen)) return;
    ShapeDispatch<OutlineBody>(pen, t, (int64_t)cx, (int64_t)cy, (int64_t)r);
    MemImageMarkWritten(img);
}
