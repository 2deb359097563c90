#include "Probe.h"
#include "ProcStat.h"

#include "discovery/Discovery.h"
#include "launcher/Launcher.h"

#include <psapi.h>
#include <winternl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

// --- time ---------------------------------------------------------------------------------

LONG64 CounterNow()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double CounterMs(LONG64 from, LONG64 to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to - from) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void ServeMessagesFor(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            return;
        MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds - elapsed, QS_ALLINPUT, 0);
    }
}

bool WaitUntil(const std::function<bool()>& condition, DWORD deadlineMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= deadlineMs)
            return false;
        ServeMessagesFor(PollMs);
    }
}

// --- processes ----------------------------------------------------------------------------

bool Process::Running() const
{
    return handle && WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
}

DWORD Process::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (handle)
        GetExitCodeProcess(handle, &code);
    return code;
}

void Process::Terminate()
{
    if (Running()) {
        TerminateProcess(handle, 1);
        WaitForSingleObject(handle, StepDeadlineMs);
    }
}

void Process::Close()
{
    if (handle)
        CloseHandle(handle);
    handle = nullptr;
    id = 0;
}

std::string FolderOf(const std::string& path)
{
    return DirectoryOfPath(path.c_str());
}

std::string FileNameOf(const std::string& path)
{
    const std::string folder = FolderOf(path);
    return folder.size() < path.size() ? path.substr(folder.size() + 1) : path;
}

Process StartProcess(const std::string& program, const std::string& directory)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    std::string commandLine = "\"" + program + "\"";
    const std::string folder = directory.empty() ? FolderOf(program) : directory;
    Process process;
    if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &started)) {
        PrintNote("could not start %s (error %lu)", program.c_str(), GetLastError());
        return process;
    }
    CloseHandle(started.hThread);
    process.handle = started.hProcess;
    process.id = started.dwProcessId;
    return process;
}

Process OpenRunningProcess(DWORD processId)
{
    Process process;
    process.handle = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE,
                                 FALSE, processId);
    process.id = process.handle ? processId : 0;
    return process;
}

std::vector<DWORD> ProcessesNamed(const char* name)
{
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        char imageName[sizeof entry.szExeFile + 1]{};
        std::memcpy(imageName, entry.szExeFile, sizeof entry.szExeFile);
        if (SameImageName(name, imageName))
            found.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

int TerminateProcessesNamed(const char* name)
{
    const std::vector<DWORD> running = ProcessesNamed(name);
    for (DWORD id : running) {
        Process process = OpenRunningProcess(id);
        process.Terminate();
        process.Close();
    }
    return static_cast<int>(running.size());
}

int ThreadCountOf(DWORD processId)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == processId)
            ++count;
    CloseHandle(snapshot);
    return count;
}

namespace {

LONG64 FileTimeValue(const FILETIME& time)
{
    return static_cast<LONG64>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

} // namespace

LONG64 CpuTime100ns(const CpuSource& source)
{
    const LONG64 hostTime = HostProcessCpuTime100ns(source.hostProcessId);
    if (hostTime >= 0)
        return hostTime;
    FILETIME creation, exit, kernel, user;
    if (!GetProcessTimes(source.process, &creation, &exit, &kernel, &user))
        return -1;
    return FileTimeValue(kernel) + FileTimeValue(user);
}

CpuSource CpuOf(const Process& process, const std::string& programFileName)
{
    LONG64 hostProcessId = 0;
    // The host process comes up a moment after the Windows one.
    WaitUntil(
        [&] { return (hostProcessId = HostProcessIdOf(programFileName.c_str())) != 0 || !process.Running(); },
        StepDeadlineMs);
    if (hostProcessId == 0)
        PrintNote("%s not found in /proc: its processor time leaves out the host's driver threads",
                  programFileName.c_str());
    return CpuSource{process.handle, hostProcessId};
}

CpuSource OwnCpu()
{
    char path[MAX_PATH]{};
    GetModuleFileNameA(nullptr, path, sizeof path);
    Process self;
    self.handle = GetCurrentProcess();
    self.id = GetCurrentProcessId();
    return CpuOf(self, FileNameOf(path));
}

Sample TakeSample(const CpuSource& cpu, LONG64 frames)
{
    return Sample{CounterNow(), CpuTime100ns(cpu), frames};
}

Rates RatesBetween(const Sample& from, const Sample& to)
{
    const double seconds = CounterMs(from.counter, to.counter) / 1000.0;
    const double cpuMs = static_cast<double>(to.cpu - from.cpu) / 10000.0;
    const double frames = static_cast<double>(to.frames - from.frames);
    return Rates{frames / seconds, cpuMs / seconds, frames > 0 ? cpuMs / frames : 0.0};
}

namespace {

// The system's process list: it carries a process's handle count and memory figures where
// asking the process itself (GetProcessHandleCount, GetProcessMemoryInfo) answers nothing for
// another process under Wine.
bool FindInProcessList(DWORD processId, ResourceFigures& figures)
{
    using QueryFunction = NTSTATUS(WINAPI*)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<BYTE> buffer(1 << 20);
    ULONG needed = 0;
    while (query && query(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) ==
                        static_cast<NTSTATUS>(0xC0000004L)) // too small: the list grew meanwhile
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed));
    if (!query)
        return false;
    for (size_t offset = 0;;) {
        const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
        if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == processId) {
            figures.handles = entry->HandleCount;
            figures.privateBytes = entry->VirtualMemoryCounters.PagefileUsage;
            figures.workingSet = entry->VirtualMemoryCounters.WorkingSetSize;
            return true;
        }
        if (entry->NextEntryOffset == 0)
            return false;
        offset += entry->NextEntryOffset;
    }
}

} // namespace

