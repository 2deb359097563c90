#pragma once
// What the overlay tests share: swapping an outside entry point for a recorder and back, counting
// what the back buffer holds, and clearing up windows and render threads between tests.
#include "D3DReadBack.h"
#include "TestSupport.h"

#include "overlay/Overlay.h"
#include "shared/EntryPoints.h"
#include "shared/SharedState.h"

#include <d3d9.h>

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

// What a read-back of the back buffer found.
struct BackBufferContents {
    HRESULT result = E_FAIL;  // of the first step that failed, or S_OK
    D3DSURFACE_DESC desc{};
    long opaquePixels = 0;    // pixels whose alpha is not 0
    long pixels = 0;          // pixels looked at
};

// Copies the back buffer into system memory and counts the pixels with alpha inside area (the
// whole buffer when null). Only the thread that owns the device may call it.
inline BackBufferContents ReadBackBuffer(IDirect3DDevice9* device, const RECT* area = nullptr)
{
    const BackBufferPixels read = ReadBackBufferPixels(device);
    BackBufferContents contents;
    contents.result = read.result;
    contents.desc = read.desc;
    if (FAILED(read.result))
        return contents;
    const LONG width = static_cast<LONG>(read.desc.Width);
    const RECT whole{0, 0, width, static_cast<LONG>(read.desc.Height)};
    RECT look{};
    IntersectRect(&look, &whole, area ? area : &whole);
    for (LONG y = look.top; y < look.bottom; ++y) {
        for (LONG x = look.left; x < look.right; ++x) {
            ++contents.pixels;
            if (read.pixels[static_cast<size_t>(y) * width + x] >> 24)
                ++contents.opaquePixels;
        }
    }
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
    TakeQuitMessages();
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
