#include "TestSupport.h"

#include "launcher/Launcher.h"

#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <thread>

namespace {

std::map<std::string, ChildModeRoutine>& ChildModes()
{
    static std::map<std::string, ChildModeRoutine> modes;
    return modes;
}

std::string ThisProgram()
{
    char path[MAX_PATH]{};
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK TakeFirstVisibleWindow(HWND window, LPARAM parameter)
{
    auto& search = *reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && IsWindowVisible(window) && !GetWindow(window, GW_OWNER)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

// The class and the text control id that message boxes use.
constexpr char MessageBoxClassName[] = "#32770";
constexpr int MessageBoxTextId = 0xFFFF;

struct MessageBoxSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK TakeFirstMessageBox(HWND window, LPARAM parameter)
{
    auto& search = *reinterpret_cast<MessageBoxSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && IsWindowVisible(window) && ClassNameOf(window) == MessageBoxClassName) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::string BuildDirectory()
{
    return DirectoryOfPath(ThisProgram().c_str());
}

std::string BuildFile(const char* name)
{
    return BuildDirectory() + "\\" + name;
}

std::string StandInEditorPath()
{
    return BuildFile("Sparkwright汉化版.exe");
}

std::string LauncherPath()
{
    return BuildFile("SparkwrightLocalizer.exe");
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : process_(other.process_), id_(other.id_)
{
    other.process_ = nullptr;
    other.id_ = 0;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept
{
    if (this != &other) {
        Terminate();
        process_ = other.process_;
        id_ = other.id_;
        other.process_ = nullptr;
        other.id_ = 0;
    }
    return *this;
}

ChildProcess::~ChildProcess()
{
    Terminate();
}

ChildProcess ChildProcess::Start(const std::string& program, const std::string& arguments,
                                 const std::string& currentDirectory, const std::vector<std::string>& environment)
{
    std::vector<std::pair<std::string, std::string>> saved;
    for (const std::string& assignment : environment) {
        const std::string name = assignment.substr(0, assignment.find('='));
        char old[4096];
        const DWORD length = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
        saved.emplace_back(name, length ? std::string(old, length) : std::string("\x01"));
        SetEnvironmentVariableA(name.c_str(), assignment.substr(name.size() + 1).c_str());
    }

    std::string commandLine = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    ChildProcess child;
    if (CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                       currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup, &started)) {
        CloseHandle(started.hThread);
        child.process_ = started.hProcess;
        child.id_ = started.dwProcessId;
    }

    for (const auto& [name, value] : saved)
        SetEnvironmentVariableA(name.c_str(), value == "\x01" ? nullptr : value.c_str());
    return child;
}

ChildProcess ChildProcess::StartChildMode(const std::string& name, const std::string& arguments,
                                          const std::vector<std::string>& environment)
{
    return Start(ThisProgram(), "--child " + name + (arguments.empty() ? "" : " " + arguments), "", environment);
}

bool ChildProcess::Running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool ChildProcess::WaitForExit(DWORD milliseconds, DWORD* exitCode) const
{
    if (!process_ || WaitForSingleObject(process_, milliseconds) != WAIT_OBJECT_0)
        return false;
    if (exitCode)
        GetExitCodeProcess(process_, exitCode);
    return true;
}

void ChildProcess::Terminate()
{
    if (!process_)
        return;
    if (Running()) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, ProcessExitDeadlineMs);
    }
    CloseHandle(process_);
    process_ = nullptr;
    id_ = 0;
}

ScratchFolder::ScratchFolder(const std::string& name)
{
    char temp[MAX_PATH]{};
    GetTempPathA(sizeof temp, temp);
    path_ = std::string(temp) + "sparkwright-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount()) + "\\" + name;
    CreateDirectoryA(DirectoryOfPath(path_.c_str()).c_str(), nullptr);
    CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder()
{
    RemoveTree(DirectoryOfPath(path_.c_str()));
}

void ScratchFolder::CopyIn(const std::string& source, const std::string& name) const
{
    ASSERT_TRUE(CopyFileA(source.c_str(), File(name).c_str(), FALSE)) << "copying " << source << " failed";
}

bool WaitUntil(const std::function<bool()>& condition, DWORD deadlineMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start > deadlineMs)
            return false;
        MSG message{};
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    }
}

HWND VisibleTopLevelWindowOf(DWORD processId)
{
    WindowSearch search{processId, nullptr};
    EnumWindows(TakeFirstVisibleWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForVisibleWindowOf(DWORD processId, DWORD deadlineMs)
{
    HWND window = nullptr;
    WaitUntil([&] { return (window = VisibleTopLevelWindowOf(processId)) != nullptr; }, deadlineMs);
    return window;
}

bool RunOnOtherThread(const std::function<void()>& work, DWORD deadlineMs)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    const bool inTime = WaitUntil([&] { return done.load(); }, deadlineMs);
    // Keep serving this thread's windows until it ends: it may be blocked on one of them.
    WaitUntil([&] { return done.load(); }, INFINITE);
    worker.join();
    return inTime;
}

HWND MessageBoxOf(DWORD processId)
{
    MessageBoxSearch search{processId, nullptr};
    EnumWindows(TakeFirstMessageBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForMessageBoxOf(DWORD processId, DWORD deadlineMs)
{
    HWND box = nullptr;
    WaitUntil([&] { return (box = MessageBoxOf(processId)) != nullptr; }, deadlineMs);
    return box;
}

std::string MessageBoxText(HWND box)
{
    return WindowText(GetDlgItem(box, MessageBoxTextId));
}

void PressMessageBoxButton(HWND box, int buttonId)
{
    PostMessageA(GetDlgItem(box, buttonId), BM_CLICK, 0, 0);
}

std::string ReadWholeFile(const std::string& path)
{
    std::string content;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return content;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        content.append(buffer, read);
    CloseHandle(file);
    return content;
}

std::string WindowText(HWND window)
{
    char text[1024]{};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassNameOf(HWND window)
{
    char name[256]{};
    GetClassNameA(window, name, sizeof name);
    return name;
}

ChildModeRegistration::ChildModeRegistration(const char* name, ChildModeRoutine routine)
{
    ChildModes()[name] = routine;
}

int RunChildMode(const char* name, int argc, char** argv)
{
    auto mode = ChildModes().find(name);
    if (mode == ChildModes().end()) {
        std::fprintf(stderr, "unknown child mode %s\n", name);
        return 125;
    }
    return mode->second(argc, argv);
}
