// The overlay window: borderless, topmost, layered and click-through, without a taskbar button,
// its whole client area handed to the DWM, and ending the press's pump when it is closed.
#include "OverlayTestSupport.h"

#include <dwmapi.h>

namespace {

constexpr int OverlayWidth = 1440;
constexpr int OverlayHeight = 1000;
constexpr DWORD OverlayExStyle = 0x900A8; // layered, control parent, tool window, transparent, topmost
constexpr DWORD CloseDeadlineMs = 5000;

class OverlayWindowTest : public testing::Test {
protected:
    void TearDown() override
    {
        for (HWND window : windows_)
            DestroyOverlayWindow(window);
    }

    HWND MakeOverlay(int width = OverlayWidth, int height = OverlayHeight)
    {
        HWND window = CreateOverlayWindow(width, height);
        windows_.push_back(window);
        return window;
    }

    std::vector<HWND> windows_;
};

TEST_F(OverlayWindowTest, IsABorderlessTopmostToolWindowAtTheOrigin)
{
    HWND overlay = MakeOverlay();
    ASSERT_TRUE(IsWindow(overlay));

    RECT rect{};
    GetWindowRect(overlay, &rect);
    EXPECT_EQ(0, rect.left);
    EXPECT_EQ(0, rect.top);
    EXPECT_EQ(OverlayWidth, rect.right - rect.left);
    EXPECT_EQ(OverlayHeight, rect.bottom - rect.top);
    RECT client{};
    GetClientRect(overlay, &client); // no frame: the back buffer takes the whole window
    EXPECT_EQ(OverlayWidth, client.right);
    EXPECT_EQ(OverlayHeight, client.bottom);

    const DWORD exStyle = static_cast<DWORD>(GetWindowLongA(overlay, GWL_EXSTYLE));
    EXPECT_EQ(Hex(OverlayExStyle), Hex(exStyle));
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    // No taskbar button: a tool window, and the creation-time app-window style is gone.
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(exStyle & WS_EX_APPWINDOW);
    const DWORD style = static_cast<DWORD>(GetWindowLongA(overlay, GWL_STYLE));
    EXPECT_TRUE(style & WS_POPUP) << "style " << Hex(style);
    EXPECT_FALSE(style & WS_CAPTION) << "style " << Hex(style);
    EXPECT_TRUE(IsWindowVisible(overlay));

    EXPECT_EQ("VEILUP", WindowText(overlay));
    EXPECT_EQ("VEILUP", ClassNameOf(overlay));

    COLORREF key = 0xFFFFFFFF;
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(overlay, &key, &alpha, &flags));
    EXPECT_EQ(0u, key);
    EXPECT_EQ(255, alpha);
    EXPECT_EQ(static_cast<DWORD>(LWA_ALPHA), flags);
}

// A plain window of this thread that notes the mouse clicks it gets.
class BeneathWindow {
public:
    static constexpr char ClassName[] = "OverlayTestBeneath";

    BeneathWindow(int x, int y, int width, int height)
    {
        RegisterWindowClass(ClassName, Procedure);
        window_ = CreateWindowExA(0, ClassName, "beneath", WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
        Clicks = 0;
    }
    ~BeneathWindow() { DestroyWindow(window_); }

    HWND Handle() const { return window_; }
    static inline int Clicks = 0;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_LBUTTONDOWN)
            ++Clicks;
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
};

void ClickAt(POINT point)
{
    SetCursorPos(point.x, point.y);
    INPUT inputs[2]{};
    inputs[0].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].type = INPUT_MOUSE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, inputs, sizeof(INPUT));
}

