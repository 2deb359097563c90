#include "labels/Labels.h"

#include "discovery/Discovery.h"
#include "launcher/Launcher.h"
#include "launcher/ProgramEnd.h"
#include "overlay/Overlay.h"
#include "shared/SharedState.h"

namespace {

// Where the editor's window and the overlay are held, in screen pixels.
constexpr int PinnedLeft = 50;
constexpr int PinnedTop = 50;
constexpr int PinnedWidth = 1440;
constexpr int PinnedHeight = 1000;

[[noreturn]] void EndWithEditor()
{
    // The device goes first: a window torn down while its device is still drawn on holds up
    // its destruction, and with it the end.
    ReleaseOverlayDevice();
    PostCloseMessage(OverlayWindow);
    EndProgram(0);
}

} // namespace

void OverlayFrame()
{
    TargetProcessId = FindProcessByName(EditorImageName);
    if (TargetProcessId == 0)
        EndWithEditor();
    if (IsWindowMinimised(TargetWindow)) {
        MinimiseWindow(OverlayWindow);
        return;
    }
    RestoreWindow(OverlayWindow);
    PinWindows();
    DrawLabels();
}

void PinWindows()
{
    MoveWindowTo(TargetWindow, PinnedLeft, PinnedTop, PinnedWidth, PinnedHeight);
    MakeWindowTopmost(OverlayWindow);
    MoveWindowTo(OverlayWindow, PinnedLeft, PinnedTop, PinnedWidth, PinnedHeight);
}
