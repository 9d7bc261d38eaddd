#include "softrender/ref_triangle.h"

#include <algorithm>

#if defined(__i386__) && defined(__GNUC__) && !defined(__clang__)
#define REF_TRI_DOUBLE __attribute__((target("fpmath=sse")))
#else
#define REF_TRI_DOUBLE
#endif

namespace reftri {
namespace {

typedef int64_t i64;
const i64 kOne = 262144;  // 2^18

i64 M(i64 a, i64 b) { return a * b / 255; }
i64 S(i64 a, i64 d) { return a * d / 255; }  // truncated toward zero
i64 FloorDiv(i64 a, i64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
i64 Int(i64 a) { return a / kOne; }  // toward zero

uint32_t Load(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; i++) v |= (uint32_t)p[i] << (8 * i);
    return v;
}
void Store(uint8_t* p, int n, uint32_t v) {
    for (int i = 0; i < n; i++) p[i] = (uint8_t)(v >> (8 * i));
}

// Channel i (blue, green, red) of a pixel value, its width in bits and largest value.
i64 Ch(int type, uint32_t px, int i) {
    if (type == 1) return (px >> (8 * i)) & 255;
    return i == 0 ? px & 31 : i == 1 ? (px >> 5) & 63 : (px >> 11) & 31;
}
int Bits(int type, int i) { return type == 1 ? 8 : i == 1 ? 6 : 5; }
i64 Max(int type, int i) { return (1 << Bits(type, i)) - 1; }
uint32_t Join(int type, const i64 c[3], uint32_t byte3) {
    if (type == 1) return (uint32_t)(c[0] | c[1] << 8 | c[2] << 16) | byte3 << 24;
    return (uint32_t)(c[0] | c[1] << 5 | c[2] << 11);
}

// Saturating add and clamped subtract, per channel as the packed steps leave them.
uint32_t Add(int type, const i64 d[3], const i64 s[3]) {
    i64 o[3];
    const i64 b = d[0] + s[0];
    const bool cb = b > Max(type, 0);
    o[0] = cb ? Max(type, 0) : b;
    const i64 hg = (d[1] >> 1) + (s[1] >> 1);
    const bool cg = hg > (Max(type, 1) >> 1);
    const i64 lg = ((d[1] | s[1]) & 1) | (cb ? 1 : 0);
    o[1] = cg ? (type == 1 ? 255 : 62 | lg) : (2 * hg | lg);
    const i64 hr = (d[2] >> 1) + (s[2] >> 1);
    const bool cr = hr > (Max(type, 2) >> 1);
    const i64 lr = ((d[2] | s[2]) & 1) | (cg ? 1 : 0);
    o[2] = cr ? Max(type, 2) : (2 * hr | lr);
    return Join(type, o, cr ? 1 : 0);
}

uint32_t Sub(int type, const i64 d[3], const i64 s[3]) {
    i64 o[3];
    const bool kb = d[0] < s[0];
    o[0] = kb ? 0 : d[0] - s[0];
    const bool kg = (d[1] >> 1) < (s[1] >> 1);
    if (type == 1) o[1] = kg ? 0 : 2 * ((d[1] >> 1) - (s[1] >> 1)) + 1 - (kb ? 1 : 0);
    else o[1] = kg ? 0 : 2 * ((d[1] >> 1) - (s[1] >> 1));
    const bool kr = (d[2] >> 1) < (s[2] >> 1);
    o[2] = kr ? 0 : 2 * ((d[2] >> 1) - (s[2] >> 1)) + 1 - (kg ? 1 : 0);
    return Join(type, o, 0);
}

// d moved toward x by the weight w over 2^bits, floored.
i64 Lerp(i64 d, i64 x, i64 w, int bits) { return FloorDiv((d << bits) + (x - d) * w, (i64)1 << bits); }

bool Refused(int mode) { return mode < 0 || mode > 11 || (mode >= 5 && mode <= 9); }

// The flat colour over d.
uint32_t FlatPixel(int type, int mode, i64 p, uint32_t d, uint32_t c) {
    if (mode == 0) return type == 1 ? c : c & 0xFFFF;
    i64 dc[3], cc[3], o[3];
    for (int i = 0; i < 3; i++) dc[i] = Ch(type, d, i), cc[i] = Ch(type, c, i);
    if (mode == 2 || mode == 3) {
        i64 sc[3];
        for (int i = 0; i < 3; i++) sc[i] = M(p, cc[i]);
        return mode == 2 ? Add(type, dc, sc) : Sub(type, dc, sc);
    }
    for (int i = 0; i < 3; i++) {
        const int w = Bits(type, i);
        if (mode == 4) {
            o[i] = (dc[i] * cc[i]) >> w;
            continue;
        }
        const i64 x = mode == 1 ? cc[i] : mode == 10 ? Max(type, i) - cc[i] : (dc[i] * cc[i]) >> w;
        o[i] = type == 1 ? ((dc[i] * (256 - p) + x * p) >> 8) : dc[i] + S(p, x - dc[i]);
    }
    return Join(type, o, d >> 24);
}

// The textured writers. s is the colour (the palette entry for a palette
// source), a the texel's alpha when `alpha` (an alpha texel), t the graph
// weight when `graph`.
struct Texel {
    uint32_t s;
    i64 a, t;
    bool alpha, graph;
};

uint32_t TexelPixel(const Settings& st, int type, int kind, uint32_t d, const Texel& x) {
    const int mode = st.mode == 1 && st.p == 255 ? 0 : st.mode;
    const i64 p = st.p;
    const bool white = st.bright[0] == 255 && st.bright[1] == 255 && st.bright[2] == 255;
    auto br = [&](i64 v, int i) { return white ? v : M(st.bright[i], v); };
    // Weights other than p and their number of bytes.
    i64 w = 1;
    int k = 0;
    if (x.graph) w *= x.t, k++;
    if (x.alpha) w *= x.a, k++;
    i64 dc[3], sc[3], o[3];
    for (int i = 0; i < 3; i++) dc[i] = Ch(type, d, i), sc[i] = Ch(type, x.s, i);

    if (mode == 0) {
        if (k == 0) {
            if (white) return type == 1 ? x.s : x.s & 0xFFFF;
            for (int i = 0; i < 3; i++) o[i] = br(sc[i], i);
            return Join(type, o, d >> 24);
        }
        for (int i = 0; i < 3; i++) o[i] = Lerp(dc[i], br(sc[i], i), w, 8 * k);
        return Join(type, o, d >> 24);
    }
    if (mode == 2 || mode == 3) {
        i64 e[3];
        for (int i = 0; i < 3; i++) {
            if (k == 0) e[i] = M(p, br(sc[i], i));
            else if (type == 1) e[i] = (br(sc[i], i) * w * p) >> (8 * k + 8);
            else if (x.alpha && !x.graph) e[i] = M(p, br((sc[i] * x.a) >> 8, i));  // alpha before the bright
            else e[i] = M(p, (br(sc[i], i) * w) >> (8 * k));
        }
        return mode == 2 ? Add(type, dc, e) : Sub(type, dc, e);
    }
    for (int i = 0; i < 3; i++) {
        const int bits = Bits(type, i);
        const i64 c = br(sc[i], i);
        if (mode == 4) {
            o[i] = (dc[i] * c * w) >> (bits + 8 * k);
            continue;
        }
        const i64 target = mode == 1 ? c : mode == 10 ? br(Max(type, i) - sc[i], i) : (c * dc[i]) >> bits;
        if (type == 0 && k == 0) o[i] = dc[i] + S(p, target - dc[i]);
        else o[i] = Lerp(dc[i], target, w * p, 8 * k + 8);
        if (type == 0 && mode == 11 && i == 1 && x.alpha && !x.graph && white)
            o[i] = dc[i] + FloorDiv(((sc[i] * dc[i]) / 2 - 32 * dc[i]) * x.a * p, 2097152);
    }
    return Join(type, o, d >> 24);
}

struct Segment { i64 x, slope, rows; };

struct Geometry {
    i64 start_row;
    Segment left[2], right[2];
    int nl, nr;
    i64 xa, ya, ua, va;
    i64 dudx, dudy, dvdx, dvdy;
};

void Order(const i64 key[3], int o[3]) {
    o[0] = 0, o[1] = 1, o[2] = 2;
    for (int i = 0; i < 2; i++)
        for (int j = i + 1; j < 3; j++)
            if (key[o[i]] > key[o[j]]) std::swap(o[i], o[j]);
}

Segment Seg(i64 start, i64 yp, i64 xq, i64 yq) {
    Segment s;
    s.x = start;
    s.rows = Int(yq - yp);
    s.slope = (xq - start) / s.rows;
    return s;
}

REF_TRI_DOUBLE bool SetUp(const Vertex v[3], bool textured, Geometry* g) {
    i64 X[3], Y[3], U[3], V[3];
    for (int i = 0; i < 3; i++) {
        const int c[4] = {v[i].x, v[i].y, v[i].u, v[i].v};
        for (int j = 0; j < (textured ? 4 : 2); j++)
            if (c[j] < -8192 || c[j] > 8191) return false;
        X[i] = v[i].x * kOne + kOne / 2;
        Y[i] = v[i].y * kOne + kOne / 2;
        U[i] = v[i].u * kOne;
        V[i] = v[i].v * kOne;
    }
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            if (v[i].x - v[j].x >= 8192 || v[i].y - v[j].y >= 8192) return false;
    int a[3];
    Order(X, a);
    const i64 dx1 = Int(X[a[1]] - X[a[0]]), dx2 = Int(X[a[2]] - X[a[0]]);
    const i64 dy1 = Int(Y[a[1]] - Y[a[0]]), dy2 = Int(Y[a[2]] - Y[a[0]]);
    const i64 du1 = Int(U[a[1]] - U[a[0]]), du2 = Int(U[a[2]] - U[a[0]]);
    const i64 dv1 = Int(V[a[1]] - V[a[0]]), dv2 = Int(V[a[2]] - V[a[0]]);
    const i64 det = dy1 * dx2 - dy2 * dx1;
    if (det == 0) return false;
    const i64 nums[4] = {dy1 * du2 - dy2 * du1, du1 * dx2 - dx1 * du2, dy1 * dv2 - dy2 * dv1, dv1 * dx2 - dx1 * dv2};
    i64* outs[4] = {&g->dudx, &g->dudy, &g->dvdx, &g->dvdy};
    for (int i = 0; i < 4; i++) {
        const double q = (double)nums[i] * 262144.0 / (double)det;
        if (textured && (q <= -2147483649.0 || q >= 2147483648.0)) return false;
        *outs[i] = textured ? (i64)q : 0;
    }
    g->xa = Int(X[a[0]]);
    g->ya = Int(Y[a[0]]);
    g->ua = U[a[0]];
    g->va = V[a[0]];
    int b[3];
    Order(Y, b);
    g->start_row = Int(Y[b[0]]);
    g->nl = g->nr = 1;
    if (Y[b[0]] == Y[b[1]]) {
        const int tl = X[b[0]] > X[b[1]] ? b[1] : b[0], tr = tl == b[0] ? b[1] : b[0];
        g->left[0] = Seg(X[tl], Y[tl], X[b[2]], Y[b[2]]);
        g->right[0] = Seg(X[tr], Y[tr], X[b[2]], Y[b[2]]);
    } else if (Y[b[1]] == Y[b[2]]) {
        const int bl = X[b[1]] > X[b[2]] ? b[2] : b[1], bo = bl == b[1] ? b[2] : b[1];
        g->left[0] = Seg(X[b[0]], Y[b[0]], X[bl], Y[bl]);
        g->right[0] = Seg(X[b[0]], Y[b[0]], X[bo], Y[bo]);
    } else {
        const double s1 = (double)(X[b[1]] - X[b[0]]) / ((double)(Y[b[1]] - Y[b[0]]) / 262144.0);
        const double s2 = (double)(X[b[2]] - X[b[0]]) / ((double)(Y[b[2]] - Y[b[0]]) / 262144.0);
        const Segment upper = Seg(X[b[0]], Y[b[0]], X[b[1]], Y[b[1]]);
        const Segment whole = Seg(X[b[0]], Y[b[0]], X[b[2]], Y[b[2]]);
        if (s1 < s2) {
            g->nl = 2;
            g->left[0] = upper;
            g->left[1] = Seg(X[b[1]], Y[b[1]], X[b[2]], Y[b[2]]);
            g->right[0] = whole;
        } else {
            g->nr = 2;
            g->left[0] = whole;
            g->right[0] = upper;
            g->right[1] = Seg(X[b[1]] + 1, Y[b[1]], X[b[2]], Y[b[2]]);
        }
    }
    return true;
}

// Calls visit(x, y) for each pixel of each row the walk draws, clipped.
template <class Visit>
void Walk(const Geometry& g, i64 L, i64 T, i64 R, i64 B, Visit visit) {
    i64 y = g.start_row;
    int li = 0, ri = 0;
    i64 xl = g.left[0].x, xr = g.right[0].x, lrows = g.left[0].rows, rrows = g.right[0].rows;
    for (;;) {
        i64 xs = Int(xl);
        const i64 xe = Int(xr);
        if (xs < L) xs = L;
        const i64 count = xe - xs + 1;
        if (!(y < T || y >= B || xs >= R || count <= 0))
            for (i64 x = xs; x < xs + count && x < R; x++) visit(x, y, xs);
        xl += g.left[li].slope;
        xr += g.right[ri].slope;
        y++;
        lrows--;
        rrows--;
        if (lrows == 0) {
            if (++li == g.nl) return;
            xl = g.left[li].x;
            lrows = g.left[li].rows;
        }
        if (rrows == 0) {
            if (++ri == g.nr) return;
            xr = g.right[ri].x;
            rrows = g.right[ri].rows;
        }
    }
}

}  // namespace

void Draw(const Settings& s, Image& dst, const Image* src, const Vertex v[3], int trans, const Graph* graph,
          uint32_t color, int* writes) {
    if (dst.kind != 0 || (dst.type != 0 && dst.type != 1)) return;
    const i64 L = std::max(s.left, 0), T = std::max(s.top, 0);
    const i64 R = std::min(s.right, dst.width), B = std::min(s.bottom, dst.height);
    if (R <= L || B <= T) return;
    if (src && src->type != dst.type) return;
    if (src && graph && (graph->width < src->width || graph->height < src->height)) return;
    Geometry g;
    if (!SetUp(v, src != nullptr, &g)) return;
    if (Refused(s.mode)) return;
    const int db = dst.type == 1 ? 4 : 2;
    const i64 p = s.p;
    if (!src) {
        if ((s.mode == 1 || s.mode == 2 || s.mode == 3) && p == 0) return;
        const int mode = s.mode == 1 && p == 255 ? 0 : s.mode;
        i64 c[3];
        for (int i = 0; i < 3; i++) c[i] = M(s.bright[i], Ch(dst.type, color, i));
        const uint32_t scaled = Join(dst.type, c, color >> 24);
        Walk(g, L, T, R, B, [&](i64 x, i64 y, i64) {
            uint8_t* dp = dst.pixels + y * dst.pitch + x * db;
            Store(dp, db, FlatPixel(dst.type, mode, p, Load(dp, db), scaled));
            if (writes) writes[y * dst.width + x]++;
        });
        return;
    }
    // Blend parameter 0: nothing in modes 1 and 2, nor in 3 but for palette sources.
    if ((s.mode == 1 || s.mode == 2 || (s.mode == 3 && src->kind != 1)) && p == 0) return;
    const int sb = src->kind == 1 ? 1 : src->kind == 2 ? 4 : db;
    Walk(g, L, T, R, B, [&](i64 x, i64 y, i64 xs) {
        // The plane at the row's first drawn pixel, then one step per pixel, in uint32.
        const uint32_t u = (uint32_t)(g.ua + (y - g.ya) * g.dudy + (xs - g.xa) * g.dudx + (x - xs) * g.dudx);
        const uint32_t vv = (uint32_t)(g.va + (y - g.ya) * g.dvdy + (xs - g.xa) * g.dvdx + (x - xs) * g.dvdx);
        if ((uint64_t)u >= (uint64_t)src->width * kOne || (uint64_t)vv >= (uint64_t)src->height * kOne) return;
        const i64 tu = u >> 18, tv = vv >> 18;
        const uint32_t raw = Load(src->pixels + tv * src->pitch + tu * sb, sb);
        Texel tx = {raw, 255, 0, false, graph != nullptr};
        if (src->kind == 1) {
            if (trans && raw == src->key) return;
            tx.s = Load(src->palette + raw * db, db);
        } else if (src->kind == 2) {
            tx.s = dst.type == 1 ? raw : raw & 0xFFFF;
            tx.a = dst.type == 1 ? raw >> 24 : (raw >> 16) & 255;
            if (trans && tx.a == 0) return;
            tx.alpha = !(trans && tx.a == 255);
        } else if (trans && raw == src->key) {
            return;
        }
        if (graph) tx.t = s.graph_table[graph->pixels[tv * graph->pitch + tu]];
        uint8_t* dp = dst.pixels + y * dst.pitch + x * db;
        Store(dp, db, TexelPixel(s, dst.type, src->kind, Load(dp, db), tx));
        if (writes) writes[y * dst.width + x]++;
    });
}

std::set<std::pair<int, int>> Coverage(const Vertex v[3]) {
    std::set<std::pair<int, int>> out;
    Geometry g;
    if (!SetUp(v, false, &g)) return out;
    // Row r of an edge: the segment holding it, x = start + rows into it * slope.
    auto edge_x = [](const Segment* seg, int n, i64 r) {
        if (n == 2 && r >= seg[0].rows) return seg[1].x + (r - seg[0].rows) * seg[1].slope;
        return seg[0].x + r * seg[0].slope;
    };
    const i64 rows = g.left[0].rows + (g.nl == 2 ? g.left[1].rows : 0);
    for (i64 r = 0; r < rows; r++)
        for (i64 x = Int(edge_x(g.left, g.nl, r)); x <= Int(edge_x(g.right, g.nr, r)); x++)
            out.insert({(int)x, (int)(g.start_row + r)});
    return out;
}

}  // namespace reftri
