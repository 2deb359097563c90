// measure-probe: measures the launcher and its parts, and soaks it, under Wine or on Windows.
//   measure-probe launcher LAUNCHER.exe SECONDS          the measurement build, from outside
//   measure-probe frames overlay|bare|unpaced EDITOR.exe SECONDS
//   measure-probe startup-wait EDITOR.exe ROUNDS
//   measure-probe soak-kill|soak-press|soak-close LAUNCHER.exe COUNT SEED
//   measure-probe left IMAGE...                          processes of these image names running
// Figures are printed as "key value" lines; soaks print their tallies. The exit code is 0 when
// everything measured could be measured and no soak run failed.
#include "Modes.h"
#include "Probe.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Names and counts the processes of the given image names that still run; fails when any does.
int ReportLeftProcesses(int count, char** names)
{
    size_t left = 0;
    for (int i = 0; i < count; ++i) {
        const size_t running = ProcessesNamed(names[i]).size();
        if (running > 0)
            std::printf("left running: %s x %zu\n", names[i], running);
        left += running;
    }
    std::printf("processes left: %zu\n", left);
    return left == 0 ? 0 : 1;
}

int Usage()
{
    std::fprintf(stderr, "usage: measure-probe launcher LAUNCHER SECONDS | frames LOOP EDITOR SECONDS |\n"
                         "       startup-wait EDITOR ROUNDS | soak-kill|soak-press|soak-close LAUNCHER COUNT SEED |\n"
                         "       left IMAGE...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    const std::string mode = argv[1];
    // Short sleeps in the probe's polling and in the measured frame loops stay short.
    timeBeginPeriod(1);
    if (mode == "launcher" && argc == 4)
        return RunLauncherBenchmark(argv[2], std::atoi(argv[3]));
    if (mode == "frames" && argc == 5)
        return RunFrameBenchmark(argv[2], argv[3], std::atoi(argv[4]));
    if (mode == "left")
        return ReportLeftProcesses(argc - 2, argv + 2);
    if (mode == "startup-wait" && argc == 4)
        return RunStartUpWaitBenchmark(argv[2], std::atoi(argv[3]));
    if (argc == 5) {
        const int count = std::atoi(argv[3]);
        const auto seed = static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10));
        if (mode == "soak-kill")
            return RunKillSoak(argv[2], count, seed);
        if (mode == "soak-press")
            return RunPressSoak(argv[2], count, seed);
        if (mode == "soak-close")
            return RunCloseSoak(argv[2], count, seed);
    }
    return Usage();
}
