// The render thread: where and how often the frame routine runs, one thread per device, the
// way through a lost device, and the pace of the loop.
//
// What the thread does does not depend on the overlay's size, so these overlays are small: under
// the software renderer a full-size overlay at 60 frames a second takes a good share of the CPU.
#include "OverlayTestSupport.h"

#include <d3dx9core.h>

#include <algorithm>
#include <atomic>

namespace {

constexpr int SmallWidth = 320;
constexpr int SmallHeight = 240;
constexpr DWORD FrameDeadlineMs = 10000;

// --- the frame routine's place in the frame --------------------------------------------------

// Counters the frame routine and the Present step keep on the render thread.
struct SceneProbe {
    std::atomic<int> frames{0};
    std::atomic<int> presents{0};
    std::atomic<int> routineCallsSincePresent{0};
    std::atomic<int> framesWithOtherThanOneCall{0}; // a Present after no call, or after several
    std::atomic<int> routineOutsideScene{0};        // a BeginScene of its own was accepted
    std::atomic<int> presentInsideScene{0};         // the scene was still open at Present
    std::atomic<int> wrongStates{0};
    std::atomic<int> otherThreads{0};               // calls on a thread other than the first one
    std::atomic<DWORD> thread{0};
};
SceneProbe Scene;

// A scene can be opened only where none is open: whether BeginScene is refused shows whether
// the caller is inside one. An accepted probe closes its scene again at once.
bool InsideScene(IDirect3DDevice9* device)
{
    if (FAILED(device->BeginScene()))
        return true;
    device->EndScene();
    return false;
}

bool RenderStatesHold(IDirect3DDevice9* device)
{
    DWORD depth = 99, lighting = 99, culling = 99;
    device->GetRenderState(D3DRS_ZENABLE, &depth);
    device->GetRenderState(D3DRS_LIGHTING, &lighting);
    device->GetRenderState(D3DRS_CULLMODE, &culling);
    return depth == D3DZB_FALSE && lighting == FALSE && culling == D3DCULL_NONE;
}

void ProbeScene()
{
    DWORD expected = 0;
    if (!Scene.thread.compare_exchange_strong(expected, GetCurrentThreadId()) && expected != GetCurrentThreadId())
        ++Scene.otherThreads;
    if (!InsideScene(OverlayDevice))
        ++Scene.routineOutsideScene;
    if (!RenderStatesHold(OverlayDevice))
        ++Scene.wrongStates;
    ++Scene.routineCallsSincePresent;
    ++Scene.frames;
}

HRESULT ProbePresent(IDirect3DDevice9* device)
{
    if (InsideScene(device))
        ++Scene.presentInsideScene;
    if (Scene.routineCallsSincePresent.exchange(0) != 1)
        ++Scene.framesWithOtherThanOneCall;
    ++Scene.presents;
    return device->Present(nullptr, nullptr, nullptr, nullptr);
}

void ResetSceneProbe()
{
    Scene.frames = Scene.presents = Scene.routineCallsSincePresent = 0;
    Scene.framesWithOtherThanOneCall = Scene.routineOutsideScene = Scene.presentInsideScene = 0;
    Scene.wrongStates = Scene.otherThreads = 0;
    Scene.thread = 0;
}

class FrameRoutineTest : public OverlayFixture {
protected:
    void SetUp() override
    {
        ResetSceneProbe();
        SetPresentStepForTesting(ProbePresent);
    }
};

TEST_F(FrameRoutineTest, RunsOncePerFrameOnTheRenderThreadInsideTheScene)
{
    constexpr int FramesToWatch = 20;
    ASSERT_NE(nullptr, BringUp(SmallWidth, SmallHeight, ProbeScene));
    ASSERT_TRUE(WaitUntil([] { return Scene.presents >= FramesToWatch; }, FrameDeadlineMs))
        << "only " << Scene.presents << " frames";
    StopRenderThread();

    EXPECT_NE(0u, Scene.thread.load());
    EXPECT_NE(GetCurrentThreadId(), Scene.thread.load()) << "the frame routine ran on the main thread";
    EXPECT_EQ(0, Scene.otherThreads.load());
    EXPECT_EQ(0, Scene.routineOutsideScene.load());
    EXPECT_EQ(0, Scene.presentInsideScene.load());
    EXPECT_EQ(0, Scene.framesWithOtherThanOneCall.load()) << "of " << Scene.presents << " frames";
    EXPECT_EQ(0, Scene.wrongStates.load()) << "frames without the render states";
}

TEST_F(FrameRoutineTest, FramingGoesOnAfterTheWindowIsDestroyed)
{
    constexpr int FramesAfterClose = 10;
    ASSERT_NE(nullptr, BringUp(SmallWidth, SmallHeight, ProbeScene));
    ASSERT_TRUE(WaitUntil([] { return Scene.presents > 0; }, FrameDeadlineMs));
    PostMessageA(OverlayWindow, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([] { return !IsWindow(OverlayWindow); }, FrameDeadlineMs));

    const int presentsAtClose = Scene.presents;
    EXPECT_TRUE(WaitUntil([&] { return Scene.presents >= presentsAtClose + FramesAfterClose; }, FrameDeadlineMs))
        << "framing stopped at " << Scene.presents;
    EXPECT_TRUE(RenderThreadRunning());
}

TEST_F(FrameRoutineTest, WithoutOneTheThreadSetsTheStatesAndEnds)
{
    IDirect3DDevice9* device = BringUp(SmallWidth, SmallHeight, nullptr);
    ASSERT_NE(nullptr, device);
    ASSERT_TRUE(WaitUntil([] { return !RenderThreadRunning(); }, FrameDeadlineMs)) << "the thread goes on";

    // The thread has ended, so the device is free for this thread to look at.
    EXPECT_TRUE(RenderStatesHold(device));
    EXPECT_EQ(0, Scene.presents.load()) << "frames were presented";
    EXPECT_EQ(device, OverlayDevice) << "the device is kept";
}

// --- one render thread per device ------------------------------------------------------------

std::atomic<DWORD> LatestFrameThread{0};

void NoteFrameThread()
{
    LatestFrameThread = GetCurrentThreadId();
}

bool Contains(const std::vector<DWORD>& threads, DWORD thread)
{
    return std::find(threads.begin(), threads.end(), thread) != threads.end();
}

class SecondOverlayTest : public OverlayFixture {};

TEST_F(SecondOverlayTest, StopsTheEarlierThreadAndReleasesItsDevice)
{
    const DWORD process = GetCurrentProcessId();
    LatestFrameThread = 0;
    IDirect3DDevice9* earlierDevice = BringUp(SmallWidth, SmallHeight, NoteFrameThread);
    ASSERT_NE(nullptr, earlierDevice);
    ASSERT_TRUE(WaitUntil([] { return LatestFrameThread != 0; }, FrameDeadlineMs));
    const DWORD earlierThread = LatestFrameThread;
    HANDLE earlierThreadHandle = OpenThread(SYNCHRONIZE, FALSE, earlierThread);
    ASSERT_NE(nullptr, earlierThreadHandle);
    const size_t threadsWithOneOverlay = ThreadIdsOf(process).size();
    earlierDevice->AddRef(); // ours: whether it is the last one left shows the program let go

    IDirect3DDevice9* laterDevice = BringUp(SmallWidth, SmallHeight, NoteFrameThread);

    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(earlierThreadHandle, 0))
        << "the earlier thread still runs";
    CloseHandle(earlierThreadHandle);
    // The font holds the device too, so this is 0 only when both were released.
    EXPECT_EQ(0u, earlierDevice->Release()) << "references to the earlier device remain";
    ASSERT_NE(nullptr, laterDevice);
    EXPECT_NE(earlierDevice, laterDevice);
    EXPECT_TRUE(RenderThreadRunning());
    ASSERT_TRUE(WaitUntil([&] { return LatestFrameThread != earlierThread; }, FrameDeadlineMs))
        << "no frame from a new thread";

