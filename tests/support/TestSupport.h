#pragma once
// What the Wine tests share: child processes (other programs, or this test program in a child
// mode), scratch folders, and waiting against named deadlines.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// Deadlines: generous, since every process start under Wine costs a second or more.
constexpr DWORD ProcessStartDeadlineMs = 15000;
constexpr DWORD ProcessExitDeadlineMs = 15000;

// Folder of the running test program: the launcher, the stand-in editor and all tests lie there.
std::string BuildDirectory();
std::string BuildFile(const char* name);                  // BuildDirectory() + "\\" + name
std::string StandInEditorPath();                           // the stand-in "Sparkwright汉化版.exe"
std::string LauncherPath();
std::string ThisProgramPath();                             // the running test program itself

// A started process; terminated on destruction if it still runs.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ~ChildProcess();

    // Starts program (quoted for the command line) with arguments. Extra environment variables
    // ("NAME=value") are added to this process's environment for the child only.
    static ChildProcess Start(const std::string& program, const std::string& arguments = "",
                              const std::string& currentDirectory = "",
                              const std::vector<std::string>& environment = {});
    // This test program again, in the child mode called name.
    static ChildProcess StartChildMode(const std::string& name, const std::string& arguments = "",
                                       const std::vector<std::string>& environment = {});
    // Takes charge of a process that another program started (for instance the editor that the
    // launcher starts), so that it ends with the test; not Started() if it cannot be opened.
    static ChildProcess Adopt(DWORD processId);
    // Takes charge of every running process that parentId started.
    static std::vector<ChildProcess> AdoptChildrenOf(DWORD parentId);

    bool Started() const { return process_ != nullptr; }
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_; }
    bool Running() const;
    // Waits up to milliseconds; true when it ended, with its exit code in exitCode.
    bool WaitForExit(DWORD milliseconds, DWORD* exitCode = nullptr) const;
    void Terminate();

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// A fresh folder under the temporary directory, removed with everything in it on destruction.
// The name may hold GBK characters and blanks.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name);
    ~ScratchFolder();
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }
    // A file beside the folder, in the folder made to hold it (plainly named, removed with it).
    std::string Beside(const std::string& name) const { return parent_ + "\\" + name; }
    // Copies source in as name; assert on the result, so that a failure names the caller's line.
    [[nodiscard]] testing::AssertionResult CopyIn(const std::string& source, const std::string& name) const;

private:
    std::string parent_;
    std::string path_;
};

// Polls condition every few milliseconds, serving this thread's messages, until it holds or
// the deadline passes; returns whether it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD deadlineMs);

// Hands every message waiting in this thread's queue to its window.
void ServePendingMessages();
// Takes away the quit messages waiting for this thread (a destroyed overlay leaves one for the
// press's pump), so that none ends a later test's loop; returns whether there was one.
bool TakeQuitMessages();

// Registers a window class of this program with the arrow cursor and the window colour; a class
// already registered under the name is kept.
void RegisterWindowClass(const char* className, WNDPROC procedure);
// A message-only window of this thread in that class: no walk over the desktop meets it.
HWND CreateMessageWindow(const char* className, WNDPROC procedure);

DWORD ProcessOf(HWND window);
// Every visible top-level window of the desktop (or of one process), highest in z-order first.
std::vector<HWND> VisibleTopLevelWindows();
std::vector<HWND> VisibleTopLevelWindowsOf(DWORD processId);
// The highest visible top-level window without owner of process, or null.
HWND VisibleTopLevelWindowOf(DWORD processId);
HWND WaitForVisibleWindowOf(DWORD processId, DWORD deadlineMs);
// Whether upper stands above lower in the z-order of the desktop's top-level windows.
bool IsAbove(HWND upper, HWND lower);
RECT WindowRectOf(HWND window);
std::string Describe(const RECT& rect); // "(left, top) width x height"

// Runs work on a second thread while this thread serves its messages, so that calls from there
// on this thread's windows complete. Returns whether work ended within the deadline (it is
// waited for in any case: it may refer to the caller's variables).
bool RunOnOtherThread(const std::function<void()>& work, DWORD deadlineMs);

// A message box (dialog class "#32770") that process shows, or null; its text (the static
// control 0xFFFF); and a press on its button id, posted so that a hung box cannot hold the test
// (false when the box has no such button).
HWND MessageBoxOf(DWORD processId);
HWND WaitForMessageBoxOf(DWORD processId, DWORD deadlineMs);
std::string MessageBoxText(HWND box);
bool PressMessageBoxButton(HWND box, int buttonId);

std::string ReadWholeFile(const std::string& path);
void AppendToFile(const std::string& path, const std::string& text); // creates the file if need be
std::string WindowText(HWND window);
std::string ClassNameOf(HWND window);

// HRESULTs, styles and colours read best in hex: "0x%08lX".
std::string Hex(unsigned long value);

// Ids of the threads of process that exist now (a Toolhelp snapshot).
std::vector<DWORD> ThreadIdsOf(DWORD processId);
// CPU time (kernel and user) of the calling thread, in milliseconds.
double ThreadCpuMs();

// The machine (IMAGE_FILE_MACHINE_...) and subsystem (IMAGE_SUBSYSTEM_...) of the PE image at
// path. False when the file cannot be read as a PE image.
bool ReadImageKind(const std::string& path, WORD& machine, WORD& subsystem);

// The libraries that the PE image at path (32- or 64-bit) names in its import and delay-load
// import tables, as written there. False when the file cannot be read as a PE image.
bool ReadImportedLibraries(const std::string& path, std::vector<std::string>& libraries);

// Child modes: this test program run again as `--child NAME ARGS...`. A child mode's result is
// the child process's exit code.
using ChildModeRoutine = int (*)(int argc, char** argv);
struct ChildModeRegistration {
    ChildModeRegistration(const char* name, ChildModeRoutine routine);
};
#define CHILD_MODE(name)                                                                   \
    static int ChildMode_##name(int argc, char** argv);                                    \
    static ChildModeRegistration ChildModeRegistration_##name(#name, ChildMode_##name);    \
    static int ChildMode_##name([[maybe_unused]] int argc, [[maybe_unused]] char** argv)

int RunChildMode(const char* name, int argc, char** argv);
