#include "DiscoveryTestWindows.h"

#include <map>

namespace {

constexpr char TestWindowClassName[] = "DiscoveryTestWindow";

std::map<HWND, int>& CloseRequestCounts()
{
    static std::map<HWND, int> counts;
    return counts;
}

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE)
        ++CloseRequestCounts()[window];
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterTestWindowClass()
{
    static const bool registered = [] {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = TestWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = TestWindowClassName;
        return RegisterClassExA(&windowClass) != 0;
    }();
    (void)registered;
}

BOOL CALLBACK CollectVisible(HWND window, LPARAM parameter)
{
    if (IsWindowVisible(window))
        reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
    return TRUE;
}

} // namespace

TestWindow::TestWindow(const char* title, int x, int y, int width, int height)
{
    RegisterTestWindowClass();
    window_ = CreateWindowExA(0, TestWindowClassName, title, WS_OVERLAPPEDWINDOW, x, y, width, height, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
    ShowWindow(window_, SW_SHOWNORMAL);
    SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    UpdateWindow(window_);
}

TestWindow::~TestWindow()
{
    CloseRequestCounts().erase(window_);
    DestroyWindow(window_);
}

int TestWindow::CloseRequests() const
{
    auto count = CloseRequestCounts().find(window_);
    return count == CloseRequestCounts().end() ? 0 : count->second;
}

std::vector<HWND> VisibleTopLevelWindows()
{
    std::vector<HWND> windows;
    EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> VisibleTopLevelWindowsOf(DWORD processId)
{
    std::vector<HWND> windows;
    for (HWND window : VisibleTopLevelWindows()) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId)
            windows.push_back(window);
    }
    return windows;
}

std::vector<std::string> TitlesOf(const std::vector<HWND>& windows)
{
    std::vector<std::string> titles;
    for (HWND window : windows) {
        char title[256]{};
        GetWindowTextA(window, title, sizeof title);
        titles.push_back(title);
    }
    return titles;
}

bool IsAbove(HWND upper, HWND lower)
{
    for (HWND window = GetWindow(upper, GW_HWNDNEXT); window; window = GetWindow(window, GW_HWNDNEXT))
        if (window == lower)
            return true;
    return false;
}

void ServePendingMessages()
{
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

RECT OuterRectangle(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

bool operator==(const RECT& a, const RECT& b)
{
    return EqualRect(&a, &b) != FALSE;
}

std::ostream& operator<<(std::ostream& out, const RECT& rect)
{
    return out << "(" << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << ")";
}
