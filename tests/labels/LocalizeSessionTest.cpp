// The whole program from the outside: the real launcher and the stand-in editor in a folder of
// their own, the button pressed as a user would, and the windows, processes and screen watched.
#include "TestSupport.h"

#include "CaptionExpectations.h"
#include "discovery/Discovery.h"
#include "shared/SharedState.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

// Where the stand-in editor first stands when nothing moves it.
constexpr POINT EditorStartPoint{200, 120};

// Bounds that the program promises: the overlay is up and the editor's end is followed within a
// second. Wine and its software renderer add to every step (making the device alone takes about
// 0.6 s here); the margin allows for that only.
constexpr double OneSecondMs = 1000;
constexpr double WineMarginMs = 250;
// The editor's window is put back on the next frame. Frames usually take tens of milliseconds
// under Wine's software renderer, but a busy machine can stretch a few of them to over half a
// second; this still tells a window put back frame by frame from one put back now and then.
constexpr double FewFramesMs = 1000;
// Things that appear (windows, captions, a process's end) are waited for generously.
constexpr DWORD AppearDeadlineMs = 15000;
// How long to watch to see that something does NOT happen: many frames.
constexpr DWORD SeveralFramesMs = 300;
// A launcher that answers no message for this long is hung.
constexpr UINT ResponsiveMs = 2000;

constexpr char OverlayClassName[] = "VEILUP";
constexpr char NoticeClassName[] = "#32770";
constexpr char LauncherImageName[] = "SparkwrightLocalizer.exe";

class Stopwatch {
public:
    Stopwatch()
    {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
    }
    double ElapsedMs() const
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 / static_cast<double>(frequency_.QuadPart);
    }

private:
    LARGE_INTEGER frequency_;
    LARGE_INTEGER start_;
};

// Visible top-level windows of a class that belong to a process.
std::vector<HWND> VisibleWindowsOf(DWORD processId, const char* className)
{
    std::vector<HWND> windows;
    for (HWND window : VisibleTopLevelWindowsOf(processId))
        if (ClassNameOf(window) == className)
            windows.push_back(window);
    return windows;
}

HWND SoleVisibleWindowOf(DWORD processId, const char* className)
{
    const std::vector<HWND> windows = VisibleWindowsOf(processId, className);
    return windows.size() == 1 ? windows[0] : nullptr;
}

struct ChildSearch {
    const char* text;
    HWND found;
};

BOOL CALLBACK TakeChildWithText(HWND child, LPARAM parameter)
{
    auto& search = *reinterpret_cast<ChildSearch*>(parameter);
    if (WindowText(child) == search.text) {
        search.found = child;
        return FALSE;
    }
    return TRUE;
}

