// Parts cut at the graphic's edges keep their place, alpha-test graphics keep an
// image's alpha, and Direct3D presents on the vertical sync.
#include "graphics_test_util.h"

#include "engine/graphics/d3d_device.h"
#include "engine/graphics/draw_graphic.h"
#include "engine/graphics/draw_shapes.h"
#include "engine/graphics/graphic_handle.h"

namespace {

template <int HW> class PartDraw : public GraphicsEngine {
protected:
    int Hardware() const override { return HW; }
};
using D3DPartDraw = PartDraw<1>;
using SoftPartDraw = PartDraw<0>;

// The test picture's texel (u, v) as the screen shows it.
uint32_t PictureTexel(int u, int v) {
    int r, g, b;
    bool border = u < 2 || v < 2 || u >= 62 || v >= 62;
    UnpackScreenColor(border ? 0 : PackScreenColor(u * 4, v * 4, 128), &r, &g, &b);
    return (uint32_t)(r << 16 | g << 8 | b);
}

// A part beginning left of and above the graphic, and a mirrored part running past
// its right edge: every texel lands where the uncut part would have put it.
void DrawAndCheckCutParts(int tolerance) {
    BaseImage pic{};
    ASSERT_EQ(MakeTestPicture(&pic), 0);
    int g = MakeEmptyGraphic(64, 64);
    ASSERT_EQ(BltImageToGraphic(&pic, nullptr, nullptr, 0, 0, g), 0);
    ClearScreen();
    DrawBox(0, 0, 640, 480, PackScreenColor(255, 255, 255), 1);
    EXPECT_EQ(DrawGraphicPart(100, 100, -3, -2, 10, 10, g, 0, 0), 0);
    EXPECT_EQ(DrawGraphicPart(200, 100, 56, 10, 12, 5, g, 0, 1), 0);
    Capture cap;
    for (int v = 0; v < 8; v++)
        for (int u = 0; u < 7; u++) {
            uint32_t want = PictureTexel(u, v);
            EXPECT_TRUE(RgbNear(cap.At(103 + u, 102 + v), want >> 16, (want >> 8) & 0xFF, want & 0xFF, tolerance))
                << u << "," << v;
        }
    EXPECT_TRUE(RgbNear(cap.At(102, 101), 255, 255, 255, 0));
    EXPECT_TRUE(RgbNear(cap.At(110, 110), 255, 255, 255, 0));
    // Mirrored: source column c of 56..63 lands at 200 + 67 - c; columns 64..67 do not exist.
    for (int c = 56; c < 64; c++) {
        uint32_t want = PictureTexel(c, 12);
        EXPECT_TRUE(RgbNear(cap.At(200 + 67 - c, 102), want >> 16, (want >> 8) & 0xFF, want & 0xFF, tolerance)) << c;
    }
    EXPECT_TRUE(RgbNear(cap.At(200, 102), 255, 255, 255, 0));
    EXPECT_TRUE(RgbNear(cap.At(203, 102), 255, 255, 255, 0));
    DeleteGraphic(g, 0);
    BaseImageRelease(&pic);
}

TEST_F(D3DPartDraw, CutPartsKeepTheirPlace) { DrawAndCheckCutParts(8); }
TEST_F(SoftPartDraw, CutPartsKeepTheirPlace) { DrawAndCheckCutParts(0); }

TEST_F(D3DPartDraw, AlphaTestGraphicsKeepTheImagesAlpha) {
    // Left half: white at alpha 0; right half: the key colour (black) opaque.
    BaseImage img{};
    PixelFormat argb;
    SetPixelFormatA8R8G8B8(&argb);
    ASSERT_EQ(BaseImageCreate(&argb, 8, 8, &img), 0);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) ((uint32_t*)((uint8_t*)img.pixels + y * img.pitch))[x] = x < 4 ? 0x00FFFFFF : 0xFF000000;
    SetCreateGraphicAlphaTestFlag(1);
    int tested = MakeEmptyGraphic(8, 8);
    SetCreateGraphicAlphaTestFlag(0);
    int picture = MakeEmptyGraphic(8, 8);
    ASSERT_EQ(BltImageToGraphic(&img, nullptr, nullptr, 0, 0, tested), 0);
    ASSERT_EQ(BltImageToGraphic(&img, nullptr, nullptr, 0, 0, picture), 0);
    ClearScreen();
    DrawBox(0, 0, 640, 480, PackScreenColor(128, 128, 128), 1);
    DrawGraphic(10, 10, tested, 1);
    DrawGraphic(30, 10, picture, 1);
    Capture cap;
    EXPECT_TRUE(RgbNear(cap.At(11, 11), 128, 128, 128, 8));  // alpha 0 is not drawn
    EXPECT_TRUE(RgbNear(cap.At(16, 11), 0, 0, 0, 0));        // opaque black stays
    // A picture keeps the colour-key rule: white shows, black is the key.
    EXPECT_TRUE(RgbNear(cap.At(31, 11), 255, 255, 255, 8));
    EXPECT_TRUE(RgbNear(cap.At(36, 11), 128, 128, 128, 8));
    DeleteGraphic(tested, 0);
    DeleteGraphic(picture, 0);
    BaseImageRelease(&img);
}

TEST_F(D3DPartDraw, PresentWaitsForTheVerticalSync) {
    IDirect3DSwapChain9* chain = nullptr;
    ASSERT_TRUE(SUCCEEDED(GetD3DDevice()->GetSwapChain(0, &chain)));
    D3DPRESENT_PARAMETERS p{};
    EXPECT_TRUE(SUCCEEDED(chain->GetPresentParameters(&p)));
    chain->Release();
    EXPECT_EQ(p.PresentationInterval, (UINT)D3DPRESENT_INTERVAL_ONE);
    // Presenting goes on working, paced or not.
    for (int i = 0; i < 3; i++) EXPECT_EQ(PresentScreen(), 0);
}

}  // namespace
