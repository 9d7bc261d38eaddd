// Triangle set-up: fixed point, anchor, texture gradients and edges.
#include "engine/softrender/triangle_walk.h"
#include "engine/system/math_util.h"

// Gradients must truncate the same values on every build: plain double
// arithmetic, not the wider x87 registers of a 32-bit x86 build.
#if defined(__i386__) && defined(__GNUC__) && !defined(__clang__)
#define TRI_DOUBLE_MATH __attribute__((target("fpmath=sse")))
#else
#define TRI_DOUBLE_MATH
#endif

namespace {

bool InRange(int32_t v) { return v >= -8192 && v <= 8191; }

// Sorts the vertex numbers by key with an exchange sort that never swaps equal
// keys, so the first given stays first among equals.
void OrderBy(const int32_t key[3], int o[3]) {
    o[0] = 0, o[1] = 1, o[2] = 2;
    for (int i = 0; i < 2; i++)
        for (int j = i + 1; j < 3; j++)
            if (key[o[i]] > key[o[j]]) {
                const int t = o[i];
                o[i] = o[j];
                o[j] = t;
            }
}

// num * 2^18 / det truncated; false when it does not fit 32 bits.
TRI_DOUBLE_MATH bool Gradient(int32_t num, int32_t det, int32_t* out) {
    const double g = (double)num * TRI_ONE / det;
    if (!(g > -2147483649.0 && g < 2147483648.0)) return false;
    *out = DoubleToInt(g);
    return true;
}

TriSegment Segment(int32_t start, int32_t y_from, int32_t x_to, int32_t y_to) {
    TriSegment s;
    s.x = start;
    s.rows = TriInt(y_to - y_from);
    s.slope = (x_to - start) / s.rows;
    return s;
}

}  // namespace

TRI_DOUBLE_MATH bool TriSetUp(const TriangleVertex* v, bool textured, TriSetup* g) {
    int32_t X[3], Y[3];
    for (int i = 0; i < 3; i++) {
        if (!InRange(v[i].x) || !InRange(v[i].y)) return false;
        if (textured && (!InRange(v[i].u) || !InRange(v[i].v))) return false;
        X[i] = v[i].x * TRI_ONE + TRI_ONE / 2;
        Y[i] = v[i].y * TRI_ONE + TRI_ONE / 2;
    }
    for (int i = 0; i < 3; i++) {
        const int j = (i + 1) % 3;
        if (v[i].x - v[j].x >= 8192 || v[j].x - v[i].x >= 8192) return false;
        if (v[i].y - v[j].y >= 8192 || v[j].y - v[i].y >= 8192) return false;
    }

    int a[3];
    OrderBy(X, a);
    const int32_t dx1 = v[a[1]].x - v[a[0]].x, dx2 = v[a[2]].x - v[a[0]].x;
    const int32_t dy1 = v[a[1]].y - v[a[0]].y, dy2 = v[a[2]].y - v[a[0]].y;
    const int32_t det = dy1 * dx2 - dy2 * dx1;
    if (det == 0) return false;
    g->xa = TriInt(X[a[0]]);
    g->ya = TriInt(Y[a[0]]);
    g->ua = g->va = 0;
    g->dudx = g->dudy = g->dvdx = g->dvdy = 0;
    if (textured) {
        const int32_t du1 = v[a[1]].u - v[a[0]].u, du2 = v[a[2]].u - v[a[0]].u;
        const int32_t dv1 = v[a[1]].v - v[a[0]].v, dv2 = v[a[2]].v - v[a[0]].v;
        if (!Gradient(dy1 * du2 - dy2 * du1, det, &g->dudx) || !Gradient(du1 * dx2 - dx1 * du2, det, &g->dudy) ||
            !Gradient(dy1 * dv2 - dy2 * dv1, det, &g->dvdx) || !Gradient(dv1 * dx2 - dx1 * dv2, det, &g->dvdy))
            return false;
        g->ua = (uint32_t)v[a[0]].u << TRI_FRAC;
        g->va = (uint32_t)v[a[0]].v << TRI_FRAC;
    }

    int b[3];
    OrderBy(Y, b);
    const int t = b[0], m = b[1], e = b[2];
    g->start_row = TriInt(Y[t]);
    g->left_count = g->right_count = 1;
    if (Y[t] == Y[m]) {
        const bool swap = X[t] > X[m];
        const int tl = swap ? m : t, tr = swap ? t : m;
        g->left[0] = Segment(X[tl], Y[tl], X[e], Y[e]);
        g->right[0] = Segment(X[tr], Y[tr], X[e], Y[e]);
    } else if (Y[m] == Y[e]) {
        const bool swap = X[m] > X[e];
        const int bl = swap ? e : m, br = swap ? m : e;
        g->left[0] = Segment(X[t], Y[t], X[bl], Y[bl]);
        g->right[0] = Segment(X[t], Y[t], X[br], Y[br]);
    } else {
        const double s1 = (double)(X[m] - X[t]) / ((double)(Y[m] - Y[t]) / TRI_ONE);
        const double s2 = (double)(X[e] - X[t]) / ((double)(Y[e] - Y[t]) / TRI_ONE);
        if (s1 < s2) {
            g->left_count = 2;
            g->left[0] = Segment(X[t], Y[t], X[m], Y[m]);
            g->left[1] = Segment(X[m], Y[m], X[e], Y[e]);
            g->right[0] = Segment(X[t], Y[t], X[e], Y[e]);
        } else {
            g->right_count = 2;
            g->left[0] = Segment(X[t], Y[t], X[e], Y[e]);
            g->right[0] = Segment(X[t], Y[t], X[m], Y[m]);
            // The lower right segment starts one unit right of the middle vertex.
            g->right[1] = Segment(X[m] + 1, Y[m], X[e], Y[e]);
        }
    }
    return true;
}
