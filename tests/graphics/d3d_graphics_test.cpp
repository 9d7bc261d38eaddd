// Direct3D 9 drawing read back from the back buffer.
#include "graphics_test_util.h"

#include "engine/graphics/d3d_device.h"
#include "engine/graphics/draw_graphic.h"
#include "engine/graphics/draw_shapes.h"
#include "engine/graphics/graphic_handle.h"
#include "engine/system/handle_table.h"

namespace {

class D3DGraphics : public GraphicsEngine {
protected:
    int Hardware() const override { return 1; }
    void SetUp() override {
        GraphicsEngine::SetUp();
        ASSERT_EQ(MakeTestPicture(&pic), 0);
    }
    void TearDown() override {
        GraphicsEngine::TearDown();  // graphics go before the picture they restore from
        BaseImageRelease(&pic);
    }
    int MakePictureGraphic() {
        int g = MakeEmptyGraphic(64, 64);
        EXPECT_GE(g, 0);
        EXPECT_EQ(BltImageToGraphic(&pic, nullptr, nullptr, 0, 0, g), 0);
        return g;
    }
    BaseImage pic{};
};

const int kTol = 8;  // 5-bit texture channels into a 5-6-5 back buffer

TEST_F(D3DGraphics, BoxPictureAndStretchedPictureReachTheBackBuffer) {
    int g = MakePictureGraphic();
    ASSERT_EQ(ClearScreen(), 0);
    DrawBox(90, 90, 200, 200, PackScreenColor(128, 128, 128), 1);
    DrawBox(10, 10, 50, 40, PackScreenColor(255, 0, 0), 1);
    DrawBox(60, 10, 80, 30, PackScreenColor(0, 255, 0), 0);
    EXPECT_EQ(DrawGraphic(100, 100, g, 1), 0);
    EXPECT_EQ(DrawGraphicPartStretchedF(300, 100, 428, 228, 0, 0, 64, 64, g, 1), 0);
    EXPECT_EQ(DrawGraphicPart(500, 100, 10, 20, 20, 10, g, 0, 1), 0);
    SetDrawBright(255, 128, 0);
    EXPECT_EQ(DrawGraphic(500, 300, g, 1), 0);
    SetDrawBright(255, 255, 255);
    EXPECT_EQ(DrawCircle(100, 400, 10, PackScreenColor(0, 0, 255), 1), 0);
    Capture cap;
    // Filled box: exact edges, right and bottom exclusive.
    EXPECT_TRUE(RgbNear(cap.At(10, 10), 255, 0, 0, 0));
    EXPECT_TRUE(RgbNear(cap.At(49, 39), 255, 0, 0, 0));
    EXPECT_TRUE(RgbNear(cap.At(50, 39), 0, 0, 0, 0));
    EXPECT_TRUE(RgbNear(cap.At(9, 10), 0, 0, 0, 0));
    // Outline: corners drawn, inside and the exclusive corner not.
    EXPECT_TRUE(RgbNear(cap.At(60, 10), 0, 255, 0, 0));
    EXPECT_TRUE(RgbNear(cap.At(79, 29), 0, 255, 0, 0));
    EXPECT_TRUE(RgbNear(cap.At(70, 20), 0, 0, 0, 0));
    EXPECT_TRUE(RgbNear(cap.At(80, 30), 0, 0, 0, 0));
    // Picture texel for texel; the keyed border leaves the grey box showing.
    EXPECT_TRUE(RgbNear(cap.At(110, 120), 40, 80, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(102, 102), 8, 8, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(100, 100), 128, 128, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(163, 163), 128, 128, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(164, 164), 128, 128, 128, kTol));
    // Twice the size: each texel covers two by two pixels.
    EXPECT_TRUE(RgbNear(cap.At(320, 140), 40, 80, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(321, 141), 40, 80, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(380, 160), 160, 120, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(301, 101), 0, 0, 0, 0));
    // Mirrored part: its left edge shows the part's rightmost column (x 29).
    EXPECT_TRUE(RgbNear(cap.At(500, 100), 116, 80, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(519, 109), 40, 116, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(520, 100), 0, 0, 0, 0));
    // The draw bright scales the texels.
    EXPECT_TRUE(RgbNear(cap.At(510, 320), 40, 40, 0, kTol));
    // A disc: centre and rim inside, beyond the radius not.
    EXPECT_TRUE(RgbNear(cap.At(100, 400), 0, 0, 255, 0));
    EXPECT_TRUE(RgbNear(cap.At(109, 400), 0, 0, 255, 0));
    EXPECT_TRUE(RgbNear(cap.At(112, 400), 0, 0, 0, 0));
    EXPECT_TRUE(RgbNear(cap.At(108, 408), 0, 0, 0, 0));
}

TEST_F(D3DGraphics, QuadCornersRunTopLeftTopRightBottomRightBottomLeft) {
    int g = MakePictureGraphic();
    ClearScreen();
    // A quarter turn clockwise into (200, 300)-(264, 364): texel (u, v) lands on
    // pixel (263 - v, 300 + u).
    float l = 199.5f, t = 299.5f, r = 263.5f, b = 363.5f;
    EXPECT_EQ(DrawGraphicQuad(r, t, r, b, l, b, l, t, g, 1), 0);
    Capture cap;
    EXPECT_TRUE(RgbNear(cap.At(243, 310), 40, 80, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(263 - 50, 300 + 5), 20, 200, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(263, 300), 0, 0, 0, 0));  // keyed corner
}

TEST_F(D3DGraphics, BlendModesBrightAndDrawArea) {
    uint32_t grey = PackScreenColor(100, 100, 100);
    ClearScreen();
    DrawBox(0, 0, 400, 100, grey, 1);
    SetBlendModeParam(DX_BLENDMODE_ADD, 255);
    DrawBox(0, 0, 50, 50, PackScreenColor(100, 50, 0), 1);
    SetBlendModeParam(DX_BLENDMODE_MUL, 0);
    DrawBox(50, 0, 100, 50, PackScreenColor(255, 128, 0), 1);
    SetBlendModeParam(DX_BLENDMODE_ALPHA, 128);
    DrawBox(100, 0, 150, 50, PackScreenColor(255, 255, 255), 1);
    SetBlendModeParam(DX_BLENDMODE_INVSRC, 255);  // software only: nothing here
    DrawBox(150, 0, 200, 50, PackScreenColor(255, 255, 255), 1);
    SetBlendModeParam(DX_BLENDMODE_NOBLEND, 255);
    SetDrawBright(255, 128, 0);
    DrawBox(200, 0, 250, 50, PackScreenColor(255, 255, 255), 1);
    SetDrawBright(255, 255, 255);
    SetDrawArea(250, 0, 260, 10);
    DrawBox(250, 0, 300, 50, PackScreenColor(255, 255, 255), 1);
    SetDrawArea(0, 0, 640, 480);
    Capture cap;
    EXPECT_TRUE(RgbNear(cap.At(10, 10), 200, 150, 100, 4));
    EXPECT_TRUE(RgbNear(cap.At(60, 10), 100, 50, 0, 4));
    EXPECT_TRUE(RgbNear(cap.At(110, 10), 177, 177, 177, 4));
    EXPECT_TRUE(RgbNear(cap.At(160, 10), 100, 100, 100, kTol));
    EXPECT_TRUE(RgbNear(cap.At(210, 10), 255, 128, 0, 4));
    EXPECT_TRUE(RgbNear(cap.At(255, 5), 255, 255, 255, 0));
    EXPECT_TRUE(RgbNear(cap.At(265, 5), 100, 100, 100, kTol));
    EXPECT_TRUE(RgbNear(cap.At(255, 15), 100, 100, 100, kTol));
}

TEST_F(D3DGraphics, SubtractWithoutDeviceSupportIsInvertAddInvert) {
    int saved = GDrawSettings.device_can_subtract;
    GDrawSettings.device_can_subtract = 0;
    int g = MakePictureGraphic();
    ClearScreen();
    DrawBox(0, 0, 300, 100, PackScreenColor(200, 150, 100), 1);
    SetBlendModeParam(DX_BLENDMODE_SUB, 255);
    // A draw brackets itself...
    DrawBox(10, 10, 50, 50, PackScreenColor(50, 100, 150), 1);
    // ...or goes inside the caller's brackets without inverting twice.
    Rect r = {100, 10, 140, 50};
    BeginEmulatedSubtract(&r);
    DrawBox(100, 10, 140, 50, PackScreenColor(50, 100, 150), 1);
    EndEmulatedSubtract(&r);
    DrawGraphic(200, 0, g, 1);
    SetBlendModeParam(DX_BLENDMODE_NOBLEND, 255);
    GDrawSettings.device_can_subtract = saved;
    Capture cap;
    EXPECT_TRUE(RgbNear(cap.At(20, 20), 150, 50, 0, 8));
    EXPECT_TRUE(RgbNear(cap.At(120, 20), 150, 50, 0, 8));
    EXPECT_TRUE(RgbNear(cap.At(60, 60), 200, 150, 100, kTol));  // inverted twice: 5-6-5 rounding
    EXPECT_TRUE(RgbNear(cap.At(210, 20), 200 - 40, 150 - 80, 0, 10));
    EXPECT_TRUE(RgbNear(cap.At(200, 0), 200, 150, 100, kTol));  // keyed border: untouched
}

TEST_F(D3DGraphics, RefusesBadTypeAndStaleHandles) {
    int g = MakeEmptyGraphic(8, 8);
    ASSERT_GE(g, 0);
    int w = 0, h = 0;
    EXPECT_EQ(GetGraphicSize(g, &w, &h), 0);
    EXPECT_EQ(w, 8);
    int wrong_type = MakeHandle(HANDLE_SOUND, HandleCheckOf(g), HandleSlotOf(g));
    EXPECT_EQ(GetGraphicSize(wrong_type, &w, &h), -1);
    EXPECT_EQ(DrawGraphic(0, 0, wrong_type, 0), -1);
    EXPECT_EQ(DeleteGraphic(wrong_type, 0), -1);
    int wrong_check = MakeHandle(HANDLE_GRAPHIC, HandleCheckOf(g) + 1, HandleSlotOf(g));
    EXPECT_EQ(FillGraphic(wrong_check, 0, 0, 0, 0), -1);
    EXPECT_EQ(GetGraphicSize(-1, &w, &h), -1);
    EXPECT_EQ(DeleteGraphic(g, 0), 0);
    EXPECT_EQ(GetGraphicSize(g, &w, &h), -1);
    EXPECT_EQ(DeleteGraphic(g, 0), -1);
    EXPECT_EQ(DrawGraphic(0, 0, g, 0), -1);
    EXPECT_EQ(MakeEmptyGraphic(0, 8), -1);
}

TEST_F(D3DGraphics, DeriveAtAnEdgeIsCutToTheSource) {
    int g = MakePictureGraphic();
    int d = DeriveGraphic(50, 40, 30, 30, g);
    ASSERT_GE(d, 0);
    int w = 0, h = 0;
    GetGraphicSize(d, &w, &h);
    EXPECT_EQ(w, 14);
    EXPECT_EQ(h, 24);
    int dd = DeriveGraphic(4, 4, 100, 100, d);
    ASSERT_GE(dd, 0);
    GetGraphicSize(dd, &w, &h);
    EXPECT_EQ(w, 10);
    EXPECT_EQ(h, 20);
    EXPECT_EQ(DeriveGraphic(64, 0, 1, 1, g), -1);
    EXPECT_EQ(DeriveGraphic(-1, 0, 4, 4, g), -1);
    // The source may go first: the derived graphic keeps the texture alive.
    EXPECT_EQ(DeleteGraphic(g, 0), 0);
    ClearScreen();
    DrawBox(190, 190, 260, 260, PackScreenColor(128, 128, 128), 1);
    DrawGraphic(200, 200, d, 0);
    DrawGraphic(300, 300, dd, 0);
    Capture cap;
    EXPECT_TRUE(RgbNear(cap.At(200, 200), 200, 160, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(211, 221), 244, 244, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(213, 223), 0, 0, 0, 0));        // source border, drawn opaque
    EXPECT_TRUE(RgbNear(cap.At(214, 200), 128, 128, 128, kTol));  // past the cut
    EXPECT_TRUE(RgbNear(cap.At(200, 224), 128, 128, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(300, 300), 216, 176, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(310, 300), 0, 0, 0, 0));
}

TEST_F(D3DGraphics, LostFlagRisesOnDeleteAndOnDeviceLoss) {
    int a = MakeEmptyGraphic(16, 16);
    int flag_a = 7;
    EXPECT_EQ(SetGraphicLostFlag(a, &flag_a), 0);
    EXPECT_EQ(flag_a, 0);
    DeleteGraphic(a, 0);
    EXPECT_EQ(flag_a, 1);

    int empty = MakeEmptyGraphic(16, 16);
    int g = MakePictureGraphic();
    int flag_empty = 7, flag_pic = 7;
    SetGraphicLostFlag(empty, &flag_empty);
    SetGraphicLostFlag(g, &flag_pic);
    ForceGraphicsDeviceLossForTest();
    ClearScreen();
    PresentScreen();  // sees the loss, resets, restores
    EXPECT_EQ(flag_empty, 1);
    EXPECT_EQ(flag_pic, 0);
    EXPECT_EQ(IsDrawingSuppressed(), 0);
    ClearScreen();
    DrawGraphic(100, 100, g, 0);
    Capture cap;
    EXPECT_TRUE(RgbNear(cap.At(110, 120), 40, 80, 128, kTol));
}

TEST_F(D3DGraphics, PiecewiseTransfersAreAllRestoredAfterALoss) {
    int g = MakeEmptyGraphic(64, 64);
    ASSERT_GE(g, 0);
    Rect left = {0, 0, 32, 64}, right = {32, 0, 64, 64};
    ASSERT_EQ(BltImageToGraphic(&pic, nullptr, &left, 0, 0, g), 0);
    ASSERT_EQ(BltImageToGraphic(&pic, nullptr, &right, 32, 0, g), 0);
    int flag = 7;
    SetGraphicLostFlag(g, &flag);
    ForceGraphicsDeviceLossForTest();
    PresentScreen();
    EXPECT_EQ(flag, 0);
    ClearScreen();
    DrawGraphic(100, 100, g, 0);
    Capture cap;
    EXPECT_TRUE(RgbNear(cap.At(110, 120), 40, 80, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(150, 120), 200, 80, 128, kTol));
}

TEST_F(D3DGraphics, RestartKeepsHandlesValid) {
    int g = MakePictureGraphic();
    int d = DeriveGraphic(10, 20, 8, 8, g);
    ASSERT_GE(d, 0);
    IDirect3DDevice9* before = GetD3DDevice();
    ASSERT_EQ(RestartGraphicsDevice(), 0);
    EXPECT_NE(GetD3DDevice(), nullptr);
    (void)before;
    int w = 0, h = 0;
    EXPECT_EQ(GetGraphicSize(g, &w, &h), 0);
    EXPECT_EQ(w, 64);
    ClearScreen();
    EXPECT_EQ(DrawGraphic(100, 100, g, 0), 0);
    EXPECT_EQ(DrawGraphic(300, 300, d, 0), 0);
    Capture cap;
    EXPECT_TRUE(RgbNear(cap.At(110, 120), 40, 80, 128, kTol));
    EXPECT_TRUE(RgbNear(cap.At(300, 300), 40, 80, 128, kTol));
}

TEST_F(D3DGraphics, FillGraphicAndAlphaChannelGraphics) {
    SetCreateGraphicAlphaChannelFlag(1);
    int g = MakeEmptyGraphic(32, 32);
    SetCreateGraphicAlphaChannelFlag(0);
    ASSERT_GE(g, 0);
    EXPECT_EQ(FillGraphic(g, 255, 255, 255, 0), 0);
    ClearScreen();
    DrawBox(0, 0, 100, 100, PackScreenColor(0, 0, 255), 1);
    DrawGraphic(0, 0, g, 1);   // alpha 0: nothing shows
    DrawGraphic(50, 50, g, 0); // no transparency: white
    Capture cap;
    EXPECT_TRUE(RgbNear(cap.At(10, 10), 0, 0, 255, 0));
    EXPECT_TRUE(RgbNear(cap.At(60, 60), 255, 255, 255, 0));
}

}  // namespace
