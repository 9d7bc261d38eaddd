#include "softrender/ref_shape.h"

#include <map>
#include <type_traits>

#include "engine/system/math_util.h"

#if defined(__i386__) && defined(__GNUC__) && !defined(__clang__)
#define REF_DOUBLE __attribute__((target("fpmath=sse")))
#else
#define REF_DOUBLE
#endif

void RefImage::Resize(int width, int height, int color_type) {
    w = width;
    h = height;
    type = color_type;
    px.assign((size_t)w * h, 0);
    writes.assign((size_t)w * h, 0);
}

namespace {

int64_t Mul255(int64_t a, int64_t b) { return a * b / 255; }  // C++ division truncates toward zero

struct Channels { int64_t v[3]; };  // blue, green, red (channels or 5-6-5 fields)

Channels Split(int type, uint32_t px) {
    if (type == 1) return {{px & 0xFF, (px >> 8) & 0xFF, (px >> 16) & 0xFF}};
    return {{px & 31, (px >> 5) & 63, (px >> 11) & 31}};
}

uint32_t Join(int type, const Channels& c, uint32_t byte3) {
    if (type == 1) return (uint32_t)(c.v[0] | c.v[1] << 8 | c.v[2] << 16) | byte3 << 24;
    return (uint32_t)(c.v[0] | c.v[1] << 5 | c.v[2] << 11);
}

// Saturating add per channel with the carried low bits that the packed form leaves.
uint32_t AddChannels(int type, const Channels& d, const Channels& s) {
    const int64_t top_lo = type == 1 ? 255 : 31;   // blue's range
    const int64_t half_g = type == 1 ? 127 : 31;   // largest sum of green halves that fits
    const int64_t half_r = type == 1 ? 127 : 15;
    const int64_t sat_g = type == 1 ? 255 : 62;
    const int64_t sat_r = type == 1 ? 255 : 31;
    Channels o;
    const int64_t b = d.v[0] + s.v[0];
    const bool blue_over = b > top_lo;
    o.v[0] = blue_over ? top_lo : b;
    const int64_t hg = (d.v[1] >> 1) + (s.v[1] >> 1);
    const bool green_over = hg > half_g;
    const int64_t low_g = ((d.v[1] | s.v[1]) & 1) | (blue_over ? 1 : 0);
    o.v[1] = green_over ? (sat_g | (type == 1 ? 0 : low_g)) : (2 * hg | low_g);
    const int64_t hr = (d.v[2] >> 1) + (s.v[2] >> 1);
    const bool red_over = hr > half_r;
    const int64_t low_r = ((d.v[2] | s.v[2]) & 1) | (green_over ? 1 : 0);
    o.v[2] = red_over ? sat_r : (2 * hr | low_r);
    return Join(type, o, red_over ? 1 : 0);
}

uint32_t SubChannels(int type, const Channels& d, const Channels& s) {
    Channels o;
    const bool blue_under = d.v[0] < s.v[0];
    o.v[0] = blue_under ? 0 : d.v[0] - s.v[0];
    const bool green_under = (d.v[1] >> 1) < (s.v[1] >> 1);
    if (type == 1) o.v[1] = green_under ? 0 : 2 * ((d.v[1] >> 1) - (s.v[1] >> 1)) + 1 - (blue_under ? 1 : 0);
    else o.v[1] = green_under ? 0 : 2 * ((d.v[1] >> 1) - (s.v[1] >> 1));
    const bool red_under = (d.v[2] >> 1) < (s.v[2] >> 1);
    o.v[2] = red_under ? 0 : 2 * ((d.v[2] >> 1) - (s.v[2] >> 1)) + 1 - (green_under ? 1 : 0);
    return Join(type, o, 0);
}

// The image's area after the cut to the image; false when empty.
bool Area(const RefImage& img, const RefSettings& s, int64_t* L, int64_t* T, int64_t* R, int64_t* B) {
    *L = s.left > 0 ? s.left : 0;
    *T = s.top > 0 ? s.top : 0;
    *R = s.right < img.w ? s.right : img.w;
    *B = s.bottom < img.h ? s.bottom : img.h;
    return *R > *L && *B > *T;
}

bool ModeDraws(int mode, int p) {
    switch (mode) {
    case 0: case 4: case 10: case 11: return true;
    case 1: case 2: case 3: return p != 0;
    default: return false;
    }
}

void Write(RefImage& img, int64_t x, int64_t y, const RefSettings& s, uint32_t color) {
    uint32_t& d = img.At((int)x, (int)y);
    d = RefBlendPixel(img.type, s.mode, s.param, d, color);
    img.writes[(size_t)y * img.w + (size_t)x]++;
}

}  // namespace

