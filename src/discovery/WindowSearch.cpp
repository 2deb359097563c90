#include "discovery/Discovery.h"

#include "shared/SharedState.h"

// The editor's window may still be coming up; a press must not hold the launcher longer.
constexpr int MainWindowBudgetMs = 100;

HWND FindProcessWindow(DWORD processId, int budgetMs)
{
    const DWORD start = GetTickCount();
    HWND window = nullptr;
    for (;;) {
        // Unsigned difference: right across the wrap of the tick count.
        const DWORD elapsed = GetTickCount() - start;
        if (budgetMs <= 0 || elapsed >= static_cast<DWORD>(budgetMs))
            return nullptr;

        window = FindWindowExA(nullptr, window, nullptr, nullptr);
        if (!window)
            return nullptr;
        if (!IsWindowVisible(window))
            continue;

        DWORD windowProcessId = 0;
        GetWindowThreadProcessId(window, &windowProcessId);
        if (windowProcessId == processId && !GetParent(window))
            return window;
        // Keeps the launcher answering while the walk passes other programs' windows.
        DispatchPendingMessages();
    }
}

HWND FindMainWindowByName(const char* name)
{
    const DWORD processId = FindProcessByName(name);
    if (processId == 0)
        return reinterpret_cast<HWND>(static_cast<INT_PTR>(-1));
    return FindProcessWindow(processId, MainWindowBudgetMs);
}
