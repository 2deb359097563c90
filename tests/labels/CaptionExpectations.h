#pragma once
// Where the overlay must stand and what it must show, written out caption by caption (not taken
// from the program's own tables), and checks of a picture of the overlay against it.
#include "TestSupport.h"

#include <string>
#include <vector>

// Where the editor's window and the overlay are pinned, in screen pixels.
constexpr RECT PinnedRect{50, 50, 50 + 1440, 50 + 1000};
bool IsPinned(HWND window); // a window that exists, on the pinned rectangle

constexpr DWORD OpaqueRed = 0xFFFF0000;
constexpr DWORD OpaqueBlack = 0xFF000000;
constexpr DWORD OpaqueBlue = 0xFF0000FF;

// A caption's box: 500 x 100 pixels with its top-left corner at the caption's point. The text is
// clipped to it.
constexpr int CaptionBoxWidth = 500;
constexpr int CaptionBoxHeight = 100;

// One DrawTextA call of a frame: the text (GBK at run time), the point in overlay client pixels
// and the colour handed to the font.
struct ExpectedCaption {
    const char* text;
    int x;
    int y;
    DWORD colour;
};

constexpr int CaptionsPerFrame = 44;
extern const ExpectedCaption ExpectedCaptions[CaptionsPerFrame];

RECT CaptionBox(const ExpectedCaption& caption);
bool IsBlank(const ExpectedCaption& caption);        // only spaces: drawn, but shows nothing
std::string Describe(const ExpectedCaption& caption); // "caption #n at (x, y)" for traces
// Whether (x, y) lies in a caption's box, give or take the one pixel by which a glyph's
// filtered edge can reach beyond it.
bool InsideAnyCaptionBox(int x, int y);

// A picture of the overlay in overlay client pixels, 0xAARRGGBB per pixel. A screenshot carries
// no alpha; the read-back of the back buffer does.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<DWORD> pixels;

    DWORD At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Colour classes on the colour channels alone: strong enough to ignore the faint edges of
// anti-aliased glyphs in the "has some" checks, loose enough to catch any tinted stray pixel in
// the "nowhere else" checks.
bool IsStrongRed(DWORD pixel);
bool IsStrongBlue(DWORD pixel);
bool IsReddish(DWORD pixel);
bool IsBluish(DWORD pixel);

// Checks with gtest expectations; each failure names the caption or pixel concerned.
// Every red caption shows red at its point, and every non-blank blue caption blue.
void ExpectColouredCaptionsAtTheirPoints(const Picture& picture);
// Red only inside the boxes of red captions, blue only inside the boxes of blue captions.
void ExpectNoColourOutsideItsCaptions(const Picture& picture);
