#pragma once
// The captions: what each frame draws over the editor, and the frame routine that follows it.
#include <windows.h>

// One caption: a GBK text whose box has its top-left corner at (x, y) in overlay client
// pixels, which are also offsets from the editor window's top-left corner, frame included.
struct Caption {
    const char* text;
    int x;
    int y;
    COLORREF colour;
};

// Evenly spaced captions: entry i (from 1) lies at (x, baseY + ColumnPitch * i).
struct CaptionColumn {
    const char* const* texts;
    int count;
    int x;
    int baseY;
    COLORREF colour;
};

constexpr int ColumnPitch = 35;
constexpr int FixedLabelCount = 15;

extern const Caption FixedLabels[FixedLabelCount];
extern const CaptionColumn EmitterColumn;
extern const CaptionColumn RadiusColumn;
extern const CaptionColumn ParticleColumn;

// Visits every caption in drawing order: the fixed captions, then the three columns.
using CaptionVisitor = void (*)(const Caption& caption, void* context);
void ForEachCaption(CaptionVisitor visit, void* context);

// Drawing (render thread, between BeginScene and EndScene)
DWORD ColorRefToD3DColor(COLORREF colour);                        // 0x00BBGGRR -> opaque 0xFFRRGGBB
void DrawLabel(const char* text, int x, int y, DWORD d3dColour);  // 500 x 100 box at (x, y)
void DrawLabels();                                                // all 44 captions

// Target tracking: the frame routine
void OverlayFrame();
void PinWindows();
