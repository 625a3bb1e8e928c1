#include "cli/firmwarerun.h"

#include "board/discovery.h"
#include "board/firmware.h"
#include "board/picolink.h"
#include "cli/datafolders.h"
#include "common/settings.h"
#include "job/firmware_offer.h"
#include "job/sendjob.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr int barWidth = 40;

struct RunnerFirmware {
    bool update = false;
    bool ask = false;
    bool verbose = false;
    bool barOnTerminal = false;
    int barHigh = 0;
    int barPercent = -1; // what the bar shows; -1 while none is drawn
} runner;

void drawBar(int position) {
    if (!runner.barOnTerminal || runner.barHigh <= 0) return;
    if (position > runner.barHigh) position = runner.barHigh;
    int percent = position * 100 / runner.barHigh;
    if (percent == runner.barPercent) return;
    runner.barPercent = percent;
    char bar[barWidth + 1];
    int filled = percent * barWidth / 100;
    std::memset(bar, '#', size_t(filled));
    std::memset(bar + filled, '-', size_t(barWidth - filled));
    bar[barWidth] = 0;
    std::fprintf(stderr, "\r[%s] %3d%%", bar, percent);
    std::fflush(stderr);
}

void setBarRange(int, int high) {
    runner.barHigh = high;
}

void endBar() {
    if (runner.barPercent < 0) return;
    std::fputc('\n', stderr);
    runner.barPercent = -1;
}

void runJobAndEndBar(SendJob* job) {
    runSendJobNow(job);
    endBar();
    // The upload's last log line, "Picoboard Reset...", has no line end.
    if (runner.verbose && isFirmwareFile(job->jobPath)) std::fputc('\n', stderr);
}

// While the board restarts, the runner itself watches for its drive: there
// is no window thread to hear of new volumes.
void lookWhileRestarting() {
    if (lookForBootDrive()) picoPort = 0; // its serial port went away with the restart
}

bool readYes() {
    char answer[16] = "";
    if (!std::fgets(answer, sizeof answer, stdin)) return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

int answerQuestion(const char* text, int) {
    if (runner.update) {
        if (runner.verbose) std::fprintf(stderr, "%s yes (--update)\n", text);
        return 1;
    }
    if (runner.ask && isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "%s [y/N] ", text);
        std::fflush(stderr);
        return readYes() ? 1 : 0;
    }
    if (runner.verbose) std::fprintf(stderr, "%s no\n", text);
    return 0;
}

// Each board type's newest file, from the first folder that has one.
void findFirmwareFiles(const std::vector<std::string>& folders) {
    char ownDir[sizeof appDir];
    std::memcpy(ownDir, appDir, sizeof appDir);
    for (int type : {1, 2}) {
        const int32_t& found = type == 2 ? fwVer2350 : fwVer2040;
        for (const std::string& folder : folders) {
            if (folder.size() >= sizeof appDir) continue; // its names would not fit
            std::snprintf(appDir, sizeof appDir, "%s", folder.c_str());
            getFWfile(type);
            if (found > 0) break;
        }
    }
    std::memcpy(appDir, ownDir, sizeof appDir);
}

std::string withFinalSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}
} // namespace

std::string runnerFolder() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    std::string exe(path, size_t(length));
    return exe.substr(0, exe.rfind('/') + 1);
}

void firmwareRunnerStart(const CliOptions& options) {
    runner = RunnerFirmware{};
    runner.update = options.update;
    runner.ask = options.ask;
    runner.verbose = options.verbose;
    runner.barOnTerminal = isatty(STDERR_FILENO);
    if (!appDir[0]) std::snprintf(appDir, sizeof appDir, "%s", runnerFolder().c_str());
    // Firmware files matter only to a board or a firmware job; a run on the
    // panel alone (a picture decoded, say) does not search for them.
    if (options.port != "none" || !options.boardBytes.empty() || hasFirmwareJob(options)) {
        std::vector<std::string> folders = runnerDataFolders();
        if (!options.firmwareDir.empty())
            folders.insert(folders.begin(), withFinalSlash(options.firmwareDir));
        findFirmwareFiles(folders);
    }
    // The questions come from the runner: it answers them as the options say.
    FWupdate = 2;
    ProgEmptyPico = 2;
    SendJobHost host{};
    host.runJob = runJobAndEndBar;
    host.progressRange = setBarRange;
    host.progressPos = drawBar;
    installSendJobHost(host);
    FirmwareHooks hooks{};
    hooks.lookForBootDrive = lookWhileRestarting;
    installFirmwareHooks(hooks);
    if (!hasFirmwareJob(options)) return;
    // Boot drives are looked for even without a port to talk to: an empty
    // board has none.
    installDiscoverySystem(systemDiscovery());
    if (!options.bootDrive.empty()) setBootFolder(options.bootDrive.c_str());
}

bool isFirmwareFile(const std::string& name) {
    size_t dot = name.rfind('.');
    // Quotes around the name are dropped by the job, so one may follow ".uf2".
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    if (!ext.empty() && (ext.back() == '"' || ext.back() == '\'')) ext.pop_back();
    return strcasecmp(ext.c_str(), ".uf2") == 0;
}

bool hasFirmwareJob(const CliOptions& options) {
    if (options.update || options.ask) return true;
    for (const std::string& file : options.files) {
        if (isFirmwareFile(file)) return true;
    }
    return false;
}

int lookForBootDrive() {
    int32_t type = 0;
    int drive = getPicoDrive(&type);
    if (!drive) return 0;
    picoDrive = drive;
    picoType = type;
    return 1;
}

std::string runFirmwareOffer() {
    fwCheck = 1;
    fwUploadResult = fwUploadNotRun;
    if (firmwareDecision(answerQuestion) != fwDecisionUploaded) return {};
    return fwUploadResult == fwUploadDone ? std::string()
                                          : std::string(firmwareUploadProblem(fwUploadResult));
}
