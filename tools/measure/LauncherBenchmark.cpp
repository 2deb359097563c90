// The launcher measured from outside, as a user meets it: start to window shown, the start-up
// wait, a press to the first frame with captions, and its frames and processor time with the
// overlay up and with the editor minimised. The frames come from the measurement build's record.
#include "Modes.h"
#include "Probe.h"

#include "shared/SharedState.h"

#include <vector>

namespace {

// Presses after the first find every library loaded already: their figure is the warm one.
constexpr int WarmPresses = 5;
// Lets the windows settle between steps so that one step's tail is not measured in the next.
constexpr DWORD SettleMs = 1000;

Rates MeasureFor(int seconds, const CpuSource& launcherCpu, const FrameRecord* record)
{
    const Sample from = TakeSample(launcherCpu, record->frames);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return RatesBetween(from, TakeSample(launcherCpu, record->frames));
}

bool Press(DWORD launcherId)
{
    HWND button = LauncherButton(TopLevelWindow(launcherId, LauncherClassName, true));
    return button && PostMessageA(button, BM_CLICK, 0, 0);
}

// Milliseconds from a press to the first Present after it, or a negative value when none came.
double PressToFirstFrameMs(DWORD launcherId, FrameRecord* record)
{
    ClearFrameMarks(record);
    const LONG64 pressed = CounterNow();
    if (!Press(launcherId) || !WaitUntil([&] { return record->firstFrameCounter != 0; }, StepDeadlineMs))
        return -1.0;
    return CounterMs(pressed, record->firstFrameCounter);
}

struct StartUpFigures {
    double startToEditorMs = -1;
    double editorToShownMs = -1;
    double waitCpuMs = -1;
    double startToShownCpuMs = -1;
};

// Watches the start from the moment the process is asked for: the editor's process appears
// when the launcher has started it, and the start-up wait lies between then and the window
// being shown.
StartUpFigures WatchStartUp(const Process& launcher, const CpuSource& launcherCpu, LONG64 started)
{
    StartUpFigures figures;
    LONG64 editorSeen = 0;
    LONG64 cpuAtEditor = 0;
    const bool shown = WaitUntil(
        [&] {
            if (!editorSeen && !ProcessesNamed(EditorImageName).empty()) {
                cpuAtEditor = CpuTime100ns(launcherCpu);
                editorSeen = CounterNow();
            }
            return TopLevelWindow(launcher.id, LauncherClassName, true) != nullptr;
        },
        StartDeadlineMs);
    const LONG64 shownAt = CounterNow();
    const LONG64 cpuAtShown = CpuTime100ns(launcherCpu);
    if (!shown || !editorSeen)
        return figures;
    figures.startToEditorMs = CounterMs(started, editorSeen);
    figures.editorToShownMs = CounterMs(editorSeen, shownAt);
    figures.waitCpuMs = static_cast<double>(cpuAtShown - cpuAtEditor) / 10000.0;
    figures.startToShownCpuMs = static_cast<double>(cpuAtShown) / 10000.0;
    return figures;
}

bool MinimiseEditor(DWORD launcherId, HWND editorWindow, bool minimise)
{
    ShowWindow(editorWindow, minimise ? SW_MINIMIZE : SW_RESTORE);
    // The overlay follows on the launcher's next frame.
    return WaitUntil(
        [&] {
            HWND overlay = TopLevelWindow(launcherId, OverlayClassName, false);
            return overlay && (IsIconic(overlay) != FALSE) == minimise;
        },
        StepDeadlineMs);
}

} // namespace

int RunLauncherBenchmark(const std::string& launcherPath, int seconds)
{
    if (TerminateProcessesNamed(EditorImageName) > 0)
        PrintNote("an editor was running before the benchmark and was ended");

    const LONG64 started = CounterNow();
    Process launcher = StartProcess(launcherPath, "");
    if (!launcher.handle)
        return 1;
    FrameRecord* record = OpenFrameRecord(launcher.id, StartDeadlineMs);
    const CpuSource launcherCpu = CpuOf(launcher, FileNameOf(launcherPath));
    const StartUpFigures startUp = WatchStartUp(launcher, launcherCpu, started);
    PrintFigure("start_to_editor_ms", startUp.startToEditorMs);
    PrintFigure("editor_to_shown_ms", startUp.editorToShownMs);
    PrintFigure("start_to_shown_ms", startUp.startToEditorMs + startUp.editorToShownMs);
    PrintFigure("startup_wait_cpu_ms", startUp.waitCpuMs);
    PrintFigure("start_to_shown_cpu_ms", startUp.startToShownCpuMs);
    if (!record || startUp.editorToShownMs < 0) {
        PrintNote("the launcher did not come up");
        launcher.Terminate();
        return 1;
    }

    Sleep(SettleMs);
    PrintFigure("press_to_frame_ms", PressToFirstFrameMs(launcher.id, record));
    Sleep(SettleMs);
    const Rates shown = MeasureFor(seconds, launcherCpu, record);
    PrintFigure("launcher_fps", shown.framesPerSecond);
    PrintFigure("launcher_cpu_ms_per_s", shown.cpuMsPerSecond);
    PrintFigure("launcher_cpu_ms_per_frame", shown.cpuMsPerFrame);

    const std::vector<DWORD> editors = ProcessesNamed(EditorImageName);
    HWND editorWindow = editors.empty() ? nullptr : VisibleMainWindowOf(editors.front());
    if (editorWindow && MinimiseEditor(launcher.id, editorWindow, true)) {
        Sleep(SettleMs);
        const Rates minimised = MeasureFor(seconds, launcherCpu, record);
        PrintFigure("launcher_minimised_fps", minimised.framesPerSecond);
        PrintFigure("launcher_minimised_cpu_ms_per_s", minimised.cpuMsPerSecond);
        MinimiseEditor(launcher.id, editorWindow, false);
    } else {
        PrintNote("the overlay did not follow the editor into its minimised state");
    }

    std::vector<double> warm;
    for (int press = 0; press < WarmPresses; ++press) {
        Sleep(SettleMs / 2);
        warm.push_back(PressToFirstFrameMs(launcher.id, record));
    }
    PrintFigure("press_to_frame_warm_ms", Median(warm));

    PostMessageA(TopLevelWindow(launcher.id, LauncherClassName, true), WM_CLOSE, 0, 0);
    const bool ended = WaitForSingleObject(launcher.handle, StepDeadlineMs) == WAIT_OBJECT_0;
    PrintFigure("launcher_exit_code", ended ? static_cast<double>(launcher.ExitCode()) : -1.0);
    launcher.Terminate();
    TerminateProcessesNamed(EditorImageName);
    return ended && launcher.ExitCode() == 0 ? 0 : 1;
}
