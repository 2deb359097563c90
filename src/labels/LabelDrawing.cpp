#include "labels/Labels.h"

#include "shared/SharedState.h"

#include <d3dx9core.h>

namespace {

// Wide enough for the longest caption; a longer text is cut at the box's right edge.
constexpr int LabelBoxWidth = 500;
constexpr int LabelBoxHeight = 100;

} // namespace

DWORD ColorRefToD3DColor(COLORREF colour)
{
    const DWORD red = colour & 0xFF;
    const DWORD green = (colour >> 8) & 0xFF;
    const DWORD blue = (colour >> 16) & 0xFF;
    return 0xFF000000u | red << 16 | green << 8 | blue; // the COLORREF's high byte is dropped
}

void DrawLabel(const char* text, int x, int y, DWORD d3dColour)
{
    // A font that could not be made draws nothing rather than calling through null.
    if (!LabelFont)
        return;
    *LabelRect = RECT{x, y, x + LabelBoxWidth, y + LabelBoxHeight};
    LabelFont->DrawTextA(nullptr, text, -1, LabelRect, 0, d3dColour);
}
