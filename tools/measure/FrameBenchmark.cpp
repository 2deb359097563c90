// Frame loops run in the probe itself over the stand-in editor, on an overlay made by the
// product's own routines: the product's render thread with the frame routine timed around its
// call, the same thread with the routine's steps timed one by one, the same thread with an empty
// frame (what clearing and presenting alone cost), and the product's frame in a loop without
// the pacer (what the loop costs when nothing holds it to the display's rate).
#include "Modes.h"
#include "Probe.h"

#include "discovery/Discovery.h"
#include "labels/Labels.h"
#include "launcher/Launcher.h"
#include "overlay/Overlay.h"
#include "overlay/RenderState.h"
#include "shared/SharedState.h"

#include <d3d9.h>

#include <atomic>
#include <vector>

namespace {

constexpr int OverlayWidth = 1440;
constexpr int OverlayHeight = 1000;
constexpr DWORD SettleMs = 1000;
// Room for every frame of a long measurement at any rate this machine reaches; frames beyond
// it are counted but not timed.
constexpr size_t MaxTimedFrames = 1 << 16;

std::atomic<LONG64> Frames{0};
std::atomic<bool> Timing{false};
// Filled by the render thread while Timing; a cost is written before the count that covers it.
std::vector<double> FrameCostsMs(MaxTimedFrames);
std::atomic<size_t> TimedFrames{0};
RECT CaptionBox{};

void TimedOverlayFrame()
{
    const LONG64 before = CounterNow();
    OverlayFrame();
    const LONG64 after = CounterNow();
    const size_t timed = TimedFrames;
    if (Timing && timed < MaxTimedFrames) {
        FrameCostsMs[timed] = CounterMs(before, after);
        TimedFrames = timed + 1;
    }
    ++Frames;
}

std::vector<double> FrameCosts()
{
    return std::vector<double>(FrameCostsMs.begin(), FrameCostsMs.begin() + static_cast<long>(TimedFrames));
}

// The steps that the frame routine takes while the editor is shown, each timed on its own: where
// a frame's time goes. Kept in the routine's order, so each step meets the state it meets there.
enum Step { FindEditor, FollowMinimised, Pin, Draw, StepCount };
const char* const StepKeys[StepCount] = {"step_find_editor", "step_follow_minimised", "step_pin_windows",
                                         "step_draw_captions"};
std::vector<double> StepCostsMs[StepCount];

void StepTimedFrame()
{
    LONG64 at[StepCount + 1];
    at[FindEditor] = CounterNow();
    TargetProcessId = FindProcessByName(EditorImageName);
    at[FollowMinimised] = CounterNow();
    if (!IsWindowMinimised(TargetWindow))
        RestoreWindow(OverlayWindow);
    at[Pin] = CounterNow();
    PinWindows();
    at[Draw] = CounterNow();
    DrawLabels();
    at[StepCount] = CounterNow();
    const size_t timed = TimedFrames;
    if (Timing && timed < MaxTimedFrames) {
        for (int step = 0; step < StepCount; ++step)
            StepCostsMs[step][timed] = CounterMs(at[step], at[step + 1]);
        TimedFrames = timed + 1;
    }
    ++Frames;
}

void PrintStepCosts()
{
    for (int step = 0; step < StepCount; ++step) {
        const std::vector<double> costs(StepCostsMs[step].begin(),
                                        StepCostsMs[step].begin() + static_cast<long>(TimedFrames));
        PrintFigure((std::string(StepKeys[step]) + "_median_ms").c_str(), Median(costs));
    }
}

void EmptyFrame()
{
    ++Frames;
}

// --- the loop without the pacer --------------------------------------------------------------

std::atomic<bool> StopUnpaced{false};

DWORD WINAPI UnpacedLoop(LPVOID)
{
    SetRenderStates(OverlayDevice);
    while (!StopUnpaced) {
        OverlayDevice->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(0, 0, 0, 0), 1.0f, 0);
        OverlayDevice->BeginScene();
        TimedOverlayFrame();
        OverlayDevice->EndScene();
        OverlayDevice->Present(nullptr, nullptr, nullptr, nullptr);
    }
    return 0;
}