ResourceFigures ResourcesOf(const Process& process)
{
    ResourceFigures figures;
    if (!FindInProcessList(process.id, figures)) {
        GetProcessHandleCount(process.handle, &figures.handles);
        PROCESS_MEMORY_COUNTERS_EX memory{};
        memory.cb = sizeof memory;
        if (GetProcessMemoryInfo(process.handle, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
            figures.privateBytes = memory.PrivateUsage;
            figures.workingSet = memory.WorkingSetSize;
        }
    }
    figures.threads = ThreadCountOf(process.id);
    return figures;
}

// --- windows ------------------------------------------------------------------------------

std::vector<HWND> TopLevelWindows(DWORD processId, const char* className, bool visibleOnly)
{
    std::vector<HWND> found;
    for (HWND window = FindWindowExA(nullptr, nullptr, className, nullptr); window;
         window = FindWindowExA(nullptr, window, className, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && (!visibleOnly || IsWindowVisible(window)))
            found.push_back(window);
    }
    return found;
}

HWND TopLevelWindow(DWORD processId, const char* className, bool visibleOnly)
{
    const std::vector<HWND> found = TopLevelWindows(processId, className, visibleOnly);
    return found.empty() ? nullptr : found.front();
}

HWND VisibleMainWindowOf(DWORD processId)
{
    for (HWND window = FindWindowExA(nullptr, nullptr, nullptr, nullptr); window;
         window = FindWindowExA(nullptr, window, nullptr, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window) && !GetWindow(window, GW_OWNER))
            return window;
    }
    return nullptr;
}

HWND LauncherButton(HWND launcher)
{
    return launcher ? FindWindowExA(launcher, nullptr, "BUTTON", nullptr) : nullptr;
}

// --- the measurement build's frame record ---------------------------------------------------

FrameRecord* OpenFrameRecord(DWORD launcherProcessId, DWORD deadlineMs)
{
    char name[64];
    FrameRecordName(launcherProcessId, name);
    HANDLE mapping = nullptr;
    WaitUntil([&] { return (mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name)) != nullptr; }, deadlineMs);
    if (!mapping) {
        PrintNote("the launcher published no frame record (%s)", name);
        return nullptr;
    }
    // The view keeps the block alive after the launcher ends, until CloseFrameRecord.
    auto* record = static_cast<FrameRecord*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(FrameRecord)));
    CloseHandle(mapping);
    return record;
}

void CloseFrameRecord(FrameRecord* record)
{
    if (record)
        UnmapViewOfFile(record);
}

void ClearFrameMarks(FrameRecord* record)
{
    InterlockedExchange64(&record->firstFrameCounter, 0);
    for (int i = 0; i < SeenSlots; ++i) {
        InterlockedExchange64(&record->presentThreads[i], 0);
        InterlockedExchange64(&record->presentDevices[i], 0);
    }
    InterlockedExchange64(&record->unrecorded, 0);
}

int FilledSlots(const volatile LONG64 (&slots)[SeenSlots])
{
    int filled = 0;
    for (const volatile LONG64& slot : slots)
        if (slot != 0)
            ++filled;
    return filled;
}

// --- statistics ---------------------------------------------------------------------------

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::min(values.size(), std::max<size_t>(rank, 1)) - 1];
}

double Median(const std::vector<double>& values)
{
    return Percentile(values, 0.5);
}

// --- output -------------------------------------------------------------------------------

void PrintFigure(const char* key, double value)
{
    std::printf("%s %.4f\n", key, value);
    std::fflush(stdout);
}

void PrintNote(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::fputs("# ", stdout);
    std::vprintf(format, arguments);
    std::fputs("\n", stdout);
    va_end(arguments);
    std::fflush(stdout);
}
