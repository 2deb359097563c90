#pragma once
// Start-up, the launcher window with its one button, starting the editor, and the press.
#include <windows.h>

#include <string>

int LauncherMain();                 // the program's entry on the main thread

// Launcher window events
void OnLauncherCreated();           // starts the editor before the window is first shown
void OnLauncherDestroying();        // asks the overlay and the editor to close, then ends
void OnLocalizeClicked();           // lays the captioned overlay over the running editor
void RunOverlayPump();              // serves every window of the main thread until a WM_QUIT

// Helpers
void PostCloseMessage(HWND window); // posted, never sent: nobody waits for the window to react
std::string GetRunDirectory();      // the launcher's folder, without a trailing backslash
std::string DirectoryOfPath(const char* path); // everything before the last backslash, multibyte-aware
bool StartProgram(const std::string& programPath); // starts it without waiting for it to end
void WaitWithMessages(int milliseconds);           // handles the thread's messages all along
