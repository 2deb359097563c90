#include "launcher/Launcher.h"

std::string DirectoryOfPath(const char* path)
{
    // The second byte of a GBK character may equal a backslash: step by characters, not bytes.
    const char* lastBackslash = nullptr;
    for (const char* at = path; *at; at = CharNextA(at))
        if (*at == '\\')
            lastBackslash = at;
    return lastBackslash ? std::string(path, lastBackslash) : std::string(path);
}

std::string GetRunDirectory()
{
    char modulePath[MAX_PATH]{};
    GetModuleFileNameA(nullptr, modulePath, sizeof modulePath);
    return DirectoryOfPath(modulePath);
}
