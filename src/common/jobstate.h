// What every floor may know of the running send job without seeing its
// record: whether one runs, and its progress bar. The job itself lives
// above the board link (job/sendjob.h), which installs the progress hooks.
//
// Threads: sendDlg is written by the thread that starts and ends a job (the
// window thread through its dialog, the caller of runSendJobNow) and read by
// any thread. The progress calls come from the worker that runs the job.
#pragma once

// Non-null exactly while a job runs: the dialog in the window program.
extern void* sendDlg;

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
