// The executables themselves: what Windows reads from them before a line of ours runs.
#include "TestSupport.h"

#include <winver.h>

#include <algorithm>

namespace {

struct ProductImage {
    const char* name;
    std::string path;
    WORD machine;
    const char* manifestArchitecture;
};

// The 32-bit product is what ships; the 64-bit build of the same sources is what the tests run.
std::vector<ProductImage> ProductImages()
{
    return {
        {"i686 product", PRODUCT_I686_LAUNCHER, IMAGE_FILE_MACHINE_I386, "processorArchitecture=\"x86\""},
        {"x86_64 test build", LauncherPath(), IMAGE_FILE_MACHINE_AMD64, "processorArchitecture=\"amd64\""},
    };
}

std::string ResourceText(HMODULE module, LPCSTR type, LPCSTR name)
{
    HRSRC resource = FindResourceA(module, name, type);
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    return data ? std::string(data, SizeofResource(module, resource)) : std::string();
}

class ProductImageTest : public testing::TestWithParam<ProductImage> {};

TEST_P(ProductImageTest, IsAWindowsGuiProgramForItsMachine)
{
    WORD machine = 0;
    WORD subsystem = 0;
    ASSERT_TRUE(ReadImageKind(GetParam().path, machine, subsystem)) << GetParam().path << " is no readable PE image";
    EXPECT_EQ(GetParam().machine, machine);
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, subsystem);
}

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

// The launcher must start on a machine without the Direct3D, D3DX or DWM libraries: none of
// them may be among the libraries the loader resolves (or delay-loads) for it.
TEST_P(ProductImageTest, BindsNoDirectXOrDwmLibraryAtLoadTime)
{
    std::vector<std::string> libraries;
    ASSERT_TRUE(ReadImportedLibraries(GetParam().path, libraries)) << GetParam().path << " is no readable PE image";
    // The reader must see the libraries the launcher does link, or an empty list proves nothing.
    ASSERT_TRUE(Names(libraries, "kernel32.dll")) << "imports read: " << Joined(libraries);
    ASSERT_TRUE(Names(libraries, "user32.dll")) << "imports read: " << Joined(libraries);
    for (const char* library : {"d3d9.dll", "d3dx9_43.dll", "dwmapi.dll"}) {
        SCOPED_TRACE(library);
        EXPECT_FALSE(Names(libraries, library)) << "imports read: " << Joined(libraries);
    }
}

TEST_P(ProductImageTest, CarriesManifestIconAndChineseVersion)
{
    HMODULE module = LoadLibraryExA(GetParam().path.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, module) << GetParam().path << " error " << GetLastError();

    const std::string manifest = ResourceText(module, RT_MANIFEST, MAKEINTRESOURCEA(1));
    EXPECT_NE(std::string::npos, manifest.find("level=\"requireAdministrator\"")) << manifest;
    EXPECT_NE(std::string::npos, manifest.find("uiAccess=\"false\"")) << manifest;
    EXPECT_NE(std::string::npos, manifest.find("Microsoft.Windows.Common-Controls")) << manifest;
    EXPECT_NE(std::string::npos, manifest.find("version=\"6.0.0.0\"")) << manifest;
    EXPECT_NE(std::string::npos, manifest.find(GetParam().manifestArchitecture)) << manifest;
    EXPECT_NE(nullptr, FindResourceA(module, MAKEINTRESOURCEA(1), RT_GROUP_ICON)) << "no application icon";
    FreeLibrary(module);

    DWORD ignored = 0;
    std::vector<char> version(GetFileVersionInfoSizeA(GetParam().path.c_str(), &ignored));
    ASSERT_FALSE(version.empty()) << "no version resource";
    ASSERT_TRUE(GetFileVersionInfoA(GetParam().path.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(version.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(0, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(0, 1), fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(version.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_GE(length, 2 * sizeof(WORD));
    EXPECT_EQ(0x0804, translation[0]) << "language";
    EXPECT_EQ(1200, translation[1]) << "code page";
}

INSTANTIATE_TEST_SUITE_P(Executables, ProductImageTest, testing::ValuesIn(ProductImages()),
                         [](const testing::TestParamInfo<ProductImage>& info) {
                             return info.param.machine == IMAGE_FILE_MACHINE_I386 ? "i686" : "x86_64";
                         });

} // namespace
