#include "shared/SharedState.h"

std::atomic<DWORD> TargetProcessId{0};
HWND TargetWindow = nullptr;
HWND OverlayWindow = nullptr;
HWND LauncherWindow = nullptr;
IDirect3DDevice9* OverlayDevice = nullptr;
ID3DXFont* LabelFont = nullptr;
RECT* LabelRect = nullptr;
MSG* MessageRecord = nullptr;

const char EditorImageName[] = "Sparkwright汉化版.exe";

static bool TakeNextMessage(MSG& message)
{
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE) || message.message == WM_QUIT)
        return false;
    PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);
    if (message.message == WM_QUIT) {
        // Arrived between the two looks: it must stay for the loop that owns it.
        PostQuitMessage(static_cast<int>(message.wParam));
        return false;
    }
    return true;
}

void DispatchPendingMessages()
{
    MSG message{};
    while (TakeNextMessage(message)) {
        if (LauncherWindow && IsDialogMessageA(LauncherWindow, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
