#include "ref_blit.h"
#include <cstring>
#include <vector>

namespace {

typedef int64_t i64;

enum { PATH_WHOLE = 0, PATH_RUNS = 1, PATH_STRETCH = 2 };

i64 MulT(i64 x, i64 y) { return x * y / 255; }           // x * y / 255, truncated
i64 SMulT(i64 x, i64 d) { return x * d / 255; }          // truncated toward zero
i64 LerpT(i64 k, i64 m, i64 n) { return (k * m + (63 - k) * n) / 63; }

i64 Max(int type, int c) { return type == 1 ? 255 : (c == 1 ? 63 : 31); }
i64 Bits(int type, int c) { return type == 1 ? 8 : (c == 1 ? 6 : 5); }
i64 Shift(int type, int c) { return type == 1 ? 8 * c : (c == 0 ? 0 : c == 1 ? 5 : 11); }
i64 Chan(int type, uint32_t v, int c) { return (v >> Shift(type, c)) & Max(type, c); }

uint32_t Load(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; i++) v |= (uint32_t)p[i] << (8 * i);
    return v;
}
void Store(uint8_t* p, int bytes, uint32_t v) {
    for (int i = 0; i < bytes; i++) p[i] = (uint8_t)(v >> (8 * i));
}

int SrcBytes(const RefImage& img) {
    if (img.kind == 1) return 1;
    if (img.kind == 2) return 4;
    return img.type == 1 ? 4 : 2;
}
int DstBytes(const RefImage& img) { return img.type == 1 ? 4 : 2; }

// Everything one pixel's arithmetic depends on besides the pixels.
struct Ctx {
    int type, kind, mode, path;
    i64 p;
    i64 bright[3];
    bool has_bright, has_graph;
};

// Plain source (no alpha), no graph, white bright, whole-image per-pixel path.
bool PlainWhole(const Ctx& c) {
    return c.path == PATH_WHOLE && c.kind != 2 && !c.has_graph && !c.has_bright;
}

i64 Bright(const Ctx& c, i64 v, int ch) { return c.has_bright ? MulT(c.bright[ch], v) : v; }

uint32_t PackChannels(const Ctx& c, const i64 v[3], uint32_t d) {
    if (c.type == 1) return (d & 0xFF000000u) | (uint32_t)(v[2] << 16 | v[1] << 8 | v[0]);
    return (uint32_t)(v[2] << 11 | v[1] << 5 | v[0]);
}

// (d * 2^(8k) + (x - d) * pi) >> 8k
i64 Lerp(i64 d, i64 x, i64 pi, int k) { return (d * ((i64)1 << (8 * k)) + (x - d) * pi) >> (8 * k); }

uint32_t Add32(uint32_t d, uint32_t s, bool scaled) {
    i64 dc[4], sc[4];
    for (int i = 0; i < 4; i++) { dc[i] = (d >> (8 * i)) & 255; sc[i] = (s >> (8 * i)) & 255; }
    i64 blue = dc[0] + sc[0];
    bool cb = blue > 255;
    if (cb) blue = 255;
    i64 g = (dc[1] & 0xFE) + (sc[1] & 0xFE);
    bool cg = g > 255;
    i64 green = cg ? 255 : (g | (cb ? 1 : 0) | (scaled ? ((dc[1] | sc[1]) & 1) : 0));
    i64 r = (dc[2] & 0xFE) + (sc[2] & 0xFE);
    bool cr = r > 255;
    i64 red = cr ? 255 : (r | (cg ? 1 : 0) | (scaled ? ((dc[2] | sc[2]) & 1) : 0));
    return (uint32_t)((cr ? 1 : 0) << 24 | red << 16 | green << 8 | blue);
}

uint32_t Sub32(uint32_t d, uint32_t s) {
    i64 dc[3], sc[3];
    for (int i = 0; i < 3; i++) { dc[i] = (d >> (8 * i)) & 255; sc[i] = (s >> (8 * i)) & 255; }
    bool bb = dc[0] < sc[0];
    i64 blue = bb ? 0 : dc[0] - sc[0];
    i64 hg = (dc[1] >> 1) - (sc[1] >> 1);
    bool bg = hg < 0;
    i64 green = bg ? 0 : 2 * hg + 1 - (bb ? 1 : 0);
    i64 hr = (dc[2] >> 1) - (sc[2] >> 1);
    i64 red = hr < 0 ? 0 : 2 * hr + 1 - (bg ? 1 : 0);
    return (uint32_t)(red << 16 | green << 8 | blue);
}

