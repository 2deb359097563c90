// Soaks: the launcher, started as a user starts it, meets the faults of a long day again and
// again: the editor killed under the overlay, the button pressed in a burst, the launcher closed
// at any moment. Every run must end as the product promises; each failure is printed with its run.
#include "Modes.h"
#include "Probe.h"

#include "shared/SharedState.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// The launcher ends within one frame of the editor's end; a second is what a user would notice.
constexpr DWORD EndAfterEditorMs = 1000;
// Random moments are drawn from these spans.
constexpr int OverlayUpSpanMs = 1500;    // after the overlay is up
constexpr int StartUpSpanMs = 1500;      // after the editor's process appears (the wait is about 1 s)
constexpr int SearchSpanMs = 20;         // after a press: the search walks the windows meanwhile
constexpr int NoticeSpanMs = 500;        // after the notice is shown
constexpr int PressGapSpanMs = 40;       // between two presses of a burst
// Presses before the resource figures are taken as the start: the first ones load libraries.
constexpr int WarmUpPresses = 5;
// What a burst may leave behind without counting as a leak: far less than one handle, or one
// back buffer, per press.
constexpr DWORD HandleGrowthAllowed = 10;
constexpr SIZE_T MemoryGrowthAllowed = 16u << 20;
constexpr char CrashDialogImage[] = "winedbg.exe";

// Launchers in a row that show no window before a soak stops: by then the display or the Wine
// session is lost, and every further run would only wait out its deadline.
constexpr int LostStartsInRow = 3;

struct Tally {
    const char* name;
    int runs = 0;
    int faults = 0;
    int failures = 0;
    int startsFailedInRow = 0;

    bool TestBedLost() const
    {
        if (startsFailedInRow < LostStartsInRow)
            return false;
        std::printf("stopping: %d launchers in a row showed no window; the display or the Wine session is lost\n",
                    startsFailedInRow);
        return true;
    }

    void Fail(int run, const char* what)
    {
        ++failures;
        std::printf("FAIL %s run %d: %s\n", name, run, what);
        std::fflush(stdout);
    }

    int Report() const
    {
        std::printf("soak %s: runs %d, faults injected %d, failures %d\n", name, runs, faults, failures);
        std::fflush(stdout);
        return failures == 0 ? 0 : 1;
    }
};

class Moments {
public:
    explicit Moments(unsigned seed) : engine_(seed) {}
    DWORD Within(int spanMs) { return std::uniform_int_distribution<DWORD>(0, static_cast<DWORD>(spanMs))(engine_); }

private:
    std::mt19937 engine_;
};

HWND LauncherWindowOf(const Process& launcher, bool visibleOnly)
{
    return TopLevelWindow(launcher.id, LauncherClassName, visibleOnly);
}

Process StartLauncherShown(const std::string& launcherPath, Tally& tally, int run)
{
    Process launcher = StartProcess(launcherPath, "");
    const bool shown =
        launcher.handle && WaitUntil([&] { return LauncherWindowOf(launcher, true) != nullptr; }, StartDeadlineMs);
    tally.startsFailedInRow = shown ? 0 : tally.startsFailedInRow + 1;
    if (!shown)
        tally.Fail(run, "the launcher window was not shown");
    return launcher;
}

bool Press(const Process& launcher)
{
    HWND button = LauncherButton(LauncherWindowOf(launcher, true));
    return button && PostMessageA(button, BM_CLICK, 0, 0);
}

bool OverlayShown(const Process& launcher)
{
    return WaitUntil([&] { return TopLevelWindow(launcher.id, OverlayClassName, true) != nullptr; }, StepDeadlineMs);
}

// Presses the button and waits for the overlay to be up: shown, with its first frame presented.
// The first frame draws every caption's glyphs for the first time, which takes long under Wine.
bool PressForOverlay(const Process& launcher, FrameRecord* record)
{
    ClearFrameMarks(record);
    return Press(launcher) && OverlayShown(launcher) &&
           WaitUntil([&] { return record->firstFrameCounter != 0; }, StepDeadlineMs);
}

bool CloseLauncher(const Process& launcher)
{
    HWND window = LauncherWindowOf(launcher, false);
    return window && PostMessageA(window, WM_CLOSE, 0, 0);
}

