#pragma once
// Finding the editor: its process by image name, its main window by process; the one-call
// window operations that pin it; and the one notice the program shows.
#include <windows.h>

// Process lookup
DWORD FindProcessByName(const char* name);                  // first process so named (letter case ignored), or 0
bool SameImageName(const char* wanted, const char* imageName); // whole names, multibyte-aware, letter case ignored

// Window search: both dispatch the calling thread's messages between rejected windows
HWND FindProcessWindow(DWORD processId, int budgetMs);       // highest visible top-level window without parent, or null
HWND FindMainWindowByName(const char* name);                 // (HWND)-1 when no process has the name

// Window placement: one platform call each; any window value is accepted
BOOL IsWindowMinimised(HWND window);
void MinimiseWindow(HWND window);
void RestoreWindow(HWND window);
void MoveWindowTo(HWND window, int x, int y, int width, int height);
void MakeWindowTopmost(HWND window);

// Timed notice, owned by the launcher's own window; returns when it has closed
void ShowTimedNotice(const char* text);
