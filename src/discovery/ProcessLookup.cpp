#include "discovery/Discovery.h"

#include <tlhelp32.h>

#include <cstring>

namespace {

// One character of an ANSI string: a lead byte of the code page together with its trail byte,
// or a single byte. Returns the character's length, 0 at the end of the string.
int CharacterLength(const char* text)
{
    if (text[0] == '\0')
        return 0;
    return IsDBCSLeadByte(static_cast<BYTE>(text[0])) && text[1] != '\0' ? 2 : 1;
}

char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameCharacter(const char* a, const char* b, int length)
{
    // Plain ASCII needs no locale call; the name is compared once per process every frame.
    if (length == 1 && static_cast<BYTE>(*a) < 0x80 && static_cast<BYTE>(*b) < 0x80)
        return UpperAscii(*a) == UpperAscii(*b);
    char upperA[4]{};
    char upperB[4]{};
    int lengthA = LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, a, length, upperA, sizeof upperA);
    int lengthB = LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, b, length, upperB, sizeof upperB);
    if (lengthA == 0 || lengthB == 0)
        return std::memcmp(a, b, length) == 0;
    return lengthA == lengthB && std::memcmp(upperA, upperB, lengthA) == 0;
}

} // namespace

bool SameImageName(const char* wanted, const char* imageName)
{
    for (;;) {
        int length = CharacterLength(wanted);
        if (length != CharacterLength(imageName))
            return false;
        if (length == 0)
            return true;
        if (!SameCharacter(wanted, imageName, length))
            return false;
        wanted += length;
        imageName += length;
    }
}

DWORD FindProcessByName(const char* name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;

    DWORD found = 0;
    PROCESSENTRY32 record{};
    record.dwSize = sizeof record;
    for (BOOL more = Process32First(snapshot, &record); more; more = Process32Next(snapshot, &record)) {
        // The image name field need not hold a NUL when the name fills it.
        char imageName[sizeof record.szExeFile + 1]{};
        std::memcpy(imageName, record.szExeFile, sizeof record.szExeFile);
        if (SameImageName(name, imageName)) {
            found = record.th32ProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    return found;
}
