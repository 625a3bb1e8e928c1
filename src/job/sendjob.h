// The send job: the one entry point for every file the program handles,
// whatever its source, and the worker that handles it by its extension.
#pragma once
#include "common/jobstate.h"

#include <cstdint>

constexpr int jobIdle = 0;
constexpr int jobDialogOpen = 1;
constexpr int jobWorkerRunning = 2;
constexpr int jobWorkerFinished = 3;

struct SendJob {
    int32_t jobState;  // jobIdle .. jobWorkerFinished
    char jobPath[256]; // the file to handle
    char cmdDir[256];  // jobPath up to and including its last separator
    char* jobName;     // into jobPath: the name after the last separator
    char* jobExt;      // into jobPath: from the last "." on
    int32_t jobX;      // drop position of a picture
    int32_t jobY;
};
extern SendJob sendJob;

// What the caller of a job learns of its end. The window program shows only
// the job's log; the runner turns these into messages and its exit status.
enum SendJobOutcome {
    jobNothingDone = 0, // empty name, no extension or not one of the six
    jobUnreadable,      // the file could not be read
    jobFailed,          // read, but the handler could not do its work
    jobDone,
};
extern int sendJobOutcome;
extern char sendJobError[256]; // why, for jobUnreadable and jobFailed

// Where a job lives. The window program opens its modal send-file dialog in
// runJob, and the dialog's timer starts sendfileThread on a thread of its
// own after the dialog's and the worker's waits. Without runJob (the runner)
// the worker starts at once on its own thread and the caller waits for it.
struct SendJobHost {
    void (*runJob)(SendJob* job);
    void (*progressRange)(int low, int high); // the dialog's progress bar
    void (*progressPos)(int position);
    void (*show)(); // the dialog made visible without taking the focus
    // Turns a shell shortcut into its target, in place (256 bytes).
    void (*resolveShortcut)(char* name);
};
void installSendJobHost(const SendJobHost& host);
// What a job without runJob does: the worker at once on its own thread, waited for.
void runSendJobNow(SendJob* job);
// Clears the job, its outcome and the host.
void resetSendJob();

// The one entry for every file. name may arrive in quotes, which are cut off
// in the caller's text; x and y place a picture. Returns when the job is done.
void FileOrBild2buffer(char* name, int x, int y);
// The same for a name taken as it stands: a quote in it belongs to the name.
void sendFileAsNamed(char* name, int x, int y);
// The worker: handles job by its extension, sets jobState to finished, returns 1.
int sendfileThread(SendJob* job);
