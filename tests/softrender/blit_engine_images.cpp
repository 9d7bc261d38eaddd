// The blits on images made by the image module itself (its records, formats,
// run codes and views), checked against the reference model.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <random>
#include <vector>
#include "blit_harness.h"
#include "engine/graphics/draw_settings.h"
#include "engine/softrender/blit.h"
#include "engine/softrender/blit_stats.h"

namespace {

RefImage RefOfMemImg(const MEMIMG& m, uint8_t* pixels) {
    const MemImgShared* rec = m.shared;
    RefImage r;
    r.type = rec->color_type;
    r.kind = rec->palette_flag ? KIND_PALETTE : rec->alpha_flag ? KIND_ALPHA : KIND_DIRECT;
    r.dst_refused = r.kind != KIND_DIRECT;
    r.width = m.width;
    r.height = m.height;
    r.pitch = rec->pitch;
    r.pixels = pixels;
    r.key = rec->trans_color;
    r.palette = (const uint8_t*)rec->palette1;
    bool whole = !rec->body && m.pixels == rec->pixels && m.width == rec->width && m.height == rec->height;
    r.codes = rec->rle_flag == 1 && whole ? rec->run_codes.codes : nullptr;
    r.code_size = r.codes ? (size_t)rec->run_codes.size : 0;
    return r;
}

void FillImage(MEMIMG* m, std::mt19937& rng) {
    int bpp = m->shared->format->bytes_per_pixel;
    for (int y = 0; y < m->shared->height; y++) {
        uint8_t* row = m->shared->pixels + (size_t)y * m->shared->pitch;
        for (int x = 0; x < m->shared->width * bpp; x++) row[x] = (uint8_t)rng();
        // Runs of the key (index 5, key 0) and of alpha 0 and 255.
        for (int x = 0; x < m->shared->width; x += 3) std::memset(row + x * bpp, x % 2 ? 0 : 5, bpp == 1 ? 1 : 2);
        if (m->shared->alpha_flag)
            for (int x = 0; x < m->shared->width; x++) row[x * 4 + (m->shared->color_type ? 3 : 2)] = x % 4 ? 255 : 0;
    }
    if (m->shared->palette1)
        for (int i = 0; i < 256 * 4; i++) ((uint8_t*)m->shared->palette1)[i] = (uint8_t)rng();
}

}  // namespace

TEST(BlitEngineImages, DrawsImagesOfTheImageModule) {
    EnsureBlitTables();
    std::mt19937 rng(77);
    std::vector<uint32_t> counts(BlitLoopTotal());
    BlitSetLoopCounter(counts.data());
    for (int type = 0; type < 2; type++)
    for (int flags : {0, (int)MEMIMG_CREATE_ALPHA, (int)MEMIMG_CREATE_PALETTE})
    for (int mode : {0, 1, 2, 3, 4, 10, 11}) {
        MEMIMG dst, src, part;
        ASSERT_EQ(MemImageCreate(&dst, 20, 12, type, 0, 0), 0);
        ASSERT_EQ(MemImageCreate(&src, 9, 7, type, flags | MEMIMG_CREATE_RUNCODES, flags & MEMIMG_CREATE_PALETTE ? 5 : 0), 0);
        FillImage(&dst, rng);
        FillImage(&src, rng);
        ASSERT_EQ(MemImageBuildRunCodes(&src), 0);
        ASSERT_EQ(MemImageMakeView(&part, &src, 2, 1, 5, 5), 0);
        ResetDrawSettings(20, 12);
        GDrawSettings.blend_mode = mode;
        GDrawSettings.blend_param = 140;
        size_t bytes = (size_t)dst.shared->pitch * dst.height;
        std::vector<uint8_t> expected(dst.pixels, dst.pixels + bytes);
        RefImage dref = RefOfMemImg(dst, expected.data());
        RefSettings rs = {0, 0, 20, 12, mode, 140, {255, 255, 255}, BlendGraphicTable};
        RefImage sref = RefOfMemImg(src, src.pixels), pref = RefOfMemImg(part, part.pixels);
        ASSERT_NE(sref.codes, nullptr);
        ASSERT_EQ(pref.codes, nullptr);
        RefDrawWhole(rs, dref, sref, 3, 2, 1, nullptr);
        RefDrawWhole(rs, dref, pref, 12, 6, 1, nullptr);
        RefDrawStretched(rs, dref, pref, 19, 0, 9, 12, 1, nullptr);
        DrawMemImg(&dst, &src, 3, 2, 1, nullptr);
        DrawMemImg(&dst, &part, 12, 6, 1, nullptr);
        Rect rc = {19, 0, 9, 12};
        DrawMemImgStretched(&dst, &part, &rc, 1, nullptr);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), dst.pixels))
            << "type " << type << " flags " << flags << " mode " << mode;
        MemImageRelease(&part);
        MemImageRelease(&src);
        MemImageRelease(&dst);
    }
    BlitSetLoopCounter(nullptr);
    char name[80];
    int rle = 0, pixel = 0;
    for (int id = 0; id < BlitLoopTotal(); id++) {
        BlitLoopName(id, name, sizeof name);
        if (!std::strncmp(name, "rle", 3)) rle += counts[id];
        if (!std::strncmp(name, "pixel", 5)) pixel += counts[id];
    }
    EXPECT_EQ(rle, 2 * 3 * 7);     // the whole images replay their codes
    EXPECT_EQ(pixel, 2 * 3 * 7);   // the views never do
}
