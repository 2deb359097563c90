// The timed notice: the real box, watched from another thread while its modal loop runs, and
// the call at the by-name binding, where the time-out that this platform ignores is given.
#include "DiscoveryTestWindows.h"
#include "TestSupport.h"

#include "discovery/Discovery.h"
#include "shared/EntryPoints.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char User32[] = "user32.dll";
constexpr char MessageBoxTimeoutName[] = "MessageBoxTimeoutA";

// "没找到窗口", the text the press shows, and the caption "友情提醒", as GBK bytes.
constexpr char NoticeText[] = "\xC3\xBB\xD5\xD2\xB5\xBD\xB4\xB0\xBF\xDA";
constexpr char NoticeCaption[] = "\xD3\xD1\xC7\xE9\xCC\xE1\xD0\xD1";
constexpr DWORD NoticeTimeoutMs = 5000;

// The box comes up as soon as the owner is found; generous for a loaded machine.
constexpr DWORD BoxDeadlineMs = 10000;

using MessageBoxTimeoutAFunction = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT, WORD, DWORD);

// What the recorder saw of each call at the binding.
struct RecordedCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
    WORD languageId;
    DWORD timeoutMs;
};
std::vector<RecordedCall> RecordedCalls;

int WINAPI RecordMessageBoxTimeout(HWND owner, LPCSTR text, LPCSTR caption, UINT style, WORD languageId,
                                   DWORD timeoutMs)
{
    RecordedCalls.push_back(RecordedCall{owner, text ? text : "(null)", caption ? caption : "(null)", style,
                                         languageId, timeoutMs});
    return IDOK;
}

FARPROC AsEntryPoint(MessageBoxTimeoutAFunction function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

FARPROC RealMessageBoxTimeout()
{
    return GetProcAddress(GetModuleHandleA(User32), MessageBoxTimeoutName);
}

// What a watcher saw of the box while it was shown.
struct BoxSighting {
    HWND box = nullptr;
    std::string caption;
    std::string text;
    HWND owner = nullptr;
    bool ownerEnabled = true;
    bool quitPosted = false; // the box never came: the watcher broke the modal loop
    bool okPressed = false;
};

// Watches for the box of this process from a second thread, notes what it shows, then presses
// OK. Should no box come, or one without OK, it posts WM_QUIT to the showing thread, which ends
// a modal loop, so that the test fails instead of hanging.
class BoxWatcher {
public:
    BoxWatcher() : showingThread_(GetCurrentThreadId()), thread_([this] { Watch(); }) {}
    ~BoxWatcher()
    {
        if (thread_.joinable())
            thread_.join();
    }

    const BoxSighting& Sighting()
    {
        if (thread_.joinable())
            thread_.join();
        return sighting_;
    }

private:
    void Watch()
    {
        HWND box = WaitForMessageBoxOf(GetCurrentProcessId(), BoxDeadlineMs);
        if (!box) {
            sighting_.quitPosted = true;
            PostThreadMessageA(showingThread_, WM_QUIT, 0, 0);
            return;
        }
        sighting_.box = box;
        sighting_.caption = WindowText(box);
        sighting_.text = MessageBoxText(box);
        sighting_.owner = GetWindow(box, GW_OWNER);
        sighting_.ownerEnabled = sighting_.owner && IsWindowEnabled(sighting_.owner);
        sighting_.okPressed = PressMessageBoxButton(box, IDOK);
        if (!sighting_.okPressed)
            PostThreadMessageA(showingThread_, WM_QUIT, 0, 0);
    }

    DWORD showingThread_;
    BoxSighting sighting_;
    std::thread thread_;
};

// Whether the test shows a window of this process where the launcher's would be, which then
// owns the box.
struct OwnerCase {
    const char* name;
    bool launcherWindowShown;
};

std::unique_ptr<TestWindow> LauncherLikeWindow(const OwnerCase& row)
{
    if (!row.launcherWindowShown)
        return nullptr;
    auto window = std::make_unique<TestWindow>("launcher-like window", 500, 400, 320, 200);
    ServePendingMessages();
    return window;
}

class TimedNoticeTest : public testing::Test {
protected:
    void SetUp() override
    {
        ServePendingMessages();
        ASSERT_TRUE(VisibleTopLevelWindowsOf(GetCurrentProcessId()).empty())
            << "an earlier test left a visible window of this process";
        RecordedCalls.clear();
    }

    void TearDown() override
    {
        // Whatever a test bound, the real entry point serves every later test; a WM_QUIT that
        // the watcher had to post must not reach them either.
        SetEntryPointForTesting(User32, MessageBoxTimeoutName, RealMessageBoxTimeout());
        TakeQuitMessages();
    }
};

TEST_F(TimedNoticeTest, BoxShowsTheTextOwnedByTheLauncherWindowAndClosesOnOk)
{
    const OwnerCase cases[] = {
        {"the launcher's window is shown: it owns the box", true},
        {"no visible window of the process: the box has no owner", false},
    };
    for (const OwnerCase& row : cases) {
        SCOPED_TRACE(row.name);
        const std::unique_ptr<TestWindow> launcherLike = LauncherLikeWindow(row);
        HWND expectedOwner = launcherLike ? launcherLike->Handle() : nullptr;

        BoxWatcher watcher;
        ShowTimedNotice(NoticeText);
        const BoxSighting& seen = watcher.Sighting();

        ASSERT_FALSE(seen.quitPosted) << "no message box of this process came up";
        ASSERT_TRUE(seen.okPressed) << "the box has no OK button";
        EXPECT_EQ(NoticeCaption, seen.caption);
        EXPECT_EQ(NoticeText, seen.text);
        EXPECT_EQ(expectedOwner, seen.owner);
        if (expectedOwner) {
            EXPECT_FALSE(seen.ownerEnabled) << "the owner could be used while the box was shown";
            EXPECT_TRUE(IsWindowEnabled(expectedOwner)) << "the owner stayed disabled after the box closed";
        }
        EXPECT_FALSE(IsWindow(seen.box)) << "the box is still there after ShowTimedNotice returned";
        EXPECT_FALSE(TakeQuitMessages()) << "the modal loop was broken by the watcher, not by OK";
    }
}

TEST_F(TimedNoticeTest, CallsTheTimedBoxOnceWithOwnerTextCaptionAndFiveSeconds)
{
    // This platform's box ignores its time-out, so the five seconds are checked where they are given.
    const OwnerCase cases[] = {
        {"with the launcher's window shown", true},
        {"without a visible window", false},
    };
    for (const OwnerCase& row : cases) {
        SCOPED_TRACE(row.name);
        const std::unique_ptr<TestWindow> launcherLike = LauncherLikeWindow(row);
        RecordedCalls.clear();
        SetEntryPointForTesting(User32, MessageBoxTimeoutName, AsEntryPoint(RecordMessageBoxTimeout));

        ShowTimedNotice(NoticeText);

        ASSERT_EQ(1u, RecordedCalls.size());
        const RecordedCall& call = RecordedCalls.front();
        EXPECT_EQ(launcherLike ? launcherLike->Handle() : nullptr, call.owner);
        EXPECT_EQ(NoticeText, call.text);
        EXPECT_EQ(NoticeCaption, call.caption);
        EXPECT_EQ(static_cast<UINT>(MB_OK), call.style);
        EXPECT_EQ(0, call.languageId);
        EXPECT_EQ(NoticeTimeoutMs, call.timeoutMs);
    }
}

} // namespace