uint32_t Add16(uint32_t d, uint32_t s, bool scaled) {
    i64 dB = d & 31, dG = (d >> 5) & 63, dR = (d >> 11) & 31;
    i64 sB = s & 31, sG = (s >> 5) & 63, sR = (s >> 11) & 31;
    i64 blue = dB + sB;
    bool cb = blue > 31;
    if (cb) blue = 31;
    i64 g = (dG & 0x3E) + (sG & 0x3E);
    bool cg = g > 63;
    i64 low = (cb ? 1 : 0) | (scaled ? ((dG | sG) & 1) : 0);
    i64 green = cg ? (62 | low) : (g | low);
    i64 r = (dR & 0x1E) + (sR & 0x1E);
    bool cr = r > 31;
    i64 red = cr ? 31 : (r | (cg ? 1 : 0) | (scaled ? ((dR | sR) & 1) : 0));
    return (uint32_t)(red << 11 | green << 5 | blue);
}

uint32_t Sub16(uint32_t d, uint32_t s) {
    i64 dB = d & 31, dG = (d >> 5) & 63, dR = (d >> 11) & 31;
    i64 sB = s & 31, sG = (s >> 5) & 63, sR = (s >> 11) & 31;
    i64 blue = dB < sB ? 0 : dB - sB;
    i64 hg = (dG >> 1) - (sG >> 1);
    bool bg = hg < 0;
    i64 green = bg ? 0 : 2 * hg;
    i64 hr = (dR >> 1) - (sR >> 1);
    i64 red = hr < 0 ? 0 : 2 * hr + 1 - (bg ? 1 : 0);
    return (uint32_t)(red << 11 | green << 5 | blue);
}

// Two 16-bit pixels as one word, defined by its masks alone.
uint32_t AddPair(uint32_t d, uint32_t s) {
    i64 sum = (i64)(d & 0xF7DEF7DFu) + (i64)(s & 0xF7DEF7DFu);
    i64 c = sum & 0x108210820LL;
    return (uint32_t)((sum | (c - (c >> 5))) & 0xFFFFFFFFLL);
}
uint32_t SubPair(uint32_t d, uint32_t s) {
    i64 x = ((i64)d | 0x108210820LL) - (i64)(s & 0xF7DEF7DFu);
    i64 b = x & 0x108210820LL;
    return (uint32_t)((x & (b - (b >> 5))) & 0xFFFFFFFFLL);
}

// One pixel: source colour s (in the destination layout) onto d, with the
// factor a when use_a, the graph weight t when a graph is given.
uint32_t DrawOp(const Ctx& c, uint32_t d, uint32_t s, i64 a, bool use_a, i64 t) {
    int mode = c.mode;
    bool uses_p = mode == 1 || mode == 2 || mode == 3 || mode == 10 || mode == 11;
    i64 pi = 1;
    int k = 0;
    if (c.has_graph) { pi *= t; k++; }
    if (use_a) { pi *= a; k++; }
    i64 pi_ta = pi;
    int k_ta = k;
    if (uses_p) { pi *= c.p; k++; }
    i64 dc[3], sc[3], out[3];
    for (int i = 0; i < 3; i++) { dc[i] = Chan(c.type, d, i); sc[i] = Chan(c.type, s, i); }

    if (mode == 0) {
        if (k == 0) {
            if (!c.has_bright) return s;
            for (int i = 0; i < 3; i++) out[i] = Bright(c, sc[i], i);
            return PackChannels(c, out, d);
        }
        for (int i = 0; i < 3; i++) out[i] = Lerp(dc[i], Bright(c, sc[i], i), pi, k);
        return PackChannels(c, out, d);
    }
    if (mode == 1 || mode == 10 || mode == 11) {
        if (mode == 1 && PlainWhole(c) && c.p == 128) {
            // Halving: both halves, byte 3 of a 32-bit pixel becomes 0.
            for (int i = 0; i < 3; i++) out[i] = (sc[i] >> 1) + (dc[i] >> 1);
            return PackChannels(c, out, 0);
        }
        i64 x[3];
        for (int i = 0; i < 3; i++) {
            if (mode == 1) x[i] = Bright(c, sc[i], i);
            else if (mode == 10) x[i] = Bright(c, Max(c.type, i) - sc[i], i);
            else x[i] = (Bright(c, sc[i], i) * dc[i]) >> Bits(c.type, i);
        }
        for (int i = 0; i < 3; i++) {
            if (c.type == 0 && k == 1) {
                if (mode == 1 && PlainWhole(c)) out[i] = LerpT(c.p / 4, sc[i], dc[i]);
                else out[i] = dc[i] + SMulT(c.p, x[i] - dc[i]);
            } else {
                out[i] = Lerp(dc[i], x[i], pi, k);
            }
        }
        return PackChannels(c, out, d);
    }
    if (mode == 2 || mode == 3) {
        // k == 1 with an alpha source is the a = 255 shortcut: p is the only factor.
        bool unscaled = k == 1 && c.p == 255 && !c.has_bright &&
                        ((c.path == PATH_WHOLE && !c.has_graph) || (c.path == PATH_STRETCH && mode == 3 && c.kind != 2 && !c.has_graph));
        uint32_t sv;
        if (unscaled) {
            sv = s;
        } else {
            i64 v[3];
            for (int i = 0; i < 3; i++) {
                i64 sb = Bright(c, sc[i], i);
                if (k == 1) v[i] = MulT(c.p, sb);
                else if (c.type == 1) v[i] = (sb * pi) >> (8 * k);
                else v[i] = MulT(c.p, (sb * pi_ta) >> (8 * k_ta));
            }
            sv = PackChannels(c, v, 0);
        }
        if (mode == 2) return c.type == 1 ? Add32(d, sv, !unscaled) : Add16(d, sv, !unscaled);
        return c.type == 1 ? Sub32(d, sv) : Sub16(d, sv);
    }
    // mode 4
    for (int i = 0; i < 3; i++) out[i] = (dc[i] * Bright(c, sc[i], i) * pi) >> (Bits(c.type, i) + 8 * k);
    return PackChannels(c, out, d);
}

