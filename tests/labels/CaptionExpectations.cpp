#include "CaptionExpectations.h"

#include <gtest/gtest.h>

namespace {

// Where a caption's first character lies: a glyph 13 pixels high starts at the box's top-left
// corner (one space further right for a caption with a leading space).
constexpr int HeadWidth = 30;
constexpr int HeadHeight = 20;

// The glyphs are thin and anti-aliased: even their best-covered pixels stay well below full
// strength (about 0x90 to 0xB0 in the drawn colour's channel).
constexpr int StrongLevel = 0x80;  // a colour channel of a well-covered glyph pixel
constexpr int FaintLevel = 0x40;   // what an anti-aliased edge can leave in the other channels
constexpr int TintMargin = 0x30;   // how far a channel must lead the others to count as a tint

int RedOf(DWORD pixel) { return (pixel >> 16) & 0xFF; }
int GreenOf(DWORD pixel) { return (pixel >> 8) & 0xFF; }
int BlueOf(DWORD pixel) { return pixel & 0xFF; }

// The font draws its glyphs as filtered quads, so a glyph that starts at a box's edge can tint
// the one pixel beyond it faintly.
constexpr int GlyphBleed = 1;

bool InsideBox(const ExpectedCaption& caption, int x, int y)
{
    const RECT box = CaptionBox(caption);
    return x >= box.left - GlyphBleed && x < box.right + GlyphBleed && y >= box.top - GlyphBleed &&
           y < box.bottom + GlyphBleed;
}

bool InsideBoxOfColour(DWORD colour, int x, int y)
{
    for (const ExpectedCaption& caption : ExpectedCaptions)
        if (caption.colour == colour && InsideBox(caption, x, y))
            return true;
    return false;
}

bool HeadHolds(const Picture& picture, const ExpectedCaption& caption, bool (*test)(DWORD))
{
    for (int y = caption.y; y < caption.y + HeadHeight && y < picture.height; ++y)
        for (int x = caption.x; x < caption.x + HeadWidth && x < picture.width; ++x)
            if (test(picture.At(x, y)))
                return true;
    return false;
}

struct StrayCount {
    int count = 0;
    int firstX = -1;
    int firstY = -1;
    DWORD firstPixel = 0;

    void Add(int x, int y, DWORD pixel)
    {
        if (count++ == 0) {
            firstX = x;
            firstY = y;
            firstPixel = pixel;
        }
    }
};

} // namespace

// Written from the captions as the editor's layout needs them: 15 single captions, then the
// emitter column (x 1195, black), the radius column (x 1081, blue) and the particle column
// (x 14, black), each row 35 pixels below the one before.
const ExpectedCaption ExpectedCaptions[CaptionsPerFrame] = {
    {"粒子设置", 10, 82, OpaqueRed},
    {" 发射器设置", 1184, 219, OpaqueRed},
    {"混合模式", 14, 897, OpaqueRed},
    {"源", 14, 933, OpaqueBlack},
    {"被混", 14, 961, OpaqueBlack},
    {"正常", 223, 933, OpaqueBlack},
    {"添加", 223, 961, OpaqueBlack},
    {"位置X", 1200, 841, OpaqueBlack},
    {"变化X", 1200, 873, OpaqueBlack},
    {"位置Y", 1200, 909, OpaqueBlack},
    {"变化Y", 1200, 943, OpaqueBlack},
    {"开始颜色", 304, 584, OpaqueRed},
    {"结束颜色", 392, 584, OpaqueRed},
    {"背景颜色", 468, 584, OpaqueRed},
    {"粒子贴图", 1184, 84, OpaqueRed},

    {"发射器类型", 1195, 258, OpaqueBlack},
    {"速度", 1195, 293, OpaqueBlack},
    {"速度变化", 1195, 328, OpaqueBlack},
    {"重力X", 1195, 363, OpaqueBlack},
    {"重力Y", 1195, 398, OpaqueBlack},
    {"径向加速度", 1195, 433, OpaqueBlack},
    {"径向加速度变化", 1195, 468, OpaqueBlack},
    {"切向加速度", 1195, 503, OpaqueBlack},
    {"切向加速度变化", 1195, 538, OpaqueBlack},

    {" ", 1081, 258, OpaqueBlue},
    {"最大半径", 1081, 293, OpaqueBlue},
    {"最大半径变化", 1081, 328, OpaqueBlue},
    {"最小半径", 1081, 363, OpaqueBlue},
    {"每秒旋转", 1081, 398, OpaqueBlue},
    {"每秒旋转变化", 1081, 433, OpaqueBlue},

    {"持续时间", 14, 119, OpaqueBlack},
    {"最大粒子数量", 14, 154, OpaqueBlack},
    {"粒子寿命", 14, 189, OpaqueBlack},
    {"粒子变化", 14, 224, OpaqueBlack},
    {"开始大小", 14, 259, OpaqueBlack},
    {"开始大小变化", 14, 294, OpaqueBlack},
    {"结束大小", 14, 329, OpaqueBlack},
    {"结束大小变化", 14, 364, OpaqueBlack},
    {"角度", 14, 399, OpaqueBlack},
    {"角度变化", 14, 434, OpaqueBlack},
    {"开始旋转", 14, 469, OpaqueBlack},
    {"开始旋转变化", 14, 504, OpaqueBlack},
    {"结束旋转", 14, 539, OpaqueBlack},
    {"结束旋转变化", 14, 574, OpaqueBlack},
};