uint32_t RefBlendPixel(int type, int mode, int p, uint32_t d, uint32_t color) {
    if (type == 0) {
        color &= 0xFFFF;
        d &= 0xFFFF;
    }
    if (mode == 0 || (mode == 1 && p == 255)) return color;
    const Channels dc = Split(type, d), cc = Split(type, color);
    const int64_t width[3] = {type == 1 ? 8 : 5, type == 1 ? 8 : 6, type == 1 ? 8 : 5};
    const uint32_t byte3 = type == 1 ? d >> 24 : 0;
    Channels o;
    switch (mode) {
    case 2: case 3: {
        Channels sc;
        for (int i = 0; i < 3; i++) sc.v[i] = Mul255(p, cc.v[i]);
        return mode == 2 ? AddChannels(type, dc, sc) : SubChannels(type, dc, sc);
    }
    case 4:
        for (int i = 0; i < 3; i++) o.v[i] = dc.v[i] * cc.v[i] / ((int64_t)1 << width[i]);
        return Join(type, o, byte3);
    case 1: case 10: case 11:
        for (int i = 0; i < 3; i++) {
            const int64_t full = ((int64_t)1 << width[i]) - 1;
            int64_t target = cc.v[i];
            if (mode == 10) target = full - cc.v[i];
            if (mode == 11) target = dc.v[i] * cc.v[i] / ((int64_t)1 << width[i]);
            if (type == 1) o.v[i] = (dc.v[i] * (256 - p) + target * p) / 256;
            else o.v[i] = dc.v[i] + (int64_t)p * (target - dc.v[i]) / 255;
        }
        return Join(type, o, byte3);
    }
    return d;
}

uint32_t RefBrightColor(int type, const RefSettings& s, uint32_t color) {
    if (type == 0) color &= 0xFFFF;
    if (s.bright_b == 255 && s.bright_g == 255 && s.bright_r == 255) return color;
    Channels c = Split(type, color);
    const int64_t b[3] = {s.bright_b, s.bright_g, s.bright_r};
    for (int i = 0; i < 3; i++) c.v[i] = c.v[i] * b[i] / 256;
    return Join(type, c, type == 1 ? color >> 24 : 0);
}

void RefFillRect(RefImage& img, const RefSettings& s, const int64_t* rect, uint32_t color) {
    int64_t L, T, R, B;
    if (!Area(img, s, &L, &T, &R, &B)) return;
    int64_t l = 0, t = 0, r = img.w, b = img.h;
    if (rect) {
        l = rect[0] < rect[2] ? rect[0] : rect[2];
        r = rect[0] < rect[2] ? rect[2] : rect[0];
        t = rect[1] < rect[3] ? rect[1] : rect[3];
        b = rect[1] < rect[3] ? rect[3] : rect[1];
    }
    if (!ModeDraws(s.mode, s.param)) return;
    const uint32_t c = RefBrightColor(img.type, s, color);
    // Only the part inside the area is walked: the rectangle may span the int range.
    for (int64_t y = t > T ? t : T; y < (b < B ? b : B); y++)
        for (int64_t x = l > L ? l : L; x < (r < R ? r : R); x++) Write(img, x, y, s, c);
}

