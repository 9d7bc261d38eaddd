// The software renderer side by side with pixman and memcpy: the same cases
// at sprite sizes 16, 64, 256 and the full 640 x 480 screen, 16- and 32-bit,
// on the same destination memory. The contenders take turns in every round;
// each figure is the median of the rounds in Mpixels/s, and the ratio the
// median of the rounds' ours over the peer (above 1: ours is faster). Closes
// with the ratios as a Markdown table. Where the formats match (copy,
// fill, stretch) the outputs are also compared. Then the blend-mode shapes
// against the blit of the same mode. Figures only; nothing passes or fails.
#include <pixman.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/image/memimg.h"
#include "engine/softrender/blit.h"
#include "engine/softrender/shapes.h"
#include "bench/bench_timing.h"
#include "bench/soft_bench.h"

namespace {

const int kRounds = 15;
// The build's compiler and the renderer's flags, from the build.
#ifndef BENCH_FLAGS
#define BENCH_FLAGS "?"
#endif
#if defined(__clang__)
const char kBuildInfo[] = "clang " __clang_version__ ", " BENCH_FLAGS;
#else
const char kBuildInfo[] = "g++ " __VERSION__ ", " BENCH_FLAGS;
#endif
const double kBatchPixels = 2e6;    // pixels drawn per contender and round
const char* g_only = nullptr;       // run only the cases whose name holds this

BenchRandom g_random{2026};

pixman_image_t* Wrap(MEMIMG& img, pixman_format_code_t fmt) {
    return pixman_image_create_bits(fmt, img.width, img.height, (uint32_t*)img.pixels, img.shared->pitch);
}

// One contender: draws the case once at sprite position i (with the mode it
// needs already set by prepare).
struct Contender {
    const char* name;
    std::function<void()> prepare;
    std::function<void(int)> draw;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Rates of interleaved rounds, in Mpixels/s, [contender][round]; px: pixels a
// call of each contender draws. The order of turns turns round every round,
// so that no contender always follows the same one.
std::vector<std::vector<double>> Race(std::vector<Contender>& cs, const std::vector<double>& px, int positions) {
    std::vector<std::vector<double>> rates(cs.size());
    for (int round = 0; round < kRounds; round++) {
        for (size_t k = 0; k < cs.size(); k++) {
            const size_t c = (k + round) % cs.size();
            const int calls = std::max(1, (int)(kBatchPixels / px[c]));
            cs[c].prepare();
            double t0 = SecondsNow();
            for (int i = 0; i < calls; i++) cs[c].draw(i % positions);
            double t = SecondsNow() - t0;
            rates[c].push_back(calls * px[c] / t / 1e6);
        }
    }
    return rates;
}

// Median of the rounds' ratios of contender a over b: the two ran moments
// apart, so load from elsewhere on the machine mostly cancels.
double RatioOf(const std::vector<std::vector<double>>& rates, size_t a, size_t b) {
    std::vector<double> q;
    for (size_t i = 0; i < rates[a].size(); i++) q.push_back(rates[a][i] / rates[b][i]);
    return Median(q);
}

struct Scene {
    int type, side;
    pixman_format_code_t fmt;
    int bpp;
    MEMIMG dst{}, plain{}, alpha{}, keyed{}, half{}, noise{};
    pixman_image_t *pdst = nullptr, *pplain = nullptr, *palpha = nullptr, *phalf = nullptr, *pnoise = nullptr;
    // The alpha sources premultiplied as a8r8g8b8 for pixman.
    MEMIMG alpha_peer{}, noise_peer{};
    std::vector<int> xs, ys;
    uint32_t key = 0;
};

// A sprite's alpha: a clear border, an opaque middle and a soft ring between
// (about 30 % clear, 50 % opaque, 20 % partial at every size).
uint8_t SpriteAlpha(int x, int y, int side) {
    double cx = x - (side - 1) / 2.0, cy = y - (side - 1) / 2.0;
    double r = std::sqrt(cx * cx + cy * cy) / (side / 2.0);
    if (r >= 0.95) return 0;
    if (r <= 0.75) return 255;
    return (uint8_t)(255 * (0.95 - r) / 0.2);
}

// An alpha source pixel of colour c and alpha a, and its premultiplied peer.
void PutAlphaPixel(Scene& s, MEMIMG& ours, MEMIMG& peer, int x, int y, uint32_t c, uint8_t a) {
    uint32_t ac = s.type == 0 ? (c | (uint32_t)a << 16) : (c | (uint32_t)a << 24);
    std::memcpy(MemImagePixelAt(&ours, x, y), &ac, 4);
    uint32_t r8, g8, b8;
    if (s.type == 0) {
        r8 = (c >> 11) * 255 / 31, g8 = ((c >> 5) & 63) * 255 / 63, b8 = (c & 31) * 255 / 31;
    } else {
        r8 = c >> 16 & 255, g8 = c >> 8 & 255, b8 = c & 255;
    }
    uint32_t pm = (uint32_t)a << 24 | (r8 * a / 255) << 16 | (g8 * a / 255) << 8 | (b8 * a / 255);
    std::memcpy(MemImagePixelAt(&peer, x, y), &pm, 4);
}

void Build(Scene& s) {
    const int n = s.side;
    const int w = n == 0 ? kW : n, h = n == 0 ? kH : n;
    s.bpp = s.type == 0 ? 2 : 4;
    s.fmt = s.type == 0 ? PIXMAN_r5g6b5 : PIXMAN_x8r8g8b8;
    s.key = s.type == 0 ? 0xF81F : 0xFF00FF;
    MemImageCreate(&s.dst, kW, kH, s.type, 0, 0);
    MemImageCreate(&s.plain, w, h, s.type, 0, 0);
    MemImageCreate(&s.half, w / 2, h / 2, s.type, 0, 0);
    MemImageCreate(&s.alpha, w, h, s.type, MEMIMG_CREATE_ALPHA | MEMIMG_CREATE_RUNCODES, 0);
    MemImageCreate(&s.keyed, w, h, s.type, MEMIMG_CREATE_RUNCODES, s.key);
    MemImageCreate(&s.noise, w, h, s.type, MEMIMG_CREATE_ALPHA | MEMIMG_CREATE_RUNCODES, 0);
    MemImageCreate(&s.alpha_peer, w, h, MEMIMG_TYPE_32, 0, 0);
    MemImageCreate(&s.noise_peer, w, h, MEMIMG_TYPE_32, 0, 0);
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW * s.bpp; x++) MemImagePixelAt(&s.dst, 0, y)[x] = (uint8_t)g_random.Next();
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint32_t c = g_random.Next() & (s.type == 0 ? 0xFFFF : 0xFFFFFF);
            if (c == s.key) c ^= 1;
            std::memcpy(MemImagePixelAt(&s.plain, x, y), &c, s.bpp);
            if (x < w / 2 && y < h / 2) std::memcpy(MemImagePixelAt(&s.half, x, y), &c, s.bpp);
            uint8_t a = SpriteAlpha(x, y, std::min(w, h));
            PutAlphaPixel(s, s.alpha, s.alpha_peer, x, y, c, a);
            // Uniformly random alpha: no skip path helps.
            PutAlphaPixel(s, s.noise, s.noise_peer, x, y, c, (uint8_t)g_random.Next());
            // Keyed: transparent where the sprite is clear, runs at every size.
            uint32_t kc = a == 0 ? s.key : c;
            std::memcpy(MemImagePixelAt(&s.keyed, x, y), &kc, s.bpp);
        }
    MemImageBuildRunCodes(&s.alpha);
    MemImageBuildRunCodes(&s.keyed);
    MemImageBuildRunCodes(&s.noise);
    s.pdst = Wrap(s.dst, s.fmt);
    s.pplain = Wrap(s.plain, s.fmt);
    s.phalf = Wrap(s.half, s.fmt);
    s.palpha = Wrap(s.alpha_peer, PIXMAN_a8r8g8b8);
    s.pnoise = Wrap(s.noise_peer, PIXMAN_a8r8g8b8);
    const int positions = n == 0 ? 1 : 61;
    for (int i = 0; i < positions; i++) {
        s.xs.push_back(n == 0 ? 0 : (int)(g_random.Next() % (kW - n + 1)));
        s.ys.push_back(n == 0 ? 0 : (int)(g_random.Next() % (kH - n + 1)));
    }
}