// Waits for the launcher's end and checks its exit code.
void ExpectCleanEnd(Process& launcher, DWORD deadlineMs, Tally& tally, int run)
{
    if (WaitForSingleObject(launcher.handle, deadlineMs) != WAIT_OBJECT_0) {
        tally.Fail(run, "the launcher did not end");
        launcher.Terminate();
        return;
    }
    if (launcher.ExitCode() != 0) {
        char what[80];
        std::snprintf(what, sizeof what, "the launcher ended with exit code 0x%lX", launcher.ExitCode());
        tally.Fail(run, what);
    }
}

bool EditorGone()
{
    return WaitUntil([] { return ProcessesNamed(EditorImageName).empty(); }, StepDeadlineMs);
}

// A closed launcher asks the editor's window to close when its press found that window. The
// press gives its window search 100 ms, which a loaded machine can use up, so an editor left
// running is noted, not failed. Returns 1 when it was left.
int NoteEditorLeft(int run)
{
    if (EditorGone())
        return 0;
    std::printf("note: run %d left the editor running (its window was not found at the press)\n", run);
    return 1;
}

// After a run: no crash dialog and no launcher may be left; editors that the run leaves on
// purpose are ended. Also clears what a failed run left, so the next run starts clean.
void ExpectNothingLeft(const std::string& launcherPath, Tally& tally, int run)
{
    if (TerminateProcessesNamed(CrashDialogImage) > 0)
        tally.Fail(run, "a crash dialog was up");
    if (TerminateProcessesNamed(FileNameOf(launcherPath).c_str()) > 0)
        tally.Fail(run, "a launcher process was left behind");
    TerminateProcessesNamed(EditorImageName);
}

} // namespace

// --- the editor killed under the overlay -------------------------------------------------------

int RunKillSoak(const std::string& launcherPath, int runs, unsigned seed)
{
    Tally tally{"editor-killed"};
    Moments moments(seed);
    std::vector<double> endMs;
    TerminateProcessesNamed(EditorImageName);
    for (int run = 1; run <= runs && !tally.TestBedLost(); ++run) {
        ++tally.runs;
        Process launcher = StartLauncherShown(launcherPath, tally, run);
        FrameRecord* record = launcher.Running() ? OpenFrameRecord(launcher.id, StepDeadlineMs) : nullptr;
        if (record && PressForOverlay(launcher, record)) {
            Sleep(moments.Within(OverlayUpSpanMs));
            const std::vector<DWORD> editors = ProcessesNamed(EditorImageName);
            if (!launcher.Running() || editors.empty()) {
                tally.Fail(run, "the launcher or the editor ended before the kill");
            } else {
                Process editor = OpenRunningProcess(editors.front());
                TerminateProcess(editor.handle, 1);
                ++tally.faults;
                const LONG64 killed = CounterNow();
                const bool ended = WaitForSingleObject(launcher.handle, StepDeadlineMs) == WAIT_OBJECT_0;
                const double tookMs = CounterMs(killed, CounterNow());
                if (ended)
                    endMs.push_back(tookMs);
                if (ended && tookMs > EndAfterEditorMs) {
                    char what[96];
                    std::snprintf(what, sizeof what, "the launcher ended %.0f ms after the editor's end", tookMs);
                    tally.Fail(run, what);
                }
                ExpectCleanEnd(launcher, 0, tally, run);
                editor.Close();
            }
        } else if (tally.startsFailedInRow == 0) {
            tally.Fail(run, "no overlay was shown after the press");
        }
        launcher.Terminate();
        launcher.Close();
        CloseFrameRecord(record);
        ExpectNothingLeft(launcherPath, tally, run);
    }
    if (!endMs.empty())
        std::printf("launcher end after the editor's: median %.0f ms, slowest %.0f ms\n", Median(endMs),
                    *std::max_element(endMs.begin(), endMs.end()));
    return tally.Report();
}

// --- a burst of presses -------------------------------------------------------------------------

