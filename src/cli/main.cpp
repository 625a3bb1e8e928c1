// vantorix-cli: runs command files on the emulated panel without a window.
#include "app/title.h"
#include "board/picolink.h"
#include "cli/boardrun.h"
#include "cli/checkrun.h"
#include "cli/datafolders.h"
#include "cli/expect.h"
#include "cli/firmwarerun.h"
#include "cli/options.h"
#include "cli/outputs.h"
#include "cli/runfile.h"
#include "cli/watch.h"
#include "file/output.h"
#include "headless/headless.h"

#include <cstdio>

namespace {
int printBoardStatus(BoardStart board) {
    if (board != BoardStart::connected) {
        std::fputs("vantorix-cli: no board found\n", stderr);
        return 1;
    }
    const std::string status = boardStatusText();
    finishBoard();
    if (status.empty()) {
        std::fputs("vantorix-cli: the board's answer is not a status block\n", stderr);
        return 1;
    }
    std::fputs(status.c_str(), stdout);
    return 0;
}

// The module files live in the user's folder for them unless --module-dir
// names one. Watching them there for the first time brings the starter files.
std::string moduleFolder(const CliOptions& options) {
    if (!options.moduleDir.empty()) {
        const std::string& text = options.moduleDir;
        return text.back() == '/' ? text : text + "/";
    }
    const std::string folder = userModuleFolder();
    const bool watchesModuleFile = options.watch && options.files.empty();
    if (watchesModuleFile && seedModuleFolder(folder) > 0)
        std::fprintf(stderr, "vantorix-cli: starter module files copied to %s\n", folder.c_str());
    return folder;
}

// Room for the longest module file name after the folder.
constexpr size_t moduleFolderLimit = 255 - sizeof("KP096_270.txt") + 1;

void printTitle() {
    char title[windowTitleBytes];
    const bool named = picoIndex >= 0 && picoIndex < picoCount;
    makeWindowTitle(title, sizeof title, named ? picoList[picoIndex].name : nullptr);
    std::puts(title);
}
} // namespace

int main(int argc, char** argv) {
    CliOptions options;
    std::string usageError = parseCliArguments({argv + 1, argv + argc}, options);
    if (!usageError.empty()) {
        std::fprintf(stderr, "vantorix-cli: %s\nTry 'vantorix-cli --help' for more information.\n",
                     usageError.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(cliUsage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::puts("vantorix-cli " VANTORIX_VERSION);
        return 0;
    }
    for (const std::string& warning : options.warnings)
        std::fprintf(stderr, "vantorix-cli: warning: %s\n", warning.c_str());
    // A check runs nothing; with outputs asked for, the run follows it.
    const int checkStatus = options.check ? runCheck(options) : 0;
    if (options.check && !options.runAfterCheck) return checkStatus;

    std::vector<uint8_t> boardBytes;
    HeadlessOptions headless;
    headless.model = options.model;
    headless.touch = options.touch;
    headless.angle = options.angle;
    headless.verbose = options.verbose;
    headless.moduleDir = moduleFolder(options);
    if (headless.moduleDir.size() > moduleFolderLimit) {
        std::fprintf(stderr, "vantorix-cli: the module folder's name is too long\n");
        return 2;
    }
    headlessStart(headless);
    firmwareRunnerStart(options);
    bool firmwareJob = hasFirmwareJob(options);
    BoardStart board = startBoard(options);
    // With firmware to program, a board that does not answer may be an empty
    // one sitting in its boot loader, as the program looks at start-up.
    bool emptyBoard = board != BoardStart::connected && firmwareJob && lookForBootDrive();
    if (board == BoardStart::failed && !emptyBoard) {
        if (firmwareJob) std::fputs("vantorix-cli: no board and no boot drive found\n", stderr);
        return 1;
    }
    if (options.status) return printBoardStatus(board);
    if (options.configureBoard) return configureBoard(board, options);
    // The bytes file holds what goes to the board after connecting, so it is
    // the same with and without a board.
    if (!options.boardBytes.empty()) {
        if (board == BoardStart::connected)
            captureBoardBytes(&boardBytes);
        else
            connectRecordingBoard(&boardBytes);
    }

    int status = checkStatus;
    auto report = [&status](const std::string& error) {
        if (error.empty()) return;
        std::fprintf(stderr, "vantorix-cli: %s\n", error.c_str());
        status = 1;
    };
    if (options.update || options.ask) report(runFirmwareOffer());
    if (board == BoardStart::connected && picoPort) startBoardReader();
    if (!options.decodeIn.empty()) report(decodeImageFile(options.decodeIn, options.decodeOut));
    if (!options.prepareIn.empty()) report(prepareImageFile(options.prepareIn, options.prepareOut));
    for (const std::string& file : options.files) {
        // The upload takes the port over; the board's reports count again after it.
        const bool upload = isFirmwareFile(file) && boardReaderRuns();
        if (upload) stopBoardReader();
        report(runFile(file, options.atX, options.atY));
        if (upload && picoPort) startBoardReader();
    }
    // The title names the board's port, so it comes while the board is connected.
    if (options.title) printTitle();
    if (options.watch && runWatch(options, boardReaderRuns())) status = 1;
    if (board == BoardStart::connected) finishBoard();
    if (!headlessErrors().empty()) status = 1;
    if (!writeRunnerOutputs(options)) status = 1;
    if (!checkExpectedPictures(options)) status = 1;
    if (!options.boardBytes.empty()) {
        const std::string error =
            writeOutputBytes(options.boardBytes, boardBytes.data(), boardBytes.size());
        if (!error.empty()) report(options.boardBytes + ": " + error);
    }
    return status;
}
