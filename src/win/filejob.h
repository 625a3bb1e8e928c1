// The send-file dialog of the window program: it hosts the send jobs
// (job/sendjob.h) and serves the window seam's log and
// transfer hooks.
#pragma once
#include <cstdint>

// Makes the dialog the host of every send job.
void installSendFileDialog();

int sendLogLine(const char* line);
int sendTransferStart(uint32_t bytes);
int sendTransferProgress(int position);
