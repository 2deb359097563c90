// Colour conversion and the caption pass, seen through a font that records every DrawTextA call.
#include "TestSupport.h"

#include "CaptionExpectations.h"
#include "RecordingFont.h"
#include "labels/Labels.h"
#include "shared/SharedState.h"

#include <cstdio>
#include <string>

namespace {

// Every byte, so that a lost space or a changed encoding shows in the message.
std::string Bytes(const std::string& text)
{
    std::string shown;
    for (unsigned char c : text) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02X ", c);
        shown += byte;
    }
    return shown;
}

// The caption pass with the recording font and a caption box of the test's own in place.
class CaptionPass : public testing::Test {
protected:
    void SetUp() override
    {
        savedFont_ = LabelFont;
        savedRect_ = LabelRect;
        LabelFont = &font_;
        LabelRect = &rect_;
    }

    void TearDown() override
    {
        LabelFont = savedFont_;
        LabelRect = savedRect_;
    }

    RecordingFont font_;
    RECT rect_{-7, -7, -7, -7};

private:
    ID3DXFont* savedFont_ = nullptr;
    RECT* savedRect_ = nullptr;
};

TEST(ColourConversion, ColorRefBecomesOpaqueD3DColour)
{
    struct Case {
        const char* name;
        COLORREF colour;
        DWORD expected;
    };
    const Case cases[] = {
        {"red", 0x000000FF, 0xFFFF0000},
        {"black", 0x00000000, 0xFF000000},
        {"blue", 0x00FF0000, 0xFF0000FF},
        {"green", 0x0000FF00, 0xFF00FF00},
        {"white", 0x00FFFFFF, 0xFFFFFFFF},
        {"every byte different: red and blue trade places", 0x00563412, 0xFF123456},
        {"the high byte is dropped", 0x12345678, 0xFF785634},
        {"a full high byte is dropped too", 0xFF000000, 0xFF000000},
        {"all bits", 0xFFFFFFFF, 0xFFFFFFFF},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Hex(row.expected), Hex(ColorRefToD3DColor(row.colour))) << "from " << Hex(row.colour);
    }
}

TEST_F(CaptionPass, DrawLabelSetsTheCaptionBoxAndHandsItToTheFont)
{
    struct Case {
        int x;
        int y;
        RECT box;
    };
    const Case cases[] = {
        {14, 119, {14, 119, 514, 219}},
        {0, 0, {0, 0, 500, 100}},
        {-20, -30, {-20, -30, 480, 70}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE("DrawLabel at (" + std::to_string(row.x) + ", " + std::to_string(row.y) + ")");
        font_.calls.clear();
        DrawLabel("角度", row.x, row.y, OpaqueRed);
        EXPECT_EQ(Describe(row.box), Describe(rect_)) << "LabelRect after the call";
        ASSERT_EQ(1u, font_.calls.size());
        const DrawCall& call = font_.calls[0];
        EXPECT_EQ(&rect_, call.rectPlace) << "the font must draw into LabelRect itself";
        EXPECT_EQ(Describe(row.box), Describe(call.rect));
        EXPECT_EQ("角度", call.text);
        EXPECT_EQ(-1, call.count) << "the text is handed over NUL-terminated";
        EXPECT_EQ(Hex(0), Hex(call.format)) << "top-left, clipped, not wrapped";
        EXPECT_EQ(nullptr, call.sprite);
        EXPECT_EQ(Hex(OpaqueRed), Hex(call.colour));
    }
}

TEST_F(CaptionPass, AFrameDrawsThe44CaptionsInTheirOrderAtTheirPoints)
{
    DrawLabels();

    ASSERT_EQ(static_cast<size_t>(CaptionsPerFrame), font_.calls.size()) << "DrawTextA calls in one caption pass";
    for (int i = 0; i < CaptionsPerFrame; ++i) {
        const ExpectedCaption& expected = ExpectedCaptions[i];
        const DrawCall& call = font_.calls[i];
        SCOPED_TRACE("call " + std::to_string(i + 1) + ": " + Describe(expected));
        EXPECT_EQ(Bytes(expected.text), Bytes(call.text));
        EXPECT_EQ(Describe(CaptionBox(expected)), Describe(call.rect));
        EXPECT_EQ(Hex(expected.colour), Hex(call.colour));
        EXPECT_EQ(&rect_, call.rectPlace);
        EXPECT_EQ(-1, call.count);
        EXPECT_EQ(Hex(0), Hex(call.format));
        EXPECT_EQ(nullptr, call.sprite);
    }
}

TEST_F(CaptionPass, TextsReachTheFontAsGbkWithTheirSpaces)
{
    DrawLabels();
    ASSERT_EQ(static_cast<size_t>(CaptionsPerFrame), font_.calls.size());

    struct Case {
        int call;
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        // " 发射器设置": the leading space stays.
        {2, "emitter settings", " \xB7\xA2\xC9\xE4\xC6\xF7\xC9\xE8\xD6\xC3"},
        // The radius column's first entry is one space, and its call is made all the same.
        {25, "blank radius entry", " "},
        // "位置X": GBK characters followed by ASCII.
        {8, "position X", "\xCE\xBB\xD6\xC3X"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Bytes(row.bytes), Bytes(font_.calls[row.call - 1].text));
    }
}

} // namespace