TEST_F(OverlayWindowTest, MouseFallsThroughToTheWindowBeneath)
{
    BeneathWindow beneath(100, 100, 400, 300);
    ASSERT_TRUE(IsWindow(beneath.Handle()));
    HWND overlay = MakeOverlay();
    const POINT overBoth{250, 250};

    EXPECT_EQ(beneath.Handle(), WindowFromPoint(overBoth)) << "overlay " << overlay;
    ClickAt(overBoth);
    EXPECT_TRUE(WaitUntil([] { return BeneathWindow::Clicks > 0; }, CloseDeadlineMs))
        << "the click did not reach the window beneath the overlay";

    // The fall-through comes from the transparent style alone: without it the overlay is hit.
    SetWindowLongA(overlay, GWL_EXSTYLE, OverlayExStyle & ~WS_EX_TRANSPARENT);
    EXPECT_EQ(overlay, WindowFromPoint(overBoth));
}

TEST_F(OverlayWindowTest, SecondWindowWorksBesideTheFirst)
{
    HWND first = MakeOverlay();
    HWND second = MakeOverlay();
    ASSERT_TRUE(IsWindow(first));
    ASSERT_TRUE(IsWindow(second));
    EXPECT_NE(first, second);

    for (HWND window : {first, second}) {
        SCOPED_TRACE(window == first ? "first" : "second");
        EXPECT_EQ("VEILUP", ClassNameOf(window));
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(Hex(OverlayExStyle), Hex(static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE))));
        EXPECT_EQ(reinterpret_cast<LONG_PTR>(OverlayWindowProc), GetWindowLongPtrA(window, GWLP_WNDPROC));
    }

    // Each answers its own close; the other stays.
    PostMessageA(first, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(first); }, CloseDeadlineMs));
    EXPECT_TRUE(IsWindow(second));
    PostMessageA(second, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(second); }, CloseDeadlineMs));
}

TEST_F(OverlayWindowTest, CloseDestroysItAndLeavesQuitWithCodeZero)
{
    HWND overlay = MakeOverlay();
    ASSERT_TRUE(IsWindow(overlay));
    PostMessageA(overlay, WM_CLOSE, 0, 0);

    // Served the way the press's pump serves it, which leaves a quit message queued.
    const bool destroyed = WaitUntil(
        [&] {
            DispatchPendingMessages();
            return !IsWindow(overlay);
        },
        CloseDeadlineMs);
    ASSERT_TRUE(destroyed);
    MSG quit{};
    ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "no quit message left";
    EXPECT_EQ(0u, quit.wParam);
}

// Records what reaches the DWM instead of the DWM.
struct DwmCall {
    int calls = 0;
    HWND window = nullptr;
    MARGINS margins{};
};
DwmCall RecordedDwmCall;

HRESULT WINAPI RecordExtendFrame(HWND window, const MARGINS* margins)
{
    ++RecordedDwmCall.calls;
    RecordedDwmCall.window = window;
    RecordedDwmCall.margins = *margins;
    return S_OK;
}

TEST_F(OverlayWindowTest, WholeClientAreaIsHandedToTheDwm)
{
    ScopedEntryPoint recorder("dwmapi.dll", "DwmExtendFrameIntoClientArea", AsEntryPoint(RecordExtendFrame));
    struct Size {
        int width;
        int height;
    };
    for (const Size size : {Size{OverlayWidth, OverlayHeight}, Size{640, 480}}) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        RecordedDwmCall = DwmCall{};
        HWND overlay = MakeOverlay(size.width, size.height);

        EXPECT_EQ(1, RecordedDwmCall.calls);
        EXPECT_EQ(overlay, RecordedDwmCall.window);
        // Left, right, top, bottom: a top margin of the full width reaches past the bottom edge.
        EXPECT_EQ(0, RecordedDwmCall.margins.cxLeftWidth);
        EXPECT_EQ(0, RecordedDwmCall.margins.cxRightWidth);
        EXPECT_EQ(size.width, RecordedDwmCall.margins.cyTopHeight);
        EXPECT_EQ(size.height, RecordedDwmCall.margins.cyBottomHeight);
    }
}

} // namespace
