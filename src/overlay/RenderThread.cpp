#include "overlay/Overlay.h"

#include "overlay/RenderState.h"
#include "shared/SharedState.h"

#include <d3d9.h>
#include <d3dx9core.h>
#include <mmsystem.h>

#include <atomic>

namespace {

HANDLE RenderThread = nullptr;          // the one running render thread, or null
std::atomic<bool> StopRequested{false}; // tested at the head of every frame

HRESULT PresentFrame(IDirect3DDevice9* device)
{
    return device->Present(nullptr, nullptr, nullptr, nullptr);
}

PresentStep Present = PresentFrame;

void RecoverLostDevice()
{
    if (OverlayDevice->TestCooperativeLevel() == D3DERR_DEVICENOTRESET)
        ResetOverlayDevice();
    // Still lost: the pacing below keeps the retries at the refresh rate.
}

void DrawFrame(FrameRoutine frame)
{
    OverlayDevice->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(0, 0, 0, 0), 1.0f, 0); // fully transparent
    OverlayDevice->BeginScene();
    frame();
    if (!OverlayDevice)
        return; // the frame routine gave the device up: the program is ending
    OverlayDevice->EndScene();
    if (Present(OverlayDevice) == D3DERR_DEVICELOST)
        RecoverLostDevice();
}

// Present waits for the retrace only where the platform honours the presentation interval; a
// minimised window, or a driver that does not wait, would let the loop spin. The pacer waits out
// whatever is left of the refresh interval, so the loop never runs faster than the display.
class FramePacer {
public:
    explicit FramePacer(UINT refreshRate)
    {
        QueryPerformanceFrequency(&frequency_);
        interval_ = frequency_.QuadPart / refreshRate;
        QueryPerformanceCounter(&next_);
    }

    void WaitForNextFrame()
    {
        next_.QuadPart += interval_;
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        if (now.QuadPart >= next_.QuadPart) {
            if (now.QuadPart - next_.QuadPart > interval_)
                next_ = now; // fell behind: start afresh rather than rush to catch up
            return;
        }
        Sleep(static_cast<DWORD>((next_.QuadPart - now.QuadPart) * 1000 / frequency_.QuadPart));
    }

private:
    LARGE_INTEGER frequency_;
    LONGLONG interval_;
    LARGE_INTEGER next_;
};

void StartRenderThread(FrameRoutine frame)
{
    DWORD threadId = 0;
    RenderThread = CreateThread(nullptr, 0, RenderThreadMain, reinterpret_cast<LPVOID>(frame), 0, &threadId);
}

// Waits for thread to end. The render thread moves and restacks the overlay, a window of this
// thread, and may hand the program's end over to it, so the messages it sends are served meanwhile;
// posted ones (a further press, a close) wait for the pump, so nothing re-enters the caller.
void WaitServingSentMessages(HANDLE thread)
{
    while (MsgWaitForMultipleObjectsEx(1, &thread, INFINITE, QS_SENDMESSAGE, 0) != WAIT_OBJECT_0) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

} // namespace

void SetRenderStates(IDirect3DDevice9* device)
{
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
}

IDirect3DDevice9* CreateOverlay(int width, int height, FrameRoutine frame, HWND* windowPlace)
{
    // One render thread per device, and never two on one device.
    StopRenderThread();
    HWND window = CreateOverlayWindow(width, height);
    *windowPlace = window;
    if (!CreateOverlayDevice(window))
        return nullptr;
    CreateLabelFont(OverlayDevice);
    StartRenderThread(frame);
    return OverlayDevice;
}

DWORD WINAPI RenderThreadMain(LPVOID frameRoutine)
{
    const auto frame = reinterpret_cast<FrameRoutine>(frameRoutine);
    SetRenderStates(OverlayDevice);
    if (!frame)
        return 0;

    timeBeginPeriod(1); // so the pacer's short sleeps are not rounded up to the scheduler tick
    FramePacer pacer(OverlayRefreshRate);
    while (!StopRequested && OverlayDevice) {
        DrawFrame(frame);
        pacer.WaitForNextFrame();
    }
    timeEndPeriod(1);
    return 0;
}

void StopRenderThread()
{
    if (RenderThread) {
        StopRequested = true;
        WaitServingSentMessages(RenderThread);
        CloseHandle(RenderThread);
        RenderThread = nullptr;
    }
    ReleaseDeviceObjects();
    StopRequested = false;
}

void ReleaseOverlayDevice()
{
    if (OverlayDevice)
        OverlayDevice->EndScene();
    ReleaseDeviceObjects();
}

bool RenderThreadRunning()
{
    return RenderThread && WaitForSingleObject(RenderThread, 0) == WAIT_TIMEOUT;
}

void SetPresentStepForTesting(PresentStep step)
{
    Present = step ? step : PresentFrame;
}
