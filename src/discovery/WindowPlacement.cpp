#include "discovery/Discovery.h"

BOOL IsWindowMinimised(HWND window)
{
    return IsIconic(window);
}

void MinimiseWindow(HWND window)
{
    CloseWindow(window); // minimises; despite its name it neither closes nor destroys
}

void RestoreWindow(HWND window)
{
    OpenIcon(window); // restores only a minimised window
}

void MoveWindowTo(HWND window, int x, int y, int width, int height)
{
    MoveWindow(window, x, y, width, height, TRUE);
}

void MakeWindowTopmost(HWND window)
{
    // Without SWP_NOACTIVATE: the overlay is put back on top of the topmost group every frame.
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}