HANDLE StartUnpacedLoop()
{
    OverlayWindow = CreateOverlayWindow(OverlayWidth, OverlayHeight);
    if (!CreateOverlayDevice(OverlayWindow))
        return nullptr;
    CreateLabelFont(OverlayDevice);
    return CreateThread(nullptr, 0, UnpacedLoop, nullptr, 0, nullptr);
}

void StopUnpacedLoop(HANDLE thread)
{
    StopUnpaced = true;
    // The loop moves this thread's overlay window: serve what it sends until it has ended.
    while (MsgWaitForMultipleObjectsEx(1, &thread, INFINITE, QS_ALLINPUT, 0) != WAIT_OBJECT_0)
        ServeMessagesFor(0);
    CloseHandle(thread);
    ReleaseDeviceObjects();
}

// --- measuring -------------------------------------------------------------------------------

Rates MeasureFor(int seconds, const CpuSource& ownCpu)
{
    const Sample from = TakeSample(ownCpu, Frames);
    ServeMessagesFor(static_cast<DWORD>(seconds) * 1000);
    return RatesBetween(from, TakeSample(ownCpu, Frames));
}

void PrintRates(const std::string& prefix, const Rates& rates)
{
    PrintFigure((prefix + "_fps").c_str(), rates.framesPerSecond);
    PrintFigure((prefix + "_cpu_ms_per_s").c_str(), rates.cpuMsPerSecond);
    PrintFigure((prefix + "_cpu_ms_per_frame").c_str(), rates.cpuMsPerFrame);
}

// The refresh rate as the adapter reports it (0 when unknown) and the one the pacer aims at.
void PrintRefreshRates()
{
    IDirect3D9* direct3D = CallDirect3DCreate9(D3D_SDK_VERSION);
    D3DDISPLAYMODE mode{};
    if (direct3D) {
        direct3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
        direct3D->Release();
    }
    PrintFigure("refresh_reported_hz", mode.RefreshRate);
    PrintFigure("refresh_goal_hz", OverlayRefreshRate);
}

bool FollowEditor(bool minimise)
{
    ShowWindow(TargetWindow, minimise ? SW_MINIMIZE : SW_RESTORE);
    return WaitUntil([&] { return (IsIconic(OverlayWindow) != FALSE) == minimise; }, StepDeadlineMs);
}

void PrintFrameCosts(const std::string& loop)
{
    const std::vector<double> costs = FrameCosts();
    PrintFigure((loop + "_frame_median_ms").c_str(), Median(costs));
    PrintFigure((loop + "_frame_p99_ms").c_str(), Percentile(costs, 0.99));
}

void MeasureMinimised(const std::string& loop, int seconds, const CpuSource& ownCpu)
{
    if (!FollowEditor(true)) {
        PrintNote("the overlay did not follow the editor into its minimised state");
        return;
    }
    ServeMessagesFor(SettleMs);
    const Rates minimised = MeasureFor(seconds, ownCpu);
    PrintFigure((loop + "_minimised_fps").c_str(), minimised.framesPerSecond);
    PrintFigure((loop + "_minimised_cpu_ms_per_s").c_str(), minimised.cpuMsPerSecond);
    FollowEditor(false);
}

} // namespace

