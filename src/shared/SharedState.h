#pragma once
// Process-wide state that the launcher, the overlay and the frame routine share.
#include <windows.h>
#include <atomic>

struct IDirect3DDevice9;
struct ID3DXFont;

extern std::atomic<DWORD> TargetProcessId; // running editor's process id, 0 = none; the render thread stores it too
extern HWND TargetWindow;                  // editor's main window; null = none found, (HWND)-1 = no editor at the press
extern HWND OverlayWindow;                 // overlay of the latest press that found the editor
extern HWND LauncherWindow;                // the launcher's own window; its controls get keyboard navigation
extern IDirect3DDevice9* OverlayDevice;    // device of the overlay whose render thread is running, or null
extern ID3DXFont* LabelFont;               // the caption font on OverlayDevice, or null
extern RECT* LabelRect;                    // caption box, rewritten by every caption draw
extern MSG* MessageRecord;                 // where the overlay pump receives every message

// The editor's image name, as the launcher starts it and as the process list shows it.
extern const char EditorImageName[];

// Hands every message waiting in the calling thread's queue to its handler; a WM_QUIT stays queued.
void DispatchPendingMessages();