// The source value drawn and its alpha, from the raw pixel.
void Fetch(const RefImage& src, const uint8_t* sp, uint32_t* raw, uint32_t* colour, i64* alpha) {
    *raw = Load(sp, SrcBytes(src));
    *alpha = 255;
    if (src.kind == 1) {
        int eb = src.type == 1 ? 4 : 2;
        *colour = Load(src.palette + *raw * eb, eb);
    } else if (src.kind == 2) {
        if (src.type == 1) { *colour = *raw; *alpha = *raw >> 24; }
        else { *colour = *raw & 0xFFFF; *alpha = (*raw >> 16) & 255; }
    } else {
        *colour = *raw;
    }
}

// Gates of the per-pixel and stretched walks. False: the pixel is left alone.
bool Gate(const Ctx& c, const RefImage& src, int trans, uint32_t raw, i64 a, bool* use_a) {
    *use_a = false;
    if (src.kind == 2) {
        if (trans) {
            if (a == 0) return false;
            *use_a = a != 255;
        } else {
            // The whole-image per-pixel path copies alpha pixels whole in mode 0
            // without graph and bright.
            *use_a = !(c.mode == 0 && c.path == PATH_WHOLE && !c.has_graph && !c.has_bright);
        }
        return true;
    }
    if (trans && (uint64_t)raw == (uint64_t)src.key) return false;
    return true;
}

bool Settle(RefSettings const& s, const RefImage& src, int* mode) {
    int m = s.mode;
    if (!(m == 0 || m == 1 || m == 2 || m == 3 || m == 4 || m == 10 || m == 11)) return false;
    if ((m == 1 || m == 2) && s.p == 0) return false;
    if (m == 3 && s.p == 0 && src.kind != 1) return false;
    if (m == 1 && s.p == 255) m = 0;
    *mode = m;
    return true;
}

Ctx MakeCtx(const RefSettings& s, const RefImage& src, int mode, int path, bool graph) {
    Ctx c;
    c.type = src.type;
    c.kind = src.kind;
    c.mode = mode;
    c.path = path;
    c.p = s.p;
    for (int i = 0; i < 3; i++) c.bright[i] = s.bright[i];
    c.has_bright = !(s.bright[0] == 255 && s.bright[1] == 255 && s.bright[2] == 255);
    c.has_graph = graph;
    return c;
}

// Draw area cut to the destination.
void Area(const RefSettings& s, const RefImage& dst, i64* l, i64* t, i64* r, i64* b) {
    i64 al = s.left, at = s.top, ar = s.right, ab = s.bottom;
    if (ar < al) ar = al;
    if (ab < at) ab = at;
    *l = al < 0 ? 0 : al;
    *t = at < 0 ? 0 : at;
    *r = ar > dst.width ? dst.width : ar;
    *b = ab > dst.height ? dst.height : ab;
}

