// Start-up of the real launcher: it starts the editor from its own folder, then shows its window
// with the one button; closing the window ends the launcher and leaves the editor alone.
#include "TestSupport.h"

#include "discovery/Discovery.h"
#include "launcher/Launcher.h"
#include "launcher/ProgramEnd.h"
#include "shared/SharedState.h"

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// "誠" in GBK: its second byte has the value of a backslash.
#define BACKSLASH_TRAIL_CHARACTER "\xD5\x5C"

constexpr char LauncherFileName[] = "SparkwrightLocalizer.exe";
constexpr int LauncherWidth = 380;
constexpr int LauncherHeight = 250;
constexpr char LocalizeButtonTextGbk[] = "\xC8\xED\xBC\xFE\xBA\xBA\xBB\xAF"; // 软件汉化

// The launcher shows its window about a second after the editor has started; Wine is slow.
constexpr DWORD EarliestWindowMs = 900;
constexpr DWORD LatestWindowMs = 10000;
// Long enough for an editor that was asked to close to begin closing: it hides its window at
// once (the process itself may take seconds more under Wine without a window manager).
constexpr DWORD EditorCloseSettleMs = 1000;

// ---- what the stand-in editor reports --------------------------------------------------------

struct EditorReport {
    DWORD processId = 0;
    std::string directory;
    std::string image;
    std::string commandLine;
};

// One "pid|current directory|image path|command line" line per started stand-in.
std::vector<EditorReport> ReadEditorReports(const std::string& path)
{
    std::vector<EditorReport> reports;
    std::istringstream lines(ReadWholeFile(path));
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream fields(line);
        std::string processId;
        EditorReport report;
        std::getline(fields, processId, '|');
        std::getline(fields, report.directory, '|');
        std::getline(fields, report.image, '|');
        std::getline(fields, report.commandLine);
        report.processId = static_cast<DWORD>(std::strtoul(processId.c_str(), nullptr, 10));
        reports.push_back(report);
    }
    return reports;
}

std::string Unquoted(const std::string& text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

// Where the stand-ins report: beside the folder, in a plain name, since under Wine
// GetEnvironmentVariableA cuts a value that holds double-byte characters short.
std::string ReportFileBeside(const ScratchFolder& folder)
{
    return folder.Beside("started programs.txt");
}

// The program that an unquoted command line for path would run first: its text up to the first
// blank, as a program name.
std::string FirstBlankPrefixProgram(const std::string& path)
{
    return path.substr(0, path.find(' ')) + ".exe";
}

double MillisecondsBetween(const FILETIME& earlier, const FILETIME& later)
{
    auto hundredNanoseconds = [](const FILETIME& time) {
        return static_cast<LONGLONG>(static_cast<ULONGLONG>(time.dwHighDateTime) << 32 | time.dwLowDateTime);
    };
    return (hundredNanoseconds(later) - hundredNanoseconds(earlier)) / 10000.0;
}

// ---- the launcher window as another process sees it -----------------------------------------

struct ButtonFacts {
    HWND handle = nullptr;
    RECT clientRect{};  // in the launcher window's client coordinates
    LONG style = 0;
    std::string text;
};

struct WindowFacts {
    HWND handle = nullptr;
    RECT rect{};
    LONG style = 0;
    LONG extendedStyle = 0;
    HWND owner = nullptr;
    HWND parent = nullptr;
    std::string title;
    ButtonFacts button;
};

WindowFacts ReadWindowFacts(HWND window)
{
    WindowFacts facts;
    facts.handle = window;
    GetWindowRect(window, &facts.rect);
    facts.style = GetWindowLongA(window, GWL_STYLE);
    facts.extendedStyle = GetWindowLongA(window, GWL_EXSTYLE);
    facts.owner = GetWindow(window, GW_OWNER);
    facts.parent = GetAncestor(window, GA_PARENT) == GetDesktopWindow() ? nullptr : GetAncestor(window, GA_PARENT);
    facts.title = WindowText(window);

    ButtonFacts& button = facts.button;
    button.handle = FindWindowExA(window, nullptr, "Button", nullptr);
    if (button.handle) {
        GetWindowRect(button.handle, &button.clientRect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&button.clientRect), 2);
        button.style = GetWindowLongA(button.handle, GWL_STYLE);
        button.text = WindowText(button.handle);
    }
    return facts;
}

