// The fatal path of the by-name binding, in a child process: the box names what is missing,
// waits for the user, and the process ends with its own exit code.
#include "TestSupport.h"

#include "shared/EntryPoints.h"

namespace {

// Exit code of the child mode when the binding returned instead of ending the process.
constexpr int BindingReturnedExitCode = 90;

// A box that waits for the user leaves the process running; this shows it does not end early.
constexpr DWORD WaitingProofMs = 300;

// Binds argv[0]!argv[1], which must end the process.
CHILD_MODE(BindMissingEntryPoint)
{
    if (argc < 2)
        return 125;
    BindEntryPoint(argv[0], argv[1]);
    return BindingReturnedExitCode;
}

TEST(EntryPointBinding, MissingEntryPointShowsABoxNamingItAndEndsTheProcess)
{
    struct Case {
        const char* name;
        const char* library;
        const char* entryPoint;
    };
    const Case cases[] = {
        {"entry point missing from a present library", "user32.dll", "NoSuchEntryPoint"},
        {"library missing", "nosuchlibrary.dll", "Direct3DCreate9"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        ChildProcess child = ChildProcess::StartChildMode("BindMissingEntryPoint",
                                                          std::string(row.library) + " " + row.entryPoint);
        ASSERT_TRUE(child.Started());

        HWND box = WaitForMessageBoxOf(child.Id(), ProcessStartDeadlineMs);
        ASSERT_NE(nullptr, box) << "the child showed no message box";
        const std::string text = MessageBoxText(box);
        EXPECT_NE(std::string::npos, text.find(row.library)) << "box text: " << text;
        EXPECT_NE(std::string::npos, text.find(row.entryPoint)) << "box text: " << text;
        EXPECT_FALSE(child.WaitForExit(WaitingProofMs)) << "the process ended before the box was answered";

        ASSERT_TRUE(PressMessageBoxButton(box, IDOK)) << "the box has no OK button";
        DWORD exitCode = 0;
        ASSERT_TRUE(child.WaitForExit(ProcessExitDeadlineMs, &exitCode)) << "the process did not end after OK";
        EXPECT_EQ(MissingEntryPointExitCode, exitCode);
    }
}

} // namespace
