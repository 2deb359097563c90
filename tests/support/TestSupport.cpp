#include "TestSupport.h"

#include "launcher/Launcher.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <thread>

namespace {

std::map<std::string, ChildModeRoutine>& ChildModes()
{
    static std::map<std::string, ChildModeRoutine> modes;
    return modes;
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

BOOL CALLBACK CollectVisible(HWND window, LPARAM parameter)
{
    if (IsWindowVisible(window))
        reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
    return TRUE;
}

// The highest visible top-level window of process that passes test, or null.
HWND FirstVisibleWindowOf(DWORD processId, bool (*test)(HWND))
{
    for (HWND window : VisibleTopLevelWindowsOf(processId))
        if (test(window))
            return window;
    return nullptr;
}

HWND WaitForWindow(const std::function<HWND()>& find, DWORD deadlineMs)
{
    HWND window = nullptr;
    WaitUntil([&] { return (window = find()) != nullptr; }, deadlineMs);
    return window;
}

// The class and the text control id that message boxes use.
constexpr char MessageBoxClassName[] = "#32770";
constexpr int MessageBoxTextId = 0xFFFF;

// A PE image read whole into memory, with bounds-checked access by file offset and by RVA.
class PeImage {
public:
    explicit PeImage(std::string bytes) : bytes_(std::move(bytes)) {}

    template <typename T>
    bool ReadAt(size_t offset, T& value) const
    {
        if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T))
            return false;
        std::memcpy(&value, bytes_.data() + offset, sizeof(T));
        return true;
    }

    bool Parse()
    {
        IMAGE_DOS_HEADER dos{};
        DWORD signature = 0;
        if (!ReadAt(0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0)
            return false;
        const size_t ntOffset = static_cast<size_t>(dos.e_lfanew);
        if (!ReadAt(ntOffset, signature) || signature != IMAGE_NT_SIGNATURE || !ReadAt(ntOffset + 4, file_))
            return false;
        const size_t optionalOffset = ntOffset + 4 + sizeof(IMAGE_FILE_HEADER);
        WORD magic = 0;
        if (!ReadAt(optionalOffset, magic))
            return false;
        // The two optional header forms differ in width, so their data directories lie apart.
        size_t directoriesOffset = 0;
        DWORD directoryCount = 0;
        if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
            IMAGE_OPTIONAL_HEADER32 optional{};
            if (!ReadAt(optionalOffset, optional))
                return false;
            directoriesOffset = optionalOffset + offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
            directoryCount = optional.NumberOfRvaAndSizes;
            subsystem_ = optional.Subsystem;
        } else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
            IMAGE_OPTIONAL_HEADER64 optional{};
            if (!ReadAt(optionalOffset, optional))
                return false;
            directoriesOffset = optionalOffset + offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory);
            directoryCount = optional.NumberOfRvaAndSizes;
            subsystem_ = optional.Subsystem;
        } else {
            return false;
        }
        for (DWORD i = 0; i < directoryCount && i < IMAGE_NUMBEROF_DIRECTORY_ENTRIES; ++i)
            if (!ReadAt(directoriesOffset + i * sizeof(IMAGE_DATA_DIRECTORY), directories_[i]))
                return false;
        sectionsOffset_ = optionalOffset + file_.SizeOfOptionalHeader;
        return true;
    }

    const IMAGE_DATA_DIRECTORY& Directory(int index) const { return directories_[index]; }
    WORD Machine() const { return file_.Machine; }
    WORD Subsystem() const { return subsystem_; }

    // File offset of rva, or false when no section holds it.
    bool OffsetOf(DWORD rva, size_t& offset) const
    {
        for (WORD i = 0; i < file_.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER section{};
            if (!ReadAt(sectionsOffset_ + i * sizeof section, section))
                return false;
            const DWORD size = section.Misc.VirtualSize ? section.Misc.VirtualSize : section.SizeOfRawData;
            if (rva >= section.VirtualAddress && rva - section.VirtualAddress < size) {
                offset = section.PointerToRawData + (rva - section.VirtualAddress);
                return true;
            }
        }
        return false;
    }

    bool StringAt(DWORD rva, std::string& text) const
    {
        size_t offset = 0;
        if (!OffsetOf(rva, offset) || offset >= bytes_.size())
            return false;
        const size_t end = bytes_.find('\0', offset);
        if (end == std::string::npos)
            return false;
        text = bytes_.substr(offset, end - offset);
        return true;
    }

