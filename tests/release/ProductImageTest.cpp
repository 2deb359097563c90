// The executables themselves: what Windows reads from them before a line of ours runs.
#include "TestSupport.h"

#include <winver.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// A PE image read whole from disk, for the headers and the import table.
class PeFile {
public:
    explicit PeFile(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    bool Valid() const
    {
        return bytes_.size() > sizeof(IMAGE_DOS_HEADER) && Dos().e_magic == IMAGE_DOS_SIGNATURE &&
               At<DWORD>(Dos().e_lfanew) == IMAGE_NT_SIGNATURE;
    }
    WORD Machine() const { return FileHeader().Machine; }
    WORD Magic() const { return At<WORD>(OptionalHeaderOffset()); }
    WORD Subsystem() const
    {
        return Magic() == IMAGE_NT_OPTIONAL_HDR32_MAGIC ? At<IMAGE_OPTIONAL_HEADER32>(OptionalHeaderOffset()).Subsystem
                                                        : At<IMAGE_OPTIONAL_HEADER64>(OptionalHeaderOffset()).Subsystem;
    }

    // Names of the libraries the loader binds at load time.
    std::vector<std::string> ImportedLibraries() const
    {
        std::vector<std::string> names;
        const IMAGE_DATA_DIRECTORY imports = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
        for (DWORD at = FileOffset(imports.VirtualAddress); imports.Size && at; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(at);
            if (descriptor.Name == 0)
                break;
            names.emplace_back(&bytes_[FileOffset(descriptor.Name)]);
        }
        return names;
    }

private:
    template <typename T>
    T At(size_t offset) const
    {
        T value{};
        if (offset + sizeof(T) <= bytes_.size())
            std::memcpy(&value, &bytes_[offset], sizeof(T));
        return value;
    }
    IMAGE_DOS_HEADER Dos() const { return At<IMAGE_DOS_HEADER>(0); }
    size_t FileHeaderOffset() const { return Dos().e_lfanew + sizeof(DWORD); }
    IMAGE_FILE_HEADER FileHeader() const { return At<IMAGE_FILE_HEADER>(FileHeaderOffset()); }
    size_t OptionalHeaderOffset() const { return FileHeaderOffset() + sizeof(IMAGE_FILE_HEADER); }
    IMAGE_DATA_DIRECTORY Directory(int index) const
    {
        return Magic() == IMAGE_NT_OPTIONAL_HDR32_MAGIC
                   ? At<IMAGE_OPTIONAL_HEADER32>(OptionalHeaderOffset()).DataDirectory[index]
                   : At<IMAGE_OPTIONAL_HEADER64>(OptionalHeaderOffset()).DataDirectory[index];
    }
    // File offset of a relative virtual address, through the section table; 0 when outside.
    DWORD FileOffset(DWORD rva) const
    {
        const size_t sections = OptionalHeaderOffset() + FileHeader().SizeOfOptionalHeader;
        for (WORD i = 0; i < FileHeader().NumberOfSections; ++i) {
            const auto section = At<IMAGE_SECTION_HEADER>(sections + i * sizeof(IMAGE_SECTION_HEADER));
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData)
                return rva - section.VirtualAddress + section.PointerToRawData;
        }
        return 0;
    }

    std::vector<char> bytes_;
};

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
    const PeFile image(GetParam().path);
    ASSERT_TRUE(image.Valid()) << GetParam().path;
    EXPECT_EQ(GetParam().machine, image.Machine());
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, image.Subsystem());
}

TEST_P(ProductImageTest, BindsNoDirectXOrDwmLibraryAtLoadTime)
{
    const std::vector<std::string> libraries = PeFile(GetParam().path).ImportedLibraries();
    ASSERT_FALSE(libraries.empty()) << "no import table read from " << GetParam().path;
    for (const std::string& library : libraries)
        for (const char* lateBound : {"d3d9.dll", "d3dx9_43.dll", "dwmapi.dll"})
            EXPECT_NE(0, lstrcmpiA(library.c_str(), lateBound)) << library << " is imported at load time";
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