    std::vector<DWORD> threads = ThreadIdsOf(process);
    EXPECT_FALSE(Contains(threads, earlierThread));
    EXPECT_TRUE(Contains(threads, LatestFrameThread.load()));
    // The platform may start a short-lived thread of its own now and then: only a lasting
    // surplus is a thread (the earlier render thread, or a device's own) left behind.
    EXPECT_TRUE(WaitUntil([&] { return (threads = ThreadIdsOf(process)).size() == threadsWithOneOverlay; },
                          FrameDeadlineMs))
        << threads.size() << " threads now, " << threadsWithOneOverlay << " with the earlier overlay alone";
}

// --- a lost device ---------------------------------------------------------------------------

constexpr char ProbeText[] = "Emitter";
const RECT ProbeTextBox{10, 10, 200, 40};

struct LostDeviceProbe {
    std::atomic<int> frames{0};
    std::atomic<long> captionPixels{-1};   // of the latest frame
    std::atomic<HRESULT> cooperation{E_FAIL}; // of the latest frame
    std::atomic<bool> statesHeld{false};    // in the latest frame
    // the Present step
    std::atomic<bool> loseDevice{false};    // armed by the test
    std::atomic<bool> lost{false};          // the device went lost
    std::atomic<HRESULT> blockedReset{S_OK};
    std::atomic<HRESULT> cooperationWhenLost{S_OK};
    std::atomic<HRESULT> presentWhenLost{S_OK};
    std::atomic<int> framesSinceLost{0};
};
LostDeviceProbe Lost;

