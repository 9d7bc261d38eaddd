// The software screen: clear, shapes, present through GDI, repaint, and graphics
// as software images.
#include "graphics_test_util.h"

#include "engine/graphics/draw_graphic.h"
#include "engine/graphics/draw_shapes.h"
#include "engine/graphics/graphic_handle.h"
#include "engine/graphics/graphic_record.h"
#include "engine/image/memimg.h"

namespace {

class SoftGraphics : public GraphicsEngine {
protected:
    int Hardware() const override { return 0; }
};

uint32_t WindowPixel(int x, int y) {
    HDC dc = GetDC(GetMainWindow());
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(GetMainWindow(), dc);
    return (uint32_t)GetRValue(c) << 16 | (uint32_t)GetGValue(c) << 8 | GetBValue(c);
}

TEST_F(SoftGraphics, ScreenAndTextWorkImagesExist) {
    MEMIMG* screen = GetScreenMemImg();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->width, 640);
    EXPECT_EQ(screen->height, 480);
    EXPECT_EQ(screen->shared->color_type, MEMIMG_TYPE_16);
    EXPECT_EQ(screen->shared->alpha_flag, 0);
    ASSERT_NE(GetTextWorkImage(0), nullptr);
    ASSERT_NE(GetTextWorkImage(1), nullptr);
    EXPECT_EQ(GetTextWorkImage(0)->shared->alpha_flag, 0);
    EXPECT_EQ(GetTextWorkImage(1)->shared->alpha_flag, 1);
    EXPECT_EQ(GetTextWorkImage(1)->width, 640);
    EXPECT_EQ(GetD3DDevice(), nullptr);
    // The tables the software renderer reads are ready.
    EXPECT_EQ(MemImgMulTable[255][255], 255);
    EXPECT_EQ(MemImgMulTable[128][255], 128);
}

TEST_F(SoftGraphics, ClearAndPresentReachTheWindowExactly) {
    DrawBox(0, 0, 640, 480, PackScreenColor(255, 255, 255), 1);
    ASSERT_EQ(ClearScreen(), 0);
    DrawBox(10, 10, 30, 20, PackScreenColor(255, 0, 0), 1);
    DrawBox(40, 10, 60, 30, PackScreenColor(0, 0, 255), 0);
    DrawBox(100, 100, 110, 110, PackScreenColor(96, 200, 40), 1);
    Capture cap;
    EXPECT_TRUE(RgbNear(cap.At(5, 5), 0, 0, 0, 0));
    EXPECT_TRUE(RgbNear(cap.At(10, 10), 255, 0, 0, 0));
    EXPECT_TRUE(RgbNear(cap.At(29, 19), 255, 0, 0, 0));
    EXPECT_TRUE(RgbNear(cap.At(30, 19), 0, 0, 0, 0));
    EXPECT_TRUE(RgbNear(cap.At(40, 10), 0, 0, 255, 0));
    EXPECT_TRUE(RgbNear(cap.At(59, 29), 0, 0, 255, 0));
    EXPECT_TRUE(RgbNear(cap.At(50, 20), 0, 0, 0, 0));
    int r, g, b;
    UnpackScreenColor(PackScreenColor(96, 200, 40), &r, &g, &b);
    EXPECT_TRUE(RgbNear(cap.At(105, 105), r, g, b, 0));

    ASSERT_EQ(PresentScreen(), 0);
    EXPECT_TRUE(RgbNear(WindowPixel(5, 5), 0, 0, 0, 0));
    EXPECT_TRUE(RgbNear(WindowPixel(10, 10), 255, 0, 0, 0));
    EXPECT_TRUE(RgbNear(WindowPixel(105, 105), r, g, b, 0));

    // Something else paints over the window; WM_PAINT brings the last frame back.
    HWND hwnd = GetMainWindow();
    HDC dc = GetDC(hwnd);
    RECT all = {0, 0, 640, 480};
    FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    ReleaseDC(hwnd, dc);
    EXPECT_TRUE(RgbNear(WindowPixel(10, 10), 255, 255, 255, 0));
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
    EXPECT_TRUE(RgbNear(WindowPixel(10, 10), 255, 0, 0, 0));
    EXPECT_TRUE(RgbNear(WindowPixel(5, 5), 0, 0, 0, 0));
}

TEST_F(SoftGraphics, PresentPacesToSixtyFramesASecond) {
    PresentScreen();
    DWORD start = GetTickCount();
    for (int i = 0; i < 30; i++) PresentScreen();
    DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 400u);   // 30 frames at 60 Hz are 500 ms
    EXPECT_LE(took, 3000u);
}