HWND ChildWithText(HWND parent, const char* text)
{
    ChildSearch search{text, nullptr};
    EnumChildWindows(parent, TakeChildWithText, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int ThreadCountOf(DWORD processId)
{
    return static_cast<int>(ThreadIdsOf(processId).size());
}

// The thread count once it has held still for a while: threads of the platform come and go
// around a device's creation and release.
int SettledThreadCountOf(DWORD processId)
{
    constexpr DWORD SampleMs = 100;
    constexpr int StillSamples = 10;
    int last = ThreadCountOf(processId);
    int still = 0;
    WaitUntil(
        [&] {
            const int now = ThreadCountOf(processId);
            still = now == last ? still + 1 : 0;
            last = now;
            Sleep(SampleMs);
            return still >= StillSamples;
        },
        AppearDeadlineMs);
    return last;
}

// The screen inside the pinned rectangle, so that a pixel's place is an overlay client point.
// Without a compositor the overlay shows opaque: black where it is clear, captions on it.
Picture CapturePinnedRect()
{
    Picture picture;
    picture.width = PinnedRect.right - PinnedRect.left;
    picture.height = PinnedRect.bottom - PinnedRect.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, picture.width, picture.height, screen, PinnedRect.left, PinnedRect.top, SRCCOPY);
        GdiFlush();
        const auto* pixels = static_cast<const DWORD*>(bits);
        picture.pixels.assign(pixels, pixels + static_cast<size_t>(picture.width) * picture.height);
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

// Red shows at the first red caption, i.e. a frame with captions has reached the screen.
bool CaptionsOnScreen()
{
    const ExpectedCaption& first = ExpectedCaptions[0];
    const Picture picture = CapturePinnedRect();
    if (picture.pixels.empty())
        return false;
    for (int y = first.y; y < first.y + 20; ++y)
        for (int x = first.x; x < first.x + 30; ++x)
            if (IsStrongRed(picture.At(x, y)))
                return true;
    return false;
}

void ExpectCaptionsOnScreen(int line)
{
    const testing::ScopedTrace caller(__FILE__, line, "captions expected on the screen");
    ASSERT_TRUE(WaitUntil(CaptionsOnScreen, AppearDeadlineMs)) << "no red caption reached the screen";
    const Picture picture = CapturePinnedRect();
    ASSERT_FALSE(picture.pixels.empty()) << "the screen could not be captured";
    ExpectColouredCaptionsAtTheirPoints(picture);
    ExpectNoColourOutsideItsCaptions(picture);
}

bool Responsive(HWND window)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, ResponsiveMs, &result) != 0;
}

bool EditorRunning()
{
    return FindProcessByName(EditorImageName) != 0;
}

// One run of the program: the launcher copied with the stand-in editor into a fresh folder and
// started there; it starts the editor itself. Everything started is ended afterwards.
class LocalizerSession : public testing::Test {
protected:
    // What the stand-in editor is told through the launcher's environment.
    virtual std::string StandInArguments() const { return ""; }
    virtual bool EditorShowsAtOnce() const { return true; }

    void SetUp() override
    {
        ASSERT_TRUE(WaitUntil([] { return !EditorRunning(); }, ProcessExitDeadlineMs))
            << "an editor from elsewhere is still running";
        ASSERT_TRUE(folder_.CopyIn(LauncherPath(), LauncherImageName));
        ASSERT_TRUE(folder_.CopyIn(StandInEditorPath(), EditorImageName));

        std::vector<std::string> environment;
        if (!StandInArguments().empty())
            environment.push_back("STANDIN_ARGS=" + StandInArguments());
        launcher_ = ChildProcess::Start(folder_.File(LauncherImageName), "", folder_.Path(), environment);
        ASSERT_TRUE(launcher_.Started()) << "the launcher did not start";

        launcherWindow_ = WaitForVisibleWindowOf(launcher_.Id(), AppearDeadlineMs);
        ASSERT_NE(nullptr, launcherWindow_) << "the launcher window did not show";
        button_ = FindWindowExA(launcherWindow_, nullptr, "BUTTON", nullptr);
        ASSERT_NE(nullptr, button_) << "the launcher window has no button";

        editorId_ = FindProcessByName(EditorImageName);
        ASSERT_NE(0u, editorId_) << "the launcher did not start the editor";
        editor_ = ChildProcess::Adopt(editorId_);
        ASSERT_TRUE(editor_.Started()) << "the editor cannot be opened";
        if (EditorShowsAtOnce()) {
            editorWindow_ = WaitForVisibleWindowOf(editorId_, AppearDeadlineMs);
            ASSERT_NE(nullptr, editorWindow_) << "the editor's window did not show";
        }
    }

    void TearDown() override
    {
        launcher_.Terminate();
        editor_.Terminate();
    }

    void Press() { PostMessageA(button_, BM_CLICK, 0, 0); }

    HWND SoleOverlay() const { return SoleVisibleWindowOf(launcher_.Id(), OverlayClassName); }