namespace {

int64_t Clamp(int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo : v > hi ? hi : v; }

// A lambda would not carry the function's floating-point attribute: kept apart.
REF_DOUBLE int64_t OnLine(double slope, int64_t v, double offset) {
    return DoubleToInt(slope * (double)v + offset);
}

// Clip of one line to the area as the line drawer does it, double precision.
REF_DOUBLE bool RefClip(int64_t L, int64_t T, int64_t R, int64_t B, int64_t p[4]) {
    const int64_t x1 = p[0], y1 = p[1], x2 = p[2], y2 = p[3];
    if ((y1 > y2 ? y1 : y2) < T || (y1 < y2 ? y1 : y2) >= B) return false;
    if ((x1 < x2 ? x1 : x2) >= R || (x1 > x2 ? x1 : x2) < L) return false;
    double a = 0, b = 0;
    if (y1 != y2) a = (double)(x2 - x1) / (double)(y2 - y1);
    if (x1 != x2) b = (double)(y2 - y1) / (double)(x2 - x1);
    const double x0 = (double)x1 - a * (double)y1;
    const double y0 = (double)y1 - b * (double)x1;
    int64_t sx = x1, sy = y1, ex = x2, ey = y2;
    if (sx < L) { sx = L; sy = OnLine(b, L, y0); }
    else if (sx >= R) { sx = R - 1; sy = OnLine(b, R - 1, y0); }
    if (ex < L) { ex = L - 1; ey = OnLine(b, L - 1, y0); }
    else if (ex >= R) { ex = R; ey = OnLine(b, R, y0); }
    if (sy < T) { sy = T; sx = OnLine(a, T, x0); }
    else if (sy >= B) { sy = B - 1; sx = OnLine(a, B - 1, x0); }
    if (ey < T) { ey = T - 1; ex = OnLine(a, T - 1, x0); }
    else if (ey >= B) { ey = B; ex = OnLine(a, B, x0); }
    p[0] = Clamp(sx, L, R - 1);
    p[2] = Clamp(ex, L - 1, R);
    p[1] = Clamp(sy, T, B - 1);
    p[3] = Clamp(ey, T - 1, B);
    return true;
}

}  // namespace

void RefLine(RefImage& img, const RefSettings& s, int x1, int y1, int x2, int y2, uint32_t color) {
    int64_t L, T, R, B;
    if (!Area(img, s, &L, &T, &R, &B)) return;
    int64_t p[4] = {x1, y1, x2, y2};
    if (!RefClip(L, T, R, B, p)) return;
    const int64_t dx = p[2] - p[0], dy = p[3] - p[1];
    if (dx == 0 && dy == 0) return;
    if (!ModeDraws(s.mode, s.param)) return;
    const uint32_t c = RefBrightColor(img.type, s, color);
    const int64_t sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const int64_t ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    int64_t x = p[0], y = p[1], e = 0;
    if (ax >= ay) {
        for (int64_t k = 0; k < ax; k++) {
            Write(img, x, y, s, c);
            e += ay;
            x += sx;
            if (e >= ax) { y += sy; e -= ax; }
        }
    } else {
        for (int64_t k = 0; k < ay; k++) {
            Write(img, x, y, s, c);
            e += ax;
            y += sy;
            if (e >= ay) { x += sx; e -= ay; }
        }
    }
}

std::vector<std::pair<int64_t, int64_t>> RefLineClosedForm(int x1, int y1, int x2, int y2) {
    std::vector<std::pair<int64_t, int64_t>> out;
    const int64_t dx = (int64_t)x2 - x1, dy = (int64_t)y2 - y1;
    const int64_t ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    const int64_t sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    if (ax >= ay) {
        for (int64_t k = 0; k < ax; k++) out.push_back({x1 + k * sx, y1 + sy * (k * ay / ax)});
    } else {
        for (int64_t k = 0; k < ay; k++) out.push_back({x1 + sx * (k * ax / ay), y1 + k * sy});
    }
    return out;
}

