#include "launcher/ProgramEnd.h"

#include "shared/SharedState.h"

#include <atomic>
#include <vector>

namespace {

// Private message that asks the main thread to carry out the end; wParam is the exit code.
constexpr UINT HandOverMessage = 0x83E7;
constexpr char HandOverClassName[] = "SparkwrightHandOver";

DWORD MainThreadId = 0;
HWND HandOverWindow = nullptr;
std::atomic<bool> Ending{false};
std::vector<ExitRoutine> ExitRoutines;

// Lives until the process ends: a render thread may be drawing a caption while the main
// thread runs the exit routines, so the caption box is never freed under it.
RECT LabelRectStorage{};

[[noreturn]] void EndOnMainThread(UINT exitCode)
{
    Ending = true;
    std::vector<ExitRoutine> routines;
    routines.swap(ExitRoutines);
    for (ExitRoutine routine : routines)
        routine();
    // The Direct3D libraries stay loaded: render threads are not stopped and may still use them.
    if (HandOverWindow)
        DestroyWindow(HandOverWindow);
    HandOverWindow = nullptr;
    ExitProcess(exitCode);
}

LRESULT CALLBACK HandOverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == HandOverMessage)
        EndOnMainThread(static_cast<UINT>(wParam));
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

void RecordMainThread()
{
    MainThreadId = GetCurrentThreadId();
}

void CreateHandOverWindow()
{
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = HandOverWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = HandOverClassName;
    RegisterClassExA(&windowClass);
    HandOverWindow = CreateWindowExA(0, HandOverClassName, "", 0, 0, 0, 0, 0,
                                     HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
}

void CreateSharedRecords()
{
    MessageRecord = new MSG{};
    LabelRectStorage = RECT{};
    LabelRect = &LabelRectStorage;
}

void ReleaseSharedRecords()
{
    // Only the main thread uses MessageRecord, and it never returns to its pump after the end.
    delete MessageRecord;
    MessageRecord = nullptr;
}

void RegisterExitRoutine(ExitRoutine routine)
{
    for (ExitRoutine listed : ExitRoutines)
        if (listed == routine)
            return;
    ExitRoutines.push_back(routine);
}

void EndProgram(UINT exitCode)
{
    if (GetCurrentThreadId() == MainThreadId)
        EndOnMainThread(exitCode);
    // The main thread takes the message the next time it looks for messages, in whatever loop
    // it is in, and ends the process there; this thread waits and never sees the send return.
    if (HandOverWindow && !Ending)
        SendMessageA(HandOverWindow, HandOverMessage, exitCode, 0);
    // The send can come back when the main thread has begun the end without it: leave the
    // exit code to the main thread rather than race it.
    while (Ending)
        Sleep(INFINITE);
    ExitProcess(exitCode);
}
