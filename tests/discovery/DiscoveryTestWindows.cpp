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

} // namespace

TestWindow::TestWindow(const char* title, int x, int y, int width, int height)
{
    RegisterWindowClass(TestWindowClassName, TestWindowProc);
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

std::vector<std::string> TitlesOf(const std::vector<HWND>& windows)
{
    std::vector<std::string> titles;
    for (HWND window : windows)
        titles.push_back(WindowText(window));
    return titles;
}

bool operator==(const RECT& a, const RECT& b)
{
    return EqualRect(&a, &b) != FALSE;
}

std::ostream& operator<<(std::ostream& out, const RECT& rect)
{
    return out << Describe(rect);
}