// A copy of the source view, so that a draw onto its own body reads the source as it was.
std::vector<uint8_t> Snapshot(const RefImage& src, RefImage* view) {
    int64_t row = (int64_t)src.width * SrcBytes(src);
    std::vector<uint8_t> copy((size_t)(row * src.height) + 1);
    for (int y = 0; y < src.height; y++) std::memcpy(&copy[(size_t)(y * row)], src.pixels + y * src.pitch, (size_t)row);
    *view = src;
    view->pixels = copy.data();
    view->pitch = row;
    return copy;
}

}  // namespace

void RefDrawWhole(const RefSettings& s, RefImage& dst, const RefImage& src_in, int x, int y, int trans,
                  const RefGraph* graph) {
    if (src_in.type != dst.type || dst.dst_refused || (src_in.type != 0 && src_in.type != 1)) return;
    if (graph && (graph->width < src_in.width || graph->height < src_in.height)) return;
    int mode;
    if (!Settle(s, src_in, &mode)) return;
    i64 al, at, ar, ab;
    Area(s, dst, &al, &at, &ar, &ab);
    i64 l = x > al ? x : al, t = y > at ? y : at;
    i64 r = (i64)x + src_in.width < ar ? (i64)x + src_in.width : ar;
    i64 b = (i64)y + src_in.height < ab ? (i64)y + src_in.height : ab;
    if (r <= l || b <= t) return;
    RefImage src;
    std::vector<uint8_t> keep = Snapshot(src_in, &src);
    bool runs = trans == 1 && src.codes && src.code_size > 0 && r - l == src.width && b - t == src.height;
    Ctx c = MakeCtx(s, src, mode, runs ? PATH_RUNS : PATH_WHOLE, graph != nullptr);
    int db = DstBytes(dst), sb = SrcBytes(src);
    auto pixel = [&](i64 sx, i64 sy) -> const uint8_t* { return src.pixels + sy * src.pitch + sx * sb; };
    auto dpixel = [&](i64 sx, i64 sy) -> uint8_t* { return dst.pixels + (y + sy) * dst.pitch + (x + sx) * db; };
    auto weight = [&](i64 sx, i64 sy) -> i64 {
        return graph ? s.graph_table[graph->pixels[sy * graph->pitch + sx]] : 0;
    };

    if (runs) {
        size_t at_code = 0;
        for (i64 sy = 0; sy < src.height; sy++) {
            i64 sx = 0;
            for (;;) {
                if (at_code >= src.code_size) return;
                uint32_t code = src.codes[at_code++];
                if (code >= 0xC0) break;
                i64 n = (code & 63) + 1;
                if (n > src.width - sx) n = src.width - sx;
                uint32_t cmd = code >> 6;
                for (i64 i = 0; i < n && cmd != 0; i++) {
                    uint32_t raw, colour;
                    i64 a;
                    Fetch(src, pixel(sx + i, sy), &raw, &colour, &a);
                    bool use_a = src.kind == 2 && cmd == 2;
                    uint8_t* dp = dpixel(sx + i, sy);
                    Store(dp, db, DrawOp(c, Load(dp, db), colour, a, use_a, weight(sx + i, sy)));
                }
                sx += n;
            }
        }
        return;
    }

    // 16-bit unscaled add and subtract take neighbouring pixels in pairs,
    // counted from the left edge of the drawn area.
    bool pairs = c.type == 0 && PlainWhole(c) && s.p == 255 && (mode == 2 || mode == 3);
    for (i64 dy = t; dy < b; dy++) {
        i64 sy = dy - y;
        for (i64 dx = l; dx < r; dx++) {
            i64 sx = dx - x;
            uint32_t raw, colour;
            i64 a;
            Fetch(src, pixel(sx, sy), &raw, &colour, &a);
            bool use_a;
            if (!Gate(c, src, trans, raw, a, &use_a)) continue;
            if (pairs && (dx - l) % 2 == 0 && dx + 1 < r) {
                uint32_t raw2, colour2;
                i64 a2;
                bool use2;
                Fetch(src, pixel(sx + 1, sy), &raw2, &colour2, &a2);
                if (Gate(c, src, trans, raw2, a2, &use2)) {
                    uint8_t* dp = dpixel(sx, sy);
                    uint32_t dd = Load(dp, 4);
                    uint32_t v = mode == 2 ? AddPair(dd, colour | colour2 << 16) : SubPair(dd, colour | colour2 << 16);
                    Store(dp, 4, v);
                    dx++;
                    continue;
                }
            }
            uint8_t* dp = dpixel(sx, sy);
            Store(dp, db, DrawOp(c, Load(dp, db), colour, a, use_a, weight(sx, sy)));
        }
    }
}