void Free(Scene& s) {
    for (pixman_image_t* p : {s.pdst, s.pplain, s.phalf, s.palpha, s.pnoise}) pixman_image_unref(p);
    for (MEMIMG* m : {&s.dst, &s.plain, &s.alpha, &s.keyed, &s.half, &s.noise, &s.alpha_peer, &s.noise_peer})
        MemImageRelease(m);
}

// Runs ours and the peer once at the first position from the same starting
// destination and tells whether the destinations agree.
bool Agree(Scene& s, Contender& ours, Contender& peer) {
    const size_t bytes = (size_t)s.dst.shared->pitch * kH;
    std::vector<uint8_t> start(s.dst.pixels, s.dst.pixels + bytes), mine;
    ours.prepare();
    ours.draw(0);
    mine.assign(s.dst.pixels, s.dst.pixels + bytes);
    std::memcpy(s.dst.pixels, start.data(), bytes);
    peer.prepare();
    peer.draw(0);
    bool same = std::memcmp(mine.data(), s.dst.pixels, bytes) == 0;
    std::memcpy(s.dst.pixels, start.data(), bytes);
    return same;
}

// Every ratio of the run, by case, for the closing table: [case][bits 16/32][size].
struct Ratios {
    std::vector<std::string> names;
    std::vector<std::array<std::array<double, 4>, 2>> cells;
    std::array<std::array<double, 4>, 2>& Of(const char* name) {
        for (size_t i = 0; i < names.size(); i++)
            if (names[i] == name) return cells[i];
        names.push_back(name);
        cells.push_back({});
        return cells.back();
    }
} g_ratios;

