#include "softrender/ref_shape_canvas.h"

#include <cstdio>
#include <cstring>

#include "softrender/hand_memimg.h"

ShapeCanvas::ShapeCanvas(int width, int height, int color_type, int ring)
    : w_(width), h_(height), type_(color_type), ring_(ring) {
    bpp_ = color_type == 0 ? 2 : color_type == 1 ? 4 : color_type == 2 ? 1 : 2;
    // Odd padding keeps row starts off any lucky alignment.
    pitch_ = (w_ + 2 * ring_) * bpp_ + 6;
    buf_.resize((size_t)pitch_ * (h_ + 2 * ring_));
    for (size_t i = 0; i < buf_.size(); i++) buf_[i] = Sentinel(i);
    DescribeMemImg(img_, shared_, fmt_, buf_.data() + (size_t)ring_ * pitch_ + (size_t)ring_ * bpp_, bpp_, pitch_,
                   color_type, w_, h_);
    Fill(0);
}

bool ShapeCanvas::InView(size_t i) const {
    const size_t row = i / pitch_, col = i % pitch_;
    return row >= (size_t)ring_ && row < (size_t)(ring_ + h_) && col >= (size_t)(ring_ * bpp_) &&
           col < (size_t)((ring_ + w_) * bpp_);
}

uint32_t ShapeCanvas::Get(int x, int y) const {
    const uint8_t* p = img_.pixels + (size_t)y * pitch_ + (size_t)x * bpp_;
    uint32_t v = 0;
    std::memcpy(&v, p, bpp_);
    return v;
}

void ShapeCanvas::Set(int x, int y, uint32_t v) {
    std::memcpy(img_.pixels + (size_t)y * pitch_ + (size_t)x * bpp_, &v, bpp_);
}

void ShapeCanvas::Fill(uint32_t v) {
    for (int y = 0; y < h_; y++)
        for (int x = 0; x < w_; x++) Set(x, y, v);
}

void ShapeCanvas::FillRandom(uint32_t seed) {
    ShapeRng rng(seed);
    for (int y = 0; y < h_; y++)
        for (int x = 0; x < w_; x++) Set(x, y, rng.Next() ^ rng.Next() << 16);
}

RefImage ShapeCanvas::ToRef() const {
    RefImage r;
    r.Resize(w_, h_, type_);
    for (int y = 0; y < h_; y++)
        for (int x = 0; x < w_; x++) r.At(x, y) = Get(x, y);
    return r;
}

std::string ShapeCanvas::DiffFrom(const RefImage& ref) const {
    for (int y = 0; y < h_; y++)
        for (int x = 0; x < w_; x++) {
            const uint32_t got = Get(x, y), want = ref.px[(size_t)y * ref.w + x];
            if (got != want) {
                char buf[128];
                std::snprintf(buf, sizeof buf, "pixel (%d, %d): got %08x, want %08x", x, y, got, want);
                return buf;
            }
        }
    return "";
}

bool ShapeCanvas::RingIntact() const {
    for (size_t i = 0; i < buf_.size(); i++)
        if (!InView(i) && buf_[i] != Sentinel(i)) return false;
    return true;
}

int ShapeCanvas::CountChanged(const RefImage& before) const {
    int n = 0;
    for (int y = 0; y < h_; y++)
        for (int x = 0; x < w_; x++) n += Get(x, y) != before.px[(size_t)y * before.w + x];
    return n;
}

ShapeSettingsScope::ShapeSettingsScope(const RefSettings& s) : saved_(GDrawSettings) {
    static const int built = BuildMemImageTables();
    (void)built;
    Set(s);
}

ShapeSettingsScope::~ShapeSettingsScope() { GDrawSettings = saved_; }

void ShapeSettingsScope::Set(const RefSettings& s) {
    GDrawSettings.draw_area = Rect{(int32_t)s.left, (int32_t)s.top, (int32_t)s.right, (int32_t)s.bottom};
    GDrawSettings.blend_mode = s.mode;
    GDrawSettings.blend_param = s.param;
    GDrawSettings.bright[0] = (uint8_t)s.bright_b;
    GDrawSettings.bright[1] = (uint8_t)s.bright_g;
    GDrawSettings.bright[2] = (uint8_t)s.bright_r;
}

RefSettings AreaOf(int64_t left, int64_t top, int64_t right, int64_t bottom, int mode, int p) {
    RefSettings s;
    s.left = left;
    s.top = top;
    s.right = right;
    s.bottom = bottom;
    s.mode = mode;
    s.param = p;
    return s;
}

RefSettings RandomShapeSettings(ShapeRng& rng, int w, int h, int refused_mode) {
    const int modes[] = {0, 1, 2, 3, 4, 10, 11, refused_mode};
    RefSettings s;
    s.left = rng.Range(-3, w - 1);
    s.top = rng.Range(-3, h - 1);
    s.right = rng.Range((int)s.left, w + 3);
    s.bottom = rng.Range((int)s.top, h + 3);
    s.mode = modes[rng.Range(0, 7)];
    s.param = rng.Range(0, 2) ? rng.Range(0, 255) : 255;
    return s;
}