private:
    std::string bytes_;
    IMAGE_FILE_HEADER file_{};
    IMAGE_DATA_DIRECTORY directories_[IMAGE_NUMBEROF_DIRECTORY_ENTRIES]{};
    size_t sectionsOffset_ = 0;
    WORD subsystem_ = 0;
};

// Walks a table of descriptors that ends with an all-zero one, taking each library name.
template <typename Descriptor>
bool ReadLibraryNames(const PeImage& image, int directory, DWORD Descriptor::*nameField,
                      std::vector<std::string>& libraries)
{
    const IMAGE_DATA_DIRECTORY& table = image.Directory(directory);
    if (table.VirtualAddress == 0)
        return true; // the image has no such table
    size_t offset = 0;
    if (!image.OffsetOf(table.VirtualAddress, offset))
        return false;
    for (;; offset += sizeof(Descriptor)) {
        Descriptor descriptor{};
        if (!image.ReadAt(offset, descriptor))
            return false;
        if (descriptor.*nameField == 0)
            return true;
        std::string name;
        if (!image.StringAt(descriptor.*nameField, name))
            return false;
        libraries.push_back(name);
    }
}

} // namespace

std::string ThisProgramPath()
{
    char path[MAX_PATH]{};
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

std::string BuildDirectory()
{
    return DirectoryOfPath(ThisProgramPath().c_str());
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
    return Start(ThisProgramPath(), "--child " + name + (arguments.empty() ? "" : " " + arguments), "", environment);
}

ChildProcess ChildProcess::Adopt(DWORD processId)
{
    ChildProcess child;
    child.process_ = OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId);
    if (child.process_)
        child.id_ = processId;
    return child;
}

std::vector<ChildProcess> ChildProcess::AdoptChildrenOf(DWORD parentId)
{
    std::vector<ChildProcess> children;
    // Id 0 is no process, but system processes list it as their parent.
    if (parentId == 0)
        return children;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return children;
    PROCESSENTRY32 record{};
    record.dwSize = sizeof record;
    for (BOOL more = Process32First(snapshot, &record); more; more = Process32Next(snapshot, &record))
        if (record.th32ParentProcessID == parentId && record.th32ProcessID != GetCurrentProcessId()) {
            ChildProcess child = Adopt(record.th32ProcessID);
            if (child.Started())
                children.push_back(std::move(child));
        }
    CloseHandle(snapshot);
    return children;
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
    // The count keeps two folders made within the same millisecond apart: each removes its own
    // parent folder on destruction. The parent is kept, not derived from the path, so that a
    // fault in the product's path handling can never point the removal elsewhere.
    static LONG made = 0;
    parent_ = std::string(temp) + "sparkwright-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(GetTickCount()) + "-" + std::to_string(InterlockedIncrement(&made));
    path_ = parent_ + "\\" + name;
    CreateDirectoryA(parent_.c_str(), nullptr);
    CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder()
{
    RemoveTree(parent_);
}

testing::AssertionResult ScratchFolder::CopyIn(const std::string& source, const std::string& name) const
{
    if (CopyFileA(source.c_str(), File(name).c_str(), FALSE))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "copying " << source << " in as " << name << " failed, error "
                                       << GetLastError();
}

bool WaitUntil(const std::function<bool()>& condition, DWORD deadlineMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start > deadlineMs)
            return false;
        ServePendingMessages();
        Sleep(10);
    }
}

