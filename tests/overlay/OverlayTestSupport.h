#pragma once
// What the overlay tests share: swapping an outside entry point for a recorder and back, reading
// the back buffer, and clearing up windows and render threads between tests.
#include "TestSupport.h"

#include "overlay/Overlay.h"
#include "shared/EntryPoints.h"
#include "shared/SharedState.h"

#include <d3d9.h>

#include <cstdio>
#include <string>
#include <vector>

// The real address of library!name, as the program would bind it.
inline FARPROC RealEntryPoint(const char* library, const char* name)
{
    HMODULE module = LoadLibraryA(library);
    return module ? GetProcAddress(module, name) : nullptr;
}

template <typename Function>
FARPROC AsEntryPoint(Function function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

// Answers library!name with a stand-in for its lifetime, then puts the real entry point back.
class ScopedEntryPoint {
public:
    ScopedEntryPoint(const char* library, const char* name, FARPROC standIn) : library_(library), name_(name)
    {
        SetEntryPointForTesting(library, name, standIn);
    }
    ~ScopedEntryPoint() { SetEntryPointForTesting(library_, name_, RealEntryPoint(library_, name_)); }
    ScopedEntryPoint(const ScopedEntryPoint&) = delete;
    ScopedEntryPoint& operator=(const ScopedEntryPoint&) = delete;

private:
    const char* library_;
    const char* name_;
};

// HRESULTs and style bits read best in hex.
inline std::string Hex(unsigned long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", value);
    return text;
}

// What a read-back of the back buffer found.
struct BackBufferContents {
    HRESULT result = E_FAIL;  // of the first step that failed, or S_OK
    D3DSURFACE_DESC desc{};
    long opaquePixels = 0;    // pixels whose alpha is not 0
    long pixels = 0;          // pixels looked at
};

// Copies the back buffer into system memory and counts the pixels with alpha inside area (the
// whole buffer when null). Only the thread that owns the device may call it: the device is
// made without D3DCREATE_MULTITHREADED.
inline BackBufferContents ReadBackBuffer(IDirect3DDevice9* device, const RECT* area = nullptr)
{
    BackBufferContents contents;
    IDirect3DSurface9* backBuffer = nullptr;
    IDirect3DSurface9* copy = nullptr;
    contents.result = device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
    if (SUCCEEDED(contents.result))
        contents.result = backBuffer->GetDesc(&contents.desc);
    if (SUCCEEDED(contents.result))
        contents.result = device->CreateOffscreenPlainSurface(contents.desc.Width, contents.desc.Height,
                                                              contents.desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                              nullptr);
    if (SUCCEEDED(contents.result))
        contents.result = device->GetRenderTargetData(backBuffer, copy);
    D3DLOCKED_RECT locked{};
    if (SUCCEEDED(contents.result))
        contents.result = copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    if (SUCCEEDED(contents.result)) {
        const RECT whole{0, 0, static_cast<LONG>(contents.desc.Width), static_cast<LONG>(contents.desc.Height)};
        RECT look{};
        IntersectRect(&look, &whole, area ? area : &whole);
        for (LONG y = look.top; y < look.bottom; ++y) {
            const auto* row = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch);
            for (LONG x = look.left; x < look.right; ++x) {
                ++contents.pixels;
                if (row[x] >> 24)
                    ++contents.opaquePixels;
            }
        }
        copy->UnlockRect();
    }
    if (copy)
        copy->Release();
    if (backBuffer)
        backBuffer->Release();
    return contents;
}

// Serves this thread's messages for milliseconds: a measuring interval, or a settle time that
// shows something does not happen; never a wait for an event.
inline void ServeMessagesFor(DWORD milliseconds)
{
    WaitUntil([] { return false; }, milliseconds);
}

// Destroys window if it still exists and takes away the quit message its end leaves behind,
// so it cannot end a later test's pump.
inline void DestroyOverlayWindow(HWND window)
{
    if (window && IsWindow(window))
        DestroyWindow(window);
    MSG message;
    while (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

// Brings overlays up through CreateOverlay and takes everything down again after each test:
// the render thread first (it draws on the device), then the seam, then the windows.
class OverlayFixture : public testing::Test {
protected:
    void TearDown() override
    {
        StopRenderThread();
        SetPresentStepForTesting(nullptr);
        for (HWND window : windows_)
            DestroyOverlayWindow(window);
        OverlayWindow = nullptr;
    }

    IDirect3DDevice9* BringUp(int width, int height, FrameRoutine frame)
    {
        IDirect3DDevice9* device = CreateOverlay(width, height, frame, &OverlayWindow);
        windows_.push_back(OverlayWindow);
        return device;
    }

    std::vector<HWND> windows_;
};
