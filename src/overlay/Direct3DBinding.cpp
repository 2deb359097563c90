#include "overlay/Overlay.h"

#include "shared/EntryPoints.h"

#include <d3d9.h>
#include <d3dx9core.h>
#include <uxtheme.h>

IDirect3D9* CallDirect3DCreate9(UINT sdkVersion)
{
    using Function = IDirect3D9*(WINAPI*)(UINT);
    return BindEntryPointAs<Function>("d3d9.dll", "Direct3DCreate9")(sdkVersion);
}

HRESULT CallD3DXCreateFontA(IDirect3DDevice9* device, INT height, UINT width, UINT weight, UINT mipLevels,
                            BOOL italic, DWORD charSet, DWORD outputPrecision, DWORD quality,
                            DWORD pitchAndFamily, LPCSTR faceName, ID3DXFont** font)
{
    using Function = HRESULT(WINAPI*)(IDirect3DDevice9*, INT, UINT, UINT, UINT, BOOL, DWORD, DWORD, DWORD, DWORD,
                                      LPCSTR, ID3DXFont**);
    return BindEntryPointAs<Function>("d3dx9_43.dll", "D3DXCreateFontA")(
        device, height, width, weight, mipLevels, italic, charSet, outputPrecision, quality, pitchAndFamily, faceName,
        font);
}

HRESULT CallDwmExtendFrameIntoClientArea(HWND window, int left, int right, int top, int bottom)
{
    using Function = HRESULT(WINAPI*)(HWND, const MARGINS*);
    MARGINS margins{};
    margins.cxLeftWidth = left;
    margins.cxRightWidth = right;
    margins.cyTopHeight = top;
    margins.cyBottomHeight = bottom;
    return BindEntryPointAs<Function>("dwmapi.dll", "DwmExtendFrameIntoClientArea")(window, &margins);
}