struct StyleCase {
    const char* name;
    LONG mask;
    LONG value;
};

void ExpectStyles(LONG style, const std::vector<StyleCase>& cases)
{
    for (const StyleCase& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.value, style & row.mask) << std::hex << "style 0x" << style;
    }
}

// ---- one launcher run, shared: started in a folder whose name holds blanks and a trail byte
//      0x5C, beside the editor, with a program planted where an unquoted start would find it ----

class LauncherStart : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Folder = std::make_unique<ScratchFolder>("launch " BACKSLASH_TRAIL_CHARACTER " dir");
        ASSERT_TRUE(Folder->CopyIn(LauncherPath(), LauncherFileName));
        ASSERT_TRUE(Folder->CopyIn(StandInEditorPath(), EditorImageName));
        PlantedProgram = FirstBlankPrefixProgram(Folder->File(EditorImageName));
        CopyFileA(StandInEditorPath().c_str(), PlantedProgram.c_str(), FALSE);
        ReportPath = ReportFileBeside(*Folder);

        StartTick = GetTickCount();
        Launcher = ChildProcess::Start(Folder->File(LauncherFileName), "", "", {"STANDIN_REPORT=" + ReportPath});
        HWND window = WaitForVisibleWindowOf(Launcher.Id(), LatestWindowMs);
        WindowShownTick = GetTickCount();
        GetSystemTimeAsFileTime(&WindowShownTime);
        if (window)
            Window = ReadWindowFacts(window);

        StartedByLauncher = ChildProcess::AdoptChildrenOf(Launcher.Id());
        // On a loaded machine the editor may come up only after the launcher has given up
        // waiting for it.
        WaitUntil([] { return !ReadWholeFile(ReportPath).empty(); }, ProcessStartDeadlineMs);
        Reports = ReadEditorReports(ReportPath);
    }

    static void TearDownTestSuite()
    {
        // Whatever the launcher started late goes with it.
        const std::vector<ChildProcess> startedLate = ChildProcess::AdoptChildrenOf(Launcher.Id());
        Launcher.Terminate();
        StartedByLauncher.clear();
        Folder.reset();
    }

    void SetUp() override
    {
        ASSERT_TRUE(Launcher.Started()) << "the launcher could not be started";
        ASSERT_NE(nullptr, Window.handle) << "the launcher window did not appear within " << LatestWindowMs << " ms";
    }

    static std::unique_ptr<ScratchFolder> Folder;
    static std::string PlantedProgram;
    static std::string ReportPath;
    static ChildProcess Launcher;
    static std::vector<ChildProcess> StartedByLauncher;
    static std::vector<EditorReport> Reports;
    static DWORD StartTick;
    static DWORD WindowShownTick;
    static FILETIME WindowShownTime;
    static WindowFacts Window;
};

std::unique_ptr<ScratchFolder> LauncherStart::Folder;
std::string LauncherStart::PlantedProgram;
std::string LauncherStart::ReportPath;
ChildProcess LauncherStart::Launcher;
std::vector<ChildProcess> LauncherStart::StartedByLauncher;
std::vector<EditorReport> LauncherStart::Reports;
DWORD LauncherStart::StartTick = 0;
DWORD LauncherStart::WindowShownTick = 0;
FILETIME LauncherStart::WindowShownTime{};
WindowFacts LauncherStart::Window;

TEST_F(LauncherStart, EditorIsStartedFromTheLauncherFolderAndShown)
{
    ASSERT_EQ(1u, StartedByLauncher.size()) << "programs that the launcher started";
    ASSERT_EQ(1u, Reports.size()) << "programs started: " << ReadWholeFile(ReportPath);
    const EditorReport& editor = Reports[0];
    EXPECT_EQ(StartedByLauncher[0].Id(), editor.processId);
    EXPECT_EQ(Folder->Path(), editor.directory) << "current directory of the editor";
    EXPECT_EQ(Folder->File(EditorImageName), editor.image);
    EXPECT_EQ(Folder->File(EditorImageName), Unquoted(editor.commandLine)) << "no arguments expected";
    ASSERT_TRUE(StartedByLauncher[0].Running());
    EXPECT_NE(nullptr, WaitForVisibleWindowOf(editor.processId, ProcessStartDeadlineMs))
        << "the editor was not shown";
}

