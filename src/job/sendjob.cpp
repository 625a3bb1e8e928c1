#include "job/sendjob.h"

#include "board/firmware.h"
#include "command/bitmapload.h"
#include "command/sendfile.h"
#include "common/seam.h"
#include "file/wholefile.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

SendJob sendJob{};
int sendJobOutcome = jobNothingDone;
char sendJobError[256] = "";

namespace {
SendJobHost host{};

const char* const acceptedExtensions[] = {".TXT", ".UF2", ".BMP", ".PNG", ".JPG", ".GIF"};

bool sameTextIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (std::toupper(static_cast<unsigned char>(*a)) !=
            std::toupper(static_cast<unsigned char>(*b)))
            return false;
    }
    return *a == *b;
}

bool isAcceptedExtension(const char* ext) {
    for (const char* accepted : acceptedExtensions) {
        if (sameTextIgnoringCase(ext, accepted)) return true;
    }
    return false;
}

bool endsWithIgnoringCase(const char* text, const char* tail) {
    size_t length = std::strlen(text), tailLength = std::strlen(tail);
    return length >= tailLength && sameTextIgnoringCase(text + length - tailLength, tail);
}

// Wine and many Windows tools hand over names with "/", so both separate.
char* lastSeparator(char* path) {
    char* last = nullptr;
    for (char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/') last = p;
    }
    return last;
}

void stripQuotes(char*& name) {
    if (*name == '"' || *name == '\'') ++name;
    size_t length = std::strlen(name);
    if (length > 0 && (name[length - 1] == '"' || name[length - 1] == '\'')) name[length - 1] = 0;
}

void failJob(int outcome, const char* why) {
    sendJobOutcome = outcome;
    std::snprintf(sendJobError, sizeof sendJobError, "%s", why);
}

void runCommandFile(SendJob* job) {
    WholeFile file;
    if (!ReadWholeFile(job->jobPath, commandFileMaxBytes, &file)) {
        char why[128];
        if (file.error == WHOLE_FILE_TOO_LARGE)
            std::snprintf(why, sizeof why, "too large for a command file (the limit is %u MiB)",
                          unsigned(commandFileMaxBytes >> 20));
        else
            std::snprintf(why, sizeof why, "%s", WholeFileErrorText(file.error));
        failJob(jobUnreadable, why);
        return;
    }
    printMessage("open command file %s\r\n", job->jobName);
    TFTcommandOut(reinterpret_cast<const char*>(file.data), file.size);
    std::free(file.data);
    sendJobOutcome = jobDone;
}

void runFirmwareFile(SendJob* job) {
    PicoFirmwareUpload(job->jobPath);
    if (fwUploadResult == fwUploadDone)
        sendJobOutcome = jobDone;
    else
        failJob(fwUploadResult == fwUploadUnreadable ? jobUnreadable : jobFailed,
                firmwareUploadProblem(fwUploadResult));
}

void runPictureFile(SendJob* job) {
    if (showImageFile(job->jobPath, job->jobX, job->jobY, 1))
        sendJobOutcome = jobDone;
    else
        failJob(jobUnreadable, DIBErrorText(GetDIBError()));
}

} // namespace

void runSendJobNow(SendJob* job) {
    sendDlg = job;
    job->jobState = jobWorkerRunning; // no dialog to open: the worker starts at once
    std::thread worker(sendfileThread, job);
    worker.join();
    sendDlg = nullptr;
}

void installSendJobHost(const SendJobHost& newHost) {
    host = newHost;
    installJobProgress({host.progressRange, host.progressPos, host.show});
}

void resetSendJob() {
    sendJob = SendJob{};
    sendJobOutcome = jobNothingDone;
    sendJobError[0] = 0;
    sendDlg = nullptr;
    host = SendJobHost{};
    installJobProgress({});
    cmdDir[0] = 0;
}

void FileOrBild2buffer(char* name, int x, int y) {
    stripQuotes(name);
    sendFileAsNamed(name, x, y);
}

void sendFileAsNamed(char* name, int x, int y) {
    sendJob = SendJob{};
    sendJobOutcome = jobNothingDone;
    sendJobError[0] = 0;
    if (!*name) return;
    if (std::strlen(name) >= sizeof sendJob.jobPath) {
        failJob(jobUnreadable, "name too long");
        return;
    }
    std::strcpy(sendJob.jobPath, name);
    // The shortcut reader writes a whole path: after a cut quote the caller's
    // text has a byte less room than that, the job's own buffer has enough.
    if (host.resolveShortcut && endsWithIgnoringCase(sendJob.jobPath, ".lnk"))
        host.resolveShortcut(sendJob.jobPath);
    sendJob.jobExt = std::strrchr(sendJob.jobPath, '.');
    if (!sendJob.jobExt || !isAcceptedExtension(sendJob.jobExt)) return;
    char* separator = lastSeparator(sendJob.jobPath);
    sendJob.jobName = separator ? separator + 1 : sendJob.jobPath;
    size_t dirLength = size_t(sendJob.jobName - sendJob.jobPath);
    std::memcpy(sendJob.cmdDir, sendJob.jobPath, dirLength);
    sendJob.cmdDir[dirLength] = 0;
    sendJob.jobX = x;
    sendJob.jobY = y;
    if (host.runJob)
        host.runJob(&sendJob);
    else
        runSendJobNow(&sendJob);
}

int sendfileThread(SendJob* job) {
    std::memcpy(cmdDir, job->cmdDir, sizeof cmdDir);
    if (sameTextIgnoringCase(job->jobExt, ".TXT"))
        runCommandFile(job);
    else if (sameTextIgnoringCase(job->jobExt, ".UF2"))
        runFirmwareFile(job);
    else
        runPictureFile(job);
    job->jobState = jobWorkerFinished;
    return 1;
}
