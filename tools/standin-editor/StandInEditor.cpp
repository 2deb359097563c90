// Stand-in editor. Switches (on the command line, or in STANDIN_ARGS for a copy that the
// launcher starts without arguments):
//   --hidden          never show a window (the process runs, with a hidden window)
//   --show-after=MS   show the window only after MS milliseconds
//   --popup           also open a visible pop-up owned by the main window, above it
//   --at=X,Y          where the window first stands (default 200,120)
//   --exit-after=MS   end by itself after MS milliseconds
//   --report=FILE     append "pid|current directory|image path|command line" to FILE at start
//                     (also taken from STANDIN_REPORT)
#include "labels/Labels.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char MainClassName[] = "SparkwrightStandInEditor";
constexpr char PopupClassName[] = "SparkwrightStandInPopup";
constexpr char MainTitle[] = "Sparkwright Particle Editor";
constexpr int EditorWidth = 1440;
constexpr int EditorHeight = 1000;
constexpr UINT_PTR ShowTimer = 1;
constexpr UINT_PTR ExitTimer = 2;

// The editor's own English captions, in the order in which the overlay draws their translations.
const char* const EnglishCaptions[] = {
    "Particle Settings", "Emitter Settings", "Blend Mode", "Source", "Destination", "Normal", "Add",
    "Position X", "Variance X", "Position Y", "Variance Y", "Start Color", "End Color",
    "Background Color", "Particle Texture",
    // emitter column
    "Emitter Type", "Speed", "Speed Variance", "Gravity X", "Gravity Y", "Radial Acceleration",
    "Radial Accel. Variance", "Tangential Acceleration", "Tangential Accel. Variance",
    // radius column
    " ", "Max Radius", "Max Radius Variance", "Min Radius", "Rotate Per Second", "Rotate Per Sec. Var.",
    // particle column
    "Duration", "Max Particles", "Lifespan", "Lifespan Variance", "Start Size", "Start Size Variance",
    "End Size", "End Size Variance", "Angle", "Angle Variance", "Start Spin", "Start Spin Variance",
    "End Spin", "End Spin Variance",
};

struct Options {
    bool hidden = false;
    bool popup = false;
    int showAfterMs = 0;
    int exitAfterMs = 0;
    int x = 200;
    int y = 120;
    std::string report;
};

Options Settings;

void ParseSwitch(const std::string& word)
{
    auto valueOf = [&](const char* name) { return word.substr(std::strlen(name)); };
    if (word == "--hidden")
        Settings.hidden = true;
    else if (word == "--popup")
        Settings.popup = true;
    else if (word.rfind("--show-after=", 0) == 0)
        Settings.showAfterMs = std::atoi(valueOf("--show-after=").c_str());
    else if (word.rfind("--exit-after=", 0) == 0)
        Settings.exitAfterMs = std::atoi(valueOf("--exit-after=").c_str());
    else if (word.rfind("--at=", 0) == 0)
        std::sscanf(valueOf("--at=").c_str(), "%d,%d", &Settings.x, &Settings.y);
    else if (word.rfind("--report=", 0) == 0)
        Settings.report = valueOf("--report=");
}

void ParseSwitches(const char* text)
{
    std::string word;
    for (const char* at = text;; ++at) {
        if (*at == ' ' || *at == '\0') {
            if (!word.empty())
                ParseSwitch(word);
            word.clear();
            if (*at == '\0')
                return;
        } else {
            word += *at;
        }
    }
}

void ReadSettings(const char* commandLine)
{
    char buffer[1024];
    if (GetEnvironmentVariableA("STANDIN_REPORT", buffer, sizeof buffer) - 1 < sizeof buffer - 1)
        Settings.report = buffer;
    if (GetEnvironmentVariableA("STANDIN_ARGS", buffer, sizeof buffer) - 1 < sizeof buffer - 1)
        ParseSwitches(buffer);
    ParseSwitches(commandLine);
}

void WriteReport()
{
    if (Settings.report.empty())
        return;
    char directory[MAX_PATH]{};
    char image[MAX_PATH]{};
    GetCurrentDirectoryA(sizeof directory, directory);
    GetModuleFileNameA(nullptr, image, sizeof image);
    char line[4 * MAX_PATH];
    const int length = std::snprintf(line, sizeof line, "%lu|%s|%s|%s\r\n", GetCurrentProcessId(), directory,
                                     image, GetCommandLineA());
    HANDLE file = CreateFileA(Settings.report.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}

struct PaintContext {
    HDC dc;
    POINT frameOffset; // client origin relative to the window's top-left corner
    int index;
};

void PaintCaption(const Caption& caption, void* context)
{
    auto& paint = *static_cast<PaintContext*>(context);
    const char* text = EnglishCaptions[paint.index++];
    const int x = caption.x - paint.frameOffset.x;
    const int y = caption.y - paint.frameOffset.y;
    TextOutA(paint.dc, x, y, text, static_cast<int>(std::strlen(text)));
}

POINT FrameOffset(HWND window)
{
    RECT outer{};
    GetWindowRect(window, &outer);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    return POINT{origin.x - outer.left, origin.y - outer.top};
}

void OnPaint(HWND window)
{
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    RECT client{};
    GetClientRect(window, &client);
    FillRect(dc, &client, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    // A preview area where the editor shows its particles.
    RECT preview{560, 120, 1150, 560};
    FillRect(dc, &preview, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(60, 60, 60));
    PaintContext context{dc, FrameOffset(window), 0};
    ForEachCaption(PaintCaption, &context);
    EndPaint(window, &paint);
}

void OnTimer(HWND window, UINT_PTR timer)
{
    KillTimer(window, timer);
    if (timer == ShowTimer)
        ShowWindow(window, SW_SHOWNORMAL);
    else if (timer == ExitTimer)
        DestroyWindow(window);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_TIMER:
        OnTimer(window, wParam);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterClasses(HINSTANCE instance)
{
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = MainClassName;
    RegisterClassExA(&windowClass);
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = PopupClassName;
    RegisterClassExA(&windowClass);
}

void OpenPopup(HWND owner, HINSTANCE instance)
{
    HWND popup = CreateWindowExA(0, PopupClassName, "Particle Preview", WS_POPUP | WS_CAPTION | WS_VISIBLE,
                                 Settings.x + 100, Settings.y + 100, 300, 200, owner, nullptr, instance, nullptr);
    SetWindowPos(popup, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    ReadSettings(commandLine);
    WriteReport();
    RegisterClasses(instance);
    HWND window = CreateWindowExA(0, MainClassName, MainTitle, WS_OVERLAPPEDWINDOW, Settings.x, Settings.y,
                                  EditorWidth, EditorHeight, nullptr, nullptr, instance, nullptr);
    if (Settings.showAfterMs > 0)
        SetTimer(window, ShowTimer, static_cast<UINT>(Settings.showAfterMs), nullptr);
    else if (!Settings.hidden)
        ShowWindow(window, showCommand);
    if (Settings.exitAfterMs > 0)
        SetTimer(window, ExitTimer, static_cast<UINT>(Settings.exitAfterMs), nullptr);
    if (Settings.popup)
        OpenPopup(window, instance);

    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
