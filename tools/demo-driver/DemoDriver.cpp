// demo-driver press              waits for the launcher's window and presses its button
// demo-driver close              closes the launcher's window
// demo-driver frame FILE.bgra    draws one overlay frame with the captions and writes its
//                                pixels (1440 x 1000, 8-bit B, G, R, A) to FILE.bgra
#include "labels/Labels.h"
#include "overlay/Overlay.h"
#include "shared/SharedState.h"

#include <windows.h>
#include <d3d9.h>
#include <d3dx9core.h>

// The tests read the back buffer the same way.
#include "D3DReadBack.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char LauncherClassName[] = "SparkwrightLocalizer";
constexpr DWORD LauncherDeadlineMs = 30000;
constexpr int FrameWidth = 1440;
constexpr int FrameHeight = 1000;

HWND WaitForLauncherWindow()
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < LauncherDeadlineMs) {
        HWND window = FindWindowA(LauncherClassName, nullptr);
        if (window && IsWindowVisible(window))
            return window;
        Sleep(100);
    }
    std::fprintf(stderr, "demo-driver: the launcher window did not appear\n");
    return nullptr;
}

int Press()
{
    HWND launcher = WaitForLauncherWindow();
    HWND button = launcher ? FindWindowExA(launcher, nullptr, "BUTTON", nullptr) : nullptr;
    if (!button)
        return 1;
    PostMessageA(button, BM_CLICK, 0, 0);
    return 0;
}

int Close()
{
    HWND launcher = FindWindowA(LauncherClassName, nullptr);
    if (!launcher)
        return 1;
    PostMessageA(launcher, WM_CLOSE, 0, 0);
    return 0;
}

bool WriteBackBuffer(IDirect3DDevice9* device, const char* path)
{
    const BackBufferPixels read = ReadBackBufferPixels(device);
    if (FAILED(read.result) || read.desc.Width != static_cast<UINT>(FrameWidth) ||
        read.desc.Height != static_cast<UINT>(FrameHeight))
        return false;
    // 0xAARRGGBB pixels lie in memory as the bytes B, G, R, A.
    FILE* file = std::fopen(path, "wb");
    if (!file)
        return false;
    const size_t written = std::fwrite(read.pixels.data(), sizeof(DWORD), read.pixels.size(), file);
    const bool complete = written == read.pixels.size();
    return std::fclose(file) == 0 && complete;
}

int RenderFrame(const char* path)
{
    RECT labelRect{};
    LabelRect = &labelRect;
    HWND window = CreateOverlayWindow(FrameWidth, FrameHeight);
    IDirect3DDevice9* device = CreateOverlayDevice(window);
    if (!device)
        return 1;
    CreateLabelFont(device);
    // The same frame the render thread draws while the editor is shown, read back with its alpha.
    device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(0, 0, 0, 0), 1.0f, 0);
    device->BeginScene();
    DrawLabels();
    device->EndScene();
    return WriteBackBuffer(device, path) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "press") == 0)
        return Press();
    if (argc >= 2 && std::strcmp(argv[1], "close") == 0)
        return Close();
    if (argc >= 3 && std::strcmp(argv[1], "frame") == 0)
        return RenderFrame(argv[2]);
    std::fprintf(stderr, "usage: demo-driver press | close | frame FILE.bgra\n");
    return 2;
}
