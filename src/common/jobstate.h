// What every floor may know of the running send job without seeing its
// record: whether one runs, and its progress bar. The job itself lives
// above the board link (job/sendjob.h), which installs the progress hooks.
//
// Threads: the progress calls come from the worker that runs the job; the
// hooks are installed before any job starts.
#pragma once
#include <atomic>

// Non-null exactly while a job runs: the dialog in the window program.
// Atomic: the thread that starts and ends jobs writes it, any thread reads it.
extern std::atomic<void*> sendDlg;

inline int jobRunning() {
    return sendDlg != nullptr;
}

// The job's progress display; a null entry does nothing.
struct JobProgressHooks {
    void (*progressRange)(int low, int high);
    void (*progressPos)(int position);
    void (*show)(); // the dialog made visible without taking the focus
};
void installJobProgress(const JobProgressHooks& hooks);

void setSendProgressRange(int low, int high);
void setSendProgress(int position);
void showSendDialog();