TEST_F(LauncherStart, ProgramPlantedAtABlankOfThePathIsNotRun)
{
    // Launcher and editor run elevated: starting a program named by a prefix of the path would
    // run whatever lies there with administrator rights.
    ASSERT_EQ(0u, PlantedProgram.rfind(Folder->Beside(""), 0))
        << "the planted program must lie in the scratch folder: " << PlantedProgram;
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(PlantedProgram.c_str()));
    for (const EditorReport& report : Reports)
        EXPECT_NE(PlantedProgram, report.image) << "the planted program ran";
    ASSERT_EQ(1u, Reports.size());
    EXPECT_EQ(Folder->File(EditorImageName), Reports[0].image);
}

TEST_F(LauncherStart, WindowAppearsAboutASecondAfterTheEditorStarted)
{
    const DWORD sinceStart = WindowShownTick - StartTick;
    EXPECT_GE(sinceStart, EarliestWindowMs);
    EXPECT_LT(sinceStart, LatestWindowMs);
    // The editor is created before the launcher waits for it: the pause is measured from there.
    ASSERT_EQ(1u, StartedByLauncher.size()) << "the editor did not start";
    FILETIME created{}, exited{}, kernel{}, user{};
    ASSERT_TRUE(GetProcessTimes(StartedByLauncher[0].Handle(), &created, &exited, &kernel, &user));
    const double sinceEditorCreated = MillisecondsBetween(created, WindowShownTime);
    EXPECT_GE(sinceEditorCreated, static_cast<double>(EarliestWindowMs)) << "the window did not wait for the editor";
    EXPECT_LT(sinceEditorCreated, static_cast<double>(LatestWindowMs));
}

TEST_F(LauncherStart, WindowIsCentredWithAFixedFrameAndNoTitle)
{
    const RECT& rect = Window.rect;
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - LauncherWidth) / 2, rect.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - LauncherHeight) / 2, rect.top);
    EXPECT_EQ(LauncherWidth, rect.right - rect.left);
    EXPECT_EQ(LauncherHeight, rect.bottom - rect.top);
    EXPECT_EQ("", Window.title);
    EXPECT_EQ(nullptr, Window.owner);
    EXPECT_EQ(nullptr, Window.parent);
    ExpectStyles(Window.style, {
                                   {"WS_CAPTION", WS_CAPTION, WS_CAPTION},
                                   {"WS_SYSMENU", WS_SYSMENU, WS_SYSMENU},
                                   {"WS_MINIMIZEBOX", WS_MINIMIZEBOX, WS_MINIMIZEBOX},
                                   {"WS_CLIPCHILDREN", WS_CLIPCHILDREN, WS_CLIPCHILDREN},
                                   {"no maximise box", WS_MAXIMIZEBOX, 0},
                                   {"not resizable", WS_THICKFRAME, 0},
                                   {"not a child", WS_CHILD, 0},
                                   {"shown", WS_VISIBLE, WS_VISIBLE},
                               });
    ExpectStyles(Window.extendedStyle, {
                                           {"not topmost", WS_EX_TOPMOST, 0},
                                           {"has a taskbar button", WS_EX_TOOLWINDOW, 0},
                                       });
}

TEST_F(LauncherStart, LocalizeButtonSitsInTheWindowWithItsText)
{
    const ButtonFacts& button = Window.button;
    ASSERT_NE(nullptr, button.handle) << "the launcher window has no button";
    EXPECT_EQ(104, button.clientRect.left);
    EXPECT_EQ(120, button.clientRect.top);
    EXPECT_EQ(128, button.clientRect.right - button.clientRect.left);
    EXPECT_EQ(56, button.clientRect.bottom - button.clientRect.top);
    EXPECT_EQ(std::string(LocalizeButtonTextGbk), button.text);
    ExpectStyles(button.style, {
                                   {"WS_CHILD", WS_CHILD, WS_CHILD},
                                   {"WS_VISIBLE", WS_VISIBLE, WS_VISIBLE},
                                   {"enabled", WS_DISABLED, 0},
                                   {"WS_CLIPSIBLINGS", WS_CLIPSIBLINGS, WS_CLIPSIBLINGS},
                                   {"WS_TABSTOP", WS_TABSTOP, WS_TABSTOP},
                                   {"push button, not the default button", BS_TYPEMASK, BS_PUSHBUTTON},
                                   {"BS_CENTER", BS_CENTER, BS_CENTER},
                                   {"BS_VCENTER", BS_VCENTER, BS_VCENTER},
                                   {"BS_MULTILINE", BS_MULTILINE, BS_MULTILINE},
                               });
}

