#include "engine/softrender/shape_frame.h"
#include "engine/image/memimg.h"
#include "engine/system/math_util.h"

// The clip must truncate the same values on every build: plain double
// arithmetic, not the wider x87 registers of a 32-bit x86 build.
#if defined(__i386__) && defined(__GNUC__) && !defined(__clang__)
#define SHAPE_DOUBLE_MATH __attribute__((target("fpmath=sse")))
#else
#define SHAPE_DOUBLE_MATH
#endif

namespace {

struct LineEnds { int64_t x1, y1, x2, y2; };

int64_t Clamp64(int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo : v > hi ? hi : v; }

// Moves the start into the area and the end at most one step outside it; false
// when the line misses the area. The area is not empty.
SHAPE_DOUBLE_MATH bool ClipLine(const Rect& a, int x1, int y1, int x2, int y2, LineEnds* out) {
    const int64_t L = a.left, T = a.top, R = a.right, B = a.bottom;
    const int minX = x1 < x2 ? x1 : x2, maxX = x1 < x2 ? x2 : x1;
    const int minY = y1 < y2 ? y1 : y2, maxY = y1 < y2 ? y2 : y1;
    if (maxY < T || minY >= B || minX >= R || maxX < L) return false;
    // Differences taken in double: exact, and free of int overflow.
    const double ddx = (double)x2 - (double)x1, ddy = (double)y2 - (double)y1;
    const double ka = y1 == y2 ? 0.0 : ddx / ddy;   // x per unit of y
    const double kb = x1 == x2 ? 0.0 : ddy / ddx;   // y per unit of x
    const double x0 = (double)x1 - ka * (double)y1;
    const double y0 = (double)y1 - kb * (double)x1;
    int64_t sx = x1, sy = y1, ex = x2, ey = y2;
    if (sx < L) {
        sx = L;
        sy = DoubleToInt(kb * (double)L + y0);
    } else if (sx >= R) {
        sx = R - 1;
        sy = DoubleToInt(kb * (double)(R - 1) + y0);
    }
    if (ex < L) {
        ex = L - 1;
        ey = DoubleToInt(kb * (double)(L - 1) + y0);
    } else if (ex >= R) {
        ex = R;
        ey = DoubleToInt(kb * (double)R + y0);
    }
    if (sy < T) {
        sy = T;
        sx = DoubleToInt(ka * (double)T + x0);
    } else if (sy >= B) {
        sy = B - 1;
        sx = DoubleToInt(ka * (double)(B - 1) + x0);
    }
    if (ey < T) {
        ey = T - 1;
        ex = DoubleToInt(ka * (double)(T - 1) + x0);
    } else if (ey >= B) {
        ey = B;
        ex = DoubleToInt(ka * (double)B + x0);
    }
    out->x1 = Clamp64(sx, L, R - 1);
    out->x2 = Clamp64(ex, L - 1, R);
    out->y1 = Clamp64(sy, T, B - 1);
    out->y2 = Clamp64(ey, T - 1, B);
    return true;
}

// Error-term walk along the major axis; the end point is not drawn. The minor
// step is taken without a branch: on a slope it would be mispredicted often.
template <class W> struct LineBody {
    template <bool XMajor, class I>
    static void Walk(const ShapePen& pen, uint8_t* first, I adx, I ady, intptr_t stepx, intptr_t stepy) {
        const I major = XMajor ? adx : ady, minor = XMajor ? ady : adx;
        const intptr_t step_major = XMajor ? stepx : stepy, step_minor = XMajor ? stepy : stepx;
        uint8_t* px = first;
        I e = 0;
        for (I k = 0; k < major; k++) {
            W::Put(px, pen);
            e += minor;
            px += step_major;
            const I over = -(I)(e >= major);
            px += step_minor & (intptr_t)over;
            e -= major & over;
        }
    }
    static void Run(const ShapePen& pen_in, uint8_t* first, int64_t adx, int64_t ady, intptr_t stepx, intptr_t stepy) {
        const ShapePen pen = pen_in;
        // 32-bit counters where e + minor cannot overflow them.
        const bool narrow = adx < ((int64_t)1 << 30) && ady < ((int64_t)1 << 30);
        if (adx >= ady) {
            if (narrow) Walk<true, int32_t>(pen, first, (int32_t)adx, (int32_t)ady, stepx, stepy);
            else Walk<true, int64_t>(pen, first, adx, ady, stepx, stepy);
        } else {
            if (narrow) Walk<false, int32_t>(pen, first, (int32_t)adx, (int32_t)ady, stepx, stepy);
            else Walk<false, int64_t>(pen, first, adx, ady, stepx, stepy);
        }
    }
};

}  // namespace

void ShapeLine(const ShapeState& st, MEMIMG* img, int x1, int y1, int x2, int y2, uint32_t color) {
    ShapeTarget t;
    if (!ShapeTargetOf(st, img, &t)) return;
    LineEnds e;
    if (!ClipLine(t.area, x1, y1, x2, y2, &e)) return;
    const int64_t dx = e.x2 - e.x1, dy = e.y2 - e.y1;
    if (dx == 0 && dy == 0) return;
    ShapePen pen;
    if (!ShapeMakePen(st, t.color_type, color, &pen)) return;
    const intptr_t stepx = dx < 0 ? -t.bpp : t.bpp;
    const intptr_t stepy = dy < 0 ? -(intptr_t)t.pitch : (intptr_t)t.pitch;
    uint8_t* first = t.pixels + (intptr_t)e.y1 * t.pitch + (intptr_t)e.x1 * t.bpp;
    ShapeDispatch<LineBody>(pen, first, dx < 0 ? -dx : dx, dy < 0 ? -dy : dy, stepx, stepy);
    MemImageMarkWritten(img);
}
