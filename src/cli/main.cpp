// vantorix-cli: runs command files on the emulated panel without a window.
#include "cli/boardrun.h"
#include "cli/headless.h"
#include "cli/options.h"
#include "cli/panelpng.h"
#include "cli/runfile.h"
#include "panel/zr_tft.h"

#include <cstdio>

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
    headlessStart(headless);
    BoardStart board = startBoard(options);
    if (board == BoardStart::failed) return 1;
    if (options.status) return printBoardStatus(board);
    // The bytes file holds what goes to the board after connecting, so it is
    // the same with and without a board.
    if (!options.boardBytes.empty()) {
        if (board == BoardStart::connected)
            captureBoardBytes(&boardBytes);
        else
            connectRecordingBoard(&boardBytes);
    }
    if (board == BoardStart::connected) startBoardReader();

    int status = 0;
    auto report = [&status](const std::string& error) {
        if (error.empty()) return;
        std::fprintf(stderr, "vantorix-cli: %s\n", error.c_str());
        status = 1;
    };
    if (!options.decodeIn.empty()) report(decodeImageFile(options.decodeIn, options.decodeOut));
    if (!options.prepareIn.empty()) report(prepareImageFile(options.prepareIn, options.prepareOut));
    for (const std::string& file : options.files) {
        report(runFile(file, options.atX, options.atY));
    }
    if (board == BoardStart::connected) finishBoard();
    if (!headlessErrors().empty()) status = 1;
    if (!options.panelPng.empty()) {
        std::string error =
            writePanelPng(options.panelPng.c_str(), panelPixelsTopDown(), TFTwidth, TFTheight);
        if (!error.empty()) {
            std::fprintf(stderr, "vantorix-cli: %s: %s\n", options.panelPng.c_str(), error.c_str());
            status = 1;
        }
    }
    if (!options.boardBytes.empty() && !writeBoardBytes(options.boardBytes, boardBytes)) {
        std::fprintf(stderr, "vantorix-cli: %s: cannot write the board bytes\n",
                     options.boardBytes.c_str());
        status = 1;
    }
    return status;
}