TEST_F(LauncherStart, ClosingTheWindowEndsTheLauncherAndLeavesTheEditorRunning)
{
    ASSERT_EQ(1u, StartedByLauncher.size());
    const ChildProcess& editor = StartedByLauncher[0];
    const HWND editorWindow = WaitForVisibleWindowOf(editor.Id(), ProcessStartDeadlineMs);
    ASSERT_NE(nullptr, editorWindow);

    PostMessageA(Window.handle, WM_CLOSE, 0, 0);
    DWORD exitCode = STILL_ACTIVE;
    ASSERT_TRUE(Launcher.WaitForExit(ProcessExitDeadlineMs, &exitCode)) << "the launcher did not end";
    EXPECT_EQ(0u, exitCode);
    // Nothing found the editor's window before the close, so nothing may have asked it to close.
    EXPECT_FALSE(WaitUntil([&] { return !IsWindowVisible(editorWindow) || !editor.Running(); }, EditorCloseSettleMs))
        << "the editor began to close with the launcher";
}

// ---- the launch loop, run inside this test program copied beside the editor ---------------
//   --child LaunchFromRunDirectory RESULT
// Prepares the process as the launcher does and runs the created handler; writes
// "TargetProcessId|run directory|wall ms|CPU ms" of that run to RESULT. (The loop runs here
// rather than in the launcher because Wine tells the CPU time of the calling thread only.)

CHILD_MODE(LaunchFromRunDirectory)
{
    if (argc != 1)
        return 126;
    RecordMainThread();
    SetCurrentDirectoryA(GetRunDirectory().c_str());
    CreateHandOverWindow();
    CreateSharedRecords();
    const double cpuBefore = ThreadCpuMs();
    const DWORD start = GetTickCount();
    OnLauncherCreated();
    const DWORD wall = GetTickCount() - start;
    const double cpu = ThreadCpuMs() - cpuBefore;
    AppendToFile(argv[0], std::to_string(TargetProcessId.load()) + "|" + GetRunDirectory() + "|" +
                              std::to_string(wall) + "|" + std::to_string(static_cast<long>(cpu)));
    return 0;
}

struct LaunchResult {
    DWORD targetProcessId = 0;
    std::string runDirectory;
    DWORD wallMs = 0;
    DWORD cpuMs = 0;
    bool complete = false;
};

LaunchResult ReadLaunchResult(const std::string& path)
{
    std::istringstream fields(ReadWholeFile(path));
    std::string targetProcessId, wall, cpu;
    LaunchResult result;
    std::getline(fields, targetProcessId, '|');
    std::getline(fields, result.runDirectory, '|');
    std::getline(fields, wall, '|');
    result.complete = static_cast<bool>(std::getline(fields, cpu));
    result.targetProcessId = static_cast<DWORD>(std::strtoul(targetProcessId.c_str(), nullptr, 10));
    result.wallMs = static_cast<DWORD>(std::strtoul(wall.c_str(), nullptr, 10));
    result.cpuMs = static_cast<DWORD>(std::strtoul(cpu.c_str(), nullptr, 10));
    return result;
}

struct LaunchCase {
    const char* name;
    bool editorFileThere;
    bool editorAlreadyRuns;
    DWORD shortestMs; // the pause after a start, or the paced tries when nothing can be started
    DWORD longestMs;
};

const LaunchCase LaunchCases[] = {
    {"no editor runs: one is started, TargetProcessId stays 0", true, false, 1000, 10000},
    {"an editor runs: a second one is started, TargetProcessId holds the first", true, true, 1000, 10000},
    {"no editor to start or find: a few tries about a second apart, then give up", false, false, 1500, 15000},
};

