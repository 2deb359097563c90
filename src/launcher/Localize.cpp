#include "launcher/Launcher.h"

#include "discovery/Discovery.h"
#include "labels/Labels.h"
#include "overlay/Overlay.h"
#include "shared/SharedState.h"

namespace {

// The overlay covers the editor's window at the size at which it is pinned.
constexpr int OverlayWidth = 1440;
constexpr int OverlayHeight = 1000;
constexpr char EditorNotFoundText[] = "没找到窗口";

} // namespace

void OnLocalizeClicked()
{
    // The earlier overlay's render thread stops and gives up its device before its window is
    // asked to close, so that window is never torn down under a thread still drawing on it.
    StopRenderThread();
    PostCloseMessage(OverlayWindow);
    TargetProcessId = FindProcessByName(EditorImageName);
    TargetWindow = FindMainWindowByName(EditorImageName);
    if (TargetProcessId != 0) {
        CreateOverlay(OverlayWidth, OverlayHeight, OverlayFrame, &OverlayWindow);
        RunOverlayPump();
        return;
    }
    ShowTimedNotice(EditorNotFoundText);
}

void RunOverlayPump()
{
    // No window filter: the launcher, its button, the overlay and the hand-over window are all
    // served here while an overlay is up.
    while (GetMessageA(MessageRecord, nullptr, 0, 0) != 0) {
        TranslateMessage(MessageRecord);
        DispatchMessageA(MessageRecord);
    }
}