int RunFrameBenchmark(const std::string& loop, const std::string& editorPath, int seconds)
{
    const bool timed = loop == "overlay";
    const bool bare = loop == "bare";
    const bool steps = loop == "steps";
    if (!timed && !bare && !steps && loop != "unpaced") {
        PrintNote("unknown frame loop %s", loop.c_str());
        return 2;
    }
    TerminateProcessesNamed(EditorImageName);
    const CpuSource ownCpu = OwnCpu();
    Process editor = StartProcess(editorPath, "");
    HWND editorWindow = nullptr;
    WaitUntil([&] { return (editorWindow = VisibleMainWindowOf(editor.id)) != nullptr; }, StartDeadlineMs);
    if (!editorWindow) {
        PrintNote("the stand-in editor showed no window");
        editor.Terminate();
        return 1;
    }
    TargetProcessId = editor.id;
    TargetWindow = editorWindow;
    LabelRect = &CaptionBox;

    for (std::vector<double>& costs : StepCostsMs)
        costs.resize(steps ? MaxTimedFrames : 0);
    HANDLE unpaced = nullptr;
    if (loop == "unpaced")
        unpaced = StartUnpacedLoop();
    else
        CreateOverlay(OverlayWidth, OverlayHeight, bare ? EmptyFrame : steps ? StepTimedFrame : TimedOverlayFrame,
                      &OverlayWindow);
    if (!OverlayDevice) {
        PrintNote("no Direct3D device could be made");
        editor.Terminate();
        return 1;
    }
    PrintRefreshRates();

    ServeMessagesFor(SettleMs);
    Timing = true;
    PrintRates(loop, MeasureFor(seconds, ownCpu));
    Timing = false;
    if (steps)
        PrintStepCosts();
    if (timed || unpaced) {
        PrintFrameCosts(loop);
        MeasureMinimised(loop, seconds, ownCpu);
    }

    // The frame routine ends the process when the editor is gone: stop drawing first.
    if (unpaced)
        StopUnpacedLoop(unpaced);
    else
        StopRenderThread();
    editor.Terminate();
    return 0;
}

// --- the start-up wait ---------------------------------------------------------------------------

namespace {

constexpr int StartUpWaitMs = 1000; // the launcher's wait after starting the editor
constexpr DWORD EditorIdleWaitMs = 1000;

// How a start-up wait is written when it keeps the window answering by polling: look at the
// queue again and again until the time is up.
void PollingWait(int milliseconds)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start <= static_cast<DWORD>(milliseconds))
        DispatchPendingMessages();
}

struct WaitCost {
    double cpuMs;
    double wallMs;
};

// The wait as the launcher does it: right after starting the editor, while the editor starts.
WaitCost MeasureWait(const std::string& editorPath, void (*wait)(int), const CpuSource& ownCpu)
{
    Process editor = StartProcess(editorPath, "");
    WaitForInputIdle(editor.handle, EditorIdleWaitMs);
    const LONG64 startCpu = CpuTime100ns(ownCpu);
    const LONG64 startCounter = CounterNow();
    wait(StartUpWaitMs);
    const WaitCost cost{static_cast<double>(CpuTime100ns(ownCpu) - startCpu) / 10000.0,
                        CounterMs(startCounter, CounterNow())};
    editor.Terminate();
    editor.Close();
    return cost;
}

} // namespace

int RunStartUpWaitBenchmark(const std::string& editorPath, int rounds)
{
    TerminateProcessesNamed(EditorImageName);
    const CpuSource ownCpu = OwnCpu();
    // A window of this thread, as the launcher has one during its wait.
    CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    std::vector<double> productCpu, pollingCpu, productWall, pollingWall;
    for (int round = 0; round < rounds; ++round) {
        // Alternated, so that a busy spell on the shared machine falls on both alike.
        const WaitCost product = MeasureWait(editorPath, WaitWithMessages, ownCpu);
        const WaitCost polling = MeasureWait(editorPath, PollingWait, ownCpu);
        productCpu.push_back(product.cpuMs);
        productWall.push_back(product.wallMs);
        pollingCpu.push_back(polling.cpuMs);
        pollingWall.push_back(polling.wallMs);
    }
    PrintFigure("wait_cpu_ms", Median(productCpu));
    PrintFigure("wait_wall_ms", Median(productWall));
    PrintFigure("polling_wait_cpu_ms", Median(pollingCpu));
    PrintFigure("polling_wait_wall_ms", Median(pollingWall));
    return 0;
}
