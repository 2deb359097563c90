#pragma once
// What the probe's modes share: starting and watching the launcher and the stand-in editor from
// outside, reading a process's CPU time, handles, memory and threads, and small statistics.
#include "FrameRecord.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Class names of the launcher's windows, as the product registers them.
constexpr char LauncherClassName[] = "SparkwrightLocalizer";
constexpr char OverlayClassName[] = "VEILUP";
constexpr char NoticeClassName[] = "#32770"; // the platform's message box

// Every wait of the probe has a deadline; these are generous, since every process start under
// Wine costs a second or more and the machine may be shared.
constexpr DWORD StartDeadlineMs = 20000;
constexpr DWORD StepDeadlineMs = 10000;
constexpr DWORD PollMs = 2;

// --- time ---------------------------------------------------------------------------------
LONG64 CounterNow();
double CounterMs(LONG64 from, LONG64 to);
// Polls condition every PollMs until it holds or deadlineMs pass; serves this thread's messages
// meanwhile, so a render thread of this process that sends to its windows is never held up.
bool WaitUntil(const std::function<bool()>& condition, DWORD deadlineMs);
void ServeMessagesFor(DWORD milliseconds);

// --- processes ----------------------------------------------------------------------------
struct Process {
    HANDLE handle = nullptr;
    DWORD id = 0;
    bool Running() const;
    DWORD ExitCode() const;
    void Terminate();
    void Close();
};

// Starts program (no arguments) with directory as its current one (its own folder when empty).
Process StartProcess(const std::string& program, const std::string& directory);
Process OpenRunningProcess(DWORD processId);
std::string FolderOf(const std::string& path);
std::string FileNameOf(const std::string& path);

// Process ids whose image name is name (letter case ignored).
std::vector<DWORD> ProcessesNamed(const char* name);
int TerminateProcessesNamed(const char* name); // how many were running
int ThreadCountOf(DWORD processId);

// Where a process's processor time is read: the host's /proc when the process's host id is
// known, its handle otherwise (on Windows; under Wine that figure leaves out the work done in the
// host's graphics driver threads).
struct CpuSource {
    HANDLE process;
    LONG64 hostProcessId; // 0 or less: not known
};
LONG64 CpuTime100ns(const CpuSource& source); // user + kernel time so far, all threads
CpuSource CpuOf(const Process& process, const std::string& programFileName);
CpuSource OwnCpu();

// Frames and processor time over a stretch of wall time.
struct Sample {
    LONG64 counter; // performance counter
    LONG64 cpu;     // 100 ns units
    LONG64 frames;
};
struct Rates {
    double framesPerSecond;
    double cpuMsPerSecond;
    double cpuMsPerFrame; // 0 when no frame came
};
Sample TakeSample(const CpuSource& cpu, LONG64 frames);
Rates RatesBetween(const Sample& from, const Sample& to);

// Handles, memory and threads of a running process.
struct ResourceFigures {
    DWORD handles = 0;
    SIZE_T privateBytes = 0;
    SIZE_T workingSet = 0;
    int threads = 0;
};
ResourceFigures ResourcesOf(const Process& process);

// --- windows ------------------------------------------------------------------------------
// Top-level windows of processId with className; only the visible ones when visibleOnly.
std::vector<HWND> TopLevelWindows(DWORD processId, const char* className, bool visibleOnly);
HWND TopLevelWindow(DWORD processId, const char* className, bool visibleOnly);
HWND VisibleMainWindowOf(DWORD processId); // a visible top-level window without owner
HWND LauncherButton(HWND launcher);

// --- the measurement build's frame record ---------------------------------------------------
FrameRecord* OpenFrameRecord(DWORD launcherProcessId, DWORD deadlineMs);
void CloseFrameRecord(FrameRecord* record);
void ClearFrameMarks(FrameRecord* record);
int FilledSlots(const volatile LONG64 (&slots)[SeenSlots]);

// --- statistics ---------------------------------------------------------------------------
double Percentile(std::vector<double> values, double fraction); // nearest rank; 0 when empty
double Median(const std::vector<double>& values);

// --- output -------------------------------------------------------------------------------
// Figures are printed one per line as "key value", for the scripts to put in their tables.
void PrintFigure(const char* key, double value);
void PrintNote(const char* format, ...);