TEST(LaunchLoop, StartsTheEditorEveryTimeRemembersARunningOneAndNeverSpins)
{
    for (const LaunchCase& row : LaunchCases) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(0u, FindProcessByName(EditorImageName)) << "an editor from elsewhere is still running";
        ScratchFolder folder("beside " BACKSLASH_TRAIL_CHARACTER " editor");
        ASSERT_TRUE(folder.CopyIn(ThisProgramPath(), "launch_loop.exe"));
        if (row.editorFileThere) {
            ASSERT_TRUE(folder.CopyIn(StandInEditorPath(), EditorImageName));
        }
        const std::string reportPath = ReportFileBeside(folder);
        const std::string resultPath = folder.Beside("result.txt");
        const std::vector<std::string> environment = {"STANDIN_REPORT=" + reportPath};

        ChildProcess runningEditor;
        if (row.editorAlreadyRuns) {
            runningEditor = ChildProcess::Start(folder.File(EditorImageName), "--hidden", "", environment);
            ASSERT_TRUE(runningEditor.Started());
            WaitForInputIdle(runningEditor.Handle(), ProcessStartDeadlineMs);
        }
        ChildProcess launcher = ChildProcess::Start(folder.File("launch_loop.exe"),
                                                    "--child LaunchFromRunDirectory \"" + resultPath + "\"", "",
                                                    environment);
        DWORD exitCode = STILL_ACTIVE;
        const bool ended = launcher.WaitForExit(row.longestMs + ProcessExitDeadlineMs, &exitCode);
        const std::vector<ChildProcess> started = ChildProcess::AdoptChildrenOf(launcher.Id());
        ASSERT_TRUE(ended) << "the launch loop did not end";
        ASSERT_EQ(0u, exitCode);

        const LaunchResult result = ReadLaunchResult(resultPath);
        ASSERT_TRUE(result.complete) << "result: " << ReadWholeFile(resultPath);
        EXPECT_EQ(row.editorAlreadyRuns ? runningEditor.Id() : 0, result.targetProcessId) << "TargetProcessId";
        EXPECT_EQ(folder.Path(), result.runDirectory);
        EXPECT_GT(result.wallMs, row.shortestMs);
        EXPECT_LT(result.wallMs, row.longestMs);
        // Under Wine a polling loop keeps its thread busy for a fifth of the wall time or more
        // (its message peeks wait on the server); a paced one uses next to nothing.
        EXPECT_LT(result.cpuMs, result.wallMs / 10) << "CPU ms over " << result.wallMs << " ms";

        ASSERT_EQ(row.editorFileThere ? 1u : 0u, started.size()) << "editors started by the launch loop";
        if (row.editorAlreadyRuns) {
            EXPECT_TRUE(runningEditor.Running());
        }
        for (const ChildProcess& editor : started) {
            EXPECT_TRUE(editor.Running());
            const std::vector<EditorReport> reports = ReadEditorReports(reportPath);
            ASSERT_FALSE(reports.empty());
            const EditorReport& report = reports.back();
            EXPECT_EQ(editor.Id(), report.processId);
            EXPECT_EQ(folder.File(EditorImageName), report.image);
            EXPECT_EQ(folder.Path(), report.directory);
        }
    }
}

// ---- the real launcher with nothing to start ----------------------------------------------

TEST(LaunchLoop, WithoutAnEditorTheLauncherWindowStillAppears)
{
    // A few tries about a second apart: the window comes after the pauses, not at once, and
    // well before the user gives up.
    constexpr DWORD EarliestMs = 1500;
    constexpr DWORD LatestMs = 15000;

    ASSERT_EQ(0u, FindProcessByName(EditorImageName)) << "an editor from elsewhere is still running";
    ScratchFolder folder("launcher alone");
    ASSERT_TRUE(folder.CopyIn(LauncherPath(), LauncherFileName));
    const DWORD start = GetTickCount();
    ChildProcess launcher = ChildProcess::Start(folder.File(LauncherFileName));
    ASSERT_TRUE(launcher.Started());
    HWND window = WaitForVisibleWindowOf(launcher.Id(), LatestMs);
    const DWORD shown = GetTickCount() - start;
    ASSERT_NE(nullptr, window) << "the launcher window never appeared";
    EXPECT_GE(shown, EarliestMs);
    EXPECT_LT(shown, LatestMs);

    PostMessageA(window, WM_CLOSE, 0, 0);
    DWORD exitCode = STILL_ACTIVE;
    ASSERT_TRUE(launcher.WaitForExit(ProcessExitDeadlineMs, &exitCode)) << "the launcher did not end";
    EXPECT_EQ(0u, exitCode);
}

} // namespace
