#include "overlay/Overlay.h"

namespace {

constexpr char OverlayClassName[] = "VEILUP";
constexpr DWORD OverlayCreationExStyle = WS_EX_APPWINDOW | WS_EX_TOOLWINDOW;
constexpr DWORD OverlayStyle = WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
// Layered, click-through, topmost, no taskbar button; replaces the creation style whole, so
// WS_EX_APPWINDOW is gone before the window is first shown.
constexpr DWORD OverlayExStyle =
    WS_EX_LAYERED | WS_EX_CONTROLPARENT | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_TOPMOST;

void RegisterOverlayClass()
{
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = OverlayWindowProc;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = OverlayClassName;
    RegisterClassExA(&windowClass); // fails harmlessly from the second overlay on
}

} // namespace

HWND CreateOverlayWindow(int width, int height)
{
    RegisterOverlayClass();
    HWND window = CreateWindowExA(OverlayCreationExStyle,
                                  OverlayClassName, // class
                                  OverlayClassName, // title: the class name
                                  OverlayStyle,
                                  0, 0,             // the first frame moves it over the editor
                                  width, height,
                                  nullptr,          // no parent
                                  nullptr,          // no menu
                                  nullptr,          // no instance
                                  nullptr);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowLongA(window, GWL_EXSTYLE, OverlayExStyle);
    // Opaque as a whole: what shows through comes from the per-pixel alpha on the glass below.
    SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    // A top margin taller than the window makes the whole client area glass.
    CallDwmExtendFrameIntoClientArea(window, 0, 0, width, height);
    return window;
}

LRESULT CALLBACK OverlayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0); // ends the pump of the press that made this overlay
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
