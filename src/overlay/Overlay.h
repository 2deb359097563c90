#pragma once
// The overlay: a layered, click-through, topmost window with a Direct3D 9 device on it, the
// caption font, and the render thread that clears, draws and presents once per refresh.
#include <windows.h>

struct IDirect3D9;
struct IDirect3DDevice9;

using FrameRoutine = void (*)();

// By-name bindings: none of these libraries is linked at load time
IDirect3D9* CallDirect3DCreate9(UINT sdkVersion);
HRESULT CallD3DXCreateFontA(IDirect3DDevice9* device, INT height, UINT width, UINT weight, UINT mipLevels,
                            BOOL italic, DWORD charSet, DWORD outputPrecision, DWORD quality,
                            DWORD pitchAndFamily, LPCSTR faceName, struct ID3DXFont** font);
HRESULT CallDwmExtendFrameIntoClientArea(HWND window, int left, int right, int top, int bottom);

// Overlay window (main thread)
HWND CreateOverlayWindow(int width, int height);
LRESULT CALLBACK OverlayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Device and font (main thread, before the render thread starts)
IDirect3DDevice9* CreateOverlayDevice(HWND window);     // also writes OverlayDevice; null when none
void CreateLabelFont(IDirect3DDevice9* device);         // writes LabelFont

// Overlay start: window, device, font and render thread; the window handle is written to
// windowPlace before any device exists. Stops an earlier render thread first.
IDirect3DDevice9* CreateOverlay(int width, int height, FrameRoutine frame, HWND* windowPlace);

// Render thread
DWORD WINAPI RenderThreadMain(LPVOID frameRoutine);
void StopRenderThread();        // main thread: stops the running render thread and waits for it, serving
                                // the messages it sends meanwhile; its device and font are released
void ReleaseOverlayDevice();    // render thread: ends the scene and releases its font and device for good
bool RenderThreadRunning();

// Test seam: the step that presents a frame, so a test can make it report a lost device.
using PresentStep = HRESULT (*)(IDirect3DDevice9* device);
void SetPresentStepForTesting(PresentStep step); // null restores the real Present