TEST_F(SoftGraphics, GraphicsAreScreenTypeImagesAndDerivedOnesAreViews) {
    BaseImage pic{};
    ASSERT_EQ(MakeTestPicture(&pic), 0);
    int g = MakeEmptyGraphic(64, 64);
    ASSERT_GE(g, 0);
    ASSERT_EQ(BltImageToGraphic(&pic, nullptr, nullptr, 0, 0, g), 0);
    GraphicRecord* rec = GetGraphicRecord(g);
    ASSERT_NE(rec, nullptr);
    ASSERT_EQ(rec->has_image, 1);
    EXPECT_EQ(rec->image.shared->color_type, MEMIMG_TYPE_16);
    EXPECT_EQ(*(uint16_t*)MemImagePixelAt(&rec->image, 10, 20), PackScreenColor(40, 80, 128));
    // The whole transfer of a keyed picture carries run-length codes.
    EXPECT_EQ(rec->image.shared->rle_flag, 1);

    int d = DeriveGraphic(60, 10, 10, 10, g);
    ASSERT_GE(d, 0);
    GraphicRecord* drec = GetGraphicRecord(d);
    EXPECT_EQ(drec->image.width, 4);
    EXPECT_EQ(drec->image.pixels, MemImagePixelAt(&rec->image, 60, 10));
    EXPECT_EQ(drec->image.shared->rle_flag, 0);

    // A one-byte graph is needed for the software blend graph.
    EXPECT_EQ(SetBlendGraphic(g, 0, 0), -1);
    EXPECT_EQ(SetBlendGraphic(-1, 0, 255), 0);
    EXPECT_EQ(GDrawSettings.blend_graph_image, nullptr);

    int flag = 0;
    SetGraphicLostFlag(d, &flag);
    EXPECT_EQ(DeleteGraphic(g, 0), 0);
    EXPECT_EQ(DeleteGraphic(d, 0), 0);
    EXPECT_EQ(flag, 1);
    BaseImageRelease(&pic);
}

TEST_F(SoftGraphics, PicturesDrawThroughTheSoftwareBlit) {
    BaseImage pic{};
    ASSERT_EQ(MakeTestPicture(&pic), 0);
    int g = MakeEmptyGraphic(64, 64);
    BltImageToGraphic(&pic, nullptr, nullptr, 0, 0, g);
    ClearScreen();
    DrawBox(90, 90, 200, 200, PackScreenColor(128, 128, 128), 1);
    DrawGraphic(100, 100, g, 1);
    DrawGraphicPartStretchedF(300, 100, 428, 228, 0, 0, 64, 64, g, 1);
    DrawGraphicPart(500, 100, 10, 20, 20, 10, g, 0, 0);
    DrawGraphicPart(500, 200, 10, 20, 20, 10, g, 0, 1);
    DrawGraphicPart(500, 300, 60, 60, 20, 20, g, 0, 0);  // cut to the graphic: 4 x 4
    Capture cap;
    auto screen = [](int r, int g, int b) {
        UnpackScreenColor(PackScreenColor(r, g, b), &r, &g, &b);
        return (uint32_t)(r << 16 | g << 8 | b);
    };
    EXPECT_EQ(cap.At(110, 120), screen(40, 80, 128));
    EXPECT_EQ(cap.At(100, 100), screen(128, 128, 128));
    EXPECT_EQ(cap.At(320, 140), screen(40, 80, 128));
    EXPECT_EQ(cap.At(500, 100), screen(40, 80, 128));
    EXPECT_EQ(cap.At(519, 109), screen(116, 116, 128));
    EXPECT_EQ(cap.At(520, 100), 0u);
    EXPECT_EQ(cap.At(500, 200), screen(116, 80, 128));
    EXPECT_EQ(cap.At(519, 209), screen(40, 116, 128));
    EXPECT_EQ(cap.At(501, 301), screen(244, 244, 128));
    EXPECT_EQ(cap.At(502, 302), 0u);  // source border
    EXPECT_EQ(cap.At(504, 300), 0u);  // past the cut

    EXPECT_EQ(FillGraphic(g, 255, 0, 0, 255), 0);
    EXPECT_EQ(*(uint16_t*)MemImagePixelAt(&GetGraphicRecord(g)->image, 63, 63), PackScreenColor(255, 0, 0));
    DeleteGraphic(g, 0);
    BaseImageRelease(&pic);
}

TEST(GraphicsStart, RefusesAnEightBitScreenAndAcceptsThirtyTwo) {
    SetUseHardwareRendering(0);
    ChangeWindowMode(1);
    SetAlwaysRunFlag(1);
    SetGraphMode(640, 480, 8, 60);
    EXPECT_EQ(InitLibrarySystems(), -1);
    EXPECT_EQ(IsGraphicsStarted(), 0);
    SetGraphMode(640, 480, 32, 60);
    ASSERT_EQ(InitLibrarySystems(), 0);
    EXPECT_EQ(GetScreenColorDepth(), 32);
    EXPECT_EQ(GetScreenMemImg()->shared->color_type, MEMIMG_TYPE_32);
    EXPECT_EQ(PackScreenColor(1, 2, 3), 0xFF010203u);
    EndLibrarySystems();
    // The same through Direct3D: an X8R8G8B8 back buffer keeps every bit.
    SetUseHardwareRendering(1);
    ASSERT_EQ(InitLibrarySystems(), 0);
    EXPECT_EQ(GraphicsUsesD3D(), 1);
    ClearScreen();
    DrawBox(10, 10, 20, 20, PackScreenColor(0x12, 0x34, 0x56), 1);
    {
        Capture cap;
        EXPECT_EQ(cap.At(15, 15), 0x123456u);
        EXPECT_EQ(cap.At(25, 15), 0u);
    }
    EndLibrarySystems();
    SetGraphMode(640, 480, 16, 60);
    SetUseHardwareRendering(1);
    SetAlwaysRunFlag(0);
    GScreenMode.color_depth = 16;
}

}  // namespace
