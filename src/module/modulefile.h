// The live module file: the command file of the current model and
// orientation, run again whenever its time stamp changes.
#pragma once
#include <cstddef>
#include <cstdint>

// The module file of the current model and orientation (filled by the module
// rebuild), and its last-write time as read by GetAktModuleFileTime. The
// name, the times and moduleDir belong to the panel lock (a board report
// rebuilds the module on the thread that reads the board).
extern char moduleFile[256];
extern uint64_t moduleFileTime;

// The time of the module file when it was last run; 0 at start.
extern uint64_t shownFileTime;
// The folder the module files are looked for in, with its final separator:
// the program's folder (the runner's --module-dir points elsewhere).
extern char moduleDir[256];

// folder + the model's pattern with angle, as moduleFile holds it. 0 (and an
// empty name) for an unknown model or a name longer than size - 1 bytes.
int buildModuleFileName(char* out, size_t size, const char* folder, int model, int angle);
// After a rebuild: in demo mode or while a job runs, the current file counts as
// shown; otherwise a time equal in its low 32 bits to the shown one is made to
// differ, so that the file runs at the next check.
void followModuleFileTime(int demo, int jobRunning);
// The check of the window's timer: 1 when the module file exists and its time
// differs from shownFileTime, which then takes that time (the caller runs it).
// name, when given (256 bytes), receives the file to run, read under the same lock.
int moduleFileChanged(char* name = nullptr);
// Reads moduleFile's last-write time into moduleFileTime (0 when there is no such file).
void GetAktModuleFileTime();
