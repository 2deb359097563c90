// Finding the editor by its image name among real processes, and the name comparison itself.
#include "TestSupport.h"

#include "discovery/Discovery.h"
#include "shared/SharedState.h"

#include <tlhelp32.h>

#include <memory>
#include <string>

namespace {

// ---- the comparison: pure cases ------------------------------------------------------------

struct NameCase {
    const char* name;
    const char* wanted;
    const char* imageName;
    bool same;
};

const NameCase NameCases[] = {
    {"identical", "Sparkwright汉化版.exe", "Sparkwright汉化版.exe", true},
    {"Latin letters in upper case", "Sparkwright汉化版.exe", "SPARKWRIGHT汉化版.EXE", true},
    {"Latin letters in lower case", "SPARKWRIGHT汉化版.EXE", "sparkwright汉化版.exe", true},
    {"other Chinese character", "Sparkwright汉化版.exe", "Sparkwright汉化板.exe", false},
    // 乤 (81 61) and 丄 (81 41): the trail bytes are 'a' and 'A', but these are two characters.
    {"trail byte 'a' is not folded to 'A'", "\x81\x61.exe", "\x81\x41.exe", false},
    {"trail byte 'A' is not folded to 'a'", "x\x81\x41", "X\x81\x61", false},
    // 癮 (B0 61) and 癆 (B0 41)
    {"trail byte 'a' is not folded inside a name", "Spark\xB0\x61.exe", "spark\xB0\x41.exe", false},
    {"same character with a letter as trail byte", "\x81\x61.exe", "\x81\x61.EXE", true},
    {"full-width letters of other case", "ＳＰＡＲＫ.exe", "ｓｐａｒｋ.exe", true},
    {"longer: further characters after", "Sparkwright汉化版.exe", "Sparkwright汉化版.exe.exe", false},
    {"longer: further characters before", "Sparkwright汉化版.exe", "XSparkwright汉化版.exe", false},
    {"shorter: a character missing", "Sparkwright汉化版.exe", "Sparkwright汉化.exe", false},
    {"shorter: wanted name is longer", "Sparkwright汉化版.exe", "Sparkwright", false},
    {"empty image name", "Sparkwright汉化版.exe", "", false},
};

TEST(SameImageName, ComparesWholeNamesByCharacterIgnoringLetterCase)
{
    for (const NameCase& row : NameCases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.same, SameImageName(row.wanted, row.imageName))
            << "wanted \"" << row.wanted << "\", image name \"" << row.imageName << "\"";
    }
}

// ---- the lookup against real processes -----------------------------------------------------

// Copies of the stand-in editor under names that come close to the editor's without being it.
const char* const NearMissNames[] = {
    "XSparkwright汉化版.exe",     // a character before
    "Sparkwright汉化版.exe.exe",  // characters after
    "Sparkwright汉化.exe",        // a character missing
};
constexpr char UpperCaseEditorName[] = "SPARKWRIGHT汉化版.EXE";
constexpr char NobodysName[] = "Nowhere.exe";

// Waits until process has a message queue, and so shows in the process list with its image name.
void WaitUntilSettled(const ChildProcess& process)
{
    if (process.Started())
        WaitForInputIdle(process.Handle(), ProcessStartDeadlineMs);
}

class ProcessLookup : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Folder = std::make_unique<ScratchFolder>("lookup");
        ASSERT_TRUE(Folder->CopyIn(StandInEditorPath(), EditorImageName));
        ASSERT_TRUE(Folder->CopyIn(StandInEditorPath(), UpperCaseEditorName));
        for (int i = 0; i < NearMissCount; ++i) {
            ASSERT_TRUE(Folder->CopyIn(StandInEditorPath(), NearMissNames[i]));
            NearMisses[i] = ChildProcess::Start(Folder->File(NearMissNames[i]), "--hidden");
        }
        for (const ChildProcess& nearMiss : NearMisses)
            WaitUntilSettled(nearMiss);
    }

    static void TearDownTestSuite()
    {
        for (ChildProcess& nearMiss : NearMisses)
            nearMiss.Terminate();
        Folder.reset();
    }

    void SetUp() override
    {
        for (const ChildProcess& nearMiss : NearMisses)
            ASSERT_TRUE(nearMiss.Running()) << "a near-miss process did not start or has ended";
    }

    static void AssertNoEditorRuns()
    {
        ASSERT_EQ(0u, FindProcessByName(EditorImageName)) << "an editor from elsewhere is still running";
    }

    static ChildProcess StartCopy(const char* name)
    {
        ChildProcess copy = ChildProcess::Start(Folder->File(name), "--hidden");
        WaitUntilSettled(copy);
        EXPECT_TRUE(copy.Running()) << name << " did not start";
        return copy;
    }

    static constexpr int NearMissCount = sizeof NearMissNames / sizeof NearMissNames[0];
    static std::unique_ptr<ScratchFolder> Folder;
    static ChildProcess NearMisses[NearMissCount];
};

std::unique_ptr<ScratchFolder> ProcessLookup::Folder;
ChildProcess ProcessLookup::NearMisses[ProcessLookup::NearMissCount];

TEST_F(ProcessLookup, LongerOrShorterNamesDoNotMatch)
{
    EXPECT_EQ(0u, FindProcessByName(EditorImageName));
    EXPECT_EQ(0u, FindProcessByName(NobodysName));
    // Each of them is in the list, so the editor's name was really compared with theirs.
    for (int i = 0; i < NearMissCount; ++i) {
        SCOPED_TRACE(NearMissNames[i]);
        EXPECT_EQ(NearMisses[i].Id(), FindProcessByName(NearMissNames[i]));
    }
}

TEST_F(ProcessLookup, LetterCaseOfTheImageNameDoesNotMatter)
{
    ASSERT_NO_FATAL_FAILURE(AssertNoEditorRuns());
    const ChildProcess upperCaseEditor = StartCopy(UpperCaseEditorName);
    const char* const wantedNames[] = {EditorImageName, "sparkwright汉化版.exe", UpperCaseEditorName};
    for (const char* wanted : wantedNames) {
        SCOPED_TRACE(wanted);
        EXPECT_EQ(upperCaseEditor.Id(), FindProcessByName(wanted));
    }
}

// Our own walk of the process list: which of two processes it shows first.
DWORD FirstListedOf(DWORD one, DWORD other)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    DWORD first = 0;
    PROCESSENTRY32 record{};
    record.dwSize = sizeof record;
    for (BOOL more = Process32First(snapshot, &record); more && !first; more = Process32Next(snapshot, &record))
        if (record.th32ProcessID == one || record.th32ProcessID == other)
            first = record.th32ProcessID;
    CloseHandle(snapshot);
    return first;
}

TEST_F(ProcessLookup, OfTwoEditorsTheFirstListedIsFound)
{
    ASSERT_NO_FATAL_FAILURE(AssertNoEditorRuns());
    const ChildProcess editor = StartCopy(EditorImageName);
    const ChildProcess upperCaseEditor = StartCopy(UpperCaseEditorName);
    const DWORD firstListed = FirstListedOf(editor.Id(), upperCaseEditor.Id());
    ASSERT_NE(0u, firstListed) << "neither editor is in the process list";
    EXPECT_EQ(firstListed, FindProcessByName(EditorImageName));
}

} // namespace