void Row(const char* name, int bits, int size_index, const char* size, const std::vector<std::vector<double>>& rates,
         const char* peer_name, const char* check) {
    const double ratio = RatioOf(rates, 0, 1);
    std::printf("%-36s %2d %-7s %9.0f %9.0f %-8s %6.2f %s\n", name, bits, size, Median(rates[0]), Median(rates[1]),
                peer_name, ratio, check);
    g_ratios.Of(name)[bits == 16 ? 0 : 1][size_index] = ratio;
}

// The ratios as the README's table (0: no such case at that depth).
void PrintTable() {
    std::printf("\n| case | 16-bit | 32-bit |\n|---|---|---|\n");
    for (size_t i = 0; i < g_ratios.names.size(); i++) {
        std::printf("| %s |", g_ratios.names[i].c_str());
        for (auto& depth : g_ratios.cells[i]) {
            if (depth[0] == 0) {
                std::printf(" - |");
                continue;
            }
            for (int k = 0; k < 4; k++) std::printf("%s%.2f", k ? " / " : " ", depth[k]);
            std::printf(" |");
        }
        std::printf("\n");
    }
}

void RunScene(int type, int side, int size_index) {
    Scene s;
    s.type = type;
    s.side = side;
    Build(s);
    const int n = side == 0 ? kW : side, m = side == 0 ? kH : side;
    const int positions = (int)s.xs.size();
    const int bits = type == 0 ? 16 : 32;
    char size[16];
    if (side == 0) std::snprintf(size, sizeof size, "screen");
    else std::snprintf(size, sizeof size, "%dx%d", side, side);
    const uint32_t fill = type == 0 ? 0x7BEF : 0x00808080u;
    const int pixels = n * m;

    pixman_color_t mask_c = {0, 0, 0, (uint16_t)(100 * 257)};
    pixman_image_t* mask100 = pixman_image_create_solid_fill(&mask_c);
    pixman_color_t mask128_c = {0, 0, 0, (uint16_t)(128 * 257)};
    pixman_image_t* mask128 = pixman_image_create_solid_fill(&mask128_c);
    pixman_color_t half_c = {0x4040, 0x4040, 0x4040, 0x8080};  // premultiplied 50 % grey
    pixman_image_t* solid_half = pixman_image_create_solid_fill(&half_c);
    pixman_transform_t scale;
    pixman_transform_init_scale(&scale, pixman_double_to_fixed(0.5), pixman_double_to_fixed(0.5));
    pixman_image_set_transform(s.phalf, &scale);
    pixman_image_set_filter(s.phalf, PIXMAN_FILTER_NEAREST, nullptr, 0);

    auto mode = [](int md, int p) { return [md, p] { SetMode(md, p); }; };
    auto none = [] {};
    auto blit = [&s](MEMIMG* src, int trans) {
        return [&s, src, trans](int i) { DrawMemImg(&s.dst, src, s.xs[i], s.ys[i], trans, nullptr); };
    };
    auto composite = [&s, n, m](pixman_op_t op, pixman_image_t* src, pixman_image_t* mask) {
        return [&s, op, src, mask, n, m](int i) {
            pixman_image_composite32(op, src, mask, s.pdst, 0, 0, 0, 0, s.xs[i], s.ys[i], n, m);
        };
    };
    auto rows_copy = [&s, n, m](MEMIMG* src) {
        const int dpitch = s.dst.shared->pitch, spitch = src->shared->pitch;
        const size_t bytes = (size_t)n * s.bpp;
        return [&s, src, m, dpitch, spitch, bytes](int i) {
            uint8_t* d = s.dst.pixels + (size_t)s.ys[i] * dpitch + (size_t)s.xs[i] * s.bpp;
            const uint8_t* p = src->pixels;
            for (int y = 0; y < m; y++, d += dpitch, p += spitch) std::memcpy(d, p, bytes);
        };
    };
    auto rect_of = [&s, n, m](int i) { return Rect{s.xs[i], s.ys[i], s.xs[i] + n, s.ys[i] + m}; };

    struct Case {
        const char* name;
        Contender ours, peer;
        const char* peer_name;
        bool check;
        bool only_32 = false;
    };
    std::vector<Case> cases = {
        {"copy, mode 0 / SRC", {"ours", mode(0, 255), blit(&s.plain, 0)},
         {"pixman", none, composite(PIXMAN_OP_SRC, s.pplain, nullptr)}, "pixman", true},
        {"alpha p=100 / OVER solid mask", {"ours", mode(1, 100), blit(&s.plain, 0)},
         {"pixman", none, composite(PIXMAN_OP_OVER, s.pplain, mask100)}, "pixman", false},
        {"alpha source, per pixel / OVER", {"ours", mode(0, 255), blit(&s.alpha, 2)},
         {"pixman", none, composite(PIXMAN_OP_OVER, s.palpha, nullptr)}, "pixman", false},
        {"alpha source, run-length / OVER", {"ours", mode(0, 255), blit(&s.alpha, 1)},
         {"pixman", none, composite(PIXMAN_OP_OVER, s.palpha, nullptr)}, "pixman", false},
        {"random alpha, per pixel / OVER", {"ours", mode(0, 255), blit(&s.noise, 2)},
         {"pixman", none, composite(PIXMAN_OP_OVER, s.pnoise, nullptr)}, "pixman", false},
        {"random alpha, run-length / OVER", {"ours", mode(0, 255), blit(&s.noise, 1)},
         {"pixman", none, composite(PIXMAN_OP_OVER, s.pnoise, nullptr)}, "pixman", false},
        {"add p=255 / ADD", {"ours", mode(2, 255), blit(&s.plain, 0)},
         {"pixman", none, composite(PIXMAN_OP_ADD, s.pplain, nullptr)}, "pixman", false},
        // pixman's ADD with a mask on r5g6b5 has no fast path worth the name; 32-bit only.
        {"add p=128 / ADD solid mask", {"ours", mode(2, 128), blit(&s.plain, 0)},
         {"pixman", none, composite(PIXMAN_OP_ADD, s.pplain, mask128)}, "pixman", false, true},
        {"nearest 2x stretch / NEAREST", {"ours", mode(0, 255), [&](int i) {
              Rect r = rect_of(i);
              DrawMemImgStretched(&s.dst, &s.half, &r, 0, nullptr);
          }},
         {"pixman", none, composite(PIXMAN_OP_SRC, s.phalf, nullptr)}, "pixman", true},
        {"fill, mode 0 / pixman_fill", {"ours", mode(0, 255), [&](int i) {
              Rect r = rect_of(i);
              FillMemImgRect(&s.dst, &r, fill);
          }},
         {"pixman", none, [&](int i) {
              pixman_fill((uint32_t*)s.dst.pixels, s.dst.shared->pitch / 4, bits, s.xs[i], s.ys[i], n, m, fill);
          }}, "pixman", true},
        {"fill p=128 / OVER 50 %", {"ours", mode(1, 128), [&](int i) {
              Rect r = rect_of(i);
              FillMemImgRect(&s.dst, &r, fill);
          }},
         {"pixman", none, composite(PIXMAN_OP_OVER, solid_half, nullptr)}, "pixman", false},
        {"keyed copy, per pixel / memcpy", {"ours", mode(0, 255), blit(&s.keyed, 2)},
         {"memcpy", none, rows_copy(&s.keyed)}, "memcpy", false},
        {"keyed copy, run-length / memcpy", {"ours", mode(0, 255), blit(&s.keyed, 1)},
         {"memcpy", none, rows_copy(&s.keyed)}, "memcpy", false},
    };
    for (Case& c : cases) {
        if ((g_only && !std::strstr(c.name, g_only)) || (c.only_32 && type == 0)) continue;
        const char* check = "";
        if (c.check) check = Agree(s, c.ours, c.peer) ? "same output" : "OUTPUTS DIFFER";
        std::vector<Contender> race = {c.ours, c.peer};
        Row(c.name, bits, size_index, size, Race(race, {(double)pixels, (double)pixels}, positions), c.peer_name,
            check);
    }
    pixman_image_unref(mask100);
    pixman_image_unref(mask128);
    pixman_image_unref(solid_half);
    Free(s);
}

