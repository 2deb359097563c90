// The texts reach the ANSI interfaces as GBK bytes, whatever the source file's encoding.
// (The button's text is read back from the real launcher window in LauncherStartTest.)
#include "TestSupport.h"

#include "shared/SharedState.h"

#include <cstring>

namespace {

TEST(TextEncoding, EditorImageNameIsGbk)
{
    const char expected[] = "Sparkwright\xBA\xBA\xBB\xAF\xB0\xE6.exe"; // Sparkwright汉化版.exe
    ASSERT_EQ(std::strlen(expected), std::strlen(EditorImageName));
    EXPECT_EQ(0, std::memcmp(expected, EditorImageName, sizeof expected));
}

TEST(TextEncoding, StandInEditorIsFoundByThatName)
{
    // The build names the file in UTF-8 on the Linux side; under the Chinese code page Wine
    // must show it to the ANSI interfaces as the same GBK bytes.
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((BuildDirectory() + "\\" + EditorImageName).c_str()));
}

} // namespace
