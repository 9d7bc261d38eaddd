// Filled circle: the midpoint walk hands out rows with spans; a flag per row of
// the draw area lets only the first span of a row through, so no pixel is
// blended twice.
#include "engine/image/memimg.h"
#include "engine/softrender/shape_frame.h"
#include "engine/system/memory.h"

namespace {

struct DiscRows {
    const ShapeTarget* t;
    uint8_t* flags;       // one per row of the area, from its top
    int64_t flagged;      // rows drawn so far
};

template <class W> struct DiscBody {
    static void Row(const ShapePen& pen, DiscRows& rows, int64_t yy, int64_t xa, int64_t xb) {
        const ShapeTarget& t = *rows.t;
        if (yy < t.area.top || yy >= t.area.bottom || xb < t.area.left || xa >= t.area.right) return;
        uint8_t& flag = rows.flags[yy - t.area.top];
        if (flag) return;
        flag = 1;
        rows.flagged++;
        if (xa < t.area.left) xa = t.area.left;
        if (xb > t.area.right - 1) xb = t.area.right - 1;
        W::Span(t.pixels + (intptr_t)yy * t.pitch + (intptr_t)xa * W::kBytes, xb - xa + 1, pen);
    }

    static void Run(const ShapePen& pen_in, DiscRows& rows, int64_t cx, int64_t cy, int64_t r) {
        const ShapePen pen = pen_in;
        const ShapeTarget& t = *rows.t;
        // Once every row of the area that the disc spans has its span, the rest
        // of the walk could only meet flagged rows.
        int64_t top = cy - r < t.area.top ? t.area.top : cy - r;
        int64_t bottom = cy + r > t.area.bottom - 1 ? t.area.bottom - 1 : cy + r;
        const int64_t reachable = bottom - top + 1;
        // Every later row lies x or more rows from the centre (rows cy +/- x and
        // cy +/- y, y >= x): past the area's farthest row nothing is drawn, even
        // where the area lies beside the disc and its rows never fill.
        const int64_t row_reach = bottom - cy > cy - top ? bottom - cy : cy - top;
        int64_t x = 0, y = r, d = 3 - 2 * r;
        while (y >= x && x <= row_reach && rows.flagged < reachable) {
            Row(pen, rows, cy + x, cx - y, cx + y);
            Row(pen, rows, cy - x, cx - y, cx + y);
            if (x == 0) {
                Row(pen, rows, cy + r, cx, cx);
                Row(pen, rows, cy - r, cx, cx);
            }
            if (d >= 0) {
                Row(pen, rows, cy + y, cx - x, cx + x);
                Row(pen, rows, cy - y, cx - x, cx + x);
                y--;
                d -= 4 * y;
            }
            x++;
            d += 4 * x + 2;
        }
    }
};

}  // namespace

void ShapeCircleFill(const ShapeState& st, MEMIMG* img, int cx, int cy, int r, uint32_t color) {
    ShapeTarget t;
    if (!ShapeTargetOf(st, img, &t)) return;
    if (r < 0) return;  // the walk would not start
    if ((int64_t)cx + r < t.area.left || (int64_t)cx - r >= t.area.right ||
        (int64_t)cy + r < t.area.top || (int64_t)cy - r >= t.area.bottom)
        return;
    uint8_t* flags = (uint8_t*)MemAllocZeroed((size_t)(t.area.bottom - t.area.top), "", 0);
    if (!flags) return;
    ShapePen pen;
    if (ShapeMakePen(st, t.color_type, color, &pen)) {
        DiscRows rows{&t, flags, 0};
        ShapeDispatch<DiscBody>(pen, rows, (int64_t)cx, (int64_t)cy, (int64_t)r);
        MemImageMarkWritten(img);
    }
    MemFree(flags);
}