    // Presses the button and waits until the overlay and the editor's window are pinned.
    void PressAndWaitForPinnedOverlay(int line, HWND* overlay, double* elapsedMs = nullptr)
    {
        const testing::ScopedTrace caller(__FILE__, line, "pressed here");
        const Stopwatch sincePress;
        Press();
        const bool pinned = WaitUntil(
            [&] {
                *overlay = SoleOverlay();
                return *overlay && IsPinned(*overlay) && IsPinned(editorWindow_);
            },
            AppearDeadlineMs);
        if (elapsedMs)
            *elapsedMs = sincePress.ElapsedMs();
        ASSERT_TRUE(pinned) << "overlay " << *overlay << " at " << Describe(WindowRectOf(*overlay))
                            << ", editor at " << Describe(WindowRectOf(editorWindow_));
    }

    void EndEditorProcess()
    {
        TerminateProcess(editor_.Handle(), 1);
        ASSERT_TRUE(editor_.WaitForExit(ProcessExitDeadlineMs)) << "the editor did not end";
        ASSERT_TRUE(WaitUntil([] { return !EditorRunning(); }, ProcessExitDeadlineMs));
    }

    ScratchFolder folder_{"labels session"};
    ChildProcess launcher_;
    HWND launcherWindow_ = nullptr;
    HWND button_ = nullptr;
    DWORD editorId_ = 0;
    ChildProcess editor_;
    HWND editorWindow_ = nullptr;
};

TEST_F(LocalizerSession, PressPinsEditorAndOverlayWithinASecondAndShowsTheCaptions)
{
    HWND overlay = nullptr;
    double elapsedMs = 0;
    ASSERT_NO_FATAL_FAILURE(PressAndWaitForPinnedOverlay(__LINE__, &overlay, &elapsedMs));
    std::printf("press to editor and overlay pinned: %.0f ms\n", elapsedMs);
    EXPECT_LE(elapsedMs, OneSecondMs + WineMarginMs);

    const LONG exStyle = GetWindowLongA(overlay, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST) << "extended style 0x" << std::hex << exStyle;
    EXPECT_EQ(WS_EX_TRANSPARENT | WS_EX_LAYERED, exStyle & (WS_EX_TRANSPARENT | WS_EX_LAYERED))
        << "extended style 0x" << std::hex << exStyle;
    EXPECT_TRUE(Responsive(launcherWindow_)) << "the launcher must keep serving its window while the overlay is up";
    ASSERT_NO_FATAL_FAILURE(ExpectCaptionsOnScreen(__LINE__));
}

