#include "common/jobstate.h"

std::atomic<void*> sendDlg{nullptr};

namespace {
JobProgressHooks progress{};
} // namespace

void installJobProgress(const JobProgressHooks& hooks) {
    progress = hooks;
}

void setSendProgressRange(int low, int high) {
    if (progress.progressRange) progress.progressRange(low, high);
}
void setSendProgress(int position) {
    if (progress.progressPos) progress.progressPos(position);
}
void showSendDialog() {
    if (progress.show) progress.show();
}