void RefStretchColumns(int64_t ext, int64_t src, int64_t first, int n, bool fast, int64_t* out) {
    i64 scale = (ext << 16) / src;
    if (!fast) {
        for (int i = 0; i < n; i++) out[i] = (first + i) * 65536 / scale;
        return;
    }
    i64 col = (first << 16) / scale;
    i64 acc = scale - (first << 16) % scale;
    for (int i = 0; i < n; i++) {
        out[i] = col;
        acc -= 65536;
        if (acc <= 0) {
            do { col++; acc += scale; } while (acc < 0);
        }
    }
}

void RefDrawStretched(const RefSettings& s, RefImage& dst, const RefImage& src_in, int x1, int y1, int x2, int y2,
                      int trans, const RefGraph* graph) {
    bool mx = x1 > x2, my = y1 > y2;
    i64 left = mx ? x2 : x1, right = mx ? x1 : x2, top = my ? y2 : y1, bottom = my ? y1 : y2;
    i64 ex = right - left, ey = bottom - top;
    if (ex == 0 || ey == 0) return;
    if (ex == src_in.width && ey == src_in.height && !mx && !my) {
        RefDrawWhole(s, dst, src_in, (int)left, (int)top, trans, graph);
        return;
    }
    if (src_in.type != dst.type || dst.dst_refused || (src_in.type != 0 && src_in.type != 1)) return;
    if (src_in.width <= 0 || src_in.width > 65536 || src_in.height <= 0 || src_in.height > 65536) return;
    if (graph && (graph->width < src_in.width || graph->height < src_in.height)) return;
    int mode;
    if (!Settle(s, src_in, &mode)) return;
    if ((ex << 16) / src_in.width == 0 || (ey << 16) / src_in.height == 0) return;
    i64 al, at, ar, ab;
    Area(s, dst, &al, &at, &ar, &ab);
    i64 l = left > al ? left : al, r = right < ar ? right : ar;
    i64 t = top > at ? top : at, b = bottom < ab ? bottom : ab;
    if (r <= l || b <= t) return;
    RefImage src;
    std::vector<uint8_t> keep = Snapshot(src_in, &src);
    Ctx c = MakeCtx(s, src, mode, PATH_STRETCH, graph != nullptr);
    bool fast = !c.has_graph && !c.has_bright && src.kind != 2 && (mode == 0 || (mode == 3 && s.p == 255));
    std::vector<int64_t> cols((size_t)(r - l)), rows((size_t)(b - t));
    RefStretchColumns(ex, src.width, l - left, (int)(r - l), fast, cols.data());
    RefStretchColumns(ey, src.height, t - top, (int)(b - t), fast, rows.data());
    int db = DstBytes(dst), sb = SrcBytes(src);
    for (i64 dy = t; dy < b; dy++) {
        i64 sy = rows[(size_t)(dy - t)];
        if (my) sy = src.height - 1 - sy;
        for (i64 dx = l; dx < r; dx++) {
            i64 sx = cols[(size_t)(dx - l)];
            if (mx) sx = src.width - 1 - sx;
            uint32_t raw, colour;
            i64 a;
            Fetch(src, src.pixels + sy * src.pitch + sx * sb, &raw, &colour, &a);
            bool use_a;
            if (!Gate(c, src, trans, raw, a, &use_a)) continue;
            i64 w = graph ? s.graph_table[graph->pixels[sy * graph->pitch + sx]] : 0;
            uint8_t* dp = dst.pixels + dy * dst.pitch + dx * db;
            Store(dp, db, DrawOp(c, Load(dp, db), colour, a, use_a, w));
        }
    }
}

size_t RefEncodeRuns(const RefImage& img, uint8_t* out) {
    size_t n = 0;
    int bytes = SrcBytes(img);
    auto command = [&](int x, int y) -> int {
        const uint8_t* p = img.pixels + y * img.pitch + (i64)x * bytes;
        uint32_t raw = Load(p, bytes);
        if (img.kind == 2) {
            uint32_t a = img.type == 1 ? raw >> 24 : (raw >> 16) & 255;
            return a == 0 ? 0 : a == 255 ? 1 : 2;
        }
        return raw == img.key ? 0 : 1;
    };
    for (int y = 0; y < img.height; y++) {
        int x = 0;
        while (x < img.width) {
            int cmd = command(x, y), run = 1;
            while (run < 64 && x + run < img.width && command(x + run, y) == cmd) run++;
            if (out) out[n] = (uint8_t)(cmd << 6 | (run - 1));
            n++;
            x += run;
        }
        if (out) out[n] = 0xC0;
        n++;
    }
    return n;
}