TEST_F(LocalizerSession, TheEditorMovedOrResizedIsPutBack)
{
    HWND overlay = nullptr;
    ASSERT_NO_FATAL_FAILURE(PressAndWaitForPinnedOverlay(__LINE__, &overlay));
    ASSERT_NO_FATAL_FAILURE(ExpectCaptionsOnScreen(__LINE__)); // past the long first frame

    struct Case {
        const char* name;
        RECT to;
    };
    const Case cases[] = {
        {"moved", {300, 200, 300 + 1440, 200 + 1000}},
        {"resized", {50, 50, 50 + 800, 50 + 600}},
        {"moved and resized", {120, 90, 120 + 1000, 90 + 700}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const Stopwatch sinceMove;
        MoveWindow(editorWindow_, row.to.left, row.to.top, row.to.right - row.to.left, row.to.bottom - row.to.top, TRUE);
        const bool back = WaitUntil([&] { return IsPinned(editorWindow_); }, AppearDeadlineMs);
        const double elapsedMs = sinceMove.ElapsedMs();
        std::printf("%s: editor back in place after %.0f ms\n", row.name, elapsedMs);
        ASSERT_TRUE(back) << "editor at " << Describe(WindowRectOf(editorWindow_));
        EXPECT_LE(elapsedMs, FewFramesMs);
        EXPECT_TRUE(IsPinned(overlay)) << "overlay at " << Describe(WindowRectOf(overlay));
    }
}

// Window state only: how the frames draw while minimised and on restoring is seen frame by frame
// in FrameRoutineTest. On the test display the screen is no witness here: the restored overlay's
// window can end up under the editor's on the X screen, although it is above it for the platform.
TEST_F(LocalizerSession, TheOverlayFollowsTheEditorIntoTheTaskbarAndBack)
{
    HWND overlay = nullptr;
    ASSERT_NO_FATAL_FAILURE(PressAndWaitForPinnedOverlay(__LINE__, &overlay));
    ASSERT_NO_FATAL_FAILURE(ExpectCaptionsOnScreen(__LINE__));

    ShowWindow(editorWindow_, SW_MINIMIZE);
    const Stopwatch sinceMinimised;
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(overlay) != FALSE; }, AppearDeadlineMs))
        << "the overlay was not minimised with the editor";
    std::printf("editor minimised to overlay minimised: %.0f ms\n", sinceMinimised.ElapsedMs());
    Sleep(SeveralFramesMs); // frames go on meanwhile: none may bring the overlay back
    EXPECT_TRUE(IsIconic(overlay)) << "the overlay came back while the editor stayed minimised";
    EXPECT_TRUE(IsIconic(editorWindow_));

    ShowWindow(editorWindow_, SW_RESTORE);
    const Stopwatch sinceRestored;
    ASSERT_TRUE(WaitUntil([&] { return !IsIconic(overlay) && IsPinned(overlay) && IsPinned(editorWindow_); },
                          AppearDeadlineMs))
        << "overlay at " << Describe(WindowRectOf(overlay)) << (IsIconic(overlay) ? " (minimised)" : "")
        << ", editor at " << Describe(WindowRectOf(editorWindow_));
    std::printf("editor restored to both in place: %.0f ms\n", sinceRestored.ElapsedMs());
    EXPECT_TRUE(IsAbove(overlay, editorWindow_)) << "the restored overlay must lie over the editor";
}

// How the editor goes away while the overlay is up.
struct EditorEnding {
    const char* name;
    void (*end)(HWND editorWindow, HANDLE editorProcess);
};

const EditorEnding EditorEndings[] = {
    {"ClosedByItsUser", [](HWND window, HANDLE) { PostMessageA(window, WM_CLOSE, 0, 0); }},
    {"Killed", [](HWND, HANDLE process) { TerminateProcess(process, 1); }},
};

class EditorEndsWhileOverlayIsUp : public LocalizerSession, public testing::WithParamInterface<EditorEnding> {};

TEST_P(EditorEndsWhileOverlayIsUp, TheLauncherEndsWithCodeZeroWithinASecond)
{
    HWND overlay = nullptr;
    ASSERT_NO_FATAL_FAILURE(PressAndWaitForPinnedOverlay(__LINE__, &overlay));
    // The first frame that draws the captions builds the font's glyphs and is far longer than
    // the frames after it; the end is timed against a running overlay.
    ASSERT_NO_FATAL_FAILURE(ExpectCaptionsOnScreen(__LINE__));

    GetParam().end(editorWindow_, editor_.Handle());
    // Timed from the moment the process list stops showing the editor, as the launcher sees it.
    const Stopwatch sinceEnd;
    bool gone = false;
    while (!(gone = !EditorRunning()) && sinceEnd.ElapsedMs() < ProcessExitDeadlineMs)
        Sleep(1);
    ASSERT_TRUE(gone) << "the editor did not end";
    const Stopwatch sinceGone;

    DWORD exitCode = 0;
    const bool ended = launcher_.WaitForExit(ProcessExitDeadlineMs, &exitCode);
    const double elapsedMs = sinceGone.ElapsedMs();
    ASSERT_TRUE(ended) << "the launcher went on running without the editor";
    std::printf("editor gone from the process list to launcher ended: %.0f ms\n", elapsedMs);
    EXPECT_EQ(0u, exitCode);
    EXPECT_LE(elapsedMs, OneSecondMs + WineMarginMs);
}

