// The program's one exit path: whatever thread calls EndProgram, the exit routines run once each,
// in the order of registration, on the main thread, and the process ends with the code given.
#include "TestSupport.h"

#include "launcher/ProgramEnd.h"

#include <cstdlib>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

// ---- the child: one program end, with its threads written down ------------------------------
//   --child EndProgram FILE THREAD ROUTINES CODE
//   THREAD: "main" calls EndProgram on the main thread; "other" on a second thread while the
//           main thread waits in a message loop.
//   ROUTINES: the exit routines to register, in order, one letter each (A or B; repeats allowed).
//   FILE receives "main <id>", "caller <id>" and one "routine <letter> <id>" per routine run.

std::string ThreadLogPath;

void LogThread(const std::string& what)
{
    AppendToFile(ThreadLogPath, what + " " + std::to_string(GetCurrentThreadId()) + "\n");
}

void ExitRoutineA() { LogThread("routine A"); }
void ExitRoutineB() { LogThread("routine B"); }

DWORD WINAPI EndFromThisThread(void* exitCode)
{
    LogThread("caller");
    EndProgram(static_cast<UINT>(reinterpret_cast<UINT_PTR>(exitCode)));
}

CHILD_MODE(EndProgram)
{
    if (argc != 4)
        return 126;
    ThreadLogPath = argv[0];
    const std::string thread = argv[1];
    const UINT exitCode = static_cast<UINT>(std::atoi(argv[3]));

    RecordMainThread();
    CreateHandOverWindow();
    LogThread("main");
    for (const char* routine = argv[2]; *routine; ++routine)
        RegisterExitRoutine(*routine == 'A' ? ExitRoutineA : ExitRoutineB);

    if (thread == "main") {
        LogThread("caller");
        EndProgram(exitCode);
    }
    CloseHandle(CreateThread(nullptr, 0, EndFromThisThread, reinterpret_cast<void*>(static_cast<UINT_PTR>(exitCode)),
                             0, nullptr));
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 125; // the end never came
}

// ---- the parent -----------------------------------------------------------------------------

struct ThreadLog {
    std::string mainThread;
    std::string caller;
    std::vector<std::string> routines;    // letter of each routine run, in order
    std::vector<std::string> routineThreads;
};

ThreadLog ReadThreadLog(const std::string& path)
{
    ThreadLog log;
    std::istringstream lines(ReadWholeFile(path));
    std::string what;
    while (lines >> what) {
        std::string letter;
        std::string thread;
        if (what == "routine")
            lines >> letter;
        lines >> thread;
        if (what == "main") {
            log.mainThread = thread;
        } else if (what == "caller") {
            log.caller = thread;
        } else if (what == "routine") {
            log.routines.push_back(letter);
            log.routineThreads.push_back(thread);
        }
    }
    return log;
}

struct EndCase {
    const char* name;
    const char* thread;
    const char* registrations;
    UINT exitCode;
    std::vector<std::string> routinesRun;
};

const EndCase EndCases[] = {
    {"end called on another thread", "other", "A", 7, {"A"}},
    {"end called on the main thread", "main", "A", 5, {"A"}},
    {"routine registered twice runs once, in the order of its first registration", "main", "ABA", 6, {"A", "B"}},
    {"two routines on another thread", "other", "BA", 9, {"B", "A"}},
};

TEST(ProgramEnd, ExitRoutinesRunOnceOnTheMainThreadAndTheCodeIsKept)
{
    ScratchFolder folder("program end");
    std::vector<ChildProcess> children;
    // All children at once: each process start under Wine costs about a second.
    for (size_t row = 0; row < std::size(EndCases); ++row) {
        const EndCase& end = EndCases[row];
        const std::string arguments = "\"" + folder.File("threads" + std::to_string(row) + ".txt") + "\" " +
                                      end.thread + " " + end.registrations + " " + std::to_string(end.exitCode);
        children.push_back(ChildProcess::StartChildMode("EndProgram", arguments));
    }

    for (size_t row = 0; row < std::size(EndCases); ++row) {
        const EndCase& end = EndCases[row];
        SCOPED_TRACE(end.name);
        ASSERT_TRUE(children[row].Started());
        DWORD exitCode = 0;
        ASSERT_TRUE(children[row].WaitForExit(ProcessExitDeadlineMs, &exitCode)) << "the child did not end";
        EXPECT_EQ(end.exitCode, exitCode);

        const ThreadLog log = ReadThreadLog(folder.File("threads" + std::to_string(row) + ".txt"));
        ASSERT_FALSE(log.mainThread.empty());
        ASSERT_FALSE(log.caller.empty());
        if (std::string(end.thread) == "other") {
            EXPECT_NE(log.mainThread, log.caller) << "the end was not called on a second thread";
        }
        EXPECT_EQ(end.routinesRun, log.routines);
        for (const std::string& thread : log.routineThreads)
            EXPECT_EQ(log.mainThread, thread) << "an exit routine ran off the main thread";
    }
}

} // namespace
