// The caption pass on a real overlay device: one frame drawn on this thread and read back from
// the back buffer, where the transparency that the screen cannot show is still there.
#include "D3DReadBack.h"
#include "TestSupport.h"

#include "CaptionExpectations.h"
#include "labels/Labels.h"
#include "overlay/Overlay.h"
#include "overlay/RenderState.h"
#include "shared/SharedState.h"

#include <d3d9.h>
#include <d3dx9core.h>

#include <string>
#include <utility>

namespace {

// The size at which the overlay covers the editor.
constexpr int OverlayWidth = 1440;
constexpr int OverlayHeight = 1000;

DWORD AlphaOf(DWORD pixel)
{
    return pixel >> 24;
}

// An overlay window with its device and label font, made on this thread; no render thread runs,
// so the test draws the frames itself.
class CaptionFrame : public testing::Test {
protected:
    void SetUp() override
    {
        savedRect_ = LabelRect;
        LabelRect = &rect_; // the launcher's start-up would have made it
        window_ = CreateOverlayWindow(OverlayWidth, OverlayHeight);
        ASSERT_NE(nullptr, window_);
        ASSERT_NE(nullptr, CreateOverlayDevice(window_)) << "the test bed must provide a Direct3D 9 device";
        CreateLabelFont(OverlayDevice);
        ASSERT_NE(nullptr, LabelFont) << "no label font on the device";
    }

    void TearDown() override
    {
        ReleaseDeviceObjects();
        if (window_)
            DestroyWindow(window_);
        // The overlay's destruction posts a quit meant for a press's pump; it must not reach the next test.
        TakeQuitMessages();
        LabelRect = savedRect_;
    }

    // Clears to full transparency, draws between BeginScene and EndScene as the render thread
    // does, and copies the back buffer into picture.
    void DrawFrame(void (*draw)(), Picture* picture)
    {
        IDirect3DDevice9* device = OverlayDevice;
        ASSERT_EQ(Hex(D3D_OK), Hex(device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(0, 0, 0, 0), 1.0f, 0)));
        ASSERT_EQ(Hex(D3D_OK), Hex(device->BeginScene()));
        draw();
        ASSERT_EQ(Hex(D3D_OK), Hex(device->EndScene()));
        ASSERT_NO_FATAL_FAILURE(ReadBackBuffer(picture));
    }

    void ReadBackBuffer(Picture* picture)
    {
        BackBufferPixels read = ReadBackBufferPixels(OverlayDevice);
        EXPECT_EQ(static_cast<UINT>(OverlayWidth), read.desc.Width);
        EXPECT_EQ(static_cast<UINT>(OverlayHeight), read.desc.Height);
        EXPECT_EQ(D3DFMT_A8R8G8B8, read.desc.Format) << "the back buffer must carry alpha";
        ASSERT_EQ(Hex(D3D_OK), Hex(read.result)) << "reading the back buffer back";
        picture->width = static_cast<int>(read.desc.Width);
        picture->height = static_cast<int>(read.desc.Height);
        picture->pixels = std::move(read.pixels);
    }

    HWND window_ = nullptr;
    RECT rect_{};

private:
    RECT* savedRect_ = nullptr;
};

TEST_F(CaptionFrame, CaptionsShowInTheirColoursInsideTheirBoxesAndNothingElseIsDrawn)
{
    Picture picture;
    ASSERT_NO_FATAL_FAILURE(DrawFrame(DrawLabels, &picture));

    ExpectColouredCaptionsAtTheirPoints(picture);
    ExpectNoColourOutsideItsCaptions(picture);

    long drawnOutside = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            if (AlphaOf(picture.At(x, y)) != 0 && !InsideAnyCaptionBox(x, y))
                ++drawnOutside;
    EXPECT_EQ(0, drawnOutside) << "pixels with alpha outside every caption box";
}

TEST_F(CaptionFrame, TheSingleSpaceCaptionLeavesItsPlaceClear)
{
    Picture picture;
    ASSERT_NO_FATAL_FAILURE(DrawFrame(DrawLabels, &picture));

    // Between the radius column's point (1081, 258) and the first caption that reaches into its
    // box from the right (x 1184) or from below (y 293), only the blank entry is drawn.
    long drawn = 0;
    for (int y = 258; y < 293; ++y)
        for (int x = 1081; x < 1184; ++x)
            if (AlphaOf(picture.At(x, y)) != 0)
                ++drawn;
    EXPECT_EQ(0, drawn);
}

TEST_F(CaptionFrame, ACaptionWiderThanItsBoxIsCutAtTheBoxEdge)
{
    static const auto drawWideCaption = [] {
        DrawLabel("WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW", 100, 300,
                  OpaqueRed);
    };
    Picture picture;
    ASSERT_NO_FATAL_FAILURE(DrawFrame(drawWideCaption, &picture));

    long nearTheEdge = 0;
    long beyondTheEdge = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            if (AlphaOf(picture.At(x, y)) == 0)
                continue;
            if (x >= 100 + CaptionBoxWidth)
                ++beyondTheEdge;
            else if (x >= 100 + CaptionBoxWidth - 20)
                ++nearTheEdge;
        }
    }
    EXPECT_GT(nearTheEdge, 0) << "the text must run up to the box's right edge";
    EXPECT_EQ(0, beyondTheEdge);
}

TEST_F(CaptionFrame, WithoutAFontTheFrameStaysClear)
{
    ID3DXFont* font = LabelFont;
    LabelFont = nullptr;
    Picture picture;
    DrawFrame(DrawLabels, &picture);
    LabelFont = font; // released with the device
    ASSERT_FALSE(HasFatalFailure());

    long drawn = 0;
    for (DWORD pixel : picture.pixels)
        if (AlphaOf(pixel) != 0)
            ++drawn;
    EXPECT_EQ(0, drawn);
}

} // namespace
