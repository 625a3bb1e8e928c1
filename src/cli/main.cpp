// vantorix-cli: runs command files on the emulated panel without a window.
#include "app/title.h"
#include "board/picolink.h"
#include "board/picolink.h"
#include "cli/boardrun.h"
#include "cli/firmwarerun.h"
#include "cli/options.h"
#include "cli/outputs.h"
#include "cli/runfile.h"
#include "cli/watch.h"
#include "headless/headless.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {
bool writeBoardBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    // An empty vector has no data pointer to hand to fwrite.
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}
int printBoardStatus(BoardStart board) {
    if (board != BoardStart::connected) {
        std::fputs("vantorix-cli: no board found\n", stderr);
        return 1;
    }
    std::fputs(boardStatusText().c_str(), stdout);
    finishBoard();
    return 0;
}

// The module files live beside the runner unless --module-dir names a folder.
std::string moduleFolder(const CliOptions& options) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path folder = options.moduleDir.empty()
                          ? fs::read_symlink("/proc/self/exe", error).parent_path()
                          : fs::path(options.moduleDir);
    if (error || folder.empty()) return "";
    std::string text = folder.string();
    return text.back() == '/' ? text : text + "/";
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

    int status = 0;
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
        if (isFirmwareFile(file)) stopBoardReader(); // the upload takes the port over
        report(runFile(file, options.atX, options.atY));
    }
    // The title names the board's port, so it comes while the board is connected.
    if (options.title) printTitle();
    if (options.watch && runWatch(options, board == BoardStart::connected)) status = 1;
    if (board == BoardStart::connected) finishBoard();
    if (!headlessErrors().empty()) status = 1;
    if (!writeRunnerOutputs(options)) status = 1;
    if (!options.boardBytes.empty() && !writeBoardBytes(options.boardBytes, boardBytes)) {
        std::fprintf(stderr, "vantorix-cli: %s: cannot write the board bytes\n",
                     options.boardBytes.c_str());
        status = 1;
    }
    return status;
}
