#include "engine/softrender/shape_frame.h"

#include "engine/graphics/draw_settings.h"
#include "engine/image/memimg.h"
#include "engine/system/rect.h"

ShapeState ShapeReadState() {
    const DrawSettings& s = GDrawSettings;
    ShapeState st;
    st.area = s.draw_area;
    st.mode = s.blend_mode;
    // The setter keeps it in 0..255; a stray value must still not index past the tables.
    st.param = s.blend_param < 0 ? 0 : s.blend_param > 255 ? 255 : s.blend_param;
    st.bright[0] = s.bright[0];
    st.bright[1] = s.bright[1];
    st.bright[2] = s.bright[2];
    st.mul_row = MemImgMulTable[st.param];
    st.smul_centre = &MemImgSignedMulTable[st.param][256];
    return st;
}

bool ShapeTargetOf(const ShapeState& st, const MEMIMG* img, ShapeTarget* out) {
    if (!img || img->magic != MEMIMG_MAGIC || !img->shared || !img->pixels) return false;
    const MemImgShared* sh = img->shared;
    if (sh->palette_flag == 1 || sh->alpha_flag == 1) return false;
    if (sh->color_type != MEMIMG_TYPE_16 && sh->color_type != MEMIMG_TYPE_32) return false;
    // The caller should keep the draw area inside the view; cutting it here once
    // keeps a careless one from writing outside the image.
    Rect a = st.area;
    const Rect bounds = {0, 0, img->width, img->height};
    ClipRectToRect(&a, &bounds);
    if (a.right <= a.left || a.bottom <= a.top) return false;
    out->pixels = img->pixels;
    out->pitch = sh->pitch;
    out->bpp = sh->color_type == MEMIMG_TYPE_16 ? 2 : 4;
    out->color_type = sh->color_type;
    out->area = a;
    return true;
}

bool ShapeMakePen(const ShapeState& st, int type, uint32_t color, ShapePen* pen) {
    if (type != MEMIMG_TYPE_16 && type != MEMIMG_TYPE_32) return false;
    const bool white = st.bright[0] == 255 && st.bright[1] == 255 && st.bright[2] == 255;
    int32_t c[3];
    if (type == MEMIMG_TYPE_32) {
        pen->format = 32;
        for (int i = 0; i < 3; i++) {
            c[i] = (int32_t)((color >> (8 * i)) & 0xFF);
            if (!white) c[i] = (c[i] * st.bright[i]) >> 8;
        }
        color = (color & 0xFF000000u) | (uint32_t)(c[2] << 16 | c[1] << 8 | c[0]);
    } else {
        pen->format = 16;
        // Stray upper bits would land in the neighbour pixel of a paired store.
        color &= 0xFFFFu;
        c[0] = (int32_t)(color & 31);
        c[1] = (int32_t)((color >> 5) & 63);
        c[2] = (int32_t)(color >> 11);
        if (!white) {
            for (int i = 0; i < 3; i++) c[i] = (c[i] * st.bright[i]) >> 8;
            color = (uint32_t)(c[2] << 11 | c[1] << 5 | c[0]);
        }
    }
    int mode = st.mode;
    const int p = st.param;
    switch (mode) {
    case 0: case 4: case 10: case 11: break;
    case 1:
        if (p == 0) return false;
        if (p == 255) mode = 0;
        break;
    case 2: case 3:
        if (p == 0) return false;
        break;
    default:
        return false;
    }
    pen->mode = mode;
    pen->color = color;
    pen->p = p;
    pen->smul = st.smul_centre;
    const bool wide = pen->format == 32;
    pen->scaled = (uint32_t)st.mul_row[c[0]] | (uint32_t)st.mul_row[c[1]] << (wide ? 8 : 5) |
                  (uint32_t)st.mul_row[c[2]] << (wide ? 16 : 11);
    if (mode == 10) {
        // The 16-bit word is inverted whole, so each field becomes 2^w - 1 - c.
        if (pen->format == 32) {
            for (int i = 0; i < 3; i++) c[i] = 255 - c[i];
        } else {
            c[0] = 31 - c[0];
            c[1] = 63 - c[1];
            c[2] = 31 - c[2];
        }
    }
    for (int i = 0; i < 3; i++) pen->c[i] = c[i];
    pen->lerp_rb = (uint32_t)(c[2] << 16 | c[0]) * (uint32_t)p;
    pen->lerp_g = (uint32_t)(c[1] << 8) * (uint32_t)p;
    return true;
}
