#include "headless/headless.h"

#include "board/picolink.h"
#include "board/seriowin.h"
#include "board/statusblock.h"
#include "common/seam.h"
#include "common/settings.h"
#include "module/modulefile.h"
#include "panel/zr_tft.h"

#include <atomic>
#include <cstdio>

namespace {
HeadlessOptions current;
std::vector<std::string> errors;
constexpr int sinkPort = 1;
std::atomic<int> changed{0};

int noteChange() {
    changed = 1;
    return 1;
}

int logToStderr(const char* line) {
    if (current.verbose && std::fputs(line, stderr) < 0) return 0;
    return 1;
}

int printWarning(const char* message) {
    return std::fprintf(stderr, "vantorix-cli: warning: %s\n", message) > 0 ? 1 : 0;
}

int keepError(const char* message) {
    errors.emplace_back(message);
    return std::fprintf(stderr, "vantorix-cli: %s\n", message) > 0 ? 1 : 0;
}

void appendBytes(const void* data, int count, void* context) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(context);
    const uint8_t* begin = static_cast<const uint8_t*>(data);
    bytes->insert(bytes->end(), begin, begin + count);
}
} // namespace

void captureBoardBytes(std::vector<uint8_t>* bytes) {
    COMsetCapture(bytes ? appendBytes : nullptr, bytes);
}

void connectRecordingBoard(std::vector<uint8_t>* bytes, const SerialBackend& backend) {
    installSerialBackend(backend);
    if (COMopen(sinkPort, boardBaud)) picoPort = sinkPort;
    captureBoardBytes(bytes);
}

int headlessTakeChanges() {
    return changed.exchange(0);
}

const std::vector<std::string>& headlessErrors() {
    return errors;
}

void headlessStart(const HeadlessOptions& options) {
    current = options;
    errors.clear();
    resetWindowSeam();
    resetSerialLayer();
    resetPicoLink();
    resetBoardInput();
    resetSettings();
    resetPanelState();
    FreeTFT();
    Module = options.model;
    Touch = options.touch;
    Angle = options.angle;
    WindowSeam seam{};
    seam.logLine = logToStderr;
    seam.reportError = keepError;
    seam.reportWarning = printWarning;
    seam.redrawPanel = noteChange;
    seam.resizeTFT = noteChange;
    installWindowSeam(seam);
    std::snprintf(moduleDir, sizeof moduleDir, "%s", options.moduleDir.c_str());
    shownFileTime = 0;
    if (options.boardBytes) connectRecordingBoard(options.boardBytes);
    if (options.keptPicture)
        NewTFTFrom(*options.keptPicture);
    else
        NewTFT(0);
}
