// The five window routines on real windows, called from the window's own thread and, as the
// render thread does, from another thread while the owner serves its messages.
#include "DiscoveryTestWindows.h"
#include "TestSupport.h"

#include "discovery/Discovery.h"

#include <memory>

namespace {

// Where the test window first stands: away from the pinned rectangle, so that every move shows.
constexpr int StartX = 200;
constexpr int StartY = 150;
constexpr int StartWidth = 640;
constexpr int StartHeight = 480;

// The pinned rectangle of the editor's window.
constexpr int PinnedX = 50;
constexpr int PinnedY = 50;
constexpr int PinnedWidth = 1440;
constexpr int PinnedHeight = 1000;

// A call from another thread waits for the owner to handle it; the owner serves at once.
constexpr DWORD OtherThreadDeadlineMs = 10000;

enum class Caller { OwnThread, OtherThread };

const char* NameOf(Caller caller)
{
    return caller == Caller::OwnThread ? "called on the window's own thread" : "called from another thread";
}

const Caller Callers[] = {Caller::OwnThread, Caller::OtherThread};

// Runs a routine as the given caller; the window's own thread serves its messages meanwhile
// (the main thread's pump does the same for the overlay).
void CallAs(Caller caller, const std::function<void()>& routine, int line)
{
    if (caller == Caller::OwnThread) {
        routine();
        ServePendingMessages();
        return;
    }
    EXPECT_TRUE(RunOnOtherThread(routine, OtherThreadDeadlineMs))
        << "from line " << line << ": the call from another thread did not complete";
}

bool IsTopmost(HWND window)
{
    return (GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

class WindowPlacementTest : public testing::Test {
protected:
    void SetUp() override { ServePendingMessages(); }

    static std::unique_ptr<TestWindow> MakeWindow()
    {
        auto window = std::make_unique<TestWindow>("placement test window", StartX, StartY, StartWidth, StartHeight);
        ServePendingMessages();
        return window;
    }

    static RECT StartRectangle() { return RECT{StartX, StartY, StartX + StartWidth, StartY + StartHeight}; }
};

TEST_F(WindowPlacementTest, MinimiseKeepsTheWindowAndRestoreBringsBackItsRectangle)
{
    for (Caller caller : Callers) {
        SCOPED_TRACE(NameOf(caller));
        auto window = MakeWindow();
        HWND handle = window->Handle();
        ASSERT_EQ(StartRectangle(), WindowRectOf(handle));
        ASSERT_EQ(0, IsWindowMinimised(handle));

        BOOL minimisedAfterMinimise = FALSE;
        CallAs(caller, [&] {
            MinimiseWindow(handle);
            minimisedAfterMinimise = IsWindowMinimised(handle);
        }, __LINE__);
        EXPECT_NE(0, minimisedAfterMinimise);
        EXPECT_TRUE(IsWindow(handle)) << "minimising destroyed the window";
        EXPECT_TRUE(IsIconic(handle));
        EXPECT_EQ(0, window->CloseRequests()) << "minimising asked the window to close";

        BOOL minimisedAfterRestore = TRUE;
        CallAs(caller, [&] {
            RestoreWindow(handle);
            minimisedAfterRestore = IsWindowMinimised(handle);
        }, __LINE__);
        EXPECT_EQ(0, minimisedAfterRestore);
        EXPECT_FALSE(IsIconic(handle));
        EXPECT_TRUE(IsWindowVisible(handle));
        EXPECT_EQ(StartRectangle(), WindowRectOf(handle));
    }
}

TEST_F(WindowPlacementTest, RestoreLeavesAWindowThatIsNotMinimisedInPlace)
{
    for (Caller caller : Callers) {
        SCOPED_TRACE(NameOf(caller));
        auto window = MakeWindow();
        CallAs(caller, [&] { RestoreWindow(window->Handle()); }, __LINE__);
        EXPECT_FALSE(IsIconic(window->Handle()));
        EXPECT_EQ(StartRectangle(), WindowRectOf(window->Handle()));
    }
}

TEST_F(WindowPlacementTest, MoveWindowToSetsTheOuterRectangle)
{
    const RECT pinned{50, 50, 1490, 1050};
    for (Caller caller : Callers) {
        SCOPED_TRACE(NameOf(caller));
        auto window = MakeWindow();
        CallAs(caller, [&] { MoveWindowTo(window->Handle(), PinnedX, PinnedY, PinnedWidth, PinnedHeight); },
               __LINE__);
        EXPECT_EQ(pinned, WindowRectOf(window->Handle()));
    }
}

TEST_F(WindowPlacementTest, MakeWindowTopmostRaisesItWithoutMovingOrSizingIt)
{
    for (Caller caller : Callers) {
        SCOPED_TRACE(NameOf(caller));
        auto window = MakeWindow();
        TestWindow cover("window above", StartX + 50, StartY + 50, StartWidth, StartHeight);
        ServePendingMessages();
        ASSERT_TRUE(IsAbove(cover.Handle(), window->Handle()));
        ASSERT_FALSE(IsTopmost(window->Handle()));

        CallAs(caller, [&] { MakeWindowTopmost(window->Handle()); }, __LINE__);

        EXPECT_TRUE(IsTopmost(window->Handle()));
        EXPECT_TRUE(IsAbove(window->Handle(), cover.Handle()));
        EXPECT_EQ(StartRectangle(), WindowRectOf(window->Handle()));
        EXPECT_FALSE(IsIconic(window->Handle()));
    }
}

TEST_F(WindowPlacementTest, NullOrDestroyedWindowIsIgnored)
{
    // The window that has the focus stays as it was: no routine falls back on another window.
    auto bystander = MakeWindow();
    ASSERT_EQ(bystander->Handle(), GetForegroundWindow());
    HWND destroyed = nullptr;
    {
        TestWindow gone("destroyed window", StartX, StartY, StartWidth, StartHeight);
        destroyed = gone.Handle();
    }
    SetForegroundWindow(bystander->Handle());
    ServePendingMessages();
    ASSERT_FALSE(IsWindow(destroyed));
    ASSERT_EQ(bystander->Handle(), GetForegroundWindow());

    struct Case {
        const char* name;
        HWND window;
    };
    const Case cases[] = {{"null window", nullptr}, {"destroyed window", destroyed}};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(0, IsWindowMinimised(row.window));
        MinimiseWindow(row.window);
        RestoreWindow(row.window);
        MoveWindowTo(row.window, PinnedX, PinnedY, PinnedWidth, PinnedHeight);
        MakeWindowTopmost(row.window);
        ServePendingMessages();

        EXPECT_EQ(StartRectangle(), WindowRectOf(bystander->Handle()));
        EXPECT_FALSE(IsIconic(bystander->Handle()));
        EXPECT_FALSE(IsTopmost(bystander->Handle()));
        EXPECT_EQ(0, bystander->CloseRequests());
    }
}

} // namespace