// The blend-mode shapes against the whole-screen blit of the same mode.
void ShapesAgainstBlits(int type) {
    MEMIMG dst{}, src{};
    MemImageCreate(&dst, kW, kH, type, 0, 0);
    MemImageCreate(&src, kW, kH, type, 0, 0);
    const int bpp = type == 0 ? 2 : 4;
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW * bpp; x++) MemImagePixelAt(&src, 0, y)[x] = (uint8_t)g_random.Next();
    const uint32_t colour = type == 0 ? 0x7BEF : 0x00808080u;
    const int modes[][2] = {{1, 100}, {1, 128}, {2, 255}, {2, 100}, {3, 100}};
    // Pixels of a disc of radius 100 and of the 100 lines, counted once on a
    // cleared image.
    auto lines = [&](int i) {
        for (int k = 0; k < 100; k++) {
            int x1 = (k * 37 + i) % 400, y1 = (k * 53) % 200;
            DrawMemImgLine(&dst, x1, y1, x1 + 200, y1 + 150 + k % 100, colour);
        }
    };
    auto count = [&](auto draw) {
        MemImageFillRect(&dst, nullptr, 0);
        SetMode(0, 255);
        draw(0);
        long c = 0;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) {
                const uint8_t* p = MemImagePixelAt(&dst, x, y);
                c += type == 0 ? (p[0] | p[1]) != 0 : (p[0] | p[1] | p[2]) != 0;
            }
        return c;
    };
    auto disc = [&](int i) { DrawMemImgCircle(&dst, 200 + i % 200, 240, 100, colour, 1); };
    const long disc_px = count(disc), line_px = count(lines);
    for (auto& md : modes) {
        int mode = md[0], p = md[1];
        std::vector<Contender> cs = {
            {"blit", [=] { SetMode(mode, p); }, [&](int) { DrawMemImg(&dst, &src, 0, 0, 0, nullptr); }},
            {"disc", [=] { SetMode(mode, p); }, disc},
            {"lines", [=] { SetMode(mode, p); }, lines},
        };
        std::vector<std::vector<double>> r = Race(cs, {(double)kW * kH, (double)disc_px, (double)line_px}, 97);
        std::printf("shapes mode %d p=%-3d %2d-bit: blit %7.0f, disc %7.0f (%4.2f), lines %7.0f (%4.2f)\n", mode, p,
                    type == 0 ? 16 : 32, Median(r[0]), Median(r[1]), RatioOf(r, 1, 0), Median(r[2]), RatioOf(r, 2, 0));
    }
    MemImageRelease(&dst);
    MemImageRelease(&src);
}

}  // namespace

// Optional argument: a part of the case names to run ("copy", "fill", ...).
int main(int argc, char** argv) {
    BuildMemImageTables();
    if (argc > 1) g_only = argv[1];
    std::printf("renderer: %s; pixman %s\n", kBuildInfo, pixman_version_string());
    std::printf("%-36s %-2s %-7s %9s %9s %-8s %6s\n", "case", "bits", "size", "ours", "peer", "peer", "ratio");
    std::printf("(Mpixels/s, medians of %d interleaved rounds; ratio: median of the rounds' ours / peer)\n", kRounds);
    const int sides[] = {16, 64, 256, 0};
    // 32-bit first: its cases are a superset of the 16-bit ones and set the table's order.
    for (int type : {1, 0})
        for (int k = 0; k < 4; k++) RunScene(type, sides[k], k);
    if (!g_only || std::strstr("shapes", g_only))
        for (int type : {0, 1}) ShapesAgainstBlits(type);
    PrintTable();
    return 0;
}
