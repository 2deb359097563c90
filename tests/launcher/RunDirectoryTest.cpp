// The run directory: the launcher's folder, taken from its own path without a trailing backslash.
#include "TestSupport.h"

#include "launcher/Launcher.h"

#include <string>

namespace {

// "誠" in GBK: its second byte has the value of a backslash.
#define BACKSLASH_TRAIL_CHARACTER "\xD5\x5C"

struct DirectoryCase {
    const char* name;
    const char* path;
    const char* directory;
};

const DirectoryCase DirectoryCases[] = {
    {"plain folder", "C:\\tools\\localizer\\x.exe", "C:\\tools\\localizer"},
    {"drive root gives the drive alone", "C:\\x.exe", "C:"},
    {"folder with blanks", "C:\\Program Files\\my tools\\x.exe", "C:\\Program Files\\my tools"},
    {"Chinese folder", "D:\\汉化\\软件\\x.exe", "D:\\汉化\\软件"},
    {"trail byte 0x5C inside a folder name", "C:\\a" BACKSLASH_TRAIL_CHARACTER "b\\x.exe",
     "C:\\a" BACKSLASH_TRAIL_CHARACTER "b"},
    {"trail byte 0x5C ending a folder name", "C:\\tools " BACKSLASH_TRAIL_CHARACTER "\\x.exe",
     "C:\\tools " BACKSLASH_TRAIL_CHARACTER},
    // Here a byte-wise search would cut inside the last character and keep its lead byte.
    {"trail byte 0x5C ending the file name", "C:\\tools\\x" BACKSLASH_TRAIL_CHARACTER, "C:\\tools"},
    {"file name of trail-0x5C characters only", "C:\\tools\\" BACKSLASH_TRAIL_CHARACTER BACKSLASH_TRAIL_CHARACTER,
     "C:\\tools"},
};

TEST(RunDirectory, DirectoryOfPathRemovesTheLastBackslashAndWhatFollows)
{
    for (const DirectoryCase& row : DirectoryCases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(std::string(row.directory), DirectoryOfPath(row.path)) << "path: " << row.path;
    }
}

// The folder of this program, worked out in UTF-16, where no byte can pass for a backslash.
std::string FolderOfThisProgramViaUtf16()
{
    wchar_t path[MAX_PATH]{};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.erase(folder.rfind(L'\\'));
    char ansi[2 * MAX_PATH]{};
    WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
    return ansi;
}

TEST(RunDirectory, RunDirectoryIsTheFolderOfTheRunningProgram)
{
    const std::string runDirectory = GetRunDirectory();
    EXPECT_EQ(FolderOfThisProgramViaUtf16(), runDirectory);
    ASSERT_FALSE(runDirectory.empty());
    EXPECT_NE('\\', runDirectory.back());
    // (The same from a folder whose name holds a trail byte 0x5C: LauncherStartTest.)
}

} // namespace
