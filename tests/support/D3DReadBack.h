#pragma once
// Reading a Direct3D 9 device's back buffer back into system memory, where its alpha can still
// be seen (a screenshot carries none). Header only, so that the demo driver, which writes a frame
// to a file, reads it the same way as the tests.
#include <windows.h>

#include <d3d9.h>

#include <vector>

struct BackBufferPixels {
    HRESULT result = E_FAIL;   // of the first step that failed, or S_OK
    D3DSURFACE_DESC desc{};    // of the back buffer, once it could be described
    std::vector<DWORD> pixels; // 0xAARRGGBB, row by row from the top; filled only on success
};

// Only the thread that owns the device may call it: the overlay's device is made without
// D3DCREATE_MULTITHREADED. Reads 32-bit pixels only; any other format gives
// D3DERR_WRONGTEXTUREFORMAT rather than rows read past their end.
inline BackBufferPixels ReadBackBufferPixels(IDirect3DDevice9* device)
{
    BackBufferPixels read;
    IDirect3DSurface9* backBuffer = nullptr;
    IDirect3DSurface9* copy = nullptr;
    read.result = device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
    if (SUCCEEDED(read.result))
        read.result = backBuffer->GetDesc(&read.desc);
    if (SUCCEEDED(read.result) && read.desc.Format != D3DFMT_A8R8G8B8 && read.desc.Format != D3DFMT_X8R8G8B8)
        read.result = D3DERR_WRONGTEXTUREFORMAT;
    if (SUCCEEDED(read.result))
        read.result = device->CreateOffscreenPlainSurface(read.desc.Width, read.desc.Height, read.desc.Format,
                                                          D3DPOOL_SYSTEMMEM, &copy, nullptr);
    if (SUCCEEDED(read.result))
        read.result = device->GetRenderTargetData(backBuffer, copy);
    D3DLOCKED_RECT locked{};
    if (SUCCEEDED(read.result))
        read.result = copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    if (SUCCEEDED(read.result)) {
        read.pixels.reserve(static_cast<size_t>(read.desc.Width) * read.desc.Height);
        for (UINT y = 0; y < read.desc.Height; ++y) {
            const auto* row = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) +
                                                             static_cast<size_t>(y) * locked.Pitch);
            read.pixels.insert(read.pixels.end(), row, row + read.desc.Width);
        }
        copy->UnlockRect();
    }
    if (copy)
        copy->Release();
    if (backBuffer)
        backBuffer->Release();
    return read;
}
