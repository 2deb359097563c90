// The launcher's pause: it lasts longer than asked, keeps the thread's windows served, and does
// not keep a processor busy meanwhile.
#include "TestSupport.h"

#include "launcher/Launcher.h"

#include <climits>

namespace {

constexpr UINT PingMessage = WM_APP + 7;
constexpr char PingWindowClass[] = "WaitWithMessagesPingWindow";

// When the helper thread posts, counted from the start of the wait: well inside it.
constexpr DWORD PostAfterMs = 150;
constexpr int WaitMs = 600;
// Long enough for the thread's CPU time, counted in 10 ms steps, to tell polling from sleeping.
constexpr int CpuWaitMs = 1000;
// A message must be handled within this time of being posted, well before the end of the wait
// (with room for a loaded machine's scheduling).
constexpr DWORD HandledWithinMs = 200;
// Slack for a loaded machine; the wait itself may overshoot by a scheduling slice or two.
constexpr DWORD OvershootAllowanceMs = 400;

DWORD PingHandledAt = 0;
int PingsHandled = 0;

LRESULT CALLBACK PingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PingMessage) {
        PingHandledAt = GetTickCount();
        ++PingsHandled;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

struct DelayedPost {
    HWND window;
    DWORD delayMs;
    DWORD postedAt;
};

DWORD WINAPI PostAfterDelay(void* parameter)
{
    auto& post = *static_cast<DelayedPost*>(parameter);
    Sleep(post.delayMs); // the point is to post in the middle of the other thread's wait
    post.postedAt = GetTickCount();
    PostMessageA(post.window, PingMessage, 0, 0);
    return 0;
}

class WaitWithMessagesTest : public testing::Test {
protected:
    void SetUp() override
    {
        window_ = CreateMessageWindow(PingWindowClass, PingWindowProc);
        ASSERT_NE(nullptr, window_);
        PingHandledAt = 0;
        PingsHandled = 0;
    }

    void TearDown() override { DestroyWindow(window_); }

    HWND window_ = nullptr;
};

TEST_F(WaitWithMessagesTest, LastsLongerThanAskedAndServesMessagesAsTheyCome)
{
    DelayedPost post{window_, PostAfterMs, 0};
    const DWORD start = GetTickCount();
    HANDLE poster = CreateThread(nullptr, 0, PostAfterDelay, &post, 0, nullptr);
    ASSERT_NE(nullptr, poster);
    WaitWithMessages(WaitMs);
    const DWORD elapsed = GetTickCount() - start;
    WaitForSingleObject(poster, INFINITE);
    CloseHandle(poster);

    EXPECT_GT(elapsed, static_cast<DWORD>(WaitMs));
    EXPECT_LT(elapsed, WaitMs + OvershootAllowanceMs);
    ASSERT_EQ(1, PingsHandled) << "the message posted during the wait was not handled by it";
    EXPECT_LE(PingHandledAt - post.postedAt, HandledWithinMs) << "the message waited for the end of the wait";
}

TEST_F(WaitWithMessagesTest, HandlesMessagesAlreadyWaiting)
{
    PostMessageA(window_, PingMessage, 0, 0);
    WaitWithMessages(WaitMs / 5);
    EXPECT_EQ(1, PingsHandled);
}

TEST_F(WaitWithMessagesTest, ReturnsAtOnceForNoTime)
{
    // Read as unsigned, a negative time would be weeks; this only allows for a descheduled thread.
    constexpr DWORD AtOnceMs = 50;
    for (int milliseconds : {0, -1, -1000, INT_MIN}) {
        SCOPED_TRACE(milliseconds);
        const DWORD start = GetTickCount();
        WaitWithMessages(milliseconds);
        EXPECT_LE(GetTickCount() - start, AtOnceMs);
    }
}

TEST_F(WaitWithMessagesTest, DoesNotKeepAProcessorBusy)
{
    const double cpuBefore = ThreadCpuMs();
    const DWORD start = GetTickCount();
    WaitWithMessages(CpuWaitMs);
    const DWORD wall = GetTickCount() - start;
    const double cpu = ThreadCpuMs() - cpuBefore;
    // Under Wine a polling wait keeps the thread busy for a fifth of the wall time or more (its
    // message peeks wait on the server); a sleeping one uses next to nothing.
    EXPECT_LT(cpu, wall / 10.0) << "CPU " << cpu << " ms over " << wall << " ms";
}

} // namespace
