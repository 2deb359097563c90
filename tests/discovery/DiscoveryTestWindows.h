#pragma once
// Real top-level windows of the test program itself, for the discovery tests.
#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

// A visible, framed top-level window of the calling thread, on top of the z-order once made;
// destroyed with the object. Counts the WM_CLOSE messages that reach it.
class TestWindow {
public:
    TestWindow(const char* title, int x, int y, int width, int height);
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    ~TestWindow();

    HWND Handle() const { return window_; }
    int CloseRequests() const;

private:
    HWND window_ = nullptr;
};

// Every visible top-level window of the desktop (or of one process), highest in z-order first.
std::vector<HWND> VisibleTopLevelWindows();
std::vector<HWND> VisibleTopLevelWindowsOf(DWORD processId);
std::vector<std::string> TitlesOf(const std::vector<HWND>& windows);

// Whether upper stands above lower in the z-order of the desktop's top-level windows.
bool IsAbove(HWND upper, HWND lower);

// Hands every message waiting in this thread's queue to its window.
void ServePendingMessages();

RECT OuterRectangle(HWND window);
bool operator==(const RECT& a, const RECT& b);
std::ostream& operator<<(std::ostream& out, const RECT& rect);