INSTANTIATE_TEST_SUITE_P(Editor, EditorEndsWhileOverlayIsUp, testing::ValuesIn(EditorEndings),
                         [](const testing::TestParamInfo<EditorEnding>& info) { return std::string(info.param.name); });

TEST_F(LocalizerSession, ClosingTheLauncherWindowClosesTheEditorAndEndsWithCodeZero)
{
    HWND overlay = nullptr;
    ASSERT_NO_FATAL_FAILURE(PressAndWaitForPinnedOverlay(__LINE__, &overlay));

    PostMessageA(launcherWindow_, WM_CLOSE, 0, 0); // as the window's close box does

    DWORD exitCode = 0;
    ASSERT_TRUE(launcher_.WaitForExit(ProcessExitDeadlineMs, &exitCode)) << "the launcher did not end";
    EXPECT_EQ(0u, exitCode);
    // The stand-in ends when its main window is closed and not otherwise.
    EXPECT_TRUE(editor_.WaitForExit(ProcessExitDeadlineMs)) << "the editor's main window was not asked to close";
}

TEST_F(LocalizerSession, PressWithoutEditorShowsTheNoticeAndLeavesTheLauncherUsable)
{
    ASSERT_NO_FATAL_FAILURE(EndEditorProcess());

    for (const char* press : {"first press", "press after the notice"}) {
        SCOPED_TRACE(press);
        Press();
        HWND notice = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (notice = SoleVisibleWindowOf(launcher_.Id(), NoticeClassName)) != nullptr; },
                              AppearDeadlineMs))
            << "no notice box";
        EXPECT_EQ("友情提醒", WindowText(notice));
        EXPECT_NE(nullptr, ChildWithText(notice, "没找到窗口")) << "the notice does not say that no window was found";
        EXPECT_EQ(launcherWindow_, GetWindow(notice, GW_OWNER)) << "the notice must be owned by the launcher window";
        EXPECT_TRUE(VisibleWindowsOf(launcher_.Id(), OverlayClassName).empty()) << "an overlay was made without editor";

        // Wine's box does not close by itself: the user presses OK.
        ASSERT_TRUE(PressMessageBoxButton(notice, IDOK)) << "the notice has no OK button";
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(notice); }, AppearDeadlineMs)) << "OK did not close the notice";

        EXPECT_TRUE(launcher_.Running());
        EXPECT_TRUE(IsWindowEnabled(launcherWindow_)) << "the launcher window stayed disabled after the notice";
        EXPECT_TRUE(Responsive(launcherWindow_));
    }
}

TEST_F(LocalizerSession, ASecondPressReplacesTheOverlayAndLeavesOneRenderThread)
{
    HWND first = nullptr;
    ASSERT_NO_FATAL_FAILURE(PressAndWaitForPinnedOverlay(__LINE__, &first));
    ASSERT_NO_FATAL_FAILURE(ExpectCaptionsOnScreen(__LINE__));
    const int threadsAfterFirst = SettledThreadCountOf(launcher_.Id());

    Press();
    HWND second = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            second = SoleOverlay();
            return !IsWindow(first) && second && second != first && IsPinned(second);
        },
        AppearDeadlineMs))
        << "first overlay " << (IsWindow(first) ? "still there" : "gone") << ", "
        << VisibleWindowsOf(launcher_.Id(), OverlayClassName).size() << " visible overlay(s)";
    ASSERT_NO_FATAL_FAILURE(ExpectCaptionsOnScreen(__LINE__));

    const int threadsAfterSecond = SettledThreadCountOf(launcher_.Id());
    std::printf("launcher threads: %d after the first press, %d after the second\n", threadsAfterFirst,
                threadsAfterSecond);
    EXPECT_EQ(threadsAfterFirst, threadsAfterSecond) << "the earlier overlay's render thread is still running";
    EXPECT_EQ(1u, VisibleWindowsOf(launcher_.Id(), OverlayClassName).size());
    EXPECT_TRUE(Responsive(launcherWindow_));
}