bool IsPinned(HWND window)
{
    const RECT rect = WindowRectOf(window);
    return IsWindow(window) && EqualRect(&rect, &PinnedRect);
}

RECT CaptionBox(const ExpectedCaption& caption)
{
    return RECT{caption.x, caption.y, caption.x + CaptionBoxWidth, caption.y + CaptionBoxHeight};
}

bool IsBlank(const ExpectedCaption& caption)
{
    return std::string(caption.text).find_first_not_of(' ') == std::string::npos;
}

std::string Describe(const ExpectedCaption& caption)
{
    const int number = static_cast<int>(&caption - ExpectedCaptions) + 1;
    return "caption #" + std::to_string(number) + " at (" + std::to_string(caption.x) + ", " +
           std::to_string(caption.y) + ")";
}

bool InsideAnyCaptionBox(int x, int y)
{
    for (const ExpectedCaption& caption : ExpectedCaptions)
        if (InsideBox(caption, x, y))
            return true;
    return false;
}

bool IsStrongRed(DWORD pixel)
{
    return RedOf(pixel) >= StrongLevel && GreenOf(pixel) < FaintLevel && BlueOf(pixel) < FaintLevel;
}

bool IsStrongBlue(DWORD pixel)
{
    return BlueOf(pixel) >= StrongLevel && RedOf(pixel) < FaintLevel && GreenOf(pixel) < FaintLevel;
}

bool IsReddish(DWORD pixel)
{
    return RedOf(pixel) >= GreenOf(pixel) + TintMargin && RedOf(pixel) >= BlueOf(pixel) + TintMargin;
}

bool IsBluish(DWORD pixel)
{
    return BlueOf(pixel) >= RedOf(pixel) + TintMargin && BlueOf(pixel) >= GreenOf(pixel) + TintMargin;
}

void ExpectColouredCaptionsAtTheirPoints(const Picture& picture)
{
    for (const ExpectedCaption& caption : ExpectedCaptions) {
        if (caption.colour == OpaqueRed) {
            EXPECT_TRUE(HeadHolds(picture, caption, IsStrongRed)) << "no red at " << Describe(caption);
        } else if (caption.colour == OpaqueBlue && !IsBlank(caption)) {
            EXPECT_TRUE(HeadHolds(picture, caption, IsStrongBlue)) << "no blue at " << Describe(caption);
        }
    }
}

void ExpectNoColourOutsideItsCaptions(const Picture& picture)
{
    StrayCount strayRed;
    StrayCount strayBlue;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const DWORD pixel = picture.At(x, y);
            if (IsReddish(pixel) && !InsideBoxOfColour(OpaqueRed, x, y))
                strayRed.Add(x, y, pixel);
            if (IsBluish(pixel) && !InsideBoxOfColour(OpaqueBlue, x, y))
                strayBlue.Add(x, y, pixel);
        }
    }
    EXPECT_EQ(0, strayRed.count) << "red outside the red captions' boxes, first at (" << strayRed.firstX << ", "
                                 << strayRed.firstY << "): " << Hex(strayRed.firstPixel);
    EXPECT_EQ(0, strayBlue.count) << "blue outside the blue captions' boxes, first at (" << strayBlue.firstX
                                  << ", " << strayBlue.firstY << "): " << Hex(strayBlue.firstPixel);
}
