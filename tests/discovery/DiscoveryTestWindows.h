#pragma once
// Real top-level windows of the test program itself, for the discovery tests.
#include "TestSupport.h"

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

std::vector<std::string> TitlesOf(const std::vector<HWND>& windows);

bool operator==(const RECT& a, const RECT& b);
std::ostream& operator<<(std::ostream& out, const RECT& rect);
