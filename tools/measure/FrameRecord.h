#pragma once
// What the measurement build of the launcher publishes about its frames, in a named block of
// shared memory that the probe reads while the launcher runs. Times are performance-counter
// readings, which are comparable between processes on one machine.
#include <windows.h>

#include <cstdio>

// Room for more distinct presenting threads or devices than a healthy launcher ever has.
constexpr int SeenSlots = 8;

struct FrameRecord {
    volatile LONG64 frames;                     // Presents since the launcher started
    volatile LONG64 firstFrameCounter;          // counter at the first Present since the probe cleared it, 0 = none yet
    volatile LONG64 presentThreads[SeenSlots];  // distinct threads that presented since the probe cleared them
    volatile LONG64 presentDevices[SeenSlots];  // distinct devices presented since the probe cleared them
    volatile LONG64 unrecorded;                 // Presents whose thread or device found no free slot
};

// One block per launcher process, so a probe never reads another run's figures.
inline void FrameRecordName(DWORD launcherProcessId, char (&name)[64])
{
    std::snprintf(name, sizeof name, "SparkwrightMeasuredFrames.%lu", static_cast<unsigned long>(launcherProcessId));
}
