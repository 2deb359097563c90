#pragma once
// The program's one exit path, and the records whose life it closes.
#include <windows.h>

using ExitRoutine = void (*)();

void RecordMainThread();                    // call first, on the thread that started the process
void CreateHandOverWindow();                // on the main thread: lets other threads hand the end over
void CreateSharedRecords();                 // MessageRecord and LabelRect, zeroed
void ReleaseSharedRecords();                // the exit routine that releases them
void RegisterExitRoutine(ExitRoutine routine); // appends, unless it is listed already
[[noreturn]] void EndProgram(UINT exitCode);   // any thread; the exit routines always run on the main thread
