// Input decoding, canvas set-up and checks shared by the shape fuzz targets.
// A header because each target is a program of its own; for the same reason
// the reference model and its harness come in whole.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/softrender/shapes.h"
#include "softrender/ref_shape.cpp"
#include "softrender/ref_shape_canvas.cpp"

namespace {

struct Bytes {
    const uint8_t* p;
    size_t n;
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; i++) v = v << 8 | U8();
        return v;
    }
    uint8_t U8() {
        if (!n) return 0;
        n--;
        return *p++;
    }
    // Sign-extended, high byte first.
    int I16() {
        const int hi = U8();
        return (int)(int16_t)(hi << 8 | U8());
    }
    // Mostly near the image, sometimes anywhere in the int range.
    int Coord(int size) {
        const uint8_t kind = U8();
        if (kind < 16) return (int)U32();
        if (kind < 48) return I16();
        return (int)(U8() % (size + 40)) - 20;
    }
};

void Check(bool ok) {
    if (!ok) std::abort();
}

// What every shape draw starts from: the image's type and size, the draw
// settings (any area near the image, any mode, bright now and then) and the colour.
struct Scene {
    int type, w, h;
    RefSettings s;
    uint32_t color;
};

Scene DecodeScene(Bytes& in) {
    Scene sc;
    sc.type = in.U8() & 1;
    sc.w = 1 + in.U8() % 48;
    sc.h = 1 + in.U8() % 48;
    RefSettings& s = sc.s;
    s.left = (int8_t)in.U8();
    s.top = (int8_t)in.U8();
    s.right = s.left + in.U8() % 64;
    s.bottom = s.top + in.U8() % 64;
    s.mode = in.U8() % 13;
    s.param = in.U8();
    if (in.U8() & 1) {
        s.bright_b = in.U8();
        s.bright_g = in.U8();
        s.bright_r = in.U8();
    }
    sc.color = in.U32();
    return sc;
}

// The scene's canvas with random pixels, its reference twin and the draw
// settings in force for the object's lifetime.
struct SceneCanvas {
    ShapeCanvas canvas;
    RefImage ref;
    ShapeSettingsScope scope;
    SceneCanvas(const Scene& sc, Bytes& in) : canvas(sc.w, sc.h, sc.type), scope(sc.s) {
        canvas.FillRandom(in.U8());
        ref = canvas.ToRef();
    }
    // The ring must be intact; the pixels must equal the reference's unless it was skipped.
    void CheckAgainstReference(bool reference_drawn) {
        Check(canvas.RingIntact());
        if (reference_drawn) Check(canvas.DiffFrom(ref).empty());
    }
};

}  // namespace
