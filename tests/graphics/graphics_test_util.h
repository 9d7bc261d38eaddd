// Engine start for the graphics tests and pixel checks on captured screens.
#pragma once
#include <gtest/gtest.h>
#include <cstdint>
#include <cstdlib>

#include "engine/graphics/draw_settings.h"
#include "engine/graphics/graphics_system.h"
#include "engine/graphics/screen.h"
#include "engine/image/pixel_format.h"
#include "engine/system/library.h"
#include "engine/system/window.h"

class GraphicsEngine : public testing::Test {
protected:
    virtual int Hardware() const = 0;
    void SetUp() override {
        SetUseHardwareRendering(Hardware());
        ChangeWindowMode(1);
        SetGraphMode(640, 480, 16, 60);
        SetAlwaysRunFlag(1);
        ASSERT_EQ(InitLibrarySystems(), 0);
        ASSERT_EQ(IsGraphicsStarted(), 1);
        ASSERT_EQ(GraphicsUsesD3D(), Hardware());
    }
    void TearDown() override {
        EndLibrarySystems();
        EXPECT_EQ(IsGraphicsStarted(), 0);
        SetAlwaysRunFlag(0);
        SetUseHardwareRendering(1);
        SetBlendModeParam(DX_BLENDMODE_NOBLEND, 255);
        SetDrawBright(255, 255, 255);
    }
};

struct Capture {
    BaseImage img{};
    Capture() { EXPECT_EQ(CaptureScreen(&img), 0); }
    ~Capture() { BaseImageRelease(&img); }
    uint32_t At(int x, int y) const {
        if (!img.pixels) return 0xDEADBEEF;
        return ((const uint32_t*)((const uint8_t*)img.pixels + y * img.pitch))[x] & 0xFFFFFF;
    }
};

inline testing::AssertionResult RgbNear(uint32_t got, int r, int g, int b, int tolerance) {
    int gr = (got >> 16) & 0xFF, gg = (got >> 8) & 0xFF, gb = got & 0xFF;
    if (std::abs(gr - r) <= tolerance && std::abs(gg - g) <= tolerance && std::abs(gb - b) <= tolerance)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "got (" << gr << ", " << gg << ", " << gb << ") wanted (" << r << ", "
                                       << g << ", " << b << ") +-" << tolerance;
}

// A 64 x 64 picture: red rises with x, green with y, blue 128, inside a two-pixel
// border of the colour key (black).
inline int MakeTestPicture(BaseImage* img) {
    if (BaseImageCreateXrgb32(64, 64, img) < 0) return -1;
    for (int y = 0; y < 64; y++) {
        uint32_t* row = (uint32_t*)((uint8_t*)img->pixels + y * img->pitch);
        for (int x = 0; x < 64; x++) {
            bool border = x < 2 || y < 2 || x >= 62 || y >= 62;
            row[x] = border ? 0 : (uint32_t)(x * 4) << 16 | (uint32_t)(y * 4) << 8 | 128;
        }
    }
    return 0;
}
