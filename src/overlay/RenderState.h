#pragma once
// What the overlay's device set-up and its render thread share inside this folder.
#include <d3d9.h>

extern IDirect3D9* OverlayDirect3D;                     // the object the running device was made from
extern D3DPRESENT_PARAMETERS OverlayPresentParameters;  // kept for Reset
extern UINT OverlayRefreshRate;                         // frames per second the render thread aims at

void SetRenderStates(IDirect3DDevice9* device);
void ResetOverlayDevice();     // render thread, after a lost device can be reset
void ReleaseDeviceObjects();   // font, device and Direct3D object, once no thread draws on them
