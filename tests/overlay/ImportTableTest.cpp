// The launcher must start on a machine without the Direct3D, D3DX or DWM libraries: none of
// them may appear among the libraries the loader resolves before the program runs.
#include "TestSupport.h"

#include <algorithm>

namespace {

bool Names(const std::vector<std::string>& libraries, const char* library)
{
    return std::any_of(libraries.begin(), libraries.end(),
                       [&](const std::string& name) { return lstrcmpiA(name.c_str(), library) == 0; });
}

std::string Joined(const std::vector<std::string>& libraries)
{
    std::string text;
    for (const std::string& name : libraries)
        text += name + " ";
    return text;
}

TEST(LauncherImports, NoGraphicsOrDwmLibraryIsLinkedAtLoadTime)
{
    std::vector<std::string> libraries;
    ASSERT_TRUE(ReadImportedLibraries(LauncherPath(), libraries)) << LauncherPath() << " is no readable PE image";
    // The reader must see the libraries the launcher does link, or an empty list proves nothing.
    ASSERT_TRUE(Names(libraries, "kernel32.dll")) << "imports read: " << Joined(libraries);
    ASSERT_TRUE(Names(libraries, "user32.dll")) << "imports read: " << Joined(libraries);

    for (const char* library : {"d3d9.dll", "d3dx9_43.dll", "dwmapi.dll"}) {
        SCOPED_TRACE(library);
        EXPECT_FALSE(Names(libraries, library)) << "imports read: " << Joined(libraries);
    }
}

} // namespace
