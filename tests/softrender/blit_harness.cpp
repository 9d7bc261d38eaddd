#include "blit_harness.h"
#include "hand_memimg.h"
#include <cstdio>
#include <cstring>
#include "engine/graphics/draw_settings.h"
#include "support/portable_guard.h"

static int BytesOf(int type, int kind) {
    if (kind == KIND_PALETTE) return 1;
    if (kind == KIND_ALPHA) return 4;
    return type == 1 ? 4 : 2;
}

ImageLayout LayoutOf(int type, int kind, int width, int height, uint32_t key, bool run_codes) {
    ImageLayout s;
    s.type = type;
    s.kind = kind;
    s.width = width;
    s.height = height;
    s.key = key;
    s.run_codes = run_codes;
    return s;
}

TestImage::TestImage(const ImageLayout& s) : layout(s) {
    bpp = BytesOf(s.type, s.kind);
    int bw = s.width + s.margin[0] + s.margin[2], bh = s.height + s.margin[1] + s.margin[3];
    int pitch = bw * bpp + s.pitch_pad;
    body_size = (size_t)pitch * bh;
    body = GuardAlloc(body_size ? body_size : 1, s.guard_before ? GUARD_BEFORE : GUARD_AFTER);
    DescribeMemImg(img, rec, fmt, body, bpp, pitch, s.type, bw, bh);
    rec.trans_color = s.key;
    rec.palette_flag = s.kind == KIND_PALETTE;
    rec.palette_count = s.kind == KIND_PALETTE ? 256 : 0;
    rec.alpha_flag = s.kind == KIND_ALPHA;
    palette = nullptr;
    if (s.kind == KIND_PALETTE) {
        palette = GuardAlloc(256 * (s.type == 1 ? 4 : 2));
        rec.palette1 = palette;
    }
    codes = nullptr;
    code_size = 0;
    img.width = s.width;
    img.height = s.height;
    img.pixels = body + (size_t)s.margin[1] * pitch + (size_t)s.margin[0] * bpp;
}

TestImage::~TestImage() {
    GuardFree(body);
    GuardFree(palette);
    GuardFree(codes);
}

void TestImage::Set(int x, int y, uint32_t v) {
    for (int i = 0; i < bpp; i++) At(x, y)[i] = (uint8_t)(v >> (8 * i));
}

uint32_t TestImage::Get(int x, int y) {
    uint32_t v = 0;
    for (int i = 0; i < bpp; i++) v |= (uint32_t)At(x, y)[i] << (8 * i);
    return v;
}

void TestImage::Fill(uint32_t v) {
    for (int y = 0; y < img.height; y++)
        for (int x = 0; x < img.width; x++) Set(x, y, v);
}

void TestImage::Randomise(std::mt19937& rng, bool as_source) {
    auto r = [&](uint32_t n) { return (uint32_t)(rng() % n); };
    // Alpha comes in stretches of one kind (clear, opaque, partial), as in
    // sprites, so that the row forms meet groups of eight clear or opaque pixels.
    int alpha_kind = -1;
    for (size_t y = 0; y < body_size / rec.pitch; y++) {
        for (int x = 0; x < rec.width; x++) {
            uint8_t* p = body + y * rec.pitch + (size_t)x * bpp;
            uint32_t v = rng();
            if (as_source) {
                if (layout.kind == KIND_ALPHA) {
                    if (alpha_kind < 0 || r(3) == 0) alpha_kind = r(4) == 0 ? 0 : r(3) == 0 ? 1 : 2;
                    uint32_t a = alpha_kind == 0 ? 0 : alpha_kind == 1 ? 255 : r(256);
                    if (layout.type == 1) v = (v & 0xFFFFFF) | a << 24;
                    else v = (v & 0xFFFF) | a << 16 | (v & 0xFF000000);
                } else if (r(4) == 0) {
                    v = layout.key;
                } else if (layout.type == 1 && layout.kind == KIND_DIRECT && r(6) == 0) {
                    v = layout.key ^ 0x01000000u * (1 + r(255));  // equal but for byte 3: drawn
                } else if (r(8) == 0) {
                    v = r(2) ? 0xFFFFFFFFu : 0;
                }
            } else if (r(8) == 0) {
                v = r(2) ? 0xFFFFFFFFu : 0;
            }
            for (int i = 0; i < bpp; i++) p[i] = (uint8_t)(v >> (8 * i));
        }
        for (int i = rec.width * bpp; i < rec.pitch; i++) body[y * rec.pitch + i] = (uint8_t)rng();
    }
    if (palette) {
        int eb = layout.type == 1 ? 4 : 2;
        for (int i = 0; i < 256 * eb; i++) palette[i] = (uint8_t)rng();
    }
    BuildRuns();
}

