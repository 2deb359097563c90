#pragma once
// Processor time of a process as the host's kernel counts it. Under Wine a process's Direct3D
// work largely runs in threads of the host's graphics driver, which Windows calls never see;
// the kernel's /proc figures, read through Wine's Z: drive, include them. Where there is no
// /proc (on Windows), the caller falls back to GetProcessTimes.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// The kernel's clock ticks in /proc/PID/stat: fixed at 100 per second on x86 Linux.
constexpr LONG64 ProcTicksPerSecond = 100;

// The whole of a /proc file in buffer (NUL-terminated); false when it cannot be read.
inline bool ReadProcFile(const char* path, char* buffer, DWORD size)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD length = 0;
    const BOOL read = ReadFile(file, buffer, size - 1, &length, nullptr);
    CloseHandle(file);
    buffer[read ? length : 0] = '\0';
    return read && length > 0;
}

// The host's process id of the one process whose program, as the host sees its first argument,
// has the file name fileName (letter case ignored); 0 when there is none, or more than one, or
// no /proc. Files are opened by Wine's server, so /proc/self would name the server: the process
// is found by its command line instead.
inline LONG64 HostProcessIdOf(const char* fileName)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    LONG64 found = 0;
    int matches = 0;
    do {
        const LONG64 id = std::atoll(entry.cFileName);
        char path[64];
        char commandLine[4096];
        std::snprintf(path, sizeof path, "Z:\\proc\\%lld\\cmdline", static_cast<long long>(id));
        if (id <= 0 || !ReadProcFile(path, commandLine, sizeof commandLine))
            continue;
        // The first argument ends at the first NUL; its file name follows the last separator.
        const char* name = commandLine;
        for (const char* at = commandLine; *at; ++at)
            if (*at == '\\' || *at == '/')
                name = at + 1;
        if (lstrcmpiA(name, fileName) == 0) {
            found = id;
            ++matches;
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return matches == 1 ? found : 0;
}

// User plus system time of the host's process, in 100 ns units, or -1 when it cannot be read.
inline LONG64 HostProcessCpuTime100ns(LONG64 hostProcessId)
{
    char path[64];
    std::snprintf(path, sizeof path, "Z:\\proc\\%lld\\stat", static_cast<long long>(hostProcessId));
    char stat[2048];
    if (hostProcessId <= 0 || !ReadProcFile(path, stat, sizeof stat))
        return -1;
    // The command name in parentheses may hold blanks and parentheses: fields count from the last ')'.
    const char* field = std::strrchr(stat, ')');
    if (!field)
        return -1;
    // After the name: state (field 3) ... utime (field 14), stime (field 15).
    constexpr int FieldsToUserTime = 12;
    for (int skipped = 0; skipped < FieldsToUserTime && field; ++skipped)
        field = std::strchr(field + 1, ' ');
    if (!field)
        return -1;
    char* end = nullptr;
    const LONG64 userTicks = std::strtoll(field + 1, &end, 10);
    const LONG64 systemTicks = std::strtoll(end, nullptr, 10);
    return (userTicks + systemTicks) * (10000000 / ProcTicksPerSecond);
}
