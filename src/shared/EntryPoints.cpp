#include "shared/EntryPoints.h"

#include <cstdio>
#include <cstring>

namespace {

struct BoundEntryPoint {
    char library[32];
    char name[64];
    FARPROC address;
};

// Room for every outside entry point the program uses, with space to spare.
constexpr int MaxEntryPoints = 16;

BoundEntryPoint Bound[MaxEntryPoints];
int BoundCount = 0;
SRWLOCK BoundLock = SRWLOCK_INIT;

BoundEntryPoint* FindBound(const char* library, const char* name)
{
    for (int i = 0; i < BoundCount; ++i)
        if (lstrcmpiA(Bound[i].library, library) == 0 && std::strcmp(Bound[i].name, name) == 0)
            return &Bound[i];
    return nullptr;
}

void Keep(const char* library, const char* name, FARPROC address)
{
    BoundEntryPoint* entry = FindBound(library, name);
    if (!entry && BoundCount < MaxEntryPoints) {
        entry = &Bound[BoundCount++];
        lstrcpynA(entry->library, library, sizeof entry->library);
        lstrcpynA(entry->name, name, sizeof entry->name);
    }
    if (entry)
        entry->address = address;
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