void TestImage::BuildRuns() {
    if (!layout.run_codes) return;
    RefImage whole = Ref();
    whole.pixels = body;
    whole.width = rec.width;
    whole.height = rec.height;
    size_t n = RefEncodeRuns(whole, nullptr);
    GuardFree(codes);
    codes = GuardAlloc(n);
    code_size = n;
    RefEncodeRuns(whole, codes);
    rec.run_codes.codes = codes;
    rec.run_codes.size = (int32_t)n;
    rec.run_codes.capacity = (int32_t)n;
    rec.rle_flag = 1;
}

RefImage TestImage::Ref(uint8_t* body_copy) const {
    RefImage r;
    r.type = layout.type;
    r.kind = layout.kind;
    r.dst_refused = layout.kind != KIND_DIRECT;
    r.width = img.width;
    r.height = img.height;
    r.pitch = rec.pitch;
    r.pixels = (body_copy ? body_copy : body) + (img.pixels - body);
    r.key = rec.trans_color;
    r.palette = palette;
    bool whole = img.pixels == rec.pixels && img.width == rec.width && img.height == rec.height;
    r.codes = rec.rle_flag == 1 && whole ? rec.run_codes.codes : nullptr;
    r.code_size = r.codes ? (size_t)rec.run_codes.size : 0;
    return r;
}

TestGraph::TestGraph(int width, int height, std::mt19937& rng) {
    size_t n = (size_t)width * height;
    body = GuardAlloc(n ? n : 1);
    for (size_t i = 0; i < n; i++) body[i] = (uint8_t)rng();
    DescribeMemImg(img, rec, fmt, body, 1, width, MEMIMG_TYPE_CH8, width, height);
}

TestGraph::~TestGraph() { GuardFree(body); }

void ApplySettings(const CaseSettings& s) {
    GDrawSettings.draw_area = s.area;
    GDrawSettings.blend_mode = s.mode;
    GDrawSettings.blend_param = s.p;
    for (int i = 0; i < 3; i++) GDrawSettings.bright[i] = (uint8_t)s.bright[i];
    std::memcpy(BlendGraphicTable, s.graph_table, 256);
}

template <class Bright>
static RefSettings RefWith(const Rect& area, int mode, int p, const Bright& bright, const uint8_t* graph_table) {
    RefSettings r;
    r.left = area.left;
    r.top = area.top;
    r.right = area.right;
    r.bottom = area.bottom;
    r.mode = mode;
    r.p = p;
    for (int i = 0; i < 3; i++) r.bright[i] = bright[i];
    r.graph_table = graph_table;
    return r;
}

RefSettings RefOf(const CaseSettings& s) { return RefWith(s.area, s.mode, s.p, s.bright, s.graph_table); }

RefSettings RefOfDrawSettings() {
    const DrawSettings& d = GDrawSettings;
    return RefWith(d.draw_area, d.blend_mode, d.blend_param, d.bright, BlendGraphicTable);
}

std::string Describe(const CaseSettings& s) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "mode %d p %d bright %d/%d/%d area (%d,%d)-(%d,%d)", s.mode, s.p, s.bright[2],
                  s.bright[1], s.bright[0], s.area.left, s.area.top, s.area.right, s.area.bottom);
    return buf;
}

void ResetDrawSettings(int w, int h) {
    EnsureBlitTables();
    GDrawSettings.draw_area = Rect{0, 0, w, h};
    GDrawSettings.blend_mode = 0;
    GDrawSettings.blend_param = 255;
    SetBright(255, 255, 255);
}

void SetBright(int red, int green, int blue) {
    GDrawSettings.bright[0] = (uint8_t)blue;
    GDrawSettings.bright[1] = (uint8_t)green;
    GDrawSettings.bright[2] = (uint8_t)red;
}

void EnsureBlitTables() {
    static bool built = false;
    if (!built) BuildMemImageTables();
    built = true;
}

std::vector<uint8_t> BodyOf(const TestImage& t) { return std::vector<uint8_t>(t.body, t.body + t.body_size); }

std::string CompareBody(const TestImage& dst, const std::vector<uint8_t>& expected) {
    for (size_t i = 0; i < dst.body_size; i++) {
        if (dst.body[i] != expected[i]) {
            size_t row = i / dst.rec.pitch, col = (i % dst.rec.pitch) / dst.bpp;
            char buf[200];
            size_t at = row * dst.rec.pitch + col * dst.bpp;
            uint32_t got = 0, want = 0;
            for (int b = 0; b < dst.bpp && at + b < dst.body_size; b++) {
                got |= (uint32_t)dst.body[at + b] << (8 * b);
                want |= (uint32_t)expected[at + b] << (8 * b);
            }
            std::snprintf(buf, sizeof buf, "body pixel (%d,%d) [view (%d,%d)]: got %08X want %08X", (int)col,
                          (int)row, (int)col - dst.layout.margin[0], (int)row - dst.layout.margin[1], got, want);
            return buf;
        }
    }
    return "";
}