// Draws a caption through the overlay's font and notes how much of it reached the back buffer.
void DrawAndReadCaption()
{
    Lost.cooperation = OverlayDevice->TestCooperativeLevel();
    Lost.statesHeld = RenderStatesHold(OverlayDevice);
    RECT box = ProbeTextBox;
    if (LabelFont)
        LabelFont->DrawTextA(nullptr, ProbeText, -1, &box, 0, D3DCOLOR_ARGB(255, 255, 255, 255));
    Lost.captionPixels = ReadBackBuffer(OverlayDevice, &ProbeTextBox).opaquePixels;
    if (Lost.lost)
        ++Lost.framesSinceLost;
    ++Lost.frames;
}

HRESULT PresentReportingLost(IDirect3DDevice9* device)
{
    device->Present(nullptr, nullptr, nullptr, nullptr);
    Lost.lost = true;
    return D3DERR_DEVICELOST;
}

// Loses the device for real, once armed. Reset refuses to run while a default-pool resource
// lives, and a device whose Reset failed is lost until a Reset succeeds: Present says so itself.
HRESULT PresentAfterLosingTheDevice(IDirect3DDevice9* device)
{
    if (Lost.loseDevice.exchange(false)) {
        D3DPRESENT_PARAMETERS parameters{};
        IDirect3DSwapChain9* swapChain = nullptr;
        IDirect3DTexture9* blocker = nullptr;
        device->GetSwapChain(0, &swapChain);
        if (swapChain) {
            swapChain->GetPresentParameters(&parameters);
            swapChain->Release();
        }
        device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &blocker, nullptr);
        Lost.blockedReset = device->Reset(&parameters);
        if (blocker)
            blocker->Release();
        Lost.cooperationWhenLost = device->TestCooperativeLevel();
        const HRESULT presented = device->Present(nullptr, nullptr, nullptr, nullptr);
        Lost.presentWhenLost = presented;
        Lost.lost = true;
        return presented;
    }
    return device->Present(nullptr, nullptr, nullptr, nullptr);
}

void ResetLostDeviceProbe()
{
    Lost.frames = 0;
    Lost.captionPixels = -1;
    Lost.cooperation = E_FAIL;
    Lost.statesHeld = false;
    Lost.loseDevice = false;
    Lost.lost = false;
    Lost.blockedReset = S_OK;
    Lost.cooperationWhenLost = S_OK;
    Lost.presentWhenLost = S_OK;
    Lost.framesSinceLost = 0;
}

class LostDeviceTest : public OverlayFixture {
protected:
    void SetUp() override { ResetLostDeviceProbe(); }

