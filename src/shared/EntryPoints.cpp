#include "shared/EntryPoints.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct BoundEntryPoint {
    std::string library;
    std::string name;
    FARPROC address;
};

std::vector<BoundEntryPoint> Bound;
SRWLOCK BoundLock = SRWLOCK_INIT;

BoundEntryPoint* FindBound(const char* library, const char* name)
{
    for (BoundEntryPoint& entry : Bound)
        if (lstrcmpiA(entry.library.c_str(), library) == 0 && entry.name == name)
            return &entry;
    return nullptr;
}

void Keep(const char* library, const char* name, FARPROC address)
{
    if (BoundEntryPoint* entry = FindBound(library, name))
        entry->address = address;
    else
        Bound.push_back(BoundEntryPoint{library, name, address});
}

[[noreturn]] void FailMissingEntryPoint(const char* library, const char* name)
{
    char text[256];
    std::snprintf(text, sizeof text, "无法在 %s 中找到 %s，程序将退出。\n\n%s: %s", library, name, library, name);
    MessageBoxA(nullptr, text, "缺少系统组件", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    ExitProcess(MissingEntryPointExitCode);
}

FARPROC LookUp(const char* library, const char* name)
{
    HMODULE module = LoadLibraryA(library);
    FARPROC address = module ? GetProcAddress(module, name) : nullptr;
    if (!address)
        FailMissingEntryPoint(library, name);
    return address;
}

} // namespace

FARPROC BindEntryPoint(const char* library, const char* name)
{
    AcquireSRWLockExclusive(&BoundLock);
    BoundEntryPoint* entry = FindBound(library, name);
    FARPROC address = entry ? entry->address : nullptr;
    ReleaseSRWLockExclusive(&BoundLock);
    if (address)
        return address;

    // Looked up outside the lock: the fatal box must not hold it while it waits for the user.
    address = LookUp(library, name);
    AcquireSRWLockExclusive(&BoundLock);
    Keep(library, name, address);
    ReleaseSRWLockExclusive(&BoundLock);
    return address;
}

void SetEntryPointForTesting(const char* library, const char* name, FARPROC address)
{
    AcquireSRWLockExclusive(&BoundLock);
    Keep(library, name, address);
    ReleaseSRWLockExclusive(&BoundLock);
}