namespace {

// Every value the walks' decision value takes is checked here.
bool Fits32(int64_t d) { return d >= INT32_MIN && d <= INT32_MAX; }

// In place of a point or row callback: the walk follows its decision value only.
struct DecisionOnly {};

// The outline walk, calling point(x, y) in write order. False, stopping there,
// once the decision value leaves 32 bits.
template <class F> bool OutlineWalk(int64_t cx, int64_t cy, int64_t r, F point) {
    constexpr bool kPoints = !std::is_same<F, DecisionOnly>::value;
    if constexpr (kPoints) {
        point(cx - r, cy);
        point(cx + r, cy);
        point(cx, cy + r);
        point(cx, cy - r);
    }
    int64_t d = 3 - 2 * r, y = r;
    if (!Fits32(d)) return false;
    if (d >= 0) { y = r - 1; d += 10 - 4 * r; } else { d += 6; }
    if (!Fits32(d)) return false;
    for (int64_t x = 1; x <= y; x++) {
        if constexpr (kPoints) {
            const int64_t pts[8][2] = {{cx - y, cy + x}, {cx + y, cy + x}, {cx - y, cy - x}, {cx + y, cy - x},
                                       {cx - x, cy + y}, {cx + x, cy + y}, {cx - x, cy - y}, {cx + x, cy - y}};
            for (auto& q : pts) point(q[0], q[1]);
        }
        if (d >= 0) { d += 4 * (x - y) + 10; y--; }
        else d += 4 * x + 6;
        if (!Fits32(d)) return false;
    }
    return true;
}

// The filled walk, calling row(yy, xa, xb) in the order of its row-drawings.
// False, stopping there, once the decision value leaves 32 bits.
template <class F> bool DiscWalk(int64_t cx, int64_t cy, int64_t r, F row) {
    constexpr bool kRows = !std::is_same<F, DecisionOnly>::value;
    int64_t x = 0, y = r, d = 3 - 2 * r;
    if (!Fits32(d)) return false;
    while (y >= x) {
        if constexpr (kRows) {
            row(cy + x, cx - y, cx + y);
            row(cy - x, cx - y, cx + y);
            if (x == 0) {
                row(cy + r, cx, cx);
                row(cy - r, cx, cx);
            }
        }
        if (d >= 0) {
            if constexpr (kRows) {
                row(cy + y, cx - x, cx + x);
                row(cy - y, cx - x, cx + x);
            }
            y -= 1;
            d -= 4 * y;
            if (!Fits32(d)) return false;
        }
        x += 1;
        d += 4 * x + 2;
        if (!Fits32(d)) return false;
    }
    return true;
}

}  // namespace

std::vector<std::pair<int64_t, int64_t>> RefCirclePoints(int cx, int cy, int r) {
    std::vector<std::pair<int64_t, int64_t>> out;
    OutlineWalk(cx, cy, r, [&](int64_t x, int64_t y) { out.push_back({x, y}); });
    return out;
}

bool RefCircleFits(int r, int fill) {
    return fill ? DiscWalk(0, 0, r, DecisionOnly{}) : OutlineWalk(0, 0, r, DecisionOnly{});
}

std::vector<RefDiscRow> RefDiscRows(int cx, int cy, int r) {
    std::vector<RefDiscRow> out;
    std::map<int64_t, bool> seen;
    DiscWalk(cx, cy, r, [&](int64_t yy, int64_t xa, int64_t xb) {
        if (seen[yy]) return;
        seen[yy] = true;
        out.push_back({yy, xa, xb});
    });
    return out;
}

int RefCircle(RefImage& img, const RefSettings& s, int cx, int cy, int r, uint32_t color, int fill) {
    // The first radii whose walks leave 32 bits, less one (the circle tests walk
    // them); larger radii are refused without a walk.
    const int max_radius = fill ? 536871057 : 536894470;
    if (r > max_radius || !RefCircleFits(r, fill)) return -1;
    int64_t L, T, R, B;
    if (!Area(img, s, &L, &T, &R, &B)) return 0;
    if (!ModeDraws(s.mode, s.param)) return 0;
    const uint32_t c = RefBrightColor(img.type, s, color);
    if (!fill) {
        for (auto& q : RefCirclePoints(cx, cy, r))
            if (q.first >= L && q.first <= R - 1 && q.second >= T && q.second <= B - 1) Write(img, q.first, q.second, s, c);
        return 0;
    }
    // Rows collected first, then painted row by row.
    std::map<int64_t, std::pair<int64_t, int64_t>> spans;
    DiscWalk(cx, cy, r, [&](int64_t yy, int64_t xa, int64_t xb) {
        if (yy < T || yy > B - 1 || xb < L || xa > R - 1 || spans.count(yy)) return;
        spans[yy] = {xa < L ? L : xa, xb > R - 1 ? R - 1 : xb};
    });
    for (auto& row : spans)
        for (int64_t x = row.second.first; x <= row.second.second; x++) Write(img, x, row.first, s, c);
    return 0;
}
