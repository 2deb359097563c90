// The frame routine on this thread, frame by frame, beside a real stand-in editor: what it does
// to the two windows and how many captions it draws in each state of the editor.
#include "TestSupport.h"

#include "CaptionExpectations.h"
#include "RecordingFont.h"
#include "discovery/Discovery.h"
#include "labels/Labels.h"
#include "overlay/Overlay.h"
#include "shared/SharedState.h"

#include <string>

namespace {

// Where the stand-in editor opens when nothing moves it.
constexpr RECT EditorStartRect{200, 120, 200 + 1440, 120 + 1000};

// A running editor with its window, an overlay window without a device, and a recording font:
// each OverlayFrame call is one frame as the render thread would run it. The frame routine ends
// the program when no editor runs, so the stand-in must outlive every frame of a test.
class FrameRoutine : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(WaitUntil([] { return FindProcessByName(EditorImageName) == 0; }, ProcessExitDeadlineMs))
            << "an editor from elsewhere is still running";
        editor_ = ChildProcess::Start(StandInEditorPath());
        ASSERT_TRUE(editor_.Started());
        editorWindow_ = WaitForVisibleWindowOf(editor_.Id(), ProcessStartDeadlineMs);
        ASSERT_NE(nullptr, editorWindow_) << "the stand-in editor showed no window";

        saved_ = Globals{TargetWindow, OverlayWindow, LabelFont, LabelRect, TargetProcessId};
        overlay_ = CreateOverlayWindow(1440, 1000);
        ASSERT_NE(nullptr, overlay_);
        TargetWindow = editorWindow_;
        OverlayWindow = overlay_;
        LabelFont = &font_;
        LabelRect = &rect_;
        TargetProcessId = 0;
    }

    void TearDown() override
    {
        TargetWindow = saved_.targetWindow;
        OverlayWindow = saved_.overlayWindow;
        LabelFont = saved_.labelFont;
        LabelRect = saved_.labelRect;
        TargetProcessId = saved_.targetProcessId;
        if (overlay_)
            DestroyWindow(overlay_);
        // The overlay's destruction posts a quit meant for a press's pump; it must not reach the next test.
        TakeQuitMessages();
    }

    // One frame; returns how many captions it drew.
    size_t Frame()
    {
        font_.calls.clear();
        OverlayFrame();
        return font_.calls.size();
    }

    struct Globals {
        HWND targetWindow;
        HWND overlayWindow;
        ID3DXFont* labelFont;
        RECT* labelRect;
        DWORD targetProcessId;
    };

    ChildProcess editor_;
    HWND editorWindow_ = nullptr;
    HWND overlay_ = nullptr;
    RecordingFont font_;
    RECT rect_{};
    Globals saved_{};
};

TEST_F(FrameRoutine, AShownEditorIsPinnedWithTheOverlayOnTopAndAllCaptionsAreDrawn)
{
    MoveWindow(editorWindow_, 300, 200, 800, 600, TRUE); // wherever the user left it

    EXPECT_EQ(static_cast<size_t>(CaptionsPerFrame), Frame());

    EXPECT_EQ(editor_.Id(), TargetProcessId.load()) << "each frame stores the editor's process id";
    EXPECT_TRUE(IsPinned(editorWindow_)) << "editor at " << Describe(WindowRectOf(editorWindow_));
    EXPECT_TRUE(IsPinned(overlay_)) << "overlay at " << Describe(WindowRectOf(overlay_));
    EXPECT_TRUE(GetWindowLongA(overlay_, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(IsIconic(overlay_));
}

TEST_F(FrameRoutine, AMinimisedEditorTakesTheOverlayAlongAndNothingIsDrawnUntilItComesBack)
{
    ASSERT_EQ(static_cast<size_t>(CaptionsPerFrame), Frame());

    ShowWindow(editorWindow_, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(editorWindow_));
    for (const char* frame : {"first frame with the editor minimised", "a later one"}) {
        SCOPED_TRACE(frame);
        EXPECT_EQ(0u, Frame()) << "captions drawn while the editor is minimised";
        EXPECT_TRUE(IsIconic(overlay_)) << "the overlay was not minimised with the editor";
    }

    ShowWindow(editorWindow_, SW_RESTORE);
    ASSERT_FALSE(IsIconic(editorWindow_));
    EXPECT_EQ(static_cast<size_t>(CaptionsPerFrame), Frame()) << "the first frame after the restore draws them all";
    EXPECT_FALSE(IsIconic(overlay_)) << "the overlay stayed minimised";
    EXPECT_TRUE(IsPinned(overlay_)) << "overlay at " << Describe(WindowRectOf(overlay_));
    EXPECT_TRUE(IsPinned(editorWindow_)) << "editor at " << Describe(WindowRectOf(editorWindow_));
}

TEST_F(FrameRoutine, WithoutTheEditorsWindowTheOverlayIsStillPinnedAndDrawn)
{
    // The press found the editor's process but no window of it: the frames never look again.
    TargetWindow = nullptr;
    MoveWindow(overlay_, 0, 0, 200, 100, TRUE);

    EXPECT_EQ(static_cast<size_t>(CaptionsPerFrame), Frame());

    EXPECT_TRUE(IsPinned(overlay_)) << "overlay at " << Describe(WindowRectOf(overlay_));
    EXPECT_EQ(Describe(EditorStartRect), Describe(WindowRectOf(editorWindow_)))
        << "the editor's window must be left alone";
}

} // namespace
