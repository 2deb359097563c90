#pragma once
// Entry points outside our own code (Direct3D 9, D3DX 9, the DWM, MessageBoxTimeoutA) are
// looked up by name at their first call and kept, so the launcher starts without them.
#include <windows.h>

// The address of name in library, looked up at the first call and kept. A library or entry
// point that cannot be found is fatal: a message box names both and the process ends.
FARPROC BindEntryPoint(const char* library, const char* name);

// Typed form of BindEntryPoint.
template <typename Function>
Function BindEntryPointAs(const char* library, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(BindEntryPoint(library, name)));
}

// Exit code of a process that ended because an outside entry point is missing.
constexpr UINT MissingEntryPointExitCode = 3;

// Test seam: makes BindEntryPoint answer address for library!name from now on.
void SetEntryPointForTesting(const char* library, const char* name, FARPROC address);