namespace {

void PrintResources(const char* when, const ResourceFigures& figures)
{
    std::printf("launcher %-6s handles %5lu  private %7.1f MB  working set %7.1f MB  threads %3d\n", when,
                figures.handles, static_cast<double>(figures.privateBytes) / (1 << 20),
                static_cast<double>(figures.workingSet) / (1 << 20), figures.threads);
    std::fflush(stdout);
}

void PressInBurst(const Process& launcher, int presses, Moments& moments, Tally& tally, int run)
{
    for (int press = 0; press < presses; ++press) {
        if (!Press(launcher))
            tally.Fail(run, "the button could not be pressed");
        ++tally.faults;
        Sleep(moments.Within(PressGapSpanMs));
    }
}

// Whether the presses have all been handled: one overlay window left, shown and drawn on.
bool BurstSettled(const Process& launcher, FrameRecord* record)
{
    if (TopLevelWindows(launcher.id, OverlayClassName, false).size() != 1 ||
        !TopLevelWindow(launcher.id, OverlayClassName, true))
        return false;
    const LONG64 frames = record->frames;
    ServeMessagesFor(100);
    return record->frames > frames;
}

void ExpectOneDrawingThread(FrameRecord* record, Tally& tally, int run)
{
    ClearFrameMarks(record);
    Sleep(1000);
    const int threads = FilledSlots(record->presentThreads);
    const int devices = FilledSlots(record->presentDevices);
    std::printf("presenting in one second: %d thread(s), %d device(s)\n", threads, devices);
    if (threads != 1 || devices != 1 || record->unrecorded != 0)
        tally.Fail(run, "not exactly one render thread presenting on one device");
}

void ExpectSteady(const ResourceFigures& start, const ResourceFigures& end, Tally& tally, int run)
{
    if (end.handles > start.handles + HandleGrowthAllowed)
        tally.Fail(run, "the handle count grew");
    if (end.privateBytes > start.privateBytes + MemoryGrowthAllowed)
        tally.Fail(run, "private memory grew");
    if (end.threads != start.threads)
        tally.Fail(run, "the thread count changed");
}

} // namespace

int RunPressSoak(const std::string& launcherPath, int presses, unsigned seed)
{
    Tally tally{"press-burst"};
    Moments moments(seed);
    TerminateProcessesNamed(EditorImageName);
    const int run = ++tally.runs;
    Process launcher = StartLauncherShown(launcherPath, tally, run);
    FrameRecord* record = launcher.Running() ? OpenFrameRecord(launcher.id, StepDeadlineMs) : nullptr;
    if (!record || !PressForOverlay(launcher, record)) {
        tally.Fail(run, "no overlay was shown after the first press");
    } else {
        PressInBurst(launcher, WarmUpPresses, moments, tally, run);
        WaitUntil([&] { return BurstSettled(launcher, record); }, StepDeadlineMs);
        Sleep(1000);
        const ResourceFigures start = ResourcesOf(launcher);
        PrintResources("start", start);

        PressInBurst(launcher, presses, moments, tally, run);
        const LONG64 burstEnd = CounterNow();
        if (!WaitUntil([&] { return BurstSettled(launcher, record); }, 6 * StepDeadlineMs))
            tally.Fail(run, "the presses did not settle into one overlay being drawn");
        std::printf("settled %.0f ms after the last press; overlay windows %zu\n", CounterMs(burstEnd, CounterNow()),
                    TopLevelWindows(launcher.id, OverlayClassName, false).size());
        if (!launcher.Running())
            tally.Fail(run, "the launcher ended during the presses");
        Sleep(1000);
        ExpectOneDrawingThread(record, tally, run);
        const ResourceFigures end = ResourcesOf(launcher);
        PrintResources("end", end);
        ExpectSteady(start, end, tally, run);

        CloseLauncher(launcher);
        ExpectCleanEnd(launcher, StepDeadlineMs, tally, run);
        NoteEditorLeft(run);
    }
    launcher.Terminate();
    launcher.Close();
    CloseFrameRecord(record);
    ExpectNothingLeft(launcherPath, tally, run);
    return tally.Report();
}

// --- the launcher closed at any moment ----------------------------------------------------------

namespace {

enum class ClosePhase { StartUpWait, WindowSearch, Notice, OverlayUp, Count };
constexpr int PhaseCount = static_cast<int>(ClosePhase::Count);

// Each brings a started launcher to its phase and closes it at a random moment in it. Returns
// whether the close was posted; when not, the reason has been counted as a failure.
struct CloseRun {
    Process& launcher;
    Moments& moments;
    Tally& tally;
    int run;

