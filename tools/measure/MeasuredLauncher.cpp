// The launcher as shipped, with one addition for the benchmark and the soak: every Present is
// counted, and its thread and device noted, in a shared block that the probe reads. Nothing else
// differs, so the figures measured on it are the product's.
#include "FrameRecord.h"

#include "launcher/Launcher.h"
#include "overlay/Overlay.h"

#include <d3d9.h>

namespace {

FrameRecord* Record = nullptr;

LONG64 PerformanceCounterNow()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// Keeps value in the first free slot unless a slot holds it already.
void NoteInSlots(volatile LONG64 (&slots)[SeenSlots], LONG64 value)
{
    for (volatile LONG64& slot : slots) {
        if (slot == value)
            return;
        if (slot == 0 && InterlockedCompareExchange64(&slot, value, 0) == 0)
            return;
        if (slot == value)
            return; // another Present of the same thread or device took it meanwhile
    }
    InterlockedIncrement64(&Record->unrecorded);
}

HRESULT CountedPresent(IDirect3DDevice9* device)
{
    const HRESULT result = device->Present(nullptr, nullptr, nullptr, nullptr);
    InterlockedIncrement64(&Record->frames);
    InterlockedCompareExchange64(&Record->firstFrameCounter, PerformanceCounterNow(), 0);
    NoteInSlots(Record->presentThreads, static_cast<LONG64>(GetCurrentThreadId()));
    NoteInSlots(Record->presentDevices, static_cast<LONG64>(reinterpret_cast<INT_PTR>(device)));
    return result;
}

FrameRecord* CreateFrameRecord()
{
    char name[64];
    FrameRecordName(GetCurrentProcessId(), name);
    // Kept open until the process ends: the probe may open it at any time.
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(FrameRecord), name);
    if (!mapping)
        return nullptr;
    return static_cast<FrameRecord*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(FrameRecord)));
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    Record = CreateFrameRecord();
    if (Record)
        SetPresentStepForTesting(CountedPresent);
    return LauncherMain();
}
