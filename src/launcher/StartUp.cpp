#include "launcher/Launcher.h"

#include "discovery/Discovery.h"
#include "launcher/ProgramEnd.h"
#include "shared/SharedState.h"

namespace {

constexpr char LauncherClassName[] = "SparkwrightLocalizer";
constexpr int LauncherWidth = 380;
constexpr int LauncherHeight = 250;
constexpr int LocalizeButtonId = 1001; // not IDOK: the button is not the default button
constexpr char LocalizeButtonText[] = "软件汉化";

// Gives the editor time to open its window before the user can press the button.
constexpr int EditorStartPauseMs = 1000;
// When the editor can be neither started nor found, try again at this pace a few times, then
// show the window anyway so the user can act (a press then says that no editor runs).
constexpr int LaunchRetryPauseMs = 1000;
constexpr int LaunchAttempts = 3;
// WaitForInputIdle's limit: the launcher handles no message meanwhile, so keep it short.
constexpr DWORD EditorIdleWaitMs = 1000;

void OnLauncherCommand(HWND control, int controlId, UINT notification)
{
    if (controlId == LocalizeButtonId && notification == BN_CLICKED && control)
        OnLocalizeClicked();
}

LRESULT CALLBACK LauncherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        OnLauncherCommand(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_DESTROY:
        OnLauncherDestroying();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterLauncherClass()
{
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = LauncherWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = LauncherClassName;
    RegisterClassExA(&windowClass);
}

HWND CreateLauncherWindow()
{
    const int left = (GetSystemMetrics(SM_CXSCREEN) - LauncherWidth) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - LauncherHeight) / 2;
    const DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    return CreateWindowExA(0,                        // no extended style
                           LauncherClassName,        // class
                           "",                       // title
                           style,                    // fixed frame, minimise box, no maximise box
                           left, top,                // centred on the primary display
                           LauncherWidth, LauncherHeight,
                           nullptr,                  // no owner
                           nullptr,                  // no menu
                           GetModuleHandleA(nullptr),
                           nullptr);
}

void CreateLocalizeButton(HWND parent)
{
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER |
                        BS_VCENTER | BS_MULTILINE;
    HWND button = CreateWindowExA(0,                  // no extended style
                                  "BUTTON",           // class
                                  LocalizeButtonText, // text
                                  style,              // ordinary push button, text centred and wrapped
                                  104, 120,           // client position
                                  128, 56,            // size
                                  parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(LocalizeButtonId)),
                                  GetModuleHandleA(nullptr),
                                  nullptr);
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
}

void LoadLauncherWindow()
{
    RegisterLauncherClass();
    LauncherWindow = CreateLauncherWindow();
    SendMessageA(LauncherWindow, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    CreateLocalizeButton(LauncherWindow);
    OnLauncherCreated();
    if (IsWindow(LauncherWindow))
        ShowWindow(LauncherWindow, SW_SHOW);
}

int RunMainMessageLoop()
{
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(LauncherWindow, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

} // namespace

int LauncherMain()
{
    RecordMainThread();
    // Programs started later inherit the launcher's folder as their current directory.
    SetCurrentDirectoryA(GetRunDirectory().c_str());
    CreateHandOverWindow();
    CreateSharedRecords();
    RegisterExitRoutine(ReleaseSharedRecords);
    LoadLauncherWindow();
    RunMainMessageLoop();
    EndProgram(0);
}

void OnLauncherCreated()
{
    for (int attempt = 1;; ++attempt) {
        TargetProcessId = FindProcessByName(EditorImageName);
        const std::string editorPath = GetRunDirectory() + "\\" + EditorImageName;
        if (StartProgram(editorPath)) {
            WaitWithMessages(EditorStartPauseMs);
            return;
        }
        if (TargetProcessId != 0 || attempt == LaunchAttempts)
            return;
        WaitWithMessages(LaunchRetryPauseMs);
    }
}

void OnLauncherDestroying()
{
    PostCloseMessage(OverlayWindow);
    PostCloseMessage(TargetWindow);
    EndProgram(0);
}

void PostCloseMessage(HWND window)
{
    PostMessageW(window, WM_CLOSE, 0, 0);
}

bool StartProgram(const std::string& programPath)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};

    // The launcher runs elevated: the program is named exactly, so a folder with blanks can never
    // make the platform try "C:\Program.exe"-style prefixes first and run a planted program.
    std::string commandLine = "\"" + programPath + "\"";
    if (!CreateProcessA(programPath.c_str(), // the program, exactly
                        &commandLine[0],     // its own name, quoted, and no arguments
                        nullptr, nullptr,    // default security
                        FALSE,               // no handles inherited
                        0,                   // no creation flags
                        nullptr,             // the launcher's environment
                        nullptr,             // the launcher's folder as current directory
                        &startup, &started))
        return false;
    WaitForInputIdle(started.hProcess, EditorIdleWaitMs);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

void WaitWithMessages(int milliseconds)
{
    if (milliseconds <= 0)
        return;
    const DWORD start = GetTickCount();
    const DWORD length = static_cast<DWORD>(milliseconds);
    for (;;) {
        DispatchPendingMessages();
        const DWORD elapsed = GetTickCount() - start; // unsigned: right across the wrap
        if (elapsed > length)
            return;
        // Sleeps until a message arrives or the time is up, instead of polling the queue.
        MsgWaitForMultipleObjectsEx(0, nullptr, length - elapsed + 1, QS_ALLINPUT, 0);
    }
}