    // Brings the overlay up with present as its Present step and waits until captions show.
    void BringUpDrawingCaptions(PresentStep present)
    {
        SetPresentStepForTesting(present); // before the thread exists: it alone reads the step
        ASSERT_NE(nullptr, BringUp(SmallWidth, SmallHeight, DrawAndReadCaption));
        ASSERT_TRUE(WaitUntil([] { return Lost.frames >= 3; }, FrameDeadlineMs));
        // Without this, "captions still show" below would prove nothing.
        ASSERT_GT(Lost.captionPixels, 0) << "the font draws nothing even before the device is lost";
    }
};

TEST_F(LostDeviceTest, LoopGoesOnWhilePresentReportsLost)
{
    constexpr int FramesWhileLost = 30;
    ASSERT_NO_FATAL_FAILURE(BringUpDrawingCaptions(PresentReportingLost));
    ASSERT_TRUE(WaitUntil([] { return Lost.framesSinceLost >= FramesWhileLost; }, FrameDeadlineMs))
        << "framing stopped after " << Lost.framesSinceLost << " frames";

    EXPECT_TRUE(RenderThreadRunning());
    EXPECT_EQ(Hex(D3D_OK), Hex(Lost.cooperation));
    EXPECT_TRUE(Lost.statesHeld.load());
    EXPECT_GT(Lost.captionPixels, 0) << "captions no longer show";
}

TEST_F(LostDeviceTest, ResetBringsCaptionsBack)
{
    constexpr int FramesAfterReset = 5;
    ASSERT_NO_FATAL_FAILURE(BringUpDrawingCaptions(PresentAfterLosingTheDevice));
    Lost.loseDevice = true;
    ASSERT_TRUE(WaitUntil([] { return Lost.framesSinceLost >= FramesAfterReset; }, FrameDeadlineMs))
        << "framing stopped after the device was lost";

    // The device really was lost: the blocked Reset failed and left it waiting for one.
    EXPECT_TRUE(FAILED(Lost.blockedReset.load())) << Hex(Lost.blockedReset);
    EXPECT_EQ(Hex(D3DERR_DEVICENOTRESET), Hex(Lost.cooperationWhenLost));
    EXPECT_EQ(Hex(D3DERR_DEVICELOST), Hex(Lost.presentWhenLost));
    // And now it is back, with its render states (a Reset puts them to their defaults) and font.
    EXPECT_EQ(Hex(D3D_OK), Hex(Lost.cooperation));
    EXPECT_TRUE(Lost.statesHeld.load());
    EXPECT_GT(Lost.captionPixels, 0) << "captions no longer show after the Reset";
}

// --- frame pacing ----------------------------------------------------------------------------

// The adapter reports no refresh rate here, so the loop aims at 60 frames a second.
constexpr double SlowestRate = 40;
constexpr double FastestRate = 75;
constexpr int SettleFrames = 30;  // half a second's worth: the first frames set up the device's resources
constexpr DWORD MeasureMs = 2000; // long enough to average out the scheduler

std::atomic<int> PacedFrames{0};

void CountFrame()
{
    ++PacedFrames;
}

double FramesPerSecond()
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    const int framesBefore = PacedFrames;
    QueryPerformanceCounter(&start);
    ServeMessagesFor(MeasureMs);
    const int frames = PacedFrames - framesBefore;
    QueryPerformanceCounter(&end);
    return frames * static_cast<double>(frequency.QuadPart) / static_cast<double>(end.QuadPart - start.QuadPart);
}

class FramePacingTest : public OverlayFixture {};

TEST_F(FramePacingTest, OneFramePerRefreshShownAndMinimised)
{
    PacedFrames = 0;
    ASSERT_NE(nullptr, BringUp(SmallWidth, SmallHeight, CountFrame));
    ASSERT_TRUE(WaitUntil([] { return PacedFrames >= SettleFrames; }, FrameDeadlineMs))
        << "only " << PacedFrames << " frames";

    const double shown = FramesPerSecond();
    ShowWindow(OverlayWindow, SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([] { return IsIconic(OverlayWindow) != FALSE; }, FrameDeadlineMs));
    const double minimised = FramesPerSecond();

    EXPECT_GE(shown, SlowestRate);
    EXPECT_LE(shown, FastestRate);
    EXPECT_GE(minimised, SlowestRate);
    EXPECT_LE(minimised, FastestRate);
}

} // namespace