    bool Unreached(const char* what)
    {
        tally.Fail(run, what);
        return false;
    }

    bool Shown()
    {
        const bool shown = WaitUntil([&] { return LauncherWindowOf(launcher, true) != nullptr; }, StartDeadlineMs);
        tally.startsFailedInRow = shown ? 0 : tally.startsFailedInRow + 1;
        return shown;
    }

    bool CloseNow()
    {
        return CloseLauncher(launcher) || Unreached("the launcher window was gone before the close");
    }

    // While the launcher waits after starting the editor, its window is not shown yet.
    // hidden tells whether the close came while it was still hidden.
    bool DuringStartUpWait(bool& hidden)
    {
        const bool started = WaitUntil(
            [&] { return LauncherWindowOf(launcher, false) && !ProcessesNamed(EditorImageName).empty(); },
            StartDeadlineMs);
        tally.startsFailedInRow = started ? 0 : tally.startsFailedInRow + 1;
        if (!started)
            return Unreached("the launcher did not start the editor");
        Sleep(moments.Within(StartUpSpanMs));
        hidden = !LauncherWindowOf(launcher, true);
        return CloseNow();
    }

    // A press walks the windows looking for the editor's, serving the launcher's messages
    // between them: a close posted right behind the press is handled in that walk.
    bool DuringWindowSearch()
    {
        if (!Shown() || !Press(launcher))
            return Unreached("the launcher window was not shown");
        Sleep(moments.Within(SearchSpanMs));
        return CloseNow();
    }

    bool DuringNotice()
    {
        if (!Shown())
            return Unreached("the launcher window was not shown");
        TerminateProcessesNamed(EditorImageName);
        if (!EditorGone() || !Press(launcher))
            return Unreached("the editor could not be ended before the press");
        if (!WaitUntil([&] { return TopLevelWindow(launcher.id, NoticeClassName, true) != nullptr; }, StepDeadlineMs))
            return Unreached("no notice was shown for a press without an editor");
        Sleep(moments.Within(NoticeSpanMs));
        return CloseNow();
    }

    bool WithOverlayUp()
    {
        if (!Shown() || !Press(launcher) || !OverlayShown(launcher))
            return Unreached("no overlay was shown after the press");
        Sleep(moments.Within(OverlayUpSpanMs));
        return CloseNow();
    }
};

} // namespace

int RunCloseSoak(const std::string& launcherPath, int runs, unsigned seed)
{
    Tally tally{"launcher-closed"};
    Moments moments(seed);
    int startUpRuns = 0;
    int closedHidden = 0;
    int editorsLeft = 0;
    TerminateProcessesNamed(EditorImageName);
    for (int run = 1; run <= runs && !tally.TestBedLost(); ++run) {
        ++tally.runs;
        const auto phase = static_cast<ClosePhase>((run - 1) % PhaseCount);
        Process launcher = StartProcess(launcherPath, "");
        CloseRun closing{launcher, moments, tally, run};
        bool closed = false;
        switch (phase) {
        case ClosePhase::StartUpWait: {
            bool hidden = false;
            closed = closing.DuringStartUpWait(hidden);
            ++startUpRuns;
            closedHidden += hidden ? 1 : 0;
            break;
        }
        case ClosePhase::WindowSearch: closed = closing.DuringWindowSearch(); break;
        case ClosePhase::Notice: closed = closing.DuringNotice(); break;
        default: closed = closing.WithOverlayUp(); break;
        }
        if (closed) {
            ++tally.faults;
            ExpectCleanEnd(launcher, StepDeadlineMs, tally, run);
            if (phase == ClosePhase::OverlayUp)
                editorsLeft += NoteEditorLeft(run);
        }
        launcher.Terminate();
        launcher.Close();
        ExpectNothingLeft(launcherPath, tally, run);
    }
    std::printf("closed while the start-up wait still hid the window: %d of %d\n", closedHidden, startUpRuns);
    std::printf("editor left running after a close with the overlay up: %d\n", editorsLeft);
    return tally.Report();
}
