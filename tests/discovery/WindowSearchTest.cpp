// The window search on real desktops: the stand-in editor in its different shapes, windows of
// a child process and of this process, and the messages that the search serves on its way.
#include "DiscoveryTestWindows.h"
#include "TestSupport.h"

#include "discovery/Discovery.h"
#include "shared/SharedState.h"

#include <memory>
#include <sstream>

namespace {

// Far more than a walk over this desktop takes, so that only the end of the window list ends
// a search that finds nothing.
constexpr int SearchBudgetMs = 5000;
// The budget with which the press looks for the editor's window.
constexpr int MainWindowBudgetMs = 100;
// How long the windows of the child mode below stand when no test ends them.
constexpr UINT ChildWindowsLifetimeMs = 120000;
// Long enough that a search with the press's budget cannot take another step after it.
constexpr DWORD SlowHandlerMs = 300;

constexpr char EditorTitle[] = "Sparkwright Particle Editor";
constexpr char EditorPopupTitle[] = "Particle Preview";
constexpr char RaiseSwitch[] = "--raise=";

std::string Joined(const std::vector<std::string>& titles)
{
    std::ostringstream out;
    out << "[";
    for (size_t i = 0; i < titles.size(); ++i)
        out << (i ? ", " : "") << "\"" << titles[i] << "\"";
    out << "]";
    return out.str();
}

BOOL CALLBACK TakeAnyWindowOfProcess(HWND window, LPARAM parameter)
{
    auto& search = *reinterpret_cast<std::pair<DWORD, HWND>*>(parameter);
    if (ProcessOf(window) != search.first)
        return TRUE;
    search.second = window;
    return FALSE;
}

// The highest top-level window of the process, visible or not.
HWND AnyTopLevelWindowOf(DWORD processId)
{
    std::pair<DWORD, HWND> search{processId, nullptr};
    EnumWindows(TakeAnyWindowOfProcess, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

// Starts a program and waits until it has made its windows and waits for messages.
ChildProcess StartAndSettle(ChildProcess child)
{
    if (child.Started())
        WaitForInputIdle(child.Handle(), ProcessStartDeadlineMs);
    return child;
}

ChildProcess StartStandIn(const std::string& arguments)
{
    return StartAndSettle(ChildProcess::Start(StandInEditorPath(), arguments));
}

// (WaitForInputIdle returns at once for this console program; the tests wait for its windows.)
ChildProcess StartWindowsChild(const std::string& arguments)
{
    return ChildProcess::StartChildMode("TopLevelWindows", arguments);
}

// Receives the message that a test posts before a search, on a message-only window of the
// test's thread (one that no walk over the desktop meets).
constexpr char ReceiverClassName[] = "DiscoverySearchReceiver";
constexpr UINT ProbeMessage = WM_APP + 1;
int ProbesHandled = 0;
DWORD ProbeHandlerDelayMs = 0;

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == ProbeMessage) {
        ++ProbesHandled;
        Sleep(ProbeHandlerDelayMs); // stands for a handler of the launcher that works for a while
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class WindowSearchTest : public testing::Test {
protected:
    void SetUp() override
    {
        ServePendingMessages();
        receiver_ = CreateMessageWindow(ReceiverClassName, ReceiverProc);
        ASSERT_NE(nullptr, receiver_);
        ProbesHandled = 0;
        ProbeHandlerDelayMs = 0;
    }

    void TearDown() override
    {
        DestroyWindow(receiver_);
        ServePendingMessages();
    }

    // Posts the probe to this thread; whether it was handled shows whether messages were served.
    void PostProbe(DWORD handlerDelayMs = 0)
    {
        ProbesHandled = 0;
        ProbeHandlerDelayMs = handlerDelayMs;
        ASSERT_TRUE(PostMessageA(receiver_, ProbeMessage, 0, 0));
    }

    // Waits until the desktop's visible windows, highest first, begin with top.
    static void ExpectHighestVisibleWindow(HWND top, int line)
    {
        const bool stands = WaitUntil(
            [&] {
                const std::vector<HWND> windows = VisibleTopLevelWindows();
                return !windows.empty() && windows.front() == top;
            },
            ProcessStartDeadlineMs);
        ASSERT_TRUE(stands) << "from line " << line << ": the visible windows, highest first, are "
                            << Joined(TitlesOf(VisibleTopLevelWindows())) << "; expected \"" << WindowText(top)
                            << "\" first";
    }

    HWND receiver_ = nullptr;
};

// Shows titled top-level windows in the order given, each on top, then raises the one named by
// --raise=TITLE; they stand until the test ends the process.
CHILD_MODE(TopLevelWindows)
{
    std::vector<std::unique_ptr<TestWindow>> windows;
    std::string raised;
    int x = 300;
    for (int i = 0; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.rfind(RaiseSwitch, 0) == 0) {
            raised = word.substr(sizeof RaiseSwitch - 1);
            continue;
        }
        windows.push_back(std::make_unique<TestWindow>(word.c_str(), x, 200, 400, 300));
        x += 40;
    }
    for (const auto& window : windows)
        if (WindowText(window->Handle()) == raised)
            SetWindowPos(window->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    SetTimer(nullptr, 0, ChildWindowsLifetimeMs, nullptr);
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr)
            break;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

TEST_F(WindowSearchTest, FindsTheHighestVisibleWindowWithoutParentOfTheProcess)
{
    enum class Program { StandIn, WindowsChild };
    struct Situation {
        const char* name;
        Program program;
        const char* arguments;
        std::vector<std::string> visibleWindowsBefore; // of the process, highest first
        const char* expected;                          // title of the window found; null: none
    };
    const Situation situations[] = {
        {"the process has only a hidden window", Program::StandIn, "--hidden", {}, nullptr},
        {"an owned pop-up stands above the main window", Program::StandIn, "--popup",
         {EditorPopupTitle, EditorTitle}, EditorTitle},
        {"several windows without owner: the one raised last is highest", Program::WindowsChild,
         "first second third --raise=second", {"second", "third", "first"}, "second"},
    };

    for (const Situation& situation : situations) {
        SCOPED_TRACE(situation.name);
        ChildProcess child = situation.program == Program::StandIn ? StartStandIn(situation.arguments)
                                                                   : StartWindowsChild(situation.arguments);
        ASSERT_TRUE(child.Started());
        ASSERT_TRUE(WaitUntil([&] { return AnyTopLevelWindowOf(child.Id()) != nullptr; }, ProcessStartDeadlineMs))
            << "the process has made no window";
        const bool standing = WaitUntil(
            [&] { return TitlesOf(VisibleTopLevelWindowsOf(child.Id())) == situation.visibleWindowsBefore; },
            ProcessStartDeadlineMs);
        ASSERT_TRUE(standing) << "visible windows of the process, highest first: "
                              << Joined(TitlesOf(VisibleTopLevelWindowsOf(child.Id()))) << "; expected "
                              << Joined(situation.visibleWindowsBefore);

        const DWORD start = GetTickCount();
        HWND found = FindProcessWindow(child.Id(), SearchBudgetMs);
        const DWORD elapsed = GetTickCount() - start;

        if (situation.expected) {
            ASSERT_NE(nullptr, found);
            EXPECT_EQ(situation.expected, WindowText(found));
            EXPECT_EQ(child.Id(), ProcessOf(found));
        } else {
            EXPECT_EQ(nullptr, found) << "found \"" << WindowText(found) << "\"";
        }
        EXPECT_LT(elapsed, static_cast<DWORD>(SearchBudgetMs)) << "the walk must end before its budget is spent";
    }
}

TEST_F(WindowSearchTest, BudgetOfZeroOrLessEndsTheSearchBeforeTheFirstWindow)
{
    // A qualifying window at the very top: the first step of any walk would return it.
    TestWindow launcherLike("launcher-like window", 400, 300, 320, 200);
    ExpectHighestVisibleWindow(launcherLike.Handle(), __LINE__);

    struct Case {
        int budgetMs;
        HWND expected;
    };
    const Case cases[] = {{0, nullptr}, {-1, nullptr}, {SearchBudgetMs, launcherLike.Handle()}};
    for (const Case& row : cases) {
        SCOPED_TRACE("budget " + std::to_string(row.budgetMs) + " ms");
        EXPECT_EQ(row.expected, FindProcessWindow(GetCurrentProcessId(), row.budgetMs));
    }
}

TEST_F(WindowSearchTest, UnknownImageNameGivesMinusOneWithoutWalkingTheWindows)
{
    // A walk would pass this visible window and serve the probe on its way.
    TestWindow passedWindow("a window any walk passes", 400, 300, 320, 200);
    ExpectHighestVisibleWindow(passedWindow.Handle(), __LINE__);

    ASSERT_NO_FATAL_FAILURE(PostProbe());
    EXPECT_EQ(reinterpret_cast<HWND>(static_cast<INT_PTR>(-1)), FindMainWindowByName("NoSuchProgram.exe"));
    EXPECT_EQ(0, ProbesHandled) << "messages were served: the windows were walked";

    // The same probe is served as soon as a walk passes that window.
    EXPECT_EQ(nullptr, FindProcessWindow(0, SearchBudgetMs));
    EXPECT_EQ(1, ProbesHandled);
}

TEST_F(WindowSearchTest, EditorsWindowIsFoundByTheImageName)
{
    struct Case {
        const char* name;
        const char* arguments;
        bool windowExpected;
    };
    const Case cases[] = {
        {"editor with its window shown", "", true},
        {"editor without a visible window", "--hidden", false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        ChildProcess editor = StartStandIn(row.arguments);
        ASSERT_TRUE(editor.Started());
        HWND editorWindow = nullptr;
        if (row.windowExpected) {
            editorWindow = WaitForVisibleWindowOf(editor.Id(), ProcessStartDeadlineMs);
            ASSERT_NE(nullptr, editorWindow) << "the stand-in editor shows no window";
        }

        HWND found = FindMainWindowByName(EditorImageName);

        EXPECT_EQ(editorWindow, found) << "found \"" << WindowText(found) << "\"";
    }
}

TEST_F(WindowSearchTest, MessagesAreServedWhileTheSearchPassesVisibleWindows)
{
    ChildProcess editor = StartStandIn("");
    ASSERT_TRUE(editor.Started());
    HWND target = WaitForVisibleWindowOf(editor.Id(), ProcessStartDeadlineMs);
    ASSERT_NE(nullptr, target);

    enum class Cover { HiddenWindowOfOtherProcess, WindowOfThisProcess, WindowOfOtherProcess };
    struct Case {
        const char* name;
        Cover cover;              // what stands above the editor's window
        int budgetMs;
        DWORD handlerDelayMs;     // how long handling the probe takes
        bool targetFound;
        bool probeHandled;
    };
    const Case cases[] = {
        {"only a hidden window above: nothing is served", Cover::HiddenWindowOfOtherProcess, SearchBudgetMs, 0, true,
         false},
        {"a visible window of this process above", Cover::WindowOfThisProcess, SearchBudgetMs, 0, true, true},
        {"a visible window of another process above", Cover::WindowOfOtherProcess, SearchBudgetMs, 0, true, true},
        {"serving the messages outlasts the budget", Cover::WindowOfThisProcess, MainWindowBudgetMs, SlowHandlerMs,
         false, true},
    };

    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        std::unique_ptr<TestWindow> ownCover;
        ChildProcess otherCover;
        HWND cover = nullptr;
        switch (row.cover) {
        case Cover::HiddenWindowOfOtherProcess:
            otherCover = StartStandIn("--hidden");
            cover = AnyTopLevelWindowOf(otherCover.Id());
            ASSERT_NE(nullptr, cover);
            SetWindowPos(target, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            SetWindowPos(cover, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            ExpectHighestVisibleWindow(target, __LINE__);
            ASSERT_TRUE(WaitUntil([&] { return IsAbove(cover, target); }, ProcessStartDeadlineMs))
                << "the hidden window does not stand above the editor's";
            break;
        case Cover::WindowOfThisProcess:
            ownCover = std::make_unique<TestWindow>("cover of this process", 100, 100, 600, 400);
            cover = ownCover->Handle();
            ExpectHighestVisibleWindow(cover, __LINE__);
            break;
        case Cover::WindowOfOtherProcess:
            otherCover = StartWindowsChild("cover-of-another-process");
            cover = WaitForVisibleWindowOf(otherCover.Id(), ProcessStartDeadlineMs);
            ASSERT_NE(nullptr, cover);
            ExpectHighestVisibleWindow(cover, __LINE__);
            break;
        }
        ASSERT_TRUE(IsAbove(cover, target));

        ASSERT_NO_FATAL_FAILURE(PostProbe(row.handlerDelayMs));
        HWND found = FindProcessWindow(editor.Id(), row.budgetMs);
        const int handledDuringSearch = ProbesHandled;

        EXPECT_EQ(row.targetFound ? target : nullptr, found) << "found \"" << WindowText(found) << "\"";
        EXPECT_EQ(row.probeHandled ? 1 : 0, handledDuringSearch);
        ServePendingMessages();
        EXPECT_EQ(1, ProbesHandled) << "the probe never reached its window";
    }
}

} // namespace
