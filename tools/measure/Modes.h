#pragma once
// The probe's modes; each prints its figures and returns the probe's exit code.
#include <string>

// The measurement build of the launcher, started from its folder beside the stand-in editor.
int RunLauncherBenchmark(const std::string& launcherPath, int seconds);

// Frame loops in this process over a running stand-in editor: "overlay" (the product's render
// thread with the frame routine timed), "steps" (the same with the routine's steps timed one by
// one), "bare" (the product's render thread clearing and presenting only) and "unpaced" (the
// product's frame without the pacer).
int RunFrameBenchmark(const std::string& loop, const std::string& editorPath, int seconds);

// The start-up wait against a wait that polls the message queue, while the editor starts.
int RunStartUpWaitBenchmark(const std::string& editorPath, int rounds);

// Soaks: each prints its runs, faults injected and failures, and fails when any run failed.
int RunKillSoak(const std::string& launcherPath, int runs, unsigned seed);
int RunPressSoak(const std::string& launcherPath, int presses, unsigned seed);
int RunCloseSoak(const std::string& launcherPath, int runs, unsigned seed);
