#define VANTORIX_WIN32_NAMES
#include "win/filejob.h"

#include "job/sendjob.h"
#include "resource.h"
#include "win/wm_user.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

extern HWND hwndMain;

namespace {
constexpr UINT_PTR jobTimer = 1;
constexpr UINT jobTimerMs = 200;
// The worker waits this long before it starts on the job.
constexpr DWORD workerStartWaitMs = 300;
// A transfer larger than this shows the dialog.
constexpr uint32_t visibleTransferBytes = 10000;
constexpr int transferProgressEnd = 1000;
// A log line posted to the dialog; lParam is a malloc'ed copy it frees.
constexpr UINT logLineMessage = WM_APP + 1;

HWND sendLog = nullptr;
HWND sendProgress = nullptr;
SendJob* dialogJob = nullptr;

// jobState is written by both threads (the window thread sets open and
// running, the worker finished); each side reads the other's value whole.
int jobStateOf(const SendJob* job) {
    return __atomic_load_n(&job->jobState, __ATOMIC_ACQUIRE);
}
void setJobState(SendJob* job, int state) {
    __atomic_store_n(&job->jobState, state, __ATOMIC_RELEASE);
}

DWORD WINAPI sendfileWorker(LPVOID parameter) {
    auto* job = static_cast<SendJob*>(parameter);
    Sleep(workerStartWaitMs);
    sendfileThread(job);
    setJobState(job, jobWorkerFinished);
    return 1;
}

void centreOverMainWindow(HWND dialog) {
    RECT owner, own;
    GetWindowRect(hwndMain, &owner);
    GetWindowRect(dialog, &own);
    const int x = (owner.left + owner.right - (own.right - own.left)) / 2;
    const int y = (owner.top + owner.bottom - (own.bottom - own.top)) / 2;
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW);
}

void appendLogLine(char* line) {
    const LRESULT end = SendMessageA(sendLog, WM_GETTEXTLENGTH, 0, 0);
    SendMessageA(sendLog, EM_SETSEL, WPARAM(end), LPARAM(end));
    SendMessageA(sendLog, EM_REPLACESEL, FALSE, LPARAM(line));
    std::free(line);
}

void onJobTimer(HWND dialog) {
    const int state = jobStateOf(dialogJob);
    if (state == jobDialogOpen) {
        setJobState(dialogJob, jobWorkerRunning);
        HANDLE worker = CreateThread(nullptr, 0, sendfileWorker, dialogJob, 0, nullptr);
        if (worker)
            CloseHandle(worker);
        else
            setJobState(dialogJob, jobWorkerFinished);
    } else if (state == jobWorkerFinished) {
        KillTimer(dialog, jobTimer);
        EndDialog(dialog, 0);
        sendDlg = nullptr;
        sendLog = sendProgress = nullptr;
    }
}

INT_PTR CALLBACK DlgSendFileProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowTextA(dialog, "Send File");
        sendLog = GetDlgItem(dialog, IDC_SENDLOG);
        sendProgress = GetDlgItem(dialog, IDC_SENDPROGRESS);
        sendDlg = dialog;
        centreOverMainWindow(dialog);
        setJobState(dialogJob, jobDialogOpen);
        SetTimer(dialog, jobTimer, jobTimerMs, nullptr);
        return TRUE;
    case WM_WINDOWPOSCHANGING: {
        // The dialog opens hidden; a long transfer or an upload shows it.
        auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
        if (jobStateOf(dialogJob) == jobDialogOpen && (pos->flags & SWP_SHOWWINDOW)) {
            pos->flags &= ~UINT(SWP_SHOWWINDOW);
            pos->flags |= SWP_HIDEWINDOW;
        }
        return FALSE;
    }
    case logLineMessage:
        appendLogLine(reinterpret_cast<char*>(lParam));
        return TRUE;
    case WM_TIMER:
        onJobTimer(dialog);
        return FALSE;
    default:
        return FALSE;
    }
}

void runJobInDialog(SendJob* job) {
    dialogJob = job;
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SENDFILE), hwndMain,
                    DlgSendFileProc, 0);
    dialogJob = nullptr;
}

// The worker reaches the controls only by posting: it may hold the panel
// lock while the window thread waits for it.
void progressRange(int low, int high) {
    if (sendProgress) PostMessageA(sendProgress, PBM_SETRANGE32, WPARAM(low), LPARAM(high));
}
void progressPos(int position) {
    if (sendProgress) PostMessageA(sendProgress, PBM_SETPOS, WPARAM(position), 0);
}
void showDialog() {
    if (HWND dialog = HWND(sendDlg.load())) ShowWindowAsync(dialog, SW_SHOWNOACTIVATE);
}
} // namespace

void installSendFileDialog() {
    installSendJobHost(
        {runJobInDialog, progressRange, progressPos, showDialog, RecolveLinkFilename});
}

int sendLogLine(const char* line) {
    HWND dialog = HWND(sendDlg.load());
    if (!dialog) return 1;
    char* copy = _strdup(line);
    if (copy && !PostMessageA(dialog, logLineMessage, 0, LPARAM(copy))) std::free(copy);
    return 1;
}

int sendTransferStart(uint32_t bytes) {
    progressRange(0, transferProgressEnd);
    if (bytes > visibleTransferBytes) showDialog();
    return 1;
}

int sendTransferProgress(int position) {
    progressPos(position);
    return 1;
}
