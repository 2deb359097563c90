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
    const HWND replacedOverlay = OverlayWindow;
    TargetProcessId = FindProcessByName(EditorImageName);
    const HWND editorWindow = FindMainWindowByName(EditorImageName);
    // The window search serves the launcher's messages, so a further press that comes quickly
    // can be handled inside it. When that press brought up an overlay, it is the latest one and
    // its lookups are fresh: it stays, with them. Making another here would leave its window
    // standing over the editor with nothing drawing on it, and the search it interrupted has
    // usually run out of time, which would leave the editor's window unknown.
    if (OverlayWindow != replacedOverlay)
        return;
    TargetWindow = editorWindow;
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
