#include "overlay/Overlay.h"

#include "overlay/RenderState.h"
#include "shared/SharedState.h"

#include <d3d9.h>
#include <d3dx9core.h>

namespace {

// Assumed when the adapter does not report its refresh rate.
constexpr UINT DefaultRefreshRate = 60;

void FillPresentParameters(D3DPRESENT_PARAMETERS& parameters)
{
    parameters = D3DPRESENT_PARAMETERS{};
    parameters.BackBufferFormat = D3DFMT_A8R8G8B8;               // per-pixel alpha for the glass
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.Windowed = TRUE;                                  // back buffer sized by the client area
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_ONE;   // Present waits for the retrace
}

UINT AdapterRefreshRate(IDirect3D9* direct3D)
{
    D3DDISPLAYMODE mode{};
    if (FAILED(direct3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode)) || mode.RefreshRate == 0)
        return DefaultRefreshRate;
    return mode.RefreshRate;
}

} // namespace

IDirect3D9* OverlayDirect3D = nullptr;
D3DPRESENT_PARAMETERS OverlayPresentParameters{};
UINT OverlayRefreshRate = DefaultRefreshRate;

IDirect3DDevice9* CreateOverlayDevice(HWND window)
{
    OverlayDevice = nullptr;
    OverlayDirect3D = CallDirect3DCreate9(D3D_SDK_VERSION);
    if (!OverlayDirect3D)
        return nullptr;
    OverlayRefreshRate = AdapterRefreshRate(OverlayDirect3D);

    FillPresentParameters(OverlayPresentParameters);
    OverlayDirect3D->CreateDevice(D3DADAPTER_DEFAULT,
                                  D3DDEVTYPE_HAL,
                                  window,                              // focus window, presented to
                                  D3DCREATE_SOFTWARE_VERTEXPROCESSING, // one thread at a time uses it
                                  &OverlayPresentParameters,
                                  &OverlayDevice);
    if (!OverlayDevice) {
        OverlayDirect3D->Release();
        OverlayDirect3D = nullptr;
    }
    return OverlayDevice;
}

void CreateLabelFont(IDirect3DDevice9* device)
{
    LabelFont = nullptr;
    CallD3DXCreateFontA(device,
                        13,                    // height
                        0,                     // width: from the height
                        9,                     // weight
                        0,                     // mip levels
                        FALSE,                 // not italic
                        5,                     // character set
                        OUT_DEFAULT_PRECIS,
                        ANTIALIASED_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE,
                        "Verdana",
                        &LabelFont);
}

void ReleaseDeviceObjects()
{
    if (LabelFont)
        LabelFont->Release();
    LabelFont = nullptr;
    if (OverlayDevice)
        OverlayDevice->Release();
    OverlayDevice = nullptr;
    if (OverlayDirect3D)
        OverlayDirect3D->Release();
    OverlayDirect3D = nullptr;
}

void ResetOverlayDevice()
{
    // The font's device objects must go before Reset and come back after it.
    if (LabelFont)
        LabelFont->OnLostDevice();
    if (FAILED(OverlayDevice->Reset(&OverlayPresentParameters)))
        return; // tried again on the next frame
    SetRenderStates(OverlayDevice);
    if (LabelFont)
        LabelFont->OnResetDevice();
}