void ServePendingMessages()
{
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

bool TakeQuitMessages()
{
    bool taken = false;
    MSG message{};
    while (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        taken = true;
    return taken;
}

void RegisterWindowClass(const char* className, WNDPROC procedure)
{
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className;
    RegisterClassExA(&windowClass); // fails harmlessly when the class is there already
}

HWND CreateMessageWindow(const char* className, WNDPROC procedure)
{
    RegisterWindowClass(className, procedure);
    return CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
}

DWORD ProcessOf(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

std::vector<HWND> VisibleTopLevelWindows()
{
    std::vector<HWND> windows;
    EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> VisibleTopLevelWindowsOf(DWORD processId)
{
    std::vector<HWND> windows;
    for (HWND window : VisibleTopLevelWindows())
        if (ProcessOf(window) == processId)
            windows.push_back(window);
    return windows;
}

HWND VisibleTopLevelWindowOf(DWORD processId)
{
    return FirstVisibleWindowOf(processId, [](HWND window) { return GetWindow(window, GW_OWNER) == nullptr; });
}

HWND WaitForVisibleWindowOf(DWORD processId, DWORD deadlineMs)
{
    return WaitForWindow([&] { return VisibleTopLevelWindowOf(processId); }, deadlineMs);
}

bool IsAbove(HWND upper, HWND lower)
{
    for (HWND window = GetWindow(upper, GW_HWNDNEXT); window; window = GetWindow(window, GW_HWNDNEXT))
        if (window == lower)
            return true;
    return false;
}

RECT WindowRectOf(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

std::string Describe(const RECT& rect)
{
    return "(" + std::to_string(rect.left) + ", " + std::to_string(rect.top) + ") " +
           std::to_string(rect.right - rect.left) + " x " + std::to_string(rect.bottom - rect.top);
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
    return FirstVisibleWindowOf(processId, [](HWND window) { return ClassNameOf(window) == MessageBoxClassName; });
}

HWND WaitForMessageBoxOf(DWORD processId, DWORD deadlineMs)
{
    return WaitForWindow([&] { return MessageBoxOf(processId); }, deadlineMs);
}

std::string MessageBoxText(HWND box)
{
    return WindowText(GetDlgItem(box, MessageBoxTextId));
}

bool PressMessageBoxButton(HWND box, int buttonId)
{
    // Without the check a missing button would take the post to this thread's own queue.
    HWND button = GetDlgItem(box, buttonId);
    return button && PostMessageA(button, BM_CLICK, 0, 0);
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

void AppendToFile(const std::string& path, const std::string& text)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
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

std::vector<DWORD> ThreadIdsOf(DWORD processId)
{
    std::vector<DWORD> threads;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return threads;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == processId)
            threads.push_back(entry.th32ThreadID);
    CloseHandle(snapshot);
    return threads;
}

double ThreadCpuMs()
{
    FILETIME created{}, exited{}, kernel{}, user{};
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& time) {
        return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32 | time.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

std::string Hex(unsigned long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", value);
    return text;
}

bool ReadImageKind(const std::string& path, WORD& machine, WORD& subsystem)
{
    PeImage image(ReadWholeFile(path));
    if (!image.Parse())
        return false;
    machine = image.Machine();
    subsystem = image.Subsystem();
    return true;
}

bool ReadImportedLibraries(const std::string& path, std::vector<std::string>& libraries)
{
    libraries.clear();
    PeImage image(ReadWholeFile(path));
    return image.Parse() &&
           ReadLibraryNames(image, IMAGE_DIRECTORY_ENTRY_IMPORT, &IMAGE_IMPORT_DESCRIPTOR::Name, libraries) &&
           ReadLibraryNames(image, IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT, &IMAGE_DELAYLOAD_DESCRIPTOR::DllNameRVA,
                            libraries);
}