// Presses that come faster than a press can finish while an overlay is up: each is handled inside
// the window search of the one before, and the overlay pump of an inner press ends when the
// overlay it replaced goes. However they nest, one overlay is left standing, drawn on and pinned,
// and none of the others stays behind over the editor with nothing drawing on it.
TEST_F(LocalizerSession, ABurstOfPressesLeavesOneOverlay)
{
    HWND first = nullptr;
    ASSERT_NO_FATAL_FAILURE(PressAndWaitForPinnedOverlay(__LINE__, &first));
    constexpr int BurstPresses = 5;
    for (int i = 0; i < BurstPresses; ++i)
        Press();

    // The presses are done when one overlay has stood, pinned, for a good while; an overlay left
    // over by a press would keep the count above one for good.
    constexpr double StandingMs = 1000;
    HWND overlay = nullptr;
    Stopwatch standing;
    const bool settled = WaitUntil(
        [&] {
            const std::vector<HWND> overlays = VisibleWindowsOf(launcher_.Id(), OverlayClassName);
            const bool one = overlays.size() == 1 && IsPinned(overlays.front());
            if (!one || overlays.front() != overlay) {
                overlay = one ? overlays.front() : nullptr;
                standing = Stopwatch();
            }
            return overlay && standing.ElapsedMs() >= StandingMs;
        },
        AppearDeadlineMs);
    ASSERT_TRUE(settled) << VisibleWindowsOf(launcher_.Id(), OverlayClassName).size() << " visible overlay(s)";
    ASSERT_NO_FATAL_FAILURE(ExpectCaptionsOnScreen(__LINE__));
    EXPECT_TRUE(Responsive(launcherWindow_));
}

// The editor runs, but its window only shows a while after the launcher is ready.
class EditorWithoutWindowYet : public LocalizerSession {
protected:
    std::string StandInArguments() const override { return "--show-after=" + std::to_string(ShowAfterMs); }
    bool EditorShowsAtOnce() const override { return false; }

    // Long enough to press and see the overlay come up before the editor's window exists, also
    // when the machine is busy.
    static constexpr int ShowAfterMs = 8000;
};

TEST_F(EditorWithoutWindowYet, PressMakesTheOverlayAllTheSame)
{
    ASSERT_EQ(nullptr, VisibleTopLevelWindowOf(editorId_)) << "the editor's window showed too early for this test";
    Press();
    HWND overlay = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (overlay = SoleOverlay()) != nullptr && IsPinned(overlay); }, AppearDeadlineMs))
        << "no overlay at " << Describe(PinnedRect);
    ASSERT_EQ(nullptr, VisibleTopLevelWindowOf(editorId_)) << "the editor's window showed too early for this test";
    ASSERT_NO_FATAL_FAILURE(ExpectCaptionsOnScreen(__LINE__));

    // The press found no window to pin, and frames never look for one again: when the editor's
    // window shows at last, it stays where it opened.
    HWND editorWindow = WaitForVisibleWindowOf(editorId_, AppearDeadlineMs);
    ASSERT_NE(nullptr, editorWindow) << "the editor's window never showed";
    Sleep(SeveralFramesMs);
    const RECT editorRect = WindowRectOf(editorWindow);
    EXPECT_EQ(EditorStartPoint.x, editorRect.left) << "editor at " << Describe(editorRect);
    EXPECT_EQ(EditorStartPoint.y, editorRect.top) << "editor at " << Describe(editorRect);
    EXPECT_TRUE(IsPinned(overlay)) << "overlay at " << Describe(WindowRectOf(overlay));
}

} // namespace
